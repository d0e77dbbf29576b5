// Screen parts decoded straight into a tile's buffer, and publishing of a tile into
// the whole-screen frame. Portable; runs on the receive thread under the caller's locks.
//
// Hostile parts: every record is bounds-checked against the data before it is read and
// every write is clipped to the tile's meaningful bytes, so a bad part can only leave
// the tile partly updated. A run-length record cut short by the end of the data is not
// applied at all; one that runs past the tile's last row fills what is left; either
// ends the part (kPartAppliedShort) with the records before it kept. Counts of 0 write
// nothing. The loop ends when the data is used up, whatever the counts say.
#include "desktop/decode.h"

#include <cstring>

namespace {

// The loops below move 16-byte blocks through memcpy, which keeps unaligned access
// defined and compiles to single vector loads and stores. Short spans are covered by
// two overlapping words instead of a byte loop: most records are short.
typedef uint64_t Block __attribute__((vector_size(16)));

inline Block Load16(const uint8_t *p)
{
    Block v;
    memcpy(&v, p, 16);
    return v;
}

inline void Store16(uint8_t *p, Block v) { memcpy(p, &v, 16); }

inline uint64_t Load8(const uint8_t *p)
{
    uint64_t v;
    memcpy(&v, p, 8);
    return v;
}

inline void Store8(uint8_t *p, uint64_t v) { memcpy(p, &v, 8); }

inline void CopyBytes(uint8_t *dst, const uint8_t *src, size_t n)
{
    if (n >= 16) {
        size_t i = 0;
        for (; n - i >= 32; i += 32) {
            const Block a = Load16(src + i), b = Load16(src + i + 16);
            Store16(dst + i, a);
            Store16(dst + i + 16, b);
        }
        if (n - i >= 16) {
            Store16(dst + i, Load16(src + i));
            i += 16;
        }
        if (i < n)
            Store16(dst + n - 16, Load16(src + n - 16));
        return;
    }
    if (n >= 8) {
        const uint64_t a = Load8(src), b = Load8(src + n - 8);
        Store8(dst, a);
        Store8(dst + n - 8, b);
        return;
    }
    if (n >= 4) {
        uint32_t a, b;
        memcpy(&a, src, 4);
        memcpy(&b, src + n - 4, 4);
        memcpy(dst, &a, 4);
        memcpy(dst + n - 4, &b, 4);
        return;
    }
    for (size_t i = 0; i < n; i++)
        dst[i] = src[i];
}

// XOR cannot overlap its words; the tail goes in 8, 4, 2 and 1 byte pieces.
inline void XorTail(uint8_t *dst, const uint8_t *src, size_t n)
{
    size_t i = 0;
    if (n - i >= 8) {
        Store8(dst + i, Load8(dst + i) ^ Load8(src + i));
        i += 8;
    }
    if (n - i >= 4) {
        uint32_t a, b;
        memcpy(&a, dst + i, 4);
        memcpy(&b, src + i, 4);
        a ^= b;
        memcpy(dst + i, &a, 4);
        i += 4;
    }
    for (; i < n; i++)
        dst[i] ^= src[i];
}

inline void XorBytes(uint8_t *dst, const uint8_t *src, size_t n)
{
    size_t i = 0;
    for (; n - i >= 32; i += 32) {
        const Block a = Load16(dst + i) ^ Load16(src + i), b = Load16(dst + i + 16) ^ Load16(src + i + 16);
        Store16(dst + i, a);
        Store16(dst + i + 16, b);
    }
    if (n - i >= 16) {
        Store16(dst + i, Load16(dst + i) ^ Load16(src + i));
        i += 16;
    }
    XorTail(dst + i, src + i, n - i);
}

// n bytes of a pattern that repeats every pixel (1 or 2 bytes), given as 8 bytes of it.
// n and dst's position are whole pixels, so overlapping stores at even offsets keep
// the phase.
inline void FillPattern(uint8_t *dst, uint64_t pattern, size_t n)
{
    // Long runs: the library's memset and memcpy use the widest stores the machine has.
    if (n >= 256) {
        if ((uint8_t)pattern == (uint8_t)(pattern >> 8)) {
            memset(dst, (uint8_t)pattern, n);
            return;
        }
        const Block p = {pattern, pattern};
        for (size_t i = 0; i < 64; i += 16)
            Store16(dst + i, p);
        size_t done = 64;
        while (done < n) {
            const size_t k = n - done < done ? n - done : done;
            memcpy(dst + done, dst, k);
            done += k;
        }
        return;
    }
    if (n >= 16) {
        const Block p = {pattern, pattern};
        size_t i = 0;
        for (; n - i >= 32; i += 32) {
            Store16(dst + i, p);
            Store16(dst + i + 16, p);
        }
        if (n - i >= 16) {
            Store16(dst + i, p);
            i += 16;
        }
        if (i < n)
            Store16(dst + n - 16, p);
        return;
    }
    if (n >= 8) {
        Store8(dst, pattern);
        Store8(dst + n - 8, pattern);
        return;
    }
    uint8_t p[8];
    memcpy(p, &pattern, 8);
    if (n >= 4) {
        memcpy(dst, p, 4);
        memcpy(dst + n - 4, p, 4);
        return;
    }
    if (n >= 2) {
        memcpy(dst, p, 2);
        memcpy(dst + n - 2, p, 2);
        return;
    }
    if (n)
        dst[0] = p[0];
}

inline void XorPattern(uint8_t *dst, uint64_t pattern, size_t n)
{
    const Block p = {pattern, pattern};
    size_t i = 0;
    for (; n - i >= 16; i += 16)
        Store16(dst + i, Load16(dst + i) ^ p);
    uint8_t q[16]; // the tail is up to 15 bytes
    memcpy(q, &p, 16);
    XorTail(dst + i, q, n - i);
}

// Where the next decoded byte goes: row start, position in the row, and how many
// meaningful bytes are left in the tile. Padding is never written.
struct TileCursor {
    uint8_t *row;
    size_t pos;
    size_t lineBytes, stride;
    size_t room;
};

enum { kStore, kXor };

template <int Mode>
void PutLiteral(TileCursor *t, const uint8_t *src, size_t n)
{
    t->room -= n;
    while (n) {
        size_t chunk = t->lineBytes - t->pos;
        if (chunk > n)
            chunk = n;
        if (Mode == kXor)
            XorBytes(t->row + t->pos, src, chunk);
        else
            CopyBytes(t->row + t->pos, src, chunk);
        src += chunk;
        n -= chunk;
        t->pos += chunk;
        if (t->pos == t->lineBytes) {
            t->pos = 0;
            t->row += t->stride;
        }
    }
}

// Rows hold whole pixels at 8 and 16 bits, so every row segment starts on a pixel.
template <int Mode>
void PutRepeat(TileCursor *t, uint64_t pattern, size_t n)
{
    t->room -= n;
    while (n) {
        size_t chunk = t->lineBytes - t->pos;
        if (chunk > n)
            chunk = n;
        if (Mode == kXor)
            XorPattern(t->row + t->pos, pattern, chunk);
        else
            FillPattern(t->row + t->pos, pattern, chunk);
        n -= chunk;
        t->pos += chunk;
        if (t->pos == t->lineBytes) {
            t->pos = 0;
            t->row += t->stride;
        }
    }
}

int GeometryUsable(const TileGeometry *g)
{
    return g->lineBytes != 0 && g->lineBytes <= g->stride && (uint64_t)g->height * g->stride <= g->size;
}

// Tiles that start or end inside a byte (1 and 4 bits per pixel): writes the row's
// nbits bits at bit shift of dst, most significant bit first as in a DIB, keeping
// the neighbours' bits in the first and last byte.
void MergeRow(uint8_t *dst, const uint8_t *src, uint32_t srcBytes, uint32_t shift, uint32_t nbits)
{
    const uint32_t end = shift + nbits;
    const uint32_t nb = (end + 7) / 8;
    const uint8_t headMask = (uint8_t)(0xFFu >> shift);
    const uint8_t tailMask = (uint8_t)(end % 8 ? 0xFFu << (8 - end % 8) : 0xFFu);
    // The source byte under the last destination byte; a shift can push the row one
    // byte past the source's meaningful bytes, and that byte contributes nothing.
    const uint8_t last = nb - 1 < srcBytes ? src[nb - 1] : 0;
    if (shift == 0) {
        if (nb == 1) {
            dst[0] = (uint8_t)((dst[0] & ~tailMask) | (last & tailMask));
            return;
        }
        memcpy(dst, src, nb - 1);
        dst[nb - 1] = (uint8_t)((dst[nb - 1] & ~tailMask) | (last & tailMask));
        return;
    }
    const uint32_t back = 8 - shift;
    if (nb == 1) {
        const uint8_t mask = headMask & tailMask;
        dst[0] = (uint8_t)((dst[0] & ~mask) | ((last >> shift) & mask));
        return;
    }
    dst[0] = (uint8_t)((dst[0] & ~headMask) | (src[0] >> shift));
    for (uint32_t k = 1; k < nb - 1; k++)
        dst[k] = (uint8_t)((src[k - 1] << back) | (src[k] >> shift));
    const uint8_t v = (uint8_t)((src[nb - 2] << back) | (last >> shift));
    dst[nb - 1] = (uint8_t)((dst[nb - 1] & ~tailMask) | (v & tailMask));
}

// Each record is checked against the data left before any of it is read and consumes
// at least 3 bytes, so the loop ends with the data.
template <int Mode>
int DecodeRecords(const TileGeometry *g, uint8_t *bits, const uint8_t *data, size_t len, size_t B)
{
    TileCursor t = {bits, 0, g->lineBytes, g->stride, (size_t)g->height * g->lineBytes};
    // Without padding the whole tile is one row: records then never split at row ends.
    if (g->stride == g->lineBytes)
        t.lineBytes = t.room;
    size_t off = 0;
    while (off < len) {
        const uint8_t *rec = data + off;
        const size_t left = len - off;
        if (rec[0] == 0) {
            // Literal: a record cut short by the end of the data is not applied at all.
            if (left < 3)
                return kPartAppliedShort;
            const size_t bytes = ((size_t)rec[2] << 8 | rec[1]) * B; // u16 LE count
            if (bytes > left - 3)
                return kPartAppliedShort;
            off += 3 + bytes;
            // A run past the tile's last row fills what is left and ends the part.
            if (bytes > t.room) {
                PutLiteral<Mode>(&t, rec + 3, t.room);
                return kPartAppliedShort;
            }
            PutLiteral<Mode>(&t, rec + 3, bytes);
        } else {
            if (left < 2 + B)
                return kPartAppliedShort;
            const size_t bytes = ((size_t)(rec[0] & 0x7F) << 8 | rec[1]) * B;
            off += 2 + B;
            // The pixel as a native u16 whose bytes are in wire order; repeating it four
            // times gives the same byte sequence on either byte order.
            const uint8_t px[2] = {rec[2], B == 2 ? rec[3] : rec[2]};
            uint16_t pixel;
            memcpy(&pixel, px, 2);
            const uint64_t pattern = pixel * 0x0001000100010001ull;
            if (bytes > t.room) {
                PutRepeat<Mode>(&t, pattern, t.room);
                return kPartAppliedShort;
            }
            PutRepeat<Mode>(&t, pattern, bytes);
        }
    }
    return kPartApplied;
}

} // namespace

