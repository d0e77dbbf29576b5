// Command states shared by the main menu and the main toolbar: enabling by the login
// rights, checked toggles. UI thread only.
#pragma once
#include <windows.h>

enum { kCheckLeave = (UINT)-1 };

// The main toolbar (control id 200) with its 20 entries; 0 when it cannot be made.
HWND CreateMainToolbar(HWND mainWindow);

// Enables or greys the menu item, sets its check when check is 0 or MF_CHECKED, and
// makes the toolbar button enabled or indeterminate (keeping its check in step).
void EnableCommand(int on, UINT command, UINT check);
// Sets the checked state of a command on the menu and the toolbar.
void CheckCommand(UINT command, int checked);

// Greys every menu item that is not enabled from the start (after loading a menu):
// those that wait for the login rights or their own state.
void GreyUnavailableCommands(HMENU menu);

// Enables the commands the login rights grant.
void ApplyRights(DWORD rights);
