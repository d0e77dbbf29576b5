// Full-screen mode: the tile pad lifted out of the view frame into a topmost pop-up of
// the local screen's size, with a small floating pad that leads back. UI thread only.
#pragma once
#include <windows.h>

LRESULT CALLBACK FullScreenProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK FullScreenPadProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// Main-window creation: the full-screen window (hidden) and its pad. 0 on failure.
int CreateFullScreenWindow(void);

// Commands 40006 and 40023. Each returns 1 when the mode is (already) as asked; 0 when
// entering is not possible, with the main window left as it was.
int EnterFullScreen(void);
int LeaveFullScreen(void);

// Desktop restart, new screen description, display change: leaves through the pad,
// as its button does, when the mode is on.
void LeaveFullScreenThroughPad(void);
