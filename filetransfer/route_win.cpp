// Routing of the Agent's file-transfer packets from the receive thread: replies are
// posted to the frame with their ownership, download packets wait in SyncReplyBuffer.
#include "filetransfer/route_win.h"

#include "filetransfer/messages.h"
#include "filetransfer/state_win.h"
#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>
#include <cstring>

SyncReplyBuffer g_syncReply;

struct WaitingReply {
    UINT message;
    LPARAM block;
    DWORD length;
};

// The replies waiting for the frame: a ring, under its lock.
static struct {
    SRWLOCK lock;
    CONDITION_VARIABLE room;
    WaitingReply ring[kFtReplySlots];
    unsigned head, count;
    size_t bytes;
    UiNotice notice;
    HWND frame; // the frame the waiting replies are for
    LONG waits; // times the receive thread waited for room
} g_replies = {SRWLOCK_INIT, CONDITION_VARIABLE_INIT, {}, 0, 0, 0, {0}, NULL, 0};

// The worker's reply event, under its lock: the worker closes its event only after Close.
static struct {
    SRWLOCK lock;
    HANDLE event;
} g_ackShortcut = {SRWLOCK_INIT, NULL};

void FtAckShortcutOpen(HANDLE replyEvent)
{
    AcquireSRWLockExclusive(&g_ackShortcut.lock);
    g_ackShortcut.event = replyEvent;
    ReleaseSRWLockExclusive(&g_ackShortcut.lock);
}

void FtAckShortcutClose(void) { FtAckShortcutOpen(NULL); }

// 1 when the acknowledgement went straight to the worker.
static int AckShortcut(const SessPacketHeader *h, const uint8_t *payload)
{
    FtAck a;
    const char *why = NULL;
    if (h->dwType != PKT_FT_ACK || !ParseFtAck(h, payload, &a, &why) || !a.goOn)
        return 0;
    AcquireSRWLockShared(&g_ackShortcut.lock);
    const int taken = g_ackShortcut.event && SetEvent(g_ackShortcut.event);
    ReleaseSRWLockShared(&g_ackShortcut.lock);
    return taken;
}

void FtFreeReply(LPARAM block)
{
    if (block)
        HeapFree(GetProcessHeap(), 0, (void *)block);
}

// A packet the Agent waits to have answered, with nobody here to answer it (a download
// torn down, a question with no window): it hears stop, or it would serve nothing else. The
// receive thread must not wait for room in the queue; a full one drops the answer, as the
// session is then jammed anyway.
static void StopUnasked(uint32_t type, const char *what)
{
    uint8_t packet[sizeof(SessPacketHeader) + 20];
    const size_t n = BuildFtAnswer(FT_ANSWER_NO, packet, sizeof(packet));
    const int r = n ? EnqueueDroppable(packet, (DWORD)n) : 0;
    WriteLogF("File-transfer packet type %u with %s: %s.", (unsigned)type, what,
              r == kQueued ? "answered with stop" : "dropped, the send queue is full or closed");
}

static int IsQuestion(uint32_t type)
{
    return type == PKT_FT_CONFIRM_DELETE || type == PKT_FT_CONFIRM_OVERWRITE || type == PKT_FT_ERROR;
}

static int ToSyncBuffer(const SessPacketHeader *h, const uint8_t *payload)
{
    const DWORD length = (DWORD)(sizeof(*h) + h->dwDataLen);
    if (!g_syncReply.open) {
        StopUnasked(h->dwType, "no download open");
        return 1;
    }
    // The framer never passes a packet over the buffer's size; kept as a guard.
    if (length > sizeof(g_syncReply.bytes)) {
        WriteLogF("File-transfer packet type %u of %u bytes is too long: dropped.", (unsigned)h->dwType,
                  (unsigned)h->dwDataLen);
        return 1;
    }
    // The Agent waits for the answer to each packet; one sent earlier cannot be kept, and
    // the receive thread must not wait for the worker.
    if (InterlockedCompareExchange(&g_syncReply.full, 0, 0)) {
        InterlockedExchange(&g_syncReply.overrun, 1);
        WriteLogF("File-transfer packet type %u before the previous one was answered: dropped, the download "
                  "fails.",
                  (unsigned)h->dwType);
        return 1;
    }
    memcpy(g_syncReply.bytes, h, sizeof(*h));
    memcpy(g_syncReply.bytes + sizeof(*h), payload, h->dwDataLen);
    g_syncReply.length = length;
    InterlockedExchange(&g_syncReply.full, 1);
    SetEvent(g_session.syncReplyEvent);
    return 1;
}

static int Enqueue(HWND frame, UINT message, uint8_t *copy, DWORD length);

