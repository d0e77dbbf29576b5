// The main window's commands (menu and toolbar share the ids). UI thread only.
#pragma once
#include <windows.h>

// Returns 1 when the command was handled.
int RunCommand(HWND mainWindow, UINT command);
