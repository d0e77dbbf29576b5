// The numbered remote-screen items of the main menu and the screen choice they send.
// UI thread only; the rights are read under LoginInfoLock.
#include "desktop/screenchoice_win.h"

#include "desktop/state_win.h"
#include "session/login.h"
#include "session/packet.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/state.h"

#include <cstdio>

enum { kMaxScreenItems = IDM_SCREEN_LAST - IDM_SCREEN_FIRST + 1 };

HMENU ScreenSubmenu(HMENU menu)
{
    HMENU view = menu ? GetSubMenu(menu, 2) : NULL;
    if (!view)
        return NULL;
    int n = GetMenuItemCount(view);
    for (int i = 0; i < n; i++) {
        HMENU sub = GetSubMenu(view, i);
        if (sub)
            return sub;
    }
    return NULL;
}

void FillScreenItems(HMENU submenu, int count)
{
    while (DeleteMenu(submenu, 0, MF_BYPOSITION)) {
    }
    if (count < 0)
        count = 0;
    if (count > kMaxScreenItems)
        count = kMaxScreenItems;
    for (int i = 0; i < count; i++) {
        char text[8];
        snprintf(text, sizeof(text), "&%d", i + 1);
        InsertMenuA(submenu, (UINT)i, MF_BYPOSITION | MF_STRING, IDM_SCREEN_FIRST + i, text);
    }
    int current = g_desktop.remote.currentScreen ? g_desktop.remote.currentScreen : 1;
    if (count > 0 && current <= count)
        CheckMenuRadioItem(submenu, IDM_SCREEN_FIRST, IDM_SCREEN_FIRST + count - 1, IDM_SCREEN_FIRST + current - 1,
                           MF_BYCOMMAND);
}

int ScreenChoiceAllowed(void)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    uint32_t rights = g_session.info.login.rights;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    return g_desktop.remote.screenCount > 1 && (rights & RIGHT_REMOTE_CONTROL);
}

void RefreshScreenItems(void)
{
    HMENU items = ScreenSubmenu(g_viewer.menu);
    if (items)
        FillScreenItems(items, 0);
    if (!ScreenChoiceAllowed())
        return;
    EnableCommand(1, IDM_SCREEN_CHOICE, kCheckLeave);
    if (items)
        FillScreenItems(items, g_desktop.remote.screenCount);
}

int SelectScreenCommand(UINT command)
{
    uint32_t number;
    if (!ScreenNumberFromCommand(command, &number))
        return 0;
    if (!ScreenChoiceAllowed() || number > g_desktop.remote.screenCount)
        return 0;
    uint8_t packet[kPacketHeaderSize + kSelectScreenLen];
    size_t n = BuildSelectScreen(number, packet, sizeof(packet));
    if (!n)
        return 0;
    QueueOrExit(packet, (DWORD)n);
    return 1;
}