int FtRoutePacket(const SessPacketHeader *h, const uint8_t *payload)
{
    if (FtIsSyncReply(h->dwType))
        return ToSyncBuffer(h, payload);
    if (AckShortcut(h, payload))
        return 1;
    const UINT message = FtReplyMessage(h->dwType);
    if (!message)
        return 1;
    // Read once: the UI thread clears it when the frame goes away.
    HWND frame = g_viewer.fileTransferWindow;
    if (!frame) {
        if (IsQuestion(h->dwType)) {
            StopUnasked(h->dwType, "no file-transfer window");
            return 1;
        }
        WriteLogF("File-transfer packet type %u with no file-transfer window: dropped.", (unsigned)h->dwType);
        return 1;
    }
    const size_t length = sizeof(*h) + h->dwDataLen;
    uint8_t *copy = (uint8_t *)HeapAlloc(GetProcessHeap(), 0, length);
    if (!copy) {
        // The reply is lost and the window would wait for it: the session ends.
        WriteLogF("No memory for file-transfer packet type %u of %u bytes.", (unsigned)h->dwType,
                  (unsigned)h->dwDataLen);
        char a[256], b[256], text[520];
        LoadLangString(IDS_RECEIVE_FAILED, a, sizeof(a));
        LoadLangString(IDS_OUT_OF_MEMORY, b, sizeof(b));
        snprintf(text, sizeof(text), "%s %s", a, b);
        ReportFailure(NULL, text);
        UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_session.socket, FD_CLOSE);
        return 0;
    }
    memcpy(copy, h, sizeof(*h));
    memcpy(copy + sizeof(*h), payload, h->dwDataLen);
    return Enqueue(frame, message, copy, (DWORD)length);
}

static void AnnounceReplies(HWND frame)
{
    if (!UiNoticeRaise(&g_replies.notice, frame, WM_CV_FT_REPLIES, 0, 0))
        WriteLogF("File-transfer replies could not be announced (error %lu): tried again.", GetLastError());
}

static int Enqueue(HWND frame, UINT message, uint8_t *copy, DWORD length)
{
    AcquireSRWLockExclusive(&g_replies.lock);
    int waited = 0;
    while (g_replies.count == kFtReplySlots || g_replies.bytes + length > kFtReplyBytes) {
        // A frame gone meanwhile has dropped what waited; one closing takes nothing more.
        if (g_viewer.fileTransferWindow != frame || WaitForSingleObject(g_viewer.stopEvent, 0) == WAIT_OBJECT_0) {
            ReleaseSRWLockExclusive(&g_replies.lock);
            WriteLogF("File-transfer packet type %u: the window is gone, dropped.",
                      (unsigned)((SessPacketHeader *)copy)->dwType);
            HeapFree(GetProcessHeap(), 0, copy);
            return 1;
        }
        if (!waited++ && g_replies.waits++ == 0)
            WriteLogF("%u file-transfer replies wait for the window: reading stops until it takes them.",
                      g_replies.count);
        // Announced again in case the last post was refused; no reply is lost here.
        AnnounceReplies(frame);
        SleepConditionVariableSRW(&g_replies.room, &g_replies.lock, 200, 0);
    }
    if (g_replies.count && g_replies.frame != frame) {
        // Left by a frame that went without dropping them (its drop ran first).
        ReleaseSRWLockExclusive(&g_replies.lock);
        FtDropPendingReplies(g_replies.frame);
        AcquireSRWLockExclusive(&g_replies.lock);
    }
    g_replies.frame = frame;
    WaitingReply *r = &g_replies.ring[(g_replies.head + g_replies.count) % kFtReplySlots];
    r->message = message;
    r->block = (LPARAM)copy;
    r->length = length;
    g_replies.count++;
    g_replies.bytes += length;
    ReleaseSRWLockExclusive(&g_replies.lock);
    AnnounceReplies(frame);
    return 1;
}

int FtTakeReply(UINT *message, LPARAM *block)
{
    UiNoticeTaken(&g_replies.notice);
    AcquireSRWLockExclusive(&g_replies.lock);
    if (!g_replies.count) {
        ReleaseSRWLockExclusive(&g_replies.lock);
        return 0;
    }
    const WaitingReply r = g_replies.ring[g_replies.head];
    g_replies.head = (g_replies.head + 1) % kFtReplySlots;
    g_replies.count--;
    g_replies.bytes -= r.length;
    const unsigned more = g_replies.count;
    HWND frame = g_replies.frame;
    ReleaseSRWLockExclusive(&g_replies.lock);
    WakeConditionVariable(&g_replies.room);
    if (more)
        AnnounceReplies(frame);
    *message = r.message;
    *block = r.block;
    return 1;
}

void FtDropPendingReplies(HWND frame)
{
    AcquireSRWLockExclusive(&g_replies.lock);
    if (g_replies.frame == frame) {
        while (g_replies.count) {
            FtFreeReply(g_replies.ring[g_replies.head].block);
            g_replies.head = (g_replies.head + 1) % kFtReplySlots;
            g_replies.count--;
        }
        g_replies.bytes = 0;
        g_replies.head = 0;
    }
    ReleaseSRWLockExclusive(&g_replies.lock);
    WakeAllConditionVariable(&g_replies.room);
    MSG m;
    while (PeekMessageA(&m, frame, WM_CV_FT_REPLIES, WM_CV_FT_REPLIES, PM_REMOVE))
        ;
    UiNoticeTaken(&g_replies.notice);
}
