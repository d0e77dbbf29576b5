// Screen decoding throughput: a whole 1024 x 768 screen of XOR parts and of run-length
// parts at 8 and 16 bits, with and without publishing into the frame, beside memcpy of
// the same bytes in the same run. Every decode is checked against the picture it should
// give, so a fast wrong build cannot pass; exits 1 on any mismatch.
#include "desktop/decode.h"
#include "desktop/scaler.h"
#include "desktop/tiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

const double kRound = 0.08; // seconds per round
const int kRounds = 7;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int Fail(const char *what)
{
    fprintf(stderr, "decode_bench: %s\n", what);
    return 1;
}

uint32_t Next(uint32_t *s)
{
    *s = *s * 1664525u + 1013904223u;
    return *s >> 8;
}

// A desktop-like picture, one 15-bit pixel value per screen pixel: a flat background,
// windows with title bars, a gradient and, when busy, lines of text-like noise and a
// photo-like patch.
std::vector<uint32_t> Desktop(int W, int H, int busy)
{
    std::vector<uint32_t> px((size_t)W * H);
    uint32_t seed = 7;
    for (int y = 0; y < H; y++) {
        for (int x = 0; x < W; x++) {
            uint32_t v = 0x3A6E;                            // background
            if (x >= 60 && x < 700 && y >= 40 && y < 560) { // window
                v = 0x7FFF;
                if (y < 62)
                    v = 0x0C5A; // title bar
                else if (busy && y % 16 < 9 && x > 80 && x < 660 && (x / 7 + y / 16) % 9 != 0)
                    v = (Next(&seed) & 3) ? 0x7FFF : 0x0000; // text
            }
            if (x >= 420 && x < 980 && y >= 300 && y < 720) { // second window
                v = 0x6318;
                if (x >= 440 && x < 960 && y >= 340 && y < 420)
                    v = (uint32_t)(x - 440) * 3 / 5; // gradient
                if (busy && x >= 440 && x < 700 && y >= 440 && y < 700)
                    v = Next(&seed) & 0x7FFF; // photo
            }
            if (y >= H - 30)
                v = 0x2529; // task bar
            px[(size_t)y * W + x] = v;
        }
    }
    return px;
}

// The tile's meaningful bytes in buffer order (lowest row first), no padding.
Bytes TileStream(const TileGeometry *g, const std::vector<uint32_t> &px, int W, int B)
{
    Bytes out;
    out.reserve((size_t)g->height * g->lineBytes);
    for (int i = 0; i < g->height; i++) {
        const int y = g->y + g->height - 1 - i;
        for (int x = g->x; x < g->x + g->width; x++) {
            const uint32_t v = px[(size_t)y * W + x];
            out.push_back((uint8_t)v);
            if (B == 2)
                out.push_back((uint8_t)(v >> 8));
        }
    }
    return out;
}

// Greedy encoder: runs of three or more equal pixels repeat, the rest go literal.
Bytes EncodeRle(const Bytes &s, int B)
{
    Bytes out;
    const size_t n = s.size() / B;
    auto same = [&](size_t a, size_t b) { return memcmp(&s[a * B], &s[b * B], B) == 0; };
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 32767 && same(i, i + run))
            run++;
        if (run >= 3) {
            out.push_back((uint8_t)(0x80 | run >> 8));
            out.push_back((uint8_t)run);
            out.insert(out.end(), &s[i * B], &s[i * B] + B);
            i += run;
            continue;
        }
        size_t j = i;
        while (j < n && j - i < 65535) {
            size_t r = 1;
            while (j + r < n && r < 3 && same(j, j + r))
                r++;
            if (r >= 3)
                break;
            j += r;
        }
        if (j - i > 65535)
            j = i + 65535;
        out.push_back(0);
        out.push_back((uint8_t)(j - i));
        out.push_back((uint8_t)((j - i) >> 8));
        out.insert(out.end(), &s[i * B], &s[j * B]);
        i = j;
    }
    return out;
}

struct Screen {
    TileLayout layout;
    std::vector<Bytes> tiles;   // each exactly `size` bytes
    std::vector<Bytes> streams; // expected meaningful bytes per tile
    std::vector<Bytes> parts;   // part data per tile (after the address)
    Bytes frame;
    size_t produced = 0; // meaningful bytes of the whole screen
    size_t wire = 0;     // part bytes of the whole screen
};

