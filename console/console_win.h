// The remote console on the viewer's side: the receive thread's handling of the four
// console messages, and the local console window that shows them, on the UI thread.
#pragma once
#include <windows.h>

#include "session/packet.h"

// Receive thread: stores a console message in ConsoleScreen under ConsoleLock, notes it
// as pending and raises the console notice (WM_CV_CONSOLE_CHANGED) to the main window.
// Bad geometry is logged and dropped. Returns 1.
int HandleConsolePacket(const SessPacketHeader *h, const BYTE *payload);

// UI thread, WM_CV_CONSOLE_CHANGED: takes the notice and brings the console up to what
// is pending: closed at a stop, opened (at most one new console per second; a later one
// by a timer), resized in place for a start of another size, rows and cursor written.
void OnConsoleChanged(void);
// A key the input thread read from the console: sent in control mode only.
void OnConsoleKey(UINT vk, UINT flags);

// Opens the local console (closing one that is open first); returns its window, NULL
// when it could not be opened (reported, and the viewer's window shown again).
HWND OpenConsole(void);
// Closes the console if one is open; showAgain shows the viewer's window again.
void CloseConsole(int showAgain);
// Ctrl+C and Ctrl+Break are kept from the viewer; a close of the console closes the
// main window and waits (up to kConsoleCloseWaitMs) for the viewer's orderly end.
BOOL WINAPI ConsoleCtrlHandler(DWORD type);
// The end of the viewer's orderly end, which a console close waits for.
void ConsoleViewerEnded(void);
// kernel32's console display-mode functions; nonzero when both exist. NT family only.
int LookupConsoleDisplayMode(void);
// Command 1225: with the main window hidden, the console comes to the top.
void BringConsoleForward(HWND mainWindow);

// The button pad beside the console (console/pad_win.cpp).
LRESULT CALLBACK ButtonPadProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
HWND CreateButtonPad(HWND console);
// The pad's toolbar (bitmap 127) with its twelve entries.
HWND BuildConsoleToolbar(HWND parent, UINT id);
// Command 40026: pinning on or off; switched on, the pad records where it stands.
void TogglePadFollowsConsole(void);
