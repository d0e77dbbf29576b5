// Whether the remote panel takes dropped or pasted files: only with the right, a folder
// shown and nothing else open.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cstdio>

#include "filetransfer/droptarget_win.h"
#include "filetransfer/frame_win.h"
#include "filetransfer/panel_win.h"
#include "session/login.h"
#include "session/state_win.h"
#include "shell/state.h"
#include "tests/wine/viewer_fixture.h"

namespace {

void SetRights(uint32_t r)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    g_session.info.login.rights = r;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
}

TEST(FtDropRules, FilesAreTakenOnlyWithTheRightAFolderAndNothingOpen)
{
    PrepareTestViewer();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    const HWND savedMain = g_viewer.mainWindow;
    const BOOL savedQueue = g_session.sendQueueLockReady;
    g_viewer.mainWindow = NULL; // no session: the first listing's request ends at once
    g_session.sendQueueLockReady = FALSE;
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    EXPECT_FALSE(FtMayTakeFiles(0)); // no window
    SetRights(RIGHT_FILE_TRANSFER);
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    FilePanel *remote = &g_ft.panels[kFtRemote];
    const struct {
        uint32_t rights;
        const char *folder;
        int dialogOpen, want;
    } cases[] = {
        {RIGHT_FILE_TRANSFER, "C:\\", 0, 1},
        {RIGHT_FILE_TRANSFER | RIGHT_REMOTE_CONTROL, "D:\\sub\\dir", 0, 1},
        {RIGHT_REMOTE_CONTROL | RIGHT_AGENT_SETTINGS, "C:\\", 0, 0},
        {RIGHT_FILE_TRANSFER, "", 0, 0}, // before the first listing
        {RIGHT_FILE_TRANSFER, "C:\\", 1, 0},
    };
    for (const auto &c : cases) {
        SetRights(c.rights);
        snprintf(remote->currentDirectory, sizeof(remote->currentDirectory), "%s", c.folder);
        g_ft.activeDialog = c.dialogOpen ? g_ft.frame : NULL;
        EXPECT_EQ(FtMayTakeFiles(0), c.want) << c.rights << " " << c.folder << " " << c.dialogOpen;
    }
    g_ft.activeDialog = NULL;
    SetRights(RIGHT_FILE_TRANSFER);
    EnableWindow(g_ft.frame, FALSE); // a modal box or dialog of the window is up
    EXPECT_FALSE(FtMayTakeFiles(0));
    EnableWindow(g_ft.frame, TRUE);
    EXPECT_TRUE(FtMayTakeFiles(0));
    DestroyWindow(g_viewer.fileTransferWindow);
    EXPECT_FALSE(FtMayTakeFiles(0));
    g_viewer.mainWindow = savedMain;
    g_session.sendQueueLockReady = savedQueue;
    SetRights(0);
}

} // namespace
