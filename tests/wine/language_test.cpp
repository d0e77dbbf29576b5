// The language switch carries the menu's state over, the screen items follow the
// remote screen count and the rights, and the shared notification handler gives the
// toolbars their tooltips and the screen drop-down.
#include <gtest/gtest.h>

#include "session/login.h"
#include "session/sendqueue_win.h"
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

// What the frame saw of a pop-up menu it owned. The menu is closed by a timer once it
// is up, so a test that wrongly opens one still ends.
struct MenuProbe {
    int opened;
    int items;
    UINT checked;
    RECT shown;
    int commands;
};
MenuProbe g_probe;

LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_NOTIFY:
        return OnToolbarNotify(wnd, wp, lp);
    case WM_ENTERMENULOOP:
        g_probe.opened++;
        SetTimer(wnd, 1, 200, NULL);
        return 0;
    case WM_INITMENUPOPUP: {
        HMENU m = (HMENU)wp;
        g_probe.items = GetMenuItemCount(m);
        for (int i = 0; i < g_probe.items; i++)
            if (GetMenuState(m, i, MF_BYPOSITION) & MF_CHECKED)
                g_probe.checked = GetMenuItemID(m, i);
        return 0;
    }
    case WM_TIMER: {
        KillTimer(wnd, 1);
        HWND popup = FindWindowA("#32768", NULL);
        if (popup)
            GetWindowRect(popup, &g_probe.shown);
        EndMenu();
        return 0;
    }
    case WM_COMMAND:
        g_probe.commands++;
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

class Language : public ::testing::Test {
protected:
    HWND frame = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        static bool registered = false;
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = FrameProc;
            wc.hInstance = GetModuleHandleA(NULL);
            wc.lpszClassName = "CORVID:TEST:LANGUAGE";
            registered = RegisterClassA(&wc) != 0;
        }
        memset(&g_probe, 0, sizeof(g_probe));
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        g_viewer.settings.v[SET_LANGUAGE] = 0;
        frame = CreateWindowExA(0, "CORVID:TEST:LANGUAGE", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600,
                                NULL, NULL, GetModuleHandleA(NULL), NULL);
        ASSERT_NE(frame, (HWND)NULL);
        g_viewer.mainWindow = frame;
        g_viewer.menu = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_MAIN_MENU));
        ASSERT_NE(g_viewer.menu, (HMENU)NULL);
        GreyUnavailableCommands(g_viewer.menu);
        CheckMenuRadioItem(g_viewer.menu, IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN, IDM_LANG_ENGLISH, MF_BYCOMMAND);
        SetMenu(frame, g_viewer.menu);
        g_viewer.toolbar = CreateMainToolbar(frame);
        ASSERT_NE(g_viewer.toolbar, (HWND)NULL);
        SetScreens(1, 1, RIGHT_REMOTE_CONTROL);
    }
    void TearDown() override
    {
        DestroyWindow(frame);
        g_viewer.menu = NULL;
        g_viewer.toolbar = NULL;
        g_viewer.mainWindow = NULL;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        g_viewer.settings.v[SET_LANGUAGE] = 0;
        memset(&g_viewer.session, 0, sizeof(g_viewer.session));
    }
    static void SetScreens(int count, int current, uint32_t rights)
    {
        g_viewer.session.screen.screenCount = (uint8_t)count;
        g_viewer.session.screen.currentScreen = (uint8_t)current;
        g_viewer.session.login.rights = rights;
    }
    static UINT State(HMENU m, UINT id) { return GetMenuState(m, id, MF_BYCOMMAND); }
    static bool Grey(UINT id) { return State(g_viewer.menu, id) & MF_GRAYED; }
    static bool Checked(UINT id) { return State(g_viewer.menu, id) & MF_CHECKED; }
    LRESULT Button(UINT id) { return SendMessageA(g_viewer.toolbar, TB_GETSTATE, id, 0); }
    std::string ItemText(HMENU m, int pos)
    {
        char text[32] = "";
        GetMenuStringA(m, (UINT)pos, text, sizeof(text), MF_BYPOSITION);
        return text;
    }
    void DropDown(UINT button)
    {
        NMTOOLBARA nm = {};
        nm.hdr.hwndFrom = g_viewer.toolbar;
        nm.hdr.idFrom = 200;
        nm.hdr.code = TBN_DROPDOWN;
        nm.iItem = (int)button;
        EXPECT_EQ(SendMessageA(frame, WM_NOTIFY, 200, (LPARAM)&nm), 0);
    }
};

