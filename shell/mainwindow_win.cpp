// The main window: the frame of the viewer. It owns the menu, the toolbar, the session's
// events and the worker threads; on destruction it stops every worker before it posts
// quit. Workers only post to it.
#include "shell/mainwindow_win.h"

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
#include "filetransfer/frame_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/login_win.h"
#include "session/neterror.h"
#include "session/receive_win.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/commands.h"
#include "shell/commands_win.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/managerlink_win.h"
#include "shell/messages.h"
#include "shell/msgbox_win.h"
#include "shell/notify_win.h"
#include "shell/report_win.h"
#include "shell/settings_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "shell/wiring_win.h"
#include "ui/dpi_win.h"
#include "ui/help_win.h"
#include "ui/logo_win.h"
#include "ui/toolbar_win.h"

#include <commctrl.h>

#include <cstdio>

enum { kMinTrackWidth = 640, kMinTrackHeight = 480 };

static void RecordDisplayMetrics(void)
{
    HDC screen = GetDC(NULL);
    g_viewer.localDisplay.bitsPerPixel = GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES);
    g_viewer.localDisplay.width = GetSystemMetrics(SM_CXSCREEN);
    g_viewer.localDisplay.height = GetSystemMetrics(SM_CYSCREEN);
    ReleaseDC(NULL, screen);
}

// System cursors in the order the Agent's standard cursor indexes name them.
static const WORD kStandardCursorIds[15] = {32512, 32513, 32514, 32515, 32516, 32649, 32641, 32642,
                                            32643, 32644, 32645, 32646, 32648, 32650, 32651};

static void LoadLocalFacts(void)
{
    for (int i = 0; i < 15; i++)
        g_desktop.standardCursors[i] = LoadCursorA(NULL, MAKEINTRESOURCEA(kStandardCursorIds[i]));
    DWORD size = sizeof(g_viewer.localComputerName);
    if (!GetComputerNameA(g_viewer.localComputerName, &size))
        g_viewer.localComputerName[0] = 0;
    RecordDisplayMetrics();
    g_viewer.labelFont = CreateFontA(ScaleForDpi(16), 0, 0, 0, 600, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, "Arial");
    g_viewer.smallFont = CreateFontA(ScaleForDpi(14), 0, 0, 0, 100, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, "Arial");
}

static void FreeLocalFacts(void)
{
    if (g_viewer.labelFont)
        DeleteObject(g_viewer.labelFont);
    if (g_viewer.smallFont)
        DeleteObject(g_viewer.smallFont);
    g_viewer.labelFont = g_viewer.smallFont = NULL;
    if (g_desktop.customCursor)
        DestroyCursor(g_desktop.customCursor);
    g_desktop.customCursor = g_desktop.remoteCursor = NULL;
    if (g_desktop.markerIcon)
        DestroyIcon(g_desktop.markerIcon);
    g_desktop.markerIcon = NULL;
}

static int LoadMainMenu(HWND wnd)
{
    g_viewer.menu = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    if (!g_viewer.menu)
        return 0;
    GreyUnavailableCommands(g_viewer.menu);
    const ViewerSettings *s = &g_viewer.settings;
    CheckMenuItem(g_viewer.menu, IDM_SAVE_ON_EXIT, MF_BYCOMMAND | (s->v[SET_SAVE_ON_EXIT] ? MF_CHECKED : 0));
    CheckMenuItem(g_viewer.menu, IDM_SHOW_REMOTE_CURSOR,
                  MF_BYCOMMAND | (s->v[SET_SHOW_REMOTE_CURSOR] ? MF_CHECKED : 0));
    CheckMenuItem(g_viewer.menu, IDM_AUTO_SCALE, MF_BYCOMMAND | (s->v[SET_AUTO_SCALE_SCREEN] ? MF_CHECKED : 0));
    CheckMenuRadioItem(g_viewer.menu, IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN,
                       SettingLanguageIndex(s) ? IDM_LANG_RUSSIAN : IDM_LANG_ENGLISH, MF_BYCOMMAND);
    SetMenu(wnd, g_viewer.menu);
    return 1;
}

