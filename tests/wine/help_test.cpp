// Help path and binding, the list-view helpers, library versions and the system
// error text, on real windows under Wine.
#include <gtest/gtest.h>

#include "lang/stringids.h"
#include "session/state_win.h"
#include "tests/wine/viewer_fixture.h"
#include "ui/help_win.h"
#include "ui/libversion_win.h"
#include "ui/listview_win.h"
#include "ui/syserror_win.h"

#include <commctrl.h>
#include <htmlhelp.h>

#include <cstring>
#include <string>

namespace {

const char kNoSuchClsidKey[] = "CLSID\\{0DDBA11C-0000-4000-8000-00000000C0DE}\\InprocServer32";

TEST(HelpPath, TopicFollowsTheFileBesideTheProgram)
{
    PrepareTestViewer();
    std::string dir = g_viewer.moduleDirectory;
    char path[600];
    ASSERT_EQ(HelpFilePath(path, sizeof(path), HELP_TOPIC_MAIN), 1);
    EXPECT_EQ(std::string(path), dir + "\\Tlyhlpru.chm::/Corvids.htm#RemoteDesktopWnd");
    ASSERT_EQ(HelpFilePath(path, sizeof(path), NULL), 1);
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path; // the build puts it there
    // A drive root gets no second backslash.
    strcpy(g_viewer.moduleDirectory, "C:\\");
    EXPECT_EQ(HelpFilePath(path, sizeof(path), "DlgCopy.htm"), 1);
    EXPECT_STREQ(path, "C:\\Tlyhlpru.chm::/DlgCopy.htm");
    strcpy(g_viewer.moduleDirectory, "C:");
    // "C:\Tlyhlpru.chm" is 15 characters: 16 bytes fit, 15 do not.
    EXPECT_EQ(HelpFilePath(path, 16, NULL), 1);
    EXPECT_STREQ(path, "C:\\Tlyhlpru.chm");
    EXPECT_EQ(HelpFilePath(path, 15, NULL), 0);
    strcpy(g_viewer.moduleDirectory, dir.c_str());
}

TEST(HelpBinding, UnavailableHelpReturnsZeroForTheRestOfTheRun)
{
    PrepareTestViewer();
    HtmlHelpRelease();
    EXPECT_EQ(HtmlHelpBind(kNoSuchClsidKey, "no_such_hhctrl.ocx"), 0);
    EXPECT_EQ(ShowHelp(NULL, HELP_TOPIC_MAIN, HH_DISPLAY_TOPIC, 0), 0);
    // The real library is not tried again once binding has failed.
    EXPECT_EQ(HtmlHelpBind(kHtmlHelpClsidKey, "hhctrl.ocx"), 0);
    EXPECT_EQ(ShowHelp(NULL, NULL, HH_DISPLAY_TOPIC, 0), 0);
    HELPINFO hi = {};
    hi.cbSize = sizeof(hi);
    ShowContextHelpPopup(NULL, &hi, g_viewer.languageLibs[0], IDS_CANCEL); // nothing, no crash
    HtmlHelpRelease();
}

TEST(HelpBinding, RegisteredControlOpensOurHelpFile)
{
    PrepareTestViewer();
    HtmlHelpRelease();
    ASSERT_EQ(HtmlHelpBind(kHtmlHelpClsidKey, "no_such_hhctrl.ocx"), 1)
        << "the HTML Help control is not registered under HKCR\\" << kHtmlHelpClsidKey;
    // The frame opens with the title compiled into our file (its page stays blank here:
    // the test world switches the browser control off).
    const DWORD start = GetTickCount();
    const int window = ShowHelp(NULL, HELP_TOPIC_FILE_TRANSFER, HH_DISPLAY_TOPIC, 0);
    EXPECT_LT(GetTickCount() - start, 20000u);
    ASSERT_NE(window, 0);
    char title[128] = "";
    GetWindowTextA((HWND)(INT_PTR)window, title, sizeof(title));
    EXPECT_STREQ(title, "Corvid Viewer Help");
    HtmlHelpRelease();
}

// The main window's shutdown closes the help windows and lets the library go.
TEST(HelpBinding, MainWindowShutdownClosesHelpWindows)
{
    PrepareTestViewer();
    HtmlHelpRelease();
    WNDPROC mainProc = MainWindowProcForTest();
    ASSERT_TRUE(mainProc != NULL);
    HWND help = (HWND)(INT_PTR)ShowHelp(NULL, HELP_TOPIC_FILE_TRANSFER, HH_DISPLAY_TOPIC, 0);
    ASSERT_TRUE(help != NULL && IsWindow(help));
    HWND owner = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    g_session.socket = INVALID_SOCKET;
    CallWindowProcA(mainProc, owner, WM_ENDSESSION, TRUE, 0);
    g_viewer.timedBoxesClosed = FALSE;
    EXPECT_FALSE(IsWindow(help));
    DestroyWindow(owner);
}

TEST(LibraryVersion, PresentAndMissing)
{
    PrepareTestViewer();
    EXPECT_GE(LibraryVersion("comctl32.dll"), 0x400u);
    EXPECT_EQ(LibraryVersion("no_such_library_at_all.dll"), 0u);
    EXPECT_EQ(LibraryVersion("cvresen.dll"), 0u); // loads, but has no DllGetVersion
}

class ListHelpers : public ::testing::Test {
protected:
    HWND frame = NULL, list = NULL;
    const ListColumn columns[2] = {{IDS_CANCEL, 100}, {IDS_OUT_OF_MEMORY, 80}};
    void SetUp() override
    {
        PrepareTestViewer();
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        InitCommonControls();
        frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, NULL, NULL, NULL, NULL);
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 480, 260, frame, (HMENU)1,
                               NULL, NULL);
        ASSERT_NE(list, (HWND)NULL);
    }
    void TearDown() override
    {
        DestroyWindow(frame);
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
    }
    std::wstring Title(int i)
    {
        WCHAR text[128] = L"";
        LVCOLUMNW c = {};
        c.mask = LVCF_TEXT;
        c.pszText = text;
        c.cchTextMax = 128;
        SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&c);
        return text;
    }
    static std::wstring Text(int lang, UINT id)
    {
        WCHAR text[128] = L"";
        LoadStringW(g_viewer.languageLibs[lang], id, text, 128);
        return text;
    }
    int Selected() { return ListView_GetSelectedCount(list); }
};