// --- carrying the state over ---------------------------------------------------------

TEST_F(Language, SwitchKeepsGreyEnabledAndCheckedStatesOfTheOldMenu)
{
    EnableCommand(1, IDM_REMOTE_CONTROL, MF_CHECKED);  // greyed in the new template
    EnableCommand(0, IDM_AUTO_SCALE, kCheckLeave);     // enabled in the new template
    CheckMenuItem(g_viewer.menu, IDM_SHOW_REMOTE_CURSOR, MF_BYCOMMAND | MF_CHECKED);
    HMENU old = g_viewer.menu;
    ASSERT_TRUE(SwitchLanguage(frame, 1));
    EXPECT_NE(g_viewer.menu, old);
    EXPECT_FALSE(IsMenu(old)) << "the old menu is destroyed";
    EXPECT_EQ(GetMenu(frame), g_viewer.menu);
    EXPECT_EQ(g_viewer.activeLanguage, g_viewer.languageLibs[1]);
    EXPECT_EQ(g_viewer.settings.v[SET_LANGUAGE], 1u);
    EXPECT_FALSE(Grey(IDM_REMOTE_CONTROL));
    EXPECT_TRUE(Checked(IDM_REMOTE_CONTROL));
    EXPECT_TRUE(Grey(IDM_AUTO_SCALE));
    EXPECT_TRUE(Checked(IDM_SHOW_REMOTE_CURSOR));
    EXPECT_TRUE(Grey(IDM_SYSTEM_INFO)) << "greyed as a missing feature, enabled in the template";
    EXPECT_TRUE(Checked(IDM_LANG_RUSSIAN));
    EXPECT_FALSE(Checked(IDM_LANG_ENGLISH));
    EXPECT_TRUE(State(g_viewer.menu, IDM_LANG_RUSSIAN) & MFT_RADIOCHECK);
    // And back: English is checked again, the states survive a second trip.
    ASSERT_TRUE(SwitchLanguage(frame, 0));
    EXPECT_TRUE(Checked(IDM_LANG_ENGLISH));
    EXPECT_FALSE(Checked(IDM_LANG_RUSSIAN));
    EXPECT_FALSE(Grey(IDM_REMOTE_CONTROL));
    EXPECT_TRUE(Grey(IDM_AUTO_SCALE));
}

TEST_F(Language, SwitchToTheActiveOrAnUnknownLanguageDoesNothing)
{
    HMENU old = g_viewer.menu;
    EXPECT_FALSE(SwitchLanguage(frame, 0));
    EXPECT_FALSE(SwitchLanguage(frame, 2));
    EXPECT_FALSE(SwitchLanguage(frame, -1));
    EXPECT_EQ(g_viewer.menu, old);
    EXPECT_TRUE(IsMenu(old));
    EXPECT_EQ(g_viewer.activeLanguage, g_viewer.languageLibs[0]);
    EXPECT_EQ(g_viewer.settings.v[SET_LANGUAGE], 0u);
    EXPECT_TRUE(Checked(IDM_LANG_ENGLISH)) << "the radio check is left alone";
}

