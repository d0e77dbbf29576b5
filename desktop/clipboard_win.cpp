// Clipboard exchange. The chain and the switch are the UI thread's; the text being
// collected from the Agent is the receive thread's alone; local text goes out from a
// sender thread, because a long text can take more packets than the send queue holds
// and only a worker may wait for room. A whole text from the Agent is put on the
// clipboard by the UI thread: emptying the clipboard sends to its owner, the main
// window, and the receive thread must never wait for the UI thread (which waits for it
// when the session ends).
#include "desktop/clipboard_win.h"

#include "desktop/clipboard.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/state.h"

#include <cstring>

enum { kOpenTries = 5, kOpenRetryMs = 20 };

static HWND g_nextViewer;        // UI thread: the next window of the chain
static BOOL g_inChain;           // UI thread
static HGLOBAL g_incoming;       // receive thread: the Agent's text being collected
static ClipAssembly g_assembly;  // receive thread
static LONG g_incomingSwitches;  // receive thread: the switch count when the text began
static volatile LONG g_switches; // times the exchange was switched, by the UI thread

// The newest whole text not yet on the clipboard (HandoffLock). Only one waits: a newer
// text replaces it, so a flood of texts cannot pile up while the UI thread is busy.
static CRITICAL_SECTION g_handoffLock;
static HGLOBAL g_handoff;      // HandoffLock
static LONG g_handoffSwitches; // HandoffLock: the switch count its text began under

// Sender: the text waiting to go (SenderLock), and the thread sending.
static CRITICAL_SECTION g_senderLock;
static BOOL g_senderLockReady;
static BYTE *g_pending;       // SenderLock; heap copy of the newest local text
static DWORD g_pendingLength; // SenderLock
static HANDLE g_senderThread; // UI thread
static HANDLE g_senderWake;   // auto reset: a text is pending

void ClipboardJoinChain(HWND mainWindow)
{
    if (!g_senderLockReady) {
        InitializeCriticalSection(&g_senderLock);
        InitializeCriticalSection(&g_handoffLock);
        g_senderLockReady = TRUE;
    }
    g_nextViewer = SetClipboardViewer(mainWindow);
    g_inChain = TRUE;
}

static void StopSender(void)
{
    if (g_senderThread) {
        // StopEvent is set: the thread ends at its next wait.
        WaitForSingleObject(g_senderThread, INFINITE);
        CloseHandle(g_senderThread);
        g_senderThread = NULL;
    }
    if (g_senderWake)
        CloseHandle(g_senderWake);
    g_senderWake = NULL;
    if (g_senderLockReady) {
        EnterCriticalSection(&g_senderLock);
        HeapFree(GetProcessHeap(), 0, g_pending);
        g_pending = NULL;
        LeaveCriticalSection(&g_senderLock);
    }
}

void ClipboardLeaveChain(HWND mainWindow)
{
    if (g_inChain)
        ChangeClipboardChain(mainWindow, g_nextViewer);
    g_inChain = FALSE;
    g_nextViewer = NULL;
    StopSender();
    // The receive thread has ended: a text it handed over and nobody took is freed.
    if (g_senderLockReady) {
        EnterCriticalSection(&g_handoffLock);
        HGLOBAL left = g_handoff;
        g_handoff = NULL;
        LeaveCriticalSection(&g_handoffLock);
        if (left)
            GlobalFree(left);
    }
    if (g_incoming)
        GlobalFree(g_incoming);
    g_incoming = NULL;
    g_assembly.active = 0;
}

void ClipboardOnChangeChain(HWND leaving, HWND next)
{
    if (leaving == g_nextViewer)
        g_nextViewer = next;
    else if (g_nextViewer)
        SendMessageA(g_nextViewer, WM_CHANGECBCHAIN, (WPARAM)leaving, (LPARAM)next);
}

