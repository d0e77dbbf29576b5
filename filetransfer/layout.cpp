// Geometry of the file-transfer window.
#include "filetransfer/layout.h"

static int AtLeast0(int v) { return v < 0 ? 0 : v; }

void FtFrameLayout(int width, int *panel, int *pad)
{
    width = AtLeast0(width);
    const int p = width < kFtPadMin ? 0 : (width - kFtPadMin) / 2;
    *panel = p;
    *pad = width - 2 * p;
}

static FtRect Rect(int x, int y, int w, int h) { return FtRect{x, y, AtLeast0(w), AtLeast0(h)}; }

void FtLayoutPanel(int w, int h, int s, int c, FtPanelLayout *out)
{
    out->parts[0] = AtLeast0(w - 300);
    out->parts[1] = AtLeast0(w - 150);
    out->parts[2] = -1;  // to the right edge
    out->caption = Rect(1, 1, w - 2, 16);
    out->combo = Rect(0, 18, 60, c);
    out->edit = Rect(63, 21, w - 65, c - 6);
    out->list = Rect(0, c + 18, w, h - s - c - 18);
    out->status = Rect(0, h - s, w, s);
}
