// The panels' context menus: 150 on an item, 151 on empty space, from the language
// library; their commands go to the frame like the menu bar's. UI thread only.
#include "filetransfer/dragout_win.h"
#include "filetransfer/droptarget_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/panel_win.h"
#include "shell/state.h"

#include <commctrl.h>
#include <cstring>

static void Enable(HMENU m, UINT command, int on)
{
    EnableMenuItem(m, command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
}

void FtPrepareItemMenu(HMENU m, FilePanel *p)
{
    const int right = FtHasRight();
    const int one = p->selectedCount == 1 && p->focused && strcmp(p->focused->entry.name, "..") != 0;
    Enable(m, IDM_FT_COPY, p->selectedCount > 0 && right);
    Enable(m, IDM_FT_DELETE, p->selectedCount > 0 && right);
    Enable(m, IDM_FT_PROPERTIES, one);
    Enable(m, IDM_FT_RENAME, one && right);
    Enable(m, IDM_FT_COPY_CLIPBOARD, p == &g_ft.panels[kFtRemote] && p->selectedCount > 0 && right);
}

void FtPrepareSpaceMenu(HMENU m, FilePanel *p)
{
    CheckMenuRadioItem(m, IDM_FT_VIEW_DETAILS, IDM_FT_VIEW_LIST,
                       IDM_FT_VIEW_DETAILS + (UINT)(p->viewStyle - FT_VIEW_DETAILS), MF_BYCOMMAND);
    CheckMenuRadioItem(m, IDM_FT_SORT_FIRST, IDM_FT_SORT_LAST, IDM_FT_SORT_FIRST + (UINT)p->sortKey, MF_BYCOMMAND);
    Enable(m, IDM_FT_NEW_FOLDER, FtHasRight());
    Enable(m, IDM_FT_PASTE,
           p == &g_ft.panels[kFtRemote] && FtMayTakeFiles(0) && IsClipboardFormatAvailable(CF_HDROP) &&
               !FtClipboardHoldsOwnItems());
}

void FtPanelContextMenu(FilePanel *p, POINT screen)
{
    const int index = (int)(p - g_ft.panels);
    if (index != g_ft.activePanel)
        FtSetActivePanel(index);
    // The click that opened the menu may have changed the selection a moment ago.
    if (p->selectionPending)
        FtRecountSelection(p);
    LVHITTESTINFO hit = {};
    hit.pt = screen;
    ScreenToClient(p->list, &hit.pt);
    const int onItem = (int)SendMessageA(p->list, LVM_HITTEST, 0, (LPARAM)&hit) >= 0;
    HMENU bar = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(onItem ? IDR_FT_ITEM_MENU : IDR_FT_SPACE_MENU));
    HMENU m = bar ? GetSubMenu(bar, 0) : NULL;
    if (!m) {
        if (bar)
            DestroyMenu(bar);
        return;
    }
    if (onItem)
        FtPrepareItemMenu(m, p);
    else
        FtPrepareSpaceMenu(m, p);
    const UINT command = (UINT)TrackPopupMenu(m, TPM_LEFTALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD, screen.x, screen.y, 0,
                                              g_ft.frame, NULL);
    DestroyMenu(bar);
    if (command && g_ft.frame)
        SendMessageA(g_ft.frame, WM_COMMAND, command, 0);
}
