// A file-transfer panel: caption, drive combo, directory edit, list view and status
// bar, with the keyboard rules of its three controls. UI thread only.
#include "filetransfer/panel_win.h"

#include "filetransfer/displaytext.h"
#include "filetransfer/droptarget_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/layout.h"
#include "filetransfer/sortorder.h"
#include "lang/stringids.h"
#include "shell/messages.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/dpi_win.h"

#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <shellapi.h>
#include <windowsx.h>

static const char kPanelClass[] = "CORVID:FT:PANEL";
static const int kColumnText[5] = {IDS_FT_COL_NAME, IDS_FT_COL_SIZE, IDS_FT_COL_TYPE, IDS_FT_COL_MODIFIED,
                                   IDS_FT_COL_ATTRIBUTES};
static const int kColumnWidth[5] = {130, 60, 100, 95, 70};
static WNDPROC g_listProc[kFtPanels];
static int g_pickPosted[kFtPanels];

FilePanel *FtPanelOf(HWND w)
{
    const int i = (int)GetWindowWord(w, 0);
    return i >= 0 && i < kFtPanels ? &g_ft.panels[i] : &g_ft.panels[0];
}

static int IndexOf(const FilePanel *p) { return (int)(p - g_ft.panels); }

static FileItem *ItemAt(HWND list, int i)
{
    LVITEMA it = {};
    it.mask = LVIF_PARAM;
    it.iItem = i;
    return SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&it) ? (FileItem *)it.lParam : NULL;
}

FileItem *FtFocusedItem(FilePanel *p)
{
    const int i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    return i < 0 ? NULL : ItemAt(p->list, i);
}

void FtClearList(FilePanel *p)
{
    if (p->list)
        SendMessageA(p->list, LVM_DELETEALLITEMS, 0, 0); // LVN_DELETEITEM frees each record
    p->focused = NULL;
    p->selectedCount = 0;
    p->selectedBytes = 0;
}

int FtAppendItem(FilePanel *p, const FtEntry *e, int image, const char *typeName)
{
    FileItem *f = (FileItem *)HeapAlloc(GetProcessHeap(), 0, sizeof(FileItem));
    if (!f)
        return 0;
    f->entry = *e;
    f->entry.name[kFtPathMax] = 0;
    snprintf(f->typeName, sizeof(f->typeName), "%s", typeName ? typeName : "");
    LVITEMA it = {};
    it.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    it.iItem = INT_MAX;
    it.pszText = f->entry.name;
    // -1 is I_IMAGECALLBACK, which the display-info handler does not answer.
    it.iImage = image >= 0 ? image : I_IMAGENONE;
    it.lParam = (LPARAM)f;
    if (SendMessageA(p->list, LVM_INSERTITEMA, 0, (LPARAM)&it) < 0) {
        HeapFree(GetProcessHeap(), 0, f);
        return 0;
    }
    return 1;
}

static int CALLBACK CompareForSort(LPARAM a, LPARAM b, LPARAM key)
{
    return FtCompareItems(&((FileItem *)a)->entry, &((FileItem *)b)->entry, (int)key);
}

void FtHoldRedraw(FilePanel *p, int hold)
{
    SendMessageA(p->list, WM_SETREDRAW, !hold, 0);
    if (!hold)
        InvalidateRect(p->list, NULL, TRUE);
}

void FtSortList(FilePanel *p) { SendMessageA(p->list, LVM_SORTITEMS, (WPARAM)p->sortKey, (LPARAM)CompareForSort); }

void FtSelectNamed(FilePanel *p, const char *name)
{
    const int n = (int)SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0);
    int chosen = 0;
    for (int i = 0; name && name[0] && i < n; i++) {
        FileItem *f = ItemAt(p->list, i);
        if (!f || !f->entry.directory)
            break; // the folders lead; the search ends at the first file
        if (FtCompareNames(f->entry.name, name) == 0) {
            chosen = i;
            break;
        }
    }
    if (n == 0) {
        FtUpdateStatus(p);
        return;
    }
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(p->list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&it);
    it.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(p->list, LVM_SETITEMSTATE, chosen, (LPARAM)&it);
    SendMessageA(p->list, LVM_ENSUREVISIBLE, chosen, FALSE);
}

