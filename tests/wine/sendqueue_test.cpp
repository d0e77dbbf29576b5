// The SendQueue and the SendThread over a real loopback connection: a full ring blocks
// a worker's 64th packet until StopEvent or the SendThread's end, never the UI thread,
// and partial sends never stall the thread.
#include <gtest/gtest.h>

#include "lang/stringids.h"
#include "session/receive_win.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/messages.h"
#include "shell/msgbox_win.h"
#include "tests/wine/viewer_fixture.h"

#include <string>
#include <vector>

namespace {

// A connected pair of loopback sockets.
bool LoopbackPair(SOCKET *client, SOCKET *server)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof(a);
    bool ok = bind(listener, (sockaddr *)&a, sizeof(a)) == 0 && getsockname(listener, (sockaddr *)&a, &len) == 0 &&
              listen(listener, 1) == 0;
    *client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ok = ok && connect(*client, (sockaddr *)&a, sizeof(a)) == 0;
    *server = ok ? accept(listener, NULL, NULL) : INVALID_SOCKET;
    closesocket(listener);
    return ok && *server != INVALID_SOCKET;
}

class SendQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrepareTestViewer();
        WSADATA d;
        WSAStartup(MAKEWORD(2, 0), &d);
        g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_TRUE(NetCreateEvents());
        SendQueueCreateLock();
        SendQueueReset();
    }
    void TearDown() override
    {
        SetEvent(g_viewer.stopEvent);
        for (HANDLE *t : {&g_session.sendThread, &g_session.receiveThread})
            if (*t) {
                WaitForSingleObject(*t, 5000);
                CloseHandle(*t);
                *t = NULL;
            }
        NetCloseEvents();
        SendQueueDestroy();
        CloseHandle(g_viewer.stopEvent);
        g_viewer.stopEvent = NULL;
        if (g_session.socket != INVALID_SOCKET)
            closesocket(g_session.socket);
        g_session.socket = INVALID_SOCKET;
    }
};

TEST_F(SendQueueTest, SixtyFourthPacketWaitsUntilStopEvent)
{
    static BYTE packet[12] = {12};
    static int result, oom;
    result = oom = -1;
    for (int i = 0; i < 63; i++)
        ASSERT_EQ(EnqueuePacket(packet, sizeof(packet), &oom), 1) << i;
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            result = EnqueuePacket(packet, sizeof(packet), &oom);
            return 0;
        },
        NULL, 0, NULL);
    EXPECT_EQ(WaitForSingleObject(t, 500), (DWORD)WAIT_TIMEOUT) << "a full ring must block";
    SetEvent(g_viewer.stopEvent);
    EXPECT_EQ(WaitForSingleObject(t, 2000), (DWORD)WAIT_OBJECT_0);
    CloseHandle(t);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(oom, 0);
    EXPECT_EQ(g_session.sendQueue.writeIndex, 63);
}

// The UI thread meets a full ring: pointer moves are dropped first, keeping room for
// other packets; then a packet fails at once and the main window (here the thread's
// own queue) is told to end the session, once.
TEST_F(SendQueueTest, UiThreadNeverWaitsForAFullRing)
{
    static int moves[64], keys[16], stalledPosts;
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            MSG m;
            PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE); // a message queue for the posts
            g_viewer.uiThreadId = GetCurrentThreadId();
            BYTE packet[24] = {10, 0, 0, 0, 12};
            int oom;
            for (int i = 0; i < 64; i++)
                moves[i] = EnqueueDroppable(packet, sizeof(packet));
            for (int i = 0; i < 16; i++)
                keys[i] = EnqueuePacket(packet, sizeof(packet), &oom);
            while (PeekMessageA(&m, NULL, WM_CV_SEND_STALLED, WM_CV_SEND_STALLED, PM_REMOVE))
                stalledPosts++;
            return 0;
        },
        NULL, 0, NULL);
    const DWORD w = WaitForSingleObject(t, 5000);
    SetEvent(g_viewer.stopEvent); // frees a thread stuck in the ring, so the test ends
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    g_viewer.uiThreadId = 0;
    ASSERT_EQ(w, (DWORD)WAIT_OBJECT_0) << "the UI thread waited for the network";
    for (int i = 0; i < 64; i++)
        EXPECT_EQ(moves[i], i < 48 ? kQueued : kQueueDropped) << i;
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(keys[i], i < 15 ? 1 : 0) << i;
    EXPECT_EQ(stalledPosts, 1);
    EXPECT_EQ(g_session.sendQueue.writeIndex, 63);
}

