// The file-transfer frame: two panels with the pad between, menu 146, the status bar,
// the command set and the Agent's replies. UI thread only.
#include "filetransfer/frame_win.h"

#include "filetransfer/dragout_win.h"
#include "filetransfer/droptarget_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/layout.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "filetransfer/route_win.h"
#include "filetransfer/sortorder.h"
#include "resources/resource.h"
#include "session/login.h"
#include "session/state_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/notify_win.h"
#include "shell/state.h"
#include "ui/dpi_win.h"
#include "ui/help_win.h"
#include "ui/logo_win.h"
#include "ui/toolbar_win.h"

#include <commctrl.h>
#include <cstring>
#include <windowsx.h>

FtFrameState g_ft;

static const char kFrameClass[] = "CORVID:FILETRANSFER";
static const char kPadClass[] = "CORVID:FT:MIDDLEPAD";
enum { kFrameStatusId = 204, kFrameToolbarId = 205, kPadToolbarId = 203, kMinTrackW = 640, kMinTrackH = 450 };

static const ToolbarEntry kFrameButtons[] = {
    {0, IDM_FT_UP, TBSTATE_INDETERMINATE, BTNS_BUTTON},     {5, IDM_FT_ROOT, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {1, IDM_FT_NEW_FOLDER, TBSTATE_ENABLED, BTNS_BUTTON},   {2, IDM_FT_PROPERTIES, TBSTATE_INDETERMINATE, BTNS_BUTTON},
    {3, IDM_FT_DELETE, TBSTATE_INDETERMINATE, BTNS_BUTTON}, {4, IDM_FT_REFRESH, TBSTATE_ENABLED, BTNS_BUTTON},
    {6, IDM_FT_NEXT_VIEW, TBSTATE_ENABLED, BTNS_DROPDOWN},  {0, 0, 0, BTNS_SEP},
    {7, IDM_FT_DESKTOP, TBSTATE_ENABLED, BTNS_BUTTON},
};
// Wrapped, so the three stand one under the other.
static const ToolbarEntry kPadButtons[] = {
    {0, IDM_FT_COPY_RIGHT, TBSTATE_INDETERMINATE | TBSTATE_WRAP, BTNS_BUTTON},
    {1, IDM_FT_COPY_LEFT, TBSTATE_INDETERMINATE | TBSTATE_WRAP, BTNS_BUTTON},
    {2, IDM_FT_COMPARE, TBSTATE_ENABLED | TBSTATE_WRAP, BTNS_BUTTON},
};

int FtHasRight(void)
{
    EnterCriticalSection(&g_viewer.loginInfoLock);
    const int r = (g_session.info.login.rights & RIGHT_FILE_TRANSFER) != 0;
    LeaveCriticalSection(&g_viewer.loginInfoLock);
    return r;
}

// Commands that change files: without the file-transfer right they do nothing, whether
// they come from the menu, a button, a key, a context menu or a drop.
static int NeedsRight(UINT c)
{
    switch (c) {
    case IDM_FT_COPY_RIGHT:
    case IDM_FT_COPY_LEFT:
    case IDM_FT_NEW_FOLDER:
    case IDM_FT_DELETE:
    case IDM_FT_COPY:
    case IDM_FT_RENAME:
    case IDM_FT_PASTE:
        return 1;
    }
    return 0;
}

static void SetButton(HWND tb, UINT command, int on)
{
    const LRESULT st = tb ? SendMessageA(tb, TB_GETSTATE, command, 0) : -1;
    if (st == -1)
        return;
    // Other bits, the line wrap among them, stay as they are.
    BYTE b = (BYTE)(st & ~(TBSTATE_ENABLED | TBSTATE_INDETERMINATE));
    b |= on ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE;
    SendMessageA(tb, TB_SETSTATE, command, MAKELPARAM(b, 0));
}

static void Enable(UINT command, int on)
{
    if (g_ft.menu)
        EnableMenuItem(g_ft.menu, command, MF_BYCOMMAND | (on ? MF_ENABLED : MF_GRAYED));
    SetButton(g_ft.toolbar, command, on);
    SetButton(g_ft.padToolbar, command, on);
}

// A radio group of the menu bar's submenus: the chosen item gets the bullet that the
// context menu shows for the same choice, the others none.
static void Mark(UINT first, UINT last, UINT chosen)
{
    for (UINT c = first; g_ft.menu && c <= last; c++) {
        MENUITEMINFOA mi = {};
        mi.cbSize = sizeof(mi);
        mi.fMask = MIIM_FTYPE | MIIM_STATE;
        if (!GetMenuItemInfoA(g_ft.menu, c, FALSE, &mi))
            continue;
        mi.fType |= MFT_RADIOCHECK;
        mi.fState = (mi.fState & ~MFS_CHECKED) | (c == chosen ? MFS_CHECKED : 0);
        SetMenuItemInfoA(g_ft.menu, c, FALSE, &mi);
    }
}

void FtUpdateCommands(void)
{
    FilePanel *p = &g_ft.panels[g_ft.activePanel];
    const int right = FtHasRight();
    const int items = p->list ? (int)SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0) : 0;
    const int one = p->selectedCount == 1 && p->focused && strcmp(p->focused->entry.name, "..") != 0;
    const int remote = g_ft.activePanel == kFtRemote;
    const int deep = !FtIsRoot(p->currentDirectory) && strlen(p->currentDirectory) >= 3;
    Enable(IDM_FT_PROPERTIES, one);
    Enable(IDM_FT_RENAME, one && right);
    Enable(IDM_FT_DELETE, p->selectedCount > 0 && right);
    Enable(IDM_FT_UP, deep);
    Enable(IDM_FT_ROOT, deep);
    Enable(IDM_FT_SELECT_ALL, items > 0);
    Enable(IDM_FT_INVERT, p->selectedCount > 0);
    Enable(IDM_FT_NEW_FOLDER, right);
    Enable(IDM_FT_PASTE, right);
    Enable(IDM_FT_COPY, right && p->selectedCount > 0);
    Enable(IDM_FT_COPY_RIGHT, right && g_ft.panels[kFtLocal].selectedCount > 0);
    Enable(IDM_FT_COPY_LEFT, right && g_ft.panels[kFtRemote].selectedCount > 0);
    Enable(IDM_FT_COMPARE, 1);
    Enable(IDM_FT_COPY_CLIPBOARD, right && remote && p->selectedCount > 0);
    Mark(IDM_FT_SORT_FIRST, IDM_FT_SORT_LAST, IDM_FT_SORT_FIRST + (UINT)p->sortKey);
    Mark(IDM_FT_VIEW_DETAILS, IDM_FT_VIEW_LIST, IDM_FT_VIEW_DETAILS + (UINT)(p->viewStyle - FT_VIEW_DETAILS));
}

