// The desktop view: the view frame with its scroll bars, the tile pad and its tile
// windows (unscaled), and the scaled view. UI thread only.
#pragma once
#include <windows.h>

LRESULT CALLBACK ViewFrameProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK TileWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK ScaledViewProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// Main-window creation: the view frame. Returns 0 when it cannot be made.
int ViewCreateFrame(HWND mainWindow);
// Main window WM_SIZE: toolbar height known, frame placed; minimised: range {0,0,0,0}.
void ViewOnMainSize(HWND mainWindow, UINT kind);

// Desktop build: scaled view and tile pad (the tiles' windows are made by the build);
// view state reset.
int ViewCreateWindows(void);
void ViewDestroyScaled(void);
void ViewDestroyTilePad(void);
// Lays the view out for the frame's current client size.
void ViewRelayout(void);

// Commands 40059 (auto-scale) and 40005 (hand tool).
void ViewToggleAutoScale(void);
void ViewToggleDragMode(void);
// Main window WM_KEYDOWN while the desktop is active; WM_MOUSEWHEEL outside control mode.
void ViewScrollByKey(UINT key);
void ViewForwardWheel(WPARAM wp, LPARAM lp);
// Ends a hand-tool drag in progress (losing the focus).
void ViewEndDrag(void);