// Two levels, built by hand so that the new menu can carry its own check.
TEST_F(Language, CarryCopiesBothLevelsAndNeverClearsAMark)
{
    auto build = [](HMENU *second) {
        HMENU bar = CreateMenu(), top = CreatePopupMenu(), sub = CreatePopupMenu();
        AppendMenuA(sub, MF_STRING, 1, "a");
        AppendMenuA(sub, MF_STRING, 2, "b");
        AppendMenuA(top, MF_POPUP, (UINT_PTR)sub, "sub");
        AppendMenuA(top, MF_STRING, 3, "c");
        AppendMenuA(top, MF_STRING, 4, "d");
        AppendMenuA(top, MF_STRING, 5, "e");
        AppendMenuA(bar, MF_POPUP, (UINT_PTR)top, "top");
        *second = sub;
        return bar;
    };
    HMENU fromSub, toSub;
    HMENU from = build(&fromSub), to = build(&toSub);
    EnableMenuItem(from, 1, MF_BYCOMMAND | MF_GRAYED);  // second level, greyed
    CheckMenuItem(from, 2, MF_BYCOMMAND | MF_CHECKED);  // second level, checked
    EnableMenuItem(from, 3, MF_BYCOMMAND | MF_GRAYED);
    CheckMenuItem(from, 3, MF_BYCOMMAND | MF_CHECKED);
    EnableMenuItem(to, 4, MF_BYCOMMAND | MF_GRAYED);    // enabled in the old one
    CheckMenuItem(to, 5, MF_BYCOMMAND | MF_CHECKED);    // unchecked in the old one
    CarryMenuState(from, to);
    EXPECT_EQ(State(to, 1) & (MF_GRAYED | MF_CHECKED), (UINT)MF_GRAYED);
    EXPECT_EQ(State(to, 2) & (MF_GRAYED | MF_CHECKED), (UINT)MF_CHECKED);
    EXPECT_EQ(State(to, 3) & (MF_GRAYED | MF_CHECKED), (UINT)(MF_GRAYED | MF_CHECKED));
    EXPECT_EQ(State(to, 4) & MF_GRAYED, 0u);
    EXPECT_TRUE(State(to, 5) & MF_CHECKED);
    DestroyMenu(from);
    DestroyMenu(to);
}

// A shorter new menu takes what fits and no more.
TEST_F(Language, CarryStopsAtTheShorterMenu)
{
    HMENU from = CreateMenu(), fromTop = CreatePopupMenu();
    for (UINT id = 1; id <= 3; id++)
        AppendMenuA(fromTop, MF_STRING | MF_GRAYED, id, "x");
    AppendMenuA(from, MF_POPUP, (UINT_PTR)fromTop, "top");
    AppendMenuA(from, MF_POPUP, (UINT_PTR)CreatePopupMenu(), "second");
    HMENU to = CreateMenu(), toTop = CreatePopupMenu();
    AppendMenuA(toTop, MF_STRING, 1, "x");
    AppendMenuA(to, MF_POPUP, (UINT_PTR)toTop, "top");
    CarryMenuState(from, to);
    EXPECT_EQ(GetMenuItemCount(toTop), 1);
    EXPECT_TRUE(State(to, 1) & MF_GRAYED);
    DestroyMenu(from);
    DestroyMenu(to);
}

// --- screen items ----------------------------------------------------------------------

