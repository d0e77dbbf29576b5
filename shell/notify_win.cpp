// The notification handler that the viewer's toolbars share: drop-down buttons and
// tooltip texts from the active language library. UI thread only.
#include "shell/notify_win.h"

#include "desktop/input.h"
#include "desktop/screenchoice_win.h"
#include "desktop/state_win.h"
#include "filetransfer/ftcommands.h"
#include "shell/commands.h"
#include "shell/state.h"

#include <commctrl.h>

static int ButtonScreenRect(HWND toolbar, UINT command, RECT *rc)
{
    if (!toolbar || !SendMessageA(toolbar, TB_GETRECT, command, (LPARAM)rc))
        return 0;
    MapWindowPoints(toolbar, NULL, (POINT *)rc, 2);
    return 1;
}

// Opens menu under the button, keeping the button itself uncovered.
static void TrackUnderButton(HMENU menu, HWND owner, const RECT *button)
{
    TPMPARAMS tpm = {};
    tpm.cbSize = sizeof(tpm);
    tpm.rcExclude = *button;
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_VERTICAL, button->left, button->bottom,
                     owner, &tpm);
}

void ScreenDropDown(HWND mainWindow, HWND toolbar)
{
    RECT rc;
    if (!ButtonScreenRect(toolbar, IDM_SCREEN_CHOICE, &rc) || !ScreenChoiceAllowed())
        return;
    HMENU popup = CreatePopupMenu();
    if (!popup)
        return;
    FillScreenItems(popup, g_desktop.remote.screenCount);
    TrackUnderButton(popup, mainWindow, &rc);
    DestroyMenu(popup);
}

// The file-transfer frame's view-style button: its drop-down menu, owned by the frame, with the
// style that the frame's own menu marks checked. The choice goes to the frame.
static void ViewStyleDropDown(HWND frame, const NMTOOLBARA *nm)
{
    RECT rc;
    if (!ButtonScreenRect(nm->hdr.hwndFrom, IDM_FT_NEXT_VIEW, &rc))
        return;
    HMENU menu = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_FT_VIEW_MENU));
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (popup) {
        HMENU frameMenu = GetMenu(frame);
        for (UINT id = IDM_FT_VIEW_DETAILS; id <= IDM_FT_VIEW_LIST; id++) {
            const UINT st = frameMenu ? GetMenuState(frameMenu, id, MF_BYCOMMAND) : 0;
            if (st != (UINT)-1 && (st & MF_CHECKED))
                CheckMenuRadioItem(popup, IDM_FT_VIEW_DETAILS, IDM_FT_VIEW_LIST, id, MF_BYCOMMAND);
        }
        TrackUnderButton(popup, frame, &rc);
    }
    if (menu)
        DestroyMenu(menu);
}

static void OnDropDown(HWND wnd, const NMTOOLBARA *nm)
{
    if (nm->iItem == IDM_SCREEN_CHOICE)
        ScreenDropDown(g_viewer.mainWindow ? g_viewer.mainWindow : wnd, nm->hdr.hwndFrom);
    else if (nm->iItem == IDM_FT_NEXT_VIEW)
        ViewStyleDropDown(wnd, nm);
}

// The text is named by library and id, so the tooltip loads it itself in UTF-16 and
// Cyrillic survives whatever the system's ANSI code page is. A tool registered by its
// window (the level slider) carries its own text: idFrom is then a window handle.
static void GiveTooltip(NMTTDISPINFOA *di)
{
    if (di->uFlags & TTF_IDISHWND)
        return;
    uint32_t id = TooltipStringId((uint32_t)di->hdr.idFrom);
    if (!id || !g_viewer.activeLanguage)
        return;
    di->hinst = g_viewer.activeLanguage;
    di->lpszText = MAKEINTRESOURCEA(id);
}

LRESULT OnToolbarNotify(HWND wnd, WPARAM wp, LPARAM lp)
{
    (void)wp;
    const NMHDR *hdr = (const NMHDR *)lp;
    if (!hdr)
        return 0;
    switch (hdr->code) {
    case TBN_DROPDOWN:
        OnDropDown(wnd, (const NMTOOLBARA *)lp);
        break;
    // A toolbar forwards its tooltip's request in the format of its (ANSI) parent.
    case TTN_GETDISPINFOA:
        GiveTooltip((NMTTDISPINFOA *)lp);
        break;
    }
    return 0;
}
