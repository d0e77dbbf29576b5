// New folder (dialog 152) on either panel. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"
#include "ui/help_win.h"

#include <cstring>

void FtLocalRefreshSelecting(const char *name);

struct NewFolderArgs {
    int remote;
    char name[kFtPathField];
};

static const ControlHelp kHelp[] = {{IDC_FT_NAME, IDS_HELP_FT_NEW_NAME},
                                    {IDOK, IDS_HELP_OK},
                                    {IDCANCEL, IDS_HELP_CANCEL},
                                    {IDHELP, IDS_HELP_HELP},
                                    {0, 0}};

static INT_PTR CALLBACK NewFolderProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    NewFolderArgs *a = (NewFolderArgs *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        a = (NewFolderArgs *)lp;
        FtAppendTitle(dlg, a->remote ? IDS_FT_REMOTE_SUFFIX : IDS_FT_LOCAL_SUFFIX);
        SendDlgItemMessageW(dlg, IDC_FT_NAME, EM_LIMITTEXT, kFtPathMax, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            if (!FtGetNameText(dlg, IDC_FT_NAME, a->name)) {
                FtMessageBox(dlg, IDS_FT_BAD_NAME, 0, "", MB_OK | MB_ICONHAND);
                return TRUE;
            }
            EndDialog(dlg, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, HELP_TOPIC_NEW_FOLDER, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowControlHelp(dlg, (const HELPINFO *)lp, kHelp);
        return TRUE;
    }
    return FALSE;
}

static void CreateLocal(FilePanel *p, const char *path, const char *name)
{
    if (!CreateDirectoryA(path, NULL)) {
        FtLastErrorBox(p->list, IDS_FT_CANNOT_CREATE_FOLDER, IDS_FT_LOCAL_SUFFIX, NULL, MB_OK | MB_ICONHAND);
        return;
    }
    if (!SetFileAttributesA(path, FILE_ATTRIBUTE_ARCHIVE))
        FtLastErrorBox(p->list, IDS_FT_CANNOT_SET_ATTRIBUTES, IDS_FT_LOCAL_SUFFIX, NULL, MB_OK | MB_ICONHAND);
    FtLocalRefreshSelecting(name);
}

void FtNewFolder(void)
{
    const int index = g_ft.activePanel;
    FilePanel *p = &g_ft.panels[index];
    if (g_ft.activeDialog)
        return;
    NewFolderArgs a = {};
    a.remote = index == kFtRemote;
    if (DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_NEW_FOLDER), p->list, NewFolderProc,
                        (LPARAM)&a) != IDOK)
        return;
    char name[kFtPathField], path[kFtPathField];
    const char *why = NULL;
    if (!FtTypedName(a.name, name, &why)) {
        if (why)
            FtMessageBox(p->list, IDS_FT_BAD_NAME, 0, a.name, MB_OK | MB_ICONHAND);
        return;
    }
    if (!FtJoinPath(p->currentDirectory, name, path)) {
        FtMessageBox(p->list, IDS_FT_BAD_NAME, 0, name, MB_OK | MB_ICONHAND);
        return;
    }
    if (!g_ft.frame)
        return;
    if (!a.remote) {
        CreateLocal(p, path, name);
        return;
    }
    RemoteRequest r = {FT_REQUEST_CREATE_DIR, 0, path, NULL};
    FtRunRequest(p->list, &r);
    // Refreshed whatever the answer (the Agent may have made it all the same), unless
    // the window went with the session meanwhile.
    if (g_ft.frame)
        FtRemoteRefreshSelecting(name);
}