void FtHelp(HWND wnd) { ShowHelp(wnd, HELP_TOPIC_FILE_TRANSFER, 0, 0); }

static void SetViewStyle(FilePanel *p, int style)
{
    static const DWORD kStyles[] = {0, LVS_REPORT, LVS_SMALLICON, LVS_LIST};
    if (style < FT_VIEW_DETAILS || style > FT_VIEW_LIST)
        return;
    p->viewStyle = style;
    LONG_PTR s = GetWindowLongPtrA(p->list, GWL_STYLE);
    SetWindowLongPtrA(p->list, GWL_STYLE, (s & ~(LONG_PTR)LVS_TYPEMASK) | kStyles[style]);
}

static void ChangeSelection(FilePanel *p, int invert)
{
    const int n = (int)SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < n; i++) {
        LVITEMA it = {};
        it.stateMask = LVIS_SELECTED;
        const UINT was = (UINT)SendMessageA(p->list, LVM_GETITEMSTATE, i, LVIS_SELECTED);
        it.state = invert ? (was ^ LVIS_SELECTED) & LVIS_SELECTED : LVIS_SELECTED;
        SendMessageA(p->list, LVM_SETITEMSTATE, i, (LPARAM)&it);
    }
}

static void BringBack(void)
{
    HWND w = g_viewer.mainWindow;
    if (!w)
        return;
    if (IsIconic(w))
        ShowWindow(w, SW_RESTORE);
    SetForegroundWindow(w);
}

