// libFuzzer entry for the screen-part decoders: five bytes choose a screen (depth, width,
// height), the rest is one packet whose type picks the decoder (5 XOR; 7 XOR run-length
// and 8 run-length at 8 and 16 bits, as the viewer does; others only read the tile
// address). Each part is checked against a byte-at-a-time reference, then the tile is
// published and the frame checked bit by bit.
// Every buffer is a heap block of exactly its size. Single-threaded.
#include "desktop/decode.h"
#include "desktop/tiles.h"
#include "tests/fuzz/fuzz_packet.h"

#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

enum {
    kPrefix = 5,
    kLayoutSlots = 1024,
    kMaxSide = 32 + 4095,
    kMaxFrameStride = kMaxSide * 2 + 4,
    kMaxTileHeight = kMaxSide - 31 * (kMaxSide / 32),
    kMargin = 16,
    kGuard = 64 * 1024,
};

// The references are oracles: their branches would only add noise to the coverage
// the fuzzer steers by, and tracing their compares costs most of the run.
#if defined(__clang__)
#define REFERENCE __attribute__((no_sanitize("coverage")))
#else
#define REFERENCE
#endif

// Meaningful byte k of the tile sits at row k / lineBytes; records cut by the end of
// the data are dropped whole, records past the tile write what fits.
REFERENCE int RefRle(const TileGeometry *g, uint8_t *tile, const uint8_t *d, size_t len, int B, int xorMode)
{
    const size_t total = (size_t)g->height * g->lineBytes;
    size_t k = 0, off = 0;
    while (off < len) {
        size_t n, step;
        const uint8_t *src;
        if (d[off] == 0) {
            if (len - off < 3)
                return kPartAppliedShort;
            n = (size_t)(d[off + 1] | d[off + 2] << 8) * B;
            if (len - off - 3 < n)
                return kPartAppliedShort;
            src = d + off + 3;
            step = 1;
            off += 3 + n;
        } else {
            if (len - off < (size_t)(2 + B))
                return kPartAppliedShort;
            n = (size_t)((d[off] & 0x7F) << 8 | d[off + 1]) * B;
            src = d + off + 2;
            step = 0;
            off += 2 + B;
        }
        for (size_t i = 0; i < n; i++, k++) {
            if (k >= total)
                return kPartAppliedShort;
            const uint8_t v = step ? src[i] : src[i % B];
            uint8_t &t = tile[k / g->lineBytes * g->stride + k % g->lineBytes];
            t = xorMode ? (uint8_t)(t ^ v) : v;
        }
    }
    return kPartApplied;
}

REFERENCE int RefXor(const TileGeometry *g, uint8_t *tile, const uint8_t *d, size_t len)
{
    const size_t total = (size_t)g->height * g->lineBytes;
    for (size_t k = 0; k < len && k < total; k++)
        tile[k / g->lineBytes * g->stride + k % g->lineBytes] ^= d[k];
    return len == total ? kPartApplied : kPartAppliedShort;
}

// Layouts are kept between runs (24 MB in all): computing one clears 24 KB, and the
// corpus holds a few hundred screens.
struct LayoutSlot {
    int32_t width, height;
    int depth;
    TileLayout layout;
};
LayoutSlot g_slots[kLayoutSlots];

const TileLayout *Layout(int32_t width, int32_t height, int depth)
{
    LayoutSlot *s = &g_slots[(unsigned)(width * 31 + height * 7 + depth) % kLayoutSlots];
    if (s->width != width || s->height != height || s->depth != depth) {
        if (!TileLayoutCompute(&s->layout, width, height, depth))
            abort();
        s->width = width;
        s->height = height;
        s->depth = depth;
    }
    return &s->layout;
}

inline int Bit(const uint8_t *p, size_t k) { return p[k / 8] >> (7 - k % 8) & 1; }

// What the frame held before the tile came: a byte pattern that differs along a row.
uint8_t g_fill[kMaxFrameStride];

// The frame rows a tile is published into, in a guarded arena rather than a heap block
// per run: a megabyte block would be mapped and faulted in afresh every time. All of
// the arena but the current window stays poisoned, so ASan still sees any stray write.
uint8_t g_arena[kGuard + (size_t)kMaxTileHeight * kMaxFrameStride + kGuard];
uint8_t *const g_window = g_arena + kGuard;

