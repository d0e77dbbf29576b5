// Tile grid geometry and the depth rules.
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"

#include <gtest/gtest.h>

namespace {

TileLayout *Layout(int32_t w, int32_t h, int depth)
{
    static TileLayout layout;
    EXPECT_TRUE(TileLayoutCompute(&layout, w, h, depth)) << w << "x" << h << "@" << depth;
    return &layout;
}

TEST(TileLayout, RegularScreenHasEqualTiles)
{
    const TileLayout *l = Layout(1024, 768, 8);
    for (int r = 0; r < kTileGridSize; r++)
        for (int c = 0; c < kTileGridSize; c++) {
            const TileGeometry &g = l->tiles[r][c];
            ASSERT_EQ(g.width, 32);
            ASSERT_EQ(g.height, 24);
            ASSERT_EQ(g.x, c * 32);
            ASSERT_EQ(g.y, r * 24);
            ASSERT_EQ(g.lineBytes, 32u);
            ASSERT_EQ(g.stride, 32u);
            ASSERT_EQ(g.size, 24u * 32);
        }
    EXPECT_EQ(l->frameStride, 1024u);
}

TEST(TileLayout, LastColumnAndRowTakeTheRemainder)
{
    const TileLayout *l = Layout(1030, 775, 16);
    for (int c = 0; c < 31; c++)
        EXPECT_EQ(l->tiles[0][c].width, 32);
    EXPECT_EQ(l->tiles[5][31].width, 38);
    EXPECT_EQ(l->tiles[5][31].x, 31 * 32);
    EXPECT_EQ(l->tiles[30][3].height, 24);
    EXPECT_EQ(l->tiles[31][3].height, 775 - 31 * 24);
    EXPECT_EQ(l->tiles[31][3].y, 31 * 24);
    EXPECT_EQ(l->tiles[31][31].lineBytes, 76u);
    EXPECT_EQ(l->tiles[31][31].size, 31u * 76);
    EXPECT_EQ(l->frameStride, 2060u);
    // The tiles cover the screen exactly.
    const TileGeometry &corner = l->tiles[31][31];
    EXPECT_EQ(corner.x + corner.width, 1030);
    EXPECT_EQ(corner.y + corner.height, 775);
}

TEST(TileLayout, LineBytesAndStridePerDepth)
{
    // 800 wide: tiles of 25 pixels. {depth, lineBytes, stride, frameStride}
    const struct {
        int depth;
        uint32_t lineBytes, stride, frameStride;
    } cases[] = {
        {1, 4, 4, 100},   // 25 bits
        {4, 13, 16, 400}, // 100 bits
        {8, 25, 28, 800},
        {16, 50, 52, 1600},
    };
    for (const auto &c : cases) {
        const TileLayout *l = Layout(800, 600, c.depth);
        const TileGeometry &g = l->tiles[0][0];
        EXPECT_EQ(g.width, 25) << c.depth;
        EXPECT_EQ(g.lineBytes, c.lineBytes) << c.depth;
        EXPECT_EQ(g.stride, c.stride) << c.depth;
        EXPECT_EQ(g.size, g.height * c.stride) << c.depth;
        EXPECT_EQ(l->frameStride, c.frameStride) << c.depth;
    }
    // Odd frame widths: 1001 pixels at 1 bit is 126 bytes, padded to 128.
    EXPECT_EQ(Layout(1001, 600, 1)->frameStride, 128u);
    EXPECT_EQ(Layout(1001, 600, 4)->frameStride, 504u);
    // 1001 at 4 bits: regular tiles of 31 pixels (124 bits, 16 bytes), column 31 of 40.
    const TileLayout *l = Layout(1001, 600, 4);
    EXPECT_EQ(l->tiles[0][0].lineBytes, 16u);
    EXPECT_EQ(l->tiles[0][0].stride, 16u);
    EXPECT_EQ(l->tiles[0][31].width, 40);
    EXPECT_EQ(l->tiles[0][31].lineBytes, 20u);
}

TEST(TileLayout, RefusesWhatCannotBeShown)
{
    TileLayout l;
    for (int depth : {0, 2, 3, 15, 24, 32, -8})
        EXPECT_FALSE(TileLayoutCompute(&l, 1024, 768, depth)) << depth;
    EXPECT_FALSE(TileLayoutCompute(&l, 31, 768, 8));
    EXPECT_FALSE(TileLayoutCompute(&l, 1024, 31, 8));
    EXPECT_FALSE(TileLayoutCompute(&l, 0, 0, 8));
    EXPECT_FALSE(TileLayoutCompute(&l, -1024, 768, 8));
    // A hostile announcement may name any u16 size: past the bound nothing is allocated.
    for (int32_t side : {16385, 65535, 65536}) {
        EXPECT_FALSE(TileLayoutCompute(&l, side, 768, 8)) << side;
        EXPECT_FALSE(TileLayoutCompute(&l, 1024, side, 8)) << side;
    }
    EXPECT_TRUE(TileLayoutCompute(&l, 32, 32, 1));
    EXPECT_EQ(l.tiles[31][31].width, 1);
    EXPECT_TRUE(TileLayoutCompute(&l, 16384, 16384, 16));
    EXPECT_EQ(l.tiles[31][31].size, 512u * 1024);
    EXPECT_EQ(l.frameStride, 32768u);
}

TEST(TileDepth, ScreenDepthAndImageSizeDoNotOverflow)
{
    RemoteScreen s = {};
    s.planes = 65535;
    s.bitsPerPixel = 65535;
    EXPECT_EQ(ScreenDepth(&s), 4294836225u); // would wrap a signed int
    const struct {
        uint32_t width, height;
        int bits;
        uint32_t size;
    } cases[] = {
        {1, 1, 1, 4},
        {33, 2, 1, 16},
        {25, 3, 4, 48},
        {16384, 16384, 16, 536870912u},
        {65535, 65535, 16, UINT32_MAX}, // saturates instead of wrapping
        {65535, 32767, 16, 4294836224u},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DibImageSize(c.width, c.height, c.bits), c.size) << c.width << "x" << c.height << "@" << c.bits;
}

TEST(TileDepth, ColourCountAndBitCount)
{
    const struct {
        int depth, colours, bits;
    } cases[] = {
        {1, 2, 1}, {4, 16, 4}, {8, 256, 8}, {16, 0, 16}, {0, 0, 1},   {2, 0, 4},
        {3, 0, 4}, {5, 0, 8},  {9, 0, 16},  {24, 0, 16}, {32, 0, 16},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ColourCount(c.depth), c.colours) << c.depth;
        EXPECT_EQ(DibBitCount(c.depth), c.bits) << c.depth;
    }
}

TEST(TileDepth, BitmapInfoIndex)
{
    EXPECT_EQ(TileInfoIndex(0, 0), 0);
    EXPECT_EQ(TileInfoIndex(30, 30), 0);
    EXPECT_EQ(TileInfoIndex(0, 31), 1);
    EXPECT_EQ(TileInfoIndex(30, 31), 1);
    EXPECT_EQ(TileInfoIndex(31, 0), 2);
    EXPECT_EQ(TileInfoIndex(31, 30), 2);
    EXPECT_EQ(TileInfoIndex(31, 31), 3);
}

} // namespace
