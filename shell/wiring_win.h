// The one place that knows every subsystem: it sets each owner's packet handler and
// registers the window classes. Start-up calls WireViewer once, on the UI thread,
// before any worker thread exists.
#pragma once
#include <windows.h>

// Handlers and window classes; 0 when a class cannot be registered.
int WireViewer(void);
// The packet handlers and receive hooks alone (the Wine unit tests have no classes).
void WirePacketHandlers(void);

// WM_CV_LOGIN_REPLY with the Agent's status: rights, the level slider, then the stamp
// and the client information; a refusal is shown and ends the session.
void AfterLoginReply(HWND mainWindow, DWORD status);
// WM_CV_DESKTOP_RESTART: the desktop is torn down until the next screen information.
void AfterDesktopRestart(HWND mainWindow);
