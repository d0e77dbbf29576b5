// Geometry of the two presentations: which tiles the unscaled view shows, the scaled
// view's size, scroll bar and wheel arithmetic and the hand tool's offsets. Portable;
// pure functions called on the user-interface thread.
#pragma once
#include <cstdint>

#include "desktop/tiles.h"

// The four bytes of PKT_VIEW_GRID and PKT_SCREEN_REFRESH_RECT, in wire order.
struct TileRange {
    uint8_t firstColumn, columnCount, firstRow, rowCount;
};

int TileRangeEqual(const TileRange *a, const TileRange *b);

// Tiles touched by the unscaled view scrolled to (hx, vy) with a cx x cy client area.
void VisibleTileRange(const TileLayout *layout, int32_t hx, int32_t vy, int32_t cx, int32_t cy, TileRange *out);

// Column and row counts of PKT_VIEW_GRID for a client area of cx x cy.
void ViewGridCounts(const TileLayout *layout, int32_t cx, int32_t cy, int *columns, int *rows);

// Largest rectangle of the screen's aspect inside cx x cy, never above 1:1.
struct ScaledSize {
    int32_t width, height;
    double scale; // width / W; exactly 1.0 at full size
};
void ScaledLayout(int32_t cx, int32_t cy, int32_t width, int32_t height, double aspect, ScaledSize *out);

struct ViewRect {
    int32_t left, top, right, bottom;
};
// Scroll bar request codes, as SB_* numbers them.
enum {
    kScrollLineUp = 0,
    kScrollLineDown = 1,
    kScrollPageUp = 2,
    kScrollPageDown = 3,
    kScrollThumbPosition = 4,
    kScrollThumbTrack = 5,
    kScrollTop = 6,
    kScrollBottom = 7,
};

// New position for a scroll request. Returns 0 when nothing is to happen (an unknown
// code, or a position that did not change except for thumb requests).
int ScrollPosition(int code, int32_t min, int32_t max, int32_t pos, int32_t thumb, int32_t *newPos);

// Wheel delta to page requests: returns the number of notches (0 for a delta of 0) and
// sets *code to kScrollPageUp for a positive delta, kScrollPageDown for a negative one.
int WheelNotches(int32_t delta, int *code);

// One axis of the hand tool: the offset after moving the pointer from anchor to pointer,
// kept within 0..extent - client, and the anchor that follows the pointer until a limit.
void DragAxis(int32_t offset, int32_t anchor, int32_t pointer, int32_t client, int32_t extent, int32_t *newOffset,
              int32_t *newAnchor);

// One pass of the unscaled view's layout for a cx x cy client area over a W x H screen
// scrolled to (hx, vy) with the bars shown as hBar and vBar: the offsets to use (the tile
// pad moves when moveTiles), then one action. Hiding or showing a bar resizes the
// frame, so the pass ends there and the next WM_SIZE runs another.
enum {
    kUnscaledSettle = 0, // bars keep their state; ranges and the request follow
    kUnscaledHideHorz,
    kUnscaledHideVert,
    kUnscaledShowHorz,
    kUnscaledShowVert,
};
struct UnscaledStep {
    int32_t hx, vy;
    int moveTiles;
    int action;
};
void UnscaledLayoutStep(int32_t W, int32_t H, int32_t cx, int32_t cy, int32_t hx, int32_t vy, int hBar, int vBar,
                        UnscaledStep *out);