// Publishes the tile into just the frame rows it covers: a block from its first to its
// last byte, so that ASan sees any write past the tile's span. In every row the tile's
// bits must arrive MSB first, and kMargin bytes on either side must keep the fill (the
// rest of a row belongs to other tiles and is left unset: filling it would cost more
// than the decoding).
REFERENCE void CheckPublish(const TileLayout *l, int row, int column, const uint8_t *tile)
{
    const TileGeometry *g = &l->tiles[row][column];
    const size_t fs = l->frameStride;
    const size_t R = row < kTileGridSize - 1 ? (size_t)l->height - (size_t)(row + 1) * l->tiles[0][0].height : 0;
    const size_t bitOff = (size_t)g->x * l->depth, nbits = (size_t)g->width * l->depth;
    const size_t first = bitOff / 8, last = (bitOff + nbits - 1) / 8;
    const size_t size = (g->height - 1) * fs + last - first + 1;
    if (fs > kMaxFrameStride || g->height > kMaxTileHeight)
        abort();
    uint8_t *window = g_window;
    ASAN_UNPOISON_MEMORY_REGION(window, size);
    const size_t lo = first > kMargin ? first - kMargin : 0, hi = fs - last - 1 > kMargin ? last + 1 + kMargin : fs;
    for (size_t i = 0; i < g->height; i++) {
        uint8_t *at = window + i * fs - first; // frame byte 0 of this row (row 0 starts at `first`)
        const size_t from = i == 0 ? first : lo, to = i == g->height - 1u ? last + 1 : hi;
        memcpy(at + from, g_fill + from, to - from);
    }
    // PublishTile addresses the whole frame; its origin lies before the block.
    PublishTile(l, row, column, tile, window - (R * fs + first));
    const int aligned = bitOff % 8 == 0 && nbits % 8 == 0;
    for (size_t i = 0; i < g->height; i++) {
        const uint8_t *src = tile + i * g->stride;
        const uint8_t *at = window + i * fs - first;
        if (i > 0 && memcmp(at + lo, g_fill + lo, first - lo) != 0)
            abort();
        if (i < g->height - 1u && memcmp(at + last + 1, g_fill + last + 1, hi - last - 1) != 0)
            abort();
        if (aligned) {
            if (memcmp(at + first, src, nbits / 8) != 0)
                abort();
            continue;
        }
        for (size_t k = first * 8; k < last * 8 + 8; k++) {
            const int want = k >= bitOff && k < bitOff + nbits ? Bit(src, k - bitOff) : Bit(g_fill, k);
            if (Bit(at, k) != want)
                abort();
        }
    }
    ASAN_POISON_MEMORY_REGION(window, size);
}

uint8_t g_want[65536]; // the reference's tile: at most 159 rows of 320 bytes

REFERENCE void FillTile(uint8_t *tile, uint32_t size)
{
    for (uint32_t i = 0; i < size; i++)
        tile[i] = (uint8_t)(i * 31 + 7);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < kPrefix)
        return 0;
    static const int kDepths[4] = {1, 4, 8, 16};
    const int depth = kDepths[data[0] & 3];
    // Screens up to 4127 pixels a side: every common display, with tiles small enough
    // for fast runs.
    const int32_t W = 32 + (GetU16LE(data + 1) & 4095), H = 32 + (GetU16LE(data + 3) & 4095);
    const TileLayout *l = Layout(W, H, depth);
    if (!g_fill[1]) {
        for (size_t b = 0; b < kMaxFrameStride; b++)
            g_fill[b] = (uint8_t)(b * 131 + 17);
        ASAN_POISON_MEMORY_REGION(g_arena, sizeof g_arena);
    }
    SessPacketHeader h;
    const uint8_t *payload;
    if (!FuzzPacket(data + kPrefix, size - kPrefix, &h, &payload))
        return 0;
    const size_t len = h.dwDataLen;
    int row, column;
    if (!PartTileAddress(payload, len, &row, &column)) {
        if (len >= 2 && payload[0] < 32 && payload[1] < 32)
            abort();
        return 0;
    }
    if (row != payload[1] || column != payload[0])
        abort();
    const TileGeometry *g = &l->tiles[row][column];
    if (g->size > sizeof g_want)
        abort();
    uint8_t *tile = (uint8_t *)malloc(g->size);
    FillTile(tile, g->size);
    memcpy(g_want, tile, g->size);
    // The part's data in a block of its own, so that reading before it is caught too.
    const size_t n = len - 2;
    uint8_t *part = (uint8_t *)malloc(n ? n : 1);
    memcpy(part, payload + 2, n);

    int rc = kPartApplied, want = kPartApplied;
    if (h.dwType == PKT_SCREEN_XOR_PART) {
        rc = ApplyXorPart(g, tile, part, n);
        want = RefXor(g, g_want, part, n);
    } else if ((h.dwType == PKT_SCREEN_RLE_PART || h.dwType == PKT_SCREEN_XOR_RLE_PART) && depth >= 8) {
        const int xorMode = h.dwType == PKT_SCREEN_XOR_RLE_PART;
        rc = ApplyRlePart(g, tile, part, n, depth / 8, xorMode);
        want = RefRle(g, g_want, part, n, depth / 8, xorMode);
    }
    if (rc != want || memcmp(g_want, tile, g->size) != 0)
        abort();
    CheckPublish(l, row, column, tile);
    free(part);
    free(tile);
    return 0;
}
