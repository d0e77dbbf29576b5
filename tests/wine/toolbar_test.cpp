// The main toolbar's extras, built on real windows.
#include <gtest/gtest.h>

#include "desktop/state_win.h"
#include "session/packet.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "tests/wine/viewer_fixture.h"
#include "ui/toolbar_win.h"

#include <commctrl.h>

namespace {

class ToolbarExtras : public ::testing::Test {
protected:
    HWND frame = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = KeyLightProc;
        wc.hInstance = g_viewer.instance;
        wc.lpszClassName = "CORVID:KEYBLIGHT";
        RegisterClassA(&wc); // a second registration fails harmlessly
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 1000, 600, NULL, NULL, NULL, NULL);
        g_viewer.toolbar = CreateMainToolbar(frame);
        ASSERT_NE(g_viewer.toolbar, (HWND)NULL);
    }
    void TearDown() override
    {
        DestroyWindow(frame);
        g_viewer.toolbar = NULL;
        g_desktop.levelSlider = NULL;
        for (HWND &l : g_desktop.keyLights)
            l = NULL;
    }
    RECT ChildRect(HWND w)
    {
        RECT r;
        GetWindowRect(w, &r);
        MapWindowPoints(NULL, g_viewer.toolbar, (POINT *)&r, 2);
        return r;
    }
};

TEST_F(ToolbarExtras, LightsLabelsAndSliderSitRightOfTheLastButton)
{
    ASSERT_TRUE(AddToolbarExtras(g_viewer.toolbar));
    RECT last;
    SendMessageA(g_viewer.toolbar, TB_GETITEMRECT, 19, (LPARAM)&last);
    const int frameX = last.right + 8, r = frameX + 74;
    for (int i = 0; i < 3; i++) {
        ASSERT_NE(g_desktop.keyLights[i], (HWND)NULL);
        EXPECT_EQ(GetWindowLongPtrA(g_desktop.keyLights[i], GWLP_USERDATA), i);
        HWND box = GetParent(g_desktop.keyLights[i]);
        EXPECT_EQ(ChildRect(box).left, frameX);
        RECT lr;
        GetWindowRect(g_desktop.keyLights[i], &lr);
        MapWindowPoints(NULL, box, (POINT *)&lr, 2);
        EXPECT_EQ(lr.left, 24 * i);
        EXPECT_EQ(lr.right - lr.left, 24);
        EXPECT_EQ(lr.bottom - lr.top, 22);
    }
    HWND slider = GetDlgItem(g_viewer.toolbar, 202);
    ASSERT_EQ(slider, g_desktop.levelSlider);
    RECT sr = ChildRect(slider);
    EXPECT_EQ(sr.left, r + 40);
    EXPECT_EQ(sr.right - sr.left, 74);
    EXPECT_FALSE(IsWindowEnabled(slider));
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 7);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 0);
    // The labels are the system's own words in both languages.
    char text[16];
    HWND label = FindWindowExA(g_viewer.toolbar, NULL, "STATIC", "min");
    ASSERT_NE(label, (HWND)NULL);
    EXPECT_EQ(ChildRect(label).left, r + 8);
    ASSERT_NE(FindWindowExA(g_viewer.toolbar, NULL, "STATIC", "max"), (HWND)NULL);
    GetWindowTextA(label, text, sizeof(text));
    EXPECT_STREQ(text, "min");

    // Login: enabled at the reply's level; a level above 7 is limited.
    EnableLevelSlider(3);
    EXPECT_TRUE(IsWindowEnabled(slider));
    EXPECT_EQ(SendMessageA(slider, TBM_GETPOS, 0, 0), 3);
    EnableLevelSlider(99);
    EXPECT_EQ(g_desktop.sliderLevel, 7u);
}

TEST_F(ToolbarExtras, LightsTakeTheThreeBytesAndRefuseAShortPacket)
{
    ASSERT_TRUE(AddToolbarExtras(g_viewer.toolbar));
    const BYTE bytes[3] = {1, 0, 2};
    SessPacketHeader h = {PKT_KEYBOARD_LIGHTS, 2, 0};
    g_desktop.lightState[0] = g_desktop.lightState[1] = g_desktop.lightState[2] = 0;
    EXPECT_EQ(HandleKeyboardLights(&h, bytes), 1);
    EXPECT_EQ(g_desktop.lightState[0], 0);
    h.dwDataLen = 3;
    EXPECT_EQ(HandleKeyboardLights(&h, bytes), 1);
    EXPECT_EQ(g_desktop.lightState[0], 1);
    EXPECT_EQ(g_desktop.lightState[1], 0);
    EXPECT_EQ(g_desktop.lightState[2], 2);
}

} // namespace