void FtFrameCommand(UINT command)
{
    if (NeedsRight(command) && !FtHasRight())
        return;
    FilePanel *p = &g_ft.panels[g_ft.activePanel];
    const int remote = g_ft.activePanel == kFtRemote;
    if (command >= IDM_FT_SORT_FIRST && command <= IDM_FT_SORT_LAST) {
        p->sortKey = (int)(command - IDM_FT_SORT_FIRST);
        FtSortList(p);
        FtUpdateCommands();
        return;
    }
    switch (command) {
    case IDM_FT_DESKTOP:
        ShowWindow(g_ft.frame, SW_MINIMIZE);
        BringBack();
        return;
    case IDM_HELP:
        FtHelp(g_ft.frame);
        return;
    case IDM_WEB_PAGE:
        OpenWebPage(g_ft.frame);
        return;
    case IDM_LOGO:
        ShowLogo(kLogoSeconds);
        return;
    case IDM_FT_COMPARE:
        FtComparePanels();
        return;
    case IDM_FT_COPY_CLIPBOARD:
        FtCopyToClipboard();
        return;
    case IDM_FT_UP:
        remote ? FtRemoteUp() : FtLocalUp();
        return;
    case IDM_FT_ROOT:
        remote ? FtRemoteRoot() : FtLocalRoot();
        return;
    case IDM_FT_REFRESH:
        remote ? FtRemoteRefresh() : FtLocalRefresh();
        return;
    case IDM_FT_REFRESH_LOCAL:
        FtLocalRefresh();
        return;
    case IDM_FT_REFRESH_REMOTE:
        FtRemoteRefresh();
        return;
    case IDM_FT_NEW_FOLDER:
        FtNewFolder();
        return;
    case IDM_FT_RENAME:
        FtStartRename();
        return;
    case IDM_FT_PROPERTIES:
        FtProperties();
        return;
    case IDM_FT_DELETE:
        FtDeleteSelection();
        return;
    case IDM_FT_COPY_RIGHT:
    case IDM_FT_COPY_LEFT:
    case IDM_FT_COPY:
        FtCopySelection(command == IDM_FT_COPY         ? g_ft.activePanel
                        : command == IDM_FT_COPY_RIGHT ? kFtLocal
                                                       : kFtRemote);
        return;
    case IDM_FT_PASTE:
        FtPasteFiles();
        return;
    case IDM_FT_SELECT_ALL:
    case IDM_FT_INVERT:
        ChangeSelection(p, command == IDM_FT_INVERT);
        return;
    case IDM_FT_NEXT_VIEW:
        SetViewStyle(p, p->viewStyle % 3 + 1);
        FtUpdateCommands();
        return;
    case IDM_FT_VIEW_DETAILS:
    case IDM_FT_VIEW_SMALL_ICONS:
    case IDM_FT_VIEW_LIST:
        SetViewStyle(p, (int)(command - IDM_FT_VIEW_DETAILS) + FT_VIEW_DETAILS);
        FtUpdateCommands();
        return;
    }
}

static void Layout(HWND frame)
{
    RECT rc;
    GetClientRect(frame, &rc);
    int s = 0;
    if (g_ft.status) {
        SendMessageA(g_ft.status, WM_SIZE, 0, 0);
        RECT sr;
        GetWindowRect(g_ft.status, &sr);
        s = sr.bottom - sr.top;
    }
    int t = 0;
    if (g_ft.toolbar) {
        SendMessageA(g_ft.toolbar, TB_AUTOSIZE, 0, 0);
        RECT tr;
        GetWindowRect(g_ft.toolbar, &tr);
        t = tr.bottom - tr.top;
    }
    int panel, pad;
    FtFrameLayout(rc.right, DisplayDpi(), &panel, &pad);
    int h = rc.bottom - s - t;
    if (h < 0)
        h = 0;
    MoveWindow(g_ft.panels[kFtLocal].window, 0, t, panel, h, TRUE);
    MoveWindow(g_ft.pad, panel, t, pad, h, TRUE);
    MoveWindow(g_ft.panels[kFtRemote].window, panel + pad, t, panel, h, TRUE);
}

