// The logo window. One at a time: its handle lives in ViewerState::logoWindow from
// creation to destruction. UI thread only.
#include "ui/logo_win.h"

#include "resources/resource.h"
#include "shell/state.h"
#include "ui/windowfailure_win.h"

enum { kLogoTimer = 1, kTickMs = 1000 };

// The shown logo's seconds and the ticks so far; one logo at a time, so one copy.
static struct {
    UINT seconds, ticks;
} s_logo;

static LRESULT OnCreate(HWND wnd, const CREATESTRUCTA *cs)
{
    s_logo.seconds = (UINT)(UINT_PTR)cs->lpCreateParams;
    s_logo.ticks = 0;
    if (!SetTimer(wnd, kLogoTimer, kTickMs, NULL))
        return -1;
    g_viewer.logoWindow = wnd;
    return 0;
}

static void OnTick(HWND wnd)
{
    if (++s_logo.ticks > s_logo.seconds)
        DestroyWindow(wnd);
}

static void OnPaint(HWND wnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    HBITMAP logo = LoadBitmapA(g_viewer.instance, MAKEINTRESOURCEA(IDB_LOGO));
    HDC mem = logo ? CreateCompatibleDC(dc) : NULL;
    if (mem) {
        HGDIOBJ old = SelectObject(mem, logo);
        BitBlt(dc, 0, 0, kLogoWidth, kLogoHeight, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    if (logo)
        DeleteObject(logo);
    EndPaint(wnd, &ps);
}

static void OnDestroy(HWND wnd)
{
    KillTimer(wnd, kLogoTimer);
    if (g_viewer.logoWindow == wnd)
        g_viewer.logoWindow = NULL;
}

LRESULT CALLBACK LogoWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(wnd, (const CREATESTRUCTA *)lp);
    case WM_TIMER:
        if (wp == kLogoTimer)
            OnTick(wnd);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_PAINT:
        OnPaint(wnd);
        return 0;
    case WM_DESTROY:
        OnDestroy(wnd);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

int ShowLogo(UINT seconds)
{
    if (g_viewer.logoWindow)
        return 1;
    const DWORD style = WS_POPUP | WS_VISIBLE;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE;
    RECT r = {0, 0, kLogoWidth, kLogoHeight};
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
    const int w = r.right - r.left, h = r.bottom - r.top;
    // Centred in the area a maximised window would have.
    const int x = (GetSystemMetrics(SM_CXFULLSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYFULLSCREEN) - h) / 2;
    HWND wnd = CreateWindowExA(exStyle, "CORVID:LOGO", NULL, style, x, y, w, h, NULL, NULL, g_viewer.instance,
                               (LPVOID)(UINT_PTR)seconds);
    if (!wnd) {
        ReportWindowFailure(g_viewer.mainWindow);
        return 0;
    }
    UpdateWindow(wnd);
    return 1;
}

void CloseLogo(void)
{
    if (g_viewer.logoWindow)
        DestroyWindow(g_viewer.logoWindow); // its WM_DESTROY empties the slot
}
