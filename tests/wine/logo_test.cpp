// The logo window: one at a time, gone at the tick after its last second, and at a
// click or a key, always leaving its slot empty.
#include <gtest/gtest.h>

#include "session/state_win.h"
#include "tests/wine/viewer_fixture.h"
#include "ui/logo_win.h"

namespace {

const char kLogoClass[] = "CORVID:LOGO";

void Pump()
{
    MSG m;
    while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE))
        DispatchMessageA(&m);
}

BOOL CALLBACK CountLogo(HWND w, LPARAM lp)
{
    char cls[32];
    if (GetClassNameA(w, cls, sizeof(cls)) && strcmp(cls, kLogoClass) == 0)
        ++*(int *)lp;
    return TRUE;
}

int LogoWindows()
{
    int n = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountLogo, (LPARAM)&n);
    return n;
}

class Logo : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrepareTestViewer();
        static ATOM registered;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = LogoWndProc;
            wc.hInstance = g_viewer.instance;
            wc.lpszClassName = kLogoClass;
            registered = RegisterClassA(&wc);
            ASSERT_NE(registered, 0);
        }
    }
    void TearDown() override
    {
        if (g_viewer.logoWindow)
            DestroyWindow(g_viewer.logoWindow);
        EXPECT_EQ(g_viewer.logoWindow, (HWND)NULL);
    }
};

TEST_F(Logo, ASecondRequestWhileShownOpensNothing)
{
    ASSERT_EQ(ShowLogo(10), 1);
    HWND first = g_viewer.logoWindow;
    ASSERT_TRUE(IsWindow(first));
    EXPECT_EQ(ShowLogo(10), 1);
    EXPECT_EQ(g_viewer.logoWindow, first);
    EXPECT_EQ(LogoWindows(), 1);
    RECT rc;
    GetClientRect(first, &rc);
    EXPECT_EQ(rc.right, kLogoWidth);
    EXPECT_EQ(rc.bottom, kLogoHeight);
    EXPECT_TRUE(GetWindowLongA(first, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(first, GW_OWNER), (HWND)NULL);
}

TEST_F(Logo, GoesAtTheTickAfterItsLastSecond)
{
    for (UINT seconds : {10u, 1u, 0u}) {
        ASSERT_EQ(ShowLogo(seconds), 1);
        HWND w = g_viewer.logoWindow;
        for (UINT tick = 1; tick <= seconds; tick++) {
            SendMessageA(w, WM_TIMER, 1, 0);
            ASSERT_TRUE(IsWindow(w)) << seconds << " s, tick " << tick;
        }
        SendMessageA(w, WM_TIMER, 1, 0);
        EXPECT_FALSE(IsWindow(w)) << seconds << " s";
        EXPECT_EQ(g_viewer.logoWindow, (HWND)NULL);
    }
}

TEST_F(Logo, AClickOrAKeyClosesIt)
{
    for (UINT msg : {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_KEYDOWN}) {
        ASSERT_EQ(ShowLogo(10), 1);
        HWND w = g_viewer.logoWindow;
        SendMessageA(w, msg, msg == WM_KEYDOWN ? VK_SPACE : 0, 0);
        Pump(); // the close is posted, so it takes the road of WM_CLOSE
        EXPECT_FALSE(IsWindow(w)) << msg;
        EXPECT_EQ(g_viewer.logoWindow, (HWND)NULL);
    }
    EXPECT_EQ(LogoWindows(), 0);
}

// It has no owner: the main window's shutdown takes it down, or it would stay on screen.
TEST_F(Logo, GoesWithTheMainWindow)
{
    WNDPROC mainProc = MainWindowProcForTest();
    ASSERT_TRUE(mainProc != NULL);
    ASSERT_EQ(ShowLogo(10), 1);
    HWND logo = g_viewer.logoWindow;
    HWND main = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    g_session.socket = INVALID_SOCKET;
    CallWindowProcA(mainProc, main, WM_ENDSESSION, TRUE, 0);
    g_viewer.timedBoxesClosed = FALSE;
    EXPECT_FALSE(IsWindow(logo));
    DestroyWindow(main);
}

} // namespace
