// The main window's commands (menu and toolbar share the ids). UI thread only.
#pragma once
#include <windows.h>

// Returns 1 when the command was handled.
int RunCommand(HWND mainWindow, UINT command);
// Command 40015 of the main and the file-transfer windows: the product's web page
// through the shell's "open" verb.
void OpenWebPage(HWND owner);
