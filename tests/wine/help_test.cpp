// Help path and binding, the status-bar menu help, the list-view helpers, library
// versions and the system error text, on real windows under Wine.
#include <gtest/gtest.h>

#include "lang/stringids.h"
#include "shell/strings_win.h"
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

std::string ModuleDir()
{
    PrepareTestViewer();
    return g_viewer.moduleDirectory;
}

TEST(HelpPath, TopicFollowsTheFileBesideTheProgram)
{
    std::string dir = ModuleDir();
    char path[600];
    ASSERT_EQ(HelpFilePath(path, sizeof(path), HELP_TOPIC_MAIN), 1);
    EXPECT_EQ(std::string(path), dir + "\\Tlyhlpru.chm::/Corvids.htm#RemoteDesktopWnd");
    ASSERT_EQ(HelpFilePath(path, sizeof(path), NULL), 1);
    EXPECT_EQ(std::string(path), dir + "\\Tlyhlpru.chm");
    // The build puts the help file beside the program.
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES) << path;
}

TEST(HelpPath, DriveRootAndTooSmallBuffers)
{
    std::string saved = ModuleDir();
    strcpy(g_viewer.moduleDirectory, "C:\\");
    char path[64];
    EXPECT_EQ(HelpFilePath(path, sizeof(path), "DlgCopy.htm"), 1);
    EXPECT_STREQ(path, "C:\\Tlyhlpru.chm::/DlgCopy.htm");
    strcpy(g_viewer.moduleDirectory, "C:");
    EXPECT_EQ(HelpFilePath(path, sizeof(path), NULL), 1);
    EXPECT_STREQ(path, "C:\\Tlyhlpru.chm");
    // "C:\Tlyhlpru.chm" is 15 characters: 16 bytes fit, 15 do not.
    EXPECT_EQ(HelpFilePath(path, 16, NULL), 1);
    EXPECT_EQ(HelpFilePath(path, 15, NULL), 0);
    strcpy(g_viewer.moduleDirectory, saved.c_str());
}

class HelpBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        PrepareTestViewer();
        HtmlHelpRelease();
    }
    void TearDown() override { HtmlHelpRelease(); }
};

TEST_F(HelpBinding, UnavailableHelpReturnsZeroForTheRestOfTheRun)
{
    EXPECT_EQ(HtmlHelpBind(kNoSuchClsidKey, "no_such_hhctrl.ocx"), 0);
    EXPECT_EQ(ShowHelp(NULL, HELP_TOPIC_MAIN, HH_DISPLAY_TOPIC, 0), 0);
    // The real library is not tried again once binding has failed.
    EXPECT_EQ(HtmlHelpBind(kHtmlHelpClsidKey, "hhctrl.ocx"), 0);
    EXPECT_EQ(ShowHelp(NULL, NULL, HH_DISPLAY_TOPIC, 0), 0);
    HELPINFO hi;
    memset(&hi, 0, sizeof(hi));
    hi.cbSize = sizeof(hi);
    ShowContextHelpPopup(NULL, &hi, g_viewer.languageLibs[0], IDS_CANCEL); // nothing, no crash
    EXPECT_EQ(GetModuleHandleA("no_such_hhctrl.ocx"), (HMODULE)NULL);
}

TEST_F(HelpBinding, LibraryWithoutTheOrdinalFails)
{
    // A resource-only library loads but exports nothing.
    EXPECT_EQ(HtmlHelpBind(kNoSuchClsidKey, "cvresen.dll"), 0);
    EXPECT_EQ(ShowHelp(NULL, HELP_TOPIC_MAIN, HH_DISPLAY_TOPIC, 0), 0);
}

