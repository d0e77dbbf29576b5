// Screen parts from the receive thread. A tile is decoded under its TileLock, then
// published into the frame under ScreenLock; the two locks are never held together.
#include "desktop/update_win.h"

#include "desktop/decode.h"
#include "desktop/palette.h"
#include "desktop/screen_win.h"
#include "desktop/toolbar_win.h"
#include "desktop/viewgeom.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <cstring>

static ScreenModel *Model(void) { return &g_viewer.screen; }

// The tile a part names, when the desktop is built and the address is on the grid.
static ScreenTile *PartTile(const uint8_t *payload, size_t len, int *row, int *column)
{
    if (!g_viewer.session.desktopActive) {
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
    InterlockedIncrement(&g_viewer.partsDecoded);
    InterlockedExchange(&g_viewer.decodeMicros, (LONG)(DWORD)micros);
}

static void Publish(int row, int column)
{
    ScreenModel *m = Model();
    const TileGeometry *g = &m->layout.tiles[row][column];
    EnterCriticalSection(&g_viewer.screenLock);
    m->changed[row * kTileGridSize + column] = 1;
    if (!m->changePosted)
        m->changePosted = PostMessageA(g_viewer.mainWindow, WM_CV_TILES_CHANGED, 0, 0);
    if (m->frameBits) {
        // The tile's bits are stable here: only this thread writes them.
        PublishTile(&m->layout, row, column, m->tiles[row][column].bits, m->frameBits);
        HWND scaled = g_viewer.view.scaledView;
        if (scaled && IsWindowVisible(scaled)) {
            ViewRect r;
            ScaledTileRect(g, m->viewScale, &r);
            HRGN rgn = CreateRectRgn(r.left, r.top, r.right, r.bottom);
            if (rgn && m->pendingRegion) {
                CombineRgn(m->pendingRegion, m->pendingRegion, rgn, RGN_OR);
                DeleteObject(rgn);
            } else if (rgn) {
                m->pendingRegion = rgn;
            }
        }
    }
    LeaveCriticalSection(&g_viewer.screenLock);
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
    if (result == kPartDropped)
        return 1;
    CountDecoded(start);
    if (result != kPartApplied)
        WriteLogF("Run-length screen part for tile %d,%d does not fit the tile: applied as far as it goes.", row,
                  column);
    Publish(row, column);
    return 1;
}

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
    LeaveCriticalSection(&g_viewer.screenLock);
    PostMessageA(g_viewer.mainWindow, WM_CV_PALETTE, 0, 0);
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
    GetClientRect(g_viewer.view.frame, &rc);
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

void ResendVisibleTileRange(void)
{
    QueueRange(PKT_SCREEN_REFRESH_RECT, Model()->visibleRange);
}

// Changed tiles of the visible tile pad are copied from the frame straight onto the
// pad, a row of neighbouring tiles per blit: asking each tile window to repaint costs a
// server round trip per tile under Wine and caps the frame rate. Tile windows still
// paint themselves when they are exposed.
static int PaintChangedOnPad(const BYTE *changed)
{
    ScreenModel *m = Model();
    HWND pad = g_viewer.view.tilePad;
    if (!pad || !IsWindowVisible(pad) || !m->frame)
        return 0;
    HDC dc = GetDCEx(pad, NULL, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (!dc)
        return 0;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem) {
        ReleaseDC(pad, dc);
        return 0;
    }
    HPALETTE old = NULL;
    if (PaletteInUse()) {
        old = SelectPalette(dc, m->palette, FALSE);
        RealizePalette(dc);
    }
    EnterCriticalSection(&g_viewer.screenLock);
    HGDIOBJ oldBitmap = SelectObject(mem, m->frame);
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
            BitBlt(dc, a->x, a->y, b->x + b->width - a->x, a->height, mem, a->x, a->y, SRCCOPY);
            column = last + 1;
        }
    }
    SelectObject(mem, oldBitmap);
    LeaveCriticalSection(&g_viewer.screenLock);
    if (old)
        SelectPalette(dc, old, TRUE);
    DeleteDC(mem);
    ReleaseDC(pad, dc);
    RefreshMarkerOver(pad);
    return 1;
}

void InvalidateChangedTiles(void)
{
    // At most one paint per gap: each paint costs server round trips under Wine, and
    // a stream of small batches would spend the time on them. The flag stays set
    // meanwhile, so the receive thread does not post again.
    static DWORD lastPaint;
    const DWORD now = GetTickCount();
    if (now - lastPaint < kTilePaintGapMs) {
        SetTimer(g_viewer.mainWindow, kTilePaintTimer, kTilePaintGapMs - (now - lastPaint), NULL);
        return;
    }
    KillTimer(g_viewer.mainWindow, kTilePaintTimer);
    lastPaint = now;
    ScreenModel *m = Model();
    BYTE changed[kTileCount];
    EnterCriticalSection(&g_viewer.screenLock);
    memcpy(changed, m->changed, sizeof(changed));
    memset(m->changed, 0, sizeof(m->changed));
    m->changePosted = FALSE;
    LeaveCriticalSection(&g_viewer.screenLock);
    if (PaintChangedOnPad(changed))
        return;
    for (int i = 0; i < kTileCount; i++) {
        HWND w = m->tiles[i / kTileGridSize][i % kTileGridSize].window;
        if (changed[i] && w)
            InvalidateRect(w, NULL, FALSE);
    }
}
