// Toolbar extras of the main window (keyboard lights, level slider), the console
// toolbar builder and the remote cursor (shape and markers). UI thread unless noted.
#pragma once
#include <windows.h>

// Main-window creation, after the main toolbar: lights, labels, slider, its tooltip.
int AddToolbarExtras(HWND toolbar);
// After a successful login: slider enabled at the level from the login reply.
void EnableLevelSlider(DWORD level);
// The slider's tooltip text from the active language library (language switch).
void UpdateSliderTooltip(void);
// The console pad's toolbar (bitmap 127).
HWND BuildConsoleToolbar(HWND parent, UINT id);

// Receive thread: PKT_KEYBOARD_LIGHTS.
int HandleKeyboardLights(const struct SessPacketHeader *h, const BYTE *payload);
LRESULT CALLBACK KeyLightProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);

// WM_CV_CURSOR_SHAPE and WM_CV_CURSOR_POS; command 40027.
void OnCursorShape(WPARAM kind, LPARAM value);
void OnCursorPos(DWORD x, DWORD y);
void ToggleShowRemoteCursor(void);
// Cursor markers with the tile pad and the scaled view (desktop build).
int CreateCursorMarkers(void);
// Keeps a marker on top of what a tile or the scaled view just painted.
void RefreshMarkerOver(HWND painted);
// The shown marker on view (the tile pad or the scaled view) with its rectangle in
// view's client coordinates; NULL while it is hidden.
HWND MarkerShownOn(HWND view, RECT *rc);
LRESULT CALLBACK CursorMarkerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK ScaledMarkerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