// A worker waiting for room is released when the SendThread ends on a failed send,
// and every later producer fails at once.
TEST_F(SendQueueTest, ProducersAreReleasedWhenTheSendThreadEnds)
{
    SOCKET client, server;
    ASSERT_TRUE(LoopbackPair(&client, &server));
    linger reset = {1, 0}; // the peer resets the connection: the next send fails
    setsockopt(server, SOL_SOCKET, SO_LINGER, (const char *)&reset, sizeof(reset));
    closesocket(server);
    Sleep(200);
    g_session.socket = client;
    static BYTE packet[12] = {12};
    static int result;
    int oom;
    for (int i = 0; i < 63; i++)
        ASSERT_EQ(EnqueuePacket(packet, sizeof(packet), &oom), 1) << i;
    result = -1;
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            int oom;
            result = EnqueuePacket(packet, sizeof(packet), &oom);
            return 0;
        },
        NULL, 0, NULL);
    EXPECT_EQ(WaitForSingleObject(t, 300), (DWORD)WAIT_TIMEOUT) << "a full ring must make a worker wait";
    ASSERT_TRUE(StartSendThread());
    // The failure's box would hold the SendThread for its time-out.
    DWORD t0 = GetTickCount();
    while (WaitForSingleObject(t, 50) == WAIT_TIMEOUT && GetTickCount() - t0 < 10000)
        CloseTimedBoxes();
    g_viewer.timedBoxesClosed = FALSE;
    EXPECT_EQ(WaitForSingleObject(t, 0), (DWORD)WAIT_OBJECT_0) << "the waiting producer was not released";
    SetEvent(g_viewer.stopEvent);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(EnqueuePacket(packet, sizeof(packet), &oom), 0);
}

struct Reader {
    SOCKET s;
    size_t want;
    std::string got;
};

DWORD WINAPI SlowReader(LPVOID p)
{
    Reader *r = (Reader *)p;
    char buf[1500];
    while (r->got.size() < r->want) {
        int n = recv(r->s, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        r->got.append(buf, (size_t)n);
        if (r->got.size() % 7 == 0)
            Sleep(1);
    }
    return 0;
}

// Packets of many sizes through a connection with tiny socket buffers, read slowly on
// the other side, queued or written by the sender itself: partial sends must never stall
// the thread nor lose or reorder a byte. Without the receive thread, which passes the
// socket's write readiness on, nothing sets WriteReadyEvent: only the bounded wait lets
// the thread go on.
class SlowConnection : public SendQueueTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SlowConnection, DeliversEveryByteInOrder)
{
    bool withEventThread = GetParam();
    int packetCount = withEventThread ? 60 : 6;
    SOCKET client, server;
    ASSERT_TRUE(LoopbackPair(&client, &server));
    int small = 16384; // well below the larger packets, so sends come back partial
    setsockopt(client, SOL_SOCKET, SO_SNDBUF, (const char *)&small, sizeof(small));
    setsockopt(server, SOL_SOCKET, SO_RCVBUF, (const char *)&small, sizeof(small));
    BOOL on = TRUE; // as the viewer's own socket has it
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, (const char *)&on, sizeof(on));
    g_session.socket = client;
    if (withEventThread) {
        ASSERT_TRUE(SelectNetworkEvents() && StartReceiveThread()); // it passes FD_WRITE on
    } else {
        u_long nonblocking = 1;
        ioctlsocket(client, FIONBIO, &nonblocking);
    }
    std::vector<std::string> packets;
    std::string expect;
    for (int i = 0; i < packetCount; i++) {
        std::string p((size_t)(12 + (i * 977) % 30000), 0);
        for (size_t k = 0; k < p.size(); k++)
            p[k] = (char)(i * 31 + k);
        packets.push_back(p);
        expect += p;
    }
    Reader reader = {server, expect.size(), ""};
    HANDLE rt = CreateThread(NULL, 0, SlowReader, &reader, 0, NULL);
    LONG before = g_session.info.bytesSent;
    ASSERT_TRUE(StartSendThread());
    // Every third goes as a copy worker's, straight to the socket when nothing waits: it
    // must never overtake what was queued before it.
    int oom, i = 0;
    for (const std::string &p : packets)
        ASSERT_TRUE(i++ % 3 == 2 ? SendPacketNow(p.data(), (DWORD)p.size(), &oom)
                                 : EnqueuePacket(p.data(), (DWORD)p.size(), &oom));
    ASSERT_EQ(WaitForSingleObject(rt, 60000), (DWORD)WAIT_OBJECT_0) << "send thread stalled";
    CloseHandle(rt);
    EXPECT_TRUE(reader.got == expect) << reader.got.size() << " of " << expect.size();
    DWORD t0 = GetTickCount();
    while (g_session.info.bytesSent - before != (LONG)expect.size() && GetTickCount() - t0 < 5000)
        Sleep(10);
    EXPECT_EQ(g_session.info.bytesSent - before, (LONG)expect.size());
    closesocket(server);
}