TEST_F(ListHelpers, InsertThenRetitleKeepsTheWidths)
{
    ASSERT_EQ(InsertListColumns(list, columns, 2), 1);
    ASSERT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 2);
    EXPECT_EQ(Title(0), Text(0, IDS_CANCEL));
    EXPECT_EQ(Title(1), Text(0, IDS_OUT_OF_MEMORY));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 100);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 80);

    ListView_SetColumnWidth(list, 0, 151); // as if the user dragged the divider
    g_viewer.activeLanguage = g_viewer.languageLibs[1];
    ASSERT_EQ(RetitleListColumns(list, columns, 2), 1);
    EXPECT_EQ(Header_GetItemCount(ListView_GetHeader(list)), 2);
    EXPECT_EQ(Title(0), Text(1, IDS_CANCEL));
    EXPECT_NE(Text(1, IDS_CANCEL), Text(0, IDS_CANCEL));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 151);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 80);
}

TEST_F(ListHelpers, SelectAllAndInvert)
{
    InsertListColumns(list, columns, 1);
    EXPECT_EQ(ListInvertSelection(list), 0); // no items: nothing became selected
    for (int i = 0; i < 5; i++) {
        LVITEMA it = {LVIF_TEXT, i};
        it.pszText = (char *)"x";
        ListView_InsertItem(list, &it);
    }
    ListSelectAll(list);
    EXPECT_EQ(Selected(), 5);
    EXPECT_EQ(ListInvertSelection(list), 0); // all were selected: none became selected
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(ListInvertSelection(list), 1);
    EXPECT_EQ(Selected(), 5);

    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(ListInvertSelection(list), 1);
    EXPECT_EQ(Selected(), 4);
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(ListView_GetItemState(list, i, LVIS_SELECTED), i == 1 ? 0u : (UINT)LVIS_SELECTED) << i;
}

TEST(SystemErrorText, StaysInsideSixtyFourBytes)
{
    char big[4096];
    SetLastError(ERROR_FILE_NOT_FOUND);
    SystemErrorText(big, sizeof(big));
    std::string full = big;
    ASSERT_EQ(full.compare(0, 4, "2 - "), 0) << full;
    ASSERT_GT(full.size(), 4u) << "no system text for ERROR_FILE_NOT_FOUND";

    char raw[8 + 64 + 8];
    memset(raw, 0x5A, sizeof(raw));
    SetLastError(ERROR_FILE_NOT_FOUND);
    size_t n = SystemErrorText(raw + 8, 64);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_LT(n, 64u);
    EXPECT_EQ(strlen(raw + 8), n);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(raw[i], 0x5A);
        EXPECT_EQ(raw[8 + 64 + i], 0x5A);
    }
    // Text length t = full - 4: whole when t + 14 <= 64, else its first 50 bytes.
    size_t t = full.size() - 4;
    EXPECT_EQ(std::string(raw + 8), t + 14 <= 64 ? full : full.substr(0, 4 + 50));
    // A code without text gives the prefix alone.
    SetLastError(0x2FFFFFF0);
    SystemErrorText(raw + 8, 64);
    EXPECT_STREQ(raw + 8, "805306352 - ");
}

} // namespace
