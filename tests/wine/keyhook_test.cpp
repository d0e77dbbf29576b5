// Keyboard hook libraries: keys typed with SendInput reach the hooked window as
// WM_CV_KEY_INPUT with WM_KEYDOWN-style flags, and not the local window; removal,
// moving and dead windows give the keys back to the local system.
#include <gtest/gtest.h>

#include "hooks/keyhook.h"

#include <vector>

namespace {

struct KeyRecord {
    HWND window;
    UINT msg;
    WPARAM vk;
    DWORD flags;
};
std::vector<KeyRecord> g_seen; // pushed under g_seenLock: one case records on two threads
CRITICAL_SECTION g_seenLock;

void Record(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    EnterCriticalSection(&g_seenLock);
    g_seen.push_back({w, msg, wp, (DWORD)lp});
    LeaveCriticalSection(&g_seenLock);
}

// Answers 1 for F12, as the full-screen window does; keeps local key messages away
// from DefWindowProc so that Alt does not open menu mode.
LRESULT CALLBACK RecorderProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CV_KEY_INPUT:
        Record(w, msg, wp, lp);
        return wp == VK_F12 ? 1 : 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        Record(w, msg, wp, lp);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

void Pump(DWORD ms = 150)
{
    DWORD start = GetTickCount();
    MSG m;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

void Key(WORD vk, WORD scan, bool extended, bool up, ULONG_PTR extra = 0)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    in.ki.dwExtraInfo = extra;
    ASSERT_EQ(SendInput(1, &in, sizeof(in)), 1u);
}

void Tap(WORD vk, WORD scan, bool extended = false)
{
    Key(vk, scan, extended, false);
    Key(vk, scan, extended, true);
}

struct Expect {
    WPARAM vk;
    DWORD flags;
};

class KeyHookTest : public ::testing::Test {
protected:
    HWND a = NULL, b = NULL;

    void SetUp() override
    {
        static bool once = (InitializeCriticalSection(&g_seenLock), true);
        (void)once;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "CORVIDTEST:KEYS";
        RegisterClassA(&wc);
        a = CreateWindowExA(0, wc.lpszClassName, "keys a", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 150,
                            NULL, NULL, wc.hInstance, NULL);
        b = CreateWindowExA(0, wc.lpszClassName, "keys b", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 250, 10, 200, 150,
                            NULL, NULL, wc.hInstance, NULL);
        ASSERT_TRUE(a && b);
        SetForegroundWindow(a);
        SetFocus(a);
        Pump();
        g_seen.clear();
    }
    void TearDown() override
    {
        FreeCvLLkbdHook(NULL);
        FreeKbdHook(NULL);
        DestroyWindow(a);
        DestroyWindow(b);
        Pump(50);
        g_seen.clear();
    }

    static std::vector<KeyRecord> Delivered(HWND w)
    {
        std::vector<KeyRecord> out;
        for (const KeyRecord &r : g_seen)
            if (r.msg == WM_CV_KEY_INPUT && r.window == w)
                out.push_back(r);
        return out;
    }
    static size_t DeliveredAnywhere(void)
    {
        size_t n = 0;
        for (const KeyRecord &r : g_seen)
            n += r.msg == WM_CV_KEY_INPUT;
        return n;
    }
    static std::vector<UINT> Local(void)
    {
        std::vector<UINT> out;
        for (const KeyRecord &r : g_seen)
            if (r.msg != WM_CV_KEY_INPUT)
                out.push_back(r.msg);
        return out;
    }
    static void ExpectDelivered(HWND w, const std::vector<Expect> &want)
    {
        std::vector<KeyRecord> got = Delivered(w);
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(got[i].vk, want[i].vk) << "key " << i;
            EXPECT_EQ(got[i].flags, want[i].flags) << "key " << i << std::hex << " got 0x" << got[i].flags;
        }
    }
};

// The ground the other cases stand on: without a hook, injected keys reach the
// focused window as ordinary key messages.
TEST_F(KeyHookTest, WithoutHookKeysReachTheFocusedWindow)
{
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
    EXPECT_EQ(DeliveredAnywhere(), 0u);
}

// Flags expected below are WM_KEYDOWN's lParam as Windows documents it: repeat 1,
// scan code in 16-23, extended 24, context (Alt) 29, previous state 30, released 31.
TEST_F(KeyHookTest, LowLevelLetterPressRepeatRelease)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Key('A', 0x1E, false, false);
    Key('A', 0x1E, false, false);
    Key('A', 0x1E, false, true);
    Pump();
    ExpectDelivered(a, {{'A', 0x001E0001}, {'A', 0x401E0001}, {'A', 0xC01E0001}});
    EXPECT_TRUE(Local().empty());
}

