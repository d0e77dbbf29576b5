// Command states shared by the main menu and the main toolbar. UI thread only.
#include "shell/commandstate_win.h"

#include "console/state_win.h"
#include "resources/resource.h"
#include "session/login.h"
#include "shell/commands.h"
#include "shell/state.h"
#include "ui/toolbar_win.h"

#include <commctrl.h>

enum { kToolbarId = 200 };

// Enabled from the start; the rest wait for the login rights or their own state.
static const UINT kAlwaysEnabled[] = {
    IDM_EXIT,         IDM_SAVE_SETTINGS_NOW, IDM_SAVE_ON_EXIT, IDM_WEB_PAGE, IDM_AUTO_SCALE,  IDM_SHOW_REMOTE_CURSOR,
    IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN,      IDM_HELP,         IDM_LOGO,     IDM_SYSTEM_INFO,
};

static int InList(const UINT *list, size_t n, UINT command)
{
    for (size_t i = 0; i < n; i++)
        if (list[i] == command)
            return 1;
    return 0;
}

static int CommandInitiallyEnabled(UINT command)
{
    return InList(kAlwaysEnabled, sizeof(kAlwaysEnabled) / sizeof(kAlwaysEnabled[0]), command);
}

static const ToolbarEntry kMainToolbar[] = {
    {0, IDM_EXIT, TBSTATE_ENABLED, BTNS_BUTTON},
    {0, 0, 0, BTNS_SEP},
    {1, IDM_REMOTE_CONTROL, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {2, IDM_SEND_MESSAGE, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {3, IDM_HAND_TOOL, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {4, IDM_SWITCH, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {11, IDM_CLIPBOARD_EXCHANGE, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {13, IDM_AUTO_SCALE, TBSTATE_ENABLED, BTNS_CHECK},
    {14, IDM_SCREEN_CHOICE, TBSTATE_INDETERMINATE, BTNS_DROPDOWN},
    {5, IDM_FULL_SCREEN, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {6, IDM_AGENT_SETTINGS, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {12, IDM_FILE_TRANSFER, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {0, 0, 0, BTNS_SEP},
    {7, IDM_LEFT_CTRL, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {8, IDM_LEFT_ALT, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {9, IDM_WIN_KEY, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {8, IDM_RIGHT_ALT, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {7, IDM_RIGHT_CTRL, TBSTATE_INDETERMINATE, BTNS_CHECK},
    {0, 0, 0, BTNS_SEP},
    {10, IDM_AGENT_KEYS, TBSTATE_INDETERMINATE, BTNS_BUTTON},
};

HWND CreateMainToolbar(HWND mainWindow)
{
    return CreateEntryToolbar(mainWindow, kToolbarId, TBSTYLE_FLAT | CCS_TOP, TBSTYLE_EX_DRAWDDARROWS, IDB_TOOLBAR,
                              kMainToolbar, (int)(sizeof(kMainToolbar) / sizeof(kMainToolbar[0])));
}

void CheckCommand(UINT command, int checked)
{
    if (g_viewer.menu)
        CheckMenuItem(g_viewer.menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    if (g_viewer.toolbar)
        SendMessageA(g_viewer.toolbar, TB_CHECKBUTTON, command, MAKELPARAM(checked ? TRUE : FALSE, 0));
    // The console pad carries some of the toggles too (a button it lacks is left alone).
    if (g_console.toolbar)
        SendMessageA(g_console.toolbar, TB_CHECKBUTTON, command, MAKELPARAM(checked ? TRUE : FALSE, 0));
}

void EnableCommand(int on, UINT command, UINT check)
{
    if (g_viewer.menu) {
        EnableMenuItem(g_viewer.menu, command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
        if (check == 0 || check == MF_CHECKED)
            CheckMenuItem(g_viewer.menu, command, MF_BYCOMMAND | check);
    }
    if (g_viewer.toolbar) {
        LRESULT state = SendMessageA(g_viewer.toolbar, TB_GETSTATE, command, 0);
        if (state == -1)
            return;
        BYTE s = (BYTE)(state & ~(TBSTATE_ENABLED | TBSTATE_INDETERMINATE));
        s |= on ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE;
        if (check == 0)
            s &= (BYTE)~TBSTATE_CHECKED;
        else if (check == MF_CHECKED)
            s |= TBSTATE_CHECKED;
        SendMessageA(g_viewer.toolbar, TB_SETSTATE, command, MAKELPARAM(s, 0));
    }
}

static void GreyItems(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        HMENU sub = GetSubMenu(menu, i);
        if (sub) {
            GreyItems(sub);
            continue;
        }
        UINT id = GetMenuItemID(menu, i);
        if (id != (UINT)-1 && id != 0 && !CommandInitiallyEnabled(id))
            EnableMenuItem(menu, i, MF_BYPOSITION | MF_GRAYED);
    }
}

void GreyUnavailableCommands(HMENU menu) { GreyItems(menu); }

void ApplyRights(DWORD rights)
{
    uint32_t commands[8];
    CommandsForRights(rights, commands);
    for (int i = 0; commands[i]; i++)
        EnableCommand(1, commands[i], kCheckLeave);
}
