// The session's opening on the UI thread. Each packet that cannot be queued ends the
// session through the exit command.
#include "session/login_win.h"

#include "ui/toolbar_win.h"

#include "desktop/fullscreen_win.h"
#include "desktop/input_win.h"
#include "desktop/screen_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/login.h"
#include "session/sendqueue_win.h"
#include "session/transport_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/managerlink_win.h"
#include "shell/msgbox_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstring>

static void PostExit(HWND mainWindow) { PostMessageA(mainWindow, WM_COMMAND, IDM_EXIT, 0); }

void LoginOnConnect(HWND mainWindow)
{
    if (g_viewer.target.password[0] == 0 && PasswordPrompt(mainWindow) != IDOK) {
        PostExit(mainWindow);
        return;
    }
    if (!NetConnect(mainWindow)) {
        PostExit(mainWindow);
        return;
    }
    static uint8_t packet[kLoginPacketSize];
    BuildLoginPacket(g_viewer.target.password, packet);
    QueueOrExit(packet, sizeof(packet));
}

static int SendSessionStamp(void)
{
    uint8_t packet[16];
    size_t n = BuildSessionStamp(g_viewer.sessionStamp, packet, sizeof(packet));
    return QueueOrExit(packet, (DWORD)n);
}

static int SendClientInfo(void)
{
    // The local colour format, as a one-pixel bitmap compatible with the screen has it.
    HDC screen = GetDC(NULL);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 1, 1);
    BITMAP info;
    memset(&info, 0, sizeof(info));
    if (bmp)
        GetObjectA(bmp, sizeof(info), &info);
    if (bmp)
        DeleteObject(bmp);
    ReleaseDC(NULL, screen);
    uint8_t packet[kClientInfoPacketSize];
    BuildClientInfo(info.bmPlanes, info.bmBitsPixel, g_viewer.target.slowNet, packet);
    return QueueOrExit(packet, sizeof(packet));
}

static void ReportRefusal(HWND mainWindow, UINT stringId)
{
    char text[1024];
    LoadLangString(stringId, text, sizeof(text));
    WriteLog(text);
    SendMessageRecord(0, text);
    TimedBoxRequest req = {IDD_TIMED_BOX, 3000, g_viewer.names.mainTitle, text, 16, TRUE};
    TimedMessageBox(mainWindow, &req);
}

void LoginOnReply(HWND mainWindow, DWORD status)
{
    if (status != 0) {
        if (status == 1 || status == 2)
            ReportRefusal(mainWindow, status == 1 ? IDS_LOGIN_BAD_PASSWORD : IDS_LOGIN_NODE_REFUSED);
        PostExit(mainWindow);
        return;
    }
    EnterCriticalSection(&g_viewer.loginInfoLock);
    LoginInfo info = g_viewer.session.login;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    ApplyRights(info.rights);
    if ((info.rights & RIGHT_REMOTE_CONTROL) && g_viewer.target.ctrl)
        PostMessageA(mainWindow, WM_COMMAND, IDM_REMOTE_CONTROL, 0);
    EnableLevelSlider(info.sliderLevel);
    if (!SendSessionStamp())
        return;
    g_viewer.loggedIn = 1;
    if (!SendClientInfo())
        return;
    SendConnectionRecord(1, g_viewer.target.retPwd);
}

void LoginOnDesktopRestart(HWND mainWindow)
{
    if (g_viewer.dialogSlot) {
        SendMessageA(g_viewer.dialogSlot, WM_COMMAND, IDCANCEL, 0);
        g_viewer.dialogSlot = NULL;
    }
    if (g_viewer.view.dragging)
        ReleaseCapture();
    g_viewer.view.dragging = FALSE;
    LeaveFullScreenThroughPad(); // before the teardown takes the tile pad away
    TeardownDesktop();
    UpdateKeyboardHook(mainWindow); // keys stay local until the desktop is back
    EnableCommand(0, IDM_FULL_SCREEN, kCheckLeave);
    if (!SendClientInfo())
        PostExit(mainWindow);
}

void LoginOnSetStamp(HWND mainWindow, DWORD stamp)
{
    if (stamp == g_viewer.sessionStamp) {
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        return;
    }
    g_viewer.sessionStamp = stamp;
    if (g_viewer.loggedIn)
        SendSessionStamp();
}
