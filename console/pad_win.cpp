// The ButtonPad: a small tool window beside the local console with the remote-control
// toolbar. Pinned, it follows the console window on a 500 ms timer; unpinned, it is
// dragged by any point of its toolbar. UI thread only.
#include "console/console_win.h"

#include "console/rules.h"
#include "console/state_win.h"
#include "desktop/state_win.h"
#include "resources/resource.h"
#include "session/login.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/messages.h"
#include "shell/notify_win.h"
#include "shell/state.h"
#include "ui/dpi_win.h"
#include "ui/toolbar_win.h"

#include <commctrl.h>

enum { kPadToolbarId = 202, kPadTimer = 1, kPadPeriodMs = 500, kPadWidth = 276, kPadHeight = 32 };

static int Pinned(void) { return g_viewer.settings.v[SET_CLIP_CON_TOOLS] != 0; }

static void SetState(UINT command, BYTE state)
{
    SendMessageA(g_console.toolbar, TB_SETSTATE, command, MAKELPARAM(state, 0));
}

static BYTE Checked(int on) { return (BYTE)(TBSTATE_ENABLED | (on ? TBSTATE_CHECKED : 0)); }

static void SetInitialStates(void)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    const uint32_t rights = g_session.info.login.rights;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    if (rights & RIGHT_REMOTE_CONTROL) {
        SetState(IDM_REMOTE_CONTROL, Checked(g_viewer.controlMode));
        if (g_viewer.controlMode) {
            const ModifierLatch &l = g_desktop.latch;
            SetState(IDM_LEFT_CTRL, Checked(l.held[kLatchLeftCtrl]));
            SetState(IDM_RIGHT_CTRL, Checked(l.held[kLatchRightCtrl]));
            SetState(IDM_LEFT_ALT, Checked(l.held[kLatchLeftAlt]));
            SetState(IDM_RIGHT_ALT, Checked(l.held[kLatchRightAlt]));
        }
        SetState(IDM_ALT_ENTER, Checked(0));
        SetState(IDM_SWITCH, Checked(g_viewer.switchOn));
    }
    if (rights & RIGHT_FILE_TRANSFER)
        SetState(IDM_FILE_TRANSFER, Checked(0));
    SetState(IDM_PAD_FOLLOWS_CONSOLE, Checked(Pinned()));
}

static LRESULT CALLBACK PadToolbarProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const LRESULT r = CallWindowProcA(g_console.toolbarProc, wnd, msg, wp, lp);
    switch (msg) {
    case WM_LBUTTONDOWN:
        if (!Pinned() && g_console.pad)
            SendMessageA(g_console.pad, WM_NCLBUTTONDOWN, HTCAPTION, lp);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        if (g_console.window) {
            if (g_viewer.ntFamily)
                SetForegroundWindow(g_console.window);
            SetFocus(g_console.window);
        }
        break;
    }
    return r;
}

HWND BuildConsoleToolbar(HWND parent, UINT id)
{
    static const ToolbarEntry kEntries[] = {
        {0, 0, 0, BTNS_SEP},
        {0, IDM_EXIT, TBSTATE_ENABLED, BTNS_BUTTON},
        {1, IDM_REMOTE_CONTROL, TBSTATE_INDETERMINATE, BTNS_CHECK},
        {2, IDM_SWITCH, TBSTATE_INDETERMINATE, BTNS_CHECK},
        {7, IDM_FILE_TRANSFER, TBSTATE_INDETERMINATE, BTNS_BUTTON},
        {3, IDM_PAD_FOLLOWS_CONSOLE, TBSTATE_ENABLED, BTNS_CHECK},
        {0, 0, 0, BTNS_SEP},
        {4, IDM_LEFT_CTRL, TBSTATE_INDETERMINATE, BTNS_CHECK},
        {5, IDM_LEFT_ALT, TBSTATE_INDETERMINATE, BTNS_CHECK},
        {6, IDM_ALT_ENTER, TBSTATE_INDETERMINATE, BTNS_BUTTON},
        {5, IDM_RIGHT_ALT, TBSTATE_INDETERMINATE, BTNS_CHECK},
        {4, IDM_RIGHT_CTRL, TBSTATE_INDETERMINATE, BTNS_CHECK},
    };
    return CreateEntryToolbar(parent, id, CCS_NODIVIDER | CCS_TOP, 0, IDB_CONSOLE_TOOLBAR, kEntries,
                              (int)(sizeof(kEntries) / sizeof(kEntries[0])));
}

