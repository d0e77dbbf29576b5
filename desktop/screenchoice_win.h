// The remote-screen choice: the numbered items of the main menu's screen submenu and
// the command each one sends. UI thread only.
#pragma once
#include <windows.h>

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
