// The SendQueue and the SendThread. Worker producers wait for QueueSpaceEvent outside
// the lock; the UI thread never waits. The SendThread sends the slot at the read index
// outside the lock, which producers never touch while the queue is not empty. Every
// wait also watches StopEvent, and producers watch SendEndedEvent.
#include "session/sendqueue_win.h"

#include "lang/stringids.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/commands.h"
#include "shell/mainwindow_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"

#include <cstring>

// Winsock announces FD_WRITE only after a send has failed with WSAEWOULDBLOCK, and not
// every socket layer does even that: the wait for write readiness is bounded.
// Pointer moves are dropped once the ring holds kDroppableLimit packets, which keeps
// the last slots for keys, buttons and commands.
enum { kWriteRetryMs = 50, kDroppableLimit = 48 };

static volatile LONG g_stallReported; // once per connection
// Under Wine every event call is a round trip to the wineserver, several per copied chunk:
// the SendThread's end is read from a flag, and room is announced only to a producer
// that waits for it. Both under SendQueueLock, apart from the flag's reads.
static volatile LONG g_sendEnded;
static int g_spaceWaiters;
// A worker writes to the socket itself (SendPacketNow): the SendThread sends nothing
// meanwhile. Under SendQueueLock.
static int g_directBusy;

static int NextIndex(int i) { return (i + 1) % kSendQueueSlots; }

void SendQueueCreateLock(void)
{
    if (!g_session.sendQueueLockReady) {
        InitializeCriticalSection(&g_session.sendQueueLock);
        g_session.sendQueueLockReady = TRUE;
    }
}

void SendQueueDestroy(void)
{
    for (int i = 0; i < kSendQueueSlots; i++) {
        SendSlot *s = &g_session.sendQueue.slots[i];
        if (s->buffer)
            HeapFree(GetProcessHeap(), 0, s->buffer);
        s->buffer = NULL;
        s->capacity = s->length = 0;
    }
    if (g_session.sendQueueLockReady) {
        DeleteCriticalSection(&g_session.sendQueueLock);
        g_session.sendQueueLockReady = FALSE;
    }
}

void SendQueueReset(void)
{
    EnterCriticalSection(&g_session.sendQueueLock);
    g_session.sendQueue.writeIndex = g_session.sendQueue.readIndex = 0;
    LeaveCriticalSection(&g_session.sendQueueLock);
    InterlockedExchange(&g_stallReported, 0);
    InterlockedExchange(&g_sendEnded, 0);
    ResetEvent(g_session.sendEndedEvent);
    SetEvent(g_session.queueSpaceEvent);
}

static int QueuedCount(const SendQueue *q)
{
    return (q->writeIndex - q->readIndex + kSendQueueSlots) % kSendQueueSlots;
}