TEST_F(HelpBinding, RegisteredControlBindsAndAnswers)
{
    ASSERT_EQ(HtmlHelpBind(kHtmlHelpClsidKey, "no_such_hhctrl.ocx"), 1)
        << "the HTML Help control is not registered under HKCR\\" << kHtmlHelpClsidKey;
    ASSERT_EQ(HtmlHelpBind(kNoSuchClsidKey, "hhctrl.ocx"), 1); // bound once, kept
    char path[600];
    ASSERT_EQ(HelpFilePath(path, sizeof(path), HELP_TOPIC_FILE_TRANSFER), 1);
    // The help frame opens with the title compiled into our file (its page stays blank
    // here: this Wine world switches the browser control off, WINEDLLOVERRIDES mshtml=).
    // A missing or unreadable file gives 0.
    DWORD start = GetTickCount();
    int window = ShowHelp(NULL, HELP_TOPIC_FILE_TRANSFER, HH_DISPLAY_TOPIC, 0);
    EXPECT_LT(GetTickCount() - start, 20000u);
    ASSERT_NE(window, 0);
    HWND frame = (HWND)(INT_PTR)window;
    EXPECT_TRUE(IsWindow(frame));
    char title[128] = "";
    GetWindowTextA(frame, title, sizeof(title));
    EXPECT_STREQ(title, "Corvid Viewer Help");

    // Wine's control has no text pop-ups yet; the call must still return.
    HELPINFO hi;
    memset(&hi, 0, sizeof(hi));
    hi.cbSize = sizeof(hi);
    hi.MousePos.x = hi.MousePos.y = 200;
    start = GetTickCount();
    ShowContextHelpPopup(NULL, &hi, g_viewer.languageLibs[1], IDS_CANCEL);
    EXPECT_LT(GetTickCount() - start, 20000u);
}

class MenuHelpBar : public ::testing::Test {
protected:
    HWND frame = NULL, status = NULL;
    HMENU menu = NULL, popup = NULL;
    void SetUp() override
    {
        PrepareTestViewer();
        InitCommonControls();
        frame = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL, NULL, NULL);
        status = CreateWindowExA(0, STATUSCLASSNAMEA, "ready", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame,
                                 (HMENU)204, NULL, NULL);
        ASSERT_NE(status, (HWND)NULL);
        menu = CreateMenu();
        popup = CreatePopupMenu();
        AppendMenuA(popup, MF_STRING, IDS_OUT_OF_MEMORY, "item");
        AppendMenuA(menu, MF_POPUP, (UINT_PTR)popup, "File");
        SetMenu(frame, menu);
    }
    void TearDown() override { DestroyWindow(frame); }
    std::string SimpleText()
    {
        char text[512] = "";
        SendMessageA(status, SB_GETTEXTA, 0, (LPARAM)text); // in simple mode part 0 is the simple text
        return text;
    }
};

TEST_F(MenuHelpBar, CommandShowsItsStringPopupClearsCloseEndsSimpleMode)
{
    char expect[256];
    LoadLangString(IDS_OUT_OF_MEMORY, expect, sizeof(expect));
    ShowMenuHelp(MAKEWPARAM(IDS_OUT_OF_MEMORY, MF_STRING | MF_HILITE), (LPARAM)popup, menu,
                 g_viewer.activeLanguage, status);
    EXPECT_TRUE(SendMessageA(status, SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(SimpleText(), expect);

    ShowMenuHelp(MAKEWPARAM(0, MF_POPUP | MF_HILITE), (LPARAM)menu, menu, g_viewer.activeLanguage, status);
    EXPECT_EQ(SimpleText(), "");
    ShowMenuHelp(MAKEWPARAM(SC_CLOSE, MF_SYSMENU | MF_HILITE), 0, menu, g_viewer.activeLanguage, status);
    EXPECT_EQ(SimpleText(), "");

    ShowMenuHelp(MAKEWPARAM(0, 0xFFFF), 0, menu, g_viewer.activeLanguage, status);
    EXPECT_FALSE(SendMessageA(status, SB_ISSIMPLE, 0, 0));
}

TEST(LibraryVersion, PresentMissingAndWithoutEntry)
{
    PrepareTestViewer();
    EXPECT_GE(LibraryVersion("comctl32.dll"), 0x400u);
    EXPECT_GE(LibraryVersion("shlwapi.dll"), 0x400u);
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
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 480, 260, frame,
                               (HMENU)1, NULL, NULL);
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
        LVCOLUMNW c;
        memset(&c, 0, sizeof(c));
        c.mask = LVCF_TEXT;
        c.pszText = text;
        c.cchTextMax = 128;
        SendMessageW(list, LVM_GETCOLUMNW, i, (LPARAM)&c);
        return text;
    }
    static std::wstring LibraryString(HMODULE lib, UINT id)
    {
        WCHAR text[128] = L"";
        LoadStringW(lib, id, text, 128);
        return text;
    }
    int ColumnCount() { return Header_GetItemCount(ListView_GetHeader(list)); }
    void AddItems(int n)
    {
        for (int i = 0; i < n; i++) {
            LVITEMA it;
            memset(&it, 0, sizeof(it));
            it.mask = LVIF_TEXT;
            it.iItem = i;
            it.pszText = (char *)"x";
            ListView_InsertItem(list, &it);
        }
    }
    int Selected() { return ListView_GetSelectedCount(list); }
    bool IsSelected(int i) { return ListView_GetItemState(list, i, LVIS_SELECTED) & LVIS_SELECTED; }
};

