// The simulator's desktop: run-length records byte by byte and against a brute-force
// shortest encoding, round trips through the viewer's decoders, the part choice, whole
// rounds replayed by a separate viewer stand-in, the visible range, the palette packet,
// PPM pictures and the new commands and options.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "desktop/decode.h"
#include "desktop/palette.h"
#include "session/packet.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/desktop.h"
#include "tools/agentsim/encode.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/picture.h"
#include "tools/agentsim/scene.h"
#include "tools/agentsim/session.h"

namespace {

using Bytes = std::vector<uint8_t>;

TileGeometry Geometry(int width, int height, int depth)
{
    TileGeometry g = {};
    g.width = (uint16_t)width;
    g.height = (uint16_t)height;
    g.lineBytes = (uint32_t)(depth * width + 7) / 8;
    g.stride = ((uint32_t)(depth * width + 31) / 8) & ~3u;
    g.size = g.stride * (uint32_t)height;
    return g;
}

Bytes Rle(const Bytes &pixels, int B)
{
    Bytes out;
    RleEncode(pixels.data(), pixels.size() / (size_t)B, B, &out);
    return out;
}

// Shortest encoding by trying every record at every position, repeats of any length
// included (tiny inputs only).
size_t BruteCost(const Bytes &px, int B)
{
    const size_t n = px.size() / (size_t)B;
    std::vector<size_t> best(n + 1, 0);
    for (size_t from = n; from-- > 0;) {
        best[from] = SIZE_MAX;
        int same = 1;
        for (size_t end = from + 1; end <= n; end++) {
            best[from] = std::min(best[from], 3 + (end - from) * (size_t)B + best[end]);
            same = same && memcmp(&px[(end - 1) * B], &px[from * B], (size_t)B) == 0;
            if (same) best[from] = std::min(best[from], (size_t)(2 + B) + best[end]);
        }
    }
    return best[0];
}

// Packed pixels back out of a tile buffer (drops the row padding).
Bytes Packed(const TileGeometry &g, const Bytes &bits)
{
    Bytes p((size_t)g.height * g.lineBytes);
    TilePack(&g, bits.data(), p.data());
    return p;
}

// ---- run-length records -----------------------------------------------------------

TEST(SimRle, KnownEncodingsByteByByte)
{
    struct Case {
        const char *what;
        int B;
        Bytes pixels, want;
    } cases[] = {
        {"one run", 1, {5, 5, 5, 5, 5}, {0x80, 0x05, 0x05}},
        {"all different", 1, {1, 2, 3}, {0x00, 0x03, 0x00, 1, 2, 3}},
        {"run between literals", 1, {1, 2, 7, 7, 7, 7, 7, 7, 7, 7, 3},
         {0x00, 0x02, 0x00, 1, 2, 0x80, 0x08, 7, 0x80, 0x01, 3}},
        // Three equal pixels are cheaper left inside the literal than split around it.
        {"short run stays literal", 1, {1, 2, 7, 7, 7, 3, 4}, {0x00, 0x07, 0x00, 1, 2, 7, 7, 7, 3, 4}},
        // A lone pixel is a repeat of one: a byte shorter than a literal of one.
        {"single pixel", 1, {9}, {0x80, 0x01, 9}},
        {"16-bit run, little-endian pixel, 300 = 0x12C", 2, Bytes(600), {0x81, 0x2C, 0x00, 0x00}},
        {"16-bit literal then run", 2, {0x34, 0x12, 0x78, 0x56, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F},
         {0x00, 0x02, 0x00, 0x34, 0x12, 0x78, 0x56, 0x80, 0x03, 0xFF, 0x7F}},
    };
    for (const Case &c : cases) EXPECT_EQ(Rle(c.pixels, c.B), c.want) << c.what;
    EXPECT_TRUE(Rle(Bytes(), 1).empty());
}

TEST(SimRle, LongRunsAndLiteralsSplitAtTheirLimits)
{
    // 70000 = 32767 + 32767 + 4466 (0x1172).
    const Bytes run = Rle(Bytes(70000, 0xAB), 1);
    EXPECT_EQ(run, (Bytes{0xFF, 0xFF, 0xAB, 0xFF, 0xFF, 0xAB, 0x91, 0x72, 0xAB}));
    const Bytes run16 = Rle(Bytes(2 * 32768, 0x11), 2);
    EXPECT_EQ(run16, (Bytes{0xFF, 0xFF, 0x11, 0x11, 0x80, 0x01, 0x11, 0x11}));

    Bytes alternating(70000);
    for (size_t i = 0; i < alternating.size(); i++) alternating[i] = (uint8_t)(i & 1);
    const Bytes lit = Rle(alternating, 1);
    ASSERT_EQ(lit.size(), 3 + 65535 + 3 + 4465u);
    EXPECT_EQ(Bytes(lit.begin(), lit.begin() + 3), (Bytes{0x00, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(lit.begin() + 3 + 65535, lit.begin() + 6 + 65535), (Bytes{0x00, 0x71, 0x11}));
    EXPECT_EQ(lit[3 + 65535 + 3], alternating[65535]);
}

TEST(SimRle, ShortestAmongAllParsesOfSmallInputs)
{
    // Every sequence of up to 9 pixels over a 2-letter alphabet, and some 16-bit ones.
    for (int n = 1; n <= 9; n++)
        for (int bits = 0; bits < (1 << n); bits++) {
            Bytes px(n);
            for (int i = 0; i < n; i++) px[i] = (uint8_t)(bits >> i & 1);
            ASSERT_EQ(Rle(px, 1).size(), BruteCost(px, 1)) << "n=" << n << " bits=" << bits;
        }
    std::mt19937 rng(7);
    for (int t = 0; t < 300; t++) {
        Bytes px(2 * (1 + rng() % 10));
        for (size_t i = 0; i < px.size(); i += 2) px[i] = px[i + 1] = (uint8_t)(rng() % 2);
        ASSERT_EQ(Rle(px, 2).size(), BruteCost(px, 2));
    }
}

TEST(SimRle, RoundTripThroughTheViewerDecoderWithRowPadding)
{
    std::mt19937 rng(21560);
    const int widths[] = {1, 3, 25, 32, 33, 38};
    for (int depth : {8, 16}) {
        const int B = depth / 8;
        for (int w : widths) {
            const TileGeometry g = Geometry(w, 18, depth);
            for (int kind = 0; kind < 4; kind++) {
                Bytes want(g.size, 0);
                // Random, flat, striped rows (runs crossing row ends), and short runs.
                for (uint32_t y = 0; y < g.height; y++)
                    for (uint32_t i = 0; i < g.lineBytes; i += (uint32_t)B) {
                        uint32_t v = kind == 0 ? rng() : kind == 1 ? 0x2A5 : kind == 2 ? y / 3 * 77 : (i / B / 3) * 5;
                        for (int b = 0; b < B; b++) want[y * g.stride + i + b] = (uint8_t)(v >> (8 * b));
                    }
                const Bytes packed = Packed(g, want);
                const Bytes rle = Rle(packed, B);
                Bytes bits(g.size, 0xEE);
                for (uint32_t y = 0; y < g.height; y++)
                    memset(&bits[y * g.stride + g.lineBytes], 0, g.stride - g.lineBytes);  // padding as the viewer keeps it
                EXPECT_EQ(ApplyRlePart(&g, bits.data(), rle.data(), rle.size(), B, 0), kPartApplied);
                EXPECT_EQ(bits, want) << "depth " << depth << " width " << w << " kind " << kind;
                // The same records as a delta, XORed over the result, clear it.
                EXPECT_EQ(ApplyRlePart(&g, bits.data(), rle.data(), rle.size(), B, 1), kPartApplied);
                EXPECT_EQ(bits, Bytes(g.size, 0));
                if (kind == 1) {
                    EXPECT_EQ(rle.size(), (size_t)(2 + B));  // one repeat covers the tile
                }
            }
        }
    }
}

// ---- part choice ------------------------------------------------------------------

struct PartCase {
    TileGeometry g;
    int depth;
    Bytes held, want;
};

// Applies a part as the viewer would and checks the tile address bytes.
Bytes ApplyPart(const PartCase &c, const TilePart &p, int row, int column)
{
    EXPECT_EQ(p.payload[0], column);
    EXPECT_EQ(p.payload[1], row);
    Bytes bits = c.held;
    const uint8_t *data = p.payload.data() + 2;
    size_t len = p.payload.size() - 2;
    if (p.type == PKT_SCREEN_XOR_PART) {
        EXPECT_EQ(len, (size_t)c.g.height * c.g.lineBytes);
        ApplyXorPart(&c.g, bits.data(), data, len);
    } else {
        EXPECT_EQ(ApplyRlePart(&c.g, bits.data(), data, len, c.depth / 8, p.type == PKT_SCREEN_XOR_RLE_PART), kPartApplied);
    }
    return bits;
}

PartCase MakeCase(int depth, int w, int h, std::function<uint8_t(size_t)> held, std::function<uint8_t(size_t)> want)
{
    PartCase c;
    c.g = Geometry(w, h, depth);
    c.depth = depth;
    c.held.assign(c.g.size, 0);
    c.want.assign(c.g.size, 0);
    for (uint32_t y = 0; y < c.g.height; y++)
        for (uint32_t i = 0; i < c.g.lineBytes; i++) {
            c.held[y * c.g.stride + i] = held(y * c.g.lineBytes + i);
            c.want[y * c.g.stride + i] = want(y * c.g.lineBytes + i);
        }
    return c;
}

TEST(SimPart, ChoosesTheShortestFormAndTheViewerGetsTheNewTile)
{
    std::mt19937 rng(5);
    auto zero = [](size_t) { return (uint8_t)0; };
    auto flat = [](size_t) { return (uint8_t)0x42; };
    auto noise = [&](size_t) { return (uint8_t)rng(); };
    auto flatOneDot = [](size_t i) { return (uint8_t)(i == 100 ? 0x43 : 0x42); };
    struct Case {
        const char *what;
        PartCase c;
        int first;
        uint32_t type;
    } cases[] = {
        {"first part replaces", MakeCase(8, 25, 18, zero, noise), 1, PKT_SCREEN_RLE_PART},
        {"first part of a flat tile", MakeCase(16, 32, 24, zero, flat), 1, PKT_SCREEN_RLE_PART},
        {"one changed pixel: runs of the delta", MakeCase(8, 25, 18, flat, flatOneDot), 0, PKT_SCREEN_XOR_RLE_PART},
        {"noise over noise: raw delta", MakeCase(16, 25, 18, noise, noise), 0, PKT_SCREEN_XOR_PART},
        {"noise to flat, runs of the new tile", MakeCase(8, 32, 24, noise, flat), 0, PKT_SCREEN_RLE_PART},
        {"1 bit: raw delta even first", MakeCase(1, 25, 18, zero, noise), 1, PKT_SCREEN_XOR_PART},
        {"4 bits: raw delta even when flat", MakeCase(4, 25, 18, noise, flat), 0, PKT_SCREEN_XOR_PART},
    };
    for (Case &k : cases) {
        TilePart p;
        ASSERT_TRUE(TilePartBuild(&k.c.g, k.c.depth, 7, 30, k.c.held.data(), k.c.want.data(), k.first, &p)) << k.what;
        EXPECT_EQ(p.type, k.type) << k.what;
        EXPECT_EQ(ApplyPart(k.c, p, 7, 30), k.c.want) << k.what;
    }
}

TEST(SimPart, NeverLongerThanEitherAlternative)
{
    std::mt19937 rng(11);
    for (int t = 0; t < 400; t++) {
        const int depth = t % 2 ? 16 : 8, B = depth / 8;
        const int density = 1 + (int)(rng() % 64);  // changed bytes per 64
        PartCase c = MakeCase(depth, 1 + (int)(rng() % 40), 1 + (int)(rng() % 30), [&](size_t i) { return (uint8_t)(i / 16); },
                              [&](size_t i) { return (uint8_t)(rng() % 64 < (unsigned)density ? rng() : i / 16); });
        TilePart p;
        ASSERT_TRUE(TilePartBuild(&c.g, depth, 0, 0, c.held.data(), c.want.data(), 0, &p));
        const Bytes held = Packed(c.g, c.held), want = Packed(c.g, c.want);
        Bytes delta(held.size());
        for (size_t i = 0; i < delta.size(); i++) delta[i] = held[i] ^ want[i];
        const size_t raw = 2 + delta.size(), xorRle = 2 + Rle(delta, B).size(), full = 2 + Rle(want, B).size();
        EXPECT_LE(p.payload.size(), raw);
        EXPECT_LE(p.payload.size(), xorRle);
        EXPECT_LE(p.payload.size(), full);
        if (p.type == PKT_SCREEN_RLE_PART) {
            EXPECT_LT(full, std::min(raw, xorRle));  // only when strictly cheaper
        }
        EXPECT_EQ(ApplyPart(c, p, 0, 0), c.want);
    }
}

// ---- rounds -------------------------------------------------------------------------

// A viewer stand-in: its own tiles, fed only with the packets on the wire.
struct Viewer {
    TileLayout layout;
    std::vector<Bytes> tiles;
    int packets = 0, parts[10] = {};
    std::vector<int> touched;  // parts per tile in the last Feed

    explicit Viewer(const SimDesktop &d) : layout(d.layout), tiles(kTileCount)
    {
        for (int i = 0; i < kTileCount; i++) tiles[i].assign(layout.tiles[i / 32][i % 32].size, 0);
    }
    void Feed(const Bytes &wire)
    {
        touched.assign(kTileCount, 0);
        size_t off = 0;
        while (off < wire.size()) {
            SessPacketHeader h;
            ASSERT_TRUE(DecodePacketHeader(wire.data() + off, wire.size() - off, &h));
            ASSERT_LE(h.dwDataLen, wire.size() - off - kPacketHeaderSize);
            ASSERT_LE(kPacketHeaderSize + h.dwDataLen, (uint32_t)kMaxPacketSize);
            EXPECT_EQ(h.dwRequired, 1u);
            const uint8_t *p = wire.data() + off + kPacketHeaderSize;
            int row, column;
            ASSERT_TRUE(PartTileAddress(p, h.dwDataLen, &row, &column));
            ASSERT_TRUE(h.dwType == PKT_SCREEN_XOR_PART || h.dwType == PKT_SCREEN_RLE_PART ||
                        h.dwType == PKT_SCREEN_XOR_RLE_PART)
                << h.dwType;
            const TileGeometry *g = &layout.tiles[row][column];
            uint8_t *bits = tiles[row * 32 + column].data();
            touched[row * 32 + column]++;
            parts[h.dwType]++;
            if (h.dwType == PKT_SCREEN_XOR_PART) {
                EXPECT_EQ(ApplyXorPart(g, bits, p + 2, h.dwDataLen - 2), kPartApplied);
            } else {
                ASSERT_TRUE(layout.depth == 8 || layout.depth == 16) << "run-length part at depth " << layout.depth;
                EXPECT_EQ(ApplyRlePart(g, bits, p + 2, h.dwDataLen - 2, layout.depth / 8, h.dwType == PKT_SCREEN_XOR_RLE_PART),
                          kPartApplied);
            }
            off += kPacketHeaderSize + h.dwDataLen;
            packets++;
        }
    }
};

struct SimDeskTest : ::testing::Test {
    SimOptions opt;
    SimDesktop *d = new SimDesktop();
    SimScene scene;
    std::vector<uint16_t> px;

    void TearDown() override { delete d; }
    void Start(int w, int h, int bpp, int scene_ = kSimSceneDemo)
    {
        SimOptionsInit(&opt);
        opt.screenWidth = (uint16_t)w;
        opt.screenHeight = (uint16_t)h;
        opt.screenBpp = (uint16_t)bpp;
        opt.scene = scene_;
        std::string why;
        ASSERT_TRUE(DesktopStart(d, &opt, &why)) << why;
        ASSERT_TRUE(SceneInit(&scene, &opt, &why)) << why;
    }
    void Range(uint8_t c0, uint8_t cn, uint8_t r0, uint8_t rn, int grid = 0)
    {
        const uint8_t p[4] = {c0, cn, r0, rn};
        DesktopSetRange(d, p, grid);
    }
    void Frame(uint32_t n)
    {
        SceneRender(&scene, n, d->layout.width, d->layout.height, &d->colours, &px);
        DesktopLoadFrame(d, px.data());
    }
    Bytes Round()
    {
        Bytes out;
        DesktopRound(d, &out);
        return out;
    }
};

TEST_F(SimDeskTest, AnimatedRoundsKeepModelViewerAndFrameEqualAtEveryDepth)
{
    struct Geo {
        int w, h;
    } geos[] = {{800, 600}, {1030, 770}, {200, 100}};
    for (int depth : {1, 4, 8, 16})
        for (const Geo &geo : geos) {
            Start(geo.w, geo.h, depth);
            Range(0, 32, 0, 32, 1);
            Viewer viewer(*d);
            for (uint32_t f = 0; f < 6; f++) {
                Frame(f * 3);
                std::vector<int> differs(kTileCount);
                for (int i = 0; i < kTileCount; i++) differs[i] = d->model[i] != d->frame[i];
                const Bytes wire = Round();
                viewer.Feed(wire);
                int sent = 0;
                for (int i = 0; i < kTileCount; i++) {
                    ASSERT_EQ(d->model[i], d->frame[i]) << depth << " bits, frame " << f << ", tile " << i;
                    ASSERT_EQ(viewer.tiles[i], d->model[i]) << depth << " bits, frame " << f << ", tile " << i;
                    ASSERT_EQ(viewer.touched[i], differs[i]) << "one part exactly for each changed tile: " << i;
                    sent += viewer.touched[i];
                }
                EXPECT_TRUE(DesktopInSync(d));
                EXPECT_EQ(d->mismatches, 0u);
                // A moving box and a clock: some tiles change, most do not.
                if (f > 0) {
                    EXPECT_GT(sent, 0) << depth << " frame " << f;
                    EXPECT_LT(sent, 200) << depth << " frame " << f;
                }
            }
            if (depth >= 8) {
                EXPECT_GT(viewer.parts[PKT_SCREEN_RLE_PART], 0);
                EXPECT_GT(viewer.parts[PKT_SCREEN_XOR_RLE_PART], 0);
            } else {
                EXPECT_EQ(viewer.parts[PKT_SCREEN_XOR_PART], viewer.packets);
            }
            EXPECT_TRUE(Round().empty()) << "nothing to send for an unchanged frame";
        }
}

TEST_F(SimDeskTest, FloodChangesEveryTileEveryFrame)
{
    for (int depth : {1, 4, 8, 16}) {
        Start(256, 128, depth);
        scene.flood = 1;
        Range(0, 32, 0, 32, 1);
        Viewer viewer(*d);
        for (uint32_t f = 1; f <= 4; f++) {
            Frame(f);
            viewer.Feed(Round());
            EXPECT_EQ(viewer.packets, (int)(f * kTileCount)) << depth;
            EXPECT_TRUE(DesktopInSync(d));
        }
    }
}

TEST_F(SimDeskTest, OnlyTheVisibleRangeIsSentAndStaleTilesFollowLater)
{
    Start(640, 480, 8, kSimSceneSolid);
    scene.solid[0] = 200;  // every tile differs from black
    Frame(0);
    Range(0, 32, 0, 32, 0);
    EXPECT_TRUE(Round().empty()) << "a refresh rect alone does not start the desktop";

    Range(2, 3, 1, 2, 1);
    Viewer viewer(*d);
    viewer.Feed(Round());
    for (int r = 0; r < 32; r++)
        for (int c = 0; c < 32; c++)
            EXPECT_EQ(viewer.touched[r * 32 + c], (c >= 2 && c < 5 && r >= 1 && r < 3) ? 1 : 0) << r << "," << c;
    EXPECT_EQ(d->partsCounted, 6u);
    EXPECT_TRUE(DesktopInSync(d));

    Range(0, 0, 0, 0);
    EXPECT_TRUE(Round().empty()) << "a minimised viewer gets nothing";
    EXPECT_TRUE(DesktopInSync(d));

    // Counts past the edge reach the edge only.
    Range(30, 10, 30, 10);
    viewer.Feed(Round());
    EXPECT_EQ(viewer.packets, 6 + 4);
    EXPECT_EQ(viewer.touched[31 * 32 + 31], 1);

    Range(0, 32, 0, 32);
    viewer.Feed(Round());
    EXPECT_EQ(viewer.packets, kTileCount);
    for (int i = 0; i < kTileCount; i++) EXPECT_EQ(viewer.tiles[i], d->frame[i]);

    // The hold of a restart stops parts until the next view grid.
    DesktopHold(d);
    scene.solid[1] = 90;
    Frame(0);
    EXPECT_TRUE(Round().empty());
    EXPECT_FALSE(DesktopInSync(d));
}

TEST_F(SimDeskTest, GeometriesThatCannotBeServed)
{
    SimOptionsInit(&opt);
    std::string why;
    struct {
        int w, h, bpp;
    } bad[] = {{31, 600, 8}, {800, 31, 8}, {800, 600, 24}, {800, 600, 2}, {65535, 65535, 16}};
    for (auto &b : bad) {
        opt.screenWidth = (uint16_t)b.w;
        opt.screenHeight = (uint16_t)b.h;
        opt.screenBpp = (uint16_t)b.bpp;
        EXPECT_FALSE(DesktopStart(d, &opt, &why)) << b.w << "x" << b.h << "x" << b.bpp;
        EXPECT_FALSE(why.empty());
        Bytes out;
        EXPECT_EQ(DesktopRound(d, &out), 0u);
    }
    // The largest tile whose raw delta still fits one packet: 16 bits, 127 x 128 corner.
    opt.screenWidth = 32 * 127;
    opt.screenHeight = 32 * 128;
    EXPECT_TRUE(DesktopStart(d, &opt, &why)) << why;
    opt.screenHeight = 32 * 129;  // 2 + 254 * 129 = 32768 bytes: over by 12
    EXPECT_FALSE(DesktopStart(d, &opt, &why));
}

// ---- palette and pictures ----------------------------------------------------------

TEST(SimPalette, PacketBytesForBothTables)
{
    SimOptions o;
    SimOptionsInit(&o);
    o.screenBpp = 8;
    Bytes b;
    SimAppendPalette(&o, &b);
    ASSERT_EQ(b.size(), 12u + 1024);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 12), (Bytes{9, 0, 0, 0, 0, 4, 0, 0, 1, 0, 0, 0}));
    const uint8_t *e = b.data() + 12;
    // Entries as red, green, blue, 0: the viewer's reading of the default table.
    struct {
        int i;
        Bytes rgb0;
    } def[] = {{0, {0, 0, 0, 0}},       {1, {128, 0, 0, 0}},      {9, {164, 200, 240, 0}},
               {10, {191, 0, 0, 0}},     {16, {63, 95, 63, 0}},     {17, {95, 95, 63, 0}},
               {23, {63, 127, 63, 0}},   {58, {63, 63, 95, 0}},     {245, {223, 223, 191, 0}},
               {246, {255, 251, 240, 0}}, {249, {255, 0, 0, 0}},   {255, {255, 255, 255, 0}}};
    for (auto &k : def) EXPECT_EQ(Bytes(e + 4 * k.i, e + 4 * k.i + 4), k.rgb0) << k.i;

    o.customPalette = 1;
    b.clear();
    SimAppendPalette(&o, &b);
    e = b.data() + 12;
    struct {
        int i;
        Bytes rgb0;
    } custom[] = {{0, {255, 255, 255, 0}}, {1, {255, 255, 204, 0}}, {6, {255, 204, 255, 0}},
                  {36, {204, 255, 255, 0}}, {215, {0, 0, 0, 0}},     {216, {0, 0, 0, 0}},
                  {255, {255, 255, 255, 0}}};
    for (auto &k : custom) EXPECT_EQ(Bytes(e + 4 * k.i, e + 4 * k.i + 4), k.rgb0) << k.i;
}

// Expected colours, written out independently of the code under test.
void Expect16(int v, uint8_t rgb[3])
{
    static const uint8_t t[16][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                     {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                     {192, 192, 192}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                                     {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    memcpy(rgb, t[v], 3);
}

TEST_F(SimDeskTest, DumpOfAKnownFrameByteByByteAtEveryDepth)
{
    // 66 x 33: tiles of 2 x 1 pixels, the last column 4 wide and the last row 2 high, so
    // 1- and 4-bit tiles start inside bytes of a frame row.
    for (int depth : {1, 4, 8, 16}) {
        Start(66, 33, depth);
        const int W = 66, H = 33;
        std::vector<uint16_t> values((size_t)W * H);
        const uint16_t mask = depth == 16 ? 0x7FFF : (uint16_t)((1u << depth) - 1);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) values[(size_t)y * W + x] = (uint16_t)((x * 37 + y * 1021 + x * y) & mask);
        DesktopLoadFrame(d, values.data());
        Range(0, 32, 0, 32, 1);
        Bytes wire;
        DesktopRound(d, &wire);
        SimPicture pic;
        DesktopPicture(d, 1, &pic);
        Bytes ppm;
        PpmFormat(&pic, &ppm);
        Bytes want = {'P', '6', '\n', '6', '6', ' ', '3', '3', '\n', '2', '5', '5', '\n'};
        for (uint16_t v : values) {
            uint8_t rgb[3];
            if (depth == 1) rgb[0] = rgb[1] = rgb[2] = v ? 255 : 0;
            else if (depth == 4) Expect16(v, rgb);
            else if (depth == 8) {
                // The default 256 colours through the palette packet.
                const uint8_t *t = DefaultColourTable(256) + 4 * v;
                rgb[0] = t[2], rgb[1] = t[1], rgb[2] = t[0];
            } else {
                const int c[3] = {v >> 10 & 31, v >> 5 & 31, v & 31};
                for (int k = 0; k < 3; k++) rgb[k] = (uint8_t)(c[k] * 8 + c[k] / 4);
            }
            want.insert(want.end(), rgb, rgb + 3);
        }
        ASSERT_EQ(ppm.size(), want.size());
        EXPECT_EQ(ppm, want) << depth << " bits";
        SimPicture frame;
        DesktopPicture(d, 0, &frame);
        EXPECT_EQ(frame.rgb, pic.rgb);
    }
    // Spot values: 16-bit 0x7FFF is white, 0x4210 is (132, 132, 132).
    Start(64, 32, 16);
    std::vector<uint16_t> v(64 * 32, 0x4210);
    v[0] = 0x7FFF;
    DesktopLoadFrame(d, v.data());
    SimPicture pic;
    DesktopPicture(d, 0, &pic);
    EXPECT_EQ(Bytes(pic.rgb.begin(), pic.rgb.begin() + 6), (Bytes{255, 255, 255, 132, 132, 132}));
}

TEST_F(SimDeskTest, UnsentTilesDumpAsTheViewerShowsThem)
{
    // Custom palette: index 0 is white, so tiles the viewer never got show white.
    SimOptionsInit(&opt);
    opt.screenWidth = 64;
    opt.screenHeight = 32;
    opt.screenBpp = 8;
    opt.customPalette = 1;
    opt.scene = kSimSceneSolid;
    opt.solid[0] = 250;  // nearest custom entry: (255, 0, 0), index 35
    std::string why;
    ASSERT_TRUE(DesktopStart(d, &opt, &why));
    ASSERT_TRUE(SceneInit(&scene, &opt, &why));
    Frame(0);
    EXPECT_EQ(px[0], 35);
    Range(0, 1, 0, 32, 1);
    Round();
    SimPicture pic;
    DesktopPicture(d, 1, &pic);
    EXPECT_EQ(Bytes(pic.rgb.begin(), pic.rgb.begin() + 9), (Bytes{255, 0, 0, 255, 0, 0, 255, 255, 255}));
}

TEST(SimPicture, PpmParsing)
{
    auto text = [](const std::string &s) { return Bytes(s.begin(), s.end()); };
    SimPicture pic;
    std::string why;
    Bytes ok = text("P6\n# made by hand\n2 1\n255\n");
    ok.insert(ok.end(), {1, 2, 3, 4, 5, 6});
    ASSERT_TRUE(PpmParse(ok.data(), ok.size(), &pic, &why)) << why;
    EXPECT_EQ(pic.width, 2);
    EXPECT_EQ(pic.height, 1);
    EXPECT_EQ(pic.rgb, (Bytes{1, 2, 3, 4, 5, 6}));

    Bytes wide = text("P6 1 1 65535\n");
    wide.insert(wide.end(), {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00});
    ASSERT_TRUE(PpmParse(wide.data(), wide.size(), &pic, &why)) << why;
    EXPECT_EQ(pic.rgb, (Bytes{255, 128, 0}));

    Bytes small = text("P6 1 1 1\n");
    small.insert(small.end(), {1, 0, 1});
    ASSERT_TRUE(PpmParse(small.data(), small.size(), &pic, &why));
    EXPECT_EQ(pic.rgb, (Bytes{255, 0, 255}));

    const char *bad[] = {"P3\n1 1\n255\n\x01\x02\x03", "P6\n1 1\n255\n\x01\x02", "P6\n0 1\n255\n",
                         "P6\n1 1\n0\n\x01\x02\x03", "P6\n1 1\n65536\n", "P6\n99999 99999\n255\n\x01",
                         "P6\n1 1\n255", "P6\n1", "P6", ""};
    for (const char *b : bad) {
        Bytes data = text(b);
        EXPECT_FALSE(PpmParse(data.data(), data.size(), &pic, &why)) << b;
    }
    Bytes out;
    pic = SimPicture{2, 1, {9, 8, 7, 6, 5, 4}};
    PpmFormat(&pic, &out);
    EXPECT_EQ(out, text(std::string("P6\n2 1\n255\n\x09\x08\x07\x06\x05\x04", 17)));
}

TEST(SimPicture, CoverScalesAndCropsTheCentre)
{
    // 4 x 2 onto 2 x 2: the middle two columns survive.
    SimPicture src{4, 2, {}}, dst;
    for (int i = 0; i < 8; i++) src.rgb.insert(src.rgb.end(), {(uint8_t)i, 0, 0});
    PictureCover(&src, 2, 2, &dst);
    EXPECT_EQ(dst.rgb, (Bytes{1, 0, 0, 2, 0, 0, 5, 0, 0, 6, 0, 0}));
    // 2 x 1 onto 4 x 2: each pixel doubles.
    SimPicture two{2, 1, {10, 0, 0, 20, 0, 0}};
    PictureCover(&two, 4, 2, &dst);
    EXPECT_EQ(dst.rgb, (Bytes{10, 0, 0, 10, 0, 0, 20, 0, 0, 20, 0, 0, 10, 0, 0, 10, 0, 0, 20, 0, 0, 20, 0, 0}));
}

TEST(SimPicture, NearestColoursInTheViewerTables)
{
    SimColourMap m;
    ColourMapInit(&m, 4, DefaultColourTable(16));
    EXPECT_EQ(ColourValue(&m, 255, 0, 0), 9);
    EXPECT_EQ(ColourValue(&m, 130, 2, 0), 1);
    EXPECT_EQ(ColourValue(&m, 200, 200, 200), 8);
    EXPECT_EQ(ColourValue(&m, 250, 250, 250), 15);
    ColourMapInit(&m, 1, DefaultColourTable(2));
    EXPECT_EQ(ColourValue(&m, 200, 200, 200), 1);
    EXPECT_EQ(ColourValue(&m, 50, 60, 70), 0);
    ColourMapInit(&m, 8, DefaultColourTable(256));
    EXPECT_EQ(ColourValue(&m, 164, 200, 240), 9);
    EXPECT_EQ(ColourValue(&m, 255, 255, 255), 255);
    ColourMapInit(&m, 16, nullptr);
    EXPECT_EQ(ColourValue(&m, 0xFF, 0x08, 0x07), (31 << 10) | (1 << 5) | 0);
    uint8_t rgb[3];
    ColourOfValue(&m, (1 << 10) | (16 << 5) | 31, rgb);
    EXPECT_EQ(Bytes(rgb, rgb + 3), (Bytes{8, 132, 255}));
}

TEST_F(SimDeskTest, FileSceneTakesNearestColoursOfTheDepth)
{
    // Red beside light grey, 2 x 1, covering a 64 x 32 screen half and half.
    const std::string path = ::testing::TempDir() + "agentsim_scene.ppm";
    std::string why;
    SimPicture two{2, 1, {255, 0, 0, 200, 200, 200}};
    ASSERT_TRUE(PpmSave(path.c_str(), &two, &why)) << why;
    const struct {
        int depth;
        uint16_t left, right;
    } cases[] = {{1, 0, 1}, {4, 9, 8}, {8, 249, 7}, {16, 31 << 10, 25 << 10 | 25 << 5 | 25}};
    for (const auto &k : cases) {
        SimOptionsInit(&opt);
        opt.screenWidth = 64;
        opt.screenHeight = 32;
        opt.screenBpp = (uint16_t)k.depth;
        opt.scene = kSimSceneFile;
        opt.scenePath = path.c_str();
        ASSERT_TRUE(DesktopStart(d, &opt, &why)) << why;
        ASSERT_TRUE(SceneInit(&scene, &opt, &why)) << why;
        Frame(0);
        EXPECT_EQ(px[0], k.left) << k.depth;
        EXPECT_EQ(px[31 * 64 + 31], k.left) << k.depth;
        EXPECT_EQ(px[32], k.right) << k.depth;
        EXPECT_EQ(px[31 * 64 + 63], k.right) << k.depth;
    }
    remove(path.c_str());
}

// ---- session, commands and options -----------------------------------------------

TEST(SimDesktopSession, ClientInfoAnnouncesPaletteAndRangesAreLogged)
{
    SimOptions o;
    SimOptionsInit(&o);
    o.screenWidth = 800;
    o.screenHeight = 600;
    o.screenBpp = 8;
    SimDesktop *d = new SimDesktop();
    SimSession s;
    SimSessionInit(&s, &o, nullptr, d);
    const Bytes ci = {1, 0, 8, 0, 0, 0, 0, 0, 0x22, 0x03, 0, 0};
    SessPacketHeader h = {PKT_CLIENT_INFO, 12, 1};
    SimOutput out;
    ASSERT_EQ(SimHandlePacket(&s, &h, ci.data(), &out), 1);
    Bytes want;
    SimAppendScreenInfo(&o, &want);
    SimAppendPalette(&o, &want);
    EXPECT_EQ(out.reply, want);
    EXPECT_NE(out.log.find("\"ev\":\"desktop\",\"width\":800,\"height\":600,\"depth\":8,\"served\":true"), std::string::npos)
        << out.log;
    EXPECT_TRUE(d->served);
    EXPECT_FALSE(d->gridSeen);

    const Bytes grid = {0, 32, 0, 24};
    h = {PKT_VIEW_GRID, 4, 1};
    out = SimOutput();
    ASSERT_EQ(SimHandlePacket(&s, &h, grid.data(), &out), 1);
    EXPECT_NE(out.log.find("\"name\":\"PKT_VIEW_GRID\",\"len\":4,\"required\":1,\"first_column\":0,"
                           "\"column_count\":32,\"first_row\":0,\"row_count\":24}"),
              std::string::npos)
        << out.log;
    EXPECT_TRUE(d->gridSeen);
    EXPECT_EQ(d->range.rowCount, 24);

    const Bytes rect = {3, 5, 7, 9};
    h = {PKT_SCREEN_REFRESH_RECT, 4, 1};
    out = SimOutput();
    SimHandlePacket(&s, &h, rect.data(), &out);
    EXPECT_NE(out.log.find("\"first_column\":3,\"column_count\":5,\"first_row\":7,\"row_count\":9"), std::string::npos);
    EXPECT_EQ(d->range.firstRow, 7);

    // A wrong length is refused and changes nothing.
    h = {PKT_SCREEN_REFRESH_RECT, 3, 1};
    out = SimOutput();
    EXPECT_EQ(SimHandlePacket(&s, &h, rect.data(), &out), 0);
    EXPECT_NE(out.log.find("\"ev\":\"error\""), std::string::npos);
    EXPECT_EQ(d->range.firstRow, 7);

    // 16 bits: no palette; an unservable screen is still announced, with the reason logged.
    o.screenBpp = 16;
    o.screenWidth = 20;
    h = {PKT_CLIENT_INFO, 12, 1};
    out = SimOutput();
    SimHandlePacket(&s, &h, ci.data(), &out);
    want.clear();
    SimAppendScreenInfo(&o, &want);
    EXPECT_EQ(out.reply, want);
    EXPECT_NE(out.log.find("\"served\":false,\"why\":"), std::string::npos) << out.log;
    EXPECT_FALSE(d->served);
    delete d;
}

TEST(SimDesktopControl, NewCommands)
{
    SimControlCommand cmd;
    char err[160] = "";
    auto parse = [&](const std::string &line) { return SimParseControl(line.data(), line.size(), &cmd, err, sizeof err); };
    ASSERT_TRUE(parse("restart 800x600x8")) << err;
    EXPECT_EQ(cmd.kind, kCtlRestart);
    EXPECT_TRUE(cmd.newScreen);
    EXPECT_EQ(cmd.width, 800);
    EXPECT_EQ(cmd.height, 600);
    EXPECT_EQ(cmd.bpp, 8);
    EXPECT_EQ(cmd.bytes, (Bytes{13, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    ASSERT_TRUE(parse("restart"));
    EXPECT_FALSE(cmd.newScreen);
    ASSERT_TRUE(parse("dump /tmp/a b/c.ppm  \r"));
    EXPECT_EQ(cmd.kind, kCtlDump);
    EXPECT_EQ(cmd.path, "/tmp/a b/c.ppm");
    ASSERT_TRUE(parse("frame  x y z w v u t.ppm"));
    EXPECT_EQ(cmd.kind, kCtlFrame);
    EXPECT_EQ(cmd.path, "x y z w v u t.ppm");
    const std::pair<const char *, int> simple[] = {
        {"pause", kCtlPause}, {"resume", kCtlResume}, {"sent-tiles", kCtlSentTiles}, {"wait-synced 9", kCtlWaitSynced}};
    for (auto &k : simple) {
        ASSERT_TRUE(parse(k.first)) << k.first;
        EXPECT_EQ(cmd.kind, k.second);
    }
    EXPECT_EQ(cmd.seconds, 9u);

    const std::pair<const char *, const char *> bad[] = {
        {"restart 800x600", "WxHxBPP"},       {"restart 0x600x8", "WxHxBPP"},
        {"restart 800x600x8x", "WxHxBPP"},    {"restart 99999999999999999999999x1x1", "WxHxBPP"},
        {"restart 1x1x1 now", "0 or 1"},      {"dump", "takes a path"},
        {"frame   ", "takes a path"},         {"pause now", "takes 0"},
        {"sent-tiles 1", "takes 0"},          {"wait-synced", "takes 1"},
        {"wait-synced 3601", "seconds"},      {"resume a b c d e f", "too many"},
    };
    for (auto &k : bad) {
        err[0] = 0;
        EXPECT_FALSE(parse(k.first)) << k.first;
        EXPECT_NE(strstr(err, k.second), nullptr) << k.first << " -> " << err;
    }
}

TEST(SimDesktopOptions, SceneFpsPaletteFlood)
{
    SimOptions o;
    SimOptionsInit(&o);
    EXPECT_EQ(o.scene, kSimSceneDemo);
    EXPECT_EQ(o.fps, 10u);
    const char *args[] = {"agentsim", "--scene", "solid:0aFf10", "--fps", "0", "--palette", "custom", "--flood"};
    char err[200] = "";
    int help;
    ASSERT_TRUE(SimOptionsParse(&o, 8, (char **)args, &help, err, sizeof err)) << err;
    EXPECT_EQ(o.scene, kSimSceneSolid);
    EXPECT_EQ(Bytes(o.solid, o.solid + 3), (Bytes{0x0A, 0xFF, 0x10}));
    EXPECT_EQ(o.fps, 0u);
    EXPECT_TRUE(o.customPalette);
    EXPECT_TRUE(o.flood);
    const char *file[] = {"agentsim", "--scene", "file:/x y.ppm", "--fps", "1000"};
    ASSERT_TRUE(SimOptionsParse(&o, 5, (char **)file, &help, err, sizeof err)) << err;
    EXPECT_EQ(o.scene, kSimSceneFile);
    EXPECT_STREQ(o.scenePath, "/x y.ppm");

    const std::vector<std::vector<const char *>> bad = {
        {"--scene", "solid:12345"}, {"--scene", "solid:1234567"}, {"--scene", "solid:12345g"},
        {"--scene", "file:"},       {"--scene", "movie"},         {"--fps", "1001"},
        {"--fps", "-1"},            {"--palette", "odd"},
    };
    for (auto a : bad) {
        a.insert(a.begin(), "agentsim");
        SimOptionsInit(&o);
        EXPECT_FALSE(SimOptionsParse(&o, (int)a.size(), (char **)a.data(), &help, err, sizeof err)) << a[1] << " " << a[2];
    }
    // A file scene that is not there fails at start-up, with the path in the reason.
    SimOptionsInit(&o);
    o.scene = kSimSceneFile;
    o.scenePath = "/nonexistent/picture.ppm";
    SimScene s;
    std::string why;
    EXPECT_FALSE(SceneInit(&s, &o, &why));
    EXPECT_NE(why.find("/nonexistent/picture.ppm"), std::string::npos);
}

} // namespace
