// The community dialogs of the settings sheet: the password (136) and the new and
// edit node dialogs of each protocol (132..135), with the text helpers they share
// with the pages. Unicode dialogs, so Russian reads right on any system code page.
#include "agentsettings/settings.h"
#include "agentsettings/sheet_win.h"
#include "agentsettings/sheetparts_win.h"
#include "lang/stringids.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"

#include <htmlhelp.h>

#include <cstdio>
#include <cstring>

void GetItemBytes(HWND dlg, int id, UINT codePage, int maxChars, char *out, size_t cap)
{
    WCHAR wide[kAsTextField + 1];
    if (maxChars > (int)kAsTextField)
        maxChars = kAsTextField;
    int n = GetDlgItemTextW(dlg, id, wide, maxChars + 1);
    if (n < 0)
        n = 0;
    wide[n] = 0;
    int got = WideCharToMultiByte(codePage, 0, wide, -1, out, (int)cap, NULL, NULL);
    if (got <= 0)
        out[0] = 0;
    out[cap - 1] = 0;
    SecureZeroMemory(wide, sizeof(wide));
}

static int ToWide(UINT codePage, const char *text, WCHAR *wide, int cap)
{
    int n = MultiByteToWideChar(codePage, 0, text, -1, wide, cap);
    if (n <= 0)
        wide[0] = 0;
    wide[cap - 1] = 0;
    return n > 0;
}

void SetItemBytes(HWND dlg, int id, UINT codePage, const char *text)
{
    WCHAR wide[kAsTextField + 1];
    ToWide(codePage, text, wide, kAsTextField + 1);
    SetDlgItemTextW(dlg, id, wide);
    SecureZeroMemory(wide, sizeof(wide));
}

void ListAddBytes(HWND list, UINT codePage, const char *text)
{
    WCHAR wide[kAsNodeBlock];
    ToWide(codePage, text, wide, kAsNodeBlock);
    SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)wide);
}

void ListReplaceBytes(HWND list, int index, UINT codePage, const char *text)
{
    WCHAR wide[kAsNodeBlock];
    ToWide(codePage, text, wide, kAsNodeBlock);
    SendMessageW(list, LB_DELETESTRING, (WPARAM)index, 0);
    SendMessageW(list, LB_INSERTSTRING, (WPARAM)index, (LPARAM)wide);
    SendMessageW(list, LB_SETCURSEL, (WPARAM)index, 0);
}

void SettingsErrorBox(HWND owner, UINT stringId, const char *arg)
{
    char format[512], text[1024];
    LoadLangString(stringId, format, sizeof(format));
    if (arg)
        snprintf(text, sizeof(text), format, arg);
    else
        snprintf(text, sizeof(text), "%s", format);
    WCHAR wide[1024];
    ToWide(LanguageCodePage(g_viewer.activeLanguage), text, wide, 1024);
    MessageBoxW(owner, wide, NULL, MB_OK | MB_ICONHAND);
}

// ---- node dialogs ---------------------------------------------------------------------

struct NodeArgs {
    int protocol;
    int isNew;  // opened on an empty text: the help topic of a new node
    char *text; // 128 bytes
};

static const ControlHelp kTcpNodeHelp[] = {
    {IDC_AS_NODE_TEXT, IDS_HELP_AS_TCP_NODE},
    {IDOK, IDS_HELP_OK},
    {IDCANCEL, IDS_HELP_CANCEL},
    {IDHELP, IDS_HELP_HELP},
    {0, 0},
};
static const ControlHelp kIpxNodeHelp[] = {
    {IDC_AS_NODE_TEXT, IDS_HELP_AS_IPX_NODE},
    {IDOK, IDS_HELP_OK},
    {IDCANCEL, IDS_HELP_CANCEL},
    {IDHELP, IDS_HELP_HELP},
    {0, 0},
};

// A key that makes the IPX/SPX node neither "*" nor hexadecimal digits has no effect:
// the character left of the caret goes again.
static void FilterIpxNode(HWND dlg)
{
    char typed[kAsIpxNodeDigits * 2 + 2];
    GetItemBytes(dlg, IDC_AS_NODE_TEXT, kAsTextPage, kAsIpxNodeDigits * 2, typed, sizeof(typed));
    if (AsIpxNodeTypingOk(typed))
        return;
    HWND edit = GetDlgItem(dlg, IDC_AS_NODE_TEXT);
    DWORD caret = 0;
    SendMessageW(edit, EM_GETSEL, 0, (LPARAM)&caret);
    if (caret == 0)
        return;
    SendMessageW(edit, EM_SETSEL, caret - 1, caret);
    SendMessageW(edit, EM_REPLACESEL, FALSE, (LPARAM)L"");
}