TEST_F(ListHelpers, InsertThenRetitleKeepsTheWidths)
{
    ASSERT_EQ(InsertListColumns(list, columns, 2), 1);
    ASSERT_EQ(ColumnCount(), 2);
    EXPECT_EQ(Title(0), LibraryString(g_viewer.languageLibs[0], IDS_CANCEL));
    EXPECT_EQ(Title(1), LibraryString(g_viewer.languageLibs[0], IDS_OUT_OF_MEMORY));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 100);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 80);

    ListView_SetColumnWidth(list, 0, 151); // as if the user dragged the divider
    g_viewer.activeLanguage = g_viewer.languageLibs[1];
    ASSERT_EQ(RetitleListColumns(list, columns, 2), 1);
    EXPECT_EQ(ColumnCount(), 2);
    std::wstring russian = LibraryString(g_viewer.languageLibs[1], IDS_CANCEL);
    EXPECT_EQ(Title(0), russian);
    EXPECT_NE(russian, LibraryString(g_viewer.languageLibs[0], IDS_CANCEL));
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 151);
    EXPECT_EQ(ListView_GetColumnWidth(list, 1), 80);
}

TEST_F(ListHelpers, LongTitlesAreCutToSixtyThreeCharacters)
{
    const ListColumn longOne[1] = {{IDS_NO_TARGET, 50}};
    ASSERT_GT(LibraryString(g_viewer.languageLibs[0], IDS_NO_TARGET).size(), 63u);
    ASSERT_EQ(InsertListColumns(list, longOne, 1), 1);
    EXPECT_EQ(Title(0), LibraryString(g_viewer.languageLibs[0], IDS_NO_TARGET).substr(0, 63));
}

TEST_F(ListHelpers, SelectAllAndInvert)
{
    InsertListColumns(list, columns, 1);
    EXPECT_EQ(ListInvertSelection(list), 0); // no items: nothing became selected
    AddItems(5);
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
    EXPECT_FALSE(IsSelected(1));
    EXPECT_TRUE(IsSelected(0));
    EXPECT_TRUE(IsSelected(4));
}

std::string FullSystemText(DWORD code)
{
    char big[4096];
    SetLastError(code);
    SystemErrorText(big, sizeof(big));
    return big;
}

TEST(SystemErrorText, KnownCodeStaysInsideSixtyFourBytes)
{
    std::string full = FullSystemText(ERROR_FILE_NOT_FOUND);
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
}

TEST(SystemErrorText, LongTextIsCutToFiftyBytes)
{
    // Find a code with a long text, whatever the system's wording.
    DWORD codes[] = {ERROR_SHARING_VIOLATION, ERROR_NOT_ENOUGH_MEMORY, ERROR_INVALID_PARAMETER,
                     ERROR_ACCESS_DENIED, ERROR_UNABLE_TO_MOVE_REPLACEMENT, ERROR_ADDRESS_ALREADY_ASSOCIATED};
    DWORD chosen = 0;
    std::string full;
    for (DWORD c : codes) {
        full = FullSystemText(c);
        if (full.size() - full.find(" - ") - 3 + 14 > 64) {
            chosen = c;
            break;
        }
    }
    if (!chosen)
        GTEST_SKIP() << "no system text here is longer than 50 bytes";
    char buf[64];
    SetLastError(chosen);
    SystemErrorText(buf, sizeof(buf));
    size_t prefix = full.find(" - ") + 3;
    EXPECT_EQ(std::string(buf), full.substr(0, prefix + 50));
}

TEST(SystemErrorText, CodeWithoutTextGivesThePrefix)
{
    char buf[64];
    SetLastError(0x2FFFFFF0);
    SystemErrorText(buf, sizeof(buf));
    EXPECT_STREQ(buf, "805306352 - ");
}

} // namespace
