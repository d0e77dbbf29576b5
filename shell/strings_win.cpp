// Texts of the active language library. Resource strings are stored as UTF-16; the
// viewer works with single-byte text, Windows-1251 for the Russian library, so the
// bytes it logs and reports do not depend on the system's ANSI code page.
#include "shell/strings_win.h"

#include "shell/state.h"

UINT LanguageCodePage(HMODULE library) { return library && library == g_viewer.languageLibs[1] ? 1251 : 1252; }

int LoadLangString(UINT id, char *buf, int cap)
{
    if (cap <= 0)
        return 0;
    buf[0] = 0;
    const WCHAR *res = NULL;
    // With a zero size LoadStringW hands out a pointer to the resource itself, so no
    // length limit applies before the conversion below cuts to cap.
    int wlen = LoadStringW(g_viewer.activeLanguage, id, (LPWSTR)&res, 0);
    if (wlen <= 0 || !res)
        return 0;
    int n = WideCharToMultiByte(LanguageCodePage(g_viewer.activeLanguage), 0, res, wlen, buf, cap - 1, NULL, NULL);
    if (n <= 0) {
        // Too long for the buffer: take as many characters as fit.
        int take = wlen < cap - 1 ? wlen : cap - 1;
        n = WideCharToMultiByte(LanguageCodePage(g_viewer.activeLanguage), 0, res, take, buf, cap - 1, NULL, NULL);
        if (n <= 0)
            n = 0;
    }
    buf[n] = 0;
    return n;
}

int SetLangText(HWND wnd, const char *text)
{
    WCHAR wide[2048];
    int n = MultiByteToWideChar(LanguageCodePage(g_viewer.activeLanguage), 0, text ? text : "", -1, wide,
                                (int)(sizeof(wide) / sizeof(wide[0])));
    if (n <= 0) {
        // Longer than the buffer: shown cut rather than not at all.
        wide[sizeof(wide) / sizeof(wide[0]) - 1] = 0;
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return 0;
    }
    // An ANSI window would still pass it through the system's code page: dialogs that
    // show such texts are created as Unicode dialogs.
    return SetWindowTextW(wnd, wide) != 0;
}

int SetLangItemText(HWND dlg, int id, const char *text)
{
    HWND item = GetDlgItem(dlg, id);
    return item && SetLangText(item, text);
}
