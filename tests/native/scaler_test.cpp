// The scaled picture against a plain average computed here pixel by pixel, at every
// depth, shrinking and enlarging, and drawn in parts after changes.
#include "desktop/scaler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct Screen {
    TileLayout layout;
    std::vector<uint8_t> bits;
    uint8_t colours[1024];
};

void MakeScreen(Screen *s, int w, int h, int depth, unsigned seed)
{
    ASSERT_TRUE(TileLayoutCompute(&s->layout, w, h, depth));
    s->bits.assign((size_t)s->layout.frameStride * h, 0);
    srand(seed);
    for (auto &b : s->bits)
        b = (uint8_t)rand();
    for (int i = 0; i < 1024; i++)
        s->colours[i] = (uint8_t)(i % 4 == 3 ? 0 : rand());
}

// Red, green and blue of screen pixel (x, y), top-down; 5-bit channels at 16 bits.
void ScreenRgb(const Screen &s, int x, int y, unsigned rgb[3])
{
    const uint8_t *row = s.bits.data() + (size_t)(s.layout.height - 1 - y) * s.layout.frameStride;
    unsigned index = 0;
    switch (s.layout.depth) {
    case 16: {
        const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
        rgb[0] = (v >> 10) & 31, rgb[1] = (v >> 5) & 31, rgb[2] = v & 31;
        return;
    }
    case 8:
        index = row[x];
        break;
    case 4:
        index = (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
        break;
    default:
        index = (row[x / 8] >> (7 - x % 8)) & 1;
        break;
    }
    for (int k = 0; k < 3; k++)
        rgb[k] = s.colours[4 * index + 2 - k];
}

// The average of the screen pixels under view pixel (i, j), each channel rounded half
// up, 5-bit channels taken as c * 255 / 31.
void Expected(const Screen &s, int w, int h, int i, int j, unsigned out[3])
{
    const int W = s.layout.width, H = s.layout.height;
    int x0 = (int)((long long)i * W / w), x1 = (int)((long long)(i + 1) * W / w);
    int y0 = (int)((long long)j * H / h), y1 = (int)((long long)(j + 1) * H / h);
    if (x1 <= x0)
        x1 = x0 + 1;
    if (y1 <= y0)
        y1 = y0 + 1;
    unsigned long long sum[3] = {0, 0, 0};
    for (int y = y0; y < y1; y++) {
        const uint8_t *row = s.bits.data() + (size_t)(H - 1 - y) * s.layout.frameStride;
        for (int x = x0; x < x1 && s.layout.depth == 16; x++) { // the largest screens, without a call a pixel
            const unsigned v = row[2 * x] | row[2 * x + 1] << 8;
            sum[0] += (v >> 10) & 31, sum[1] += (v >> 5) & 31, sum[2] += v & 31;
        }
        for (int x = x0; x < x1 && s.layout.depth != 16; x++) {
            unsigned c[3];
            ScreenRgb(s, x, y, c);
            for (int k = 0; k < 3; k++)
                sum[k] += c[k];
        }
    }
    const unsigned long long n = (unsigned long long)(x1 - x0) * (y1 - y0);
    const unsigned long long top = s.layout.depth == 16 ? 31 : 1, full = s.layout.depth == 16 ? 255 : 1;
    for (int k = 0; k < 3; k++)
        out[k] = (unsigned)((2 * full * sum[k] + top * n) / (2 * top * n));
}

// Largest channel difference over the whole picture.
unsigned WorstDifference(const ScaledPicture &p, const Screen &s)
{
    unsigned worst = 0;
    for (int j = 0; j < p.height; j++)
        for (int i = 0; i < p.width; i++) {
            unsigned want[3];
            Expected(s, p.width, p.height, i, j, want);
            const uint32_t got = p.pixels[(size_t)(p.height - 1 - j) * p.width + i];
            const unsigned have[3] = {got >> 16 & 255, got >> 8 & 255, got & 255};
            for (int k = 0; k < 3; k++)
                worst = std::max(worst, have[k] > want[k] ? have[k] - want[k] : want[k] - have[k]);
        }
    return worst;
}

} // namespace

TEST(ScaledPicture, AveragesWhatEachPixelCovers)
{
    const struct {
        int w, h, depth, cx, cy;
    } cases[] = {
        {1024, 768, 16, 600, 450}, {1280, 1024, 16, 1190, 952}, {1024, 768, 8, 333, 250},
        {800, 600, 4, 799, 599},   {640, 480, 1, 320, 240},     {64, 48, 16, 200, 150}, // enlarged
        {37, 33, 8, 36, 1},
    };
    for (const auto &c : cases) {
        Screen s;
        MakeScreen(&s, c.w, c.h, c.depth, (unsigned)(c.w + c.depth));
        ScaledPicture p;
        ASSERT_TRUE(ScaledPictureInit(&p, c.w, c.h, c.cx, c.cy));
        ViewRect r;
        ScaledPictureDraw(&p, &s.layout, s.bits.data(), s.colours, 0, 0, c.w, c.h, &r);
        EXPECT_EQ(r.right - r.left, c.cx);
        EXPECT_EQ(r.bottom - r.top, c.cy);
        EXPECT_EQ(WorstDifference(p, s), 0u) << c.w << "x" << c.h << "x" << c.depth << " to " << c.cx;
        ScaledPictureFree(&p);
    }
}

