// The timed message box and the password prompt, from the program's own resources.
// They run modally on whichever thread calls them, the receive thread included. They
// are Unicode dialogs, so that Russian texts read right on any system code page.
#include "shell/msgbox_win.h"

#include "lang/stringids.h"
#include "resources/resource.h"
#include "shell/cmdline.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>
#include <cstring>

enum { kBoxTimer = 1, kPasswordMax = 15 };

// Tracked boxes now shown, by any thread, and whether shutdown has closed them all:
// TimedBoxLock. A box is ended by a posted command, never under the lock.
static BOOL Track(HWND box)
{
    EnterCriticalSection(&g_viewer.timedBoxLock);
    BOOL closing = g_viewer.timedBoxesClosed;
    for (int i = 0; !closing && i < kMaxTimedBoxes; i++)
        if (!g_viewer.timedBoxes[i]) {
            g_viewer.timedBoxes[i] = box;
            break;
        }
    LeaveCriticalSection(&g_viewer.timedBoxLock);
    return !closing;
}

static void Untrack(HWND box)
{
    EnterCriticalSection(&g_viewer.timedBoxLock);
    for (int i = 0; i < kMaxTimedBoxes; i++)
        if (g_viewer.timedBoxes[i] == box)
            g_viewer.timedBoxes[i] = NULL;
    LeaveCriticalSection(&g_viewer.timedBoxLock);
}

void CloseTimedBoxes(void)
{
    HWND open[kMaxTimedBoxes];
    EnterCriticalSection(&g_viewer.timedBoxLock);
    g_viewer.timedBoxesClosed = TRUE;
    memcpy(open, g_viewer.timedBoxes, sizeof(open));
    LeaveCriticalSection(&g_viewer.timedBoxLock);
    for (HWND box : open)
        if (box)
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

static LPCSTR IconForStyle(UINT icon)
{
    switch (icon) {
    case 32:
        return IDI_QUESTION;
    case 48:
        return IDI_EXCLAMATION;
    case 64:
        return IDI_ASTERISK;
    default:
        return IDI_HAND;
    }
}

static INT_PTR CALLBACK TimedBoxProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const TimedBoxRequest *req = (const TimedBoxRequest *)lp;
        SetWindowLongPtrA(dlg, DWLP_USER, (LONG_PTR)req);
        if (req->tracked && !Track(dlg))
            PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0); // shutdown is under way
        SetLangText(dlg, req->caption ? req->caption : CORVID_PRODUCT_TEXT);
        SetLangItemText(dlg, IDC_BOX_TEXT, req->text ? req->text : "");
        SendDlgItemMessageA(dlg, IDC_BOX_ICON, STM_SETICON, (WPARAM)LoadIconA(NULL, IconForStyle(req->icon)), 0);
        if (req->timeoutMs)
            SetTimer(dlg, kBoxTimer, req->timeoutMs, NULL);
        SetForegroundWindow(dlg);
        return TRUE;
    }
    case WM_TIMER:
        if (wp == kBoxTimer) {
            // Posted, not ended here, so the close takes the same road as the button.
            KillTimer(dlg, kBoxTimer);
            PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) >= IDOK && LOWORD(wp) <= IDNO) {
            EndDialog(dlg, LOWORD(wp));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY: {
        const TimedBoxRequest *req = (const TimedBoxRequest *)GetWindowLongPtrA(dlg, DWLP_USER);
        KillTimer(dlg, kBoxTimer);
        if (req && req->tracked)
            Untrack(dlg);
        return FALSE;
    }
    }
    return FALSE;
}

INT_PTR TimedMessageBox(HWND parent, const TimedBoxRequest *req)
{
    INT_PTR r =
        DialogBoxParamW(g_viewer.instance, MAKEINTRESOURCEW(req->templateId), parent, TimedBoxProc, (LPARAM)req);
    return r < 0 ? 0 : r;
}

static INT_PTR CALLBACK PasswordProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)lp;
    switch (msg) {
    case WM_INITDIALOG: {
        g_viewer.dialogSlot = dlg;
        char caption[128], s[96];
        LoadLangString(IDS_PASSWORD_CAPTION, s, sizeof(s));
        snprintf(caption, sizeof(caption), "%s%s", s, g_viewer.target.hostText);
        SetLangText(dlg, caption);
        LoadLangString(IDS_PASSWORD_LABEL, s, sizeof(s));
        SetLangItemText(dlg, IDC_PWD_LABEL, s);
        LoadLangString(IDS_CANCEL, s, sizeof(s));
        SetLangItemText(dlg, IDCANCEL, s);
        SendDlgItemMessageA(dlg, IDC_PWD_EDIT, EM_LIMITTEXT, kPasswordMax, 0);
        char known[kPasswordMax + 1];
        memcpy(known, g_viewer.target.password, kPasswordMax);
        known[kPasswordMax] = 0;
        SetDlgItemTextA(dlg, IDC_PWD_EDIT, known);
        SetForegroundWindow(dlg);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            char typed[kPasswordMax + 1];
            GetDlgItemTextA(dlg, IDC_PWD_EDIT, typed, sizeof(typed));
            memset(g_viewer.target.password, 0, sizeof(g_viewer.target.password));
            memcpy(g_viewer.target.password, typed, strnlen(typed, kPasswordMax));
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (g_viewer.dialogSlot == dlg)
            g_viewer.dialogSlot = NULL;
        return FALSE;
    }
    return FALSE;
}

INT_PTR PasswordPrompt(HWND owner)
{
    INT_PTR r = DialogBoxParamW(g_viewer.instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner, PasswordProc, 0);
    return r < 0 ? IDCANCEL : r;
}
