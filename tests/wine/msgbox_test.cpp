// Timed boxes shown by several threads at once: shutdown must end every one of them,
// not only the last one shown, or it waits out the others' time-outs.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "shell/msgbox_win.h"
#include "tests/wine/viewer_fixture.h"

namespace {

DWORD WINAPI ShowBox(LPVOID)
{
    TimedBoxRequest req = {IDD_TIMED_BOX, 20000, NULL, "test box", 16, TRUE};
    return (DWORD)TimedMessageBox(NULL, &req);
}

int OpenBoxes(void)
{
    int n = 0;
    EnterCriticalSection(&g_viewer.timedBoxLock);
    for (HWND box : g_viewer.timedBoxes)
        n += box != NULL;
    LeaveCriticalSection(&g_viewer.timedBoxLock);
    return n;
}

TEST(TimedBoxes, ShutdownEndsEveryOpenBoxAndLaterOnes)
{
    PrepareTestViewer();
    HINSTANCE own = g_viewer.instance;
    // The dialog template lives in the program's resources.
    g_viewer.instance = LoadLibraryExA("Corvid.exe", NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(g_viewer.instance != NULL);
    HANDLE threads[3];
    for (int i = 0; i < 2; i++)
        threads[i] = CreateThread(NULL, 0, ShowBox, NULL, 0, NULL);
    DWORD t0 = GetTickCount();
    while (OpenBoxes() < 2 && GetTickCount() - t0 < 10000)
        Sleep(20);
    ASSERT_EQ(OpenBoxes(), 2);
    CloseTimedBoxes();
    threads[2] = CreateThread(NULL, 0, ShowBox, NULL, 0, NULL); // shown after the close
    EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, 3000), (DWORD)WAIT_OBJECT_0) << "a box outlived shutdown";
    for (HANDLE t : threads) {
        DWORD code = 0;
        GetExitCodeThread(t, &code);
        EXPECT_EQ(code, (DWORD)IDCANCEL);
        CloseHandle(t);
    }
    EXPECT_EQ(OpenBoxes(), 0);
    g_viewer.timedBoxesClosed = FALSE;
    FreeLibrary(g_viewer.instance);
    g_viewer.instance = own;
}

} // namespace
