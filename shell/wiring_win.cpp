// Sets each owner's packet handler, registers the viewer's window classes and does what
// the user interface owes a login reply and a desktop restart.
#include "shell/wiring_win.h"

#include "agentsettings/session_win.h"
#include "console/console_win.h"
#include "desktop/clipboard_win.h"
#include "desktop/fullscreen_win.h"
#include "desktop/input_win.h"
#include "desktop/packets_win.h"
#include "desktop/screen_win.h"
#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "desktop/view_win.h"
#include "filetransfer/route_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/login.h"
#include "session/login_win.h"
#include "session/receive_win.h"
#include "session/routes.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/mainwindow_win.h"
#include "shell/managerlink_win.h"
#include "shell/msgbox_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/logo_win.h"
#include "ui/toolbar_win.h"

#include <cstring>

void WirePacketHandlers(void)
{
    SetPacketHandler(kOwnerSession, SessionPacket);
    SetPacketHandler(kOwnerDesktop, HandleDesktopPacket);
    SetPacketHandler(kOwnerConsole, HandleConsolePacket);
    SetPacketHandler(kOwnerClipboard, HandleClipboardChunk);
    SetPacketHandler(kOwnerAgentSettings, HandleAgentSettingsPacket);
    SetPacketHandler(kOwnerFileTransfer, FtRoutePacket);
    // Changed tiles are announced once per read, not once per part.
    SetReceiveHooks(ResetDesktopPackets, AnnounceChangedTiles);
}

struct ClassEntry {
    const char *name;
    WNDPROC proc;
    int background; // COLOR_ index + 1, or a negative stock object
    int icon;
    int extraBytes;
};

static HBRUSH ViewPatternBrush(void)
{
    HBITMAP pattern = (HBITMAP)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(IDB_VIEW_PATTERN), IMAGE_BITMAP, 0, 0,
                                          LR_CREATEDIBSECTION);
    if (!pattern)
        return (HBRUSH)(COLOR_APPWORKSPACE + 1);
    HBRUSH brush = CreatePatternBrush(pattern);
    DeleteObject(pattern); // the brush keeps its own copy
    return brush ? brush : (HBRUSH)(COLOR_APPWORKSPACE + 1);
}

// Every window class of the viewer, the main class first; stops at the first failure.
static int RegisterWindowClasses(void)
{
    if (!RegisterMainWindowClass())
        return 0;
    // The file-transfer window registers its own classes when it first opens.
    const ClassEntry classes[] = {
        {"CORVID:CLIENT", ViewFrameProc, 0, 0, 0},
        {"CORVID:KEYBLIGHT", KeyLightProc, COLOR_BTNFACE + 1, 0, 0},
        {"CORVID:CONSOLE:BUTTPAD", ButtonPadProc, COLOR_BTNFACE + 1, 0, 0},
        {"CORVID:FULLSCREEN", FullScreenProc, COLOR_WINDOW + 1, 1, 0},
        {"CORVID:FULLSCRTBPAD", FullScreenPadProc, COLOR_BTNFACE + 1, 0, 0},
        {"CORVID:LOGO", LogoWndProc, COLOR_WINDOW + 1, 0, 0},
        {"CORVID:AUTOSCALES", ScaledViewProc, -BLACK_BRUSH, 0, 0},
        {"CORVID:SQUAREPAD", DefWindowProcA, COLOR_WINDOW + 1, 0, 0},
        {"CORVID:SQUARE", TileWindowProc, -BLACK_BRUSH, 0, 2},
        {"CORVID:REMOTE:CURSOR", CursorMarkerProc, -NULL_BRUSH, 0, 0},
        {"CORVID:SCALED:CURSOR", ScaledMarkerProc, -NULL_BRUSH, 0, 0},
    };
    for (const ClassEntry &c : classes) {
        WNDCLASSEXA wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = c.proc;
        wc.cbWndExtra = c.extraBytes;
        wc.hInstance = g_viewer.instance;
        wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
        wc.hIcon = c.icon ? LoadIconA(g_viewer.instance, MAKEINTRESOURCEA(IDI_CORVID)) : NULL;
        if (c.background > 0)
            wc.hbrBackground = (HBRUSH)(INT_PTR)c.background;
        else if (c.background < 0 || c.background == -BLACK_BRUSH)
            wc.hbrBackground = (HBRUSH)GetStockObject(-c.background);
        if (strcmp(c.name, "CORVID:CLIENT") == 0)
            wc.hbrBackground = ViewPatternBrush();
        wc.lpszClassName = c.name;
        if (!RegisterClassExA(&wc))
            return 0;
    }
    return 1;
}

static void PostExit(HWND mainWindow) { PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0); }

static void ReportLoginRefusal(HWND mainWindow, UINT stringId)
{
    char text[1024];
    LoadLangString(stringId, text, sizeof(text));
    WriteLog(text);
    SendMessageRecord(0, text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 3000, g_viewer.names.mainTitle, text, 16, TRUE};
    TimedMessageBox(mainWindow, &req);
}

void AfterLoginReply(HWND mainWindow, DWORD status)
{
    if (status != 0) {
        if (status == 1 || status == 2)
            ReportLoginRefusal(mainWindow, status == 1 ? IDS_LOGIN_BAD_PASSWORD : IDS_LOGIN_NODE_REFUSED);
        PostExit(mainWindow);
        return;
    }
    // The desktop's facts of an earlier login go with it, as the session's did.
    memset(&g_desktop.remote, 0, sizeof(g_desktop.remote));
    g_desktop.desktopActive = 0;
    g_desktop.sliderLevel = 0;
    EnterCriticalSection(&g_viewer.loginInfoLock);
    LoginInfo info = g_session.info.login;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    ApplyRights(info.rights);
    if ((info.rights & RIGHT_REMOTE_CONTROL) && g_viewer.target.ctrl)
        PostMessageA(mainWindow, WM_COMMAND, IDM_REMOTE_CONTROL, 0);
    EnableLevelSlider(info.sliderLevel);
    if (!LoginSendSessionStamp())
        return;
    g_session.loggedIn = 1;
    if (!LoginSendClientInfo())
        return;
    SendConnectionRecord(1, g_viewer.target.retPwd);
}

void AfterDesktopRestart(HWND mainWindow)
{
    if (g_viewer.dialogSlot) {
        SendMessageA(g_viewer.dialogSlot, WM_COMMAND, IDCANCEL, 0);
        g_viewer.dialogSlot = NULL;
    }
    if (g_desktop.view.dragging)
        ReleaseCapture();
    g_desktop.view.dragging = FALSE;
    LeaveFullScreenThroughPad(); // before the teardown takes the tile pad away
    TeardownDesktop();
    UpdateKeyboardHook(mainWindow); // keys stay local until the desktop is back
    EnableCommand(0, IDM_FULL_SCREEN, kCheckLeave);
    if (!LoginSendClientInfo())
        PostExit(mainWindow);
}

int WireViewer(void)
{
    WirePacketHandlers();
    return RegisterWindowClasses();
}