int TileMatches(const TileGeometry *g, const Bytes &tile, const Bytes &stream)
{
    for (int i = 0; i < g->height; i++)
        if (memcmp(&tile[(size_t)i * g->stride], &stream[(size_t)i * g->lineBytes], g->lineBytes) != 0)
            return 0;
    return 1;
}

int FrameMatches(const Screen &s, int B)
{
    const int W = s.layout.width, H = s.layout.height;
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &s.layout.tiles[r][c];
            const Bytes &st = s.streams[r * kTileGridSize + c];
            for (int i = 0; i < g->height; i++) {
                const size_t fromBottom = (size_t)(H - g->y - g->height + i);
                if (memcmp(&s.frame[fromBottom * s.layout.frameStride + (size_t)g->x * B],
                           &st[(size_t)i * g->lineBytes], g->lineBytes) != 0)
                    return 0;
            }
        }
    (void)W;
    return 1;
}

void PublishAll(Screen *s)
{
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++)
            PublishTile(&s->layout, r, c, s->tiles[r * kTileGridSize + c].data(), s->frame.data());
}

// Screens per second of fn: the best of several short rounds, so that other work on
// the machine shows as little as possible.
template <typename Fn>
double Rate(Fn fn)
{
    double best = 0;
    for (int round = 0; round < kRounds; round++) {
        long n = 0;
        const Clock::time_point t0 = Clock::now();
        do {
            fn();
            n++;
        } while (Seconds(t0) < kRound);
        const double r = n / Seconds(t0);
        if (r > best)
            best = r;
    }
    return best;
}

void Report(const char *what, double mbs, double memcpyMbs)
{
    printf("  %-32s %9.0f MB/s   %.2f of memcpy\n", what, mbs, mbs / memcpyMbs);
}

int RunDepth(const char *picture, int depth, const std::vector<uint32_t> &px, int *belowTarget)
{
    const int B = depth / 8, W = 1024, H = 768;
    Screen s;
    if (!TileLayoutCompute(&s.layout, W, H, depth))
        return Fail("layout refused");
    s.frame.assign((size_t)H * s.layout.frameStride, 0);
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry *g = &s.layout.tiles[r][c];
            s.tiles.emplace_back(g->size, 0);
            s.streams.push_back(TileStream(g, px, W, B));
            s.produced += s.streams.back().size();
        }
    // Figures are MB/s of tile pixels (the bytes a part produces, not its wire size).
    auto mbs = [&](auto fn) { return Rate(fn) * s.produced / 1e6; };
    printf("%s, %d bits per pixel, %zu bytes of pixels per screen\n", picture, depth, s.produced);
    const double copy = mbs([&] {
        for (int t = 0; t < kTileCount; t++)
            memcpy(s.tiles[t].data(), s.streams[t].data(), s.streams[t].size());
    });
    printf("  %-32s %9.0f MB/s\n", "memcpy of the same bytes", copy);

    // XOR parts: the whole picture as a delta onto a black screen.
    for (int t = 0; t < kTileCount; t++) {
        s.parts.push_back(s.streams[t]);
        memset(s.tiles[t].data(), 0, s.tiles[t].size());
    }
    for (int t = 0; t < kTileCount; t++) {
        const TileGeometry *g = &s.layout.tiles[t / 32][t % 32];
        if (ApplyXorPart(g, s.tiles[t].data(), s.parts[t].data(), s.parts[t].size()) != kPartApplied ||
            !TileMatches(g, s.tiles[t], s.streams[t]))
            return Fail("XOR part gave other pixels");
    }
    PublishAll(&s);
    if (!FrameMatches(s, B))
        return Fail("publishing gave another frame");
    auto xorAll = [&] {
        for (int t = 0; t < kTileCount; t++)
            ApplyXorPart(&s.layout.tiles[t / 32][t % 32], s.tiles[t].data(), s.parts[t].data(), s.parts[t].size());
    };
    const double xr = mbs(xorAll);
    Report("XOR parts", xr, copy);
    Report("XOR parts + publish", mbs([&] {
               xorAll();
               PublishAll(&s);
           }),
           copy);
    Report("publish alone", mbs([&] { PublishAll(&s); }), copy);

    // Run-length parts of the same picture, stored and XORed.
    s.parts.clear();
    size_t records = 0;
    for (int t = 0; t < kTileCount; t++) {
        s.parts.push_back(EncodeRle(s.streams[t], B));
        s.wire += s.parts.back().size();
        const Bytes &e = s.parts.back();
        for (size_t o = 0; o < e.size(); records++)
            o += e[o] ? 2 + B : 3 + (size_t)(e[o + 1] | e[o + 2] << 8) * B;
    }
    for (int t = 0; t < kTileCount; t++) {
        const TileGeometry *g = &s.layout.tiles[t / 32][t % 32];
        memset(s.tiles[t].data(), 0x5A, s.tiles[t].size());
        if (ApplyRlePart(g, s.tiles[t].data(), s.parts[t].data(), s.parts[t].size(), B, 0) != kPartApplied ||
            !TileMatches(g, s.tiles[t], s.streams[t]))
            return Fail("RLE part gave other pixels");
    }
    printf("  run-length parts: %zu bytes on the wire (%.1f%% of the pixels), %zu records of %.1f bytes\n", s.wire,
           100.0 * s.wire / s.produced, records, (double)s.produced / records);
    auto rleAll = [&](int xorMode) {
        for (int t = 0; t < kTileCount; t++)
            ApplyRlePart(&s.layout.tiles[t / 32][t % 32], s.tiles[t].data(), s.parts[t].data(), s.parts[t].size(), B,
                         xorMode);
    };
    const double rr = mbs([&] { rleAll(0); });
    Report("RLE parts", rr, copy);
    printf("  %-32s %9.1f ns\n", "RLE time per record", 1e3 * s.produced / rr / records);
    Report("XOR RLE parts", mbs([&] { rleAll(1); }), copy);
    Report("RLE parts + publish", mbs([&] {
               rleAll(0);
               PublishAll(&s);
           }),
           copy);
    rleAll(0);
    PublishAll(&s);
    if (!FrameMatches(s, B))
        return Fail("RLE and publishing gave another frame");

    const int met = xr >= 0.5 * copy && rr >= 0.5 * copy;
    printf("  target (XOR and RLE parts at half of memcpy): XOR %.2f, RLE %.2f, %s\n", xr / copy, rr / copy,
           met ? "met" : "not met");
    if (!met)
        *belowTarget = 1;
    return 0;
}

