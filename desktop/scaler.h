// The scaled view's picture, drawn by the viewer itself: each shown pixel is the
// average of the screen pixels it covers. Only the part of the view that a change
// touches is drawn again, so a batch of changed tiles costs what it changed.
#ifndef CORVID_DESKTOP_SCALER_H
#define CORVID_DESKTOP_SCALER_H

#include <cstdint>

#include "desktop/tiles.h"
#include "desktop/viewgeom.h"

// Division by a fixed d as a multiplication: for the x the scaler divides,
// floor(x / d) is the high half of x * multiplier shifted right by shift.
struct ScaleDivisor {
    uint64_t multiplier;
    uint32_t shift;
    uint64_t bias; // half of d, added for rounding half up
};

struct ScaledPicture {
    int32_t width, height;       // the view
    int32_t srcWidth, srcHeight; // the screen
    uint32_t *pixels;            // width * height of 0x00RRGGBB, bottom-up rows like a DIB
    int32_t *xs, *ys;            // first screen column (row) of each view column (row), and the end
    uint64_t *sums;              // one view row of red, green and blue sums, or of packed words
    int packable;                // spans small enough for packed sums at 16 bits
    int32_t shortX, shortY;      // the shorter span of each axis; any other is one longer
    // Per depth kind (0 colour table, 1 16 bits) and pixel count: [kind][longer row * 2 + longer column].
    ScaleDivisor divisors[2][4];
};

// Sets up a width x height picture of a srcWidth x srcHeight screen, all black.
// Returns 0 (and holds nothing) when a size is not positive or memory runs out.
int ScaledPictureInit(ScaledPicture *p, int32_t srcWidth, int32_t srcHeight, int32_t width, int32_t height);
void ScaledPictureFree(ScaledPicture *p);

// Draws the part of the view that the screen rectangle [left, right) x [top, bottom)
// covers, from frameBits laid out as layout's bottom-up frame. colours is the frame's
// colour table (blue, green, red, 0 per entry; 256 entries) for depths under 16.
// *drawn receives that part of the view (empty when nothing was drawn).
void ScaledPictureDraw(ScaledPicture *p, const TileLayout *layout, const uint8_t *frameBits, const uint8_t *colours,
                       int32_t left, int32_t top, int32_t right, int32_t bottom, ViewRect *drawn);

#endif
