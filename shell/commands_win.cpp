// The main window's commands. Each one that sends a packet ends the session when the
// packet cannot be queued.
#include "shell/commands_win.h"

#include "desktop/view_win.h"
#include "session/packet.h"
#include "session/sendqueue_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/settings_win.h"
#include "shell/state.h"

#include <shellapi.h>

#define CORVID_WEB_PAGE "https://corvid.example.org/"

static void ToggleControlMode(void)
{
    g_viewer.controlMode = !g_viewer.controlMode;
    CheckCommand(IDM_REMOTE_CONTROL, g_viewer.controlMode);
    EnableCommand(g_viewer.controlMode, IDM_AGENT_KEYS, kCheckLeave);
    static const UINT keys[] = {IDM_LEFT_CTRL, IDM_LEFT_ALT, IDM_WIN_KEY, IDM_RIGHT_CTRL, IDM_RIGHT_ALT, IDM_ALT_ENTER};
    for (UINT k : keys)
        EnableCommand(g_viewer.controlMode, k, kCheckLeave);
}

static void ToggleSwitch(void)
{
    g_viewer.switchOn = !g_viewer.switchOn;
    CheckCommand(IDM_SWITCH, g_viewer.switchOn);
    uint8_t packet[16];
    size_t n = BuildSetSwitch(g_viewer.switchOn, packet, sizeof(packet));
    QueueOrExit(packet, (DWORD)n);
}

static void ToggleSaveOnExit(void)
{
    uint32_t *v = &g_viewer.settings.v[SET_SAVE_ON_EXIT];
    *v = !*v;
    CheckCommand(IDM_SAVE_ON_EXIT, *v);
    // Switching it off writes only the switch itself; on writes everything.
    SaveSettings(NULL, *v ? 1 : 0);
}

static void SendAgentKeys(void)
{
    uint8_t packet[16];
    size_t n = BuildAgentKeys(packet, sizeof(packet));
    QueueOrExit(packet, (DWORD)n);
}

static void BringForward(HWND mainWindow)
{
    if (IsIconic(mainWindow))
        ShowWindow(mainWindow, SW_RESTORE);
}

int RunCommand(HWND mainWindow, UINT command)
{
    // A command whose feature is not in this build does nothing, even if something
    // outside the menu sends it.
    if (!CommandAvailable(command) && command != IDM_BRING_FORWARD)
        return 0;
    // Nor does a greyed one: posted from outside, it must not bypass the rights.
    UINT state = g_viewer.menu ? GetMenuState(g_viewer.menu, command, MF_BYCOMMAND) : (UINT)-1;
    if (state != (UINT)-1 && (state & MF_GRAYED))
        return 0;
    switch (command) {
    case IDM_EXIT:
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        return 1;
    case IDM_REMOTE_CONTROL:
        ToggleControlMode();
        return 1;
    case IDM_SWITCH:
        ToggleSwitch();
        return 1;
    case IDM_SAVE_SETTINGS_NOW:
        SaveSettings(NULL, 1);
        return 1;
    case IDM_SAVE_ON_EXIT:
        ToggleSaveOnExit();
        return 1;
    case IDM_WEB_PAGE:
        ShellExecuteA(mainWindow, "open", CORVID_WEB_PAGE, NULL, NULL, SW_SHOWNORMAL);
        return 1;
    case IDM_AGENT_KEYS:
        SendAgentKeys();
        return 1;
    case IDM_AUTO_SCALE:
        ViewToggleAutoScale();
        return 1;
    case IDM_HAND_TOOL:
        ViewToggleDragMode();
        return 1;
    case IDM_BRING_FORWARD:
        BringForward(mainWindow);
        return 1;
    }
    return 0;
}
