// The notification handler that the viewer's toolbars share (main window, console
// pad, file-transfer frame and pad): drop-down buttons and tooltip texts. UI thread.
#pragma once
#include <windows.h>

// WM_NOTIFY of a window that holds one of the toolbars. Always returns 0.
LRESULT OnToolbarNotify(HWND wnd, WPARAM wp, LPARAM lp);

// The screen items as a pop-up under button 40060 of toolbar, owned by mainWindow;
// nothing when no screen can be chosen. The choice arrives as WM_COMMAND 41000 + i.
void ScreenDropDown(HWND mainWindow, HWND toolbar);
