// Built-in cursor patterns: an arrow and a box, drawn pixel by pixel into 1-bit masks
// so a test (or a person) can tell them apart on the viewer's screen.
#include "tools/agentsim/cursor.h"

#include <cstring>

namespace {

enum { kSide = 32, kRowBytes = kSide / 8 };
static_assert(5 + 2 * kSimCursorMaskLen == kCursorShapeLen, "masks fill the payload");

// 0 outside, 1 outline, 2 inside.
int ArrowPixel(int x, int y)
{
    if (y < 16) {
        if (x > y)
            return 0;
        return (x == 0 || x == y || y == 15) ? 1 : 2;
    }
    if (y < 22 && x >= 5 && x <= 8)
        return (x == 5 || x == 8 || y == 21) ? 1 : 2;
    return 0;
}

int BoxPixel(int x, int y)
{
    if (x >= 16 || y >= 16)
        return 0;
    return (x < 2 || x > 13 || y < 2 || y > 13) ? 1 : 2;
}

} // namespace

void SimCursorPattern(int pattern, uint8_t andMask[kSimCursorMaskLen], uint8_t xorMask[kSimCursorMaskLen])
{
    memset(andMask, 0xFF, kSimCursorMaskLen);
    memset(xorMask, 0, kSimCursorMaskLen);
    for (int y = 0; y < kSide; y++)
        for (int x = 0; x < kSide; x++) {
            int v = pattern == kSimCursorBox ? BoxPixel(x, y) : ArrowPixel(x, y);
            if (!v)
                continue;
            const int at = y * kRowBytes + x / 8;
            const uint8_t bit = (uint8_t)(0x80 >> (x % 8));
            andMask[at] &= (uint8_t)~bit;
            if (v == 2)
                xorMask[at] |= bit;
        }
}

void SimCursorShapePayload(uint8_t hotX, uint8_t hotY, uint8_t width, uint8_t height2,
                           const uint8_t andMask[kSimCursorMaskLen], const uint8_t xorMask[kSimCursorMaskLen],
                           uint8_t out[kCursorShapeLen])
{
    out[0] = hotX;
    out[1] = hotY;
    out[2] = width;
    out[3] = height2;
    out[4] = 0;
    memcpy(out + 5, andMask, kSimCursorMaskLen);
    memcpy(out + 5 + kSimCursorMaskLen, xorMask, kSimCursorMaskLen);
}
