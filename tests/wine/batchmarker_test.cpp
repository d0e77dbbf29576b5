// A batch drawn straight onto the tile pad and the remote cursor marker on it: the
// marker is drawn again within the batch when the screen beneath it changed, and left
// alone otherwise; the scaled picture, which the batch missed, is marked stale.
#include <gtest/gtest.h>

#include "desktop/state_win.h"
#include "desktop/update_win.h"
#include "tests/wine/viewer_fixture.h"
#include "ui/toolbar_win.h"

namespace {

int s_markerPaints;

LRESULT CALLBACK CountingMarker(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT)
        s_markerPaints++;
    return CursorMarkerProc(wnd, msg, wp, lp);
}

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}

class BatchMarker : public ::testing::Test {
protected:
    HWND top = NULL;
    BITMAPINFO info = {};
    void SetUp() override
    {
        PrepareTestViewer();
        HINSTANCE self = GetModuleHandleA(NULL);
        static bool registered;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.hInstance = self;
            wc.lpfnWndProc = DefWindowProcA;
            wc.lpszClassName = "CORVIDTEST:PAD";
            ASSERT_NE(RegisterClassA(&wc), 0);
            wc.lpfnWndProc = CountingMarker;
            wc.lpszClassName = "CORVIDTEST:MARKER";
            ASSERT_NE(RegisterClassA(&wc), 0);
            registered = true;
        }
        ScreenModel *m = &g_desktop.screen;
        ASSERT_TRUE(TileLayoutCompute(&m->layout, 320, 256, 16)); // tiles of 10 x 8
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = 320;
        info.bmiHeader.biHeight = 256;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 16;
        void *bits = NULL;
        m->frame = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
        ASSERT_TRUE(m->frame && bits);
        m->frameBits = (BYTE *)bits;
        m->frameInfo = &info;
        top = CreateWindowExA(0, "CORVIDTEST:PAD", "", WS_POPUP | WS_VISIBLE, 0, 0, 320, 256, NULL, NULL, self, NULL);
        g_desktop.view.tilePad =
            CreateWindowExA(0, "CORVIDTEST:PAD", "", WS_CHILD | WS_VISIBLE, 0, 0, 320, 256, top, NULL, self, NULL);
        g_desktop.tileMarker = CreateWindowExA(0, "CORVIDTEST:MARKER", "", WS_CHILD | WS_VISIBLE, 100, 100, 11, 19,
                                               g_desktop.view.tilePad, NULL, self, NULL);
        ASSERT_TRUE(top && g_desktop.view.tilePad && g_desktop.tileMarker);
        Pump();
    }
    void TearDown() override
    {
        ScreenModel *m = &g_desktop.screen;
        DestroyWindow(top);
        g_desktop.view.tilePad = g_desktop.tileMarker = NULL;
        DeleteObject(m->frame);
        m->frame = NULL;
        m->frameBits = NULL;
        m->frameInfo = NULL;
        m->scaledStale = FALSE;
    }
};

TEST_F(BatchMarker, RedrawnAtOnceOnlyWhenTheBatchDrewBeneathIt)
{
    // The marker covers x 100..110, y 100..118: columns 10 and 11, rows 12 to 14.
    const struct {
        int row, column, shown, repaints;
    } cases[] = {
        {12, 10, 1, 1}, // its top-left tile
        {14, 11, 1, 1}, // its bottom-right tile
        {12, 9, 1, 0},  // the tile that ends at its left edge
        {11, 10, 1, 0}, // the tile that ends at its top edge
        {0, 0, 1, 0},   // far away
        {12, 10, 0, 0}, // beneath it while it is hidden
    };
    for (const auto &c : cases) {
        ShowWindow(g_desktop.tileMarker, c.shown ? SW_SHOWNA : SW_HIDE);
        Pump();
        g_desktop.screen.scaledStale = FALSE;
        g_desktop.screen.changed[c.row * kTileGridSize + c.column] = 1;
        s_markerPaints = 0;
        InvalidateChangedTiles();
        EXPECT_EQ(s_markerPaints, c.repaints) << c.row << "," << c.column << " shown " << c.shown;
        EXPECT_FALSE(GetUpdateRect(g_desktop.tileMarker, NULL, FALSE)) << "a repaint left for later";
        EXPECT_TRUE(g_desktop.screen.scaledStale) << "the scaled picture missed the batch";
    }
}

} // namespace
