// Drag and drop between the two panels: the frame holds the mouse while the drag image
// follows it; released over the other panel's list, the selection is copied there
// (command 40039, with its own checks). The remote panel's drag is an OLE drag that other
// programs may take too (dropsource_win.cpp); over this window it looks and ends the same.
// UI thread only.
#include "filetransfer/dragout_win.h"
#include "filetransfer/ftcommands.h"
#include "filetransfer/panel_win.h"
#include "resources/resource.h"
#include "shell/state.h"

#include <commctrl.h>

enum { kMaxDragged = 256 }; // more than any list shows at once

// OLE runs the drag out (its own capture and loop): the frame's mouse messages are not the
// drag's. The picture shows only over the frame.
static int g_oleDrag, g_imageShown;

// The part of the list where items show: without the column header in details view.
static RECT VisibleArea(FilePanel *p)
{
    RECT area;
    GetClientRect(p->list, &area);
    HWND header = (HWND)SendMessageA(p->list, LVM_GETHEADER, 0, 0);
    if (p->viewStyle == FT_VIEW_DETAILS && header && IsWindowVisible(header)) {
        RECT h;
        GetWindowRect(header, &h);
        area.top += h.bottom - h.top;
    }
    return area;
}

// The selected items that can be seen, at most cap of them.
static int VisibleSelection(FilePanel *p, int *items, int cap, RECT *bounds)
{
    const RECT area = VisibleArea(p);
    int n = 0, i = -1;
    SetRectEmpty(bounds);
    while (n < cap && (i = (int)SendMessageA(p->list, LVM_GETNEXTITEM, (WPARAM)i, LVNI_SELECTED)) >= 0) {
        RECT r, meet;
        r.left = LVIR_BOUNDS;
        if (!SendMessageA(p->list, LVM_GETITEMRECT, i, (LPARAM)&r) || !IntersectRect(&meet, &r, &area))
            continue;
        items[n++] = i;
        UnionRect(bounds, bounds, &r);
    }
    return n;
}

static HIMAGELIST ItemImage(FilePanel *p, int item, POINT *at)
{
    return (HIMAGELIST)SendMessageA(p->list, LVM_CREATEDRAGIMAGE, item, (LPARAM)at);
}

// Each item's own drag image at its place among the others, over the picture of many.
static HIMAGELIST MergedImage(FilePanel *p, const int *items, int n, const RECT *bounds)
{
    HICON many = (HICON)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(IDI_FT_DRAG_MANY), IMAGE_ICON, 32, 32, 0);
    HIMAGELIST image = many ? ImageList_Create(32, 32, ILC_COLOR24 | ILC_MASK, 1, 0) : NULL;
    if (image && ImageList_AddIcon(image, many) < 0) {
        ImageList_Destroy(image);
        image = NULL;
    }
    if (many)
        DestroyIcon(many);
    for (int k = 0; image && k < n; k++) {
        POINT at;
        HIMAGELIST one = ItemImage(p, items[k], &at);
        if (!one)
            continue;
        HIMAGELIST merged = ImageList_Merge(image, 0, one, 0, at.x - bounds->left, at.y - bounds->top);
        ImageList_Destroy(one);
        if (merged) {
            ImageList_Destroy(image);
            image = merged;
        }
    }
    return image;
}

static void FrameOffset(POINT screen, POINT *out)
{
    RECT w;
    GetWindowRect(g_ft.frame, &w);
    out->x = screen.x - w.left;
    out->y = screen.y - w.top;
}

