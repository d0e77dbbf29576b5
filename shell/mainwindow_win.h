// The main window: the frame of the viewer, its creation and destruction order.
// UI thread only; workers post to it.
#pragma once
#include <windows.h>

#include "shell/messages.h"

int RegisterMainWindowClass(void);
// Creates and shows the main window; returns 0 when creation failed.
int CreateMainWindow(void);
