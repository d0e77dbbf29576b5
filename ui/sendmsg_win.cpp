// The send-message dialog (template 126 of the language library) and its command.
// UI thread only. A Unicode dialog, so that Russian texts and typing read right on
// any system code page.
#include "ui/sendmsg_win.h"

#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"
#include "ui/windowfailure_win.h"

#include <htmlhelp.h>

#include <cstring>

static MessageChoice g_lastChoice; // UI thread: the dialog's last choice, for the process's life

static const ControlHelp kContextHelp[] = {
    {IDC_MSG_TEXT, IDS_HELP_MSG_TEXT},
    {IDC_MSG_INFORMATION, IDS_HELP_MSG_ICON},
    {IDC_MSG_WARNING, IDS_HELP_MSG_ICON},
    {IDC_MSG_QUESTION, IDS_HELP_MSG_ICON},
    {IDC_MSG_ERROR, IDS_HELP_MSG_ICON},
    {IDC_MSG_NO_TIMEOUT, IDS_HELP_MSG_NO_TIMEOUT},
    {IDC_MSG_TIMEOUT, IDS_HELP_MSG_TIMEOUT},
    {IDC_MSG_SECONDS, IDS_HELP_MSG_SECONDS},
    {IDOK, IDS_HELP_OK},
    {IDCANCEL, IDS_HELP_CANCEL},
    {IDC_MSG_HELP, IDS_HELP_HELP},
    {0, 0},
};

static void ShowIconChoice(HWND dlg, UINT icon)
{
    static const LPCSTR kIcons[] = {IDI_ASTERISK, IDI_EXCLAMATION, IDI_QUESTION, IDI_HAND};
    HICON shown = LoadIconA(NULL, kIcons[icon < 3 ? icon : 3]);
    SendDlgItemMessageW(dlg, IDC_MSG_ICON, STM_SETICON, (WPARAM)shown, 0);
}

static BOOL OnInit(HWND dlg, SendMessageForm *form)
{
    SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)form);
    g_viewer.dialogSlot = dlg;
    const MessageChoice *c = &form->choice;
    const UINT icon = c->icon < 3 ? c->icon : 3;
    CheckRadioButton(dlg, IDC_MSG_INFORMATION, IDC_MSG_ERROR, IDC_MSG_INFORMATION + icon);
    ShowIconChoice(dlg, icon);
    CheckRadioButton(dlg, IDC_MSG_NO_TIMEOUT, IDC_MSG_TIMEOUT, c->timed ? IDC_MSG_TIMEOUT : IDC_MSG_NO_TIMEOUT);
    if (c->timed)
        SetDlgItemInt(dlg, IDC_MSG_SECONDS, c->seconds, FALSE);
    EnableWindow(GetDlgItem(dlg, IDC_MSG_SECONDS), c->timed != 0);
    SendDlgItemMessageW(dlg, IDC_MSG_SECONDS, EM_LIMITTEXT, 2, 0);
    SendDlgItemMessageW(dlg, IDC_MSG_TEXT, EM_LIMITTEXT, kSendTextMax, 0);
    return TRUE; // focus on the message
}

// The typed text as single-byte text: in the language's code page when that holds
// every character, else in the system's, else the language's with stand-ins.
static void MessageBytes(const WCHAR *wide, char *out, size_t cap)
{
    char buf[2 * kSendTextMax + 2]; // room for a double-byte system code page
    const UINT pages[2] = {LanguageCodePage(g_viewer.activeLanguage), CP_ACP};
    int n = 0;
    for (int i = 0; i < 2 && n <= 0; i++) {
        BOOL lost = FALSE;
        n = WideCharToMultiByte(pages[i], 0, wide, -1, buf, sizeof(buf), NULL, &lost);
        if (lost)
            n = 0;
    }
    if (n <= 0)
        n = WideCharToMultiByte(pages[0], 0, wide, -1, buf, sizeof(buf), NULL, NULL);
    if (n <= 0)
        buf[0] = 0;
    buf[sizeof(buf) - 1] = 0;
    const size_t len = strnlen(buf, cap - 1);
    memcpy(out, buf, len);
    out[len] = 0;
    SecureZeroMemory(buf, sizeof(buf));
}