int PartTileAddress(const uint8_t *payload, size_t len, int *row, int *column)
{
    if (!payload || len < 2)
        return 0;
    if (payload[0] >= kTileGridSize || payload[1] >= kTileGridSize)
        return 0;
    *column = payload[0];
    *row = payload[1];
    return 1;
}

int ApplyXorPart(const TileGeometry *g, uint8_t *bits, const uint8_t *data, size_t len)
{
    if (!g || !bits || (!data && len) || !GeometryUsable(g))
        return kPartDropped;
    const uint64_t expected = (uint64_t)g->height * g->lineBytes;
    if (g->stride == g->lineBytes) { // no padding: one span
        XorBytes(bits, data, len < expected ? len : (size_t)expected);
        return len == expected ? kPartApplied : kPartAppliedShort;
    }
    size_t left = len;
    uint8_t *row = bits;
    for (uint32_t r = 0; r < g->height && left; r++) {
        const size_t n = left < g->lineBytes ? left : g->lineBytes;
        XorBytes(row, data, n);
        data += n;
        left -= n;
        row += g->stride;
    }
    return len == expected ? kPartApplied : kPartAppliedShort;
}

int ApplyRlePart(const TileGeometry *g, uint8_t *bits, const uint8_t *data, size_t len, int bytesPerPixel, int xorMode)
{
    if (!g || !bits || (!data && len) || !GeometryUsable(g))
        return kPartDropped;
    if (bytesPerPixel != 1 && bytesPerPixel != 2)
        return kPartDropped;
    // A pixel split across rows cannot happen at 8 or 16 bits; refuse a mismatched caller.
    if (bytesPerPixel == 2 && (g->lineBytes & 1))
        return kPartDropped;
    return xorMode ? DecodeRecords<kXor>(g, bits, data, len, (size_t)bytesPerPixel)
                   : DecodeRecords<kStore>(g, bits, data, len, (size_t)bytesPerPixel);
}

