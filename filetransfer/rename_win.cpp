// Rename by label editing on either panel. The change runs after the list view has
// ended its edit (posted), so no modal box or dialog runs inside its notification.
// UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "filetransfer/sortorder.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

struct PendingRename {
    FileItem *item; // checked against the list again before use
    char oldName[kFtPathField];
    char newName[kFtPathField];
};
static PendingRename g_pending;

static int IsDotDot(const FileItem *f) { return f && strcmp(f->entry.name, "..") == 0; }

void FtStartRename(void)
{
    FilePanel *p = &g_ft.panels[g_ft.activePanel];
    const int i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    if (i < 0 || p->selectedCount != 1 || IsDotDot(FtFocusedItem(p)) || !FtHasRight())
        return;
    SetFocus(p->list);
    SendMessageA(p->list, LVM_EDITLABELA, (WPARAM)i, 0);
}

BOOL FtBeginLabelEdit(FilePanel *p, NMLVDISPINFOA *di)
{
    FileItem *f = (FileItem *)di->item.lParam;
    if (!f || IsDotDot(f) || !FtHasRight() || g_ft.activeDialog)
        return TRUE;
    HWND edit = (HWND)SendMessageA(p->list, LVM_GETEDITCONTROL, 0, 0);
    if (edit)
        SendMessageA(edit, EM_LIMITTEXT, kFtPathMax, 0);
    return FALSE;
}

void FtEndLabelEdit(FilePanel *p, NMLVDISPINFOA *di)
{
    FileItem *f = (FileItem *)di->item.lParam;
    if (!di->item.pszText || !f)
        return;
    char name[kFtPathField];
    const char *why = NULL;
    if (!FtTypedName(di->item.pszText, name, &why)) {
        if (why) {
            WriteLogF("Rename to a name that is not one file name refused: %s.", why);
            FtMessageBox(p->list, IDS_FT_BAD_NAME, 0, di->item.pszText, MB_OK | MB_ICONHAND);
        }
        return;
    }
    if (FtCompareNames(name, f->entry.name) == 0)
        return;
    g_pending.item = f;
    snprintf(g_pending.oldName, sizeof(g_pending.oldName), "%s", f->entry.name);
    snprintf(g_pending.newName, sizeof(g_pending.newName), "%s", name);
    PostMessageA(p->window, WM_FT_RENAME_NOW, 0, 0);
}

static int MoveLocal(const char *from, const char *to)
{
    for (;;) {
        if (MoveFileA(from, to))
            return 1;
        if (FtLastErrorBox(g_ft.panels[kFtLocal].list, IDS_FT_CANNOT_RENAME, 0, NULL,
                           MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
            return 0;
    }
}

void FtRenameNow(FilePanel *p)
{
    PendingRename r = g_pending;
    g_pending.item = NULL;
    if (!r.item || g_ft.activeDialog)
        return;
    LVFINDINFOA fi = {};
    fi.flags = LVFI_PARAM;
    fi.lParam = (LPARAM)r.item;
    const int i = (int)SendMessageA(p->list, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&fi);
    // The list was rebuilt meanwhile: the name may belong to another folder now.
    if (i < 0 || strcmp(r.item->entry.name, r.oldName) != 0)
        return;
    char from[kFtPathField], to[kFtPathField];
    if (!FtJoinPath(p->currentDirectory, r.oldName, from) || !FtJoinPath(p->currentDirectory, r.newName, to)) {
        FtMessageBox(p->list, IDS_FT_BAD_NAME, 0, r.newName, MB_OK | MB_ICONHAND);
        return;
    }
    int done;
    if (p == &g_ft.panels[kFtLocal]) {
        done = MoveLocal(from, to);
    } else {
        RemoteRequest q = {FT_REQUEST_RENAME, r.item->entry.directory ? 1u : 0u, from, to};
        done = FtRunRequest(p->list, &q) == 1;
    }
    // The window may have gone with the session while the dialogs ran; else they
    // pumped messages: find the item again before writing to it.
    if (!done || !g_ft.frame || !IsWindow(p->list))
        return;
    const int j = (int)SendMessageA(p->list, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&fi);
    if (j < 0)
        return;
    snprintf(r.item->entry.name, sizeof(r.item->entry.name), "%s", r.newName);
    LVITEMA it = {};
    it.iSubItem = 0;
    it.pszText = r.item->entry.name;
    SendMessageA(p->list, LVM_SETITEMTEXTA, (WPARAM)j, (LPARAM)&it);
}
