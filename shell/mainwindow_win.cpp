// The main window: the frame of the viewer. It owns StopEvent and the
// TerminateWatchThread, and on destruction stops every worker before it posts quit.
#include "shell/mainwindow_win.h"

#include "resources/resource.h"
#include "shell/managerlink_win.h"
#include "shell/settings_win.h"
#include "shell/state.h"

enum { kMinTrackWidth = 640, kMinTrackHeight = 480 };

static int OnCreate(HWND wnd)
{
    g_viewer.mainWindow = wnd;
    g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!g_viewer.stopEvent)
        return 0;
    if (!StartTerminateWatch(wnd))
        return 0;
    return 1;
}

static void CancelSlot(HWND slot)
{
    if (slot)
        SendMessageA(slot, WM_COMMAND, IDCANCEL, 0);
}

// Shared by WM_DESTROY and WM_ENDSESSION; safe to run twice.
static void DestroySession(void)
{
    CancelSlot(g_viewer.timedBoxSlot);
    CancelSlot(g_viewer.dialogSlot);
    if (g_viewer.settings.v[SET_SAVE_ON_EXIT])
        SaveSettings(NULL, 1);
    if (g_viewer.stopEvent) {
        SetEvent(g_viewer.stopEvent);
        if (g_viewer.terminateWatchThread) {
            WaitForSingleObject(g_viewer.terminateWatchThread, INFINITE);
            CloseHandle(g_viewer.terminateWatchThread);
            g_viewer.terminateWatchThread = NULL;
        }
        CloseHandle(g_viewer.stopEvent);
        g_viewer.stopEvent = NULL;
    }
}

static void OnSize(UINT kind)
{
    if (kind == SIZE_RESTORED)
        g_viewer.settings.v[SET_FRAME_MAXIMIZED] = 0;
    else if (kind == SIZE_MAXIMIZED)
        g_viewer.settings.v[SET_FRAME_MAXIMIZED] = 1;
}

static LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(wnd) ? 0 : -1;
    case WM_DESTROY:
        DestroySession();
        g_viewer.mainWindow = NULL;
        PostQuitMessage(0);
        return 0;
    case WM_ENDSESSION:
        if (wp)
            DestroySession();
        return 0;
    case WM_SIZE:
        OnSize((UINT)wp);
        return 0;
    case WM_GETMINMAXINFO: {
        MINMAXINFO *mm = (MINMAXINFO *)lp;
        mm->ptMinTrackSize.x = kMinTrackWidth;
        mm->ptMinTrackSize.y = kMinTrackHeight;
        return 0;
    }
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
