// The language switch carries the menu's state over, the screen items follow the
// remote screen count, a screen is chosen only when it can be, and tooltips come from
// the active library.
#include <gtest/gtest.h>

#include "desktop/screenchoice_win.h"
#include "desktop/state_win.h"
#include "session/login.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "session/transport_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/language_win.h"
#include "shell/notify_win.h"
#include "tests/wine/viewer_fixture.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

class Language : public ::testing::Test {
protected:
    HWND frame = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        g_viewer.settings.v[SET_LANGUAGE] = 0;
        frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, NULL, NULL, NULL, NULL);
        g_viewer.mainWindow = frame;
        g_viewer.menu = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_MAIN_MENU));
        ASSERT_NE(g_viewer.menu, (HMENU)NULL);
        GreyUnavailableCommands(g_viewer.menu);
        CheckMenuRadioItem(g_viewer.menu, IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN, IDM_LANG_ENGLISH, MF_BYCOMMAND);
        SetMenu(frame, g_viewer.menu);
        g_viewer.toolbar = CreateMainToolbar(frame);
        ASSERT_NE(g_viewer.toolbar, (HWND)NULL);
        SetScreens(1, 1, RIGHT_REMOTE_CONTROL);
        // Chosen screens go out through the send queue.
        WSADATA d;
        WSAStartup(MAKEWORD(2, 0), &d);
        g_viewer.stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_TRUE(NetCreateEvents());
        SendQueueCreateLock();
        SendQueueReset();
    }
    void TearDown() override
    {
        NetCloseEvents();
        SendQueueDestroy();
        CloseHandle(g_viewer.stopEvent);
        g_viewer.stopEvent = NULL;
        DestroyWindow(frame);
        g_viewer.menu = NULL;
        g_viewer.toolbar = NULL;
        g_viewer.mainWindow = NULL;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        g_viewer.settings.v[SET_LANGUAGE] = 0;
        memset(&g_session.info, 0, sizeof(g_session.info));
    }
    static void SetScreens(int count, int current, uint32_t rights)
    {
        g_desktop.remote.screenCount = (uint8_t)count;
        g_desktop.remote.currentScreen = (uint8_t)current;
        g_session.info.login.rights = rights;
    }
    static UINT State(HMENU m, UINT id) { return GetMenuState(m, id, MF_BYCOMMAND); }
    static bool Grey(UINT id) { return State(g_viewer.menu, id) & MF_GRAYED; }
    static bool Checked(UINT id) { return State(g_viewer.menu, id) & MF_CHECKED; }
};

// Two levels, built by hand so that the new menu can carry its own marks.
TEST_F(Language, CarryCopiesBothLevelsAndNeverClearsAMark)
{
    auto build = []() {
        HMENU bar = CreateMenu(), top = CreatePopupMenu(), sub = CreatePopupMenu();
        AppendMenuA(sub, MF_STRING, 1, "a");
        AppendMenuA(sub, MF_STRING, 2, "b");
        AppendMenuA(top, MF_POPUP, (UINT_PTR)sub, "sub");
        for (UINT id = 3; id <= 5; id++)
            AppendMenuA(top, MF_STRING, id, "x");
        AppendMenuA(bar, MF_POPUP, (UINT_PTR)top, "top");
        return bar;
    };
    HMENU from = build(), to = build();
    EnableMenuItem(from, 1, MF_BYCOMMAND | MF_GRAYED); // second level
    CheckMenuItem(from, 2, MF_BYCOMMAND | MF_CHECKED); // second level
    EnableMenuItem(from, 3, MF_BYCOMMAND | MF_GRAYED);
    CheckMenuItem(from, 3, MF_BYCOMMAND | MF_CHECKED);
    EnableMenuItem(to, 4, MF_BYCOMMAND | MF_GRAYED); // enabled in the old one
    CheckMenuItem(to, 5, MF_BYCOMMAND | MF_CHECKED); // unchecked in the old one
    CarryMenuState(from, to);
    const UINT both = MF_GRAYED | MF_CHECKED, expect[] = {MF_GRAYED, MF_CHECKED, both, 0, MF_CHECKED};
    for (UINT id = 1; id <= 5; id++)
        EXPECT_EQ(State(to, id) & both, expect[id - 1]) << id;
    DestroyMenu(from);
    DestroyMenu(to);
}

