// Sets each owner's packet handler and registers the viewer's window classes.
#include "shell/wiring_win.h"

#include "agentsettings/session_win.h"
#include "console/console_win.h"
#include "desktop/clipboard_win.h"
#include "desktop/fullscreen_win.h"
#include "desktop/packets_win.h"
#include "desktop/toolbar_win.h"
#include "desktop/update_win.h"
#include "desktop/view_win.h"
#include "filetransfer/route_win.h"
#include "resources/resource.h"
#include "session/receive_win.h"
#include "session/routes.h"
#include "shell/mainwindow_win.h"
#include "shell/state.h"
#include "ui/logo_win.h"

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

int WireViewer(void)
{
    WirePacketHandlers();
    return RegisterWindowClasses();
}
