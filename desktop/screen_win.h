// The remote screen model on the Win32 side: the build and teardown of
// the tiles, their windows, the whole-screen frame and the palettes. UI thread only.
#pragma once
#include <windows.h>

// WM_CV_SCREEN_INFO: builds the desktop for the announced screen. Returns 0 after
// reporting when it cannot be built (the caller ends the session).
int BuildDesktop(HWND mainWindow);
// Safe after a partial build and when nothing was built.
void TeardownDesktop(void);
// WM_CV_PALETTE: the logical palette and the colour tables from the stored entries.
void ApplyPalette(void);
// Whether a logical palette should be selected (it exists and the display has 8 bits).
int PaletteInUse(void);
