// The clipboard viewer chain: a viewer that joined before ours leaving the chain keeps
// it whole, and clipboard changes still reach the window after it. Texts from the Agent
// reach the clipboard without the receive thread waiting for the window.
#include <gtest/gtest.h>

#include <string>

#include "desktop/clipboard.h"
#include "desktop/clipboard_win.h"
#include "session/receive_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

HWND g_ours;
int g_drawsSeen; // by the window that joined first

LRESULT CALLBACK OursProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_CHANGECBCHAIN) {
        ClipboardOnChangeChain((HWND)wp, (HWND)lp);
        return 0;
    }
    if (m == WM_DRAWCLIPBOARD) {
        ClipboardOnDraw(w);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

LRESULT CALLBACK FirstProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_DRAWCLIPBOARD)
        g_drawsSeen++;
    return m == WM_CHANGECBCHAIN ? 0 : DefWindowProcA(w, m, wp, lp);
}

HWND Make(const char *name, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    return CreateWindowExA(0, name, "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, wc.hInstance, NULL);
}

void Pump(void)
{
    MSG m;
    for (int i = 0; i < 20; i++) {
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        Sleep(10);
    }
}

TEST(ClipboardChain, AViewerLeavingAfterOursKeepsTheChain)
{
    PrepareTestViewer();
    HWND first = Make("CORVIDTEST:CB1", FirstProc);
    HWND middle = Make("CORVIDTEST:CB2", DefWindowProcA);
    g_ours = Make("CORVIDTEST:CB3", OursProc);
    HWND firstNext = SetClipboardViewer(first);
    HWND middleNext = SetClipboardViewer(middle); // the window after ours, once we join
    ClipboardJoinChain(g_ours);
    Pump();
    ChangeClipboardChain(middle, middleNext); // reaches ours, the head of the chain
    g_drawsSeen = 0;
    ASSERT_TRUE(OpenClipboard(first));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 3);
    memcpy(GlobalLock(text), "hi", 3);
    GlobalUnlock(text);
    SetClipboardData(CF_TEXT, text);
    CloseClipboard();
    Pump();
    EXPECT_GE(g_drawsSeen, 1) << "the change did not pass our window on to the next viewer";
    ClipboardLeaveChain(g_ours);
    ChangeClipboardChain(first, firstNext);
    for (HWND w : {first, middle, g_ours})
        DestroyWindow(w);
}

LRESULT CALLBACK TextProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_CV_CLIPBOARD_TEXT) {
        ClipboardOnText(w);
        return 0;
    }
    if (m == WM_DRAWCLIPBOARD) {
        ClipboardOnDraw(w);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

// Receive thread: texts "t0".."t<n-1>" from the Agent, chunk by chunk.
DWORD WINAPI Deliver(LPVOID n)
{
    static uint8_t packet[kPacketHeaderSize + kClipChunkHead + kClipChunkMax];
    for (int i = 0; i < (int)(INT_PTR)n; i++) {
        const std::string text = "t" + std::to_string(i);
        const size_t size =
            BuildClipChunk((const uint8_t *)text.data(), (uint32_t)text.size(), 0, packet, sizeof packet);
        SessPacketHeader h;
        if (!size || !DecodePacketHeader(packet, size, &h))
            return 1;
        DispatchPacket(&h, packet + kPacketHeaderSize); // through the wired handler
    }
    return 0;
}

std::string ClipboardText(HWND owner)
{
    std::string got;
    if (!OpenClipboard(owner))
        return "(not opened)";
    HANDLE data = GetClipboardData(CF_TEXT);
    const char *p = data ? (const char *)GlobalLock(data) : NULL;
    if (p) {
        got = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return got;
}

// With the clipboard owned by the main window, putting a text there sends to that
// window; a receive thread doing it would hang while the window's thread waits for it,
// as it does when the session ends. Of a flood of texts only the newest waits.
TEST(ClipboardReceive, TextsNeverWaitForTheWindowAndOnlyTheNewestWaits)
{
    PrepareTestViewer();
    HWND w = Make("CORVIDTEST:CB4", TextProc);
    g_viewer.mainWindow = w;
    g_viewer.clipboardExchange = 1;
    ClipboardJoinChain(w);
    HANDLE t = CreateThread(NULL, 0, Deliver, (LPVOID)1, 0, NULL);
    ASSERT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
    CloseHandle(t);
    Pump();
    EXPECT_EQ(ClipboardText(w), "t0");
    EXPECT_EQ(GetClipboardOwner(), w);

    t = CreateThread(NULL, 0, Deliver, (LPVOID)50, 0, NULL);
    const DWORD waited = WaitForSingleObject(t, 3000); // not pumping, as at the session's end
    EXPECT_EQ(waited, WAIT_OBJECT_0) << "the receive thread waited for the window";
    if (waited != WAIT_OBJECT_0) {
        Pump();
        WaitForSingleObject(t, 10000);
    }
    CloseHandle(t);
    MSG m;
    int posted = 0;
    while (PeekMessageA(&m, w, WM_CV_CLIPBOARD_TEXT, WM_CV_CLIPBOARD_TEXT, PM_REMOVE)) {
        posted++;
        DispatchMessageA(&m);
    }
    EXPECT_EQ(posted, 1);
    Pump();
    EXPECT_EQ(ClipboardText(w), "t49");

    // A text left waiting when the window goes is freed with the chain.
    t = CreateThread(NULL, 0, Deliver, (LPVOID)1, 0, NULL);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    ClipboardLeaveChain(w);
    Pump();
    EXPECT_EQ(ClipboardText(w), "t49");
    g_viewer.clipboardExchange = 0;
    g_viewer.mainWindow = NULL;
    DestroyWindow(w);
}

} // namespace
