// Full-screen mode: the tile pad moves from the view frame into a topmost pop-up that
// covers the local screen at 1:1, and a small tool window with one button (or F12)
// brings it back. UI thread only.
#include "desktop/fullscreen_win.h"

#include "desktop/input_win.h"
#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "desktop/view_win.h"
#include "resources/resource.h"
#include "shell/commands.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "ui/dpi_win.h"

#include <commctrl.h>

enum { kPadToolbarId = 201, kPadImage = 18, kLeaveImage = 5, kPadSubclassId = 1 };

static ViewState *View(void) { return &g_desktop.view; }
static int AutoScale(void) { return g_viewer.settings.v[SET_AUTO_SCALE_SCREEN] != 0; }

// The pad is dragged by its toolbar, since its caption is tiny. A press on the button
// itself is left to the toolbar: the move loop would swallow the release and the click
// would never happen.
static void PadToolbarPressed(HWND toolbar, LPARAM lp)
{
    POINT p = {(short)LOWORD(lp), (short)HIWORD(lp)};
    RECT button;
    if (!SendMessageA(toolbar, TB_GETRECT, IDM_LEAVE_FULL_SCREEN, (LPARAM)&button) || !PtInRect(&button, p)) {
        // WM_NCLBUTTONDOWN carries screen coordinates; the toolbar's are client ones.
        ClientToScreen(toolbar, &p);
        SendMessageA(GetParent(toolbar), WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));
    }
    if (g_desktop.fullScreenWindow && g_desktop.fullScreen)
        SetFocus(g_desktop.fullScreenWindow);
}

static LRESULT CALLBACK PadToolbarProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR)
{
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(wnd, PadToolbarProc, id);
    LRESULT result = DefSubclassProc(wnd, msg, wp, lp);
    if (msg == WM_LBUTTONDOWN)
        PadToolbarPressed(wnd, lp);
    return result;
}

static int CreatePadToolbar(HWND pad)
{
    HWND tb = CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | CCS_NODIVIDER, 0,
                              0, 0, 0, pad, (HMENU)(INT_PTR)kPadToolbarId, g_viewer.instance, NULL);
    if (!tb)
        return 0;
    SendMessageA(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    HIMAGELIST images = LoadToolbarImages(IDB_TOOLBAR, kPadImage);
    if (images)
        SendMessageA(tb, TB_SETIMAGELIST, 0, (LPARAM)images);
    TBBUTTON buttons[2] = {};
    buttons[0].fsStyle = BTNS_SEP;
    buttons[1].iBitmap = kLeaveImage;
    buttons[1].idCommand = IDM_LEAVE_FULL_SCREEN;
    buttons[1].fsState = TBSTATE_ENABLED;
    buttons[1].fsStyle = BTNS_BUTTON;
    if (!SendMessageA(tb, TB_ADDBUTTONSA, 2, (LPARAM)buttons) ||
        !SetWindowSubclass(tb, PadToolbarProc, kPadSubclassId, 0)) {
        DestroyWindow(tb);
        if (images)
            ImageList_Destroy(images);
        return 0;
    }
    ScaleToolbarButtons(tb, kPadImage);
    SendMessageA(tb, TB_AUTOSIZE, 0, 0);
    return 1;
}

static void DestroyPadImages(HWND pad)
{
    HWND tb = GetDlgItem(pad, kPadToolbarId);
    HIMAGELIST images = tb ? (HIMAGELIST)SendMessageA(tb, TB_GETIMAGELIST, 0, 0) : NULL;
    if (images)
        ImageList_Destroy(images);
}

// Closing the pad only hides it: F12 still leads back, and the next entry shows it again.
static void HidePad(HWND pad)
{
    int hadFocus = GetActiveWindow() == pad;
    ShowWindow(pad, SW_HIDE);
    if (hadFocus && g_desktop.fullScreen && g_desktop.fullScreenWindow)
        SetFocus(g_desktop.fullScreenWindow);
}