static int OnCreate(HWND wnd)
{
    g_viewer.mainWindow = wnd;
    g_viewer.uiThreadId = GetCurrentThreadId();
    LoadLocalFacts();
    SendQueueCreateLock();
    LoadMainMenu(wnd);
    g_viewer.toolbar = CreateMainToolbar(wnd);
    if (!g_viewer.toolbar || !AddToolbarExtras(g_viewer.toolbar))
        return 0;
    if (g_viewer.settings.v[SET_AUTO_SCALE_SCREEN])
        SendMessageA(g_viewer.toolbar, TB_CHECKBUTTON, IDM_AUTO_SCALE, TRUE);
    if (!ViewCreateFrame(wnd) || !CreateFullScreenWindow())
        return 0;
    g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    InterlockedExchange(&g_viewer.stopping, 0);
    g_session.syncReplyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!g_viewer.stopEvent || !g_session.syncReplyEvent)
        return 0;
    if (!StartTerminateWatch(wnd))
        return 0;
    if (!NetCreateEvents())
        return 0;
    ClipboardJoinChain(wnd);
    if (g_viewer.ntFamily)
        LookupConsoleDisplayMode();
    PostMessageA(wnd, WM_CV_CONNECT, 0, 0);
    return 1;
}

static void CancelSlot(HWND slot)
{
    if (slot)
        SendMessageA(slot, WM_COMMAND, IDCANCEL, 0);
}

static void JoinThread(HANDLE *thread)
{
    if (*thread) {
        WaitForSingleObject(*thread, INFINITE);
        CloseHandle(*thread);
        *thread = NULL;
    }
}

// Shared by WM_DESTROY and WM_ENDSESSION; safe to run twice. The hook goes first:
// nothing may hold the keyboard while the rest winds down.
static void DestroySession(HWND wnd)
{
    if (g_viewer.stopEvent)
        WriteLog("The viewer is closing.");
    CloseConsole(0);
    RemoveKeyboardHook();
    HtmlHelpRelease(); // help windows and their threads go before the main window
    CloseTimedBoxes();
    CloseLogo();
    CancelSlot(g_viewer.dialogSlot);
    if (g_viewer.settings.v[SET_SAVE_ON_EXIT])
        SaveSettings(NULL, 1);
    if (g_viewer.stopEvent) {
        InterlockedExchange(&g_viewer.stopping, 1);
        SetEvent(g_viewer.stopEvent);
        EndFileTransferWorker(); // it uses the queue, the events and the locks below
        JoinThread(&g_viewer.terminateWatchThread);
        JoinThread(&g_session.receiveThread);
        JoinThread(&g_session.sendThread);
        WriteLog("The session's threads have ended.");
        NetCloseEvents();
        TeardownDesktop();
        if (g_session.syncReplyEvent)
            CloseHandle(g_session.syncReplyEvent);
        g_session.syncReplyEvent = NULL;
        CloseHandle(g_viewer.stopEvent);
        g_viewer.stopEvent = NULL;
    }
    EndAgentSettings();
    ClipboardLeaveChain(wnd); // StopEvent is set: its sender thread ends
    NetClose();
    SendQueueDestroy();
    FreeLocalFacts();
}

static void OnSendStalled(HWND wnd)
{
    char format[512], text[1024];
    LoadLangString(IDS_SEND_STALLED, format, sizeof(format));
    snprintf(text, sizeof(text), format, g_viewer.target.hostText);
    // The box belongs to the main window, hidden behind a topmost full screen.
    LeaveFullScreenThroughPad();
    ReportFailure(wnd, text);
    PostMessageA(wnd, WM_CLOSE, 0, 0);
}

static void OnConnectionLost(HWND wnd, int code)
{
    // The box below belongs to the main window, hidden behind a topmost full screen.
    LeaveFullScreenThroughPad();
    if (code) {
        char text[1024];
        FormatNetError(code, IDS_CONNECTION_LOST, text, sizeof(text));
        WriteLog(text);
        SendMessageRecord(0, text);
        TimedBoxRequest req = {IDD_TIMED_BOX, 5000, g_viewer.names.mainTitle, text, 16, TRUE};
        TimedMessageBox(wnd, &req);
    }
    PostMessageA(wnd, WM_CLOSE, 0, 0);
}

static void OnSize(UINT kind)
{
    if (kind == SIZE_RESTORED)
        g_viewer.settings.v[SET_FRAME_MAXIMIZED] = 0;
    else if (kind == SIZE_MAXIMIZED)
        g_viewer.settings.v[SET_FRAME_MAXIMIZED] = 1;
    if (g_viewer.toolbar)
        SendMessageA(g_viewer.toolbar, TB_AUTOSIZE, 0, 0);
}