void FtShowDirectory(FilePanel *p) { SetWindowTextA(p->edit, p->currentDirectory); }

static void SizeText(uint64_t bytes, UINT formattedId, UINT plainId, char *out, size_t cap)
{
    char unit[128], number[64];
    if (g_viewer.strFormatByteSize64) {
        g_viewer.strFormatByteSize64((LONGLONG)bytes, number, sizeof(number));
        LoadLangString(formattedId, unit, sizeof(unit));
    } else {
        snprintf(number, sizeof(number), "%llu", (unsigned long long)bytes);
        LoadLangString(plainId, unit, sizeof(unit));
    }
    snprintf(out, cap, "%s%s", number, unit);
}

static void SetStatusPart(FilePanel *p, int part, const char *text)
{
    // The language's own code page, whatever the system's.
    WCHAR wide[256];
    const UINT cp = LanguageCodePage(g_viewer.activeLanguage);
    if (!MultiByteToWideChar(cp, 0, text, -1, wide, 256))
        wide[0] = 0;
    SendMessageW(p->status, SB_SETTEXTW, part, (LPARAM)wide);
}

void FtUpdateStatus(FilePanel *p)
{
    char unit[128], text[256];
    LoadLangString(IDS_FT_SELECTED_ITEMS, unit, sizeof(unit));
    snprintf(text, sizeof(text), "%u%s", (unsigned)p->selectedCount, unit);
    SetStatusPart(p, 0, text);
    SizeText(p->selectedBytes, IDS_FT_SELECTED_SIZE, IDS_FT_SELECTED_BYTES, text, sizeof(text));
    SetStatusPart(p, 1, text);
    SizeText(p->freeBytes, IDS_FT_FREE_SIZE, IDS_FT_FREE_BYTES, text, sizeof(text));
    SetStatusPart(p, 2, text);
}

void FtRecountSelection(FilePanel *p)
{
    p->selectionPending = FALSE;
    p->selectedCount = 0;
    p->selectedBytes = 0;
    int i = -1;
    while ((i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)i, LVNI_SELECTED)) >= 0) {
        FileItem *f = ItemAt(p->list, i);
        if (!f || strcmp(f->entry.name, "..") == 0)
            continue;
        p->selectedCount++;
        if (!f->entry.directory)
            p->selectedBytes += f->entry.size;
    }
    p->focused = FtFocusedItem(p);
    FtUpdateStatus(p);
    FtUpdateCommands();
}

void FtRebuildDriveCombo(FilePanel *p)
{
    SendMessageA(p->combo, CB_RESETCONTENT, 0, 0);
    for (int d = 0; d < kFtDriveCount; d++) {
        DriveSlot *s = &p->drives[d];
        s->comboIndex = -1;
        if (!s->type)
            continue;
        COMBOBOXEXITEMA it = {};
        it.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE | CBEIF_LPARAM;
        it.iItem = -1;
        it.pszText = s->name;
        it.iImage = it.iSelectedImage = s->icon;
        it.lParam = d;
        s->comboIndex = (int)SendMessageA(p->combo, CBEM_INSERTITEMA, 0, (LPARAM)&it);
    }
    if (p->currentDrive >= 0 && p->currentDrive < kFtDriveCount)
        SendMessageA(p->combo, CB_SETCURSEL, p->drives[p->currentDrive].comboIndex, 0);
}

static void SetCaption(FilePanel *p)
{
    char head[128], text[256];
    const int i = IndexOf(p);
    LoadLangString(i == kFtLocal ? IDS_FT_LOCAL_CAPTION : IDS_FT_REMOTE_CAPTION, head, sizeof(head));
    snprintf(text, sizeof(text), "%s - [%s]", head,
             i == kFtLocal ? g_viewer.localComputerName : g_viewer.target.hostText);
    SetLangText(p->caption, text);
}

