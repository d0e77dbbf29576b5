// Keyboard hook libraries: keys typed with SendInput reach the hooked window as
// WM_CV_KEY_INPUT with WM_KEYDOWN-style flags, and not the local window; removal,
// moving and dead windows give the keys back to the local system.
#include <gtest/gtest.h>

#include "desktop/input_win.h"
#include "desktop/state_win.h"
#include "hooks/keyhook.h"
#include "session/state_win.h"
#include "tests/wine/viewer_fixture.h"

#include <cstdio>
#include <utility>
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

// Answers 1 for F12, as the full-screen window does; keeps local key messages away
// from DefWindowProc so that Alt does not open menu mode.
LRESULT CALLBACK RecorderProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CV_KEY_INPUT:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        EnterCriticalSection(&g_seenLock);
        g_seen.push_back({w, msg, wp, (DWORD)lp});
        LeaveCriticalSection(&g_seenLock);
        return msg == WM_CV_KEY_INPUT && wp == VK_F12;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// For ms, or with until given, until it is set.
void Pump(DWORD ms = 150, HANDLE until = NULL)
{
    DWORD start = GetTickCount();
    MSG m;
    while (until ? WaitForSingleObject(until, 0) == WAIT_TIMEOUT : GetTickCount() - start < ms) {
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

void Key(WORD vk, WORD scan, bool extended, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (up ? KEYEVENTF_KEYUP : 0);
    ASSERT_EQ(SendInput(1, &in, sizeof(in)), 1u);
}

void Tap(WORD vk, WORD scan)
{
    Key(vk, scan, false, false);
    Key(vk, scan, false, true);
}

using Expect = std::pair<WPARAM, DWORD>; // key and flags

class KeyHookTest : public ::testing::Test {
public:
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
        HWND *w[2] = {&a, &b};
        for (int i = 0; i < 2; i++)
            *w[i] = CreateWindowExA(0, wc.lpszClassName, "keys", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10 + 240 * i, 10,
                                    200, 150, NULL, NULL, wc.hInstance, NULL);
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

    // Keys delivered to w, or to any window for NULL.
    static std::vector<KeyRecord> Delivered(HWND w)
    {
        std::vector<KeyRecord> out;
        for (const KeyRecord &r : g_seen)
            if (r.msg == WM_CV_KEY_INPUT && (!w || r.window == w))
                out.push_back(r);
        return out;
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
        std::vector<Expect> got;
        for (const KeyRecord &r : Delivered(w))
            got.push_back({r.vk, r.flags});
        EXPECT_EQ(got, want);
    }
};

// Flags are WM_KEYDOWN's lParam as Windows documents it: repeat 1, scan code in
// 16-23, extended 24, context (Alt) 29, previous state 30, released 31. Every key
// goes to the window and none reaches the local system, F12 (answered 1) included.
TEST_F(KeyHookTest, LowLevelDeliversExactFlagsAndKeepsKeysRemote)
{
    struct Stroke {
        WORD vk, scan;
        bool extended, up;
    };
    struct Case {
        const char *name;
        std::vector<Stroke> in;
        std::vector<Expect> out;
    } cases[] = {
        {"letter press, repeat, release",
         {{'A', 0x1E, false, false}, {'A', 0x1E, false, false}, {'A', 0x1E, false, true}},
         {{'A', 0x001E0001}, {'A', 0x401E0001}, {'A', 0xC01E0001}}},
        {"right Ctrl: common code, extended bit",
         {{VK_RCONTROL, 0x1D, true, false}, {VK_RCONTROL, 0x1D, true, true}},
         {{VK_CONTROL, 0x011D0001}, {VK_CONTROL, 0xC11D0001}}},
        {"Alt+Tab, then Tab alone",
         {{VK_LMENU, 0x38, false, false},
          {VK_TAB, 0x0F, false, false},
          {VK_TAB, 0x0F, false, true},
          {VK_LMENU, 0x38, false, true},
          {VK_TAB, 0x0F, false, false},
          {VK_TAB, 0x0F, false, true}},
         {{VK_MENU, 0x20380001},
          {VK_TAB, 0x200F0001},
          {VK_TAB, 0xE00F0001},
          {VK_MENU, 0xC0380001},
          {VK_TAB, 0x000F0001},
          {VK_TAB, 0xC00F0001}}},
        {"F12, used by the viewer",
         {{VK_F12, 0x58, false, false}, {VK_F12, 0x58, false, true}},
         {{VK_F12, 0x00580001}, {VK_F12, 0xC0580001}}},
    };
    ASSERT_TRUE(SetCvLLkbdHook(a));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_seen.clear();
        for (const Stroke &k : c.in)
            Key(k.vk, k.scan, k.extended, k.up);
        Pump();
        ExpectDelivered(a, c.out);
        EXPECT_TRUE(Local().empty());
        EXPECT_EQ(GetForegroundWindow(), a);
    }
}

// One hook only: a second install moves it, a single removal ends it.
TEST_F(KeyHookTest, LowLevelSecondInstallMovesDeliveryAndFreeGivesKeysBack)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    ASSERT_TRUE(SetCvLLkbdHook(b));
    Tap('A', 0x1E);
    Pump();
    ExpectDelivered(b, {{'A', 0x001E0001}, {'A', 0xC01E0001}});
    EXPECT_TRUE(Delivered(a).empty());
    EXPECT_TRUE(Local().empty());
    g_seen.clear();
    EXPECT_TRUE(FreeCvLLkbdHook(b));
    EXPECT_TRUE(FreeCvLLkbdHook(b));
    Tap('A', 0x1E);
    Pump();
    EXPECT_TRUE(Delivered(NULL).empty());
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
}

