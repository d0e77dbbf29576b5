// Tile model of the simulated desktop: frames packed into the viewer's tile layout,
// rounds of parts for the visible range, and the model applied with the viewer's
// decoders so both sides agree bit for bit.
#include "tools/agentsim/desktop.h"

#include <algorithm>
#include <cstring>

#include "desktop/decode.h"
#include "desktop/palette.h"
#include "session/packet.h"
#include "tools/agentsim/encode.h"
#include "tools/agentsim/session.h"

static int KindIndex(uint32_t type)
{
    return type == PKT_SCREEN_XOR_PART ? 0 : type == PKT_SCREEN_XOR_RLE_PART ? 1 : 2;
}

static void PaletteEntries(const SimOptions *opt, uint8_t entries[1024])
{
    if (opt->customPalette)
        CustomPaletteEntries(entries);
    else
        DefaultPaletteEntries(entries);
}

void SimAppendPalette(const SimOptions *opt, std::vector<uint8_t> *out)
{
    uint8_t entries[kPaletteLen];
    PaletteEntries(opt, entries);
    SimAppendPacket(PKT_PALETTE, entries, sizeof entries, out);
}

int DesktopStart(SimDesktop *d, const SimOptions *opt, std::string *why)
{
    d->served = d->gridSeen = 0;
    d->range = SimTileRange{0, 0, 0, 0};
    d->partsCounted = d->mismatches = 0;
    memset(d->sent, 0, sizeof d->sent);
    memset(d->partCount, 0, sizeof d->partCount);
    memset(d->partBytes, 0, sizeof d->partBytes);
    const int depth = opt->screenBpp;
    if (!TileLayoutCompute(&d->layout, opt->screenWidth, opt->screenHeight, depth)) {
        *why = "no tiles for this geometry: the depth must be 1, 4, 8 or 16 and each side at least 32";
        return 0;
    }
    // The corner tile is the largest; its raw delta must fit one packet.
    if (TilePartMax(&d->layout.tiles[kTileGridSize - 1][kTileGridSize - 1]) > kMaxPayloadSize) {
        *why = "a tile of this geometry does not fit in one packet";
        return 0;
    }
    if (depth == 8) {
        PaletteEntries(opt, d->palette);
        uint8_t table[1024];
        StorePalette(d->palette, table); // the viewer's own reading of the entries
        ColourMapInit(&d->colours, depth, table);
    } else {
        memset(d->palette, 0, sizeof d->palette);
        ColourMapInit(&d->colours, depth, DefaultColourTable(ColourCount(depth)));
    }
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const size_t size = d->layout.tiles[r][c].size;
            d->model[r * kTileGridSize + c].assign(size, 0);
            d->frame[r * kTileGridSize + c].assign(size, 0);
        }
    d->served = 1;
    return 1;
}

void DesktopHold(SimDesktop *d) { d->gridSeen = 0; }

void DesktopSetRange(SimDesktop *d, const uint8_t payload[4], int grid)
{
    d->range = SimTileRange{payload[0], payload[1], payload[2], payload[3]};
    if (!grid)
        return;
    // A view grid follows every build of the viewer's desktop, also one for screen
    // information that no client information asked for: its tiles are black again.
    for (std::vector<uint8_t> &m : d->model)
        std::fill(m.begin(), m.end(), 0);
    memset(d->sent, 0, sizeof d->sent);
    d->gridSeen = 1;
}

int DesktopVisible(const SimDesktop *d, int row, int column)
{
    // Counts past the grid's edge only reach the edge.
    const SimTileRange &v = d->range;
    return column >= v.firstColumn && column - v.firstColumn < v.columnCount && row >= v.firstRow &&
           row - v.firstRow < v.rowCount;
}

uint16_t TileGetPixel(const TileGeometry *g, int depth, const uint8_t *bits, int x, int y)
{
    const uint8_t *row = bits + (size_t)(g->height - 1 - y) * g->stride; // bottom-up rows
    switch (depth) {
    case 1:
        return (uint16_t)(row[x / 8] >> (7 - x % 8) & 1);
    case 4:
        return (uint16_t)(row[x / 2] >> (x % 2 ? 0 : 4) & 15);
    case 8:
        return row[x];
    default:
        return GetU16LE(row + 2 * x);
    }
}

