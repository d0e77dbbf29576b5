// Floods of what the Agent may send without bound reach the main window as one message
// until it is taken, with the latest facts; counted posts fail past the test limit as
// Windows fails them past its quota, and taking a message makes room again.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "desktop/packets_win.h"
#include "desktop/update_win.h"
#include "session/receive_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct Notices : ::testing::Test {
    HWND w = NULL, saved = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        w = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        ASSERT_NE(w, (HWND)NULL);
        saved = g_viewer.mainWindow;
        g_viewer.mainWindow = w;
    }
    void TearDown() override
    {
        // No limit for the cases after this one.
        SetEnvironmentVariableA("CORVID_TEST_POST_LIMIT", NULL);
        UiPostInit();
        UiPostEnd();
        g_viewer.mainWindow = saved;
        DestroyWindow(w);
    }
    int Queued(UINT msg)
    {
        MSG m;
        int n = 0;
        while (PeekMessageA(&m, w, msg, msg, PM_REMOVE))
            n++;
        return n;
    }
    void Send(uint32_t type, const void *payload, uint32_t len)
    {
        SessPacketHeader h = {type, len, 1};
        ASSERT_EQ(DispatchPacket(&h, (const uint8_t *)payload), 1) << type;
    }
};

TEST_F(Notices, FloodsPostOnceAndTheLatestWins)
{
    for (uint32_t i = 0; i < 20000; i++) {
        const uint32_t xy[2] = {i, 20000 - i};
        Send(PKT_CURSOR_POS, xy, sizeof(xy));
    }
    EXPECT_EQ(Queued(WM_CV_CURSOR_POS), 1);
    DWORD x, y;
    ASSERT_TRUE(TakeCursorPos(&x, &y));
    EXPECT_EQ(x, 19999u);
    EXPECT_EQ(y, 1u);
    EXPECT_FALSE(TakeCursorPos(&x, &y));

    for (int i = 0; i < 2000; i++)
        Send(PKT_DESKTOP_RESTART, NULL, 0);
    EXPECT_EQ(Queued(WM_CV_DESKTOP_RESTART), 1);
    TakeRestartNotice();
    Send(PKT_DESKTOP_RESTART, NULL, 0); // taken: the next one is announced again
    EXPECT_EQ(Queued(WM_CV_DESKTOP_RESTART), 1);
    TakeRestartNotice();

    uint8_t palette[1024] = {};
    for (int i = 0; i < 3000; i++) {
        palette[0] = (uint8_t)i;
        Send(PKT_PALETTE, palette, sizeof(palette));
    }
    EXPECT_EQ(Queued(WM_CV_PALETTE), 1);
    UiNoticeTaken(&g_paletteNotice);

    // A refused index does not replace the sound one still waiting.
    const uint32_t five = 5, fifteen = 15;
    Send(PKT_CURSOR_STANDARD, &five, 4);
    Send(PKT_CURSOR_STANDARD, &fifteen, 4);
    EXPECT_EQ(Queued(WM_CV_CURSOR_SHAPE), 1);
    PendingCursor c;
    ASSERT_TRUE(TakeCursorShape(&c));
    EXPECT_EQ(c.shapeKind, 1);
    EXPECT_EQ(c.index, 5u);
}

TEST_F(Notices, PostsPastTheLimitFailUntilOneIsTaken)
{
    // Posts of earlier cases that nobody takes stay counted: the limit is set above them.
    const LONG base = UiPostsOutstanding();
    char limit[16];
    snprintf(limit, sizeof(limit), "%ld", (long)base + 3);
    SetEnvironmentVariableA("CORVID_TEST_POST_LIMIT", limit);
    UiPostInit();
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(UiPost(w, WM_CV_CLIPBOARD_TEXT, 0, 0)) << i;
    EXPECT_EQ(UiPostsOutstanding(), base + 3);
    SetLastError(0);
    EXPECT_FALSE(UiPost(w, WM_CV_CLIPBOARD_TEXT, 0, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NOT_ENOUGH_QUOTA);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, w, WM_CV_CLIPBOARD_TEXT, WM_CV_CLIPBOARD_TEXT, PM_REMOVE));
    EXPECT_EQ(UiPostsOutstanding(), base + 2);
    EXPECT_TRUE(UiPost(w, WM_CV_CLIPBOARD_TEXT, 0, 0));
    EXPECT_EQ(Queued(WM_CV_CLIPBOARD_TEXT), 3);
    EXPECT_EQ(UiPostsOutstanding(), base);
    // Someone else's message of a counted number does not lower the count below ours.
    PostMessageA(w, WM_CV_CLIPBOARD_TEXT, 0, 0);
    EXPECT_EQ(Queued(WM_CV_CLIPBOARD_TEXT), 1);
    EXPECT_EQ(UiPostsOutstanding(), base);
    EXPECT_GE(UiPostsPeak(), base + 3);
}

} // namespace
