// libFuzzer entry for the screen announcement and the palette: PKT_PALETTE packets are
// stored as a palette, any other packet is read as PKT_SCREEN_INFO and the tile grid
// built from it is checked against the frame it is published into. Single-threaded.
#include "desktop/palette.h"
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"
#include "tests/fuzz/fuzz_packet.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

TileLayout g_layout;

// Every tile inside the frame and the tiles covering it edge to edge, with the row
// placement PublishTile uses (bottom-up, regular rows counted from the top).
void CheckLayout(const TileLayout *l)
{
    const uint64_t D = (uint64_t)l->depth, W = (uint64_t)l->width, H = (uint64_t)l->height;
    if (l->frameStride % 4 || (uint64_t)l->frameStride * 8 < D * W || (uint64_t)l->frameStride * 8 >= D * W + 32)
        abort();
    const uint32_t regularHeight = l->tiles[0][0].height;
    uint64_t y = 0;
    for (int r = 0; r < kTileGridSize; r++) {
        uint64_t x = 0;
        const uint32_t th = l->tiles[r][0].height;
        const uint64_t R = r < kTileGridSize - 1 ? H - (uint64_t)(r + 1) * regularHeight : 0;
        if (th == 0 || R + th != H - y)
            abort();
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &l->tiles[r][c];
            if (g->x != x || g->y != y || g->height != th || g->width != l->tiles[0][c].width || g->width == 0)
                abort();
            if (g->lineBytes != (D * g->width + 7) / 8 || g->stride % 4 || g->stride < g->lineBytes ||
                g->stride >= g->lineBytes + 4 || (uint64_t)g->size != (uint64_t)g->height * g->stride)
                abort();
            x += g->width;
        }
        if (x != W)
            abort();
        y += th;
    }
    if (y != H)
        abort();
}

void Palette(const uint8_t *p, size_t len)
{
    if (len < 1024) // the handler drops it
        return;
    uint8_t *table = (uint8_t *)malloc(1024);
    StorePalette(p, table);
    for (int i = 0; i < 1024; i += 4)
        if (table[i] != p[i + 2] || table[i + 1] != p[i + 1] || table[i + 2] != p[i] || table[i + 3] != 0)
            abort();
    free(table);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SessPacketHeader h;
    const uint8_t *p;
    if (!FuzzPacket(data, size, &h, &p))
        return 0;
    if (h.dwType == PKT_PALETTE) {
        Palette(p, h.dwDataLen);
        return 0;
    }
    RemoteScreen s;
    const int ok = ParseScreenInfo(&h, p, &s);
    if (ok != (h.dwDataLen >= 12))
        abort();
    if (!ok)
        return 0;
    if (s.width != GetU16LE(p) || s.height != GetU16LE(p + 2) || s.screenCount != p[10] || s.currentScreen != p[11])
        abort();
    const uint32_t depth = ScreenDepth(&s);
    if (depth != (uint32_t)GetU16LE(p + 4) * GetU16LE(p + 6))
        abort();
    if (!TileLayoutCompute(&g_layout, s.width, s.height, depth <= 16 ? (int)depth : 0))
        return 0;
    if ((depth != 1 && depth != 4 && depth != 8 && depth != 16) || s.width < 32 || s.height < 32)
        abort();
    CheckLayout(&g_layout);
    return 0;
}
