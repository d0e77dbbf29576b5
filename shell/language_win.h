// The main menu of the active language: switching the interface language while the
// viewer runs, with the menu's state carried over, and the numbered remote-screen
// items. UI thread only.
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

// The screen submenu of a main menu: the first submenu of its third menu; NULL if none.
HMENU ScreenSubmenu(HMENU menu);

// Replaces the items of submenu with count (0..255) radio items "&1", "&2" ... of
// commands 41000, 41001 ..., the remote side's current screen checked.
void FillScreenItems(HMENU submenu, int count);

// A screen can be chosen: the remote side reports more than one and the session has
// the remote-control right.
int ScreenChoiceAllowed(void);

// Empties the main menu's screen items; when a screen can be chosen, enables 40060
// and fills them (desktop build, language switch).
void RefreshScreenItems(void);

// Commands 41000..41254: queues PKT_SELECT_SCREEN with the screen's number. Returns 0
// (nothing sent) for a number the remote side does not have or when no screen can be
// chosen, so a posted command cannot go past the menu.
int SelectScreenCommand(UINT command);
