// The file-transfer window's marks and images: menu 146 shows the sort and view choices
// as radio bullets, as the space menu does, and keeps them through a language change;
// an item without an icon asks for none rather than for a callback nobody answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "filetransfer/frame_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/panel_win.h"
#include "session/login.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

struct FtMarks : ::testing::Test {
    HWND savedMain = NULL;
    BOOL savedQueue = FALSE;
    void SetUp() override
    {
        PrepareTestViewer();
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        // No session: the first remote listing ends at once.
        savedMain = g_viewer.mainWindow;
        savedQueue = g_viewer.sendQueueLockReady;
        g_viewer.mainWindow = NULL;
        g_viewer.sendQueueLockReady = FALSE;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        Rights(RIGHT_FILE_TRANSFER);
        ASSERT_TRUE(OpenFileTransferWindow(NULL));
        Pump(300);
    }
    void TearDown() override
    {
        if (g_viewer.fileTransferWindow)
            DestroyWindow(g_viewer.fileTransferWindow);
        g_viewer.mainWindow = savedMain;
        g_viewer.sendQueueLockReady = savedQueue;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        Rights(0);
    }
    static void Rights(uint32_t r)
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
};

// One letter per item 40047..40055: 'o' bullet on, '-' bullet off, 'X' anything else.
std::string Marks(HMENU m)
{
    std::string out;
    for (UINT c = IDM_FT_SORT_FIRST; c <= IDM_FT_VIEW_LIST; c++) {
        if (c == IDM_FT_NEXT_VIEW)
            continue;
        MENUITEMINFOA mi = {};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE | MIIM_STATE;
        if (!GetMenuItemInfoA(m, c, FALSE, &mi) || !(mi.fType & MFT_RADIOCHECK))
            out += 'X';
        else
            out += (mi.fState & MFS_CHECKED) ? 'o' : '-';
    }
    return out;
}

TEST_F(FtMarks, SortAndViewChoicesAreBulletsInTheMenuBar)
{
    HWND w = g_viewer.fileTransferWindow;
    const struct {
        UINT command;  // 0: the language changes
        const char *marks;
    } steps[] = {{IDM_FT_REFRESH, "o----o--"},      {IDM_FT_SORT_FIRST + 3, "---o-o--"},
                 {IDM_FT_VIEW_LIST, "---o---o"},    {IDM_FT_NEXT_VIEW, "---o-o--"},
                 {0, "---o-o--"},                   {IDM_FT_SORT_LAST, "----oo--"}};
    for (const auto &s : steps) {
        if (s.command) {
            SendMessageA(w, WM_COMMAND, s.command, 0);
        } else {
            g_viewer.activeLanguage = g_viewer.languageLibs[1];
            SendMessageA(w, WM_CV_LANGUAGE_CHANGED, 0, 0);
        }
        Pump(50);
        EXPECT_EQ(Marks(GetMenu(w)), s.marks) << s.command;
    }
}

TEST_F(FtMarks, AnItemWithoutAnIconAsksForNone)
{
    FilePanel *p = &g_ft.panels[kFtRemote];
    const struct { int given, shown; } cases[] = {{-1, I_IMAGENONE}, {3, 3}};
    for (const auto &c : cases) {
        FtEntry e = {};
        strcpy(e.name, "..");
        ASSERT_TRUE(FtAppendItem(p, &e, c.given, ""));
        LVITEMA it = {};
        it.mask = LVIF_IMAGE;
        it.iItem = (int)SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0) - 1;
        it.iImage = 12345;
        ASSERT_TRUE(SendMessageA(p->list, LVM_GETITEMA, 0, (LPARAM)&it));
        EXPECT_EQ(it.iImage, c.shown) << c.given;
    }
}

} // namespace