static INT_PTR CALLBACK NodeProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    NodeArgs *a = (NodeArgs *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        a = (NodeArgs *)lp;
        SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)a);
        SendDlgItemMessageW(dlg, IDC_AS_NODE_TEXT, EM_LIMITTEXT, a->protocol ? kAsIpxNodeDigits : kAsNodeMax, 0);
        SetItemBytes(dlg, IDC_AS_NODE_TEXT, kAsTextPage, a->text);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_AS_NODE_TEXT:
            if (HIWORD(wp) == EN_CHANGE && a && a->protocol)
                FilterIpxNode(dlg);
            return TRUE;
        case IDOK: {
            char typed[kAsNodeBlock];
            if (a->protocol) {
                GetItemBytes(dlg, IDC_AS_NODE_TEXT, kAsTextPage, kAsIpxNodeDigits, typed, sizeof(typed));
                AsIpxNodeFinish(typed, a->text);
            } else {
                GetItemBytes(dlg, IDC_AS_NODE_TEXT, kAsTextPage, kAsNodeMax, typed, sizeof(typed));
                AsTrimBlanks(typed);
                memcpy(a->text, typed, sizeof(typed));
            }
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, a->isNew ? HELP_TOPIC_NEW_NODE : HELP_TOPIC_EDIT_NODE, HH_DISPLAY_TOPIC, 0);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowControlHelp(dlg, (const HELPINFO *)lp, a && a->protocol ? kIpxNodeHelp : kTcpNodeHelp);
        return TRUE;
    }
    return FALSE;
}

INT_PTR NodeDialog(HWND owner, int protocol, char *text)
{
    char copy[kAsNodeBlock];
    memcpy(copy, text, kAsNodeBlock);
    copy[kAsNodeMax] = 0;
    NodeArgs a = {protocol, copy[0] == 0, copy};
    const WORD templ = protocol ? (a.isNew ? IDD_AS_NEW_IPX_NODE : IDD_AS_EDIT_IPX_NODE)
                                : (a.isNew ? IDD_AS_NEW_TCP_NODE : IDD_AS_EDIT_TCP_NODE);
    INT_PTR r = DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(templ), owner, NodeProc, (LPARAM)&a);
    if (r == IDOK)
        memcpy(text, copy, kAsNodeBlock);
    return r;
}

// ---- community password ---------------------------------------------------------------

static const ControlHelp kPasswordHelp[] = {
    {IDC_AS_PASSWORD, IDS_HELP_AS_PASSWORD},
    {IDC_AS_CONFIRM, IDS_HELP_AS_PASSWORD},
    {IDOK, IDS_HELP_OK},
    {IDCANCEL, IDS_HELP_CANCEL},
    {IDHELP, IDS_HELP_HELP},
    {0, 0},
};

static void PasswordOk(HWND dlg, char *password)
{
    char typed[kAsPasswordField * 2], confirm[kAsPasswordField * 2];
    GetItemBytes(dlg, IDC_AS_PASSWORD, kAsPasswordPage, kAsPasswordMax, typed, sizeof(typed));
    GetItemBytes(dlg, IDC_AS_CONFIRM, kAsPasswordPage, kAsPasswordMax, confirm, sizeof(confirm));
    typed[kAsPasswordMax] = confirm[kAsPasswordMax] = 0;
    if (strcmp(typed, confirm) != 0) {
        SettingsErrorBox(dlg, IDS_AS_PASSWORDS_DIFFER, NULL);
    } else if (typed[0] && !AsPasswordCharsOk(typed)) {
        SettingsErrorBox(dlg, IDS_AS_PASSWORD_CHARS, NULL);
    } else if (typed[0]) {
        memset(password, 0, kAsPasswordField);
        memcpy(password, typed, strlen(typed));
        EndDialog(dlg, IDOK);
    }
    SecureZeroMemory(typed, sizeof(typed));
    SecureZeroMemory(confirm, sizeof(confirm));
}

static INT_PTR CALLBACK PasswordProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    char *password = (char *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, DWLP_USER, lp);
        SendDlgItemMessageW(dlg, IDC_AS_PASSWORD, EM_LIMITTEXT, kAsPasswordMax, 0);
        SendDlgItemMessageW(dlg, IDC_AS_CONFIRM, EM_LIMITTEXT, kAsPasswordMax, 0);
        SetItemBytes(dlg, IDC_AS_PASSWORD, kAsPasswordPage, (const char *)lp);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            PasswordOk(dlg, password);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, HELP_TOPIC_COMMUNITY_PASSWORD, HH_DISPLAY_TOPIC, 0);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowControlHelp(dlg, (const HELPINFO *)lp, kPasswordHelp);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CommunityPasswordDialog(HWND owner, char *password)
{
    char copy[kAsPasswordField];
    memcpy(copy, password, kAsPasswordField);
    copy[kAsPasswordMax] = 0;
    INT_PTR r =
        DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_AS_PASSWORD), owner, PasswordProc, (LPARAM)copy);
    if (r == IDOK)
        memcpy(password, copy, kAsPasswordField);
    SecureZeroMemory(copy, sizeof(copy));
    return r;
}
