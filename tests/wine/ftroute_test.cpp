// File-transfer packets through the receive dispatch: each reply reaches the
// file-transfer window as a whole heap copy under its message number, in order, behind
// one announcement at a time; a full queue holds the receive thread instead of growing;
// nothing waits without a window, a closing window's queued copies are freed, and download packets
// enter SyncReplyBuffer only while a download waits and the previous one was answered.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "filetransfer/route_win.h"
#include "filetransfer/state_win.h"
#include "session/receive_win.h"
#include "session/state_win.h"
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
        if (!g_session.syncReplyEvent)
            g_session.syncReplyEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
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
        UINT m;
        LPARAM b;
        if (!FtTakeReply(&m, &b))
            return 0;
        FtFreeReply(b);
        return 1;
    }
    int Announcements()
    {
        MSG m;
        int n = 0;
        while (PeekMessageA(&m, w, WM_CV_FT_REPLIES, WM_CV_FT_REPLIES, PM_REMOVE))
            n++;
        return n;
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
    const struct {
        uint32_t type;
        UINT msg;
        size_t len;
    } cases[] = {
        {30, 1127, 385}, {31, 1127, 8},   {33, 1128, 5}, {35, 1129, 0},     {37, 1130, 1000},
        {39, 1131, 265}, {41, 1132, 266}, {42, 1133, 8}, {45, 1135, 32756},
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> p = Payload(c.len, (uint8_t)c.type);
        ASSERT_EQ(Dispatch(c.type, p), 1) << c.type;
        EXPECT_EQ(Announcements(), 1) << c.type;
        UINT message;
        LPARAM block;
        ASSERT_TRUE(FtTakeReply(&message, &block)) << c.type;
        EXPECT_EQ(message, c.msg) << c.type;
        const SessPacketHeader *h = (const SessPacketHeader *)block;
        EXPECT_EQ(h->dwType, c.type);
        EXPECT_EQ(h->dwDataLen, c.len);
        EXPECT_EQ(HeapSize(GetProcessHeap(), 0, (void *)block), sizeof(*h) + c.len) << c.type;
        EXPECT_EQ(memcmp(h + 1, p.data(), c.len), 0) << c.type;
        FtFreeReply(block);
        EXPECT_FALSE(Pending()) << c.type;
        EXPECT_EQ(Announcements(), 0) << c.type;
    }
}

DWORD WINAPI DispatchMany(LPVOID n)
{
    const std::vector<uint8_t> p(8, 0);
    for (uint32_t i = 0; i < (uint32_t)(UINT_PTR)n; i++) {
        std::vector<uint8_t> q = p;
        memcpy(q.data(), &i, 4);
        SessPacketHeader h = {PKT_FT_RENAME_RESULT, 8, 1};
        DispatchPacket(&h, q.data());
    }
    return 0;
}

// One announcement stands for every waiting reply; a full queue holds the receive
// thread until the window takes one, and nothing is lost or reordered on the way.
TEST_F(FtRoute, AFullQueueHoldsTheReceiverAndKeepsTheOrder)
{
    g_viewer.fileTransferWindow = w;
    const UINT_PTR n = kFtReplySlots + 3;
    HANDLE t = CreateThread(NULL, 0, DispatchMany, (LPVOID)n, 0, NULL);
    ASSERT_TRUE(t != NULL);
    ASSERT_EQ(WaitForSingleObject(t, 500), (DWORD)WAIT_TIMEOUT) << "the receiver did not wait for room";
    EXPECT_EQ(Announcements(), 1);
    for (uint32_t i = 0; i < n; i++) {
        UINT message;
        LPARAM block = 0;
        for (int tries = 0; tries < 200 && !FtTakeReply(&message, &block); tries++)
            Sleep(5);
        ASSERT_TRUE(block != 0) << i;
        uint32_t seen;
        memcpy(&seen, (const uint8_t *)block + sizeof(SessPacketHeader), 4);
        EXPECT_EQ(seen, i);
        FtFreeReply(block);
    }
    EXPECT_EQ(WaitForSingleObject(t, 2000), (DWORD)WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_FALSE(Pending());
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
    ResetEvent(g_session.syncReplyEvent);
    EXPECT_EQ(Dispatch(43, Payload(297, 4)), 1); // no download open: dropped
    EXPECT_EQ(g_syncReply.full, 0);
    EXPECT_EQ(WaitForSingleObject(g_session.syncReplyEvent, 0), (DWORD)WAIT_TIMEOUT);

    g_syncReply.open = 1;
    const std::vector<uint8_t> first = Payload(kMaxPacketSize - sizeof(SessPacketHeader), 5);
    EXPECT_EQ(Dispatch(43, first), 1);
    ASSERT_EQ(g_syncReply.full, 1);
    EXPECT_EQ(WaitForSingleObject(g_session.syncReplyEvent, 0), (DWORD)WAIT_OBJECT_0);
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
    EXPECT_FALSE(Pending()); // never posted as a reply
}

} // namespace