static int ExchangeRunning(void)
{
    return g_viewer.clipboardExchange && g_session.sendThread && g_session.sendEndedEvent &&
           WaitForSingleObject(g_session.sendEndedEvent, 0) == WAIT_TIMEOUT;
}

// Sends one text, chunk by chunk, waiting for room; stops when the exchange goes off
// or the session ends.
static void SendText(const BYTE *text, DWORD length)
{
    static uint8_t packet[kPacketHeaderSize + kClipChunkHead + kClipChunkMax];
    const uint32_t count = ClipChunkCount(length);
    for (uint32_t i = 0; i < count && g_viewer.clipboardExchange; i++) {
        const size_t n = BuildClipChunk(text, length, i, packet, sizeof(packet));
        int oom;
        if (!n || !EnqueuePacket(packet, (DWORD)n, &oom))
            return;
    }
}

static DWORD WINAPI SenderThread(LPVOID)
{
    HANDLE waits[2] = {g_viewer.stopEvent, g_senderWake};
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        for (;;) {
            EnterCriticalSection(&g_senderLock);
            BYTE *text = g_pending;
            DWORD length = g_pendingLength;
            g_pending = NULL;
            LeaveCriticalSection(&g_senderLock);
            if (!text)
                break;
            SendText(text, length);
            HeapFree(GetProcessHeap(), 0, text);
        }
    }
    return 0;
}

// Hands a copy of the text to the sender; a text not sent yet gives way to the newer.
static void QueueText(const char *text, DWORD length)
{
    BYTE *copy = (BYTE *)HeapAlloc(GetProcessHeap(), 0, length ? length : 1);
    if (!copy) {
        WriteLogF("Clipboard text of %u bytes: no memory to send it.", (unsigned)length);
        return;
    }
    memcpy(copy, text, length);
    EnterCriticalSection(&g_senderLock);
    BYTE *older = g_pending;
    g_pending = copy;
    g_pendingLength = length;
    LeaveCriticalSection(&g_senderLock);
    HeapFree(GetProcessHeap(), 0, older);
    if (!g_senderWake)
        g_senderWake = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (g_senderWake && !g_senderThread) {
        DWORD id;
        g_senderThread = CreateThread(NULL, 0, SenderThread, NULL, 0, &id);
    }
    if (g_senderWake)
        SetEvent(g_senderWake);
}