static void OnOk(HWND dlg, SendMessageForm *form)
{
    WCHAR wide[kSendTextMax + 1];
    if (GetDlgItemTextW(dlg, IDC_MSG_TEXT, wide, kSendTextMax + 1) <= 0) {
        EndDialog(dlg, IDCANCEL); // an empty message is not sent
        return;
    }
    MessageBytes(wide, form->text, sizeof(form->text));
    SecureZeroMemory(wide, sizeof(wide));
    MessageChoice *c = &form->choice;
    c->icon = IsDlgButtonChecked(dlg, IDC_MSG_INFORMATION) ? 0
              : IsDlgButtonChecked(dlg, IDC_MSG_WARNING)   ? 1
              : IsDlgButtonChecked(dlg, IDC_MSG_QUESTION)  ? 2
                                                           : 3;
    c->timed = !IsDlgButtonChecked(dlg, IDC_MSG_NO_TIMEOUT);
    // An empty box reads as 0 seconds.
    if (c->timed)
        c->seconds = GetDlgItemInt(dlg, IDC_MSG_SECONDS, NULL, FALSE);
    EndDialog(dlg, IDOK);
}

static BOOL OnCommand(HWND dlg, int id)
{
    SendMessageForm *form = (SendMessageForm *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (id) {
    case IDC_MSG_INFORMATION:
    case IDC_MSG_WARNING:
    case IDC_MSG_QUESTION:
    case IDC_MSG_ERROR:
        ShowIconChoice(dlg, (UINT)(id - IDC_MSG_INFORMATION));
        return TRUE;
    case IDC_MSG_NO_TIMEOUT:
    case IDC_MSG_TIMEOUT:
        EnableWindow(GetDlgItem(dlg, IDC_MSG_SECONDS), IsDlgButtonChecked(dlg, IDC_MSG_TIMEOUT) == BST_CHECKED);
        return TRUE;
    case IDOK:
        OnOk(dlg, form);
        return TRUE;
    case IDCANCEL:
        EndDialog(dlg, IDCANCEL);
        return TRUE;
    case IDC_MSG_HELP:
        ShowHelp(dlg, HELP_TOPIC_SEND_MESSAGE, HH_DISPLAY_TOPIC, 0);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR CALLBACK SendMessageProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInit(dlg, (SendMessageForm *)lp);
    case WM_COMMAND:
        return OnCommand(dlg, LOWORD(wp));
    case WM_HELP:
        ShowControlHelp(dlg, (const HELPINFO *)lp, kContextHelp);
        return TRUE;
    case WM_DESTROY:
        if (g_viewer.dialogSlot == dlg)
            g_viewer.dialogSlot = NULL;
        return FALSE;
    }
    return FALSE;
}

INT_PTR RunSendMessageDialog(HWND owner, SendMessageForm *form)
{
    // One dialog at a time: a command posted while another is open is refused.
    if (g_viewer.dialogSlot)
        return 0;
    return DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_SEND_MESSAGE), owner, SendMessageProc,
                           (LPARAM)form);
}

static void ReportNotSealed(HWND mainWindow)
{
    char text[512];
    LoadLangString(IDS_MESSAGE_NOT_SEALED, text, sizeof(text));
    ReportFailure(mainWindow, text);
}

int SendMessageCommand(HWND mainWindow)
{
    SendMessageForm form;
    memset(&form, 0, sizeof(form));
    form.choice = g_lastChoice;
    const INT_PTR r = RunSendMessageDialog(mainWindow, &form);
    if (r == -1)
        ReportWindowFailure(mainWindow);
    if (r != IDOK)
        return 0;
    g_lastChoice = form.choice;
    uint8_t packet[kSealMessagePacketSize];
    const size_t n = BuildSendMessage(&form.choice, form.text, packet);
    SecureZeroMemory(form.text, sizeof(form.text));
    if (!n) {
        ReportNotSealed(mainWindow);
        return 0;
    }
    return QueueOrExit(packet, (DWORD)n);
}
