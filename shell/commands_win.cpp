// The main window's commands. Each one that sends a packet ends the session when the
// packet cannot be queued.
#include "shell/commands_win.h"

#include "agentsettings/session_win.h"
#include "console/console_win.h"
#include "desktop/clipboard_win.h"
#include "desktop/fullscreen_win.h"
#include "desktop/input_win.h"
#include "desktop/screenchoice_win.h"
#include "desktop/view_win.h"
#include "filetransfer/frame_win.h"
#include "session/packet.h"
#include "session/sendqueue_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/language_win.h"
#include "shell/notify_win.h"
#include "shell/settings_win.h"
#include "shell/state.h"
#include "ui/help_win.h"
#include "ui/logo_win.h"
#include "ui/sendmsg_win.h"
#include "ui/sysinfo_win.h"
#include "ui/toolbar_win.h"

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

int RunCommand(HWND mainWindow, UINT command)
{
    // Screen items exist only while a screen can be chosen; their own check refuses
    // them otherwise.
    if (command >= IDM_SCREEN_FIRST && command <= IDM_SCREEN_LAST)
        return SelectScreenCommand(command);
    // A greyed command does nothing: posted from outside, it must not bypass the rights.
    // An id the main window does not carry out falls through the switch.
    UINT state = g_viewer.menu ? GetMenuState(g_viewer.menu, command, MF_BYCOMMAND) : (UINT)-1;
    if (state != (UINT)-1 && (state & MF_GRAYED))
        return 0;
    switch (command) {
    case IDM_EXIT:
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        return 1;
    case IDM_REMOTE_CONTROL:
        ToggleRemoteControl();
        return 1;
    case IDM_LEFT_CTRL:
    case IDM_LEFT_ALT:
    case IDM_WIN_KEY:
    case IDM_RIGHT_ALT:
    case IDM_RIGHT_CTRL:
    case IDM_ALT_ENTER:
        RunKeyButton(command);
        return 1;
    case IDM_PAD_FOLLOWS_CONSOLE:
        TogglePadFollowsConsole();
        return 1;
    case IDM_SHOW_REMOTE_CURSOR:
        ToggleShowRemoteCursor();
        return 1;
    case IDM_CLIPBOARD_EXCHANGE:
        ToggleClipboardExchange();
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
        OpenWebPage(mainWindow);
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
    case IDM_FULL_SCREEN:
        EnterFullScreen();
        return 1;
    case IDM_LEAVE_FULL_SCREEN:
        LeaveFullScreen();
        return 1;
    case IDM_BRING_FORWARD:
        BringConsoleForward(mainWindow);
        return 1;
    case IDM_LANG_ENGLISH:
    case IDM_LANG_RUSSIAN:
        ChooseLanguage(mainWindow, command == IDM_LANG_RUSSIAN);
        return 1;
    case IDM_HELP:
        ShowHelp(mainWindow, HELP_TOPIC_MAIN, 0, 0);
        return 1;
    case IDM_SEND_MESSAGE:
        SendMessageCommand(mainWindow);
        return 1;
    case IDM_AGENT_SETTINGS:
        RequestAgentSettings(mainWindow);
        return 1;
    case IDM_SYSTEM_INFO:
        ShowSystemInfo(mainWindow);
        return 1;
    case IDM_LOGO:
        ShowLogo(kLogoSeconds);
        return 1;
    case IDM_FILE_TRANSFER:
        OpenFileTransferWindow(mainWindow);
        return 1;
    case IDM_SCREEN_CHOICE:
        ScreenDropDown(mainWindow, g_viewer.toolbar);
        return 1;
    }
    return 0;
}
