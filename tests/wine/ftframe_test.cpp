// The file-transfer frame: opened only with the right, panels and pad sharing the width,
// menu 146 and the panels' texts following a language change with the item states,
// the window forgotten when it closes, the icon probe file, the commands that change
// files refused without the right from every source, where a drag may drop, the sort
// and view choices as radio bullets in menu 146, and an item without an icon asking
// for none rather than for a callback nobody answers.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "filetransfer/frame_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/panel_win.h"
#include "lang/stringids.h"
#include "session/login.h"
#include "session/state_win.h"
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
        savedQueue = g_session.sendQueueLockReady;
        g_viewer.mainWindow = NULL;
        g_session.sendQueueLockReady = FALSE;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        SetRights(RIGHT_FILE_TRANSFER);
    }
    void TearDown() override
    {
        if (g_viewer.fileTransferWindow)
            DestroyWindow(g_viewer.fileTransferWindow);
        g_viewer.mainWindow = savedMain;
        g_session.sendQueueLockReady = savedQueue;
        g_viewer.activeLanguage = g_viewer.languageLibs[0];
        SetRights(0);
    }
    static void SetRights(uint32_t r)
    {
        EnterCriticalSection(&g_viewer.loginInfoLock);
        g_session.info.login.rights = r;
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
    ASSERT_TRUE(OpenFileTransferWindow(NULL)); // the open one again
    EXPECT_EQ(g_viewer.fileTransferWindow, w);
    DestroyWindow(w);
    EXPECT_EQ(g_viewer.fileTransferWindow, (HWND)NULL);
    ASSERT_TRUE(OpenFileTransferWindow(NULL)); // and a new one after closing
    EXPECT_NE(g_viewer.fileTransferWindow, (HWND)NULL);
}

TEST_F(FtFrame, ToolbarStatesFollowThePanelAndThePadKeepsItsColumn)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    HWND w = g_viewer.fileTransferWindow;
    Pump(300);
    HWND tb = GetDlgItem(w, 205);
    ASSERT_NE(tb, (HWND)NULL);
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
    RECT b0, b1;
    SendMessageA(padTb, TB_GETITEMRECT, 0, (LPARAM)&b0);
    SendMessageA(padTb, TB_GETITEMRECT, 1, (LPARAM)&b1);
    EXPECT_GT(b1.top, b0.top); // one under the other
    const int copyRight = 40030;
    // A state change (the selection recounted after an item change) greys the button and
    // keeps the wrap.
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(GetDlgItem(left, 206), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    Pump(100);
    EXPECT_TRUE(SendMessageA(padTb, TB_GETSTATE, copyRight, 0) & TBSTATE_WRAP);
    EXPECT_TRUE(SendMessageA(padTb, TB_GETSTATE, copyRight, 0) & TBSTATE_INDETERMINATE);
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
    EXPECT_EQ(menuText[1], 0x0424); // "&Ф..."
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

// ---- the icon probe file ----------------------------------------------------------------

std::string ReadAll(const char *path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

TEST_F(FtFrame, IconProbeFollowsTheExtensionsAndGoesWithTheWindow)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    char first[MAX_PATH], folder[MAX_PATH];
    snprintf(first, sizeof(first), "%s", g_ft.probe.path);
    GetTempPathA(sizeof(folder), folder);
    const char *name = strrchr(first, '\\') + 1;
    EXPECT_EQ(_strnicmp(first, folder, strlen(folder)), 0) << first;
    EXPECT_EQ(strncmp(name, "Cvt", 3), 0) << first;
    EXPECT_STREQ(g_ft.probe.extension, ".TMP");
    // Wine keeps no temporary bit on its files; the archive bit it does.
    const DWORD attributes = GetFileAttributesA(first);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_ARCHIVE);

    // A remote file's extension moves it; the same extension in other letters does not.
    char type[80];
    FtProbeIcon("report.txt", type, sizeof(type));
    char moved[MAX_PATH];
    snprintf(moved, sizeof(moved), "%s", g_ft.probe.path);
    EXPECT_EQ(GetFileAttributesA(first), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(moved), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(strcmp(moved + strlen(moved) - 4, ".txt"), 0) << moved;
    EXPECT_EQ(strncmp(moved, first, strlen(first) - 4), 0) << moved;
    FtForgetProbeAnswers();
    FtProbeIcon("OTHER.TXT", type, sizeof(type));
    EXPECT_STREQ(g_ft.probe.path, moved);

    DestroyWindow(g_viewer.fileTransferWindow);
    EXPECT_EQ(GetFileAttributesA(moved), INVALID_FILE_ATTRIBUTES) << "deleted where it is now";

    // No temporary file, no window.
    char log[MAX_PATH + 32], savedLog[sizeof(g_viewer.logPath)], tmp[MAX_PATH], temp[MAX_PATH];
    TestFilePath(log, sizeof(log), "ftprobe_test.log");
    DeleteFileA(log);
    memcpy(savedLog, g_viewer.logPath, sizeof(savedLog));
    snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s", log);
    GetEnvironmentVariableA("TMP", tmp, sizeof(tmp));
    GetEnvironmentVariableA("TEMP", temp, sizeof(temp));
    SetEnvironmentVariableA("TMP", "C:\\no-such-folder\\");
    SetEnvironmentVariableA("TEMP", "C:\\no-such-folder\\");
    EXPECT_FALSE(OpenFileTransferWindow(NULL));
    SetEnvironmentVariableA("TMP", tmp[0] ? tmp : NULL);
    SetEnvironmentVariableA("TEMP", temp[0] ? temp : NULL);
    memcpy(g_viewer.logPath, savedLog, sizeof(savedLog));
    EXPECT_EQ(g_viewer.fileTransferWindow, (HWND)NULL);
    EXPECT_NE(ReadAll(log).find("Can't create temporary file\r\n"), std::string::npos) << ReadAll(log);
    DeleteFileA(log);
}

// ---- the file-transfer right -----------------------------------------------------------

// What a command that changes files would show: a dialog (closed again at once) or a
// label being edited (ended at once).
int g_reactions;

BOOL CALLBACK CloseDialog(HWND w, LPARAM)
{
    char cls[16];
    if (IsWindowVisible(w) && GetClassNameA(w, cls, sizeof(cls)) && strcmp(cls, "#32770") == 0) {
        g_reactions++;
        PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
    }
    return TRUE;
}

void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0); }

