// libFuzzer entry for the screen-part decoders: the first bytes choose a screen and a
// tile, the rest is the part. Run-length parts are checked against a byte-at-a-time
// reference; every buffer is a heap block of exactly its size. Single-threaded.
#include "desktop/decode.h"
#include "desktop/tiles.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Meaningful byte k of the tile sits at row k / lineBytes; records cut by the end of
// the data are dropped whole, records past the tile write what fits.
int RefRle(const TileGeometry *g, uint8_t *tile, const uint8_t *d, size_t len, int B, int xorMode)
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

TileLayout g_layout;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    static const int kDepths[4] = {1, 4, 8, 16};
    const int depth = kDepths[data[0] & 3];
    const int mode = data[0] >> 2 & 3; // 0 XOR part, 1 RLE, 2 XOR RLE, 3 address check
    // Screens up to 32 + 511 pixels a side keep the frame small.
    const int32_t W = 32 + ((data[1] | data[2] << 8) & 511), H = 32 + ((data[3] | data[4] << 8) & 511);
    if (!TileLayoutCompute(&g_layout, W, H, depth))
        abort();
    const uint8_t *payload = data + 5;
    const size_t len = size - 5;
    int row, column;
    if (!PartTileAddress(payload, len, &row, &column))
        return 0;
    if (row > 31 || column > 31)
        abort();
    const TileGeometry *g = &g_layout.tiles[row][column];
    uint8_t *tile = (uint8_t *)malloc(g->size ? g->size : 1);
    uint8_t *frame = (uint8_t *)malloc((size_t)H * g_layout.frameStride);
    for (uint32_t i = 0; i < g->size; i++)
        tile[i] = (uint8_t)(i * 31 + 7);
    memset(frame, 0xA5, (size_t)H * g_layout.frameStride);
    // The part's data in a block of its own, so that reading past it is caught.
    const size_t n = len - 2;
    uint8_t *part = (uint8_t *)malloc(n ? n : 1);
    memcpy(part, payload + 2, n);

    if (mode == 0) {
        if (!ApplyXorPart(g, tile, part, n))
            abort();
    } else if (mode != 3 && (depth == 8 || depth == 16)) {
        const int B = depth / 8, xorMode = mode == 2;
        std::vector<uint8_t> want(tile, tile + g->size);
        const int rc = ApplyRlePart(g, tile, part, n, B, xorMode);
        if (rc != RefRle(g, want.data(), part, n, B, xorMode) || memcmp(want.data(), tile, g->size) != 0)
            abort();
    }
    PublishTile(&g_layout, row, column, tile, frame);
    free(part);
    free(frame);
    free(tile);
    return 0;
}
