// The settings sheet and its Common page.
#include "agentsettings/sheet_win.h"

#include "agentsettings/settings.h"
#include "agentsettings/sheetparts_win.h"
#include "agentsettings/state_win.h"
#include "lang/stringids.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <prsht.h>

#include <cstring>

uint16_t g_sheetAgentVersion;
int g_sheetConfirmed;
static int g_sheetCentred;

static const ControlHelp kCommonHelp[] = {
    {IDC_AS_TRISTATE, IDS_HELP_AS_TRISTATE},
    {IDC_AS_SWITCH_B, IDS_HELP_AS_SWITCH_B},
    {IDC_AS_SWITCH_C, IDS_HELP_AS_SWITCH_C},
    {IDC_AS_SWITCH_F, IDS_HELP_AS_SWITCH_F},
    {IDC_AS_SWITCH_D, IDS_HELP_AS_SWITCH_D},
    {IDC_AS_SWITCH_E, IDS_HELP_AS_SWITCH_E},
    {IDC_AS_SWITCH_A, IDS_HELP_AS_SWITCH_A},
    {IDC_AS_MODE_0, IDS_HELP_AS_MODE},
    {IDC_AS_MODE_1, IDS_HELP_AS_MODE},
    {IDC_AS_LEVEL, IDS_HELP_AS_LEVEL},
    {0, 0},
};

// The plain switches: control and field, checked when nonzero, stored as 1/0.
static const struct {
    int control;
    AsCommonField field;
} kSwitches[] = {
    {IDC_AS_SWITCH_B, AS_SWITCH_B}, {IDC_AS_SWITCH_C, AS_SWITCH_C}, {IDC_AS_SWITCH_F, AS_SWITCH_F},
    {IDC_AS_SWITCH_D, AS_SWITCH_D}, {IDC_AS_SWITCH_E, AS_SWITCH_E}, {IDC_AS_SWITCH_A, AS_SWITCH_A},
};

