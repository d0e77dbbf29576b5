// Help through HTML Help, bound at run time on the first request, and the status-bar
// help of menu items. UI thread only: the binding below has no lock.
#include "ui/help_win.h"

#include "shell/state.h"
#include "shell/strings_win.h"

#include <commctrl.h>
#include <htmlhelp.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

typedef HWND(WINAPI *HtmlHelpFn)(HWND caller, LPCSTR file, UINT command, DWORD_PTR data);

const char kHtmlHelpClsidKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

enum { kHtmlHelpOrdinal = 14, kPopupTextChars = 1024 };

static struct {
    HMODULE library;
    HtmlHelpFn entry;
    BOOL failed; // set once, never retried in this run
} s_htmlHelp;

// The registered path of the HTML Help control, loaded; NULL when there is none.
static HMODULE LoadRegisteredLibrary(const char *clsidKey)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, clsidKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return NULL;
    char path[MAX_PATH + 1];
    DWORD type = 0, size = MAX_PATH;
    LONG rc = RegQueryValueExA(key, NULL, NULL, &type, (BYTE *)path, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return NULL;
    path[size < MAX_PATH ? size : MAX_PATH] = 0; // the stored value need not be terminated
    if (type == REG_EXPAND_SZ) {
        char expanded[MAX_PATH + 1];
        DWORD n = ExpandEnvironmentStringsA(path, expanded, sizeof(expanded));
        if (n == 0 || n > sizeof(expanded))
            return NULL;
        return LoadLibraryA(expanded);
    }
    return LoadLibraryA(path);
}

int HtmlHelpBind(const char *clsidKey, const char *libraryName)
{
    if (s_htmlHelp.entry)
        return 1;
    if (s_htmlHelp.failed)
        return 0;
    HMODULE lib = LoadRegisteredLibrary(clsidKey);
    if (!lib)
        lib = LoadLibraryA(libraryName);
    if (!lib) {
        s_htmlHelp.failed = TRUE;
        return 0;
    }
    HtmlHelpFn entry = (HtmlHelpFn)(void *)GetProcAddress(lib, MAKEINTRESOURCEA(kHtmlHelpOrdinal));
    if (!entry) {
        FreeLibrary(lib);
        s_htmlHelp.failed = TRUE;
        return 0;
    }
    s_htmlHelp.library = lib;
    s_htmlHelp.entry = entry;
    return 1;
}

void HtmlHelpRelease(void)
{
    if (s_htmlHelp.entry) {
        // The library owns the help windows' code: close them before it goes.
        s_htmlHelp.entry(NULL, NULL, HH_CLOSE_ALL, 0);
        FreeLibrary(s_htmlHelp.library);
    }
    memset(&s_htmlHelp, 0, sizeof(s_htmlHelp));
}

static int CallHtmlHelp(HWND wnd, const char *file, UINT command, DWORD_PTR data)
{
    if (!HtmlHelpBind(kHtmlHelpClsidKey, "hhctrl.ocx"))
        return 0;
    // Window handles carry 32 significant bits on 64-bit Windows, so int holds them.
    return (int)(INT_PTR)s_htmlHelp.entry(wnd, file, command, data);
}

int HelpFilePath(char *out, size_t cap, const char *topic)
{
    const char *dir = g_viewer.moduleDirectory;
    size_t len = strlen(dir);
    const char *sep = len && dir[len - 1] == '\\' ? "" : "\\";
    int n = topic ? snprintf(out, cap, "%s%s%s::/%s", dir, sep, HELP_FILE_NAME, topic)
                  : snprintf(out, cap, "%s%s%s", dir, sep, HELP_FILE_NAME);
    return n > 0 && (size_t)n < cap;
}

int ShowHelp(HWND wnd, const char *topic, UINT command, DWORD_PTR data)
{
    char path[2 * MAX_PATH];
    if (!HelpFilePath(path, sizeof(path), topic))
        return 0;
    return CallHtmlHelp(wnd, path, command, data);
}

// String id of lib in the library's own code page, as the pop-up font expects it.
static int LoadLibraryString(HINSTANCE lib, UINT id, char *buf, int cap)
{
    buf[0] = 0;
    const WCHAR *res = NULL;
    int wlen = LoadStringW(lib, id, (LPWSTR)&res, 0);
    if (wlen <= 0 || !res)
        return 0;
    if (wlen > cap - 1)
        wlen = cap - 1;
    int n = WideCharToMultiByte(LanguageCodePage(lib), 0, res, wlen, buf, cap - 1, NULL, NULL);
    if (n <= 0)
        n = 0;
    buf[n] = 0;
    return n;
}

void ShowContextHelpPopup(HWND dlg, const HELPINFO *hi, HINSTANCE lib, UINT stringId)
{
    char text[kPopupTextChars + 1];
    // A control mapped to a string the library lacks gets no (empty) pop-up.
    if (!LoadLibraryString(lib, stringId, text, sizeof(text)))
        return;
    HH_POPUP popup;
    memset(&popup, 0, sizeof(popup));
    popup.cbStruct = sizeof(popup);
    popup.hinst = NULL;
    popup.idString = 0;
    popup.pszText = text;
    popup.pt = hi->MousePos;
    popup.clrForeground = (COLORREF)-1;
    popup.clrBackground = (COLORREF)-1;
    popup.rcMargins.left = popup.rcMargins.top = popup.rcMargins.right = popup.rcMargins.bottom = -1;
    popup.pszFont = "MS Sans Serif, 8, windows-1251";
    CallHtmlHelp(dlg, NULL, HH_DISPLAY_TEXT_POPUP, (DWORD_PTR)&popup);
}

void ShowMenuHelp(WPARAM wp, LPARAM lp, HMENU menu, HINSTANCE lib, HWND statusBar)
{
    // MenuHelp reads the table's second entry as the string of a pop-up item; an id
    // that no library holds shows an empty text, which clears the status bar.
    static UINT noStrings[2] = {0, 0xFFFF};
    if (HIWORD(wp) & (MF_POPUP | MF_SYSMENU))
        MenuHelp(WM_MENUSELECT, wp, lp, NULL, NULL, statusBar, noStrings);
    else
        MenuHelp(WM_MENUSELECT, wp, lp, menu, lib, statusBar, noStrings);
}

void ShowControlHelp(HWND dlg, const HELPINFO *hi, const ControlHelp *table)
{
    if (hi->iContextType != HELPINFO_WINDOW)
        return;
    for (const ControlHelp *e = table; e->control; e++)
        if (e->control == hi->iCtrlId) {
            ShowContextHelpPopup(dlg, hi, g_viewer.activeLanguage, e->stringId);
            return;
        }
}

#define CORVID_WEB_PAGE "https://corvid.example.org/"

void OpenWebPage(HWND owner) { ShellExecuteA(owner, "open", CORVID_WEB_PAGE, NULL, NULL, SW_SHOWNORMAL); }
