// Program start-up and shutdown around the one message loop of the UI thread.
#pragma once
#include <windows.h>

// Runs the viewer for the command line; returns 0 in every case.
int RunViewer(HINSTANCE instance, const char *commandLine);

// The program file's folder, cut after the last backslash or colon and without a
// trailing backslash; made the current directory. Returns 0 on failure.
int ModuleDirectory(char *out, DWORD cap);