// Announcements come as one notice: only the latest is built, or an Agent sending a
// stream of them would keep the window busy for minutes.
static void OnScreenInfo(HWND wnd)
{
    TakeScreenNotice();
    EnterCriticalSection(&g_viewer.screenLock);
    g_desktop.remote = g_desktop.screen.announced;
    const DWORD number = g_desktop.screen.announcements;
    LeaveCriticalSection(&g_viewer.screenLock);
    LeaveFullScreenThroughPad(); // the build replaces the tile pad it holds
    const int built = BuildDesktop(wnd);
    g_desktop.screen.builtFor = built ? number : 0;
    // The palette that followed this announcement may have been taken before it, by a
    // notice posted earlier: the new desktop gets it now.
    EnterCriticalSection(&g_viewer.screenLock);
    const int ownPalette = built && g_desktop.screen.paletteFor == number;
    LeaveCriticalSection(&g_viewer.screenLock);
    if (ownPalette)
        ApplyPalette();
    UpdateKeyboardHook(wnd); // forwards keys again, or gives them back to the system
    if (!built)
        PostMessageA(wnd, WM_CV_SOCKET, (WPARAM)g_session.socket, FD_CLOSE);
}

// A palette belongs to the screen announced before it: one taken after a later screen
// was built (its notice was posted first) is that older screen's, and is left.
static void OnPaletteNotice(void)
{
    UiNoticeTaken(&g_paletteNotice);
    EnterCriticalSection(&g_viewer.screenLock);
    const int own = g_desktop.screen.paletteFor == g_desktop.screen.builtFor;
    LeaveCriticalSection(&g_viewer.screenLock);
    if (own)
        ApplyPalette();
}

static void OnCursorShapeNotice(void)
{
    PendingCursor c;
    if (!TakeCursorShape(&c))
        return;
    if (c.shapeKind == 1) {
        OnCursorShape(0, (LPARAM)c.index);
        return;
    }
    BYTE *block = (BYTE *)HeapAlloc(GetProcessHeap(), 0, sizeof(c.shape));
    if (!block)
        return;
    memcpy(block, c.shape, sizeof(c.shape));
    OnCursorShape(1, (LPARAM)block);
}

static void OnCursorPosNotice(void)
{
    DWORD x, y;
    if (TakeCursorPos(&x, &y))
        OnCursorPos(x, y);
}

// Realises the session palette; returns the number of entries that changed.
static LRESULT RealizeSessionPalette(HWND wnd, BOOL background)
{
    if (!g_desktop.screen.palette)
        return 0;
    HDC dc = GetDC(wnd);
    HPALETTE old = SelectPalette(dc, g_desktop.screen.palette, background);
    UINT changed = RealizePalette(dc);
    SelectPalette(dc, old, TRUE);
    ReleaseDC(wnd, dc);
    if (changed && changed != GDI_ERROR && g_desktop.view.frame)
        RedrawWindow(g_desktop.view.frame, NULL, NULL, RDW_INVALIDATE | RDW_ALLCHILDREN);
    return changed == GDI_ERROR ? 0 : changed;
}

static int PaletteChangeIsOurs(HWND wnd, HWND cause)
{
    return cause == wnd || (g_desktop.view.tilePad && IsChild(g_desktop.view.tilePad, cause));
}

static void OnDisplayChange(HWND wnd, int bitsPerPixel, int width, int height)
{
    if (bitsPerPixel == g_viewer.localDisplay.bitsPerPixel && width == g_viewer.localDisplay.width &&
        height == g_viewer.localDisplay.height)
        return;
    LeaveFullScreenThroughPad();
    DestroyWindow(wnd);
}

static void OnMenuSelect(HWND wnd, WPARAM wp, LPARAM lp)
{
    g_viewer.menuOpen = !(HIWORD(wp) == 0xFFFF && lp == 0);
    UpdateKeyboardHook(wnd);
}

static void OnFocusChange(HWND wnd, int gained)
{
    g_viewer.focused = gained;
    if (!gained) {
        ViewEndDrag();
        ReleaseInputCapture();
    }
    UpdateKeyboardHook(wnd);
}

static LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(wnd) ? 0 : -1;
    case WM_DESTROY:
        DestroySession(wnd);
        g_viewer.mainWindow = NULL;
        PostQuitMessage(0);
        return 0;
    case WM_ENDSESSION:
        if (wp)
            DestroySession(wnd);
        return 0;
    case WM_SIZE:
        OnSize((UINT)wp);
        ViewOnMainSize(wnd, (UINT)wp);
        return 0;
    case WM_KEYDOWN:
        if (g_desktop.desktopActive)
            ViewScrollByKey((UINT)wp);
        break;
    case WM_MOUSEWHEEL:
        if (g_viewer.controlMode)
            SendInputEvent(wnd, WM_MOUSEWHEEL, wp, lp);
        else
            ViewForwardWheel(wp, lp);
        return 0;
    case WM_QUERYNEWPALETTE:
        return RealizeSessionPalette(wnd, FALSE);
    case WM_PALETTECHANGED:
        if (!PaletteChangeIsOurs(wnd, (HWND)wp))
            RealizeSessionPalette(wnd, TRUE);
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        OnFocusChange(wnd, msg == WM_SETFOCUS);
        return 0;
    case WM_GETMINMAXINFO: {
        MINMAXINFO *mm = (MINMAXINFO *)lp;
        mm->ptMinTrackSize.x = ScaleForDpi(kMinTrackWidth);
        mm->ptMinTrackSize.y = ScaleForDpi(kMinTrackHeight);
        return 0;
    }
    case WM_DISPLAYCHANGE:
        OnDisplayChange(wnd, (int)wp, LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_COMMAND:
        if (RunCommand(wnd, LOWORD(wp)))
            return 0;
        break;
    case WM_MENUSELECT:
        OnMenuSelect(wnd, wp, lp);
        return 0;
    case WM_NOTIFY:
        return OnToolbarNotify(wnd, wp, lp);
    case WM_CV_CONNECT:
        LoginOnConnect(wnd);
        return 0;
    case WM_CV_SOCKET:
        if (WSAGETSELECTEVENT(lp) == FD_CLOSE)
            OnConnectionLost(wnd, WSAGETSELECTERROR(lp));
        else
            NetOnSocketMessage(wnd, lp);
        return 0;
    case WM_CV_LOGIN_REPLY: {
        DWORD status;
        TakeLoginStatus(&status);
        AfterLoginReply(wnd, status);
        return 0;
    }
    case WM_CV_SCREEN_INFO:
        OnScreenInfo(wnd);
        return 0;
    case WM_CV_KEY_INPUT:
        return OnKeyInput(0, wp, lp);
    case WM_CV_CONSOLE_CHANGED:
        OnConsoleChanged();
        return 0;
    case WM_CV_CONSOLE_KEY:
        OnConsoleKey((UINT)wp, (UINT)lp);
        return 0;
    case WM_CV_CURSOR_SHAPE:
        OnCursorShapeNotice();
        return 0;
    case WM_CV_CURSOR_POS:
        OnCursorPosNotice();
        return 0;
    case WM_CHANGECBCHAIN:
        ClipboardOnChangeChain((HWND)wp, (HWND)lp);
        break;
    case WM_DRAWCLIPBOARD:
        ClipboardOnDraw(wnd);
        break;
    case WM_CV_CLIPBOARD_TEXT:
        ClipboardOnText(wnd);
        return 0;
    case WM_CV_SEND_STALLED:
        OnSendStalled(wnd);
        return 0;
    case WM_CV_TILES_CHANGED:
        ShowAnnouncedTiles();
        return 0;
    case WM_TIMER:
        if (wp == kSettingsWaitTimer)
            OnAgentSettingsTimer(wnd);
        return 0;
    case WM_CV_SETTINGS_READY:
        OnAgentSettingsReady(wnd);
        return 0;
    case WM_CV_SETTINGS_SENT:
        OnAgentSettingsSent();
        return 0;
    case WM_CV_PALETTE:
        OnPaletteNotice();
        break;
    case WM_CV_DESKTOP_RESTART:
        TakeRestartNotice();
        AfterDesktopRestart(wnd);
        return 0;
    case WM_CV_SET_STAMP:
        LoginOnSetStamp(wnd, (DWORD)lp);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

int RegisterMainWindowClass(void)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = g_viewer.instance;
    wc.hIcon = LoadIconA(g_viewer.instance, MAKEINTRESOURCEA(IDI_CORVID));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = g_viewer.names.instanceName;
    return RegisterClassA(&wc) != 0;
}

int CreateMainWindow(void)
{
    // Creation sends size messages that would reset the remembered maximised state.
    DWORD maximized = g_viewer.settings.v[SET_FRAME_MAXIMIZED];
    CreateTerminateEvent();
    HWND wnd = CreateWindowExA(0, g_viewer.names.instanceName, g_viewer.names.mainTitle,
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, NULL, NULL, g_viewer.instance, NULL);
    g_viewer.settings.v[SET_FRAME_MAXIMIZED] = maximized;
    if (!wnd)
        return 0;
    ShowWindow(wnd, maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    UpdateWindow(wnd);
    return 1;
}
