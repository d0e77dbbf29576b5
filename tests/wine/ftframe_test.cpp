// The file-transfer frame: opened only with the right, panels and pad sharing the width,
// menu 146 and the panels' texts following a language change with the item states,
// and the window forgotten when it closes.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cstring>

#include "filetransfer/frame_win.h"
#include "filetransfer/ftcommands.h"
#include "lang/stringids.h"
#include "session/login.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct FtFrame : ::testing::Test {
    HWND savedMain = NULL;
    BOOL savedQueue = FALSE;
    void SetUp() override
    {
        PrepareTestViewer();
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        // No session: a listing request cannot be queued and its dialog ends at once.
        savedMain = g_viewer.mainWindow;
        savedQueue = g_viewer.sendQueueLockReady;
        g_viewer.mainWindow = NULL;
        g_viewer.sendQueueLockReady = FALSE;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        SetRights(RIGHT_FILE_TRANSFER);
    }
    void TearDown() override
    {
        if (g_viewer.fileTransferWindow)
            DestroyWindow(g_viewer.fileTransferWindow);
        g_viewer.mainWindow = savedMain;
        g_viewer.sendQueueLockReady = savedQueue;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        SetRights(0);
    }
    static void SetRights(uint32_t r)
    {
        EnterCriticalSection(&g_viewer.loginInfoLock);
        g_viewer.session.login.rights = r;
        LeaveCriticalSection(&g_viewer.loginInfoLock);
    }
    static void Pump(DWORD ms)
    {
        const DWORD end = GetTickCount() + ms;
        MSG m;
        while ((int)(end - GetTickCount()) > 0) {
            while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&m);
                DispatchMessageA(&m);
            }
            Sleep(5);
        }
    }
    static int Width(HWND w)
    {
        RECT r;
        GetWindowRect(w, &r);
        return r.right - r.left;
    }
    static void WideString(HMODULE lib, UINT id, WCHAR *out, int cap)
    {
        out[0] = 0;
        LoadStringW(lib, id, out, cap);
    }
};

TEST_F(FtFrame, OpensOnlyWithTheRight)
{
    SetRights(RIGHT_REMOTE_CONTROL | RIGHT_AGENT_SETTINGS);
    EXPECT_FALSE(OpenFileTransferWindow(NULL));
    EXPECT_EQ(g_viewer.fileTransferWindow, (HWND)NULL);
    SetRights(RIGHT_FILE_TRANSFER);
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    HWND w = g_viewer.fileTransferWindow;
    ASSERT_NE(w, (HWND)NULL);
    char cls[64];
    GetClassNameA(w, cls, sizeof(cls));
    EXPECT_STREQ(cls, "CORVID:FILETRANSFER");
    ASSERT_TRUE(OpenFileTransferWindow(NULL));  // the open one again
    EXPECT_EQ(g_viewer.fileTransferWindow, w);
    DestroyWindow(w);
    EXPECT_EQ(g_viewer.fileTransferWindow, (HWND)NULL);
    ASSERT_TRUE(OpenFileTransferWindow(NULL));  // and a new one after closing
    EXPECT_NE(g_viewer.fileTransferWindow, (HWND)NULL);
}

TEST_F(FtFrame, PanelsAndPadShareTheClientWidth)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    HWND w = g_viewer.fileTransferWindow;
    Pump(300);
    ShowWindow(w, SW_RESTORE);
    HWND left = GetDlgItem(w, 210), right = GetDlgItem(w, 211);
    ASSERT_TRUE(left && right);
    const struct { int client, panel, pad; } cases[] = {{700, 333, 34}, {701, 334, 33}, {1000, 483, 34}};
    for (const auto &c : cases) {
        RECT wr, cr;
        GetWindowRect(w, &wr);
        GetClientRect(w, &cr);
        const int frame = (wr.right - wr.left) - cr.right;
        SetWindowPos(w, NULL, 0, 0, c.client + frame, 600, SWP_NOZORDER | SWP_NOMOVE);
        GetClientRect(w, &cr);
        ASSERT_EQ(cr.right, c.client);
        RECT l, r;
        GetWindowRect(left, &l);
        GetWindowRect(right, &r);
        EXPECT_EQ(Width(left), c.panel) << c.client;
        EXPECT_EQ(Width(right), c.panel) << c.client;
        EXPECT_EQ(r.left - l.right, c.pad) << c.client;
        RECT tb;
        GetWindowRect(GetDlgItem(w, 205), &tb);
        EXPECT_EQ(l.top, tb.bottom) << c.client;  // the panels start under the toolbar
    }
}