static void PlacePadToolbar(void)
{
    MoveWindow(g_ft.padToolbar, ScaleForDpi(4), ScaleForDpi(40), ScaleForDpi(28), ScaleForDpi(100), TRUE);
}

static HMENU LoadFrameMenu(void) { return LoadMenuA(g_viewer.activeLanguage, MAKEINTRESOURCEA(IDR_FT_MENU)); }

// Item states carried by position: top-level submenus and one level below.
static void CarryStates(HMENU from, HMENU to, int depth)
{
    const int n = GetMenuItemCount(from);
    for (int i = 0; i < n && i < GetMenuItemCount(to); i++) {
        HMENU a = GetSubMenu(from, i), b = GetSubMenu(to, i);
        if (a && b && depth < 2) {
            CarryStates(a, b, depth + 1);
            continue;
        }
        const UINT st = GetMenuState(from, i, MF_BYPOSITION);
        if (st == (UINT)-1)
            continue;
        EnableMenuItem(to, i, MF_BYPOSITION | ((st & MF_GRAYED) ? MF_GRAYED : MF_ENABLED));
        CheckMenuItem(to, i, MF_BYPOSITION | ((st & MF_CHECKED) ? MF_CHECKED : MF_UNCHECKED));
        MENUITEMINFOA was = {}, mi = {};
        was.cbSize = mi.cbSize = sizeof(mi);
        was.fMask = mi.fMask = MIIM_FTYPE;
        if (GetMenuItemInfoA(from, (UINT)i, TRUE, &was) && (was.fType & MFT_RADIOCHECK) &&
            GetMenuItemInfoA(to, (UINT)i, TRUE, &mi)) {
            mi.fType |= MFT_RADIOCHECK; // a bullet stays a bullet
            SetMenuItemInfoA(to, (UINT)i, TRUE, &mi);
        }
    }
}

static void OnLanguageChanged(HWND frame)
{
    HMENU fresh = LoadFrameMenu();
    if (fresh) {
        HMENU old = g_ft.menu;
        if (old)
            CarryStates(old, fresh, 0);
        SetMenu(frame, fresh);
        g_ft.menu = fresh;
        if (old)
            DestroyMenu(old);
        DrawMenuBar(frame);
    }
    for (int i = 0; i < kFtPanels; i++)
        FtPanelLanguageChanged(&g_ft.panels[i]);
}

static void OnReply(UINT message, LPARAM block)
{
    const SessPacketHeader *h = (const SessPacketHeader *)block;
    if (message == (UINT)FtReplyMessage(PKT_FT_DIR_LISTING))
        FtOnListingPacket(h, (const uint8_t *)(h + 1));
    else if (message == (UINT)FtReplyMessage(PKT_FT_SET_ATTRIBUTES_RESULT) ||
             message == (UINT)FtReplyMessage(PKT_FT_RENAME_RESULT) ||
             message == (UINT)FtReplyMessage(PKT_FT_CREATE_DIR_RESULT))
        FtOnResultPacket(h, (const uint8_t *)(h + 1));
    else if (message == (UINT)FtReplyMessage(PKT_FT_CONFIRM_DELETE))
        FtOnQuestionPacket(h, (const uint8_t *)(h + 1));
    else if (message == (UINT)FtReplyMessage(PKT_FT_ERROR))
        FtOnErrorPacket(h, (const uint8_t *)(h + 1));
    else if (message == (UINT)FtReplyMessage(PKT_FT_ACK))
        FtOnAckPacket(h, (const uint8_t *)(h + 1));
    else if (message == (UINT)FtReplyMessage(PKT_FT_CONFIRM_OVERWRITE))
        FtOnOverwritePacket(h, (const uint8_t *)(h + 1));
    else
        WriteLogF("File-transfer packet type %u with no operation open: dropped.", (unsigned)h->dwType);
    FtFreeReply(block);
}

