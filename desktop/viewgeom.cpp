// View geometry: visible tile range, scaled layout, scrolling and dragging. Portable.
#include "desktop/viewgeom.h"

namespace {

int64_t Min64(int64_t a, int64_t b) { return a < b ? a : b; }

// One axis of the visible range: edges[i] is the far edge (x + width) of tile i.
void VisibleAxis(const int64_t edges[kTileGridSize], int64_t offset, int64_t visible, int64_t extent, uint8_t *first,
                 uint8_t *count)
{
    if (visible < 0)
        visible = 0;
    const int64_t limit = Min64(offset + visible, extent);
    int f = kTileGridSize - 1;
    for (int i = 0; i < kTileGridSize; i++) {
        if (edges[i] > offset) {
            f = i;
            break;
        }
    }
    int last = kTileGridSize;
    for (int i = 0; i < kTileGridSize; i++) {
        if (edges[i] >= limit) {
            last = i;
            break;
        }
    }
    int n = last - f + (limit > offset ? 1 : 0);
    if (f + n > kTileGridSize)
        n = kTileGridSize - f;
    // An empty view whose edge sits on a tile boundary would give -1.
    if (n < 0)
        n = 0;
    *first = (uint8_t)f;
    *count = (uint8_t)n;
}

} // namespace

int TileRangeEqual(const TileRange *a, const TileRange *b)
{
    return a->firstColumn == b->firstColumn && a->columnCount == b->columnCount && a->firstRow == b->firstRow &&
           a->rowCount == b->rowCount;
}

void VisibleTileRange(const TileLayout *layout, int32_t hx, int32_t vy, int32_t cx, int32_t cy, TileRange *out)
{
    int64_t right[kTileGridSize], bottom[kTileGridSize];
    for (int i = 0; i < kTileGridSize; i++) {
        const TileGeometry *col = &layout->tiles[0][i], *row = &layout->tiles[i][0];
        right[i] = (int64_t)col->x + col->width;
        bottom[i] = (int64_t)row->y + row->height;
    }
    VisibleAxis(right, hx, cx, layout->width, &out->firstColumn, &out->columnCount);
    VisibleAxis(bottom, vy, cy, layout->height, &out->firstRow, &out->rowCount);
}

void ViewGridCounts(const TileLayout *layout, int32_t cx, int32_t cy, int *columns, int *rows)
{
    const int64_t w = layout->tiles[0][0].width, h = layout->tiles[0][0].height;
    int64_t x = Min64(cx < 0 ? 0 : cx, layout->width), y = Min64(cy < 0 ? 0 : cy, layout->height);
    x = w ? (x + w - 1) / w : 0;
    y = h ? (y + h - 1) / h : 0;
    *columns = (int)Min64(x, kTileGridSize);
    *rows = (int)Min64(y, kTileGridSize);
}

void ScaledLayout(int32_t cx, int32_t cy, int32_t width, int32_t height, double aspect, ScaledSize *out)
{
    if (cx >= width && cy >= height) {
        out->width = width;
        out->height = height;
        out->scale = 1.0;
        return;
    }
    // A client area with no width or height shows nothing (and must not divide by 0).
    if (cx <= 0 || cy <= 0 || width <= 0 || aspect <= 0.0) {
        out->width = 0;
        out->height = 0;
        out->scale = 0.0;
        return;
    }
    if ((double)cx / (double)cy < aspect) {
        out->width = cx;
        out->height = (int32_t)((double)cx / aspect);
    } else {
        out->height = cy;
        out->width = (int32_t)((double)cy * aspect);
    }
    out->scale = (double)out->width / (double)width;
}

int ScrollPosition(int code, int32_t min, int32_t max, int32_t pos, int32_t thumb, int32_t *newPos)
{
    int64_t page = ((int64_t)max - min) / 10;
    if (page < 1)
        page = 1;
    int64_t p;
    switch (code) {
    case kScrollLineUp:
        p = (int64_t)pos - 1;
        if (p < min)
            p = min;
        break;
    case kScrollLineDown:
        p = (int64_t)pos + 1;
        if (p > max)
            p = max;
        break;
    case kScrollPageUp:
        p = (int64_t)pos - page;
        if (p < min)
            p = min;
        break;
    case kScrollPageDown:
        p = (int64_t)pos + page;
        if (p > max)
            p = max;
        break;
    case kScrollThumbPosition:
    case kScrollThumbTrack:
        *newPos = thumb;
        return 1;
    case kScrollTop:
        p = min;
        break;
    case kScrollBottom:
        p = max;
        break;
    default:
        return 0;
    }
    if (p == pos)
        return 0;
    *newPos = (int32_t)p;
    return 1;
}

int WheelNotches(int32_t delta, int *code)
{
    const int64_t d = delta;
    const int64_t mag = d < 0 ? -d : d;
    *code = delta > 0 ? kScrollPageUp : kScrollPageDown;
    return (int)((mag + 119) / 120);
}

void DragAxis(int32_t offset, int32_t anchor, int32_t pointer, int32_t client, int32_t extent, int32_t *newOffset,
              int32_t *newAnchor)
{
    int64_t n = (int64_t)offset + ((int64_t)anchor - pointer);
    if (n + client >= extent)
        n = (int64_t)extent - client;
    if (n < 0)
        n = 0;
    *newOffset = (int32_t)n;
    *newAnchor = (int32_t)((int64_t)anchor + ((int64_t)offset - n));
}

static void Finish(UnscaledStep *out, int action) { out->action = action; }

void UnscaledLayoutStep(int32_t W, int32_t H, int32_t cx, int32_t cy, int32_t hx, int32_t vy, int hBar, int vBar,
                        UnscaledStep *out)
{
    out->hx = hx;
    out->vy = vy;
    out->moveTiles = 0;
    out->action = kUnscaledSettle;
    if (cx >= W && hBar) {
        if (out->hx) {
            out->hx = 0;
            out->moveTiles = 1;
        }
        return Finish(out, kUnscaledHideHorz);
    }
    if (cy >= H && vBar) {
        if (out->vy) {
            out->vy = 0;
            out->moveTiles = 1;
        }
        return Finish(out, kUnscaledHideVert);
    }
    // Both edges are judged at the offsets the pass started with.
    const int32_t right = hx + cx < W ? hx + cx : W;
    const int32_t bottom = vy + cy < H ? vy + cy : H;
    if (right == W && hBar) {
        if (out->hx == 0)
            return Finish(out, kUnscaledHideHorz);
        out->hx = W - cx > 0 ? W - cx : 0;
        out->moveTiles = 1;
        if (out->hx == 0)
            return Finish(out, kUnscaledHideHorz);
    }
    if (bottom == H && vBar) {
        if (out->vy == 0)
            return Finish(out, kUnscaledHideVert);
        out->vy = H - cy > 0 ? H - cy : 0;
        out->moveTiles = 1;
        if (out->vy == 0)
            return Finish(out, kUnscaledHideVert);
    }
    if (right < W && !hBar)
        return Finish(out, kUnscaledShowHorz);
    if (bottom < H && !vBar)
        return Finish(out, kUnscaledShowVert);
}
