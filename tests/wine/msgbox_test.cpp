// Timed boxes shown by several threads at once: shutdown must end every one of them,
// not only the last one shown, or it waits out the others' time-outs. Russian texts
// read right on a system whose ANSI code page is Western.
#include <gtest/gtest.h>

#include "lang/stringids.h"
#include "resources/resource.h"
#include "shell/msgbox_win.h"
#include "shell/strings_win.h"
#include "tests/wine/viewer_fixture.h"

#include <string>

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

std::wstring Library(UINT id)
{
    WCHAR text[512] = L"";
    LoadStringW(g_viewer.languageLibs[1], id, text, 512);
    return text;
}

std::wstring Text(HWND w)
{
    WCHAR text[512] = L"";
    GetWindowTextW(w, text, 512);
    return text;
}

HWND WaitForWindow(HWND *slot)
{
    for (DWORD t0 = GetTickCount(); GetTickCount() - t0 < 10000; Sleep(20)) {
        EnterCriticalSection(&g_viewer.timedBoxLock);
        HWND w = *slot;
        LeaveCriticalSection(&g_viewer.timedBoxLock);
        if (w)
            return w;
    }
    return NULL;
}

TEST(TimedBoxes, RussianTextsReadRightUnderAWesternCodePage)
{
    PrepareTestViewer();
    ASSERT_NE(GetACP(), 1251u) << "this case needs a Wine world with a Western code page";
    HINSTANCE own = g_viewer.instance;
    g_viewer.instance = LoadLibraryExA("Corvid.exe", NULL, LOAD_LIBRARY_AS_DATAFILE);
    g_viewer.activeLanguage = g_viewer.languageLibs[1];
    static char text[512];
    LoadLangString(IDS_OUT_OF_MEMORY, text, sizeof(text));
    HANDLE t = CreateThread(
        NULL, 0,
        [](LPVOID) -> DWORD {
            TimedBoxRequest req = {IDD_TIMED_BOX, 20000, NULL, text, 16, TRUE};
            return (DWORD)TimedMessageBox(NULL, &req);
        },
        NULL, 0, NULL);
    HWND box = WaitForWindow(&g_viewer.timedBoxes[0]);
    ASSERT_TRUE(box != NULL);
    EXPECT_EQ(Text(GetDlgItem(box, IDC_BOX_TEXT)), Library(IDS_OUT_OF_MEMORY));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    // The password prompt, found through the dialog slot.
    g_viewer.dialogSlot = NULL;
    t = CreateThread(
        NULL, 0, [](LPVOID) -> DWORD { return (DWORD)PasswordPrompt(NULL); }, NULL, 0, NULL);
    HWND prompt = WaitForWindow(&g_viewer.dialogSlot);
    ASSERT_TRUE(prompt != NULL);
    EXPECT_EQ(Text(prompt).substr(0, Library(IDS_PASSWORD_CAPTION).size()), Library(IDS_PASSWORD_CAPTION));
    EXPECT_EQ(Text(GetDlgItem(prompt, IDC_PWD_LABEL)), Library(IDS_PASSWORD_LABEL));
    EXPECT_EQ(Text(GetDlgItem(prompt, IDCANCEL)), Library(IDS_CANCEL));
    PostMessageA(prompt, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(t, 5000);
    CloseHandle(t);
    g_viewer.activeLanguage = g_viewer.languageLibs[0];
    FreeLibrary(g_viewer.instance);
    g_viewer.instance = own;
}

} // namespace
