// The ReceiveThread: reads into the ReceiveBuffer, cuts whole packets and hands each to
// the handler its owner registered. Login facts are written under LoginInfoLock, the screen facts before the
// message that announces them; boxes it shows block only this thread.
#include "session/receive_win.h"

#include "lang/stringids.h"
#include "session/framer.h"
#include "session/login.h"
#include "session/routes.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/profile_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>
#include <cstring>

static PacketFramer g_receiveBuffer; // the ReceiveThread's own
static BOOL g_loginAccepted;         // the ReceiveThread's own: a status 0 reply was taken

static void EndSession(void) { UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_session.socket, FD_CLOSE); }

// What the Agent may send without bound reaches the UI thread as notices: one message
// until taken, the latest facts beside it.
static UiNotice g_loginNotice, g_restartNotice;
static volatile LONG g_loginStatus;

// Written by the wiring before any ReceiveThread starts, read only after.
static PacketHandler g_handlers[kOwnerCount];
static ReceiveHook g_beforeStart, g_afterReads;

void SetPacketHandler(int owner, PacketHandler handler)
{
    if (owner >= 0 && owner < kOwnerCount)
        g_handlers[owner] = handler;
}

PacketHandler GetPacketHandler(int owner) { return owner >= 0 && owner < kOwnerCount ? g_handlers[owner] : NULL; }

void SetReceiveHooks(ReceiveHook beforeStart, ReceiveHook afterReads)
{
    g_beforeStart = beforeStart;
    g_afterReads = afterReads;
}

int TakeLoginStatus(DWORD *status)
{
    UiNoticeTaken(&g_loginNotice);
    *status = (DWORD)InterlockedCompareExchange(&g_loginStatus, 0, 0);
    return 1;
}

void TakeRestartNotice(void) { UiNoticeTaken(&g_restartNotice); }

static int RefusePacket(UINT stringId, const SessPacketHeader *h, unsigned expected)
{
    char format[512], text[1024];
    LoadLangString(stringId, format, sizeof(format));
    snprintf(text, sizeof(text), format, (unsigned)h->dwType, (unsigned)h->dwDataLen, expected);
    ReportFailure(NULL, text);
    EndSession();
    return 0;
}

int RefuseShortPacket(const SessPacketHeader *h, unsigned expected)
{
    return RefusePacket(IDS_PACKET_TOO_SHORT, h, expected);
}

static int RefuseUnknown(void)
{
    char a[512], b[512], text[1024];
    LoadLangString(IDS_RECEIVE_FAILED, a, sizeof(a));
    LoadLangString(IDS_UNKNOWN_REQUEST, b, sizeof(b));
    snprintf(text, sizeof(text), "%s%s", a, b);
    ReportFailure(NULL, text);
    EndSession();
    return 0;
}

static int OnLoginReply(const SessPacketHeader *h, const uint8_t *payload)
{
    // A second reply would wipe the facts of a session in use (the screen, the byte
    // counters, desktop-active) under the UI thread's feet.
    if (g_loginAccepted) {
        WriteLogF("PKT_LOGIN_REPLY of %u bytes after the login was accepted: ignored.", (unsigned)h->dwDataLen);
        return 1;
    }
    uint32_t status;
    LoginInfo info;
    if (!ParseLoginReply(h, payload, &status, &info))
        return RefusePacket(IDS_PACKET_TOO_SHORT, h, 39);
    if (status == 0) {
        g_loginAccepted = TRUE;
        EnterCriticalSection(&g_viewer.loginInfoLock);
        memset(&g_session.info, 0, sizeof(g_session.info));
        g_session.info.login = info;
        LeaveCriticalSection(&g_viewer.loginInfoLock);
    }
    InterlockedExchange(&g_loginStatus, (LONG)status);
    UiNoticeAnnounce(&g_loginNotice, g_viewer.mainWindow, WM_CV_LOGIN_REPLY);
    return 1;
}

int SessionPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    switch (h->dwType) {
    case PKT_LOGIN_REPLY:
        return OnLoginReply(h, payload);
    case PKT_DESKTOP_RESTART:
        // Restarts in a row are answered once, after the last: the Agent waits for one
        // client information, sent after its latest restart.
        UiNoticeAnnounce(&g_restartNotice, g_viewer.mainWindow, WM_CV_DESKTOP_RESTART);
        return 1;
    }
    WriteLogF("Packet type %u reached the session, which does not read it: ignored.", (unsigned)h->dwType);
    return 1;
}

int DispatchPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    const PacketRoute *route = FindPacketRoute(h->dwType);
    const PacketHandler handler = route ? g_handlers[route->owner] : NULL;
    if (handler)
        return handler(h, payload);
    if (h->dwRequired == 0)
        return 1;
    return RefuseUnknown();
}

static void ReportReadFailure(int code)
{
    char text[1024];
    FormatNetError(code, IDS_RECEIVE_FAILED, text, sizeof(text));
    ReportFailure(NULL, text);
    EndSession();
}

static DWORD WINAPI ReceiveThread(LPVOID)
{
    PacketFramer *f = &g_receiveBuffer;
    FramerInit(f);
    g_loginAccepted = FALSE;
    // Over TCP the socket's own event; over SPX the main window's FD_READ sets ReadReady.
    const BOOL tcp = g_viewer.target.protocol != PROTO_SPX;
    HANDLE waits[2] = {g_viewer.stopEvent, tcp ? (HANDLE)g_session.networkEvent : g_session.readReadyEvent};
    BOOL closed = FALSE;
    for (;;) {
        LONGLONG clock = ProfileClock();
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        ProfileAdd(kProfReceiveWait, clock);
        if (tcp) {
            const int readable = TakeNetworkEvents(&closed);
            if (readable < 0)
                return 0;
            if (!readable)
                continue;
        }
        uint8_t *tail;
        size_t room;
        if (!FramerFreeSpace(f, &tail, &room))
            return 0;
        clock = ProfileClock();
        int n = recv(g_session.socket, (char *)tail, (int)room, 0);
        ProfileAdd(kProfReceiveRead, clock);
        if (n == SOCKET_ERROR) {
            int code = WSAGetLastError();
            if (code == WSAEWOULDBLOCK)
                continue;
            ReportReadFailure(code);
            return 0;
        }
        if (n == 0)
            continue;
        FramerCommit(f, (size_t)n);
        ProfileCountAdd(kProfBytesRead, n);
        InterlockedExchangeAdd(&g_session.info.bytesReceived, n);
        SessPacketHeader h;
        const uint8_t *payload;
        int r;
        while ((r = FramerNext(f, &h, &payload)) == kFramerPacket)
            if (!DispatchPacket(&h, payload))
                return 0;
        if (g_afterReads)
            g_afterReads();
        if (r == kFramerError) {
            RefusePacket(IDS_PACKET_TOO_LONG, &h, kMaxPacketSize);
            return 0;
        }
    }
}

int StartReceiveThread(void)
{
    if (g_beforeStart)
        g_beforeStart();
    // A message of an earlier session may have gone with its window, never taken.
    UiNotice *notices[] = {&g_loginNotice, &g_restartNotice};
    for (UiNotice *n : notices)
        UiNoticeTaken(n);
    DWORD id;
    g_session.receiveThread = CreateThread(NULL, 0, ReceiveThread, NULL, 0, &id);
    return g_session.receiveThread != NULL;
}
