// File-transfer packets through the receive dispatch: each reply reaches the
// file-transfer window as a whole heap copy under its message number, nothing is posted
// without a window, a closing window's queued copies are freed, and download packets
// enter SyncReplyBuffer only while a download waits and the previous one was answered.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filetransfer/ftstate_win.h"
#include "filetransfer/route_win.h"
#include "session/receive_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct FtRoute : ::testing::Test {
    HWND w = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        w = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        ASSERT_NE(w, (HWND)NULL);
        if (!g_viewer.syncReplyEvent)
            g_viewer.syncReplyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        g_syncReply.open = 0;
        g_syncReply.full = 0;
        g_syncReply.overrun = 0;
    }
    void TearDown() override
    {
        FtDropPendingReplies(w);
        g_viewer.fileTransferWindow = NULL;
        DestroyWindow(w);
    }
    int Dispatch(uint32_t type, const std::vector<uint8_t> &payload)
    {
        SessPacketHeader h = {type, (uint32_t)payload.size(), 1};
        return DispatchPacket(&h, payload.data());
    }
    int Pending()
    {
        MSG m;
        return PeekMessageA(&m, w, WM_CV_FT_REPLY_FIRST, WM_CV_FT_REPLY_LAST, PM_NOREMOVE);
    }
};

std::vector<uint8_t> Payload(size_t n, uint8_t seed)
{
    std::vector<uint8_t> p(n);
    for (size_t i = 0; i < n; i++)
        p[i] = (uint8_t)(seed + i * 7);
    return p;
}

TEST_F(FtRoute, RepliesArriveWholeUnderTheirNumbers)
{
    g_viewer.fileTransferWindow = w;
    const struct { uint32_t type; UINT msg; size_t len; } cases[] = {
        {30, 1127, 385}, {31, 1127, 8}, {33, 1128, 5}, {35, 1129, 0}, {37, 1130, 1000},
        {39, 1131, 265}, {41, 1132, 266}, {42, 1133, 8}, {45, 1135, 32756},
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> p = Payload(c.len, (uint8_t)c.type);
        ASSERT_EQ(Dispatch(c.type, p), 1) << c.type;
        MSG m;
        ASSERT_TRUE(PeekMessageA(&m, w, WM_CV_FT_REPLY_FIRST, WM_CV_FT_REPLY_LAST, PM_REMOVE)) << c.type;
        EXPECT_EQ(m.message, c.msg) << c.type;
        const SessPacketHeader *h = (const SessPacketHeader *)m.lParam;
        EXPECT_EQ(h->dwType, c.type);
        EXPECT_EQ(h->dwDataLen, c.len);
        EXPECT_EQ(HeapSize(GetProcessHeap(), 0, (void *)m.lParam), sizeof(*h) + c.len) << c.type;
        EXPECT_EQ(memcmp(h + 1, p.data(), c.len), 0) << c.type;
        FtFreeReply(m.lParam);
        EXPECT_FALSE(Pending()) << c.type;
    }
}

TEST_F(FtRoute, NothingIsPostedWithoutAWindowOrForAnotherType)
{
    g_viewer.fileTransferWindow = NULL;
    for (uint32_t type : {30u, 42u, 45u})
        EXPECT_EQ(Dispatch(type, Payload(8, 1)), 1);
    g_viewer.fileTransferWindow = w;
    // A request type, not a reply: not posted (optional, so the session goes on).
    const SessPacketHeader request = {PKT_FT_LIST_DIR, 0, 0};
    EXPECT_EQ(DispatchPacket(&request, NULL), 1);
    EXPECT_FALSE(Pending());
    // A window destroyed under the receive thread refuses the post; the copy is freed.
    HWND gone = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    DestroyWindow(gone);
    g_viewer.fileTransferWindow = gone;
    EXPECT_EQ(Dispatch(30, Payload(385, 2)), 1);
}

TEST_F(FtRoute, AClosingWindowFreesWhatWaits)
{
    g_viewer.fileTransferWindow = w;
    for (uint32_t type : {30u, 31u, 41u})
        ASSERT_EQ(Dispatch(type, Payload(300, 3)), 1);
    ASSERT_TRUE(Pending());
    FtDropPendingReplies(w);
    EXPECT_FALSE(Pending());
}

TEST_F(FtRoute, DownloadPacketsWaitInTheSyncBufferOneAtATime)
{
    g_viewer.fileTransferWindow = w;
    ResetEvent(g_viewer.syncReplyEvent);
    EXPECT_EQ(Dispatch(43, Payload(297, 4)), 1);  // no download open: dropped
    EXPECT_EQ(g_syncReply.full, 0);
    EXPECT_EQ(WaitForSingleObject(g_viewer.syncReplyEvent, 0), (DWORD)WAIT_TIMEOUT);

    g_syncReply.open = 1;
    const std::vector<uint8_t> first = Payload(kMaxPacketSize - sizeof(SessPacketHeader), 5);
    EXPECT_EQ(Dispatch(43, first), 1);
    ASSERT_EQ(g_syncReply.full, 1);
    EXPECT_EQ(WaitForSingleObject(g_viewer.syncReplyEvent, 0), (DWORD)WAIT_OBJECT_0);
    EXPECT_EQ(g_syncReply.length, (DWORD)kMaxPacketSize);
    EXPECT_EQ(memcmp(g_syncReply.bytes + sizeof(SessPacketHeader), first.data(), first.size()), 0);
    // A second one before the first was answered is dropped and marked; the first stays
    // whole, and the receive thread goes on.
    EXPECT_EQ(g_syncReply.overrun, 0);
    EXPECT_EQ(Dispatch(44, Payload(12, 6)), 1);
    EXPECT_EQ(g_syncReply.overrun, 1);
    EXPECT_EQ(g_syncReply.length, (DWORD)kMaxPacketSize);
    EXPECT_EQ(((SessPacketHeader *)g_syncReply.bytes)->dwType, 43u);
    g_syncReply.full = 0;
    g_syncReply.overrun = 0;
    EXPECT_EQ(Dispatch(44, Payload(12, 6)), 1);
    EXPECT_EQ(g_syncReply.overrun, 0);
    EXPECT_EQ(g_syncReply.length, 24u);
    EXPECT_EQ(((SessPacketHeader *)g_syncReply.bytes)->dwType, 44u);
    EXPECT_FALSE(Pending());  // never posted as a reply
}

} // namespace