static void SendLocalText(HWND mainWindow)
{
    if (!OpenClipboard(mainWindow))
        return;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char *text = data ? (const char *)GlobalLock(data) : NULL;
    if (text) {
        // Bounded by the block: another program's text need not be terminated.
        SIZE_T size = GlobalSize(data);
        size_t n = strnlen(text, size);
        if (n > kClipTextMax) {
            WriteLogF("Clipboard text of %u bytes is longer than the %u sent to the Agent: not sent.", (unsigned)n,
                      (unsigned)kClipTextMax);
        } else if (n) {
            QueueText(text, (DWORD)n);
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
}

void ClipboardOnDraw(HWND mainWindow)
{
    // Text the viewer put there itself came from the Agent: it is not sent back.
    if (ExchangeRunning() && GetClipboardOwner() != mainWindow)
        SendLocalText(mainWindow);
    if (g_nextViewer)
        SendMessageA(g_nextViewer, WM_DRAWCLIPBOARD, 0, 0);
}

void ToggleClipboardExchange(void)
{
    // A text coming in while the exchange goes off is dropped, even when it comes back
    // on before the next chunk.
    InterlockedIncrement(&g_switches);
    g_viewer.clipboardExchange = !g_viewer.clipboardExchange;
    CheckCommand(IDM_CLIPBOARD_EXCHANGE, g_viewer.clipboardExchange);
    uint8_t packet[16];
    size_t n = BuildSetClipboardSync(g_viewer.clipboardExchange, packet, sizeof(packet));
    QueueOrExit(packet, (DWORD)n);
}

static void DropIncoming(void)
{
    if (g_incoming)
        GlobalFree(g_incoming);
    g_incoming = NULL;
    g_assembly.active = 0;
}

// Receive thread: hands the whole text to the UI thread, replacing one still waiting.
static void HandOver(void)
{
    HGLOBAL text = g_incoming;
    g_incoming = NULL;
    g_assembly.active = 0;
    if (!g_senderLockReady) {
        GlobalFree(text);
        return;
    }
    EnterCriticalSection(&g_handoffLock);
    HGLOBAL older = g_handoff;
    g_handoff = text;
    g_handoffSwitches = g_incomingSwitches;
    LeaveCriticalSection(&g_handoffLock);
    if (older) {
        GlobalFree(older); // the UI thread has its message already
        return;
    }
    if (UiPost(g_viewer.mainWindow, WM_CV_CLIPBOARD_TEXT, 0, 0))
        return;
    // No message is coming for it: it must not stay, or no later text would be announced.
    EnterCriticalSection(&g_handoffLock);
    if (g_handoff == text)
        g_handoff = NULL;
    else
        text = NULL;
    LeaveCriticalSection(&g_handoffLock);
    if (text)
        GlobalFree(text);
    WriteLog("Clipboard text from the Agent could not be handed to the window: dropped.");
}

// UI thread: the waiting text goes on the clipboard, owned by the main window so that
// it is not echoed; another program may hold the clipboard for a moment. A text begun
// before the exchange was last switched is dropped.
void ClipboardOnText(HWND mainWindow)
{
    if (!g_senderLockReady)
        return;
    EnterCriticalSection(&g_handoffLock);
    HGLOBAL text = g_handoff;
    const LONG switches = g_handoffSwitches;
    g_handoff = NULL;
    LeaveCriticalSection(&g_handoffLock);
    if (!text)
        return;
    if (!g_viewer.clipboardExchange || switches != g_switches) {
        GlobalFree(text);
        return;
    }
    for (int i = 0; i < kOpenTries; i++) {
        if (OpenClipboard(mainWindow)) {
            if (EmptyClipboard() && SetClipboardData(CF_TEXT, text))
                text = NULL; // the clipboard's now
            CloseClipboard();
            break;
        }
        Sleep(kOpenRetryMs);
    }
    if (text) {
        WriteLog("Clipboard text from the Agent could not be put on the clipboard: dropped.");
        GlobalFree(text);
    }
}

int HandleClipboardChunk(const SessPacketHeader *h, const uint8_t *payload)
{
    if (!g_viewer.clipboardExchange) {
        DropIncoming();
        return 1;
    }
    ClipChunk c;
    const char *why = "";
    uint32_t offset;
    int begin, last;
    const LONG switches = g_switches;
    if (g_assembly.active && switches != g_incomingSwitches)
        DropIncoming();
    if (!ParseClipChunk(h, payload, &c, &why) || !ClipAssemblyPlace(&g_assembly, &c, &offset, &begin, &last)) {
        if (!*why)
            why = "out of its place in the text";
        WriteLogF("Clipboard chunk of %u bytes %s: the text is dropped.", (unsigned)h->dwDataLen, why);
        DropIncoming();
        return 1;
    }
    if (begin) {
        g_incomingSwitches = switches;
        if (g_incoming)
            GlobalFree(g_incoming);
        g_incoming = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, (SIZE_T)c.total + 1);
        if (!g_incoming) {
            WriteLogF("No memory for a clipboard text of %u bytes: dropped.", (unsigned)c.total);
            DropIncoming();
            return 1;
        }
    }
    BYTE *block = g_incoming ? (BYTE *)GlobalLock(g_incoming) : NULL;
    if (!block) {
        DropIncoming();
        return 1;
    }
    memcpy(block + offset, c.data, c.length);
    if (last)
        block[offset + c.length] = 0;
    GlobalUnlock(g_incoming);
    if (last)
        HandOver();
    return 1;
}
