// Command states: the menu and the toolbar move together, and the rights enable only
// what they grant.
#include <gtest/gtest.h>

#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "tests/wine/viewer_fixture.h"

#include <commctrl.h>

namespace {

class CommandState : public ::testing::Test {
protected:
    HWND frame = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, NULL, NULL, NULL, NULL);
        g_viewer.menu = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_MAIN_MENU));
        ASSERT_NE(g_viewer.menu, (HMENU)NULL);
        GreyUnavailableCommands(g_viewer.menu);
        SetMenu(frame, g_viewer.menu);
        g_viewer.toolbar = CreateMainToolbar(frame);
        ASSERT_NE(g_viewer.toolbar, (HWND)NULL);
    }
    void TearDown() override
    {
        DestroyWindow(frame);
        g_viewer.menu = NULL;
        g_viewer.toolbar = NULL;
    }
    bool MenuGrey(UINT id) { return GetMenuState(g_viewer.menu, id, MF_BYCOMMAND) & MF_GRAYED; }
    bool MenuChecked(UINT id) { return GetMenuState(g_viewer.menu, id, MF_BYCOMMAND) & MF_CHECKED; }
    LRESULT Button(UINT id) { return SendMessageA(g_viewer.toolbar, TB_GETSTATE, id, 0); }
};

TEST_F(CommandState, MenuAndToolbarMoveTogether)
{
    EnableCommand(1, IDM_REMOTE_CONTROL, MF_CHECKED);
    EXPECT_FALSE(MenuGrey(IDM_REMOTE_CONTROL));
    EXPECT_TRUE(MenuChecked(IDM_REMOTE_CONTROL));
    EXPECT_EQ(Button(IDM_REMOTE_CONTROL) & (TBSTATE_ENABLED | TBSTATE_CHECKED | TBSTATE_INDETERMINATE),
              TBSTATE_ENABLED | TBSTATE_CHECKED);
    EnableCommand(0, IDM_REMOTE_CONTROL, kCheckLeave);
    EXPECT_TRUE(MenuGrey(IDM_REMOTE_CONTROL));
    EXPECT_TRUE(MenuChecked(IDM_REMOTE_CONTROL)) << "a leave-alone check keeps its mark";
    EXPECT_TRUE(Button(IDM_REMOTE_CONTROL) & TBSTATE_INDETERMINATE);
    CheckCommand(IDM_REMOTE_CONTROL, 0);
    EXPECT_FALSE(MenuChecked(IDM_REMOTE_CONTROL));
    EXPECT_FALSE(Button(IDM_REMOTE_CONTROL) & TBSTATE_CHECKED);
}

TEST_F(CommandState, RightsEnableWhatTheyGrant)
{
    ApplyRights(14);
    EXPECT_FALSE(MenuGrey(IDM_REMOTE_CONTROL));
    EXPECT_FALSE(MenuGrey(IDM_SWITCH));
    EXPECT_FALSE(MenuGrey(IDM_SEND_MESSAGE));
    EXPECT_FALSE(MenuGrey(IDM_CLIPBOARD_EXCHANGE));
    EXPECT_FALSE(MenuGrey(IDM_AGENT_SETTINGS));
    EXPECT_FALSE(MenuGrey(IDM_FILE_TRANSFER));
    EXPECT_TRUE(Button(IDM_FILE_TRANSFER) & TBSTATE_ENABLED);
}

} // namespace
