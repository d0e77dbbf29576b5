// Routing of the Agent's file-transfer packets from the receive thread: replies are
// posted to the frame with their ownership, download packets wait in SyncReplyBuffer.
#include "filetransfer/route_win.h"

#include "filetransfer/ftstate_win.h"
#include "filetransfer/messages.h"
#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>
#include <cstring>

SyncReplyBuffer g_syncReply;

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
                  "fails.", (unsigned)h->dwType);
        return 1;
    }
    memcpy(g_syncReply.bytes, h, sizeof(*h));
    memcpy(g_syncReply.bytes + sizeof(*h), payload, h->dwDataLen);
    g_syncReply.length = length;
    InterlockedExchange(&g_syncReply.full, 1);
    SetEvent(g_viewer.syncReplyEvent);
    return 1;
}

int FtRoutePacket(const SessPacketHeader *h, const uint8_t *payload)
{
    if (FtIsSyncReply(h->dwType))
        return ToSyncBuffer(h, payload);
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
        PostMessageA(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_viewer.socket, FD_CLOSE);
        return 0;
    }
    memcpy(copy, h, sizeof(*h));
    memcpy(copy + sizeof(*h), payload, h->dwDataLen);
    // The block belongs to the frame once posted; a frame gone meanwhile refuses it.
    if (!PostMessageA(frame, message, 0, (LPARAM)copy)) {
        WriteLogF("File-transfer packet type %u: the window is gone, dropped.", (unsigned)h->dwType);
        HeapFree(GetProcessHeap(), 0, copy);
    }
    return 1;
}

void FtDropPendingReplies(HWND frame)
{
    MSG m;
    while (PeekMessageA(&m, frame, WM_CV_FT_REPLY_FIRST, WM_CV_FT_REPLY_LAST, PM_REMOVE))
        FtFreeReply(m.lParam);
}