// Drive icons in the order of the drive types' icon indices.
static HIMAGELIST MakeDriveIcons(void)
{
    static const WORD kIcons[] = {IDI_FT_DRIVE_REMOVABLE, IDI_FT_DRIVE_FIXED, IDI_FT_DRIVE_CDROM, IDI_FT_DRIVE_RAM,
                                  IDI_FT_DRIVE_REMOTE};
    const int size = ScaleForDpi(16);
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR8 | ILC_MASK, 5, 0);
    // Five places first: a picture that cannot be loaded leaves its place empty and
    // the indices of the others right.
    if (!list || !ImageList_SetImageCount(list, 5))
        return list;
    for (int i = 0; i < 5; i++) {
        HICON icon = (HICON)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(kIcons[i]), IMAGE_ICON, size, size, 0);
        if (icon) {
            ImageList_ReplaceIcon(list, i, icon);
            DestroyIcon(icon);
        }
    }
    return list;
}

static int OnCreate(HWND frame)
{
    // A creation that fails here is destroyed at once: no handle of an earlier window's
    // controls may be left for that to meet.
    memset(g_ft.panels, 0, sizeof(g_ft.panels));
    if (!FtCreateIconProbe())
        return 0;
    g_ft.frame = frame;
    g_ft.dragging = FALSE;
    g_ft.menu = LoadFrameMenu();
    if (g_ft.menu)
        SetMenu(frame, g_ft.menu);
    g_ft.status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, frame,
                                  (HMENU)(INT_PTR)kFrameStatusId, g_viewer.instance, NULL);
    g_ft.toolbar =
        CreateEntryToolbar(frame, kFrameToolbarId, TBSTYLE_FLAT | CCS_TOP, TBSTYLE_EX_DRAWDDARROWS, IDB_FT_TOOLBAR,
                           kFrameButtons, (int)(sizeof(kFrameButtons) / sizeof(kFrameButtons[0])));
    g_ft.driveIcons = MakeDriveIcons();
    for (int i = 0; i < kFtPanels; i++) {
        FilePanel *p = &g_ft.panels[i];
        memset(p, 0, sizeof(*p));
        p->currentDrive = -1;
        p->viewStyle = FT_VIEW_DETAILS;
        if (!FtCreatePanel(frame, i))
            return 0;
    }
    g_ft.pad =
        CreateWindowExA(0, kPadClass, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, frame, NULL, g_viewer.instance, NULL);
    if (g_ft.pad) {
        g_ft.padToolbar =
            CreateEntryToolbar(g_ft.pad, kPadToolbarId, TBSTYLE_FLAT | TBSTYLE_WRAPABLE | CCS_NODIVIDER | CCS_NORESIZE,
                               0, IDB_FT_PAD, kPadButtons, (int)(sizeof(kPadButtons) / sizeof(kPadButtons[0])));
        if (g_ft.padToolbar)
            PlacePadToolbar();
    }
    g_ft.activePanel = kFtLocal;
    PostMessageA(frame, WM_COMMAND, IDM_FT_REFRESH_LOCAL, 0);
    PostMessageA(frame, WM_COMMAND, IDM_FT_REFRESH_REMOTE, 0);
    return g_ft.pad != NULL;
}

static void OnDestroy(HWND frame)
{
    FtCancelDrag();
    FtDropPendingReplies(frame);
    g_viewer.fileTransferWindow = NULL;
    // Messages posted between the drop and the line above are refused with the window.
    FtDropPendingReplies(frame);
    for (int i = 0; i < kFtPanels; i++)
        FtClearList(&g_ft.panels[i]);
    g_ft.menu = NULL; // destroyed with the window
    g_ft.frame = NULL;
    g_ft.toolbar = g_ft.padToolbar = g_ft.pad = g_ft.status = NULL;
    if (g_ft.driveIcons)
        ImageList_Destroy(g_ft.driveIcons);
    g_ft.driveIcons = NULL;
    FtDeleteIconProbe();
}

