// The display's DPI, read once, and the viewer's own lengths and toolbar pictures scaled
// to it. UI thread.
#include "ui/dpi_win.h"

#include "shell/state.h"

static const COLORREF kToolbarKey = RGB(255, 0, 255);

int DisplayDpi(void)
{
    // The manifest declares the program system aware: the DPI cannot change while it runs.
    if (!g_viewer.localDisplay.dpi) {
        HDC screen = GetDC(NULL);
        const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen)
            ReleaseDC(NULL, screen);
        g_viewer.localDisplay.dpi = dpi > 0 ? dpi : kBaseDpi;
    }
    return g_viewer.localDisplay.dpi;
}

int ScaleForDpi(int px) { return DpiScale(px, DisplayDpi()); }

void ScaleToolbarButtons(HWND toolbar, int image)
{
    if (DisplayDpi() == kBaseDpi)
        return;
    const int scaled = ScaleForDpi(image);
    const LRESULT size = SendMessageA(toolbar, TB_GETBUTTONSIZE, 0, 0);
    const int w = scaled + ScaleForDpi(LOWORD(size) - scaled), h = scaled + ScaleForDpi(HIWORD(size) - scaled);
    SendMessageA(toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(w, h));
}

// The strip stretched by whole source pixels (no blending), so the magenta key stays
// exact and no image bleeds into its neighbour.
static HBITMAP StretchStrip(HBITMAP strip, int fromWidth, int fromHeight, int width, int height)
{
    HDC screen = GetDC(NULL);
    HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
    // 24 bits whatever the display's depth: a palette would move the pictures' colours.
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HBITMAP out = from && to ? CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
    if (out) {
        HGDIOBJ oldFrom = SelectObject(from, strip), oldTo = SelectObject(to, out);
        SetStretchBltMode(to, COLORONCOLOR);
        const BOOL drawn = StretchBlt(to, 0, 0, width, height, from, 0, 0, fromWidth, fromHeight, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
        if (!drawn) {
            DeleteObject(out);
            out = NULL;
        }
    }
    if (from)
        DeleteDC(from);
    if (to)
        DeleteDC(to);
    ReleaseDC(NULL, screen);
    return out;
}

HIMAGELIST LoadToolbarImages(WORD bitmap, int size)
{
    const int scaled = ScaleForDpi(size);
    if (scaled == size)
        return ImageList_LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(bitmap), size, 0, kToolbarKey, IMAGE_BITMAP,
                                    LR_CREATEDIBSECTION);
    HBITMAP strip =
        (HBITMAP)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(bitmap), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!strip)
        return NULL;
    BITMAP bm = {};
    const int count = GetObjectA(strip, sizeof(bm), &bm) && size > 0 ? bm.bmWidth / size : 0;
    HBITMAP big = count > 0 ? StretchStrip(strip, count * size, size, count * scaled, scaled) : NULL;
    HIMAGELIST list = big ? ImageList_Create(scaled, scaled, ILC_COLOR24 | ILC_MASK, count, 0) : NULL;
    if (list && ImageList_AddMasked(list, big, kToolbarKey) < 0) {
        ImageList_Destroy(list);
        list = NULL;
    }
    if (big)
        DeleteObject(big);
    DeleteObject(strip);
    return list;
}
