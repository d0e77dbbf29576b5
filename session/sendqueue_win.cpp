// The SendQueue and the SendThread. Producers wait for QueueSpaceEvent outside the lock;
// the SendThread sends the slot at the read index outside the lock, which producers
// never touch while the queue is not empty. Every wait also watches StopEvent.
#include "session/sendqueue_win.h"

#include "lang/stringids.h"
#include "session/transport_win.h"
#include "shell/commands.h"
#include "shell/mainwindow_win.h"
#include "shell/report_win.h"
#include "shell/state.h"

#include <cstring>

// Winsock announces FD_WRITE only after a send has failed with WSAEWOULDBLOCK, and not
// every socket layer does even that: the wait for write readiness is bounded.
enum { kWriteRetryMs = 50 };

static int NextIndex(int i) { return (i + 1) % kSendQueueSlots; }

void SendQueueCreateLock(void)
{
    if (!g_viewer.sendQueueLockReady) {
        InitializeCriticalSection(&g_viewer.sendQueueLock);
        g_viewer.sendQueueLockReady = TRUE;
    }
}

void SendQueueDestroy(void)
{
    for (int i = 0; i < kSendQueueSlots; i++) {
        SendSlot *s = &g_viewer.sendQueue.slots[i];
        if (s->buffer)
            HeapFree(GetProcessHeap(), 0, s->buffer);
        s->buffer = NULL;
        s->capacity = s->length = 0;
    }
    if (g_viewer.sendQueueLockReady) {
        DeleteCriticalSection(&g_viewer.sendQueueLock);
        g_viewer.sendQueueLockReady = FALSE;
    }
}

void SendQueueReset(void)
{
    EnterCriticalSection(&g_viewer.sendQueueLock);
    g_viewer.sendQueue.writeIndex = g_viewer.sendQueue.readIndex = 0;
    LeaveCriticalSection(&g_viewer.sendQueueLock);
    SetEvent(g_viewer.queueSpaceEvent);
}

int EnqueuePacket(const void *packet, DWORD size, int *outOfMemory)
{
    *outOfMemory = 0;
    if (!g_viewer.stopEvent || !g_viewer.queueSpaceEvent || !g_viewer.sendQueueLockReady)
        return 0;
    HANDLE waits[2] = {g_viewer.stopEvent, g_viewer.queueSpaceEvent};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
        return 0;
    SendQueue *q = &g_viewer.sendQueue;
    EnterCriticalSection(&g_viewer.sendQueueLock);
    SendSlot *slot = &q->slots[q->writeIndex];
    if (slot->capacity < size) {
        if (slot->buffer)
            HeapFree(GetProcessHeap(), 0, slot->buffer);
        slot->capacity = 0;
        slot->buffer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size ? size : 1);
        if (!slot->buffer) {
            *outOfMemory = 1;
            // The space this producer was woken for is still there for the next one.
            SetEvent(g_viewer.queueSpaceEvent);
            LeaveCriticalSection(&g_viewer.sendQueueLock);
            return 0;
        }
        slot->capacity = size;
    }
    memcpy(slot->buffer, packet, size);
    slot->length = size;
    q->writeIndex = NextIndex(q->writeIndex);
    if (NextIndex(q->writeIndex) != q->readIndex)
        SetEvent(g_viewer.queueSpaceEvent);
    SetEvent(g_viewer.queueDataEvent);
    LeaveCriticalSection(&g_viewer.sendQueueLock);
    return 1;
}

int QueueOrExit(const void *packet, DWORD size)
{
    int oom;
    if (EnqueuePacket(packet, size, &oom))
        return 1;
    PostMessageA(g_viewer.mainWindow, WM_COMMAND, IDM_EXIT, 0);
    return 0;
}

static void ReportSendFailure(int code)
{
    char text[512];
    FormatNetError(code, IDS_SEND_FAILED, text, sizeof(text));
    ReportFailure(NULL, text);
    PostMessageA(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_viewer.socket, FD_CLOSE);
}

// Returns 0 when the thread must end (StopEvent, or a reported failure). A partial send
// is followed at once by the rest; only a send that would block waits for FD_WRITE.
static int SendAll(const BYTE *data, DWORD length)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_viewer.writeReadyEvent};
    DWORD off = 0;
    while (off < length) {
        ResetEvent(g_viewer.writeReadyEvent);
        int n = send(g_viewer.socket, (const char *)data + off, (int)(length - off), 0);
        if (n != SOCKET_ERROR) {
            off += (DWORD)n;
            continue;
        }
        int code = WSAGetLastError();
        if (code != WSAEWOULDBLOCK) {
            ReportSendFailure(code);
            return 0;
        }
        if (WaitForMultipleObjects(2, waits, FALSE, kWriteRetryMs) == WAIT_OBJECT_0)
            return 0;
    }
    return 1;
}

static DWORD WINAPI SendThread(LPVOID)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_viewer.queueDataEvent};
    SendQueue *q = &g_viewer.sendQueue;
    for (;;) {
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        for (;;) {
            EnterCriticalSection(&g_viewer.sendQueueLock);
            int empty = q->readIndex == q->writeIndex;
            SendSlot *slot = &q->slots[q->readIndex];
            LeaveCriticalSection(&g_viewer.sendQueueLock);
            if (empty)
                break;
            if (!SendAll(slot->buffer, slot->length))
                return 0;
            InterlockedExchangeAdd(&g_viewer.session.bytesSent, (LONG)slot->length);
            EnterCriticalSection(&g_viewer.sendQueueLock);
            q->readIndex = NextIndex(q->readIndex);
            SetEvent(g_viewer.queueSpaceEvent);
            LeaveCriticalSection(&g_viewer.sendQueueLock);
        }
    }
}

int StartSendThread(void)
{
    DWORD id;
    g_viewer.sendThread = CreateThread(NULL, 0, SendThread, NULL, 0, &id);
    return g_viewer.sendThread != NULL;
}
