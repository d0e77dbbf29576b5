// Forwarding of mouse and keyboard input to the Agent, the keyboard hook and the
// modifier buttons. UI thread only.
#pragma once
#include <windows.h>

// Mouse message of a tile window (unscaled view or full screen) or a key from the
// main window (code 1124). Nothing is sent unless the desktop is active.
void SendInputEvent(HWND wnd, UINT code, WPARAM wp, LPARAM lp);
// Mouse message of the scaled view.
void SendScaledInput(HWND scaledView, UINT code, WPARAM wp, LPARAM lp);
// Tile windows and the scaled view ask this before forwarding: control on, focus, no menu.
int InputForwarding(void);
// Installs the hook for wnd while control is on, a viewer window has the focus and no
// menu is open; removes it otherwise. remove: unconditionally.
void UpdateKeyboardHook(HWND wnd);
void RemoveKeyboardHook(void);
// WM_CV_KEY_INPUT of the main window (fullScreenWindow 0) or the full-screen window;
// returns the message's result (1 = the viewer consumed the key itself).
LRESULT OnKeyInput(int fullScreenWindow, WPARAM vk, LPARAM flags);
// A key typed into the local console, in control mode: the modifier latch follows it
// and it goes to the Agent, whether or not a desktop is shown.
void ForwardConsoleKey(UINT vk, UINT flags);
// Commands 40002, 40017..40022, 40025.
void ToggleRemoteControl(void);
void RunKeyButton(UINT command);
// Sets a modifier button's look on the main toolbar and the console toolbar.
void ShowModifierButton(UINT command, int checked);
// Releases the mouse capture a forwarded button press took (losing the focus).
void ReleaseInputCapture(void);
