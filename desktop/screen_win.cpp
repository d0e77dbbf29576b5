// The remote screen model on the Win32 side. Build and teardown run on the UI thread
// while no screen part is being decoded (between PKT_SCREEN_INFO and the first part,
// after a restart, after the workers ended), so they take no lock.
#include "desktop/screen_win.h"

#include "console/console_win.h"
#include "ui/toolbar_win.h"

#include "desktop/fullscreen_win.h"
#include "desktop/screenchoice_win.h"
#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "desktop/view_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/login.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/mainwindow_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/logo_win.h"

#include <cstdio>
#include <cstring>

DesktopState g_desktop;

static ScreenModel *Model(void) { return &g_desktop.screen; }

// Fills a 40-byte header for a width x height bitmap of depth D, bottom-up.
static void FillBitmapHeader(BITMAPINFOHEADER *h, int width, int height, int depth)
{
    memset(h, 0, sizeof(*h));
    int bits = DibBitCount(depth);
    h->biSize = sizeof(*h);
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = (WORD)bits;
    h->biCompression = BI_RGB;
    h->biSizeImage = DibImageSize((uint32_t)width, (uint32_t)height, bits);
}

static BITMAPINFO *NewBitmapInfo(int width, int height, int depth, const BYTE *colours, int colourCount)
{
    size_t size = sizeof(BITMAPINFOHEADER) + (size_t)colourCount * 4;
    BITMAPINFO *info = (BITMAPINFO *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!info)
        return NULL;
    FillBitmapHeader(&info->bmiHeader, width, height, depth);
    if (colours)
        memcpy(info->bmiColors, colours, (size_t)colourCount * 4);
    return info;
}

static const BYTE *LoadDefaultColours(int colourCount)
{
    int id = colourCount == 2 ? IDR_COLOURS_2 : colourCount == 16 ? IDR_COLOURS_16 : IDR_COLOURS_256;
    HRSRC res = FindResourceA(g_viewer.instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10)); // RT_RCDATA
    if (!res || SizeofResource(g_viewer.instance, res) < (DWORD)colourCount * 4)
        return NULL;
    HGLOBAL data = LoadResource(g_viewer.instance, res);
    return data ? (const BYTE *)LockResource(data) : NULL;
}

// stringId takes the width, height and depth as %u.
static void ReportScreenFailure(UINT stringId, const RemoteScreen *s)
{
    char format[512], text[1024];
    LoadLangString(stringId, format, sizeof(format));
    snprintf(text, sizeof(text), format, (unsigned)s->width, (unsigned)s->height, (unsigned)ScreenDepth(s));
    ReportRepeatableFailure(g_viewer.mainWindow, text);
}

static int BuildTiles(ScreenModel *m)
{
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            ScreenTile *t = &m->tiles[r][c];
            BYTE *bits = (BYTE *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, m->layout.tiles[r][c].size);
            if (!bits)
                return 0;
            if (t->lockReady)
                EnterCriticalSection(&t->lock);
            t->bits = bits;
            if (t->lockReady)
                LeaveCriticalSection(&t->lock);
        }
    return 1;
}

static int BuildBitmapInfos(ScreenModel *m, HWND mainWindow)
{
    const BYTE *colours = m->colourCount ? LoadDefaultColours(m->colourCount) : NULL;
    if (m->colourCount && !colours)
        return 0;
    const TileLayout *l = &m->layout;
    const TileGeometry *from[4] = {&l->tiles[0][0], &l->tiles[0][31], &l->tiles[31][0], &l->tiles[31][31]};
    for (int i = 0; i < 4; i++) {
        m->tileInfo[i] = NewBitmapInfo(from[i]->width, from[i]->height, l->depth, colours, m->colourCount);
        if (!m->tileInfo[i])
            return 0;
    }
    m->frameInfo = NewBitmapInfo(l->width, l->height, l->depth, colours, m->colourCount);
    if (!m->frameInfo)
        return 0;
    HDC dc = GetDC(mainWindow);
    void *bits = NULL;
    HBITMAP frame = CreateDIBSection(dc, m->frameInfo, DIB_RGB_COLORS, &bits, NULL, 0);
    ReleaseDC(mainWindow, dc);
    if (!frame)
        return 0;
    // Publishing starts with the frame: every tile buffer exists by now.
    EnterCriticalSection(&g_viewer.screenLock);
    m->frame = frame;
    m->frameBits = (BYTE *)bits;
    LeaveCriticalSection(&g_viewer.screenLock);
    return 1;
}

static int BuildTileWindows(ScreenModel *m)
{
    HWND pad = g_desktop.view.tilePad;
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &m->layout.tiles[r][c];
            ScreenTile *t = &m->tiles[r][c];
            t->window = CreateWindowExA(0, "CORVID:SQUARE", NULL, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, g->x, g->y,
                                        g->width, g->height, pad, NULL, g_viewer.instance, NULL);
            if (!t->window)
                return 0;
            // A tile's lock outlives the desktop: an Agent that keeps sending parts after
            // a restart must find a live lock and a NULL buffer, never a freed one.
            if (!t->lockReady)
                InitializeCriticalSection(&t->lock);
            t->lockReady = TRUE;
            SetWindowWord(t->window, 0, (WORD)(c * 256 + r));
        }
    return 1;
}