static POINT ScreenPoint(HWND wnd, LPARAM lp)
{
    POINT pt = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
    ClientToScreen(wnd, &pt);
    return pt;
}

static LRESULT CALLBACK FrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CV_FT_REPLIES) {
        UINT message;
        LPARAM block;
        if (FtTakeReply(&message, &block))
            OnReply(message, block);
        return 0;
    }
    switch (msg) {
    case WM_CREATE:
        return OnCreate(wnd) ? 0 : -1;
    case WM_SIZE:
        Layout(wnd);
        return 0;
    case WM_GETMINMAXINFO:
        ((MINMAXINFO *)lp)->ptMinTrackSize.x = ScaleForDpi(kMinTrackW);
        ((MINMAXINFO *)lp)->ptMinTrackSize.y = ScaleForDpi(kMinTrackH);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wp) != WA_INACTIVE)
            FtFocusList(&g_ft.panels[g_ft.activePanel]);
        return 0;
    case WM_ACTIVATEAPP:
        if (!wp)
            FtCancelDrag();
        break;
    case WM_MOUSEMOVE:
        FtDragMove(ScreenPoint(wnd, lp));
        return 0;
    case WM_LBUTTONUP:
        FtEndDrag(ScreenPoint(wnd, lp), 1);
        return 0;
    case WM_CAPTURECHANGED:
        if ((HWND)lp != wnd)
            FtCancelDrag();
        return 0;
    case WM_CV_FT_CANCEL_DRAG:
        FtCancelDrag();
        return 0;
    case WM_COMMAND:
        FtFrameCommand(LOWORD(wp));
        return 0;
    case WM_NOTIFY:
        return OnToolbarNotify(wnd, wp, lp);
    case WM_MENUSELECT:
        ShowMenuHelp(wp, lp, g_ft.menu, g_viewer.activeLanguage, g_ft.status);
        return 0;
    case WM_CV_LANGUAGE_CHANGED:
        OnLanguageChanged(wnd);
        return 0;
    case WM_CLOSE:
        DestroyWindow(wnd);
        BringBack();
        return 0;
    case WM_DESTROY:
        OnDestroy(wnd);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

static LRESULT CALLBACK PadProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && g_ft.frame)
        return SendMessageA(g_ft.frame, msg, wp, lp);
    if (msg == WM_NOTIFY)
        return OnToolbarNotify(wnd, wp, lp);
    if (msg == WM_SIZE && g_ft.padToolbar) // the toolbar keeps its place whatever the pad's size
        PlacePadToolbar();
    return DefWindowProcA(wnd, msg, wp, lp);
}

static int RegisterClasses(void)
{
    static int done;
    if (done)
        return 1;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = g_viewer.instance;
    wc.hIcon = LoadIconA(g_viewer.instance, MAKEINTRESOURCEA(103));
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassA(&wc))
        return 0;
    wc.lpfnWndProc = PadProc;
    wc.hIcon = NULL;
    wc.lpszClassName = kPadClass;
    if (!RegisterClassA(&wc) || !FtRegisterPanelClass())
        return 0;
    done = 1;
    return 1;
}

int OpenFileTransferWindow(HWND mainWindow)
{
    if (!FtHasRight())
        return 0;
    HWND w = g_viewer.fileTransferWindow;
    if (!w) {
        if (!RegisterClasses()) {
            WriteLogF("The file-transfer window classes cannot be registered (error %lu).", GetLastError());
            return 0;
        }
        w = CreateWindowExA(0, kFrameClass, g_viewer.names.fileTransferTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, g_viewer.instance,
                            NULL);
        if (!w) {
            WriteLogF("The file-transfer window cannot be created (error %lu).", GetLastError());
            return 0;
        }
        g_viewer.fileTransferWindow = w;
        ShowWindow(w, SW_SHOWMAXIMIZED);
        FtUpdateCommands();
    } else if (IsIconic(w)) {
        ShowWindow(w, SW_RESTORE);
    }
    SetForegroundWindow(w);
    BringWindowToTop(w);
    if (mainWindow)
        ShowWindow(mainWindow, SW_MINIMIZE);
    return 1;
}
