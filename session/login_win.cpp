// The session's opening on the UI thread: the packets of the login step. Each packet
// that cannot be queued ends the session through the exit command.
#include "session/login_win.h"

#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/login.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
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

int LoginSendSessionStamp(void)
{
    uint8_t packet[16];
    size_t n = BuildSessionStamp(g_viewer.sessionStamp, packet, sizeof(packet));
    return QueueOrExit(packet, (DWORD)n);
}

int LoginSendClientInfo(void)
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

void LoginOnSetStamp(HWND mainWindow, DWORD stamp)
{
    if (stamp == g_viewer.sessionStamp) {
        SendMessageA(mainWindow, WM_CLOSE, 0, 0);
        return;
    }
    g_viewer.sessionStamp = stamp;
    if (g_session.loggedIn)
        LoginSendSessionStamp();
}
