// The session's opening on the UI thread: the login step, the packets that answer the
// login reply and a desktop restart, and the session stamp.
#pragma once
#include <windows.h>

// WM_CV_CONNECT: password prompt if needed, connect, queue PKT_LOGIN.
void LoginOnConnect(HWND mainWindow);
// Queue PKT_SESSION_STAMP and PKT_CLIENT_INFO; 0 when the session is ending.
int LoginSendSessionStamp(void);
int LoginSendClientInfo(void);
// WM_CV_SET_STAMP.
void LoginOnSetStamp(HWND mainWindow, DWORD stamp);
