// The remote pointer: its shape over the desktop view and the markers that show
// where it is. UI thread only.
#include "ui/toolbar_win.h"

#include "desktop/pointer.h"
#include "desktop/state_win.h"
#include "resources/resource.h"
#include "session/packet.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/profile_win.h"
#include "shell/state.h"

enum {
    kMarkerWidth = 11,
    kMarkerHeight = 19,
};

static int ShowMarkers(void) { return g_viewer.settings.v[SET_SHOW_REMOTE_CURSOR] != 0; }

// A cursor from PKT_CURSOR_SHAPE, or NULL when its size does not fit the masks sent.
static HCURSOR CursorFromShape(const BYTE *p)
{
    CursorShape s;
    if (!ParseCursorShape(p, kCursorShapeLen, &s)) {
        WriteLogF("PKT_CURSOR_SHAPE of %d x %d does not fit its %d-byte masks: ignored.", s.width, s.height,
                  kCursorMaskBytes);
        return NULL;
    }
    return CreateCursor(g_viewer.instance, s.hotX, s.hotY, s.width, s.height, s.andMask, s.xorMask);
}

static void SetClassCursorOf(HWND wnd, HCURSOR cursor)
{
    if (wnd)
        SetClassLongPtrA(wnd, GCLP_HCURSOR, (LONG_PTR)cursor);
}

static HWND AnyTileWindow(void)
{
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++)
            if (g_desktop.screen.tiles[r][c].window)
                return g_desktop.screen.tiles[r][c].window;
    return NULL;
}

static int PointerOverView(void)
{
    if (g_desktop.fullScreen)
        return 1;
    const ViewState *v = &g_desktop.view;
    if (!v->frame || !IsWindowVisible(v->frame))
        return 0;
    HWND shown = v->tilePad && IsWindowVisible(v->tilePad)         ? v->tilePad
                 : v->scaledView && IsWindowVisible(v->scaledView) ? v->scaledView
                                                                   : NULL;
    if (!shown)
        return 0;
    RECT rc;
    POINT p;
    GetWindowRect(shown, &rc);
    GetCursorPos(&p);
    return PtInRect(&rc, p);
}

void OnCursorShape(WPARAM kind, LPARAM value)
{
    BYTE *block = kind == 1 ? (BYTE *)value : NULL;
    HCURSOR cursor = NULL;
    int index;
    if (g_viewer.controlMode) {
        if (block) {
            cursor = CursorFromShape(block);
            if (cursor) {
                if (g_desktop.customCursor)
                    DestroyCursor(g_desktop.customCursor);
                g_desktop.customCursor = cursor;
            }
        } else if (StandardCursorIndex((uint32_t)value, &index)) {
            cursor = g_desktop.standardCursors[index];
        } else {
            WriteLogF("PKT_CURSOR_STANDARD %u is not a standard cursor: ignored.", (unsigned)value);
        }
    }
    HeapFree(GetProcessHeap(), 0, block);
    if (!cursor)
        return;
    g_desktop.remoteCursor = cursor;
    SetClassCursorOf(g_desktop.view.scaledView, cursor);
    SetClassCursorOf(g_desktop.scaledMarker, cursor);
    SetClassCursorOf(AnyTileWindow(), cursor);
    if (!PointerOverView())
        return;
    // Hidden and shown around the change so the new shape appears at once.
    ShowCursor(FALSE);
    SetCursor(cursor);
    ShowCursor(TRUE);
}

static void MoveMarker(HWND marker, HWND parent, int x, int y, BOOL invalidate)
{
    if (!marker)
        return;
    MoveWindow(marker, x, y, kMarkerWidth, kMarkerHeight, TRUE);
    if (invalidate && parent) {
        RECT rc = {x, y, x + kMarkerWidth, y + kMarkerHeight};
        InvalidateRect(parent, &rc, FALSE);
    }
}

void OnCursorPos(DWORD x, DWORD y)
{
    // Remote pixels fit 16 bits; larger values would wrap window coordinates.
    const int rx = x > 0xFFFF ? 0xFFFF : (int)x, ry = y > 0xFFFF ? 0xFFFF : (int)y;
    MoveMarker(g_desktop.tileMarker, g_desktop.view.tilePad, rx, ry, TRUE);
    const double s = g_desktop.screen.viewScale;
    MoveMarker(g_desktop.scaledMarker, g_desktop.view.scaledView, (int)(rx * s), (int)(ry * s), ShowMarkers());
}