static void SetColumnTitles(FilePanel *p, int insert)
{
    for (int c = 0; c < 5; c++) {
        char title[128];
        WCHAR wide[128];
        LoadLangString(kColumnText[c], title, sizeof(title));
        MultiByteToWideChar(LanguageCodePage(g_viewer.activeLanguage), 0, title, -1, wide, 128);
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | (insert ? LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM : 0);
        col.fmt = LVCFMT_LEFT;
        col.cx = ScaleForDpi(kColumnWidth[c]);
        col.iSubItem = c;
        col.pszText = wide;
        SendMessageW(p->list, insert ? LVM_INSERTCOLUMNW : LVM_SETCOLUMNW, c, (LPARAM)&col);
    }
}

void FtPanelLanguageChanged(FilePanel *p)
{
    if (!p->window)
        return;
    SetCaption(p);
    SetColumnTitles(p, 0);
    FtUpdateStatus(p);
}

void FtFocusList(FilePanel *p)
{
    if (p->list)
        SetFocus(p->list);
}

void FtSetActivePanel(int index)
{
    if (index < 0 || index >= kFtPanels)
        return;
    g_ft.activePanel = index;
    for (int i = 0; i < kFtPanels; i++)
        if (g_ft.panels[i].caption)
            InvalidateRect(g_ft.panels[i].caption, NULL, TRUE);
    FtUpdateCommands();
}

// ---- navigation, by side -------------------------------------------------------------
static void OpenItem(FilePanel *p)
{
    FileItem *f = FtFocusedItem(p);
    if (!f || !f->entry.directory)
        return;
    IndexOf(p) == kFtLocal ? FtLocalOpen() : FtRemoteOpen();
}

static void TypedPath(FilePanel *p)
{
    char text[kFtPathField + 8] = {};
    GetWindowTextA(p->edit, text, kFtPathField);
    const int taken = IndexOf(p) == kFtLocal ? FtLocalTyped(text) : FtRemoteTyped(text);
    if (!taken)
        FtShowDirectory(p);
}

static void DrivePicked(FilePanel *p)
{
    const int sel = (int)SendMessageA(p->combo, CB_GETCURSEL, 0, 0);
    if (sel < 0)
        return;
    COMBOBOXEXITEMA it = {};
    it.mask = CBEIF_LPARAM;
    it.iItem = sel;
    if (!SendMessageA(p->combo, CBEM_GETITEMA, 0, (LPARAM)&it) || it.lParam < 0 || it.lParam >= kFtDriveCount)
        return;
    IndexOf(p) == kFtLocal ? FtLocalDrivePicked((int)it.lParam) : FtRemoteDrivePicked((int)it.lParam);
}

static void FocusOther(FilePanel *p)
{
    const int other = 1 - IndexOf(p);
    FtSetActivePanel(other);
    FtFocusList(&g_ft.panels[other]);
}

static int Down(int vk) { return GetKeyState(vk) < 0; }

// ---- keyboard rules --------------------------------------------------------------------
static int ListKey(FilePanel *p, WORD vk)
{
    const int ctrl = Down(VK_CONTROL), shift = Down(VK_SHIFT);
    const int remote = IndexOf(p) == kFtRemote;
    // A key in a panel's list acts on that panel, whatever made it hold the focus.
    if (IndexOf(p) != g_ft.activePanel)
        FtSetActivePanel(IndexOf(p));
    switch (vk) {
    case VK_TAB:
        if (ctrl)
            FocusOther(p);
        else
            SetFocus(shift ? p->edit : p->combo);
        return 1;
    case 'R':
        if (!ctrl)
            return 0;
        FtFrameCommand(remote ? IDM_FT_REFRESH_REMOTE : IDM_FT_REFRESH_LOCAL);
        return 1;
    case 'A':
        if (!ctrl)
            return 0;
        FtFrameCommand(IDM_FT_SELECT_ALL);
        return 1;
    case 'V':
        if (!ctrl || !remote)
            return 0;
        FtFrameCommand(IDM_FT_PASTE);
        return 1;
    case 'C':
        if (!ctrl || !remote)
            return 0;
        FtFrameCommand(IDM_FT_COPY_CLIPBOARD);
        return 1;
    case VK_DIVIDE:
        if (!ctrl)
            return 0;
        FtFrameCommand(IDM_FT_ROOT);
        return 1;
    case VK_F1:
        FtHelp(p->window);
        return 1;
    case VK_F2:
        FtFrameCommand(IDM_FT_RENAME);
        return 1;
    case VK_DELETE:
    case VK_F8:
        FtFrameCommand(IDM_FT_DELETE);
        return 1;
    case VK_F5:
        FtFrameCommand(remote ? IDM_FT_COPY_LEFT : IDM_FT_COPY_RIGHT);
        return 1;
    case VK_F7:
        FtFrameCommand(IDM_FT_NEW_FOLDER);
        return 1;
    case VK_F9:
        FtFrameCommand(IDM_FT_COMPARE);
        return 1;
    case VK_BACK:
        FtFrameCommand(IDM_FT_UP);
        return 1;
    }
    return 0;
}