TEST(ScaledPicture, PartsDrawnAfterChangesMatchTheWhole)
{
    Screen s;
    MakeScreen(&s, 1024, 768, 16, 7);
    ScaledPicture p;
    ASSERT_TRUE(ScaledPictureInit(&p, 1024, 768, 700, 525));
    ViewRect r;
    ScaledPictureDraw(&p, &s.layout, s.bits.data(), nullptr, 0, 0, 1024, 768, &r);
    const struct {
        int left, top, right, bottom;
    } changes[] = {
        {480, 360, 512, 384}, {0, 0, 32, 24}, {992, 744, 1024, 768}, {-50, -50, 3, 2}, {100, 700, 900, 2000}};
    for (const auto &c : changes) {
        for (int y = std::max(c.top, 0); y < std::min(c.bottom, 768); y++)
            for (int x = std::max(c.left, 0); x < std::min(c.right, 1024); x++) {
                uint8_t *px = s.bits.data() + (size_t)(767 - y) * s.layout.frameStride + 2 * x;
                px[0] ^= 0x5A;
                px[1] ^= 0x25;
            }
        ScaledPictureDraw(&p, &s.layout, s.bits.data(), nullptr, c.left, c.top, c.right, c.bottom, &r);
        EXPECT_LE(r.right - r.left, 700);
        EXPECT_GT(r.right, r.left) << c.left << "," << c.top;
        EXPECT_EQ(WorstDifference(p, s), 0u) << c.left << "," << c.top;
    }
    ScaledPictureDraw(&p, &s.layout, s.bits.data(), nullptr, 2000, 0, 3000, 10, &r); // off the screen
    EXPECT_EQ(r.right - r.left, 0);
    ScaledPictureFree(&p);
}

TEST(ScaledPicture, RefusesWhatItCannotDraw)
{
    ScaledPicture p;
    EXPECT_FALSE(ScaledPictureInit(&p, 1024, 768, 0, 450));
    EXPECT_FALSE(ScaledPictureInit(&p, 0, 768, 600, 450));
    EXPECT_EQ(p.pixels, nullptr);
    Screen s;
    MakeScreen(&s, 640, 480, 8, 3);
    ASSERT_TRUE(ScaledPictureInit(&p, 1024, 768, 600, 450));
    ViewRect r;
    ScaledPictureDraw(&p, &s.layout, s.bits.data(), s.colours, 0, 0, 640, 480, &r); // another screen's frame
    EXPECT_EQ(r.right - r.left, 0);
    ScaledPictureFree(&p);
    ASSERT_TRUE(ScaledPictureInit(&p, 640, 480, 320, 240));
    ScaledPictureDraw(&p, &s.layout, s.bits.data(), nullptr, 0, 0, 640, 480, &r); // no colours at 8 bits
    EXPECT_EQ(r.right - r.left, 0);
    ScaledPictureFree(&p);
}

// The largest screen into the smallest views: 2^28 pixels under one shown pixel, whose
// sums run far past 32 bits, averaged exactly all the same. A colour table's sums first
// pass 32 bits at 4,105 x 4,105 white.
TEST(ScaledPicture, LargestScreenIntoTheSmallestViewsIsExact)
{
    enum Fill { kWhite, kBlack, kHalves, kNoise };
    const struct {
        int side, depth;
        Fill fill;
        int cx, cy;
        uint32_t first; // the view's top-left pixel, when known
    } cases[] = {
        {kMaxScreenSide, 16, kWhite, 1, 1, 0xFFFFFF},  {kMaxScreenSide, 16, kBlack, 1, 1, 0},
        {kMaxScreenSide, 16, kHalves, 1, 1, 0x808080}, // 127.5 rounds up
        {kMaxScreenSide, 16, kNoise, 3, 2, ~0u},       {4105, 1, kWhite, 1, 1, 0xFFFFFF},
    };
    Screen s;
    for (const auto &c : cases) {
        ASSERT_TRUE(TileLayoutCompute(&s.layout, c.side, c.side, c.depth));
        const size_t stride = s.layout.frameStride;
        s.bits.assign(stride * c.side, c.fill == kWhite ? 0xFF : 0);
        for (size_t y = 0; c.fill == kHalves && y < (size_t)c.side; y++)
            memset(&s.bits[y * stride], 0xFF, stride / 2);
        uint64_t seed = 88172645463325252ull;
        for (size_t at = 0; c.fill == kNoise && at + 8 <= s.bits.size(); at += 8) {
            seed ^= seed << 13, seed ^= seed >> 7, seed ^= seed << 17;
            memcpy(&s.bits[at], &seed, 8);
        }
        memset(s.colours, 0, sizeof(s.colours));
        memset(s.colours + 4, 0xFF, 3); // index 1 white, 0 black
        ScaledPicture p;
        ASSERT_TRUE(ScaledPictureInit(&p, c.side, c.side, c.cx, c.cy));
        ViewRect r;
        ScaledPictureDraw(&p, &s.layout, s.bits.data(), s.colours, 0, 0, c.side, c.side, &r);
        EXPECT_EQ(r.right * r.bottom, c.cx * c.cy);
        EXPECT_EQ(WorstDifference(p, s), 0u) << c.depth << " bits, fill " << c.fill << " into " << c.cx << "x" << c.cy;
        if (c.first != ~0u) {
            EXPECT_EQ(p.pixels[(size_t)(c.cy - 1) * c.cx], c.first) << c.depth << " bits, fill " << c.fill;
        }
        ScaledPictureFree(&p);
    }
}