TEST_F(Language, ScreenItemsAreNumberedRadioItemsWithTheCurrentChecked)
{
    HMENU items = ScreenSubmenu(g_viewer.menu);
    ASSERT_NE(items, (HMENU)NULL);
    EXPECT_EQ(GetMenuItemID(items, 0), (UINT)IDM_SCREEN_FIRST) << "the template's placeholder";
    FillScreenItems(items, 0);
    EXPECT_EQ(GetMenuItemCount(items), 0);
    SetScreens(3, 2, RIGHT_REMOTE_CONTROL);
    FillScreenItems(items, 3);
    ASSERT_EQ(GetMenuItemCount(items), 3);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(GetMenuItemID(items, i), (UINT)(41000 + i));
        EXPECT_EQ(ItemText(items, i), "&" + std::to_string(i + 1));
        UINT s = GetMenuState(items, i, MF_BYPOSITION);
        EXPECT_EQ((s & MF_CHECKED) != 0, i == 1) << i;
    }
    EXPECT_TRUE(GetMenuState(items, 1, MF_BYPOSITION) & MFT_RADIOCHECK);
    // Refilling replaces; a current screen of 0 counts as the first.
    SetScreens(2, 0, RIGHT_REMOTE_CONTROL);
    FillScreenItems(items, 2);
    ASSERT_EQ(GetMenuItemCount(items), 2);
    EXPECT_TRUE(GetMenuState(items, 0, MF_BYPOSITION) & MF_CHECKED);
    FillScreenItems(items, 0);
    EXPECT_EQ(GetMenuItemCount(items), 0);
}

TEST_F(Language, ScreenItemsStopAtTheLastCommand)
{
    HMENU items = CreatePopupMenu();
    SetScreens(255, 255, RIGHT_REMOTE_CONTROL);
    FillScreenItems(items, 255);
    ASSERT_EQ(GetMenuItemCount(items), 255);
    EXPECT_EQ(GetMenuItemID(items, 254), (UINT)IDM_SCREEN_LAST);
    EXPECT_EQ(ItemText(items, 254), "&255");
    EXPECT_TRUE(GetMenuState(items, 254, MF_BYPOSITION) & MF_CHECKED);
    FillScreenItems(items, 300);
    EXPECT_EQ(GetMenuItemCount(items), 255);
    DestroyMenu(items);
}

TEST_F(Language, ScreenItemsNeedTwoScreensAndTheControlRight)
{
    struct Case {
        int count;
        uint32_t rights;
        int items;
    } cases[] = {{1, RIGHT_REMOTE_CONTROL, 0}, {3, RIGHT_FILE_TRANSFER | RIGHT_AGENT_SETTINGS, 0},
                 {3, RIGHT_REMOTE_CONTROL, 3}, {0, RIGHT_REMOTE_CONTROL, 0}};
    for (const Case &c : cases) {
        EnableCommand(0, IDM_SCREEN_CHOICE, kCheckLeave);
        SetScreens(c.count, 1, c.rights);
        RefreshScreenItems();
        EXPECT_EQ(GetMenuItemCount(ScreenSubmenu(g_viewer.menu)), c.items) << c.count << " " << c.rights;
        EXPECT_EQ(Grey(IDM_SCREEN_CHOICE), c.items == 0) << c.count << " " << c.rights;
        EXPECT_EQ((Button(IDM_SCREEN_CHOICE) & TBSTATE_ENABLED) != 0, c.items != 0);
    }
}

TEST_F(Language, SwitchRefillsTheScreenItemsOfTheNewMenu)
{
    SetScreens(3, 3, RIGHT_REMOTE_CONTROL);
    RefreshScreenItems();
    ASSERT_TRUE(SwitchLanguage(frame, 1));
    HMENU items = ScreenSubmenu(g_viewer.menu);
    ASSERT_EQ(GetMenuItemCount(items), 3);
    EXPECT_TRUE(GetMenuState(items, 2, MF_BYPOSITION) & MF_CHECKED);
    EXPECT_FALSE(Grey(IDM_SCREEN_CHOICE));
    // Without the right the new menu's placeholder goes and nothing replaces it.
    SetScreens(3, 1, RIGHT_FILE_TRANSFER);
    ASSERT_TRUE(SwitchLanguage(frame, 0));
    EXPECT_EQ(GetMenuItemCount(ScreenSubmenu(g_viewer.menu)), 0);
}

// --- choosing a screen -----------------------------------------------------------------

class ScreenCommand : public Language {
protected:
    void SetUp() override
    {
        Language::SetUp();
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
        Language::TearDown();
    }
    int Queued() { return g_viewer.sendQueue.writeIndex - g_viewer.sendQueue.readIndex; }
};