void TileSetPixel(const TileGeometry *g, int depth, uint8_t *bits, int x, int y, uint16_t v)
{
    uint8_t *row = bits + (size_t)(g->height - 1 - y) * g->stride;
    switch (depth) {
    case 1: {
        const uint8_t bit = (uint8_t)(0x80 >> (x % 8));
        row[x / 8] = (uint8_t)(v & 1 ? row[x / 8] | bit : row[x / 8] & ~bit);
        break;
    }
    case 4: {
        const int shift = x % 2 ? 0 : 4;
        row[x / 2] = (uint8_t)((row[x / 2] & ~(15 << shift)) | (v & 15) << shift);
        break;
    }
    case 8:
        row[x] = (uint8_t)v;
        break;
    default:
        PutU16LE(row + 2 * x, v);
    }
}

void DesktopLoadFrame(SimDesktop *d, const uint16_t *pixels)
{
    if (!d->served)
        return;
    const int depth = d->layout.depth, W = d->layout.width;
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &d->layout.tiles[r][c];
            uint8_t *bits = d->frame[r * kTileGridSize + c].data();
            for (int y = 0; y < g->height; y++) {
                const uint16_t *src = pixels + (size_t)(g->y + y) * W + g->x;
                if (depth == 8) {
                    uint8_t *row = bits + (size_t)(g->height - 1 - y) * g->stride;
                    for (int x = 0; x < g->width; x++)
                        row[x] = (uint8_t)src[x];
                } else {
                    for (int x = 0; x < g->width; x++)
                        TileSetPixel(g, depth, bits, x, y, src[x]);
                }
            }
        }
}

size_t DesktopRound(SimDesktop *d, std::vector<uint8_t> *out)
{
    if (!d->served || !d->gridSeen)
        return 0;
    const int depth = d->layout.depth;
    size_t parts = 0;
    TilePart part;
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const int i = r * kTileGridSize + c;
            if (!DesktopVisible(d, r, c) || d->model[i] == d->frame[i])
                continue;
            const TileGeometry *g = &d->layout.tiles[r][c];
            if (!TilePartBuild(g, depth, r, c, d->model[i].data(), d->frame[i].data(), !d->sent[i], &part)) {
                d->mismatches++;
                continue;
            }
            SimAppendPacket(part.type, part.payload.data(), part.payload.size(), out);
            const uint8_t *data = part.payload.data() + 2;
            const size_t len = part.payload.size() - 2;
            if (part.type == PKT_SCREEN_XOR_PART)
                ApplyXorPart(g, d->model[i].data(), data, len);
            else
                ApplyRlePart(g, d->model[i].data(), data, len, depth / 8, part.type == PKT_SCREEN_XOR_RLE_PART);
            if (d->model[i] != d->frame[i])
                d->mismatches++;
            d->sent[i] = 1;
            const int k = KindIndex(part.type);
            d->partCount[k]++;
            d->partBytes[k] += kPacketHeaderSize + part.payload.size();
            d->partsCounted++;
            parts++;
        }
    return parts;
}

int DesktopInSync(const SimDesktop *d)
{
    if (!d->served)
        return 1;
    for (int i = 0; i < kTileCount; i++)
        if (DesktopVisible(d, i / kTileGridSize, i % kTileGridSize) && d->model[i] != d->frame[i])
            return 0;
    return 1;
}

void DesktopPicture(const SimDesktop *d, int model, SimPicture *pic)
{
    if (!d->served) {
        *pic = SimPicture{0, 0, {}};
        return;
    }
    const int W = d->layout.width, depth = d->layout.depth;
    pic->width = W;
    pic->height = d->layout.height;
    pic->rgb.assign((size_t)W * pic->height * 3, 0);
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &d->layout.tiles[r][c];
            const uint8_t *bits = (model ? d->model : d->frame)[r * kTileGridSize + c].data();
            for (int y = 0; y < g->height; y++)
                for (int x = 0; x < g->width; x++)
                    ColourOfValue(&d->colours, TileGetPixel(g, depth, bits, x, y),
                                  &pic->rgb[((size_t)(g->y + y) * W + g->x + x) * 3]);
        }
}
