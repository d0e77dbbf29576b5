// Screen parts from the Agent, decoded straight into a tile's buffer, and publishing
// of a tile into the whole-screen frame. Portable; the callers hold the locks (the
// tile's lock while decoding, the screen lock while publishing).
#pragma once
#include <cstddef>
#include <cstdint>

#include "desktop/tiles.h"

enum PartResult {
    kPartApplied = 1,      // the tile changed as the part says
    kPartAppliedShort = 2, // applied, but the part's length was not the tile's (logged)
    kPartDropped = 0,      // nothing usable: the tile is left as it was (logged)
};

// Reads the tile address of a part (column at payload byte 0, row at byte 1); refuses
// a payload under 2 bytes and addresses outside 0..31.
int PartTileAddress(const uint8_t *payload, size_t len, int *row, int *column);

// XOR delta (type 5): data is the payload after the 2 address bytes, len its length.
// A part shorter or longer than height * lineBytes is applied as far as both go.
int ApplyXorPart(const TileGeometry *g, uint8_t *bits, const uint8_t *data, size_t len);

// Run-length records (types 8 and 7, xorMode 0 or 1) for 1- or 2-byte pixels. Records
// that run past the data or past the tile's last row end the part there.
int ApplyRlePart(const TileGeometry *g, uint8_t *bits, const uint8_t *data, size_t len, int bytesPerPixel, int xorMode);

// Copies one tile into the frame (bottom-up rows, frameStride bytes apart). Tiles that
// start inside a byte (1 and 4 bits) are merged bit-exactly.
void PublishTile(const TileLayout *layout, int row, int column, const uint8_t *tileBits, uint8_t *frameBits);