LRESULT CALLBACK FullScreenPadProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return CreatePadToolbar(wnd) ? 0 : -1;
    case WM_DESTROY:
        DestroyPadImages(wnd);
        if (g_desktop.fullScreenPad == wnd)
            g_desktop.fullScreenPad = NULL;
        return 0;
    case WM_SIZE:
        SendDlgItemMessageA(wnd, kPadToolbarId, TB_AUTOSIZE, 0, 0);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wp) == IDM_LEAVE_FULL_SCREEN) {
            LeaveFullScreen();
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        if ((wp & 0xFFF0) == SC_CLOSE) {
            HidePad(wnd);
            return 0;
        }
        break;
    case WM_CLOSE:
        HidePad(wnd); // a WM_CLOSE from elsewhere must not destroy it either
        return 0;
    case WM_KEYUP:
        if (wp == VK_F12) {
            LeaveFullScreen();
            return 0;
        }
        break;
    case WM_NOTIFY:
        return g_viewer.mainWindow ? SendMessageA(g_viewer.mainWindow, WM_NOTIFY, wp, lp) : 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

static int CreatePad(HWND fullScreenWindow)
{
    int x = g_viewer.localDisplay.width - ScaleForDpi(60), y = ScaleForDpi(10);
    int w = 2 * GetSystemMetrics(SM_CYBORDER) + ScaleForDpi(44);
    int h = GetSystemMetrics(SM_CYSMCAPTION) + 2 * GetSystemMetrics(SM_CXBORDER) + ScaleForDpi(31);
    g_desktop.fullScreenPad =
        CreateWindowExA(WS_EX_TOOLWINDOW, "CORVID:FULLSCRTBPAD", "F12", WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, w, h,
                        fullScreenWindow, NULL, g_viewer.instance, NULL);
    return g_desktop.fullScreenPad != NULL;
}

static void OnFocus(HWND wnd, int gained)
{
    g_viewer.focused = gained;
    if (!gained)
        ReleaseInputCapture();
    UpdateKeyboardHook(wnd);
}

LRESULT CALLBACK FullScreenProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        g_desktop.fullScreenWindow = wnd;
        return CreatePad(wnd) ? 0 : -1;
    case WM_DESTROY:
        if (g_desktop.fullScreenWindow == wnd)
            g_desktop.fullScreenWindow = NULL;
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        OnFocus(wnd, msg == WM_SETFOCUS);
        return 0;
    case WM_KEYUP:
        if (wp == VK_F12) {
            LeaveFullScreen();
            return 0;
        }
        break;
    case WM_CV_KEY_INPUT:
        return OnKeyInput(1, wp, lp);
    case WM_CLOSE:
        // Alt+F4 without the hook: destroying this window would take the tile pad with
        // it and leave the viewer with no window shown. Leave instead.
        LeaveFullScreen();
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

int CreateFullScreenWindow(void)
{
    HWND wnd =
        CreateWindowExA(WS_EX_TOPMOST, "CORVID:FULLSCREEN", g_viewer.names.mainTitle, WS_POPUP | WS_CLIPSIBLINGS, 0, 0,
                        g_viewer.localDisplay.width, g_viewer.localDisplay.height, NULL, NULL, g_viewer.instance, NULL);
    if (!wnd) {
        WriteLogF("Full-screen window not created (error %lu)", GetLastError());
        return 0;
    }
    return 1;
}

static int DesktopFitsScreen(void)
{
    const TileLayout *l = &g_desktop.screen.layout;
    return g_viewer.localDisplay.width == (int)l->width && g_viewer.localDisplay.height == (int)l->height;
}

// The view frame's presentation as the auto-scale setting wants it.
static void ShowFramePresentation(void)
{
    ViewState *v = View();
    if (AutoScale() && v->scaledView) {
        if (v->tilePad)
            ShowWindow(v->tilePad, SW_HIDE);
        ShowWindow(v->scaledView, SW_SHOW);
    }
}

int EnterFullScreen(void)
{
    ViewState *v = View();
    if (g_desktop.fullScreen)
        return 1;
    // Checked before anything is hidden: a refused entry keeps the main window as it was.
    if (!g_desktop.desktopActive || !v->tilePad || !g_desktop.fullScreenWindow || !g_viewer.mainWindow ||
        !DesktopFitsScreen())
        return 0;
    if (v->dragMode)
        ViewToggleDragMode();
    ShowWindow(g_viewer.mainWindow, SW_HIDE);
    if (v->scaledView)
        ShowWindow(v->scaledView, SW_HIDE);
    ShowWindow(v->tilePad, SW_SHOW);
    if (!SetParent(v->tilePad, g_desktop.fullScreenWindow)) {
        WriteLogF("Full screen: tile pad not moved (error %lu)", GetLastError());
        ShowFramePresentation();
        ShowWindow(g_viewer.mainWindow, SW_SHOW);
        return 0;
    }
    // Set from here on, so that any way out puts the tile pad back.
    g_desktop.fullScreen = 1;
    MoveWindow(v->tilePad, 0, 0, g_desktop.screen.layout.width, g_desktop.screen.layout.height, TRUE);
    SendTileRange(0, 32, 0, 32); // every tile, without changing the range the frame shows
    ShowWindow(g_desktop.fullScreenWindow, SW_SHOW);
    if (g_desktop.fullScreenPad)
        ShowWindow(g_desktop.fullScreenPad, SW_SHOWNOACTIVATE);
    SetForegroundWindow(g_desktop.fullScreenWindow);
    SetFocus(g_desktop.fullScreenWindow);
    return 1;
}

int LeaveFullScreen(void)
{
    ViewState *v = View();
    if (!g_desktop.fullScreen)
        return 1;
    if (g_desktop.fullScreenPad)
        ShowWindow(g_desktop.fullScreenPad, SW_HIDE);
    if (g_desktop.fullScreenWindow)
        ShowWindow(g_desktop.fullScreenWindow, SW_HIDE);
    // The desktop may have been torn down meanwhile: then there is no pad to put back.
    if (v->tilePad) {
        if (!SetParent(v->tilePad, v->frame))
            WriteLogF("Full screen: tile pad not moved back (error %lu)", GetLastError());
        MoveWindow(v->tilePad, -v->hx, -v->vy, g_desktop.screen.layout.width, g_desktop.screen.layout.height, TRUE);
        ShowFramePresentation();
    }
    g_desktop.fullScreen = 0;
    if (g_viewer.mainWindow) {
        ShowWindow(g_viewer.mainWindow, SW_SHOW);
        if (g_desktop.desktopActive)
            ResendVisibleTileRange();
        SetForegroundWindow(g_viewer.mainWindow);
        SetFocus(g_viewer.mainWindow);
    }
    return 1;
}

void LeaveFullScreenThroughPad(void)
{
    if (!g_desktop.fullScreen)
        return;
    if (g_desktop.fullScreenPad)
        SendMessageA(g_desktop.fullScreenPad, WM_COMMAND, IDM_LEAVE_FULL_SCREEN, 0);
    else
        LeaveFullScreen();
}
