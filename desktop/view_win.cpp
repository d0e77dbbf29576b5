// The desktop view: the view frame with its scroll bars, the tile pad with one window
// per tile (unscaled), and the scaled view that stretches the whole-screen frame on a
// 30 ms timer. Painting takes the tile's lock or the screen lock, never both.
#include "desktop/view_win.h"

#include "desktop/input_win.h"
#include "desktop/screen_win.h"
#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "desktop/viewgeom.h"
#include "resources/resource.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/profile_win.h"
#include "shell/state.h"
#include "ui/toolbar_win.h"

#include <cmath>

static ViewState *View(void) { return &g_desktop.view; }
static ScreenModel *Model(void) { return &g_desktop.screen; }
static int Active(void) { return g_desktop.desktopActive && Model()->frameBits; }
static int AutoScale(void) { return g_viewer.settings.v[SET_AUTO_SCALE_SCREEN] != 0; }

int ViewCreateFrame(HWND mainWindow)
{
    View()->frame = CreateWindowExA(WS_EX_CLIENTEDGE, "CORVID:CLIENT", NULL,
                                    WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL | WS_CLIPCHILDREN, 0, 0, 0, 0,
                                    mainWindow, NULL, g_viewer.instance, NULL);
    if (!View()->frame)
        return 0;
    ShowScrollBar(View()->frame, SB_BOTH, FALSE);
    return 1;
}

void ViewOnMainSize(HWND mainWindow, UINT kind)
{
    if (kind == SIZE_MINIMIZED) {
        if (Active())
            UpdateVisibleTileRange(0, 0, 0, 0); // the Agent stops sending tiles
        return;
    }
    RECT client, bar;
    GetClientRect(mainWindow, &client);
    int top = 0;
    if (g_viewer.toolbar && GetWindowRect(g_viewer.toolbar, &bar))
        top = bar.bottom - bar.top;
    if (View()->frame) {
        MoveWindow(View()->frame, 0, top, client.right, client.bottom - top, TRUE);
        // Coming back from a minimise the frame keeps its size and gets no WM_SIZE of
        // its own, yet the Agent was told {0,0,0,0}: lay out again.
        ViewRelayout();
    }
}

static void MoveTilePad(void)
{
    if (View()->tilePad)
        MoveWindow(View()->tilePad, -View()->hx, -View()->vy, Model()->layout.width, Model()->layout.height, TRUE);
}

int ViewCreateWindows(void)
{
    ViewState *v = View();
    const TileLayout *l = &Model()->layout;
    v->hx = v->vy = 0;
    v->scaledWidth = v->scaledHeight = 0;
    Model()->visibleRange[0] = Model()->visibleRange[2] = 0;
    v->scaledView = CreateWindowExA(0, "CORVID:AUTOSCALES", NULL, WS_CHILD | (AutoScale() ? WS_VISIBLE : 0), 0, 0, 0, 0,
                                    v->frame, NULL, g_viewer.instance, NULL);
    if (!v->scaledView)
        return 0;
    v->tilePad = CreateWindowExA(0, "CORVID:SQUAREPAD", NULL, WS_CHILD | (AutoScale() ? 0 : WS_VISIBLE), 0, 0, l->width,
                                 l->height, v->frame, NULL, g_viewer.instance, NULL);
    return v->tilePad != NULL && CreateCursorMarkers();
}

void ViewDestroyScaled(void)
{
    if (View()->scaledView)
        DestroyWindow(View()->scaledView);
    View()->scaledView = NULL;
}

void ViewDestroyTilePad(void)
{
    if (View()->tilePad)
        DestroyWindow(View()->tilePad);
    View()->tilePad = NULL;
}

void ViewRelayout(void)
{
    RECT rc;
    if (!View()->frame)
        return;
    GetClientRect(View()->frame, &rc);
    SendMessageA(View()->frame, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rc.right, rc.bottom));
}