static int IsSet(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// The UI thread found the ring full: the Agent has stopped reading. Reported once per
// connection, through the main window, which ends the session.
static void ReportStall(void)
{
    if (InterlockedExchange(&g_stallReported, 1))
        return;
    UiPost(g_viewer.mainWindow, WM_CV_SEND_STALLED, 0, 0);
}

// Copies the packet into the slot at the write index; the caller holds the lock and
// has checked for room.
static int PutInSlot(SendQueue *q, const void *packet, DWORD size, int *outOfMemory)
{
    SendSlot *slot = &q->slots[q->writeIndex];
    if (slot->capacity < size) {
        if (slot->buffer)
            HeapFree(GetProcessHeap(), 0, slot->buffer);
        slot->capacity = 0;
        slot->buffer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
        if (!slot->buffer) {
            *outOfMemory = 1;
            return 0;
        }
        slot->capacity = size;
    }
    memcpy(slot->buffer, packet, size);
    slot->length = size;
    q->writeIndex = NextIndex(q->writeIndex);
    return 1;
}

static int Enqueue(const void *packet, DWORD size, int *outOfMemory, int droppable)
{
    *outOfMemory = 0;
    if (!g_viewer.stopEvent || !g_session.queueSpaceEvent || !g_session.sendEndedEvent || !g_session.sendQueueLockReady)
        return 0;
    // Only worker threads wait for room; the UI thread runs the windows and the
    // keyboard hook and must never hang on a peer that stopped reading.
    const int mayWait = GetCurrentThreadId() != g_viewer.uiThreadId;
    HANDLE waits[3] = {g_viewer.stopEvent, g_session.sendEndedEvent, g_session.queueSpaceEvent};
    SendQueue *q = &g_session.sendQueue;
    for (;;) {
        if (IsSet(g_viewer.stopEvent) || g_sendEnded)
            return 0;
        EnterCriticalSection(&g_session.sendQueueLock);
        const int used = QueuedCount(q);
        if (droppable && used >= kDroppableLimit) {
            LeaveCriticalSection(&g_session.sendQueueLock);
            return kQueueDropped;
        }
        if (used < kSendQueueSlots - 1) {
            const int ok = PutInSlot(q, packet, size, outOfMemory);
            if (ok)
                SetEvent(g_session.queueDataEvent);
            // Room left (or the room this producer could not use) is announced to the next.
            if (g_spaceWaiters && QueuedCount(q) < kSendQueueSlots - 1)
                SetEvent(g_session.queueSpaceEvent);
            LeaveCriticalSection(&g_session.sendQueueLock);
            return ok;
        }
        if (mayWait)
            g_spaceWaiters++;
        LeaveCriticalSection(&g_session.sendQueueLock);
        if (!mayWait) {
            ReportStall();
            return 0;
        }
        const DWORD r = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        EnterCriticalSection(&g_session.sendQueueLock);
        g_spaceWaiters--;
        LeaveCriticalSection(&g_session.sendQueueLock);
        if (r != WAIT_OBJECT_0 + 2)
            return 0;
    }
}

int EnqueuePacket(const void *packet, DWORD size, int *outOfMemory) { return Enqueue(packet, size, outOfMemory, 0); }

int EnqueueDroppable(const void *packet, DWORD size)
{
    int oom;
    return Enqueue(packet, size, &oom, 1);
}

int QueueOrExit(const void *packet, DWORD size)
{
    int oom;
    if (EnqueuePacket(packet, size, &oom))
        return 1;
    PostMessageA(g_viewer.mainWindow, WM_COMMAND, IDM_EXIT, 0);
    return 0;
}

static int SendAll(const BYTE *data, DWORD length);

int SendPacketNow(const void *packet, DWORD size, int *outOfMemory)
{
    *outOfMemory = 0;
    // A flag, not the event: a copy worker sends once per chunk, and under Wine a look at an
    // event is a round trip to the wineserver.
    if (!g_viewer.stopEvent || !g_session.sendQueueLockReady || g_viewer.stopping || g_sendEnded)
        return 0;
    SendQueue *q = &g_session.sendQueue;
    EnterCriticalSection(&g_session.sendQueueLock);
    // With the ring empty the SendThread is not sending: it keeps a slot until it has gone.
    const int direct = g_session.sendThread && q->readIndex == q->writeIndex && !g_directBusy;
    if (direct)
        g_directBusy = 1;
    LeaveCriticalSection(&g_session.sendQueueLock);
    if (!direct)
        return EnqueuePacket(packet, size, outOfMemory);
    // A send that would block goes on here as the SendThread's would, the ring held back.
    const int ok = SendAll((const BYTE *)packet, size);
    if (ok)
        InterlockedExchangeAdd(&g_session.info.bytesSent, (LONG)size);
    EnterCriticalSection(&g_session.sendQueueLock);
    g_directBusy = 0;
    if (q->readIndex != q->writeIndex)
        SetEvent(g_session.queueDataEvent); // queued meanwhile: the SendThread takes it now
    LeaveCriticalSection(&g_session.sendQueueLock);
    if (!ok)
        InterlockedExchange(&g_sendEnded, 1);
    return ok;
}

static void ReportSendFailure(int code)
{
    char text[512];
    FormatNetError(code, IDS_SEND_FAILED, text, sizeof(text));
    ReportFailure(NULL, text);
    UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_session.socket, FD_CLOSE);
}

// Returns 0 when the thread must end (StopEvent, or a reported failure). A partial send
// is followed at once by the rest; only a send that would block waits for FD_WRITE.
static int SendAll(const BYTE *data, DWORD length)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_session.writeReadyEvent};
    DWORD off = 0;
    int reset = 0; // the event is cleared only after a send would block, then tried again
    while (off < length) {
        int n = send(g_session.socket, (const char *)data + off, (int)(length - off), 0);
        if (n != SOCKET_ERROR) {
            off += (DWORD)n;
            reset = 0;
            continue;
        }
        int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            ReportSendFailure(code);
            return 0;
        }
        if (!reset) {
            ResetEvent(g_session.writeReadyEvent);
            reset = 1;
            continue;
        }
        reset = 0;
        if (WaitForMultipleObjects(2, waits, FALSE, kWriteRetryMs) == WAIT_OBJECT_0)
            return 0;
    }
    return 1;
}

static DWORD SendLoop(void)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_session.queueDataEvent};
    SendQueue *q = &g_session.sendQueue;
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        for (;;) {
            EnterCriticalSection(&g_session.sendQueueLock);
            // A worker writing its own packet sets the event again when it is done.
            int empty = q->readIndex == q->writeIndex || g_directBusy;
            SendSlot *slot = &q->slots[q->readIndex];
            LeaveCriticalSection(&g_session.sendQueueLock);
            if (empty)
                break;
            if (!SendAll(slot->buffer, slot->length))
                return 0;
            InterlockedExchangeAdd(&g_session.info.bytesSent, (LONG)slot->length);
            EnterCriticalSection(&g_session.sendQueueLock);
            q->readIndex = NextIndex(q->readIndex);
            if (g_spaceWaiters)
                SetEvent(g_session.queueSpaceEvent);
            LeaveCriticalSection(&g_session.sendQueueLock);
        }
    }
}

static DWORD WINAPI SendThread(LPVOID)
{
    SendLoop();
    // Nothing will drain the ring any more: every producer waiting for room, and every
    // later one, gets 0 at once.
    InterlockedExchange(&g_sendEnded, 1);
    SetEvent(g_session.sendEndedEvent);
    return 0;
}

int StartSendThread(void)
{
    DWORD id;
    g_session.sendThread = CreateThread(NULL, 0, SendThread, NULL, 0, &id);
    return g_session.sendThread != NULL;
}
