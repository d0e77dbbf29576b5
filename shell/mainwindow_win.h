// The main window: the frame of the viewer, its creation and destruction order.
// UI thread only; workers post to it.
#pragma once
#include <windows.h>

// WM_USER-based messages of the session, to the main window unless stated.
enum {
    WM_CV_CONNECT = WM_USER + 1,
    WM_CV_SOCKET = WM_USER + 3,
    WM_CV_SET_STAMP = WM_USER + 70,
};

int RegisterMainWindowClass(void);
// Creates and shows the main window; returns 0 when creation failed.
int CreateMainWindow(void);
