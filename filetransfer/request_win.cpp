// The request dialog: queues one request and waits for the answer that the frame's
// handlers announce, for the operator's Cancel, or until the Agent has been silent too
// long. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/route_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>

enum { kWatchTimer = 1, kWatchMs = 250 };

// How the dialog ended besides 1 (done) and 2 (failed, already reported).
enum { kEndCancelled = 3, kEndSilent = 4 };

static int g_openKind = -1; // the kind of the request whose answer is awaited
static DWORD g_lastHeard;   // tick of the request's sending or of its last listing packet

// The caption of each kind's failure boxes.
static const struct {
    UINT caption, suffix;
} kCaptions[] = {
    {IDS_FT_CANNOT_READ_FOLDER, IDS_FT_REMOTE_SUFFIX},
    {IDS_FT_CANNOT_SET_ATTRIBUTES, IDS_FT_REMOTE_SUFFIX},
    {IDS_FT_CANNOT_RENAME, 0},
    {IDS_FT_CANNOT_CREATE_FOLDER, IDS_FT_REMOTE_SUFFIX},
};

void FtRequestHeard(void) { g_lastHeard = GetTickCount(); }

// Test hook: CORVID_TEST_REQUEST_WAIT_MS shortens the Agent's allowed silence, so tests
// of a silent Agent need not wait half a minute.
static DWORD WaitLimit(void)
{
    char text[16];
    const DWORD n = GetEnvironmentVariableA("CORVID_TEST_REQUEST_WAIT_MS", text, sizeof(text));
    const long ms = n > 0 && n < sizeof(text) ? atol(text) : 0;
    return ms > 0 ? (DWORD)ms : (DWORD)kFtRequestWaitMs;
}

static size_t BuildRequest(const RemoteRequest *r, uint8_t *out, size_t cap)
{
    switch (r->kind) {
    case FT_REQUEST_LIST:
        return BuildFtListDir(r->value, r->path, out, cap);
    case FT_REQUEST_ATTRIBUTES:
        return BuildFtSetAttributes(r->value, r->path, out, cap);
    case FT_REQUEST_RENAME:
        return BuildFtRename(r->path, r->path2, r->value, out, cap);
    case FT_REQUEST_CREATE_DIR:
        return BuildFtCreateDir(r->path, out, cap);
    }
    return 0;
}

static INT_PTR OnInit(HWND dlg, const RemoteRequest *r)
{
    g_ft.activeDialog = dlg;
    SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_OPENA, (WPARAM)g_viewer.instance,
                        (LPARAM)MAKEINTRESOURCEA(IDA_CONNECT));
    SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, -1));
    uint8_t packet[sizeof(SessPacketHeader) + 2 * kFtPathField + 8];
    const size_t n = BuildRequest(r, packet, sizeof(packet));
    int outOfMemory = 0;
    if (!n || !EnqueuePacket(packet, (DWORD)n, &outOfMemory)) {
        WriteLogF("A file-transfer request of kind %d could not be sent.", r->kind);
        EndDialog(dlg, 2);
        return TRUE;
    }
    g_openKind = r->kind;
    FtRequestHeard();
    SetTimer(dlg, kWatchTimer, kWatchMs, NULL);
    return TRUE;
}

static INT_PTR CALLBACK RequestProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInit(dlg, (const RemoteRequest *)lp);
    case WM_CV_FT_REQUEST_DONE:
        EndDialog(dlg, wp == 1 ? 1 : 2);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) != IDCANCEL)
            return FALSE;
        EndDialog(dlg, kEndCancelled);
        return TRUE;
    case WM_TIMER:
        if (WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_OBJECT_0 || !IsWindow(g_viewer.mainWindow))
            EndDialog(dlg, 2);
        else if (GetTickCount() - g_lastHeard >= WaitLimit())
            EndDialog(dlg, kEndSilent);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dlg, kWatchTimer);
        SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_STOP, 0, 0);
        g_ft.activeDialog = NULL;
        g_openKind = -1;
        return TRUE;
    }
    return FALSE;
}

int FtRunRequest(HWND owner, const RemoteRequest *r)
{
    // One request at a time: a control may still notify while a dialog runs.
    if (g_ft.activeDialog)
        return 2;
    const WORD id = r->kind == FT_REQUEST_LIST ? IDD_FT_LISTING : IDD_FT_REQUEST;
    const INT_PTR result =
        DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(id), owner, RequestProc, (LPARAM)r);
    if (result == kEndCancelled) {
        WriteLogF("The file-transfer request of kind %d was cancelled by the operator.", r->kind);
    } else if (result == kEndSilent) {
        // A late answer finds no request open and is dropped.
        const unsigned silent = (unsigned)((WaitLimit() + 999) / 1000);
        WriteLogF("The Agent sent nothing for %u s on the file-transfer request of kind %d: it is given up.", silent,
                  r->kind);
        char seconds[16];
        snprintf(seconds, sizeof(seconds), "%u", silent);
        const int k = r->kind >= 0 && r->kind < 4 ? r->kind : 0;
        FtPathBox(owner, kCaptions[k].caption, kCaptions[k].suffix, IDS_FT_NO_ANSWER, seconds, MB_OK | MB_ICONSTOP);
    }
    return result == 1 ? 1 : 2;
}

int FtRunListRequest(HWND owner, uint32_t drive, const char *path)
{
    RemoteRequest r = {FT_REQUEST_LIST, drive, path, NULL};
    return FtRunRequest(owner, &r);
}

void FtOnResultPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    static const struct {
        uint32_t type;
        int kind;
    } kResults[] = {
        {PKT_FT_SET_ATTRIBUTES_RESULT, FT_REQUEST_ATTRIBUTES},
        {PKT_FT_RENAME_RESULT, FT_REQUEST_RENAME},
        {PKT_FT_CREATE_DIR_RESULT, FT_REQUEST_CREATE_DIR},
    };
    int k = 0;
    while (k < 3 && kResults[k].type != h->dwType)
        k++;
    if (k == 3 || g_openKind != kResults[k].kind || !g_ft.activeDialog) {
        WriteLogF("File-transfer result type %u with no such request open: dropped.", (unsigned)h->dwType);
        return;
    }
    FtResult r;
    const char *why = NULL;
    if (!ParseFtResult(h, payload, &r, &why)) {
        WriteLogF("File-transfer result type %u of %u bytes refused: %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        PostMessageA(g_ft.activeDialog, WM_CV_FT_REQUEST_DONE, 2, 0);
        return;
    }
    if (why)
        WriteLogF("File-transfer result type %u: %s.", (unsigned)h->dwType, why);
    // Answered: a second result for the same request is dropped.
    g_openKind = -1;
    HWND dlg = g_ft.activeDialog;
    if (!r.success)
        FtMessageBox(dlg, kCaptions[kResults[k].kind].caption, kCaptions[kResults[k].kind].suffix, r.text,
                     MB_OK | MB_ICONHAND);
    PostMessageA(dlg, WM_CV_FT_REQUEST_DONE, r.success ? 1 : 2, 0);
}
