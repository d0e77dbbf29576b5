// The receive dispatch after wiring: each owner has its subsystem's handler, every routed
// type reaches its owner's handler and no other, and what the viewer does not read is
// ignored when the Agent lets it be skipped.
#include <gtest/gtest.h>

#include <vector>

#include "agentsettings/session_win.h"
#include "console/console_win.h"
#include "desktop/clipboard_win.h"
#include "desktop/packets_win.h"
#include "desktop/state_win.h"
#include "filetransfer/route_win.h"
#include "session/receive_win.h"
#include "session/routes.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

std::vector<std::pair<int, uint32_t>> g_calls;

template <int Owner>
int Record(const SessPacketHeader *h, const uint8_t *)
{
    g_calls.push_back({Owner, h->dwType});
    return 1;
}

const PacketHandler kRecorders[kOwnerCount] = {Record<0>, Record<1>, Record<2>, Record<3>, Record<4>, Record<5>};

struct Dispatch : ::testing::Test {
    PacketHandler wired[kOwnerCount] = {};
    void SetUp() override
    {
        PrepareTestViewer();
        for (int o = 0; o < kOwnerCount; o++)
            wired[o] = GetPacketHandler(o);
    }
    void TearDown() override
    {
        for (int o = 0; o < kOwnerCount; o++)
            SetPacketHandler(o, wired[o]);
    }
};

TEST_F(Dispatch, EveryOwnerWiredAndEveryTypeReachesOnlyItsOwner)
{
    EXPECT_EQ(wired[kOwnerSession], &SessionPacket);
    EXPECT_EQ(wired[kOwnerDesktop], &HandleDesktopPacket);
    EXPECT_EQ(wired[kOwnerClipboard], &HandleClipboardChunk);
    EXPECT_EQ(wired[kOwnerAgentSettings], &HandleAgentSettingsPacket);
    EXPECT_EQ(wired[kOwnerFileTransfer], &FtRoutePacket);
    EXPECT_EQ(wired[kOwnerConsole], &HandleConsolePacket);

    for (int o = 0; o < kOwnerCount; o++)
        SetPacketHandler(o, kRecorders[o]);
    for (size_t i = 0; i < kPacketRouteCount; i++) {
        g_calls.clear();
        SessPacketHeader h = {kPacketRoutes[i].type, 0, 1};
        EXPECT_EQ(DispatchPacket(&h, NULL), 1);
        ASSERT_EQ(g_calls.size(), 1u) << kPacketRoutes[i].name;
        EXPECT_EQ(g_calls[0], std::make_pair(kPacketRoutes[i].owner, kPacketRoutes[i].type));
    }
    // Unread types, and a routed one whose owner has none, are skipped when not required.
    g_calls.clear();
    for (uint32_t t : {0u, 2u, 49u, 58u, 0xFFFFFFFFu}) {
        SessPacketHeader h = {t, 0, 0};
        EXPECT_EQ(DispatchPacket(&h, NULL), 1) << t;
    }
    SetPacketHandler(kOwnerDesktop, NULL);
    SessPacketHeader pos = {PKT_CURSOR_POS, 8, 0};
    const uint8_t xy[8] = {};
    EXPECT_EQ(DispatchPacket(&pos, xy), 1);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Dispatch, SessionAndDesktopPacketsReachTheirFacts)
{
    HWND w = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_NE(w, (HWND)NULL);
    HWND saved = g_viewer.mainWindow;
    g_viewer.mainWindow = w;

    const DWORD before = g_desktop.screen.announcements;
    const uint8_t screen[12] = {0x00, 0x04, 0x00, 0x03, 1, 0, 16, 0}; // 1024 x 768, 1 plane, 16 bits
    SessPacketHeader info = {PKT_SCREEN_INFO, sizeof(screen), 1};
    EXPECT_EQ(DispatchPacket(&info, screen), 1);
    EXPECT_EQ(g_desktop.screen.announcements, before + 1);
    TakeScreenNotice();

    const uint8_t xy[8] = {7, 0, 0, 0, 9, 1, 0, 0};
    SessPacketHeader pos = {PKT_CURSOR_POS, sizeof(xy), 1};
    EXPECT_EQ(DispatchPacket(&pos, xy), 1);
    DWORD x = 0, y = 0;
    ASSERT_TRUE(TakeCursorPos(&x, &y));
    EXPECT_EQ(x, 7u);
    EXPECT_EQ(y, 265u);

    MSG m;
    while (PeekMessageA(&m, w, 0, 0, PM_REMOVE)) {
    }
    g_viewer.mainWindow = saved;
    DestroyWindow(w);
}

} // namespace