// Alt combinations come as WM_SYSKEYDOWN, which the list view does not notify.
static int ListAltKey(FilePanel *p, WPARAM vk)
{
    switch (vk) {
    case VK_RETURN:
        if (IndexOf(p) != g_ft.activePanel)
            FtSetActivePanel(IndexOf(p));
        FtFrameCommand(IDM_FT_PROPERTIES);
        return 1;
    case VK_F1:
    case VK_F2: {
        FilePanel *to = &g_ft.panels[vk == VK_F1 ? kFtLocal : kFtRemote];
        FtSetActivePanel(IndexOf(to));
        SetFocus(to->combo);
        SendMessageA(to->combo, CB_SHOWDROPDOWN, TRUE, 0);
        return 1;
    }
    }
    return 0;
}

static LRESULT CALLBACK ListProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    FilePanel *p = FtPanelOf(GetParent(w));
    const WNDPROC next = g_listProc[IndexOf(p)];
    if (msg == WM_SYSKEYDOWN && (wp == VK_RETURN || wp == VK_F1 || wp == VK_F2)) {
        // The default handling first, so the Alt that is let go afterwards does not
        // open the menu bar; the list's own would notify the key a second time.
        DefWindowProcA(w, msg, wp, lp);
        ListAltKey(p, wp);
        return 0;
    }
    if (msg == WM_SYSCHAR && wp == '\r')
        return 0; // Alt+Enter: no menu mnemonic to look for, no beep
    return CallWindowProcA(next, w, msg, wp, lp);
}

static LRESULT CALLBACK EditProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    FilePanel *p = FtPanelOf(GetParent(w));
    if (msg == WM_KEYDOWN) {
        switch (wp) {
        case VK_TAB:
            if (Down(VK_CONTROL))
                FocusOther(p);
            else
                SetFocus(Down(VK_SHIFT) ? p->combo : p->list);
            return 0;
        case VK_F1:
            FtHelp(p->window);
            return 0;
        case VK_RETURN: {
            const LRESULT r = CallWindowProcA(p->editProc, w, msg, wp, lp);
            TypedPath(p);
            return r;
        }
        }
    }
    if (msg == WM_CHAR && (wp == '\r' || wp == '\t'))
        return 0; // no beep for the keys handled above
    return CallWindowProcA(p->editProc, w, msg, wp, lp);
}

static LRESULT CALLBACK ComboProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    // The inner combo's parent is the extended combo, whose parent is the panel.
    FilePanel *p = FtPanelOf(GetParent(GetParent(w)));
    if (msg == WM_KEYDOWN) {
        switch (wp) {
        case VK_TAB:
            if (Down(VK_CONTROL))
                FocusOther(p);
            else
                SetFocus(Down(VK_SHIFT) ? p->list : p->edit);
            return 0;
        case VK_F1:
            FtHelp(p->window);
            return 0;
        }
    }
    if (msg == WM_CHAR) {
        const int c = (int)(wp & 0xFF);
        if (wp == '\t')
            return 0;
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            const int d = (c | 0x20) - 'a';
            if (p->drives[d].comboIndex >= 0) {
                SendMessageA(p->combo, CB_SETCURSEL, p->drives[d].comboIndex, 0);
                DrivePicked(p);
            }
            return 0;
        }
    }
    return CallWindowProcA(p->comboProc, w, msg, wp, lp);
}

