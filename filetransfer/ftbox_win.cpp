// Message boxes and dialog texts of the file-transfer dialogs: captions from the
// language library, names in the system's ANSI code page. Any thread.
#include "filetransfer/panel_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/help_win.h"
#include "ui/syserror_win.h"

#include <cstdio>

static void Caption(UINT first, UINT second, char *out, int cap)
{
    const int n = LoadLangString(first, out, cap);
    if (second && n < cap - 1)
        LoadLangString(second, out + n, cap - n);
}

int FtMessageBox(HWND owner, UINT caption, UINT suffix, const char *text, UINT flags)
{
    char title[256];
    Caption(caption, suffix, title, sizeof(title));
    WCHAR wideTitle[256], wideText[1400];
    if (MultiByteToWideChar(LanguageCodePage(g_viewer.activeLanguage), 0, title, -1, wideTitle, 256) <= 0)
        wideTitle[0] = 0;
    if (MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, wideText, 1400) <= 0)
        wideText[0] = 0;
    wideText[1399] = 0;
    return MessageBoxW(owner, wideText, wideTitle, flags);
}

int FtPathBox(HWND owner, UINT caption, UINT suffix, UINT textId, const char *path, UINT flags)
{
    char title[256], tmpl[512];
    Caption(caption, suffix, title, sizeof(title));
    LoadLangString(textId, tmpl, sizeof(tmpl));
    const UINT cp = LanguageCodePage(g_viewer.activeLanguage);
    WCHAR wideTitle[256], wideTmpl[512], widePath[kFtPathField + 8], text[900];
    if (MultiByteToWideChar(cp, 0, title, -1, wideTitle, 256) <= 0)
        wideTitle[0] = 0;
    if (MultiByteToWideChar(cp, 0, tmpl, -1, wideTmpl, 512) <= 0)
        wideTmpl[0] = 0;
    if (MultiByteToWideChar(CP_ACP, 0, path ? path : "", -1, widePath, kFtPathField + 8) <= 0)
        widePath[0] = 0;
    // The library's text with its %1 replaced by the path.
    size_t at = 0;
    for (const WCHAR *t = wideTmpl; *t && at + 1 < 900; t++) {
        if (t[0] == L'%' && t[1] == L'1') {
            for (const WCHAR *q = widePath; *q && at + 1 < 900; q++)
                text[at++] = *q;
            t++;
            continue;
        }
        text[at++] = *t;
    }
    text[at] = 0;
    return MessageBoxW(owner, text, wideTitle, flags);
}

int FtLastErrorBox(HWND owner, UINT caption, UINT suffix, const char *path, UINT flags)
{
    char error[512], text[kFtPathField + 520];
    SystemErrorText(error, sizeof(error));
    if (path)
        snprintf(text, sizeof(text), "%s\n%s", path, error);
    else
        snprintf(text, sizeof(text), "%s", error);
    return FtMessageBox(owner, caption, suffix, text, flags);
}

void FtAppendTitle(HWND dlg, UINT suffix)
{
    WCHAR title[256], more[128];
    const int n = GetWindowTextW(dlg, title, 200);
    char add[128];
    LoadLangString(suffix, add, sizeof(add));
    if (MultiByteToWideChar(LanguageCodePage(g_viewer.activeLanguage), 0, add, -1, more, 128) <= 0)
        return;
    lstrcpynW(title + (n > 0 ? n : 0), more, 256 - (n > 0 ? n : 0));
    SetWindowTextW(dlg, title);
}

void FtSetNameText(HWND dlg, int id, const char *text)
{
    WCHAR wide[kFtPathField + 64];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kFtPathField + 64) <= 0)
        wide[0] = 0;
    SetDlgItemTextW(dlg, id, wide);
}

int FtGetNameText(HWND dlg, int id, char out[kFtPathField])
{
    WCHAR wide[kFtPathField];
    int n = GetDlgItemTextW(dlg, id, wide, kFtPathField);
    wide[n > 0 ? n : 0] = 0;
    BOOL lost = FALSE;
    n = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, kFtPathField, NULL, &lost);
    if (n <= 0 || lost) {
        out[0] = 0;
        return 0; // a character this computer's names cannot hold
    }
    return 1;
}