void EndLabelEdits()
{
    for (int i = 0; i < kFtPanels; i++)
        if (g_ft.panels[i].list && SendMessageA(g_ft.panels[i].list, LVM_GETEDITCONTROL, 0, 0)) {
            g_reactions++;
            SendMessageA(g_ft.panels[i].list, LVM_CANCELEDITLABEL, 0, 0);
        }
}

// Copies posted to the frame, counted on their way to its procedure.
WNDPROC g_frameProc;
int g_copies;

LRESULT CALLBACK CountCopies(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && LOWORD(wp) == IDM_FT_COPY)
        g_copies++;
    return CallWindowProcA(g_frameProc, w, msg, wp, lp);
}

struct FtRights : FtFrame {
    HWND frame = NULL;
    char folder[MAX_PATH + 32] = "";
    UINT_PTR timer = 0;
    void SetUp() override
    {
        FtFrame::SetUp();
        // The local panel works in a scratch folder of its own.
        TestFilePath(folder, sizeof(folder), "ft_rights");
        CreateDirectoryA(folder, NULL);
        for (const char *name : {"one.txt", "two.txt"}) {
            char path[MAX_PATH + 64];
            snprintf(path, sizeof(path), "%s\\%s", folder, name);
            HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            CloseHandle(h);
        }
        ASSERT_TRUE(OpenFileTransferWindow(NULL));
        frame = g_viewer.fileTransferWindow;
        Pump(300);
        FilePanel *local = &g_ft.panels[kFtLocal];
        SetWindowTextA(local->edit, folder);
        SendMessageA(local->edit, WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_STREQ(local->currentDirectory, folder);
        // A remote list to drag from, in a folder of its own (no Agent answers here).
        snprintf(g_ft.panels[kFtRemote].currentDirectory, MAX_PATH, "C:\\remote");
        FtEntry e = {};
        snprintf(e.name, sizeof(e.name), "remote.txt");
        ASSERT_TRUE(FtAppendItem(&g_ft.panels[kFtRemote], &e, -1, ""));
        g_frameProc = (WNDPROC)SetWindowLongPtrA(frame, GWLP_WNDPROC, (LONG_PTR)CountCopies);
        timer = SetTimer(NULL, 0, 30, Watch);
        g_reactions = g_copies = 0;
    }
    void TearDown() override
    {
        KillTimer(NULL, timer);
        FtFrame::TearDown();
        for (const char *name : {"one.txt", "two.txt"}) {
            char path[MAX_PATH + 64];
            snprintf(path, sizeof(path), "%s\\%s", folder, name);
            DeleteFileA(path);
        }
        RemoveDirectoryA(folder);
    }
    // Selects and focuses one item of a panel ("one.txt" locally, after "..").
    static void SelectOne(int panel)
    {
        FilePanel *p = &g_ft.panels[panel];
        LVITEMA it = {};
        it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(p->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
        it.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(p->list, LVM_SETITEMSTATE, panel == kFtLocal ? 1 : 0, (LPARAM)&it);
        FtRecountSelection(p);
    }
    static POINT Centre(HWND w, HWND relativeTo)
    {
        RECT r;
        GetWindowRect(w, &r);
        POINT pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ScreenToClient(relativeTo, &pt);
        return pt;
    }
    static void Click(HWND toolbar, UINT command)
    {
        // Greyed buttons send nothing: the button is made pressable, as if the state lagged.
        SendMessageA(
            toolbar, TB_SETSTATE, command,
            MAKELPARAM((SendMessageA(toolbar, TB_GETSTATE, command, 0) & ~TBSTATE_INDETERMINATE) | TBSTATE_ENABLED, 0));
        RECT r;
        const int i = (int)SendMessageA(toolbar, TB_COMMANDTOINDEX, command, 0);
        SendMessageA(toolbar, TB_GETITEMRECT, i, (LPARAM)&r);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(toolbar, WM_LBUTTONUP, 0, at);
    }
    static void Key(int panel, WORD vk)
    {
        SendMessageA(g_ft.panels[panel].list, WM_KEYDOWN, vk, 1);
        SendMessageA(g_ft.panels[panel].list, WM_KEYUP, vk, 0xC0000001);
    }
    // A drag of panel's selection released over the list of panel `onto`.
    void Drag(int panel, int onto)
    {
        FilePanel *p = &g_ft.panels[panel];
        NMLISTVIEW nm = {};
        nm.hdr.hwndFrom = p->list;
        nm.hdr.idFrom = kFtListId;
        nm.hdr.code = LVN_BEGINDRAG;
        nm.iItem = panel == kFtLocal ? 1 : 0;
        RECT r;
        r.left = LVIR_BOUNDS;
        SendMessageA(p->list, LVM_GETITEMRECT, nm.iItem, (LPARAM)&r);
        nm.ptAction.x = r.left + 5;
        nm.ptAction.y = (r.top + r.bottom) / 2;
        SendMessageA(p->window, WM_NOTIFY, kFtListId, (LPARAM)&nm);
        EXPECT_EQ(GetCapture(), frame);
        const POINT at = Centre(g_ft.panels[onto].list, frame);
        SendMessageA(frame, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(at.x, at.y));
        SendMessageA(frame, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        EXPECT_NE(GetCapture(), frame);
    }
    // Every source of every command that changes files; returns what showed.
    int EverySource()
    {
        g_reactions = 0;
        for (UINT c :
             {IDM_FT_COPY_RIGHT, IDM_FT_COPY_LEFT, IDM_FT_NEW_FOLDER, IDM_FT_DELETE, IDM_FT_COPY, IDM_FT_RENAME}) {
            SelectOne(kFtLocal);
            SendMessageA(frame, WM_COMMAND, c, 0);
            Pump(60);
            EndLabelEdits();
        }
        for (UINT c : {IDM_FT_NEW_FOLDER, IDM_FT_DELETE}) {
            SelectOne(kFtLocal);
            Click(g_ft.toolbar, c);
            Pump(60);
        }
        for (UINT c : {IDM_FT_COPY_RIGHT, IDM_FT_COPY_LEFT}) {
            Click(g_ft.padToolbar, c);
            Pump(60);
        }
        for (int panel : {kFtLocal, kFtRemote})
            for (WORD vk : {VK_F5, VK_F7, VK_F8, VK_DELETE, VK_F2}) {
                SelectOne(panel);
                Key(panel, vk);
                Pump(60);
                EndLabelEdits();
            }
        SelectOne(kFtLocal);
        Drag(kFtLocal, kFtRemote);
        Pump(60);
        return g_reactions;
    }
};

TEST_F(FtRights, WithoutTheRightNoSourceChangesFiles)
{
    SetRights(RIGHT_REMOTE_CONTROL | RIGHT_AGENT_SETTINGS);
    EXPECT_EQ(EverySource(), 0);
    EXPECT_EQ(g_copies, 2) << "the command and the drop still arrive";
    char path[MAX_PATH + 64];
    snprintf(path, sizeof(path), "%s\\one.txt", folder);
    EXPECT_NE(GetFileAttributesA(path), INVALID_FILE_ATTRIBUTES);

    // The context menus grey the same commands.
    HMENU item = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_FT_ITEM_MENU));
    HMENU space = LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_FT_SPACE_MENU));
    ASSERT_TRUE(item && space);
    for (int right : {0, 1}) {
        SetRights(right ? RIGHT_FILE_TRANSFER : 0);
        FtPrepareItemMenu(GetSubMenu(item, 0), &g_ft.panels[kFtLocal]);
        FtPrepareSpaceMenu(GetSubMenu(space, 0), &g_ft.panels[kFtLocal]);
        for (UINT c : {IDM_FT_COPY, IDM_FT_DELETE, IDM_FT_RENAME})
            EXPECT_EQ((GetMenuState(item, c, MF_BYCOMMAND) & MF_GRAYED) == 0, right) << c;
        EXPECT_EQ(GetMenuState(item, IDM_FT_PROPERTIES, MF_BYCOMMAND) & MF_GRAYED, 0u);
        EXPECT_EQ((GetMenuState(space, IDM_FT_NEW_FOLDER, MF_BYCOMMAND) & MF_GRAYED) == 0, right);
        EXPECT_TRUE(GetMenuState(space, IDM_FT_VIEW_DETAILS, MF_BYCOMMAND) & MF_CHECKED);
        EXPECT_TRUE(GetMenuState(space, IDM_FT_SORT_FIRST, MF_BYCOMMAND) & MF_CHECKED);
    }
    DestroyMenu(item);
    DestroyMenu(space);
}

