// Geometry of the file-transfer window: the two panels and the pad between them, and
// the controls inside a panel. Lengths are of the 96-DPI layout, scaled to dpi. Pure;
// any thread.
#pragma once

enum { kFtPadMin = 33 };

struct FtRect {
    int x, y, w, h;
};

// Panel width (client width - pad) / 2 rounded down and the pad taking the rest (the
// pad is 33 pixels at 96 DPI, one more when the width is odd); a window too narrow for
// the pad gives panels of 0.
void FtFrameLayout(int width, int dpi, int *panel, int *pad);

// The controls of one panel of client w x h, with a status bar of height s and a drive
// combo of height c (both as the controls measure themselves). Sizes never go below 0.
struct FtPanelLayout {
    FtRect caption, combo, edit, list, status;
    int parts[3];
};
void FtLayoutPanel(int w, int h, int s, int c, int dpi, FtPanelLayout *out);
