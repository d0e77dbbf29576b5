// The main menu of the active language: switching the interface language while the
// viewer runs, with the menu's state carried over. UI thread only.
#pragma once
#include <windows.h>

// Commands 40028 (index 0) and 40029 (index 1): switches the language and, when
// settings are saved on exit, saves them at once with the new Language.
void ChooseLanguage(HWND mainWindow, int index);

// Rebuilds the main menu from library index, updates the slider tooltip and tells the
// file-transfer window. Returns 1 when switched; 0 for an index of 2 or more, the
// language already active, or a menu that cannot be loaded (nothing changes then).
int SwitchLanguage(HWND mainWindow, int index);

// Position by position, two levels deep: sets the check marks of from on to (never
// clears one) and gives each item of to the enabled or greyed state of its twin.
void CarryMenuState(HMENU from, HMENU to);