static void SetBar(int bar, int shown, int max, int pos)
{
    SCROLLINFO si = {sizeof(si), SIF_RANGE | SIF_POS | SIF_PAGE, 0, shown ? max : 0, 0, shown ? pos : 0, 0};
    SetScrollInfo(View()->frame, bar, &si, TRUE);
}

static void HideBar(int bar)
{
    if (bar == SB_HORZ)
        View()->hBar = FALSE;
    else
        View()->vBar = FALSE;
    SetBar(bar, 0, 0, 0);
    ShowScrollBar(View()->frame, bar, FALSE);
}

static void ShowBar(int bar, int max, int pos)
{
    if (bar == SB_HORZ)
        View()->hBar = TRUE;
    else
        View()->vBar = TRUE;
    ShowScrollBar(View()->frame, bar, TRUE);
    SetBar(bar, 1, max, pos);
}

void ViewEndDrag(void)
{
    if (View()->dragging)
        ReleaseCapture();
    View()->dragging = FALSE;
}

static void SetDragMode(int on)
{
    View()->dragMode = on;
    ViewEndDrag();
    CheckCommand(IDM_HAND_TOOL, on);
}

static void SetDragAvailable(int available)
{
    View()->dragAvailable = available;
    SetDragMode(0);
    EnableCommand(available, IDM_HAND_TOOL, 0);
}

static void SendRangeForOffsets(int cx, int cy)
{
    TileRange r;
    VisibleTileRange(&Model()->layout, View()->hx, View()->vy, cx, cy, &r);
    UpdateVisibleTileRange(r.firstColumn, r.columnCount, r.firstRow, r.rowCount);
}

static void LayoutScaled(int cx, int cy)
{
    ViewState *v = View();
    const TileLayout *l = &Model()->layout;
    UpdateVisibleTileRange(0, 32, 0, 32);
    ScaledSize size;
    ScaledLayout(cx, cy, l->width, l->height, g_desktop.remote.aspect, &size);
    int w = size.width, h = size.height;
    double scale = size.scale;
    if (w == v->scaledWidth && h == v->scaledHeight && w == l->width && h == l->height)
        return;
    v->scaledWidth = w;
    v->scaledHeight = h;
    EnterCriticalSection(&g_viewer.screenLock);
    Model()->viewScale = scale;
    LeaveCriticalSection(&g_viewer.screenLock);
    MoveWindow(v->scaledView, 0, 0, w, h, TRUE);
    InvalidateRect(v->scaledView, NULL, TRUE);
}

static void LayoutUnscaled(int cx, int cy)
{
    ViewState *v = View();
    const int W = Model()->layout.width, H = Model()->layout.height;
    UnscaledStep step;
    UnscaledLayoutStep(W, H, cx, cy, v->hx, v->vy, v->hBar, v->vBar, &step);
    v->hx = step.hx;
    v->vy = step.vy;
    if (step.moveTiles)
        MoveTilePad();
    switch (step.action) {
    case kUnscaledHideHorz:
        HideBar(SB_HORZ); // hiding resizes the frame: a new WM_SIZE follows
        return;
    case kUnscaledHideVert:
        HideBar(SB_VERT);
        return;
    case kUnscaledShowHorz:
        ShowBar(SB_HORZ, W - cx, v->hx);
        return;
    case kUnscaledShowVert:
        ShowBar(SB_VERT, H - cy, v->vy);
        return;
    }
    if (W - cx > 0)
        SetBar(SB_HORZ, 1, W - cx, v->hx);
    if (H - cy > 0)
        SetBar(SB_VERT, 1, H - cy, v->vy);
    int anyBar = v->hBar || v->vBar;
    if (anyBar && !v->dragAvailable)
        SetDragAvailable(1);
    else if (!anyBar && v->dragAvailable)
        SetDragAvailable(0);
    SendRangeForOffsets(cx, cy);
}

static void Layout(int cx, int cy)
{
    if (!Active())
        return;
    if (AutoScale())
        LayoutScaled(cx, cy);
    else
        LayoutUnscaled(cx, cy);
}

