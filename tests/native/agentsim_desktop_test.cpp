// The simulator's desktop: run-length records byte by byte, the choice of the shortest
// part, whole rounds replayed through the viewer's decoders by a stand-in fed only with
// the wire bytes, the dump in the viewer's colours, and the visible range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "desktop/decode.h"
#include "desktop/palette.h"
#include "session/packet.h"
#include "tools/agentsim/desktop.h"
#include "tools/agentsim/encode.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/picture.h"
#include "tools/agentsim/scene.h"

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

// Applies a part's data (what follows the tile address) as the viewer does.
int ApplyPart(const TileGeometry *g, int depth, uint32_t type, uint8_t *bits, const uint8_t *data, size_t len)
{
    if (type == PKT_SCREEN_XOR_PART)
        return ApplyXorPart(g, bits, data, len);
    if (type != PKT_SCREEN_RLE_PART && type != PKT_SCREEN_XOR_RLE_PART)
        return 0;
    EXPECT_TRUE(depth == 8 || depth == 16) << "run-length part at depth " << depth;
    return ApplyRlePart(g, bits, data, len, depth / 8, type == PKT_SCREEN_XOR_RLE_PART);
}

// ---- run-length records -----------------------------------------------------------

TEST(SimRle, KnownEncodingsByteByByte)
{
    const struct {
        const char *what;
        int B;
        Bytes pixels, want;
    } cases[] = {
        {"nothing", 1, {}, {}},
        {"one run", 1, {5, 5, 5, 5, 5}, {0x80, 0x05, 0x05}},
        {"all different", 1, {1, 2, 3}, {0x00, 0x03, 0x00, 1, 2, 3}},
        {"run between literals",
         1,
         {1, 2, 7, 7, 7, 7, 7, 7, 7, 7, 3},
         {0x00, 0x02, 0x00, 1, 2, 0x80, 0x08, 7, 0x80, 0x01, 3}},
        // Three equal pixels are cheaper left inside the literal than split around it.
        {"short run stays literal", 1, {1, 2, 7, 7, 7, 3, 4}, {0x00, 0x07, 0x00, 1, 2, 7, 7, 7, 3, 4}},
        {"16-bit run, little-endian pixel, 300 = 0x12C", 2, Bytes(600), {0x81, 0x2C, 0x00, 0x00}},
        {"16-bit literal then run",
         2,
         {0x34, 0x12, 0x78, 0x56, 0xFF, 0x7F, 0xFF, 0x7F, 0xFF, 0x7F},
         {0x00, 0x02, 0x00, 0x34, 0x12, 0x78, 0x56, 0x80, 0x03, 0xFF, 0x7F}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Rle(c.pixels, c.B), c.want) << c.what;
}

// ---- part choice ------------------------------------------------------------------

TEST(SimPart, ShortestOfTheThreeFormsAndTheViewerGetsTheNewTile)
{
    std::mt19937 rng(5);
    const std::function<uint8_t(size_t)> fills[] = {
        [](size_t) { return (uint8_t)0; },
        [](size_t) { return (uint8_t)0x42; },
        [&](size_t) { return (uint8_t)rng(); },
        [](size_t i) { return (uint8_t)(i == 100 ? 0x43 : 0x42); },
        [&](size_t i) { return (uint8_t)(rng() % 16 ? i / 16 : rng()); },
    };
    int seen[10] = {};
    for (int depth : {1, 4, 8, 16})
        for (const auto &heldFill : fills)
            for (const auto &wantFill : fills)
                for (int first : {0, 1}) {
                    const TileGeometry g = Geometry(25, 18, depth); // padded rows at 4, 8 and 16 bits
                    Bytes held(g.size, 0), want(g.size, 0), delta(g.height * g.lineBytes), packed(delta.size());
                    for (uint32_t y = 0; y < g.height; y++)
                        for (uint32_t i = 0; i < g.lineBytes; i++) {
                            held[y * g.stride + i] = heldFill(y * g.lineBytes + i);
                            want[y * g.stride + i] = wantFill(y * g.lineBytes + i);
                            delta[y * g.lineBytes + i] = held[y * g.stride + i] ^ want[y * g.stride + i];
                        }
                    TilePack(&g, want.data(), packed.data());
                    TilePart p;
                    ASSERT_TRUE(TilePartBuild(&g, depth, 7, 30, held.data(), want.data(), first, &p));
                    ASSERT_GE(p.payload.size(), 2u);
                    EXPECT_EQ(p.payload[0], 30);
                    EXPECT_EQ(p.payload[1], 7);
                    const size_t len = p.payload.size() - 2, B = depth / 8;
                    if (depth < 8) // the raw delta is the only form at 1 and 4 bits
                        EXPECT_EQ(p.type, (uint32_t)PKT_SCREEN_XOR_PART);
                    else
                        EXPECT_EQ(len, first ? Rle(packed, B).size()
                                             : std::min({delta.size(), Rle(delta, B).size(), Rle(packed, B).size()}));
                    seen[p.type]++;
                    Bytes bits = held;
                    EXPECT_EQ(ApplyPart(&g, depth, p.type, bits.data(), p.payload.data() + 2, len), kPartApplied);
                    EXPECT_EQ(bits, want) << depth << " bits, first " << first;
                }
    EXPECT_TRUE(seen[PKT_SCREEN_XOR_PART] && seen[PKT_SCREEN_XOR_RLE_PART] && seen[PKT_SCREEN_RLE_PART]);
}

// ---- rounds -------------------------------------------------------------------------

// The viewer stand-in: its own tiles, fed only with the packets on the wire. Returns the
// parts per tile and counts the parts by type.
std::vector<int> FeedViewer(const TileLayout &layout, std::vector<Bytes> *tiles, const Bytes &wire,
                            int *types = nullptr)
{
    std::vector<int> touched(kTileCount, 0);
    for (size_t off = 0; off < wire.size(); off += kPacketHeaderSize) {
        SessPacketHeader h;
        const uint8_t *p = wire.data() + off + kPacketHeaderSize;
        int row, column;
        if (!DecodePacketHeader(wire.data() + off, wire.size() - off, &h) ||
            h.dwDataLen > wire.size() - off - kPacketHeaderSize || h.dwDataLen > kMaxPayloadSize ||
            !PartTileAddress(p, h.dwDataLen, &row, &column)) {
            ADD_FAILURE() << "not a whole part in one packet at byte " << off;
            break;
        }
        touched[row * 32 + column]++;
        if (types && h.dwType < 10)
            types[h.dwType]++;
        uint8_t *bits = (*tiles)[row * 32 + column].data();
        EXPECT_EQ(ApplyPart(&layout.tiles[row][column], layout.depth, h.dwType, bits, p + 2, h.dwDataLen - 2),
                  kPartApplied)
            << "type " << h.dwType;
        off += h.dwDataLen;
    }
    return touched;
}

// What the viewer shows for a pixel value, written out apart from the code under test.
void ViewerColour(int depth, uint16_t v, uint8_t rgb[3])
{
    static const uint8_t vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                       {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                       {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    if (depth == 1) {
        rgb[0] = rgb[1] = rgb[2] = v ? 255 : 0;
    } else if (depth == 4) {
        memcpy(rgb, vga[v], 3);
    } else if (depth == 8) {
        const uint8_t *t = DefaultColourTable(256) + 4 * v; // blue, green, red, 0
        rgb[0] = t[2], rgb[1] = t[1], rgb[2] = t[0];
    } else {
        const int c[3] = {v >> 10 & 31, v >> 5 & 31, v & 31};
        for (int k = 0; k < 3; k++)
            rgb[k] = (uint8_t)(c[k] * 8 + c[k] / 4);
    }
}

struct SimDeskTest : ::testing::Test {
    SimOptions opt;
    SimDesktop *d = new SimDesktop();
    SimScene scene;
    std::vector<uint16_t> px;

    void TearDown() override { delete d; }
    void Start(int w, int h, int bpp, int kind = kSimSceneDemo)
    {
        SimOptionsInit(&opt);
        opt.screenWidth = (uint16_t)w;
        opt.screenHeight = (uint16_t)h;
        opt.screenBpp = (uint16_t)bpp;
        opt.scene = kind;
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
    // The viewer stand-in's tiles, all zero as at the start.
    std::vector<Bytes> ViewerTiles()
    {
        std::vector<Bytes> tiles(kTileCount);
        for (int i = 0; i < kTileCount; i++)
            tiles[i].assign(d->layout.tiles[i / 32][i % 32].size, 0);
        return tiles;
    }
};

struct SimDepthTest : SimDeskTest, ::testing::WithParamInterface<int> {};

TEST_P(SimDepthTest, AnimatedRoundsKeepModelViewerAndDumpExact)
{
    const int depth = GetParam();
    int types[10] = {};
    // 66 x 33: tiles of 2 x 1 pixels with a wider last column, so 1- and 4-bit tiles
    // start inside bytes of a frame row.
    for (auto geo : {std::make_pair(800, 600), std::make_pair(1030, 770), std::make_pair(66, 33)}) {
        Start(geo.first, geo.second, depth);
        Range(0, 32, 0, 32, 1);
        std::vector<Bytes> tiles = ViewerTiles();
        for (uint32_t f = 0; f < 6; f++) {
            Frame(f * 3);
            std::vector<int> differs(kTileCount);
            for (int i = 0; i < kTileCount; i++)
                differs[i] = d->model[i] != d->frame[i];
            const std::vector<int> touched = FeedViewer(d->layout, &tiles, Round(), types);
            for (int i = 0; i < kTileCount; i++) {
                ASSERT_EQ(tiles[i], d->frame[i]) << geo.first << ", frame " << f << ", tile " << i;
                ASSERT_EQ(touched[i], differs[i]) << "one part exactly for each changed tile: " << i;
            }
            EXPECT_TRUE(DesktopInSync(d));
            EXPECT_EQ(d->mismatches, 0u);
        }
        EXPECT_TRUE(Round().empty()) << "nothing to send for an unchanged frame";

        // The dump shows the pixel values of the last frame in the viewer's colours.
        SimPicture pic;
        DesktopPicture(d, 1, &pic);
        Bytes want;
        for (uint16_t v : px) {
            uint8_t rgb[3];
            ViewerColour(depth, v, rgb);
            want.insert(want.end(), rgb, rgb + 3);
        }
        ASSERT_EQ(pic.width, geo.first);
        ASSERT_EQ(pic.height, geo.second);
        EXPECT_EQ(pic.rgb, want) << geo.first << " x " << geo.second;
    }
    if (depth >= 8) {
        EXPECT_GT(types[PKT_SCREEN_RLE_PART], 0);
        EXPECT_GT(types[PKT_SCREEN_XOR_RLE_PART], 0);
    } else {
        EXPECT_EQ(types[PKT_SCREEN_RLE_PART] + types[PKT_SCREEN_XOR_RLE_PART], 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, SimDepthTest, ::testing::Values(1, 4, 8, 16));

TEST_F(SimDeskTest, OnlyTheVisibleRangeIsSentAndStaleTilesFollowLater)
{
    Start(640, 480, 8, kSimSceneSolid);
    scene.solid[0] = 200; // every tile differs from zero
    Frame(0);
    Range(0, 32, 0, 32, 0);
    EXPECT_TRUE(Round().empty()) << "a refresh rect alone does not start the desktop";

    Range(2, 3, 1, 2, 1);
    std::vector<Bytes> tiles = ViewerTiles();
    std::vector<int> touched = FeedViewer(d->layout, &tiles, Round());
    for (int r = 0; r < 32; r++)
        for (int c = 0; c < 32; c++)
            EXPECT_EQ(touched[r * 32 + c], (c >= 2 && c < 5 && r >= 1 && r < 3) ? 1 : 0) << r << "," << c;
    EXPECT_EQ(d->partsCounted, 6u);
    EXPECT_TRUE(DesktopInSync(d));

    Range(0, 0, 0, 0);
    EXPECT_TRUE(Round().empty()) << "a minimised viewer gets nothing";

    // Counts past the edge reach the edge only.
    Range(30, 10, 30, 10);
    touched = FeedViewer(d->layout, &tiles, Round());
    EXPECT_EQ(std::count(touched.begin(), touched.end(), 1), 4);
    EXPECT_EQ(touched[31 * 32 + 31], 1);

    Range(0, 32, 0, 32);
    touched = FeedViewer(d->layout, &tiles, Round());
    EXPECT_EQ(std::count(touched.begin(), touched.end(), 1), kTileCount - 10);
    for (int i = 0; i < kTileCount; i++)
        EXPECT_EQ(tiles[i], d->frame[i]);

    // The hold of a restart stops parts until the next view grid.
    DesktopHold(d);
    scene.solid[1] = 90;
    Frame(0);
    EXPECT_TRUE(Round().empty());
    EXPECT_FALSE(DesktopInSync(d));
}

} // namespace