TEST_F(Language, ScreenItemsAreNumberedRadioItemsWithTheCurrentChecked)
{
    HMENU items = ScreenSubmenu(g_viewer.menu);
    ASSERT_NE(items, (HMENU)NULL);
    FillScreenItems(items, 0);
    EXPECT_EQ(GetMenuItemCount(items), 0);
    SetScreens(3, 2, RIGHT_REMOTE_CONTROL);
    FillScreenItems(items, 3);
    ASSERT_EQ(GetMenuItemCount(items), 3);
    for (int i = 0; i < 3; i++) {
        char text[8] = "";
        GetMenuStringA(items, (UINT)i, text, sizeof(text), MF_BYPOSITION);
        EXPECT_EQ(GetMenuItemID(items, i), (UINT)(41000 + i));
        EXPECT_EQ(text, "&" + std::to_string(i + 1));
        EXPECT_EQ((GetMenuState(items, i, MF_BYPOSITION) & MF_CHECKED) != 0, i == 1) << i;
    }
    EXPECT_TRUE(GetMenuState(items, 1, MF_BYPOSITION) & MFT_RADIOCHECK);
    // Refilling replaces; a current screen of 0 counts as the first.
    SetScreens(2, 0, RIGHT_REMOTE_CONTROL);
    FillScreenItems(items, 2);
    ASSERT_EQ(GetMenuItemCount(items), 2);
    EXPECT_TRUE(GetMenuState(items, 0, MF_BYPOSITION) & MF_CHECKED);
    // More screens than commands: the last command is the last item.
    FillScreenItems(items, 300);
    ASSERT_EQ(GetMenuItemCount(items), 255);
    EXPECT_EQ(GetMenuItemID(items, 254), (UINT)IDM_SCREEN_LAST);
}

// Asked as the toolbar's tooltip control asks; tools registered by window get nothing.
TEST_F(Language, TooltipsComeFromTheActiveLibrary)
{
    auto ask = [&](UINT flags) {
        NMTTDISPINFOA di = {};
        di.hdr.idFrom = IDM_EXIT;
        di.hdr.code = TTN_GETDISPINFOA;
        di.uFlags = flags;
        OnToolbarNotify(frame, 0, (LPARAM)&di);
        return di;
    };
    for (int lang = 0; lang < 2; lang++) {
        g_viewer.activeLanguage = g_viewer.languageLibs[lang];
        NMTTDISPINFOA di = ask(0);
        ASSERT_TRUE(IS_INTRESOURCE(di.lpszText) && di.lpszText) << lang;
        EXPECT_EQ(di.hinst, g_viewer.languageLibs[lang]);
        char text[80] = "";
        EXPECT_GT(LoadStringA(di.hinst, LOWORD((ULONG_PTR)di.lpszText), text, sizeof(text)), 0) << lang;
        EXPECT_EQ(ask(TTF_IDISHWND).lpszText, (LPSTR)NULL);
    }
    EXPECT_EQ(OnToolbarNotify(frame, 0, 0), 0);
}

TEST_F(Language, ScreenCommandRefusesScreensThatCannotBeChosenAndQueuesTheRest)
{
    struct Case {
        int count;
        uint32_t rights;
        UINT command;
    } refused[] = {
        {3, RIGHT_REMOTE_CONTROL, 41003}, // a fourth screen of three
        {3, RIGHT_REMOTE_CONTROL, 40999}, // below the range
        {3, RIGHT_REMOTE_CONTROL, 41255}, // above it
        {1, RIGHT_REMOTE_CONTROL, 41000}, // one screen: nothing to choose
        {3, RIGHT_FILE_TRANSFER, 41000},  // no control right
    };
    for (const Case &c : refused) {
        SetScreens(c.count, 1, c.rights);
        EXPECT_FALSE(SelectScreenCommand(c.command)) << c.command;
    }
    ASSERT_EQ(g_session.sendQueue.writeIndex, g_session.sendQueue.readIndex);
    SetScreens(3, 1, RIGHT_REMOTE_CONTROL);
    ASSERT_TRUE(SelectScreenCommand(41001));
    ASSERT_EQ(g_session.sendQueue.writeIndex - g_session.sendQueue.readIndex, 1);
    const SendSlot &s = g_session.sendQueue.slots[g_session.sendQueue.readIndex];
    ASSERT_EQ(s.length, 28u);
    BYTE expect[28] = {58, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 2};
    EXPECT_EQ(memcmp(s.buffer, expect, sizeof(expect)), 0);
}

} // namespace