TEST_F(KeyHookTest, LowLevelSideKeysUseCommonCodesAndExtendedBit)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Tap(VK_RCONTROL, 0x1D, true);
    Tap(VK_LCONTROL, 0x1D);
    Tap(VK_RSHIFT, 0x36);
    Tap(VK_LWIN, 0x5B, true);
    Tap(VK_RIGHT, 0x4D, true);
    Pump();
    ExpectDelivered(a, {{VK_CONTROL, 0x011D0001},
                        {VK_CONTROL, 0xC11D0001},
                        {VK_CONTROL, 0x001D0001},
                        {VK_CONTROL, 0xC01D0001},
                        {VK_SHIFT, 0x00360001},
                        {VK_SHIFT, 0xC0360001},
                        {VK_LWIN, 0x015B0001},
                        {VK_LWIN, 0xC15B0001},
                        {VK_RIGHT, 0x014D0001},
                        {VK_RIGHT, 0xC14D0001}});
    EXPECT_TRUE(Local().empty());
}

TEST_F(KeyHookTest, LowLevelAltTabCarriesTheContextBitAndStaysRemote)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Key(VK_LMENU, 0x38, false, false);
    Tap(VK_TAB, 0x0F);
    Key(VK_LMENU, 0x38, false, true);
    Tap(VK_TAB, 0x0F);
    Pump();
    ExpectDelivered(a, {{VK_MENU, 0x20380001},
                        {VK_TAB, 0x200F0001},
                        {VK_TAB, 0xE00F0001},
                        {VK_MENU, 0xC0380001},
                        {VK_TAB, 0x000F0001},
                        {VK_TAB, 0xC00F0001}});
    EXPECT_TRUE(Local().empty());
    EXPECT_EQ(GetForegroundWindow(), a);
}

TEST_F(KeyHookTest, LowLevelKeyTheViewerConsumesIsDeliveredAndKeptLocal)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Tap(VK_F12, 0x58);
    Pump();
    ExpectDelivered(a, {{VK_F12, 0x00580001}, {VK_F12, 0xC0580001}});
    EXPECT_TRUE(Local().empty());
}

TEST_F(KeyHookTest, LowLevelFreeGivesKeysBackAndIsHarmlessTwice)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    EXPECT_TRUE(FreeCvLLkbdHook(a));
    EXPECT_TRUE(FreeCvLLkbdHook(a));
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(DeliveredAnywhere(), 0u);
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));

    // And it goes in again afterwards.
    g_seen.clear();
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(Delivered(a).size(), 2u);
    EXPECT_TRUE(Local().empty());
}

TEST_F(KeyHookTest, LowLevelSecondInstallMovesDelivery)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    ASSERT_TRUE(SetCvLLkbdHook(b));
    Tap('A', 0x1E);
    Pump();
    EXPECT_TRUE(Delivered(a).empty());
    ExpectDelivered(b, {{'A', 0x001E0001}, {'A', 0xC01E0001}});
    EXPECT_TRUE(Local().empty());
    // One hook only: a single removal ends it.
    FreeCvLLkbdHook(b);
    g_seen.clear();
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(DeliveredAnywhere(), 0u);
}

TEST_F(KeyHookTest, LowLevelRefusesMissingWindowAndSurvivesADeadOne)
{
    EXPECT_FALSE(SetCvLLkbdHook(NULL));
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    EXPECT_FALSE(SetCvLLkbdHook(gone));
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));

    // The target dies with the hook in: keys must not vanish.
    g_seen.clear();
    ASSERT_TRUE(SetCvLLkbdHook(b));
    DestroyWindow(b);
    b = NULL;
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(DeliveredAnywhere(), 0u);
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