static void FrameClientSize(int *cx, int *cy)
{
    RECT rc;
    GetClientRect(View()->frame, &rc);
    *cx = rc.right;
    *cy = rc.bottom;
}

static void Scroll(int bar, int code, int thumb)
{
    if (!Active())
        return;
    ViewState *v = View();
    int min, max;
    GetScrollRange(v->frame, bar, &min, &max);
    int *offset = bar == SB_HORZ ? &v->hx : &v->vy;
    int32_t pos;
    if (!ScrollPosition(code, min, max, *offset, thumb, &pos))
        return;
    *offset = pos;
    SetScrollPos(v->frame, bar, pos, TRUE);
    int cx, cy;
    FrameClientSize(&cx, &cy);
    SendRangeForOffsets(cx, cy);
    MoveTilePad();
}

static void Wheel(WPARAM wp)
{
    int code;
    int notches = WheelNotches((short)HIWORD(wp), &code);
    int bar = (LOWORD(wp) & MK_SHIFT) ? SB_HORZ : SB_VERT;
    for (int i = 0; i < notches; i++)
        Scroll(bar, code, 0);
}

LRESULT CALLBACK ViewFrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SIZE:
        // In full screen the tile pad lives in the full-screen window at 1:1.
        if (!g_desktop.fullScreen)
            Layout(LOWORD(lp), HIWORD(lp));
        return 0;
    case WM_HSCROLL:
    case WM_VSCROLL:
        Scroll(msg == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wp), (short)HIWORD(wp));
        break;
    case WM_MOUSEWHEEL:
        // Where the wheel reaches the window under the pointer (newer Windows, Wine),
        // it arrives here from the tiles rather than at the main window.
        if (g_viewer.controlMode)
            SendInputEvent(wnd, WM_MOUSEWHEEL, wp, lp);
        else
            Wheel(wp);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

void ViewScrollByKey(UINT key)
{
    ViewState *v = View();
    int shift = GetKeyState(VK_SHIFT) < 0;
    int code = -1;
    switch (key) {
    case VK_PRIOR:
        code = SB_PAGEUP;
        break;
    case VK_NEXT:
        code = SB_PAGEDOWN;
        break;
    case VK_HOME:
        code = SB_TOP;
        break;
    case VK_END:
        code = SB_BOTTOM;
        break;
    case VK_LEFT:
        if (v->hBar)
            PostMessageA(v->frame, WM_HSCROLL, SB_LINELEFT, 0);
        return;
    case VK_RIGHT:
        if (v->hBar)
            PostMessageA(v->frame, WM_HSCROLL, SB_LINERIGHT, 0);
        return;
    case VK_UP:
        if (v->vBar)
            PostMessageA(v->frame, WM_VSCROLL, SB_LINEUP, 0);
        return;
    case VK_DOWN:
        if (v->vBar)
            PostMessageA(v->frame, WM_VSCROLL, SB_LINEDOWN, 0);
        return;
    default:
        return;
    }
    if (shift && v->hBar)
        PostMessageA(v->frame, WM_HSCROLL, code, 0);
    else if (!shift && v->vBar)
        PostMessageA(v->frame, WM_VSCROLL, code, 0);
}

void ViewForwardWheel(WPARAM wp, LPARAM lp)
{
    if (View()->vBar || View()->hBar)
        SendMessageA(View()->frame, WM_MOUSEWHEEL, wp, lp);
}

static void DragMove(void)
{
    ViewState *v = View();
    POINT p;
    GetCursorPos(&p);
    int cx, cy;
    FrameClientSize(&cx, &cy);
    const TileLayout *l = &Model()->layout;
    int32_t hx, vy, ax, ay;
    DragAxis(v->hx, v->dragAnchor.x, p.x, cx, l->width, &hx, &ax);
    DragAxis(v->vy, v->dragAnchor.y, p.y, cy, l->height, &vy, &ay);
    v->dragAnchor.x = ax;
    v->dragAnchor.y = ay;
    v->hx = hx;
    v->vy = vy;
    SendRangeForOffsets(cx, cy);
    MoveTilePad();
    SetScrollPos(v->frame, SB_HORZ, hx, TRUE);
    SetScrollPos(v->frame, SB_VERT, vy, TRUE);
}

