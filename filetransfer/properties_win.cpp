// Properties (dialog 149) of the focused item on either panel: its facts, and the
// read-only, hidden and system bits changed on OK. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"

#include <cstdio>
#include <cstring>
#include <shlwapi.h>

struct PropertiesArgs {
    FileItem copy;
    int right;
};

static const ControlHelp kHelp[] = {{IDC_FT_NAME, IDS_HELP_FT_NAME},
                                    {IDC_FT_TYPE, IDS_HELP_FT_TYPE},
                                    {IDC_FT_SIZE, IDS_HELP_FT_SIZE},
                                    {IDC_FT_CREATED, IDS_HELP_FT_CREATED},
                                    {IDC_FT_MODIFIED, IDS_HELP_FT_MODIFIED},
                                    {IDC_FT_ACCESSED, IDS_HELP_FT_ACCESSED},
                                    {IDC_FT_READ_ONLY, IDS_HELP_FT_ATTRIBUTES},
                                    {IDC_FT_HIDDEN, IDS_HELP_FT_ATTRIBUTES},
                                    {IDC_FT_SYSTEM, IDS_HELP_FT_ATTRIBUTES},
                                    {IDOK, IDS_HELP_OK},
                                    {IDCANCEL, IDS_HELP_CANCEL},
                                    {IDHELP, IDS_HELP_HELP},
                                    {0, 0}};

static const struct {
    int control;
    uint32_t bit;
} kBoxes[] = {{IDC_FT_READ_ONLY, kFtAttrReadOnly}, {IDC_FT_HIDDEN, kFtAttrHidden}, {IDC_FT_SYSTEM, kFtAttrSystem}};

static void ShowTime(HWND dlg, int id, uint64_t t)
{
    FILETIME utc = {(DWORD)t, (DWORD)(t >> 32)}, local;
    SYSTEMTIME st;
    char text[48] = "";
    if (t && FileTimeToLocalFileTime(&utc, &local) && FileTimeToSystemTime(&local, &st))
        snprintf(text, sizeof(text), "%02d.%02d.%d  %02d:%02d:%02d", st.wDay, st.wMonth, st.wYear, st.wHour, st.wMinute,
                 st.wSecond);
    SetDlgItemTextA(dlg, id, text);
}

static void ShowSize(HWND dlg, const FtEntry *e)
{
    char text[160], number[64] = "";
    if (e->directory) {
        LoadLangString(IDS_FT_FOLDER_SIZE, text, sizeof(text));
        SetLangItemText(dlg, IDC_FT_SIZE, text);
        return;
    }
    if (g_viewer.strFormatByteSize64)
        g_viewer.strFormatByteSize64((LONGLONG)e->size, number, sizeof(number));
    else if (e->size < 0xFFFFFFFFull)
        StrFormatByteSizeA((DWORD)e->size, number, sizeof(number));
    snprintf(text, sizeof(text), "%s (%llu bytes)", number, (unsigned long long)e->size);
    SetDlgItemTextA(dlg, IDC_FT_SIZE, text);
}

static INT_PTR OnInit(HWND dlg, PropertiesArgs *a)
{
    SetWindowLongPtrW(dlg, DWLP_USER, (LONG_PTR)a);
    const FtEntry *e = &a->copy.entry;
    FtSetNameText(dlg, IDC_FT_NAME, e->name);
    FtSetNameText(dlg, IDC_FT_TYPE, a->copy.typeName);
    ShowTime(dlg, IDC_FT_CREATED, e->created);
    ShowTime(dlg, IDC_FT_ACCESSED, e->accessed);
    ShowTime(dlg, IDC_FT_MODIFIED, e->written);
    ShowSize(dlg, e);
    for (const auto &b : kBoxes) {
        CheckDlgButton(dlg, b.control, (e->attributes & b.bit) ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(dlg, b.control), a->right);
    }
    return TRUE;
}

static INT_PTR CALLBACK PropertiesProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    PropertiesArgs *a = (PropertiesArgs *)GetWindowLongPtrW(dlg, DWLP_USER);
    switch (msg) {
    case WM_INITDIALOG:
        return OnInit(dlg, (PropertiesArgs *)lp);
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:
            if (a->right)
                for (const auto &b : kBoxes) {
                    if (IsDlgButtonChecked(dlg, b.control) == BST_CHECKED)
                        a->copy.entry.attributes |= b.bit;
                    else
                        a->copy.entry.attributes &= ~b.bit;
                }
            EndDialog(dlg, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        case IDHELP:
            ShowHelp(dlg, HELP_TOPIC_FILE_PROPERTIES, 0, 0);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowControlHelp(dlg, (const HELPINFO *)lp, kHelp);
        return TRUE;
    }
    return FALSE;
}

void FtProperties(void)
{
    FilePanel *p = &g_ft.panels[g_ft.activePanel];
    FileItem *f = FtFocusedItem(p);
    if (!f || p->selectedCount != 1 || strcmp(f->entry.name, "..") == 0 || g_ft.activeDialog)
        return;
    PropertiesArgs a;
    a.copy = *f;
    a.right = FtHasRight();
    const int i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
    if (DialogBoxParamW(g_viewer.activeLanguage, MAKEINTRESOURCEW(IDD_FT_PROPERTIES), p->list, PropertiesProc,
                        (LPARAM)&a) != IDOK ||
        !g_ft.frame || !a.right || a.copy.entry.attributes == f->entry.attributes)
        return;
    const uint32_t attributes = a.copy.entry.attributes & kFtAttributeMask;
    char path[kFtPathField];
    if (!FtJoinPath(p->currentDirectory, f->entry.name, path))
        return;
    int done;
    if (g_ft.activePanel == kFtLocal) {
        done = SetFileAttributesA(path, attributes) != 0;
        if (!done)
            FtLastErrorBox(p->list, IDS_FT_CANNOT_SET_ATTRIBUTES, IDS_FT_LOCAL_SUFFIX, NULL, MB_OK | MB_ICONHAND);
    } else {
        RemoteRequest r = {FT_REQUEST_ATTRIBUTES, attributes, path, NULL};
        done = FtRunRequest(p->list, &r) == 1;
    }
    // The modal dialogs keep the list as it was: the record and its index still hold.
    if (done && g_ft.frame && IsWindow(p->list) && FtFocusedItem(p) == f) {
        f->entry.attributes = a.copy.entry.attributes;
        SendMessageA(p->list, LVM_REDRAWITEMS, i, i);
    }
}
