// The console link: records delivered to a console window in this process, the
// missing-console and unconfirmed cases, and the termination event.
#include <gtest/gtest.h>

#include "shell/managerlink_win.h"
#include "shell/managerrecord.h"
#include "tests/wine/viewer_fixture.h"

#include <vector>

namespace {

struct FakeConsole {
    HANDLE thread = NULL, ready = NULL;
    HWND wnd = NULL;
    bool confirm = true;
    std::vector<BYTE> copy;
    WPARAM wp = 0;
    LPARAM lp = -1;
    int notifications = 0;
};
FakeConsole *g_console;

LRESULT CALLBACK ConsoleProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == kManagerNotifyMessage) {
        g_console->copy.assign(g_viewer.managerView, g_viewer.managerView + kManagerMapSize);
        g_console->wp = wp;
        g_console->lp = lp;
        g_console->notifications++;
        if (g_console->confirm)
            SetEvent(g_viewer.managerDoneEvent);
        return 0;
    }
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

DWORD WINAPI ConsoleThread(LPVOID)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ConsoleProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = CORVID_MANAGER_WINDOW_CLASS;
    RegisterClassA(&wc); // fails harmlessly after the first case
    g_console->wnd = CreateWindowExA(0, CORVID_MANAGER_WINDOW_CLASS, "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                                     GetModuleHandleA(NULL), NULL);
    SetEvent(g_console->ready);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

class ManagerLink : public ::testing::Test {
protected:
    FakeConsole console;
    void SetUp() override
    {
        PrepareTestViewer();
        memset(g_viewer.target.hostText, 0, sizeof(g_viewer.target.hostText));
        g_console = &console;
    }
    void StartConsole()
    {
        console.ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        console.thread = CreateThread(NULL, 0, ConsoleThread, NULL, 0, NULL);
        WaitForSingleObject(console.ready, 5000);
        ASSERT_NE(console.wnd, (HWND)NULL);
    }
    void TearDown() override
    {
        if (console.thread) {
            PostMessageA(console.wnd, WM_CLOSE, 0, 0);
            WaitForSingleObject(console.thread, 5000);
            CloseHandle(console.thread);
            CloseHandle(console.ready);
        }
        g_console = nullptr;
    }
};

TEST_F(ManagerLink, MessageRecordNamesTheHostOnceKnown)
{
    // Without a console nothing is written and nothing waits.
    memset(g_viewer.managerView, 0x5A, 16);
    DWORD t0 = GetTickCount();
    SendMessageRecord(1, "nobody listens");
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_EQ(g_viewer.managerView[0], 0x5A);
    StartConsole();
    struct Case {
        const char *host;
        uint32_t startup;
        const char *caption;
    } cases[] = {{"", 1, "Corvids 3.0"}, {"10.1.2.3", 0, "Corvids 3.0 - [10.1.2.3]"}};
    for (const Case &c : cases) {
        strcpy(g_viewer.target.hostText, c.host);
        SendMessageRecord(c.startup, "No target");
        EXPECT_EQ(console.wp, (WPARAM)GetCurrentProcessId());
        EXPECT_EQ(console.lp, 0);
        MessageRecord r;
        ASSERT_TRUE(DecodeMessageRecord(console.copy.data(), console.copy.size(), &r));
        EXPECT_EQ(r.startupFlag, c.startup);
        EXPECT_STREQ(r.caption, c.caption);
        EXPECT_STREQ(r.text, "No target");
    }
    EXPECT_EQ(console.notifications, 2);
}

TEST_F(ManagerLink, ConnectionRecordCarriesPasswordOnlyWhenAsked)
{
    StartConsole();
    TargetOptionsInit(&g_viewer.target);
    char token[] = "TCP=192.168.7.9";
    ApplyCommandToken(&g_viewer.target, token);
    memcpy(g_viewer.target.password, "abcdefghijklmno", 15);
    SendConnectionRecord(1, 1);
    ASSERT_EQ(console.lp, 1);
    const BYTE expect[40] = {1, 0, 0,   0,   0,   0,   0,   0,   192, 168, 7,   9,   0,   0,   0,   0,   0,   0, 1, 0,
                             0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 0, 0, 0};
    EXPECT_EQ(0, memcmp(console.copy.data(), expect, 40));
    SendConnectionRecord(0, 0);
    const BYTE closed[40] = {0, 0, 0, 0, 0, 0, 0, 0, 192, 168, 7, 9};
    EXPECT_EQ(0, memcmp(console.copy.data(), closed, 40));
    TargetOptionsInit(&g_viewer.target);
}

TEST_F(ManagerLink, UnconfirmedRecordReleasesTheLinkAfterFourSeconds)
{
    console.confirm = false;
    StartConsole();
    DWORD t0 = GetTickCount();
    SendMessageRecord(0, "slow console");
    DWORD took = GetTickCount() - t0;
    EXPECT_GE(took, 3900u);
    EXPECT_LT(took, 6000u);
    // Its confirmation comes late: it must not pass for the next record's.
    SetEvent(g_viewer.managerDoneEvent);
    t0 = GetTickCount();
    SendMessageRecord(0, "after a late confirmation");
    EXPECT_GE(GetTickCount() - t0, 3900u);
    // The mutex was released: the next record goes through at once.
    console.confirm = true;
    t0 = GetTickCount();
    SendMessageRecord(0, "next");
    EXPECT_LT(GetTickCount() - t0, 1000u);
    EXPECT_EQ(console.notifications, 3);
}

// A plain window: WM_CLOSE reaching it destroys it.
TEST_F(ManagerLink, TerminationEventClosesTheMainWindow)
{
    HWND wnd = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    ASSERT_TRUE(StartTerminateWatch(wnd));
    char name[32];
    snprintf(name, sizeof(name), "CVTERM:%08X", (unsigned)GetCurrentProcessId());
    // There the moment the watch has started: a console may set it as soon as it sees the window.
    HANDLE term = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    ASSERT_NE(term, (HANDLE)NULL);
    SetEvent(term);
    CloseHandle(term);
    DWORD t0 = GetTickCount();
    MSG msg;
    while (IsWindow(wnd) && GetTickCount() - t0 < 5000) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
    EXPECT_FALSE(IsWindow(wnd));
    // The thread still waits for StopEvent, so the window's destruction can join it.
    EXPECT_EQ(WaitForSingleObject(g_viewer.terminateWatchThread, 0), (DWORD)WAIT_TIMEOUT);
    SetEvent(g_viewer.stopEvent);
    EXPECT_EQ(WaitForSingleObject(g_viewer.terminateWatchThread, 5000), (DWORD)WAIT_OBJECT_0);
    CloseHandle(g_viewer.terminateWatchThread);
    CloseHandle(g_viewer.stopEvent);
    g_viewer.terminateWatchThread = g_viewer.stopEvent = NULL;
}

} // namespace
