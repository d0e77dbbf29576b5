// Texts of the active language library. UI thread, or any thread for reading.
#pragma once
#include <windows.h>

// Loads string id of the active library into buf (always terminated). Returns its
// length, 0 when the library lacks it (buf is then empty).
// Windows code page of a language library's texts (1251 for Russian).
UINT LanguageCodePage(HMODULE library);

int LoadLangString(UINT id, char *buf, int cap);

// Show single-byte text of the active library (Windows-1251 for Russian) as UTF-16,
// so that it reads right whatever the system's ANSI code page is. Nonzero on success.
int SetLangText(HWND wnd, const char *text);
int SetLangItemText(HWND dlg, int id, const char *text);
