// Toolbars built from a table of buttons (main window, console pad, file-transfer frame),
// the main toolbar's extras (keyboard lights, level slider) and the remote cursor (shape
// and markers). UI thread unless noted.
#pragma once
#include <windows.h>

// A toolbar button: image index, command, initial state, style.
struct ToolbarEntry {
    int image;
    UINT command;
    BYTE state;
    BYTE style;
};
// A visible toolbar with tooltips, 18 x 18 images from the bitmap (magenta key) and
// the entries (at most 32); NULL when it cannot be made.
HWND CreateEntryToolbar(HWND parent, UINT id, DWORD style, DWORD extendedStyle, WORD bitmap,
                        const ToolbarEntry *entries, int count);

// Main-window creation, after the main toolbar: lights, labels, slider, its tooltip.
int AddToolbarExtras(HWND toolbar);
// After a successful login: slider enabled at the level from the login reply.
void EnableLevelSlider(DWORD level);
// The slider's tooltip text from the active language library (language switch).
void UpdateSliderTooltip(void);

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
