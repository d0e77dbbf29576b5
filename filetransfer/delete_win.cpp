// Delete on either panel: the confirmation (dialog 154), the local worker deleting
// folder trees itself, the remote worker sending one PKT_FT_DELETE per item while the
// frame answers the Agent's questions, and the refresh afterwards.
#include "filetransfer/ftcommands.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"

#include <cstdio>
#include <cstring>
#include <shlwapi.h>

// ---- local worker --------------------------------------------------------------------

static int Cancelled(WorkerParams *w) { return WaitForSingleObject(w->cancelEvent, 0) == WAIT_OBJECT_0; }

// Retry/Cancel after a failure; nonzero for Retry.
static int Retry(WorkerParams *w, UINT caption, UINT suffix, const char *path)
{
    return FtLastErrorBox(w->dialog, caption, suffix, path, MB_RETRYCANCEL | MB_ICONQUESTION) == IDRETRY;
}

static int DeleteOne(WorkerParams *w, const char *path, DWORD attributes, int folder)
{
    FtShowProgress(w, path, NULL);
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
        if (g_confirmEach) {
            const INT_PTR r = FtAskProtected(w->dialog, path, attributes);
            if (r == IDCANCEL)
                return 0;
            if (r == IDC_FT_YES_TO_ALL)
                InterlockedExchange(&g_confirmEach, 0);
        }
        DWORD plain = attributes & ~(DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
        while (!SetFileAttributesA(path, plain ? plain : FILE_ATTRIBUTE_NORMAL))
            if (!Retry(w, IDS_FT_CANNOT_SET_ATTRIBUTES, IDS_FT_LOCAL_SUFFIX, path))
                return 0;
    }
    while (!(folder ? RemoveDirectoryA(path) : DeleteFileA(path)))
        if (!Retry(w, IDS_FT_CANNOT_DELETE, IDS_FT_LOCAL_SUFFIX, path))
            return 0;
    return 1;
}

static int Recursable(DWORD attributes)
{
    // A link to a folder goes as the link itself: what it points to may lie anywhere.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Restarts the search after every deletion, so no list of entries is kept.
static int DeleteTree(WorkerParams *w, const char *path, DWORD attributes)
{
    // The attributes came from a listing or a search a while ago: a folder swapped for a
    // link since then is deleted as the link, never followed. One that went is asked
    // about when its search fails.
    const DWORD now = GetFileAttributesA(path);
    if (now != INVALID_FILE_ATTRIBUTES) {
        if (!Recursable(now))
            return DeleteOne(w, path, now, (now & FILE_ATTRIBUTE_DIRECTORY) != 0);
        attributes = now;
    }
    char pattern[kFtPathField];
    if (!FtJoinPath(path, "*.*", pattern)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        Retry(w, IDS_FT_CANNOT_DELETE, IDS_FT_LOCAL_SUFFIX, path);
        return 0;
    }
    HANDLE h = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA fd;
    for (;;) {
        if (Cancelled(w)) {
            if (h != INVALID_HANDLE_VALUE)
                FindClose(h);
            return 0;
        }
        if (h == INVALID_HANDLE_VALUE) {
            h = FindFirstFileA(pattern, &fd);
            if (h == INVALID_HANDLE_VALUE) {
                if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_FILES)
                    return DeleteOne(w, path, attributes, 1);
                if (!Retry(w, IDS_FT_CANNOT_READ_FOLDER, 0, NULL))
                    return 0;
                continue;
            }
        }
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0) {
            FindClose(h);
            h = INVALID_HANDLE_VALUE;
            char child[kFtPathField];
            if (!FtJoinPath(path, fd.cFileName, child)) {
                SetLastError(ERROR_FILENAME_EXCED_RANGE);
                Retry(w, IDS_FT_CANNOT_DELETE, IDS_FT_LOCAL_SUFFIX, path);
                return 0;
            }
            const int ok =
                Recursable(fd.dwFileAttributes)
                    ? DeleteTree(w, child, fd.dwFileAttributes)
                    : DeleteOne(w, child, fd.dwFileAttributes, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
            if (!ok)
                return 0;
            continue;
        }
        if (FindNextFileA(h, &fd))
            continue;
        if (GetLastError() == ERROR_NO_MORE_FILES) {
            FindClose(h);
            return DeleteOne(w, path, attributes, 1);
        }
        if (!Retry(w, IDS_FT_CANNOT_READ_FOLDER, 0, NULL)) {
            FindClose(h);
            return 0;
        }
    }
}