void ToggleShowRemoteCursor(void)
{
    uint32_t *on = &g_viewer.settings.v[SET_SHOW_REMOTE_CURSOR];
    *on = !*on;
    if (g_viewer.menu)
        CheckMenuItem(g_viewer.menu, IDM_SHOW_REMOTE_CURSOR, MF_BYCOMMAND | (*on ? MF_CHECKED : MF_UNCHECKED));
    const int show = *on ? SW_SHOWNA : SW_HIDE;
    if (g_desktop.tileMarker)
        ShowWindow(g_desktop.tileMarker, show);
    if (g_desktop.scaledMarker)
        ShowWindow(g_desktop.scaledMarker, show);
}

int CreateCursorMarkers(void)
{
    if (!g_desktop.markerIcon)
        g_desktop.markerIcon = (HICON)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(IDI_CURSOR_MARKER), IMAGE_ICON,
                                                 kMarkerWidth, kMarkerHeight, 0);
    const DWORD style = WS_CHILD | (ShowMarkers() ? WS_VISIBLE : 0);
    g_desktop.tileMarker = CreateWindowExA(0, "CORVID:REMOTE:CURSOR", NULL, style, 0, 0, kMarkerWidth, kMarkerHeight,
                                           g_desktop.view.tilePad, NULL, g_viewer.instance, NULL);
    g_desktop.scaledMarker = CreateWindowExA(0, "CORVID:SCALED:CURSOR", NULL, style, 0, 0, kMarkerWidth, kMarkerHeight,
                                             g_desktop.view.scaledView, NULL, g_viewer.instance, NULL);
    return g_desktop.tileMarker && g_desktop.scaledMarker;
}

void RefreshMarkerOver(HWND painted)
{
    HWND marker = painted == g_desktop.view.scaledView ? g_desktop.scaledMarker : g_desktop.tileMarker;
    if (!marker || !IsWindowVisible(marker))
        return;
    RECT a, b, both;
    GetWindowRect(marker, &a);
    GetWindowRect(painted, &b);
    if (IntersectRect(&both, &a, &b))
        InvalidateRect(marker, NULL, FALSE);
}

HWND MarkerShownOn(HWND view, RECT *rc)
{
    HWND marker = view == g_desktop.view.scaledView ? g_desktop.scaledMarker : g_desktop.tileMarker;
    if (!view || !marker || GetParent(marker) != view || !IsWindowVisible(marker))
        return NULL;
    GetWindowRect(marker, rc);
    MapWindowPoints(NULL, view, (POINT *)rc, 2);
    return marker;
}

// The marker draws the screen beneath it first, so the arrow's clear pixels show the
// remote screen rather than whatever the window held.
static void PaintMarker(HWND wnd, int scaled)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    ScreenModel *m = &g_desktop.screen;
    RECT rc;
    GetWindowRect(wnd, &rc);
    MapWindowPoints(NULL, GetParent(wnd), (POINT *)&rc, 2);
    HDC mem = m->frame ? CreateCompatibleDC(dc) : NULL;
    if (mem) {
        const double s = scaled && m->viewScale > 0 ? m->viewScale : 1.0;
        EnterCriticalSection(&g_viewer.screenLock);
        HGDIOBJ old = SelectObject(mem, m->frame);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, 0, 0, kMarkerWidth, kMarkerHeight, mem, (int)(rc.left / s), (int)(rc.top / s),
                   (int)(kMarkerWidth / s), (int)(kMarkerHeight / s), SRCCOPY);
        SelectObject(mem, old);
        LeaveCriticalSection(&g_viewer.screenLock);
        DeleteDC(mem);
    }
    if (g_desktop.markerIcon)
        DrawIconEx(dc, 0, 0, g_desktop.markerIcon, kMarkerWidth, kMarkerHeight, 0, NULL, DI_NORMAL);
    EndPaint(wnd, &ps);
}

static LRESULT MarkerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, int scaled)
{
    switch (msg) {
    case WM_PAINT: {
        const LONGLONG clock = ProfileClock();
        PaintMarker(wnd, scaled);
        ProfileAdd(kProfMarker, clock);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    case WM_NCHITTEST:
        // Clicks on the marker belong to the screen beneath it.
        return HTTRANSPARENT;
    case WM_DESTROY:
        if (wnd == g_desktop.tileMarker)
            g_desktop.tileMarker = NULL;
        if (wnd == g_desktop.scaledMarker)
            g_desktop.scaledMarker = NULL;
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

LRESULT CALLBACK CursorMarkerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { return MarkerProc(wnd, msg, wp, lp, 0); }

LRESULT CALLBACK ScaledMarkerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) { return MarkerProc(wnd, msg, wp, lp, 1); }