// ---- the panel window --------------------------------------------------------------
static void Layout(FilePanel *p)
{
    RECT rc, sr, cr;
    GetClientRect(p->window, &rc);
    SendMessageA(p->status, WM_SIZE, 0, 0);
    GetWindowRect(p->status, &sr);
    GetWindowRect(p->combo, &cr);
    FtPanelLayout l;
    FtLayoutPanel(rc.right, rc.bottom, sr.bottom - sr.top, cr.bottom - cr.top, DisplayDpi(), &l);
    int parts[3] = {l.parts[0], l.parts[1], l.parts[2]};
    SendMessageA(p->status, SB_SETPARTS, 3, (LPARAM)parts);
    MoveWindow(p->caption, l.caption.x, l.caption.y, l.caption.w, l.caption.h, TRUE);
    SetWindowPos(p->combo, NULL, l.combo.x, l.combo.y, l.combo.w, ScaleForDpi(200), SWP_NOZORDER);
    MoveWindow(p->edit, l.edit.x, l.edit.y, l.edit.w, l.edit.h, TRUE);
    MoveWindow(p->list, l.list.x, l.list.y, l.list.w, l.list.h, TRUE);
}

static void OnDisplayText(FilePanel *, NMLVDISPINFOA *di)
{
    static char text[kFtCellText]; // valid until the next request
    FileItem *f = (FileItem *)di->item.lParam;
    if (!(di->item.mask & LVIF_TEXT) || !f)
        return;
    text[0] = 0;
    switch (di->item.iSubItem) {
    case 0:
        di->item.pszText = f->entry.name;
        return;
    case 1:
        FtSizeText(&f->entry, text);
        break;
    case 2:
        di->item.pszText = f->typeName;
        return;
    case 3: {
        FILETIME utc, local;
        SYSTEMTIME st;
        utc.dwLowDateTime = (DWORD)f->entry.written;
        utc.dwHighDateTime = (DWORD)(f->entry.written >> 32);
        FtLocalTime t = {};
        if (FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &st)) {
            t = FtLocalTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute};
            FtModifiedText(&f->entry, &t, text);
        }
        break;
    }
    case 4:
        FtAttributeText(f->entry.attributes, text);
        break;
    }
    di->item.pszText = text;
}

// The item at a point of the list's client area, -1 for empty space: in details view
// a point in any column of a row counts.
static int ItemUnder(FilePanel *p, POINT at)
{
    LVHITTESTINFO hit = {};
    hit.pt = at;
    if (SendMessageA(p->list, LVM_SUBITEMHITTEST, 0, (LPARAM)&hit) >= 0 && hit.iItem >= 0)
        return hit.iItem;
    hit = LVHITTESTINFO{};
    hit.pt = at;
    const int i = (int)SendMessageA(p->list, LVM_HITTEST, 0, (LPARAM)&hit);
    return i >= 0 && (hit.flags & LVHT_ONITEM) ? i : -1;
}

