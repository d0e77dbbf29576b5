// The console messages through the receive dispatch: each stores into ConsoleScreen, and
// any number of them raise one console notice until the UI thread takes it; bad geometry
// posts nothing and leaves the screen copy as it was, and no console message ends the
// session. The local console as opened (input mode, close item, a parked cursor), and
// the control handler's wait for the orderly end at a close.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "console/console_win.h"
#include "console/state_win.h"
#include "session/receive_win.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct Posted {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
};

std::vector<uint8_t> Words(std::initializer_list<int> halves, std::initializer_list<uint32_t> words, int cells)
{
    std::vector<uint8_t> p;
    for (int v : halves)
        p.insert(p.end(), {(uint8_t)v, (uint8_t)(v >> 8)});
    for (uint32_t v : words)
        p.insert(p.end(), {(uint8_t)v, (uint8_t)(v >> 8), (uint8_t)(v >> 16), (uint8_t)(v >> 24)});
    for (int i = 0; i < cells; i++)
        p.insert(p.end(), {(uint8_t)('a' + i % 26), 0, 0x1E, 0});
    return p;
}

std::vector<Posted> Dispatch(HWND w, uint32_t type, const std::vector<uint8_t> &payload)
{
    SessPacketHeader h = {type, (uint32_t)payload.size(), 1};
    EXPECT_EQ(DispatchPacket(&h, payload.data()), 1) << type;
    std::vector<Posted> out;
    MSG m;
    while (PeekMessageA(&m, w, 0, 0, PM_REMOVE))
        out.push_back({m.message, m.wParam, m.lParam});
    return out;
}

TEST(ConsoleDispatch, StoresAndRaisesOneNoticeOrRefusesWithoutPosting)
{
    PrepareTestViewer();
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(w);
    g_viewer.mainWindow = w;
    ConsoleScreen *s = &g_console.screen;

    // A start, cursors and a line: all stored, one notice for the lot.
    auto p = Dispatch(w, 22, Words({80, 25, 2, 24}, {25, 1, 7}, 80 * 25));
    for (int i = 0; i < 3; i++) {
        auto more = Dispatch(w, 23, Words({3 + i, 24}, {50, 1}, 0));
        p.insert(p.end(), more.begin(), more.end());
    }
    auto more = Dispatch(w, 24, Words({24, 80}, {}, 80));
    p.insert(p.end(), more.begin(), more.end());
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].msg, 1034u);
    EXPECT_EQ(s->width * s->height, 2000);
    EXPECT_EQ(s->cells[27].ch, 'b');
    EXPECT_EQ(s->cells[27].attr, 0x1E);
    EXPECT_EQ(s->cursorX, 5);
    EXPECT_EQ(s->cursorSize, 50u);
    EXPECT_EQ(s->cells[24 * 80 + 1].ch, 'b');

    // The stop closes nothing here; taking the notice lets the next one post.
    EXPECT_TRUE(Dispatch(w, 21, {}).empty());
    OnConsoleChanged();
    std::unique_ptr<ConsoleScreen> before(new ConsoleScreen(*s));
    const struct {
        uint32_t type;
        std::vector<uint8_t> payload;
    } refused[] = {
        {22, Words({89, 89, 0, 0}, {25, 1, 0}, 89 * 89)},
        {22, Words({-80, -25, 0, 0}, {25, 1, 0}, 0)},
        {22, Words({80, 25, 0, 0}, {25, 1, 0}, 80 * 25 - 1)},
        {24, Words({25, 80}, {}, 80)},
        {24, Words({0, 79}, {}, 79)},
        {24, Words({-1, 80}, {}, 80)},
        {23, Words({0}, {}, 0)},
    };
    for (const auto &r : refused)
        EXPECT_TRUE(Dispatch(w, r.type, r.payload).empty()) << r.type << " of " << r.payload.size();
    EXPECT_EQ(memcmp(before.get(), s, sizeof(*s)), 0);

    p = Dispatch(w, 21, {});
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].msg, 1034u);
    OnConsoleChanged();
    DestroyWindow(w);
    g_viewer.mainWindow = NULL;
}

TEST(ConsoleWindow, OpensWithQuickEditOffNoCloseItemAndAParkedCursorHidden)
{
    PrepareTestViewer();
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(w);
    g_viewer.mainWindow = w;
    snprintf(g_viewer.names.consoleTitle, sizeof(g_viewer.names.consoleTitle), "Corvid console window test");
    ConsoleScreen *s = &g_console.screen;
    memset(s, 0, sizeof(*s));
    *s = ConsoleScreen{30, 10, 0, 10, 25, 1, 0, {}}; // the cursor parked below the last row
    HWND c = OpenConsole();
    ASSERT_TRUE(c);
    DWORD mode = 0;
    EXPECT_TRUE(GetConsoleMode(g_console.input, &mode));
    EXPECT_EQ(mode & 0xFF, 0x88u); // window input, extended flags, QuickEdit off
    HMENU menu = GetSystemMenu(c, FALSE);
    if (menu) { // Wine gives no menu of the console host's window
        EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND), (UINT)-1);
    }
    CONSOLE_CURSOR_INFO ci = {};
    CONSOLE_SCREEN_BUFFER_INFO bi = {};
    EXPECT_TRUE(GetConsoleCursorInfo(g_console.output, &ci));
    EXPECT_FALSE(ci.bVisible);
    EXPECT_TRUE(GetConsoleScreenBufferInfo(g_console.output, &bi));
    EXPECT_EQ(bi.dwSize.X, 30);
    EXPECT_EQ(bi.dwSize.Y, 10);
    EXPECT_EQ(bi.srWindow.Right - bi.srWindow.Left + 1, 30);
    EXPECT_EQ(bi.srWindow.Bottom - bi.srWindow.Top + 1, 10);
    CloseConsole(0);
    EXPECT_FALSE(g_console.window);
    DestroyWindow(w);
    g_viewer.mainWindow = NULL;
}

DWORD WINAPI CloseEventThread(LPVOID) { return ConsoleCtrlHandler(CTRL_CLOSE_EVENT); }

TEST(ConsoleWindow, ACloseClosesTheMainWindowAndWaitsForTheOrderlyEnd)
{
    PrepareTestViewer();
    EXPECT_TRUE(ConsoleCtrlHandler(CTRL_C_EVENT));
    EXPECT_TRUE(ConsoleCtrlHandler(CTRL_BREAK_EVENT));
    EXPECT_FALSE(ConsoleCtrlHandler(CTRL_LOGOFF_EVENT));
    HWND w = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_TRUE(w);
    g_viewer.mainWindow = w;
    DWORD id;
    HANDLE t = CreateThread(NULL, 0, CloseEventThread, NULL, 0, &id);
    ASSERT_TRUE(t);
    MSG m = {};
    const DWORD t0 = GetTickCount();
    while (GetTickCount() - t0 < 2000 && !PeekMessageA(&m, w, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        Sleep(10);
    EXPECT_EQ(m.message, (UINT)WM_CLOSE);
    EXPECT_EQ(WaitForSingleObject(t, 300), (DWORD)WAIT_TIMEOUT); // held until the viewer has ended
    ConsoleViewerEnded();
    EXPECT_EQ(WaitForSingleObject(t, 1000), (DWORD)WAIT_OBJECT_0);
    DWORD handled = 0;
    GetExitCodeThread(t, &handled);
    EXPECT_EQ(handled, 1u);
    CloseHandle(t);
    DestroyWindow(w);
    g_viewer.mainWindow = NULL;
}

} // namespace