TEST_F(FtRights, WithTheRightTheSameSourcesReachTheirCommands)
{
    // The menu's new folder, delete and rename; the two buttons; F7, F8, Delete and F2 in
    // each list; and the copy confirmation from the menu's two copies of the local
    // selection, the pad's left-to-right button, F5 in each list and the drop.
    EXPECT_EQ(EverySource(), 3 + 2 + 2 * 4 + 6);
    EXPECT_EQ(g_copies, 2);
}

TEST_F(FtRights, ADropCopiesOnlyOverTheOtherPanelsList)
{
    const struct {
        int from, onto, cancel; // cancel: 1 WM_CV_FT_CANCEL_DRAG, 2 the application deactivated
        int copies;
    } cases[] = {{kFtLocal, kFtRemote, 0, 1},  {kFtRemote, kFtLocal, 0, 1}, {kFtLocal, kFtLocal, 0, 0},
                 {kFtRemote, kFtRemote, 0, 0}, {kFtLocal, kFtRemote, 1, 0}, {kFtLocal, kFtRemote, 2, 0}};
    for (const auto &c : cases) {
        g_copies = 0;
        SelectOne(c.from);
        FilePanel *p = &g_ft.panels[c.from];
        NMLISTVIEW nm = {};
        nm.hdr.hwndFrom = p->list;
        nm.hdr.idFrom = kFtListId;
        nm.hdr.code = LVN_BEGINDRAG;
        nm.iItem = c.from == kFtLocal ? 1 : 0;
        SendMessageA(p->window, WM_NOTIFY, kFtListId, (LPARAM)&nm);
        ASSERT_EQ(GetCapture(), frame);
        EXPECT_EQ(g_ft.activePanel, c.from);
        if (c.cancel == 1)
            SendMessageA(frame, WM_CV_FT_CANCEL_DRAG, 0, 0);
        if (c.cancel == 2)
            SendMessageA(frame, WM_ACTIVATEAPP, FALSE, 0);
        EXPECT_EQ(GetCapture() == frame, c.cancel == 0);
        const POINT at = Centre(g_ft.panels[c.onto].list, frame);
        SendMessageA(frame, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        Pump(60);
        EXPECT_EQ(g_copies, c.copies) << c.from << " onto " << c.onto << " cancel " << c.cancel;
        EXPECT_NE(GetCapture(), frame);
    }
}

// One letter per item 40047..40055: 'o' bullet on, '-' bullet off, 'X' anything else.
static std::string Marks(HMENU m)
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

TEST_F(FtFrame, SortAndViewChoicesAreBulletsInTheMenuBar)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    Pump(300);
    HWND w = g_viewer.fileTransferWindow;
    const struct {
        UINT command; // 0: the language changes
        const char *marks;
    } steps[] = {{IDM_FT_REFRESH, "o----o--"},
                 {IDM_FT_SORT_FIRST + 3, "---o-o--"},
                 {IDM_FT_VIEW_LIST, "---o---o"},
                 {IDM_FT_NEXT_VIEW, "---o-o--"},
                 {0, "---o-o--"},
                 {IDM_FT_SORT_LAST, "----oo--"}};
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

TEST_F(FtFrame, AnItemWithoutAnIconAsksForNone)
{
    ASSERT_TRUE(OpenFileTransferWindow(NULL));
    Pump(300);
    FilePanel *p = &g_ft.panels[kFtRemote];
    const struct {
        int given, shown;
    } cases[] = {{-1, I_IMAGENONE}, {3, 3}};
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
