// The screen model's teardown against a part being published on the receive thread:
// publishing holds ScreenLock while it reads a tile buffer, so teardown must not free
// any tile before it has taken the frame away under that lock.
#include <gtest/gtest.h>

#include "desktop/screen_win.h"
#include "desktop/state_win.h"
#include "shell/messages.h"
#include "tests/wine/viewer_fixture.h"

namespace {

void BuildModelWithoutWindows(void)
{
    ScreenModel *m = &g_desktop.screen;
    ASSERT_TRUE(TileLayoutCompute(&m->layout, 64, 64, 16));
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            ScreenTile *t = &m->tiles[r][c];
            if (!t->lockReady)
                InitializeCriticalSection(&t->lock);
            t->lockReady = TRUE;
            t->bits = (BYTE *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, m->layout.tiles[r][c].size);
        }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 64;
    info.bmiHeader.biHeight = 64;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 16;
    void *bits = NULL;
    m->frame = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    m->frameBits = (BYTE *)bits;
    ASSERT_TRUE(m->frame && bits);
    g_desktop.desktopActive = 1;
}

TEST(ScreenTeardown, WaitsForAPublishInProgressBeforeFreeingTiles)
{
    PrepareTestViewer();
    BuildModelWithoutWindows();
    ScreenModel *m = &g_desktop.screen;
    // This thread plays a publish that has found the frame and is copying a tile.
    EnterCriticalSection(&g_viewer.screenLock);
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            TeardownDesktop();
            return 0;
        },
        NULL, 0, NULL);
    EXPECT_EQ(WaitForSingleObject(t, 300), (DWORD)WAIT_TIMEOUT);
    EXPECT_TRUE(m->tiles[0][0].bits != NULL && m->tiles[31][31].bits != NULL)
        << "a tile was freed while a publish could still read it";
    LeaveCriticalSection(&g_viewer.screenLock);
    ASSERT_EQ(WaitForSingleObject(t, 5000), (DWORD)WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_TRUE(m->frame == NULL && m->frameBits == NULL);
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++)
            EXPECT_TRUE(m->tiles[r][c].bits == NULL) << r << "," << c;
    EXPECT_EQ(g_desktop.desktopActive, 0u);
    TeardownDesktop(); // twice in a row does nothing the second time
}

} // namespace
