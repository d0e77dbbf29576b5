// The copy command: the confirmation (dialog 161) with both computers and folders and the
// ClearReadOnly option, the operation under progress dialog 163, and the refresh of the
// destination panel whatever the result.
#include "filetransfer/ftcommands.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "shell/log_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"

#include <cstdio>

struct CopyArgs {
    char from[MAX_PATH + 32], to[MAX_PATH + 32];
};

static INT_PTR CALLBACK CopyProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const CopyArgs *a = (const CopyArgs *)lp;
        if (!FtShowSelectionSentence(dlg, &g_selection)) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        FtCompactInto(dlg, IDC_FT_FOLDER, a->from);
        FtCompactInto(dlg, IDC_FT_TARGET, a->to);
        CheckDlgButton(dlg, IDC_FT_CLEAR_READ_ONLY, g_clearReadOnly ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDYES:
            InterlockedExchange(&g_clearReadOnly, IsDlgButtonChecked(dlg, IDC_FT_CLEAR_READ_ONLY) == BST_CHECKED);
            EndDialog(dlg, IDYES);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, HELP_TOPIC_COPY, 0, 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// "[computer] folder" of a panel.
static void Place(int panel, char *out, size_t cap)
{
    const char *computer = panel == kFtLocal ? g_viewer.localComputerName : g_viewer.target.hostText;
    snprintf(out, cap, "[%s] %s", computer, g_ft.panels[panel].currentDirectory);
}

void FtCopySelection(int source)
{
    if (source != kFtLocal && source != kFtRemote)
        return;
    FilePanel *p = &g_ft.panels[source];
    if (!FtHasRight() || p->selectedCount == 0 || g_ft.activeDialog)
        return;
    // Both ends must be folders shown in full: a relative one would land the copy wherever
    // the viewer's own current folder is.
    char root[kFtPathField];
    for (int i = 0; i < kFtPanels; i++)
        if (!FtRootOf(g_ft.panels[i].currentDirectory, root)) {
            // Before the remote panel's first listing, or after one that failed.
            WriteLogF("Copy: panel %d shows no folder yet: nothing copied.", i);
            FtPathBox(p->list, IDS_FT_CANNOT_COPY, source == kFtLocal ? IDS_FT_UPLOAD : IDS_FT_DOWNLOAD,
                      i == kFtRemote ? IDS_FT_COPY_NO_REMOTE : IDS_FT_COPY_NO_LOCAL, "", MB_OK | MB_ICONINFORMATION);
            return;
        }
    if (!FtBuildSelection(p))
        return;
    CopyArgs a = {};
    Place(source, a.from, sizeof(a.from));
    Place(1 - source, a.to, sizeof(a.to));
    if (DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_COPY), p->list, CopyProc, (LPARAM)&a) !=
            IDYES ||
        !g_ft.frame) {
        FtFreeSelection();
        return;
    }
    const int upload = source == kFtLocal;
    FtRunProgress(p->list, IDD_FT_COPY_PROGRESS, IDA_COPY, upload ? IDS_FT_UPLOAD : IDS_FT_DOWNLOAD, source, 1,
                  upload ? FtUploadWorker : FtDownloadWorker);
    FtFreeSelection();
    if (g_ft.frame) // not when the window went with the session meanwhile
        FtFrameCommand(upload ? IDM_FT_REFRESH_REMOTE : IDM_FT_REFRESH_LOCAL);
}

INT_PTR FtAskCopy(HWND owner, const char *from, const char *to)
{
    CopyArgs a = {};
    snprintf(a.from, sizeof(a.from), "%s", from);
    snprintf(a.to, sizeof(a.to), "%s", to);
    return DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_COPY), owner, CopyProc, (LPARAM)&a);
}
