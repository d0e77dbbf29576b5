// The request dialog: queues one request and waits, without a cancel, for the answer
// that the frame's handlers announce. UI thread only.
#include "filetransfer/panel_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/sendqueue_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <commctrl.h>

enum { kWatchTimer = 1, kWatchMs = 250 };

struct ListRequest {
    uint32_t drive;
    const char *path;
};

static INT_PTR OnInit(HWND dlg, const ListRequest *r)
{
    g_ft.activeDialog = dlg;
    SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_OPENA, (WPARAM)g_viewer.instance,
                        (LPARAM)MAKEINTRESOURCEA(IDA_CONNECT));
    SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_PLAY, (WPARAM)-1, MAKELPARAM(0, -1));
    uint8_t packet[sizeof(SessPacketHeader) + 4 + kFtPathField];
    const size_t n = BuildFtListDir(r->drive, r->path, packet, sizeof(packet));
    int outOfMemory = 0;
    if (!n || !EnqueuePacket(packet, (DWORD)n, &outOfMemory)) {
        EndDialog(dlg, 2);
        return TRUE;
    }
    // The dialog has no cancel: it ends with the session too.
    SetTimer(dlg, kWatchTimer, kWatchMs, NULL);
    return TRUE;
}

static INT_PTR CALLBACK RequestProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInit(dlg, (const ListRequest *)lp);
    case WM_CV_FT_REQUEST_DONE:
        EndDialog(dlg, wp == 1 ? 1 : 2);
        return TRUE;
    case WM_TIMER:
        if (WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_OBJECT_0 || !IsWindow(g_viewer.mainWindow))
            EndDialog(dlg, 2);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dlg, kWatchTimer);
        SendDlgItemMessageA(dlg, IDC_FT_REQUEST_ANIM, ACM_STOP, 0, 0);
        g_ft.activeDialog = NULL;
        return TRUE;
    }
    return FALSE;
}

int FtRunListRequest(HWND owner, uint32_t drive, const char *path)
{
    ListRequest r = {drive, path};
    const INT_PTR result = DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_LISTING), owner,
                                           RequestProc, (LPARAM)&r);
    return result == 1 ? 1 : 2;
}