void PublishTile(const TileLayout *layout, int row, int column, const uint8_t *tileBits, uint8_t *frameBits)
{
    if (!layout || !tileBits || !frameBits)
        return;
    if (row < 0 || row >= kTileGridSize || column < 0 || column >= kTileGridSize)
        return;
    const TileGeometry *g = &layout->tiles[row][column];
    if (!GeometryUsable(g))
        return;
    const uint32_t regularHeight = layout->tiles[0][0].height;
    // Bottom-up frame: the screen's top tile row ends at the frame's last row.
    const uint32_t R = row < kTileGridSize - 1 ? (uint32_t)layout->height - (uint32_t)(row + 1) * regularHeight : 0;
    const uint32_t depth = (uint32_t)layout->depth;
    const uint32_t bitOff = (uint32_t)g->x * depth, nbits = (uint32_t)g->width * depth;
    const uint32_t shift = bitOff % 8;

    uint8_t *dst = frameBits + (size_t)R * layout->frameStride + bitOff / 8;
    const uint8_t *src = tileBits;
    if (shift == 0 && nbits % 8 == 0) {
        for (uint32_t i = 0; i < g->height; i++, src += g->stride, dst += layout->frameStride)
            CopyBytes(dst, src, g->lineBytes);
        return;
    }
    for (uint32_t i = 0; i < g->height; i++, src += g->stride, dst += layout->frameStride)
        MergeRow(dst, src, g->lineBytes, shift, nbits);
}
