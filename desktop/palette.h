// Default colour tables of a new desktop, and the Agent's palette as it is stored.
// Portable; constant data.
#pragma once
#include <cstddef>
#include <cstdint>

// RGBQUAD byte order: blue, green, red, 0.
extern const uint8_t kDefaultColours2[2 * 4];
extern const uint8_t kDefaultColours16[16 * 4];
extern const uint8_t kDefaultColours256[256 * 4];

// The default table for a colour count of 2, 16 or 256 (its size is count * 4), or null.
const uint8_t *DefaultColourTable(int colourCount);
// The RCDATA resource that carries the same table: 256, 111 or 258; 0 for other counts.
int DefaultColourResource(int colourCount);

// PKT_PALETTE: received entry (b0, b1, b2, b3) becomes (b2, b1, b0, 0), so that read as
// an RGBQUAD it has red b0, green b1, blue b2.
void StorePalette(const uint8_t payload[1024], uint8_t table[1024]);