// A key held down as the hook goes in (Alt after Alt+Tab into the viewer): its
// release goes to the remote side and also locally, or it stays down here.
TEST_F(KeyHookTest, LowLevelReleaseOfAKeyPressedBeforeInstallPassesOn)
{
    Key('A', 0x1E, false, false);
    Pump();
    ASSERT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN}));
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Key('A', 0x1E, false, false);
    Key('A', 0x1E, false, true);
    Pump();
    ExpectDelivered(a, {{'A', 0x401E0001}, {'A', 0xC01E0001}});
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(KeyHookTest, LowLevelKeysMarkedForLocalPassUntouched)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Key('A', 0x1E, false, false, CV_KEYHOOK_PASS_LOCAL);
    Key('A', 0x1E, false, true, CV_KEYHOOK_PASS_LOCAL);
    Key('B', 0x30, false, false, 12345);
    Key('B', 0x30, false, true, 12345);
    Pump();
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
    ExpectDelivered(a, {{'B', 0x00300001}, {'B', 0xC0300001}});
}

// The thread hook sees keys as the window's thread takes them from its queue, with
// the flags Windows built for WM_KEYDOWN.
TEST_F(KeyHookTest, ThreadHookDeliversKeysAndKeepsThemFromTheWindow)
{
    ASSERT_TRUE(SetKbdHook(a));
    Key('A', 0x1E, false, false);
    Key('A', 0x1E, false, false);
    Key('A', 0x1E, false, true);
    Tap(VK_RCONTROL, 0x1D, true);
    Tap(VK_F12, 0x58);
    Pump();
    ExpectDelivered(a, {{'A', 0x001E0001},
                        {'A', 0x401E0001},
                        {'A', 0xC01E0001},
                        {VK_CONTROL, 0x011D0001},
                        {VK_CONTROL, 0xC11D0001},
                        {VK_F12, 0x00580001},
                        {VK_F12, 0xC0580001}});
    EXPECT_TRUE(Local().empty());
}

TEST_F(KeyHookTest, ThreadHookFreeMoveAndRefusal)
{
    EXPECT_FALSE(SetKbdHook(NULL));
    EXPECT_TRUE(FreeKbdHook(NULL));
    ASSERT_TRUE(SetKbdHook(b));
    ASSERT_TRUE(SetKbdHook(a));
    Tap('A', 0x1E);
    Pump();
    EXPECT_TRUE(Delivered(b).empty());
    EXPECT_EQ(Delivered(a).size(), 2u);
    EXPECT_TRUE(Local().empty());

    g_seen.clear();
    EXPECT_TRUE(FreeKbdHook(a));
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(DeliveredAnywhere(), 0u);
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(KeyHookTest, ThreadHookReleaseOfAKeyPressedBeforeInstallPassesOn)
{
    Key('A', 0x1E, false, false);
    Pump();
    ASSERT_TRUE(SetKbdHook(a));
    Key('A', 0x1E, false, true);
    Pump();
    ExpectDelivered(a, {{'A', 0xC01E0001}});
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

// A window of another thread: the thread hook goes on that thread and the keys its
// queue receives are delivered there.
TEST_F(KeyHookTest, ThreadHookFollowsTheWindowsThread)
{
    struct Ctx {
        HWND w;
        HANDLE ready, done;
    } ctx = {NULL, CreateEventA(NULL, TRUE, FALSE, NULL), CreateEventA(NULL, TRUE, FALSE, NULL)};
    HANDLE t = CreateThread(NULL, 0, [](LPVOID p) -> DWORD {
        Ctx *c = (Ctx *)p;
        c->w = CreateWindowExA(0, "CORVIDTEST:KEYS", "keys c", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 10, 200,
                               150, NULL, NULL, GetModuleHandleA(NULL), NULL);
        SetEvent(c->ready);
        MSG m;
        while (WaitForSingleObject(c->done, 0) == WAIT_TIMEOUT) {
            while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            MsgWaitForMultipleObjects(1, &c->done, FALSE, 10, QS_ALLINPUT);
        }
        DestroyWindow(c->w);
        return 0;
    }, &ctx, 0, NULL);
    ASSERT_NE(t, (HANDLE)NULL);
    WaitForSingleObject(ctx.ready, 5000);
    ASSERT_NE(ctx.w, (HWND)NULL);
    EXPECT_TRUE(SetKbdHook(ctx.w));
    // Posted key messages do not pass thread keyboard hooks; a hardware key to the
    // other thread's focused window does.
    SetForegroundWindow(ctx.w);
    Pump();
    g_seen.clear();
    Tap('A', 0x1E);
    Pump(300);
    SetEvent(ctx.done);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    CloseHandle(ctx.ready);
    CloseHandle(ctx.done);
    ExpectDelivered(ctx.w, {{'A', 0x001E0001}, {'A', 0xC01E0001}});
    EXPECT_TRUE(Local().empty());
}

} // namespace