static LRESULT OnNotify(FilePanel *p, NMHDR *n)
{
    if (n->hwndFrom != p->list)
        return 0;
    switch (n->code) {
    case LVN_GETDISPINFOA:
        OnDisplayText(p, (NMLVDISPINFOA *)n);
        return 0;
    case LVN_DELETEITEM:
        HeapFree(GetProcessHeap(), 0, (void *)((NMLISTVIEW *)n)->lParam);
        return 0;
    case LVN_DELETEALLITEMS:
        return FALSE; // a LVN_DELETEITEM for each, so each record is freed
    case LVN_ITEMCHANGED:
        if (!p->selectionPending) {
            p->selectionPending = TRUE;
            PostMessageA(p->window, WM_CV_FT_SELECTION, 0, 0);
        }
        return 0;
    case LVN_COLUMNCLICK: {
        const int c = ((NMLISTVIEW *)n)->iSubItem;
        if (c >= 0 && c < 5) {
            p->sortKey = c;
            FtSortList(p);
            FtUpdateCommands();
        }
        return 0;
    }
    case LVN_KEYDOWN:
        ListKey(p, ((NMLVKEYDOWN *)n)->wVKey);
        return 0;
    case NM_SETFOCUS:
        if (IndexOf(p) != g_ft.activePanel)
            FtSetActivePanel(IndexOf(p));
        return 0;
    case NM_RETURN:
        if (IndexOf(p) != g_ft.activePanel)
            FtSetActivePanel(IndexOf(p));
        OpenItem(p);
        return 0;
    case NM_DBLCLK:
        if (ItemUnder(p, ((NMITEMACTIVATE *)n)->ptAction) >= 0)
            OpenItem(p);
        return 0;
    case LVN_BEGINDRAG: {
        const NMLISTVIEW *nm = (const NMLISTVIEW *)n;
        FtBeginDrag(p, nm->iItem, nm->ptAction);
        return 0;
    }
    case NM_RCLICK: {
        const DWORD at = GetMessagePos();
        const POINT screen = {(short)LOWORD(at), (short)HIWORD(at)};
        FtPanelContextMenu(p, screen);
        return 0;
    }
    case LVN_BEGINLABELEDITA:
        return FtBeginLabelEdit(p, (NMLVDISPINFOA *)n);
    case LVN_ENDLABELEDITA:
        FtEndLabelEdit(p, (NMLVDISPINFOA *)n);
        return FALSE; // the rename sets the text itself when it succeeds
    }
    return 0;
}

