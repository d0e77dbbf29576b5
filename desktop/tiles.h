// The remote screen's division into a fixed grid of 32 x 32 tiles, the depth rules, and
// the whole-screen frame the tiles are published into. Portable; the UI thread builds
// the grid, the receive thread decodes into the tile buffers under their locks.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kTileGridSize = 32, kTileCount = kTileGridSize * kTileGridSize };
// The largest remote screen side shown: any real display wall, and at most 1 GB of
// tiles and frame at 16 bits.
enum { kMaxScreenSide = 16384 };

struct TileGeometry {
    uint16_t x, y;          // from the screen's top-left corner
    uint16_t width, height; // pixels
    uint32_t lineBytes;     // (D * width + 7) / 8: meaningful bytes of one row
    uint32_t stride;        // ((D * width + 31) / 8) & ~3: bytes from one buffer row to the next
    uint32_t size;          // height * stride
};

struct TileLayout {
    int32_t width, height;                            // W, H
    int depth;                                        // D = planes * bits per pixel
    TileGeometry tiles[kTileGridSize][kTileGridSize]; // [row][column]
    uint32_t frameStride;                             // ((D * W + 31) / 8) & ~3
};

// Refuses (returns 0) what cannot be shown: a depth other than 1, 4, 8 or 16, or a
// screen narrower or lower than 32 pixels (tiles of zero size), or wider or higher
// than kMaxScreenSide.
int TileLayoutCompute(TileLayout *layout, int32_t width, int32_t height, int depth);

// 2, 16 or 256 for depths 1, 4 and 8; 0 otherwise.
int ColourCount(int depth);
// The biBitCount of every bitmap header: 1, 4, 8 or 16.
int DibBitCount(int depth);
// biSizeImage of a bottom-up bitmap: whole 32-bit words per row; saturates instead
// of wrapping.
uint32_t DibImageSize(uint32_t width, uint32_t height, int bitCount);
// The bitmap-info block (0..3) that describes a tile: corner, bottom row, right column.
int TileInfoIndex(int row, int column);
