// Texts of the active language library. UI thread, or any thread for reading.
#pragma once
#include <windows.h>

// Loads string id of the active library into buf (always terminated). Returns its
// length, 0 when the library lacks it (buf is then empty).
// Windows code page of a language library's texts (1251 for Russian).
UINT LanguageCodePage(HMODULE library);

int LoadLangString(UINT id, char *buf, int cap);