static int TileDragMessage(HWND wnd, UINT msg)
{
    ViewState *v = View();
    switch (msg) {
    case WM_LBUTTONDOWN:
        GetCursorPos(&v->dragAnchor);
        SetCursor(LoadCursorA(g_viewer.instance, MAKEINTRESOURCEA(IDC_HAND_DRAG)));
        SetCapture(wnd);
        v->dragging = TRUE;
        return 1;
    case WM_MOUSEMOVE:
        if (v->dragging)
            DragMove();
        return 1;
    case WM_LBUTTONUP:
        ViewEndDrag();
        return 1;
    case WM_RBUTTONUP:
        SetDragMode(0);
        return 1;
    case WM_RBUTTONDOWN:
        return 1;
    }
    return 0;
}

static void PaintTile(HWND wnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    WORD id = (WORD)GetWindowWord(wnd, 0);
    int column = id >> 8, row = id & 0xFF;
    ScreenModel *m = Model();
    if (row < kTileGridSize && column < kTileGridSize && m->tiles[row][column].lockReady) {
        HPALETTE old = NULL;
        if (PaletteInUse()) {
            old = SelectPalette(dc, m->palette, FALSE);
            RealizePalette(dc);
        }
        const TileGeometry *g = &m->layout.tiles[row][column];
        ScreenTile *t = &m->tiles[row][column];
        EnterCriticalSection(&t->lock);
        const BITMAPINFO *info = m->tileInfo[TileInfoIndex(row, column)];
        if (t->bits && info)
            SetDIBitsToDevice(dc, 0, 0, g->width, g->height, 0, 0, 0, g->height, t->bits, info, DIB_RGB_COLORS);
        LeaveCriticalSection(&t->lock);
        if (old)
            SelectPalette(dc, old, TRUE);
    }
    EndPaint(wnd, &ps);
    RefreshMarkerOver(wnd);
}

LRESULT CALLBACK TileWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        PaintTile(wnd);
        return 0;
    case WM_ERASEBKGND:
        return 1; // the tile covers itself entirely
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        if (View()->dragMode && TileDragMessage(wnd, msg))
            return 0;
        if (InputForwarding())
            SendInputEvent(wnd, msg, wp, lp);
        break;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

// Exposures; changes are drawn by the batches.
static void PaintScaled(HWND wnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    if (IsWindowVisible(wnd) && Model()->frameBits) {
        const LONGLONG clock = ProfileClock();
        PaintScaledPicture(wnd, dc);
        ProfileAdd(kProfStretch, clock);
    }
    EndPaint(wnd, &ps);
    RefreshMarkerOver(wnd);
}

LRESULT CALLBACK ScaledViewProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        PaintScaled(wnd);
        return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
        if (InputForwarding())
            SendScaledInput(wnd, msg, wp, lp);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

void ViewToggleAutoScale(void)
{
    ViewState *v = View();
    uint32_t *on = &g_viewer.settings.v[SET_AUTO_SCALE_SCREEN];
    if (!*on) {
        if (v->dragAvailable)
            SetDragAvailable(0);
        if (v->tilePad)
            ShowWindow(v->tilePad, SW_HIDE);
        *on = 1;
        HideBar(SB_HORZ);
        HideBar(SB_VERT);
        v->scaledWidth = v->scaledHeight = 0;
        if (v->scaledView)
            ShowWindow(v->scaledView, SW_SHOW);
    } else {
        if (v->scaledView)
            ShowWindow(v->scaledView, SW_HIDE);
        *on = 0;
        if (v->tilePad)
            ShowWindow(v->tilePad, SW_SHOW);
    }
    CheckCommand(IDM_AUTO_SCALE, *on);
    ViewRelayout();
}

void ViewToggleDragMode(void)
{
    if (View()->dragAvailable)
        SetDragMode(!View()->dragMode);
}