void FtBeginDrag(FilePanel *p, int item, POINT inList)
{
    if (g_ft.dragging || !g_ft.frame || item < 0)
        return;
    SendMessageA(p->list, LVM_ENSUREVISIBLE, item, FALSE);
    UpdateWindow(p->list);
    int items[kMaxDragged];
    RECT bounds;
    const int n = VisibleSelection(p, items, kMaxDragged, &bounds);
    POINT at = {0, 0};
    HIMAGELIST image;
    if (n >= 2) {
        image = MergedImage(p, items, n, &bounds);
        at.x = bounds.left;
        at.y = bounds.top;
    } else {
        image = ItemImage(p, item, &at);
    }
    const int index = (int)(p - g_ft.panels);
    if (index != g_ft.activePanel)
        FtSetActivePanel(index);
    g_ft.dragging = TRUE;
    g_ft.dragSource = index;
    g_ft.dragImage = image;
    POINT screen = inList;
    ClientToScreen(p->list, &screen);
    // Without an image the drag still goes on, with the cursor alone.
    if (image && ImageList_BeginDrag(image, 0, inList.x - at.x, inList.y - at.y)) {
        POINT f;
        FrameOffset(screen, &f);
        ImageList_DragEnter(g_ft.frame, f.x, f.y);
    }
    g_imageShown = 1;
    // With the button already up (the notification came late) an OLE drag would drop at
    // once wherever the pointer is.
    if (index == kFtRemote && (GetKeyState(VK_LBUTTON) < 0 || GetKeyState(VK_RBUTTON) < 0)) {
        int own = 0;
        POINT at = screen;
        g_oleDrag = 1;
        const int started = FtDragOut(p, &own, &at);
        g_oleDrag = 0;
        if (started) {
            FtEndDrag(at, own);
            return;
        }
    }
    SetCapture(g_ft.frame);
    FtDragMove(screen);
}

static void EndImage(void)
{
    if (!g_ft.dragImage)
        return;
    ImageList_DragLeave(g_ft.frame);
    ImageList_EndDrag();
    ImageList_Destroy(g_ft.dragImage);
    g_ft.dragImage = NULL;
}

// The other panel's list when the point is over it, else NULL.
static HWND DropTarget(POINT screen)
{
    HWND list = g_ft.panels[1 - g_ft.dragSource].list;
    RECT r;
    if (!list || !IsWindowVisible(list) || !GetWindowRect(list, &r) || !PtInRect(&r, screen))
        return NULL;
    return list;
}

static void Feedback(POINT screen)
{
    POINT f;
    FrameOffset(screen, &f);
    if (g_ft.dragImage)
        ImageList_DragMove(f.x, f.y);
    const int id = DropTarget(screen) ? IDC_FT_DROP : IDC_FT_NO_DROP;
    HCURSOR c = LoadCursorA(g_viewer.instance, MAKEINTRESOURCEA(id));
    SetCursor(c ? c : LoadCursorA(NULL, (LPCSTR)IDC_ARROW));
}

void FtDragMove(POINT screen)
{
    if (g_ft.dragging && !g_oleDrag)
        Feedback(screen);
}

int FtDragFeedback(POINT screen, int keep)
{
    HWND w = WindowFromPoint(screen);
    // A window of another program lying on the frame is not the frame.
    const int over = w && g_ft.frame && GetAncestor(w, GA_ROOT) == g_ft.frame;
    if (!g_ft.dragging)
        return over;
    if (!keep) {
        EndImage();
        return over;
    }
    if (g_ft.dragImage && over != g_imageShown) {
        ImageList_DragShowNolock(over);
        g_imageShown = over;
    }
    if (over)
        Feedback(screen);
    return over;
}

void FtEndDrag(POINT screen, int drop)
{
    if (!g_ft.dragging || g_oleDrag)
        return;
    // Cleared first: releasing the capture comes back here as a lost capture.
    g_ft.dragging = FALSE;
    EndImage();
    if (GetCapture() == g_ft.frame)
        ReleaseCapture();
    SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_ARROW));
    if (drop && DropTarget(screen))
        PostMessageA(g_ft.frame, WM_COMMAND, IDM_FT_COPY, 0);
}

void FtCancelDrag(void)
{
    const POINT nowhere = {0, 0};
    FtEndDrag(nowhere, 0);
}