INSTANTIATE_TEST_SUITE_P(EventThread, SlowConnection, ::testing::Bool());

// Windows may announce the close while data is still unread, and the reader takes at
// most 32 KB per announcement: readiness after the close must still reach it, and the
// close must reach the main window (here this thread's queue) once.
TEST_F(SendQueueTest, ReadinessIsAnnouncedAfterTheClose)
{
    MSG m;
    PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE);
    while (PeekMessageA(&m, NULL, WM_CV_SOCKET, WM_CV_SOCKET, PM_REMOVE)) {
    }
    BOOL closed = FALSE;
    WSANETWORKEVENTS batch = {};
    batch.lNetworkEvents = FD_READ | FD_CLOSE;
    EXPECT_TRUE(AnnounceNetworkEvents(&batch, &closed));
    batch.lNetworkEvents = FD_READ;
    EXPECT_TRUE(AnnounceNetworkEvents(&batch, &closed)) << "data after the close";
    batch.lNetworkEvents = FD_READ | FD_CLOSE;
    AnnounceNetworkEvents(&batch, &closed);
    int closes = 0;
    while (PeekMessageA(&m, NULL, WM_CV_SOCKET, WM_CV_SOCKET, PM_REMOVE))
        closes += WSAGETSELECTEVENT(m.lParam) == FD_CLOSE;
    EXPECT_EQ(closes, 1);
}

TEST(NetErrorText, UsesTheLibraryTextsAndFallsBackToString22)
{
    PrepareTestViewer();
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    g_viewer.target.protocol = PROTO_TCP;
    char s28[256], s10061[256], s22[256], text[1024];
    LoadStringA(g_viewer.activeLanguage, IDS_CONNECT_FAILED, s28, sizeof(s28));
    LoadStringA(g_viewer.activeLanguage, 10061, s10061, sizeof(s10061));
    LoadStringA(g_viewer.activeLanguage, IDS_NET_ERROR_UNKNOWN, s22, sizeof(s22));
    FormatNetError(10061, IDS_CONNECT_FAILED, text, sizeof(text));
    EXPECT_EQ(std::string(text), std::string("TCP: ") + s28 + " 10061 - " + s10061);
    FormatNetError(12345, IDS_CONNECT_FAILED, text, sizeof(text));
    EXPECT_EQ(std::string(text), std::string("TCP: ") + s28 + " 12345 - " + s22);
    char small[64];
    FormatNetError(10061, IDS_CONNECT_FAILED, small, sizeof(small));
    EXPECT_EQ(strlen(small), 63u);
    g_viewer.target.protocol = PROTO_NONE;
}

} // namespace