void CentreSheetOnce(HWND page)
{
    if (g_sheetCentred)
        return;
    g_sheetCentred = 1;
    HWND sheet = GetParent(page);
    RECT r;
    GetWindowRect(sheet, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(sheet, NULL, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static void Check(HWND page, int id, int on) { CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED); }

static int Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

static void CommonInit(HWND page)
{
    CentreSheetOnce(page);
    const AgentSettings *s = &g_agentSettings.values;
    const uint32_t *c = s->common;
    EnableWindow(GetDlgItem(page, IDC_AS_TRISTATE), c[AS_TRISTATE] != 0);
    Check(page, IDC_AS_TRISTATE, c[AS_TRISTATE] == 2);
    HWND level = GetDlgItem(page, IDC_AS_LEVEL);
    SendMessageW(level, TBM_SETRANGE, TRUE, MAKELPARAM(0, 7));
    SendMessageW(level, TBM_SETPOS, TRUE, c[AS_LEVEL] > 7 ? 7 : c[AS_LEVEL]);
    for (const auto &sw : kSwitches)
        Check(page, sw.control, c[sw.field] != 0);
    CheckRadioButton(page, IDC_AS_MODE_0, IDC_AS_MODE_1, c[AS_MODE] ? IDC_AS_MODE_1 : IDC_AS_MODE_0);
    SendDlgItemMessageW(page, IDC_AS_TEXT, EM_LIMITTEXT, kAsTextMax, 0);
    SetItemBytes(page, IDC_AS_TEXT, kAsTextPage, s->text);
    SendDlgItemMessageW(page, IDC_AS_NUMBER, EM_LIMITTEXT, 3, 0);
    SetDlgItemInt(page, IDC_AS_NUMBER, s->number, FALSE);
    const int strings = g_sheetAgentVersion >= kAsVersionString;
    EnableWindow(GetDlgItem(page, IDC_AS_TEXT), strings);
    EnableWindow(GetDlgItem(page, IDC_AS_NUMBER), strings);
    Check(page, IDC_AS_FLAG, s->flag != 0);
    EnableWindow(GetDlgItem(page, IDC_AS_FLAG), g_sheetAgentVersion >= kAsVersionFlag);
    EnableWindow(GetDlgItem(page, IDC_AS_OPTION), (c[AS_OPTION_BITS] & 1) != 0);
    Check(page, IDC_AS_OPTION, (c[AS_OPTION_BITS] & 2) != 0);
}

INT_PTR AnswerPageNotify(HWND page, const NMHDR *n, const char *topic, PageLeaveFn leave)
{
    LRESULT result = 0;
    switch (n->code) {
    case PSN_HELP:
        ShowHelp(page, topic, HH_DISPLAY_TOPIC, 0);
        break;
    case PSN_APPLY:
        g_sheetConfirmed = 1;
        result = PSNRET_NOERROR;
        break;
    case PSN_KILLACTIVE:
        result = leave(page) ? TRUE : FALSE;
        break;
    case PSN_SETACTIVE:
        result = 0;
        break;
    default:
        return FALSE;
    }
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return TRUE;
}

static int CommonStore(HWND page)
{
    AgentSettings *s = &g_agentSettings.values;
    uint32_t *c = s->common;
    if (c[AS_TRISTATE])
        c[AS_TRISTATE] = Checked(page, IDC_AS_TRISTATE) ? 2 : 3;
    LRESULT level = SendDlgItemMessageW(page, IDC_AS_LEVEL, TBM_GETPOS, 0, 0);
    c[AS_LEVEL] = level < 0 ? 0 : level > 7 ? 7 : (uint32_t)level;
    for (const auto &sw : kSwitches)
        c[sw.field] = Checked(page, sw.control);
    c[AS_MODE] = Checked(page, IDC_AS_MODE_0) ? 0 : 1;
    char text[kAsTextField];
    GetItemBytes(page, IDC_AS_TEXT, kAsTextPage, kAsTextMax, text, sizeof(text));
    AsTrimBlanks(text);
    memcpy(s->text, text, sizeof(text));
    BOOL read = FALSE;
    UINT number = GetDlgItemInt(page, IDC_AS_NUMBER, &read, FALSE);
    if (number > kAsNumberMax) {
        number = kAsNumberMax;
        SetDlgItemInt(page, IDC_AS_NUMBER, number, FALSE);
    }
    s->number = number;
    s->flag = Checked(page, IDC_AS_FLAG);
    if (c[AS_OPTION_BITS] & 1)
        c[AS_OPTION_BITS] = (c[AS_OPTION_BITS] & ~2u) | (Checked(page, IDC_AS_OPTION) ? 2u : 0u);
    return 0;
}

static INT_PTR CALLBACK CommonPageProc(HWND page, UINT msg, WPARAM, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        CommonInit(page);
        return TRUE;
    case WM_HELP:
        ShowControlHelp(page, (const HELPINFO *)lp, kCommonHelp);
        return TRUE;
    case WM_NOTIFY:
        return AnswerPageNotify(page, (const NMHDR *)lp, HELP_TOPIC_SETTINGS_COMMON, CommonStore);
    }
    return FALSE;
}

int RunSettingsSheet(HWND owner, uint16_t agentVersion)
{
    g_sheetAgentVersion = agentVersion;
    g_sheetConfirmed = 0;
    g_sheetCentred = 0;
    PROPSHEETPAGEW pages[3];
    memset(pages, 0, sizeof(pages));
    const WORD templates[3] = {IDD_AS_COMMON, IDD_AS_TCP, IDD_AS_IPX};
    for (int i = 0; i < 3; i++) {
        pages[i].dwSize = sizeof(PROPSHEETPAGEW);
        pages[i].dwFlags = PSP_HASHELP;
        pages[i].hInstance = g_viewer.activeLanguage;
        pages[i].pszTemplate = MAKEINTRESOURCEW(templates[i]);
        pages[i].pfnDlgProc = i == 0 ? CommonPageProc : ProtocolPageProc;
        pages[i].lParam = i == 2; // the protocol of a protocol page
    }
    PROPSHEETHEADERW h;
    memset(&h, 0, sizeof(h));
    h.dwSize = sizeof(h);
    h.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_HASHELP;
    h.hwndParent = owner;
    h.hInstance = g_viewer.activeLanguage;
    h.pszCaption = MAKEINTRESOURCEW(IDS_AS_CAPTION);
    h.nPages = 3;
    h.nStartPage = 0;
    h.ppsp = pages;
    const INT_PTR r = PropertySheetW(&h);
    if (r < 0) {
        char text[512];
        LoadLangString(IDS_AS_NO_SHEET, text, sizeof(text));
        ReportFailure(owner, text);
        return 0;
    }
    return AsSheetConfirmed(r, g_sheetConfirmed);
}
