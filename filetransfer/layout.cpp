// Geometry of the file-transfer window.
#include "filetransfer/layout.h"

#include "ui/dpi.h"

static int AtLeast0(int v) { return v < 0 ? 0 : v; }

void FtFrameLayout(int width, int dpi, int *panel, int *pad)
{
    width = AtLeast0(width);
    const int padMin = DpiScale(kFtPadMin, dpi);
    const int p = width < padMin ? 0 : (width - padMin) / 2;
    *panel = p;
    *pad = width - 2 * p;
}

static FtRect Rect(int x, int y, int w, int h) { return FtRect{x, y, AtLeast0(w), AtLeast0(h)}; }

void FtLayoutPanel(int w, int h, int s, int c, int dpi, FtPanelLayout *out)
{
    const int captionH = DpiScale(16, dpi), comboY = DpiScale(18, dpi), comboW = DpiScale(60, dpi);
    const int gap = DpiScale(3, dpi); // around the path box, which stands centred beside the combo
    out->parts[0] = AtLeast0(w - DpiScale(300, dpi));
    out->parts[1] = AtLeast0(w - DpiScale(150, dpi));
    out->parts[2] = -1; // to the right edge
    out->caption = Rect(1, 1, w - 2, captionH);
    out->combo = Rect(0, comboY, comboW, c);
    out->edit = Rect(comboW + gap, comboY + gap, w - comboW - gap - 2, c - 2 * gap);
    out->list = Rect(0, comboY + c, w, h - s - c - comboY);
    out->status = Rect(0, h - s, w, s);
}