// The scaled view's picture drawn whole from a busy 16-bit screen, and drawn for one
// tile in ten, as the viewer does per batch.
int RunScaler(int w, int h, int cx, int cy)
{
    TileLayout layout;
    if (!TileLayoutCompute(&layout, w, h, 16))
        return Fail("scaler layout");
    Bytes frame((size_t)layout.frameStride * h);
    uint32_t seed = 1;
    for (auto &b : frame) {
        seed = seed * 1103515245u + 12345u;
        b = (uint8_t)(seed >> 16);
    }
    ScaledPicture p;
    if (!ScaledPictureInit(&p, w, h, cx, cy))
        return Fail("scaler memory");
    ViewRect r;
    double best = 1e9, bestTenth = 1e9;
    for (int round = 0; round < kRounds; round++) {
        Clock::time_point t0 = Clock::now();
        ScaledPictureDraw(&p, &layout, frame.data(), nullptr, 0, 0, w, h, &r);
        best = std::min(best, Seconds(t0));
        t0 = Clock::now();
        for (int i = 0; i < kTileCount; i += 10) {
            const TileGeometry *g = &layout.tiles[i / kTileGridSize][i % kTileGridSize];
            ScaledPictureDraw(&p, &layout, frame.data(), nullptr, g->x, g->y, g->x + g->width, g->y + g->height, &r);
        }
        bestTenth = std::min(bestTenth, Seconds(t0));
    }
    ScaledPictureFree(&p);
    printf("scaled view, %dx%dx16 onto %dx%d: whole picture %.2f ms (%.0f per second), one tile in ten %.2f ms\n", w, h,
           cx, cy, best * 1e3, 1 / best, bestTenth * 1e3);
    return 0;
}

} // namespace

int main()
{
    int below = 0;
    const char *names[2] = {"flat desktop", "busy desktop"};
    for (int busy = 1; busy >= 0; busy--) {
        const std::vector<uint32_t> px = Desktop(1024, 768, busy);
        std::vector<uint32_t> px8(px.size());
        for (size_t i = 0; i < px.size(); i++)
            px8[i] = px[i] & 0xFF;
        if (RunDepth(names[busy], 8, px8, &below) || RunDepth(names[busy], 16, px, &below))
            return 1;
    }
    if (RunScaler(1280, 1024, 1190, 952) || RunScaler(1024, 768, 600, 450))
        return 1;
    printf(below ? "some targets not met\n" : "all targets met\n");
    return 0;
}
