// Screen parts from the receive thread. A tile is decoded under its TileLock, then
// published into the frame under ScreenLock; the two locks are never held together.
#include "desktop/update_win.h"

#include "desktop/decode.h"
#include "desktop/palette.h"
#include "desktop/scaler.h"
#include "desktop/screen_win.h"
#include "desktop/state_win.h"
#include "desktop/viewgeom.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/profile_win.h"
#include "shell/state.h"
#include "ui/toolbar_win.h"

#include <cstring>

static ScreenModel *Model(void) { return &g_desktop.screen; }

// The tile a part names, when the desktop is built and the address is on the grid.
static ScreenTile *PartTile(const uint8_t *payload, size_t len, int *row, int *column)
{
    if (!g_desktop.desktopActive) {
        WriteLog("Screen part before the desktop was built: dropped.");
        return NULL;
    }
    if (!PartTileAddress(payload, len, row, column)) {
        WriteLogF("Screen part for a tile outside the grid (length %u): dropped.", (unsigned)len);
        return NULL;
    }
    ScreenTile *t = &Model()->tiles[*row][*column];
    return t->lockReady ? t : NULL;
}

// Time spent decoding, for the session statistics; receive thread only. The total is
// kept in counter ticks and published whole, so parts shorter than a microsecond
// still add up.
static struct {
    LONGLONG frequency;
    ULONGLONG ticks;
} s_decodeTime;

