// Screen-part encoding for the simulated Agent: run-length records, XOR deltas and
// the choice of the shortest part that brings one tile from what the viewer holds to
// the new picture. Pure functions over tile buffers in the viewer's layout.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "desktop/tiles.h"

enum {
    kRleRepeatMax = 0x7FFF,  // 15-bit count of a repeat record
    kRleLiteralMax = 0xFFFF, // u16 count of a literal record
};

// Appends the records for count packed pixels of bytesPerPixel (1 or 2) bytes with the
// fewest bytes; counts over a record's limit are split. Returns the bytes appended.
size_t RleEncode(const uint8_t *pixels, size_t count, int bytesPerPixel, std::vector<uint8_t> *out);

// The tile's rows without their padding, in buffer order (lowest row first):
// height * lineBytes bytes.
void TilePack(const TileGeometry *g, const uint8_t *bits, uint8_t *packed);

// Bytes of the largest payload a part for this tile may need; the layout is servable
// when it fits in one packet.
size_t TilePartMax(const TileGeometry *g);

struct TilePart {
    uint32_t type;                // PKT_SCREEN_XOR_PART, _XOR_RLE_PART or _RLE_PART
    std::vector<uint8_t> payload; // column, row, then the data
};

// The part that turns held into want (both tile buffers). A first part at 8 or 16 bits
// replaces the tile (run-length); otherwise the shortest of the XOR delta, its
// run-length form and, when strictly shorter, a replacing part. Depths 1 and 4 only have
// the XOR delta. Returns 0 when no part fits in one packet.
int TilePartBuild(const TileGeometry *g, int depth, int row, int column, const uint8_t *held, const uint8_t *want,
                  int first, TilePart *part);
