// The session's opening on the UI thread: the login step, the login reply, the desktop
// restart and the session stamp.
#pragma once
#include <windows.h>

// WM_CV_CONNECT: password prompt if needed, connect, queue PKT_LOGIN.
void LoginOnConnect(HWND mainWindow);
// WM_CV_LOGIN_REPLY with the Agent's status.
void LoginOnReply(HWND mainWindow, DWORD status);
// WM_CV_DESKTOP_RESTART.
void LoginOnDesktopRestart(HWND mainWindow);
// WM_CV_SET_STAMP.
void LoginOnSetStamp(HWND mainWindow, DWORD stamp);