static LONGLONG DecodeClock(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static void CountDecoded(LONGLONG start)
{
    const LONGLONG spent = DecodeClock() - start;
    if (!s_decodeTime.frequency) {
        LARGE_INTEGER f;
        s_decodeTime.frequency = QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : 1;
    }
    s_decodeTime.ticks += spent > 0 ? (ULONGLONG)spent : 0;
    const ULONGLONG f = (ULONGLONG)s_decodeTime.frequency, t = s_decodeTime.ticks;
    const ULONGLONG micros = t / f * 1000000 + t % f * 1000000 / f;
    InterlockedIncrement(&g_desktop.partsDecoded);
    InterlockedExchange(&g_desktop.decodeMicros, (LONG)(DWORD)micros);
}

static BOOL s_published; // receive thread: tiles published since the last announcement

static void Publish(int row, int column)
{
    ScreenModel *m = Model();
    const LONGLONG clock = ProfileClock();
    s_published = TRUE;
    EnterCriticalSection(&g_viewer.screenLock);
    m->changed[row * kTileGridSize + column] = 1;
    // The tile's bits are stable here: only this thread writes them.
    if (m->frameBits)
        PublishTile(&m->layout, row, column, m->tiles[row][column].bits, m->frameBits);
    LeaveCriticalSection(&g_viewer.screenLock);
    ProfileAdd(kProfPublish, clock);
    ProfileCountAdd(kProfPartsIn, 1);
}

void AnnounceChangedTiles(void)
{
    if (!s_published)
        return;
    s_published = FALSE;
    ScreenModel *m = Model();
    EnterCriticalSection(&g_viewer.screenLock);
    if (!m->changePosted)
        m->changePosted = UiPost(g_viewer.mainWindow, WM_CV_TILES_CHANGED, 0, 0);
    LeaveCriticalSection(&g_viewer.screenLock);
}

// Posted messages come out of the queue before input, and under a steady stream the
// next announcement is already posted when a batch ends, so input would wait behind
// batch after batch. While input waits, the batch is left to a timer, whose message
// comes only once the queue holds nothing else, as WM_PAINT does; changePosted stays
// set meanwhile, so no announcement is posted until the batch is shown.
static UINT_PTR s_idleTimer; // UI thread

static void CALLBACK ShowTilesWhenIdle(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    s_idleTimer = 0;
    InvalidateChangedTiles();
}

void ShowAnnouncedTiles(void)
{
    if (s_idleTimer)
        return;
    if (HIWORD(GetQueueStatus(QS_INPUT)) &&
        (s_idleTimer = SetTimer(NULL, 0, USER_TIMER_MINIMUM, ShowTilesWhenIdle)) != 0)
        return;
    InvalidateChangedTiles();
}

int HandleXoredScrPart(const SessPacketHeader *h, const uint8_t *payload)
{
    int row, column;
    ScreenTile *t = PartTile(payload, h->dwDataLen, &row, &column);
    if (!t)
        return 1;
    const TileGeometry *g = &Model()->layout.tiles[row][column];
    EnterCriticalSection(&t->lock);
    const LONGLONG start = DecodeClock();
    // The buffer is checked under the lock: a teardown may have freed it meanwhile.
    int result = t->bits ? ApplyXorPart(g, t->bits, payload + 2, h->dwDataLen - 2) : kPartDropped;
    LeaveCriticalSection(&t->lock);
    ProfileAdd(kProfDecode, start);
    if (result == kPartDropped)
        return 1;
    CountDecoded(start);
    if (result == kPartAppliedShort)
        WriteLog("HandleXoredScrPart: Invalid pSessPacketHeader->dwDataLen");
    Publish(row, column);
    return 1;
}

int HandleRlePart(const SessPacketHeader *h, const uint8_t *payload, int xorMode)
{
    int row, column;
    ScreenTile *t = PartTile(payload, h->dwDataLen, &row, &column);
    if (!t)
        return 1;
    const TileGeometry *g = &Model()->layout.tiles[row][column];
    EnterCriticalSection(&t->lock);
    // The depth goes with the buffer: both are read under the lock a rebuild takes.
    const int depth = Model()->layout.depth;
    int result = kPartDropped;
    const LONGLONG start = DecodeClock();
    if (t->bits && (depth == 8 || depth == 16))
        result = ApplyRlePart(g, t->bits, payload + 2, h->dwDataLen - 2, depth / 8, xorMode);
    LeaveCriticalSection(&t->lock);
    ProfileAdd(kProfDecode, start);
    if (result == kPartDropped)
        return 1;
    CountDecoded(start);
    if (result != kPartApplied)
        WriteLogF("Run-length screen part for tile %d,%d does not fit the tile: applied as far as it goes.", row,
                  column);
    Publish(row, column);
    return 1;
}

UiNotice g_paletteNotice;

int HandlePalette(const SessPacketHeader *h, const uint8_t *payload)
{
    if (h->dwDataLen < 1024) {
        WriteLogF("Palette of %u bytes instead of 1024: dropped.", (unsigned)h->dwDataLen);
        return 1;
    }
    uint8_t table[1024];
    StorePalette(payload, table);
    // The UI thread copies the table under the same lock, so two palettes in a row
    // never reach it mixed.
    EnterCriticalSection(&g_viewer.screenLock);
    memcpy(Model()->paletteTable, table, sizeof(table));
    Model()->paletteFor = g_desktop.screen.announcements;
    LeaveCriticalSection(&g_viewer.screenLock);
    // Latest wins: the UI thread takes the table that is there when it gets to it.
    if (!UiNoticeRaise(&g_paletteNotice, g_viewer.mainWindow, WM_CV_PALETTE, 0, 0))
        WriteLog("The palette could not be announced: the next one will be.");
    return 1;
}

static int QueueRange(uint32_t type, const BYTE range[4])
{
    uint8_t packet[16];
    size_t n = BuildPacket(type, range, 4, packet, sizeof(packet));
    int oom;
    return EnqueuePacket(packet, (DWORD)n, &oom);
}

int SendViewGrid(void)
{
    RECT rc;
    GetClientRect(g_desktop.view.frame, &rc);
    int columns, rows;
    ViewGridCounts(&Model()->layout, rc.right, rc.bottom, &columns, &rows);
    BYTE *v = Model()->visibleRange;
    v[0] = 0;
    v[1] = (BYTE)columns;
    v[2] = 0;
    v[3] = (BYTE)rows;
    return QueueRange(PKT_VIEW_GRID, v);
}

void UpdateVisibleTileRange(int firstColumn, int columnCount, int firstRow, int rowCount)
{
    BYTE range[4] = {(BYTE)firstColumn, (BYTE)columnCount, (BYTE)firstRow, (BYTE)rowCount};
    if (memcmp(range, Model()->visibleRange, 4) == 0)
        return;
    memcpy(Model()->visibleRange, range, 4);
    QueueRange(PKT_SCREEN_REFRESH_RECT, range); // a failed send is not retried
}

void SendTileRange(int firstColumn, int columnCount, int firstRow, int rowCount)
{
    BYTE range[4] = {(BYTE)firstColumn, (BYTE)columnCount, (BYTE)firstRow, (BYTE)rowCount};
    QueueRange(PKT_SCREEN_REFRESH_RECT, range);
}

void ResendVisibleTileRange(void) { QueueRange(PKT_SCREEN_REFRESH_RECT, Model()->visibleRange); }

// A batch is shown by drawing straight from the frame onto the visible view: asking
// each tile window to repaint costs a server round trip per tile under Wine and caps
// the frame rate. Tile windows and the scaled view still paint themselves when they
// are exposed. The frame is read without ScreenLock: it is built and torn down on
// this thread, and a tile published meanwhile is marked changed again, so the next
// batch draws it whole.

// The changed tiles as rectangles of the screen: per tile row the span from the first
// to the last changed tile, rows with equal spans joined. At most kTileGridSize.
static int ChangedBands(const BYTE *changed, RECT *bands)
{
    const TileLayout *l = &Model()->layout;
    int count = 0, lastFirst = -1, lastEnd = -1;
    for (int row = 0; row < kTileGridSize; row++) {
        const BYTE *c = changed + row * kTileGridSize;
        int first = 0, last = kTileGridSize - 1;
        while (first < kTileGridSize && !c[first])
            first++;
        if (first == kTileGridSize) {
            lastFirst = -1;
            continue;
        }
        while (!c[last])
            last--;
        const TileGeometry *a = &l->tiles[row][first], *b = &l->tiles[row][last];
        if (first == lastFirst && last == lastEnd && bands[count - 1].bottom == (LONG)a->y) {
            bands[count - 1].bottom = (LONG)(a->y + a->height);
            continue;
        }
        bands[count++] = RECT{(LONG)a->x, (LONG)a->y, (LONG)(b->x + b->width), (LONG)(a->y + a->height)};
        lastFirst = first;
        lastEnd = last;
    }
    return count;
}

// A batch draws straight onto the view, under the marker too: the marker is kept out of
// the drawing and, when the screen beneath it changed, drawn again at once rather than
// at its next WM_PAINT, which a steady stream of batches puts off.
struct MarkerGuard {
    HWND marker;
    RECT rc;
    int touched;
};

static void GuardMarker(MarkerGuard *g, HWND view, HDC dc)
{
    g->touched = 0;
    g->marker = MarkerShownOn(view, &g->rc);
    if (g->marker)
        ExcludeClipRect(dc, g->rc.left, g->rc.top, g->rc.right, g->rc.bottom);
}

static void MarkDrawn(MarkerGuard *g, int left, int top, int right, int bottom)
{
    const RECT drawn = {left, top, right, bottom};
    RECT both;
    if (g->marker && IntersectRect(&both, &drawn, &g->rc))
        g->touched = 1;
}

static void RedrawGuardedMarker(const MarkerGuard *g)
{
    if (g->touched)
        RedrawWindow(g->marker, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
}

static HPALETTE SelectViewPalette(HDC dc)
{
    if (!PaletteInUse())
        return NULL;
    HPALETTE old = SelectPalette(dc, Model()->palette, FALSE);
    RealizePalette(dc);
    return old;
}

// Changed tiles of the visible tile pad, a row of neighbouring tiles per call.
static int ShowChangedOnPad(const BYTE *changed)
{
    ScreenModel *m = Model();
    HWND pad = g_desktop.view.tilePad;
    if (!pad || !IsWindowVisible(pad) || !m->frameBits)
        return 0;
    const LONGLONG clock = ProfileClock();
    HDC dc = GetDCEx(pad, NULL, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc)
        return 0;
    HPALETTE old = SelectViewPalette(dc);
    MarkerGuard guard;
    GuardMarker(&guard, pad, dc);
    const int height = (int)m->layout.height;
    int blits = 0, tiles = 0;
    for (int row = 0; row < kTileGridSize; row++) {
        for (int column = 0; column < kTileGridSize;) {
            if (!changed[row * kTileGridSize + column]) {
                column++;
                continue;
            }
            int last = column;
            while (last + 1 < kTileGridSize && changed[row * kTileGridSize + last + 1])
                last++;
            const TileGeometry *a = &m->layout.tiles[row][column], *b = &m->layout.tiles[row][last];
            const int width = (int)(b->x + b->width - a->x);
            // The frame is bottom-up: its source rows count from the bottom.
            SetDIBitsToDevice(dc, (int)a->x, (int)a->y, (DWORD)width, a->height, (int)a->x,
                              height - (int)(a->y + a->height), 0, (UINT)height, m->frameBits, m->frameInfo,
                              DIB_RGB_COLORS);
            MarkDrawn(&guard, (int)a->x, (int)a->y, (int)a->x + width, (int)(a->y + a->height));
            blits++;
            tiles += last - column + 1;
            column = last + 1;
        }
    }
    if (old)
        SelectPalette(dc, old, TRUE);
    ReleaseDC(pad, dc);
    ProfileAdd(kProfBlit, clock);
    ProfileCountAdd(kProfBlits, blits);
    ProfileCountAdd(kProfTilesShown, tiles);
    RedrawGuardedMarker(&guard);
    return 1;
}

// The frame's colour table for depths under 16, as the scaler reads it.
static const uint8_t *FrameColours(void)
{
    ScreenModel *m = Model();
    return m->colourCount && m->frameInfo ? (const uint8_t *)m->frameInfo->bmiColors : NULL;
}

// The scaled picture for the view's current size, drawn whole when it had to be made.
static ScaledPicture *ScaledForView(HWND view, int *fresh)
{
    ScreenModel *m = Model();
    ScaledPicture *p = &m->scaledPicture;
    RECT rc;
    GetClientRect(view, &rc);
    *fresh = 0;
    if (p->pixels && !m->scaledStale && p->width == rc.right && p->height == rc.bottom &&
        p->srcWidth == m->layout.width && p->srcHeight == m->layout.height)
        return p;
    ScaledPictureFree(p);
    m->scaledStale = FALSE;
    if (!m->frameBits || !ScaledPictureInit(p, m->layout.width, m->layout.height, rc.right, rc.bottom))
        return NULL;
    ViewRect r;
    ScaledPictureDraw(p, &m->layout, m->frameBits, FrameColours(), 0, 0, m->layout.width, m->layout.height, &r);
    *fresh = 1;
    return p;
}

static void PutScaled(HDC dc, const ScaledPicture *p, const ViewRect *r)
{
    BITMAPINFOHEADER h = {};
    h.biSize = sizeof(h);
    h.biWidth = p->width;
    h.biHeight = p->height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = BI_RGB;
    // Bottom-up like the frame: source rows count from the bottom.
    SetDIBitsToDevice(dc, r->left, r->top, (DWORD)(r->right - r->left), (DWORD)(r->bottom - r->top), r->left,
                      p->height - r->bottom, 0, (UINT)p->height, p->pixels, (const BITMAPINFO *)&h, DIB_RGB_COLORS);
}

void PaintScaledPicture(HWND view, HDC dc)
{
    int fresh;
    const ScaledPicture *p = ScaledForView(view, &fresh);
    if (!p)
        return;
    HPALETTE old = SelectViewPalette(dc);
    const ViewRect all = {0, 0, p->width, p->height};
    PutScaled(dc, p, &all);
    if (old)
        SelectPalette(dc, old, TRUE);
}

// The scaled view draws again only the part of its picture that the changed bands
// cover, and puts just that part on the screen.
static int ShowChangedScaled(const BYTE *changed)
{
    ScreenModel *m = Model();
    HWND view = g_desktop.view.scaledView;
    if (!view || !IsWindowVisible(view) || !m->frameBits)
        return 0;
    const LONGLONG clock = ProfileClock();
    int fresh;
    ScaledPicture *p = ScaledForView(view, &fresh);
    if (!p)
        return 0;
    HDC dc = GetDCEx(view, NULL, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc)
        return 0;
    HPALETTE old = SelectViewPalette(dc);
    MarkerGuard guard;
    GuardMarker(&guard, view, dc);
    if (fresh) {
        const ViewRect all = {0, 0, p->width, p->height};
        PutScaled(dc, p, &all);
        MarkDrawn(&guard, all.left, all.top, all.right, all.bottom);
    } else {
        RECT bands[kTileGridSize];
        const int count = ChangedBands(changed, bands);
        int tiles = 0;
        for (int i = 0; i < kTileCount; i++)
            tiles += changed[i] != 0;
        ProfileCountAdd(kProfTilesShown, tiles);
        for (int i = 0; i < count; i++) {
            ViewRect r;
            ScaledPictureDraw(p, &m->layout, m->frameBits, FrameColours(), bands[i].left, bands[i].top, bands[i].right,
                              bands[i].bottom, &r);
            if (r.right > r.left) {
                PutScaled(dc, p, &r);
                MarkDrawn(&guard, r.left, r.top, r.right, r.bottom);
            }
        }
    }
    if (old)
        SelectPalette(dc, old, TRUE);
    ReleaseDC(view, dc);
    ProfileAdd(kProfStretch, clock);
    RedrawGuardedMarker(&guard);
    return 1;
}

static int AnyChanged(const BYTE *changed, int fromRow)
{
    for (int i = fromRow * kTileGridSize; i < kTileCount; i++)
        if (changed[i])
            return 1;
    return 0;
}

static void ShowBand(const BYTE *changed)
{
    ScreenModel *m = Model();
    if (!AnyChanged(changed, 0) || ShowChangedScaled(changed))
        return;
    // The scaled picture missed this batch (the view is hidden: unscaled, full screen,
    // or the main window put away for the console); it is drawn anew when next shown.
    m->scaledStale = TRUE;
    if (ShowChangedOnPad(changed))
        return;
    for (int i = 0; i < kTileCount; i++) {
        HWND w = m->tiles[i / kTileGridSize][i % kTileGridSize].window;
        if (changed[i] && w)
            InvalidateRect(w, NULL, FALSE);
    }
}

// A batch is shown in bands of tile rows; input that arrives meanwhile goes first, the
// rest of the batch is put back and left to the idle timer.
enum { kBandRows = 8 };

void InvalidateChangedTiles(void)
{
    const LONGLONG clock = ProfileClock();
    ScreenModel *m = Model();
    BYTE changed[kTileCount];
    EnterCriticalSection(&g_viewer.screenLock);
    memcpy(changed, m->changed, sizeof(changed));
    memset(m->changed, 0, sizeof(m->changed));
    m->changePosted = FALSE;
    LeaveCriticalSection(&g_viewer.screenLock);
    for (int first = 0; first < kTileGridSize; first += kBandRows) {
        BYTE band[kTileCount] = {};
        const int from = first * kTileGridSize, to = (first + kBandRows) * kTileGridSize;
        memcpy(band + from, changed + from, (size_t)(to - from));
        ShowBand(band);
        if (to >= kTileCount || !AnyChanged(changed, first + kBandRows) || !HIWORD(GetQueueStatus(QS_INPUT)) ||
            s_idleTimer || !(s_idleTimer = SetTimer(NULL, 0, USER_TIMER_MINIMUM, ShowTilesWhenIdle)))
            continue;
        EnterCriticalSection(&g_viewer.screenLock);
        for (int i = to; i < kTileCount; i++)
            m->changed[i] |= changed[i];
        m->changePosted = TRUE;
        LeaveCriticalSection(&g_viewer.screenLock);
        break;
    }
    ProfileAdd(kProfBatch, clock);
    // Under Wine a window's drawing reaches the X screen only when its thread waits for
    // messages, which a busy stream of batches never lets it do; a wait that ends at
    // once makes it happen now. On Windows it costs next to nothing.
    MsgWaitForMultipleObjects(0, NULL, FALSE, 0, QS_ALLINPUT);
}