int BuildDesktop(HWND mainWindow)
{
    ScreenModel *m = Model();
    const RemoteScreen *s = &g_desktop.remote;
    const uint32_t depth = ScreenDepth(s);
    TeardownDesktop();
    if (depth > 16 || !TileLayoutCompute(&m->layout, s->width, s->height, (int)depth)) {
        ReportScreenFailure(IDS_SCREEN_UNSUPPORTED, s);
        return 0;
    }
    m->colourCount = ColourCount((int)depth);
    m->viewScale = 1.0;
    if (!BuildTiles(m) || !BuildBitmapInfos(m, mainWindow)) {
        ReportScreenFailure(IDS_SCREEN_NO_MEMORY, s);
        TeardownDesktop(); // gives the memory back before the session ends
        return 0;
    }
    if (!ViewCreateWindows())
        return 0;
    if (!BuildTileWindows(m))
        return 0;
    // Above the tiles, which clip their siblings: a tile repainting leaves the marker be.
    if (g_desktop.tileMarker)
        SetWindowPos(g_desktop.tileMarker, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    g_desktop.desktopActive = 1;
    EnableCommand(0, IDM_SCREEN_CHOICE, kCheckLeave);
    RefreshScreenItems();
    if (!SendViewGrid())
        return 0;
    ViewRelayout();
    int fits = g_viewer.localDisplay.width == s->width && g_viewer.localDisplay.height == s->height;
    EnableCommand(fits, IDM_FULL_SCREEN, kCheckLeave);
    return 1;
}

static void FreeBlock(void *p)
{
    if (p)
        HeapFree(GetProcessHeap(), 0, p);
}

void TeardownDesktop(void)
{
    ScreenModel *m = Model();
    g_desktop.desktopActive = 0;
    // The frame goes first, under ScreenLock: a part being published right now holds
    // that lock and reads its tile buffer, which must outlive it. Once the frame is
    // gone no publishing reads a tile, and the tiles can go under their own locks.
    EnterCriticalSection(&g_viewer.screenLock);
    HBITMAP frame = m->frame;
    m->frame = NULL;
    m->frameBits = NULL;
    LeaveCriticalSection(&g_viewer.screenLock);
    if (frame)
        DeleteObject(frame);
    ScaledPictureFree(&m->scaledPicture);
    ViewDestroyScaled();
    if (g_desktop.view.tilePad)
        ShowWindow(g_desktop.view.tilePad, SW_HIDE);
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            ScreenTile *t = &m->tiles[r][c];
            if (t->window)
                DestroyWindow(t->window);
            t->window = NULL;
            if (t->lockReady)
                EnterCriticalSection(&t->lock);
            FreeBlock(t->bits);
            t->bits = NULL;
            if (t->lockReady)
                LeaveCriticalSection(&t->lock);
        }
    ViewDestroyTilePad();
    for (int i = 0; i < 4; i++) {
        FreeBlock(m->tileInfo[i]);
        m->tileInfo[i] = NULL;
    }
    FreeBlock(m->frameInfo);
    m->frameInfo = NULL;
}

int PaletteInUse(void) { return Model()->palette && g_viewer.localDisplay.bitsPerPixel == 8; }

void ApplyPalette(void)
{
    ScreenModel *m = Model();
    if (m->palette)
        DeleteObject(m->palette);
    struct {
        WORD version, count;
        PALETTEENTRY entries[256];
    } lp;
    BYTE table[1024]; // the receive thread may be storing the next one
    EnterCriticalSection(&g_viewer.screenLock);
    memcpy(table, m->paletteTable, sizeof(table));
    LeaveCriticalSection(&g_viewer.screenLock);
    lp.version = 0x300;
    lp.count = 256;
    for (int i = 0; i < 256; i++) {
        const BYTE *e = table + 4 * i; // stored as blue, green, red
        lp.entries[i].peRed = e[2];
        lp.entries[i].peGreen = e[1];
        lp.entries[i].peBlue = e[0];
        lp.entries[i].peFlags = 0;
    }
    m->palette = CreatePalette((LOGPALETTE *)&lp);
    if (m->colourCount) {
        for (int i = 0; i < 4; i++)
            if (m->tileInfo[i])
                memcpy(m->tileInfo[i]->bmiColors, table, (size_t)m->colourCount * 4);
        if (m->frameInfo) {
            memcpy(m->frameInfo->bmiColors, table, (size_t)m->colourCount * 4);
            // The frame is a DIB section: its own colour table must follow too.
            EnterCriticalSection(&g_viewer.screenLock);
            if (m->frame) {
                HDC dc = CreateCompatibleDC(NULL);
                HGDIOBJ old = SelectObject(dc, m->frame);
                SetDIBColorTable(dc, 0, (UINT)m->colourCount, (const RGBQUAD *)table);
                SelectObject(dc, old);
                DeleteDC(dc);
            }
            LeaveCriticalSection(&g_viewer.screenLock);
        }
    }
    if (g_desktop.view.tilePad)
        RedrawWindow(g_desktop.view.tilePad, NULL, NULL, RDW_INVALIDATE | RDW_ALLCHILDREN);
    m->scaledStale = TRUE;
    if (g_desktop.view.scaledView)
        InvalidateRect(g_desktop.view.scaledView, NULL, FALSE);
}