static int OnPadCreate(HWND wnd)
{
    g_console.toolbar = BuildConsoleToolbar(wnd, kPadToolbarId);
    if (!g_console.toolbar)
        return 0;
    SetInitialStates();
    g_console.toolbarProc = (WNDPROC)SetWindowLongPtrA(g_console.toolbar, GWLP_WNDPROC, (LONG_PTR)PadToolbarProc);
    g_console.padTimer = SetTimer(wnd, kPadTimer, kPadPeriodMs, NULL);
    PostMessageA(wnd, WM_TIMER, kPadTimer, 0);
    return 1;
}

static void FollowConsole(HWND pad)
{
    RECT console, at;
    if (!Pinned() || !g_console.window || !GetWindowRect(g_console.window, &console) || !GetWindowRect(pad, &at))
        return;
    const int x = console.left + (int32_t)g_viewer.settings.v[SET_X_CON_CLIP];
    const int y = console.top + (int32_t)g_viewer.settings.v[SET_Y_CON_CLIP];
    if (at.left != x || at.top != y)
        MoveWindow(pad, x, y, ScaleForDpi(kPadWidth), ScaleForDpi(kPadHeight), TRUE);
}

static void RecordOffset(HWND pad)
{
    RECT console, at;
    if (!g_console.window || !GetWindowRect(g_console.window, &console) || !GetWindowRect(pad, &at))
        return;
    int32_t x = at.left - console.left, y = at.top - console.top;
    ClampPadOffset(&x, &y, g_viewer.localDisplay.width, g_viewer.localDisplay.height);
    g_viewer.settings.v[SET_X_CON_CLIP] = (uint32_t)x;
    g_viewer.settings.v[SET_Y_CON_CLIP] = (uint32_t)y;
    SendMessageA(pad, WM_TIMER, kPadTimer, 0);
}

LRESULT CALLBACK ButtonPadProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return OnPadCreate(wnd) ? 0 : -1;
    case WM_DESTROY:
        KillTimer(wnd, kPadTimer);
        g_console.padTimer = 0;
        g_console.toolbar = NULL;
        return 1;
    case WM_SIZE:
        if (g_console.toolbar)
            SendMessageA(g_console.toolbar, TB_AUTOSIZE, 0, 0);
        return 0;
    case WM_NOTIFY:
        return OnToolbarNotify(g_viewer.mainWindow, wp, lp);
    case WM_COMMAND:
        return SendMessageA(g_viewer.mainWindow, WM_COMMAND, wp, lp);
    case WM_TIMER:
        FollowConsole(wnd);
        return 0;
    case WM_CV_PAD_ANCHOR:
        RecordOffset(wnd);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

HWND CreateButtonPad(HWND console)
{
    const int w = ScaleForDpi(kPadWidth), h = ScaleForDpi(kPadHeight);
    HWND pad = CreateWindowExA(WS_EX_DLGMODALFRAME, "CORVID:CONSOLE:BUTTPAD", NULL, WS_POPUP | WS_VISIBLE,
                               CW_USEDEFAULT, CW_USEDEFAULT, w, h, console, NULL, g_viewer.instance, NULL);
    // The console window belongs to the console host; if it cannot own the pad, the pad
    // stands on its own.
    if (!pad && console)
        pad = CreateWindowExA(WS_EX_DLGMODALFRAME, "CORVID:CONSOLE:BUTTPAD", NULL, WS_POPUP | WS_VISIBLE, CW_USEDEFAULT,
                              CW_USEDEFAULT, w, h, NULL, NULL, g_viewer.instance, NULL);
    return pad;
}

void TogglePadFollowsConsole(void)
{
    uint32_t *pinned = &g_viewer.settings.v[SET_CLIP_CON_TOOLS];
    *pinned = !*pinned;
    if (g_console.toolbar)
        SendMessageA(g_console.toolbar, TB_CHECKBUTTON, IDM_PAD_FOLLOWS_CONSOLE, MAKELPARAM(*pinned, 0));
    if (*pinned && g_console.pad)
        PostMessageA(g_console.pad, WM_CV_PAD_ANCHOR, 0, 0);
}
