// The file-transfer window: the one entry of the shell into this subsystem. UI thread.
#pragma once
#include <windows.h>

// Command 40013: opens the window (only with the file-transfer right), or brings the
// open one forward; the main window is minimised. Returns 0 when it cannot be opened.
int OpenFileTransferWindow(HWND mainWindow);

// The session ends: a copy or delete still running is aborted, and its worker waited for
// (a few seconds at most) before the buffers and events it uses go away.
void EndFileTransferWorker(void);
