// The console's own state: the local console that mirrors the remote one, its pad, and
// the remote console's screen copy.
#pragma once
#include <windows.h>

#include "console/screenbuf.h"

// UI thread only, but for the screen copy. The input thread gets the input handle and
// the stop event when it starts and touches nothing else.
struct ConsoleState {
    HANDLE input, output;
    HWND window; // nonzero exactly while a console is open
    HANDLE inputThread;
    HANDLE stopEvent;    // auto reset: ends the input thread
    HWND pad;            // the ButtonPad
    HWND toolbar;        // the pad's toolbar while it exists
    WNDPROC toolbarProc; // the pad toolbar's own procedure (subclassed)
    UINT_PTR padTimer;
    FARPROC getDisplayMode, setDisplayMode; // kernel32's, NULL when absent

    ConsoleScreen screen; // the remote console's screen copy: ConsoleLock, taken alone
};

extern ConsoleState g_console;