static LRESULT OnCaptionColour(FilePanel *p, HDC dc)
{
    const int active = IndexOf(p) == g_ft.activePanel;
    SetTextColor(dc, GetSysColor(active ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    SetBkMode(dc, TRANSPARENT);
    return (LRESULT)GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
}

static int OnCreate(HWND w, int index)
{
    SetWindowWord(w, 0, (WORD)index);
    FilePanel *p = &g_ft.panels[index];
    p->window = w;
    HINSTANCE inst = g_viewer.instance;
    HFONT font = (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    p->status =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w, (HMENU)kFtStatusId, inst, NULL);
    p->caption = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOTIFY, 0, 0, 0, 0, w,
                                 (HMENU)kFtCaptionId, inst, NULL);
    p->combo = CreateWindowExA(0, WC_COMBOBOXEXA, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST, 0,
                               ScaleForDpi(18), ScaleForDpi(60), ScaleForDpi(200), w, (HMENU)kFtComboId, inst, NULL);
    p->edit = CreateWindowExA(0, "EDIT", "Current Directory", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0, 0, 0, w,
                              (HMENU)kFtEditId, inst, NULL);
    p->list = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                  LVS_SHAREIMAGELISTS | LVS_EDITLABELS,
                              0, 0, 0, 0, w, (HMENU)kFtListId, inst, NULL);
    if (!p->status || !p->caption || !p->combo || !p->edit || !p->list)
        return 0;
    SendMessageA(p->caption, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageA(p->edit, WM_SETFONT, (WPARAM)font, FALSE);
    SendMessageA(p->edit, EM_LIMITTEXT, kFtPathMax, 0);
    SendMessageA(p->list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    if (g_ft.driveIcons)
        SendMessageA(p->combo, CBEM_SETIMAGELIST, 0, (LPARAM)g_ft.driveIcons);
    SHFILEINFOA sfi = {};
    HIMAGELIST sys = (HIMAGELIST)SHGetFileInfoA("C:\\", 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    if (sys)
        SendMessageA(p->list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)sys);
    SetColumnTitles(p, 1);
    p->editProc = (WNDPROC)SetWindowLongPtrA(p->edit, GWLP_WNDPROC, (LONG_PTR)EditProc);
    g_listProc[index] = (WNDPROC)SetWindowLongPtrA(p->list, GWLP_WNDPROC, (LONG_PTR)ListProc);
    HWND inner = (HWND)SendMessageA(p->combo, CBEM_GETCOMBOCONTROL, 0, 0);
    if (inner)
        p->comboProc = (WNDPROC)SetWindowLongPtrA(inner, GWLP_WNDPROC, (LONG_PTR)ComboProc);
    SetCaption(p);
    FtUpdateStatus(p);
    if (index == kFtRemote)
        FtRegisterDropTarget(w);
    return 1;
}

static int OwnsFocus(FilePanel *p, HWND f)
{
    return f && (f == p->list || f == p->edit || f == p->combo || IsChild(p->combo, f));
}

// A click anywhere in the panel makes it active; on the caption, the status bar or
// empty space the keys follow it, as the combo, edit and list take them themselves.
static void OnClick(FilePanel *p, HWND on)
{
    if (IndexOf(p) != g_ft.activePanel)
        FtSetActivePanel(IndexOf(p));
    if (OwnsFocus(p, on) || OwnsFocus(p, GetFocus()))
        return;
    SetFocus(SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0) > 0 ? p->list : p->combo);
}

static LRESULT CALLBACK PanelProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        return OnCreate(w, (int)(INT_PTR)((CREATESTRUCTA *)lp)->lpCreateParams) ? 0 : -1;
    case WM_SIZE:
        Layout(FtPanelOf(w));
        return 0;
    case WM_NOTIFY:
        return OnNotify(FtPanelOf(w), (NMHDR *)lp);
    case WM_COMMAND: {
        // A pick from the open list ends in CBN_SELENDOK, also for the drive shown
        // already; a change with the list closed (arrow keys) only in CBN_SELCHANGE. The
        // order of the two varies, so the pick is taken once, after both.
        FilePanel *p = FtPanelOf(w);
        const int i = IndexOf(p);
        const WORD code = HIWORD(wp);
        if (LOWORD(wp) == kFtComboId && !g_pickPosted[i] &&
            (code == CBN_SELENDOK || (code == CBN_SELCHANGE && !SendMessageA(p->combo, CB_GETDROPPEDSTATE, 0, 0))))
            g_pickPosted[i] = PostMessageA(w, WM_FT_DRIVE_PICKED, 0, 0) != 0;
        return 0;
    }
    case WM_FT_DRIVE_PICKED:
        g_pickPosted[IndexOf(FtPanelOf(w))] = 0;
        DrivePicked(FtPanelOf(w));
        return 0;
    case WM_CTLCOLORSTATIC:
        if ((HWND)lp == FtPanelOf(w)->caption)
            return OnCaptionColour(FtPanelOf(w), (HDC)wp);
        break;
    case WM_MOUSEACTIVATE:
        if (IndexOf(FtPanelOf(w)) != g_ft.activePanel)
            FtSetActivePanel(IndexOf(FtPanelOf(w)));
        break;
    case WM_PARENTNOTIFY:
        if (LOWORD(wp) == WM_LBUTTONDOWN || LOWORD(wp) == WM_RBUTTONDOWN) {
            const POINT at = {GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
            OnClick(FtPanelOf(w), ChildWindowFromPointEx(w, at, CWP_SKIPINVISIBLE));
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        OnClick(FtPanelOf(w), w);
        return 0;
    case WM_SETFOCUS:
        FtFocusList(FtPanelOf(w));
        return 0;
    case WM_CV_FT_SELECTION:
        FtRecountSelection(FtPanelOf(w));
        return 0;
    case WM_FT_RENAME_NOW:
        FtRenameNow(FtPanelOf(w));
        return 0;
    case WM_CV_LANGUAGE_CHANGED:
        FtPanelLanguageChanged(FtPanelOf(w));
        return 0;
    case WM_FT_DROPPED:
        FtUploadDropped((HGLOBAL)lp);
        return 0;
    case WM_DESTROY:
        FtRevokeDropTarget(w);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

int FtRegisterPanelClass(void)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PanelProc;
    wc.cbWndExtra = 2;
    wc.hInstance = g_viewer.instance;
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kPanelClass;
    return RegisterClassA(&wc) != 0;
}

HWND FtCreatePanel(HWND frame, int index)
{
    return CreateWindowExA(WS_EX_CLIENTEDGE, kPanelClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 0, 0,
                           frame, (HMENU)(INT_PTR)(kFtPanelIdBase + index), g_viewer.instance, (LPVOID)(INT_PTR)index);
}