static void LocalWorker(WorkerParams *w)
{
    InterlockedExchange(&g_confirmEach, 1);
    for (uint32_t i = 0; i < w->selection.count; i++) {
        const FtEntry *e = &w->selection.items[i].entry;
        char path[kFtPathField];
        int ok = 0;
        if (Cancelled(w)) {
        } else if (!FtJoinPath(w->folder, e->name, path)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            Retry(w, IDS_FT_CANNOT_DELETE, IDS_FT_LOCAL_SUFFIX, e->name);
        } else {
            ok = Recursable(e->attributes) ? DeleteTree(w, path, e->attributes)
                                           : DeleteOne(w, path, e->attributes, e->directory != 0);
        }
        if (!ok) {
            FtWorkerDone(w, 2);
            return;
        }
    }
    FtWorkerDone(w, 1);
}

// ---- remote worker -------------------------------------------------------------------

static void RemoteWorker(WorkerParams *w)
{
    const uint32_t n = w->selection.count;
    for (uint32_t i = 0; i < n; i++) {
        const FtEntry *e = &w->selection.items[i].entry;
        FtDelete d = {};
        d.directory = e->directory ? 1 : 0;
        d.first = i == 0;
        d.last = i == n - 1;
        d.attributes = e->attributes;
        uint8_t packet[sizeof(SessPacketHeader) + 16 + kFtPathField];
        size_t size = 0;
        if (FtJoinPath(w->folder, e->name, d.path)) {
            FtShowProgress(w, d.path, NULL);
            size = BuildFtDelete(&d, packet, sizeof(packet));
        } else {
            WriteLogF("Remote delete: the path of %s is over 260 characters.", e->name);
        }
        int outOfMemory = 0;
        if (!size || !EnqueuePacket(packet, (DWORD)size, &outOfMemory)) {
            FtWorkerDone(w, 2);
            return;
        }
        HANDLE events[2] = {w->cancelEvent, w->replyEvent};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            FtWorkerDone(w, 2);
            return;
        }
    }
    FtWorkerDone(w, 1);
}

// ---- the confirmation ----------------------------------------------------------------

struct ConfirmArgs {
    int remote;
    const char *folder;
};

static INT_PTR CALLBACK ConfirmProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const ConfirmArgs *a = (const ConfirmArgs *)lp;
        if (!FtShowSelectionSentence(dlg, &g_selection)) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        FtAppendTitle(dlg, a->remote ? IDS_FT_DELETE_REMOTE : IDS_FT_DELETE_LOCAL);
        FtCompactInto(dlg, IDC_FT_FOLDER, a->folder);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDYES:
        case IDCANCEL:
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, HELP_TOPIC_DELETE, 0, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void FtDeleteSelection(void)
{
    const int index = g_ft.activePanel;
    FilePanel *p = &g_ft.panels[index];
    if (!FtHasRight() || p->selectedCount == 0 || g_ft.activeDialog || !FtBuildSelection(p))
        return;
    ConfirmArgs a = {index == kFtRemote, p->currentDirectory};
    if (DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_DELETE), p->list, ConfirmProc, (LPARAM)&a) !=
            IDYES ||
        !g_ft.frame) {
        FtFreeSelection();
        return;
    }
    FtRunProgress(p->list, IDD_FT_DELETE_PROGRESS, IDA_DELETE, a.remote ? IDS_FT_DELETE_REMOTE : IDS_FT_DELETE_LOCAL,
                  index, a.remote, a.remote ? RemoteWorker : LocalWorker);
    FtFreeSelection();
    if (g_ft.frame) // not when the window went with the session meanwhile
        FtFrameCommand(a.remote ? IDM_FT_REFRESH_REMOTE : IDM_FT_REFRESH_LOCAL);
}