TEST_F(FtFrame, ToolbarsCarryTheirButtonsAndThePadKeepsItsColumn)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    HWND w = g_viewer.fileTransferWindow;
    Pump(300);
    HWND tb = GetDlgItem(w, 205);
    ASSERT_NE(tb, (HWND)NULL);
    const struct { int image, command; BYTE style; } frame[] = {
        {0, IDM_FT_UP, BTNS_BUTTON}, {5, IDM_FT_ROOT, BTNS_BUTTON}, {1, IDM_FT_NEW_FOLDER, BTNS_BUTTON},
        {2, IDM_FT_PROPERTIES, BTNS_BUTTON}, {3, IDM_FT_DELETE, BTNS_BUTTON}, {4, IDM_FT_REFRESH, BTNS_BUTTON},
        {6, IDM_FT_NEXT_VIEW, BTNS_DROPDOWN}, {0, 0, BTNS_SEP}, {7, IDM_FT_DESKTOP, BTNS_BUTTON},
    };
    ASSERT_EQ(SendMessageA(tb, TB_BUTTONCOUNT, 0, 0), 9);
    for (int i = 0; i < 9; i++) {
        TBBUTTON b = {};
        ASSERT_TRUE(SendMessageA(tb, TB_GETBUTTON, i, (LPARAM)&b));
        EXPECT_EQ(b.idCommand, frame[i].command) << i;
        EXPECT_EQ(b.fsStyle & (BTNS_SEP | BTNS_DROPDOWN), frame[i].style & (BTNS_SEP | BTNS_DROPDOWN)) << i;
        if (frame[i].style != BTNS_SEP) {
            EXPECT_EQ(b.iBitmap, frame[i].image) << i;
        }
    }
    // The local panel starts at C:\: up and root have nowhere to go.
    EXPECT_TRUE(SendMessageA(tb, TB_GETSTATE, IDM_FT_UP, 0) & TBSTATE_INDETERMINATE);
    EXPECT_TRUE(SendMessageA(tb, TB_GETSTATE, IDM_FT_ROOT, 0) & TBSTATE_INDETERMINATE);
    EXPECT_TRUE(SendMessageA(tb, TB_GETSTATE, IDM_FT_REFRESH, 0) & TBSTATE_ENABLED);

    HWND right = GetDlgItem(w, 211), left = GetDlgItem(w, 210);
    RECT l, r;
    GetWindowRect(left, &l);
    GetWindowRect(right, &r);
    POINT mid = {(l.right + r.left) / 2, (l.top + l.bottom) / 2};
    HWND pad = NULL;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT cr;
        GetWindowRect(c, &cr);
        if (PtInRect(&cr, mid) && c != left && c != right)
            pad = c;
    }
    ASSERT_NE(pad, (HWND)NULL);
    HWND padTb = GetDlgItem(pad, 203);
    ASSERT_NE(padTb, (HWND)NULL);
    ASSERT_EQ(SendMessageA(padTb, TB_BUTTONCOUNT, 0, 0), 3);
    RECT pr, tr;
    GetWindowRect(pad, &pr);
    GetWindowRect(padTb, &tr);
    EXPECT_EQ(tr.left - pr.left, 4);
    EXPECT_EQ(tr.top - pr.top, 40);
    RECT b0, b1;
    SendMessageA(padTb, TB_GETITEMRECT, 0, (LPARAM)&b0);
    SendMessageA(padTb, TB_GETITEMRECT, 1, (LPARAM)&b1);
    EXPECT_GT(b1.top, b0.top);  // one under the other
    const int copyRight = 40030;
    EXPECT_TRUE(SendMessageA(padTb, TB_GETSTATE, copyRight, 0) & TBSTATE_INDETERMINATE);
    // A state change (the selection recounted after an item change) keeps the wrap.
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(GetDlgItem(left, 206), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    Pump(100);
    EXPECT_TRUE(SendMessageA(padTb, TB_GETSTATE, copyRight, 0) & TBSTATE_WRAP);
}

TEST_F(FtFrame, LanguageChangeReloadsMenuAndTextsKeepingStates)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    HWND w = g_viewer.fileTransferWindow;
    Pump(300);
    HMENU before = GetMenu(w);
    ASSERT_NE(before, (HMENU)NULL);
    EXPECT_EQ(GetMenuItemCount(before), 5);
    // Delete waits for a selection and its work; new folder comes with its dialog.
    EXPECT_TRUE(GetMenuState(before, IDM_FT_DELETE, MF_BYCOMMAND) & MF_GRAYED);
    CheckMenuItem(before, IDM_FT_SORT_LAST, MF_BYCOMMAND | MF_CHECKED);
    EnableMenuItem(before, IDM_FT_DESKTOP, MF_BYCOMMAND | MF_GRAYED);

    g_viewer.activeLanguage = g_viewer.languageLibs[1];
    SendMessageA(w, WM_CV_LANGUAGE_CHANGED, 0, 0);
    HMENU after = GetMenu(w);
    ASSERT_NE(after, before);
    EXPECT_TRUE(GetMenuState(after, IDM_FT_SORT_LAST, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_TRUE(GetMenuState(after, IDM_FT_DESKTOP, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(after, IDM_FT_DELETE, MF_BYCOMMAND) & MF_GRAYED);
    WCHAR want[128], got[128] = {};
    WCHAR menuText[64] = {};
    GetMenuStringW(after, 0, menuText, 64, MF_BYPOSITION);
    EXPECT_EQ(menuText[1], 0x0424);  // "&Ф..."
    for (int i = 0; i < 2; i++) {
        HWND panel = GetDlgItem(w, 210 + i), list = GetDlgItem(panel, 206), caption = GetDlgItem(panel, 207);
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = got;
        col.cchTextMax = 128;
        ASSERT_TRUE(SendMessageW(list, LVM_GETCOLUMNW, 3, (LPARAM)&col));
        WideString(g_viewer.languageLibs[1], IDS_FT_COL_MODIFIED, want, 128);
        EXPECT_EQ(wcscmp(got, want), 0) << i;
        EXPECT_EQ(col.cx, 95) << i;
        GetWindowTextW(caption, got, 128);
        WideString(g_viewer.languageLibs[1], i ? IDS_FT_REMOTE_CAPTION : IDS_FT_LOCAL_CAPTION, want, 128);
        EXPECT_EQ(wcsncmp(got, want, wcslen(want)), 0) << i;
        EXPECT_NE(wcsstr(got, L" - ["), (WCHAR *)NULL) << i;
    }
}

} // namespace
