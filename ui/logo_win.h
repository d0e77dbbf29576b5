// The logo window ("CORVID:LOGO"), the viewer's about box: bitmap 124 in a small
// topmost frame that closes itself. UI thread only.
#pragma once
#include <windows.h>

enum { kLogoWidth = 324, kLogoHeight = 209 };
// How long the about box of the main and the file-transfer windows stays.
enum { kLogoSeconds = 10 };

// Shows the logo for seconds (closed at the tick after the last second, or by a
// click or a key) unless one is already shown. Returns 1 when a logo is shown, 0
// when it could not be made (then reported).
int ShowLogo(UINT seconds);
// The logo has no owner, so the main window's end takes it down by this.
void CloseLogo(void);

// The window procedure of the "CORVID:LOGO" class.
LRESULT CALLBACK LogoWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
