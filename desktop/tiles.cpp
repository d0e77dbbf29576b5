// Tile grid geometry and the depth rules behind every bitmap header. Portable;
// pure functions.
#include "desktop/tiles.h"

#include <cstring>

namespace {

uint32_t LineBytes(int depth, uint32_t width) { return ((uint32_t)depth * width + 7) / 8; }

uint32_t Stride(int depth, uint32_t width) { return (((uint32_t)depth * width + 31) / 8) & ~3u; }

} // namespace

int TileLayoutCompute(TileLayout *layout, int32_t width, int32_t height, int depth)
{
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16)
        return 0;
    // Below 32 pixels the regular tiles would be empty; the upper bound keeps a hostile
    // announcement from asking for gigabytes of tile buffers and frame.
    if (width < kTileGridSize || height < kTileGridSize || width > kMaxScreenSide || height > kMaxScreenSide)
        return 0;
    memset(layout, 0, sizeof(*layout));
    layout->width = width;
    layout->height = height;
    layout->depth = depth;
    layout->frameStride = Stride(depth, (uint32_t)width);

    const uint32_t w = (uint32_t)width / kTileGridSize, h = (uint32_t)height / kTileGridSize;
    uint32_t y = 0;
    for (int r = 0; r < kTileGridSize; r++) {
        const uint32_t th = r < kTileGridSize - 1 ? h : (uint32_t)height - (kTileGridSize - 1) * h;
        uint32_t x = 0;
        for (int c = 0; c < kTileGridSize; c++) {
            const uint32_t tw = c < kTileGridSize - 1 ? w : (uint32_t)width - (kTileGridSize - 1) * w;
            TileGeometry *g = &layout->tiles[r][c];
            g->x = (uint16_t)x;
            g->y = (uint16_t)y;
            g->width = (uint16_t)tw;
            g->height = (uint16_t)th;
            g->lineBytes = LineBytes(depth, tw);
            g->stride = Stride(depth, tw);
            g->size = th * g->stride;
            x += tw;
        }
        y += th;
    }
    return 1;
}

int ColourCount(int depth)
{
    switch (depth) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

int DibBitCount(int depth)
{
    if (depth <= 1)
        return 1;
    if (depth <= 4)
        return 4;
    if (depth <= 8)
        return 8;
    return 16;
}

uint32_t DibImageSize(uint32_t width, uint32_t height, int bitCount)
{
    const uint64_t rowBytes = ((uint64_t)width * (uint32_t)bitCount + 31) / 32 * 4;
    const uint64_t size = rowBytes * height;
    return size > UINT32_MAX ? UINT32_MAX : (uint32_t)size;
}

int TileInfoIndex(int row, int column)
{
    const int lastRow = row == kTileGridSize - 1, lastColumn = column == kTileGridSize - 1;
    if (lastRow && lastColumn)
        return 3;
    if (lastRow)
        return 2;
    if (lastColumn)
        return 1;
    return 0;
}