TEST_F(KeyHookTest, LowLevelRefusesMissingWindowAndSurvivesADeadOne)
{
    EXPECT_FALSE(SetCvLLkbdHook(NULL));
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    EXPECT_FALSE(SetCvLLkbdHook(gone));
    // The target dies with the hook in: keys must not vanish.
    ASSERT_TRUE(SetCvLLkbdHook(b));
    DestroyWindow(b);
    b = NULL;
    Tap('A', 0x1E);
    Pump();
    EXPECT_TRUE(Delivered(NULL).empty());
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
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID p) -> DWORD {
            Ctx *c = (Ctx *)p;
            c->w = CreateWindowExA(0, "CORVIDTEST:KEYS", "keys c", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 10, 200, 150,
                                   NULL, NULL, GetModuleHandleA(NULL), NULL);
            SetEvent(c->ready);
            Pump(0, c->done);
            DestroyWindow(c->w);
            return 0;
        },
        &ctx, 0, NULL);
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

std::vector<Expect> LettersDelivered(HWND w)
{
    std::vector<Expect> out;
    for (const KeyRecord &r : KeyHookTest::Delivered(w))
        if (r.vk >= 'A' && r.vk <= 'Z')
            out.push_back({r.vk, r.flags});
    return out;
}

// Alt held when the hook goes in, then released, then A: the hook only ever sees the
// left and right Alt codes, so nothing may mark the common one down for good.
TEST_F(KeyHookTest, LowLevelAltHeldAtInstallDoesNotStick)
{
    Key(VK_LMENU, 0x38, false, false);
    Pump();
    ASSERT_TRUE(SetCvLLkbdHook(a));
    Key(VK_LMENU, 0x38, false, true);
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(LettersDelivered(a), (std::vector<Expect>{{'A', 0x001E0001}, {'A', 0xC01E0001}}));
}

// A hook that outran the system's time-out may be dropped by Windows without a word;
// the library puts a new one in and keys are forwarded again.
TEST_F(KeyHookTest, LowLevelHookComesBackAfterAStallAndALoss)
{
    ASSERT_TRUE(SetCvLLkbdHook(a));
    CvLLkbdTestStall(2500);
    Tap('A', 0x1E);
    Pump(2700);
    CvLLkbdTestLoseHook();
    Pump(1500);
    g_seen.clear();
    Tap('B', 0x30);
    Pump(300);
    EXPECT_EQ(LettersDelivered(a), (std::vector<Expect>{{'B', 0x00300001}, {'B', 0xC0300001}}));
}

void ForwardingState(DWORD desktopActive)
{
    PrepareTestViewer();
    g_viewer.ntFamily = TRUE;
    g_viewer.controlMode = 1;
    g_viewer.focused = 1;
    g_viewer.menuOpen = 0;
    g_desktop.desktopActive = desktopActive;
    g_session.socket = INVALID_SOCKET;
}

// Between a login and the first screen, and during every restart, the viewer forwards
// nothing: Alt+Tab and the other keys must reach the local system.
TEST_F(KeyHookTest, ViewerWithoutDesktopLeavesKeysLocal)
{
    ForwardingState(0);
    UpdateKeyboardHook(a);
    Key(VK_LMENU, 0x38, false, false);
    Tap(VK_TAB, 0x0F);
    Key(VK_LMENU, 0x38, false, true);
    Pump();
    EXPECT_TRUE(Delivered(NULL).empty());
    EXPECT_EQ(Local().size(), 4u);
    g_desktop.desktopActive = 1;
    UpdateKeyboardHook(a);
    g_seen.clear();
    Tap('A', 0x1E);
    Pump();
    EXPECT_EQ(LettersDelivered(a), (std::vector<Expect>{{'A', 0x001E0001}, {'A', 0xC01E0001}}));
    RemoveKeyboardHook();
    ForwardingState(0);
}

// The system ending the session runs the main window's whole shutdown, the hook's
// removal first.
TEST_F(KeyHookTest, EndSessionLeavesNoHookBehind)
{
    ForwardingState(1);
    WNDPROC mainProc = MainWindowProcForTest();
    ASSERT_TRUE(mainProc != NULL);
    UpdateKeyboardHook(a);
    Tap('A', 0x1E);
    Pump();
    ASSERT_EQ(LettersDelivered(a).size(), 2u);
    g_seen.clear();
    CallWindowProcA(mainProc, a, WM_ENDSESSION, TRUE, 0);
    Tap('A', 0x1E);
    Pump();
    EXPECT_TRUE(Delivered(NULL).empty());
    EXPECT_EQ(Local(), (std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}));
    g_viewer.timedBoxesClosed = FALSE;
    ForwardingState(0);
}

} // namespace
