// The display's DPI, read once, and the viewer's own lengths and toolbar pictures scaled
// to it. UI thread.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "ui/dpi.h"

// Dots per inch of the screen (96 unless the system is set to larger text).
int DisplayDpi(void);

// A length of the 96-DPI layout on this display. The remote desktop is never scaled
// with it: it is shown pixel for pixel.
int ScaleForDpi(int px);

// Scales the padding around the pictures (image x image at 96 DPI) of a toolbar's
// buttons, once they are added, so that the buttons and the toolbar's height grow with
// the pictures.
void ScaleToolbarButtons(HWND toolbar, int image);

// The images of a toolbar strip of size x size pictures keyed on magenta, scaled to
// the display; NULL when the bitmap cannot be loaded.
HIMAGELIST LoadToolbarImages(WORD bitmap, int size);