TEST_F(ScreenCommand, QueuesTheChosenScreenNumber)
{
    SetScreens(3, 1, RIGHT_REMOTE_CONTROL);
    ASSERT_TRUE(SelectScreenCommand(41001));
    ASSERT_EQ(Queued(), 1);
    const SendSlot &s = g_viewer.sendQueue.slots[g_viewer.sendQueue.readIndex];
    ASSERT_EQ(s.length, 28u);
    const BYTE expect[16] = {58, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(memcmp(s.buffer, expect, sizeof(expect)), 0);
    for (int i = 13; i < 28; i++)
        EXPECT_EQ(s.buffer[i], 0) << i;
}

TEST_F(ScreenCommand, RefusesScreensThatCannotBeChosen)
{
    struct Case {
        int count;
        uint32_t rights;
        UINT command;
    } cases[] = {
        {3, RIGHT_REMOTE_CONTROL, 41003},  // a fourth screen of three
        {3, RIGHT_REMOTE_CONTROL, 41254},
        {3, RIGHT_REMOTE_CONTROL, 40999},  // below the range
        {3, RIGHT_REMOTE_CONTROL, 41255},  // above it
        {1, RIGHT_REMOTE_CONTROL, 41000},  // one screen: nothing to choose
        {3, RIGHT_FILE_TRANSFER, 41000},   // no control right
    };
    for (const Case &c : cases) {
        SetScreens(c.count, 1, c.rights);
        EXPECT_FALSE(SelectScreenCommand(c.command)) << c.command;
    }
    EXPECT_EQ(Queued(), 0);
}

// --- the shared notification handler ------------------------------------------------------

// The text a tooltip would show for what the handler answered.
std::wstring TipText(const NMTTDISPINFOW &di)
{
    if (IS_INTRESOURCE(di.lpszText) && di.lpszText) {
        const WCHAR *res = NULL;
        int n = LoadStringW(di.hinst, LOWORD((ULONG_PTR)di.lpszText), (LPWSTR)&res, 0);
        return n > 0 ? std::wstring(res, n) : std::wstring();
    }
    return di.lpszText ? std::wstring(di.lpszText) : std::wstring();
}

std::wstring LibraryText(HMODULE lib, UINT id)
{
    const WCHAR *res = NULL;
    int n = LoadStringW(lib, id, (LPWSTR)&res, 0);
    return n > 0 ? std::wstring(res, n) : std::wstring();
}

// As the toolbar's own tooltip asks: through the toolbar, to the frame, and back.
TEST_F(Language, ToolbarTooltipsComeFromTheActiveLibrary)
{
    HWND tips = (HWND)SendMessageA(g_viewer.toolbar, TB_GETTOOLTIPS, 0, 0);
    ASSERT_NE(tips, (HWND)NULL);
    auto ask = [&](UINT command) {
        NMTTDISPINFOW di = {};
        di.hdr.hwndFrom = tips;
        di.hdr.idFrom = command;
        di.hdr.code = TTN_GETDISPINFOW;
        di.lpszText = di.szText;
        SendMessageW(g_viewer.toolbar, WM_NOTIFY, command, (LPARAM)&di);
        return TipText(di);
    };
    EXPECT_EQ(ask(IDM_EXIT), LibraryText(g_viewer.languageLibs[0], 10));
    EXPECT_EQ(ask(IDM_SCREEN_CHOICE), LibraryText(g_viewer.languageLibs[0], 150));
    ASSERT_TRUE(SwitchLanguage(frame, 1));
    std::wstring russian = LibraryText(g_viewer.languageLibs[1], 10);
    ASSERT_FALSE(russian.empty());
    EXPECT_EQ(ask(IDM_EXIT), russian);
    EXPECT_EQ(ask(IDM_AUTO_SCALE), LibraryText(g_viewer.languageLibs[1], 149));
}

TEST_F(Language, EveryTooltipStringExistsInBothLibraries)
{
    const UINT commands[] = {40001, 40002, 40003, 40004, 40005, 40006, 40007, 40012, 40013, 40017, 40018,
                             40019, 40020, 40021, 40022, 40023, 40024, 40025, 40026, 40030, 40032, 40034,
                             40035, 40036, 40037, 40038, 40045, 40052, 40058, 40059, 40060};
    for (UINT command : commands)
        for (int lang = 0; lang < 2; lang++) {
            g_viewer.activeLanguage = g_viewer.languageLibs[lang];
            NMTTDISPINFOA di = {};
            di.hdr.idFrom = command;
            di.hdr.code = TTN_GETDISPINFOA;
            OnToolbarNotify(frame, 0, (LPARAM)&di);
            ASSERT_TRUE(IS_INTRESOURCE(di.lpszText) && di.lpszText) << command;
            EXPECT_EQ(di.hinst, g_viewer.languageLibs[lang]);
            EXPECT_FALSE(LibraryText(di.hinst, LOWORD((ULONG_PTR)di.lpszText)).empty()) << command << " " << lang;
        }
}

TEST_F(Language, ToolsWithoutATableEntryOrRegisteredByWindowGetNoText)
{
    NMTTDISPINFOA di = {};
    di.hdr.code = TTN_GETDISPINFOA;
    di.hdr.idFrom = IDM_SHOW_REMOTE_CURSOR;  // a menu command without a button
    OnToolbarNotify(frame, 0, (LPARAM)&di);
    EXPECT_EQ(di.lpszText, (LPSTR)NULL);
    // The level slider's tool: idFrom is its window, which may look like any number.
    di.hdr.idFrom = IDM_EXIT;
    di.uFlags = TTF_IDISHWND;
    OnToolbarNotify(frame, 0, (LPARAM)&di);
    EXPECT_EQ(di.lpszText, (LPSTR)NULL);
    EXPECT_EQ(di.hinst, (HINSTANCE)NULL);
    // Other notifications and a missing header are ignored.
    NMHDR other = {g_viewer.toolbar, 200, (UINT)NM_CLICK};
    EXPECT_EQ(OnToolbarNotify(frame, 0, (LPARAM)&other), 0);
    EXPECT_EQ(OnToolbarNotify(frame, 0, 0), 0);
}

TEST_F(Language, ScreenDropDownStaysShutWithOneScreenOrWithoutTheRight)
{
    SetScreens(1, 1, RIGHT_REMOTE_CONTROL);
    DropDown(IDM_SCREEN_CHOICE);
    SetScreens(3, 1, RIGHT_FILE_TRANSFER);
    DropDown(IDM_SCREEN_CHOICE);
    DropDown(40052);  // the file-transfer view button has no menu here
    EXPECT_EQ(g_probe.opened, 0);
    EXPECT_EQ(g_probe.commands, 0);
}

TEST_F(Language, ScreenDropDownOpensUnderTheButton)
{
    SetScreens(3, 2, RIGHT_REMOTE_CONTROL);
    RECT button;
    ASSERT_TRUE(SendMessageA(g_viewer.toolbar, TB_GETRECT, IDM_SCREEN_CHOICE, (LPARAM)&button));
    MapWindowPoints(g_viewer.toolbar, NULL, (POINT *)&button, 2);
    DropDown(IDM_SCREEN_CHOICE);
    EXPECT_EQ(g_probe.opened, 1);
    EXPECT_EQ(g_probe.items, 3);
    EXPECT_EQ(g_probe.checked, 41001u);
    EXPECT_EQ(g_probe.shown.left, button.left);
    EXPECT_GE(g_probe.shown.top, button.bottom) << "the button stays uncovered";
    EXPECT_EQ(g_probe.commands, 0) << "closing without a choice sends nothing";
}

} // namespace
