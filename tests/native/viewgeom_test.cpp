// View geometry: visible tile ranges (against a brute-force oracle), view grid counts,
// the scaled layout, scroll and wheel arithmetic and the hand tool's clamping.
#include "desktop/viewgeom.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

TileLayout MakeLayout(int W, int H)
{
    TileLayout l;
    EXPECT_TRUE(TileLayoutCompute(&l, W, H, 8));
    return l;
}

TileRange Visible(const TileLayout &l, int hx, int vy, int cx, int cy)
{
    TileRange r;
    VisibleTileRange(&l, hx, vy, cx, cy, &r);
    return r;
}

TEST(VisibleRange, Examples)
{
    const TileLayout l = MakeLayout(1024, 768); // 32 x 24 tiles
    const struct {
        int hx, vy, cx, cy;
        TileRange want;
    } cases[] = {
        {0, 0, 100, 50, {0, 4, 0, 3}},        // pixels 0..99: columns 0..3
        {40, 0, 100, 50, {1, 4, 0, 3}},       // 40..139: columns 1..4
        {0, 0, 96, 48, {0, 3, 0, 2}},         // ends exactly on a tile edge
        {32, 24, 32, 24, {1, 1, 1, 1}},       // exactly one tile
        {0, 0, 1024, 768, {0, 32, 0, 32}},    // the whole screen
        {0, 0, 5000, 5000, {0, 32, 0, 32}},   // frame larger than the screen
        {924, 668, 100, 100, {28, 4, 27, 5}}, // scrolled to the far corner
        {0, 0, 0, 0, {0, 0, 0, 0}},           // nothing visible
        {32, 48, 0, 0, {1, 0, 2, 0}},         // empty view on a tile edge
        {1023, 767, 1, 1, {31, 1, 31, 1}},
    };
    for (const auto &c : cases) {
        const TileRange r = Visible(l, c.hx, c.vy, c.cx, c.cy);
        EXPECT_TRUE(TileRangeEqual(&r, &c.want))
            << c.hx << "," << c.vy << " " << c.cx << "x" << c.cy << " -> " << (int)r.firstColumn << ","
            << (int)r.columnCount << "," << (int)r.firstRow << "," << (int)r.rowCount;
    }
}

// The tiles whose span meets [off, off + visible) within the screen.
void Brute(const TileLayout &l, bool columns, int off, int visible, int *first, int *count)
{
    const int extent = columns ? l.width : l.height;
    const int end = std::min(off + visible, extent);
    *first = -1;
    *count = 0;
    for (int i = 0; i < kTileGridSize; i++) {
        const TileGeometry &g = columns ? l.tiles[0][i] : l.tiles[i][0];
        const int a = columns ? g.x : g.y, b = a + (columns ? g.width : g.height);
        if (a < end && b > off) {
            if (*first < 0)
                *first = i;
            ++*count;
        }
    }
}

TEST(VisibleRange, MatchesBruteForce)
{
    std::mt19937 rng(3);
    for (const auto &wh :
         {std::make_pair(1024, 768), std::make_pair(1030, 775), std::make_pair(800, 600), std::make_pair(100, 40)}) {
        const TileLayout l = MakeLayout(wh.first, wh.second);
        for (int i = 0; i < 3000; i++) {
            const int cx = 1 + (int)(rng() % (wh.first + 50)), cy = 1 + (int)(rng() % (wh.second + 50));
            const int hx = (int)(rng() % wh.first), vy = (int)(rng() % wh.second);
            const TileRange r = Visible(l, hx, vy, cx, cy);
            int first, count;
            Brute(l, true, hx, cx, &first, &count);
            ASSERT_EQ(r.firstColumn, first) << hx << " " << cx;
            ASSERT_EQ(r.columnCount, count) << hx << " " << cx;
            Brute(l, false, vy, cy, &first, &count);
            ASSERT_EQ(r.firstRow, first) << vy << " " << cy;
            ASSERT_EQ(r.rowCount, count) << vy << " " << cy;
        }
    }
}

TEST(ViewGrid, CountsRoundUpAndCapAt32)
{
    const TileLayout l = MakeLayout(1024, 768);
    const struct {
        int cx, cy, columns, rows;
    } cases[] = {
        {100, 50, 4, 3}, {1000, 700, 32, 30}, {2000, 2000, 32, 32}, {0, 0, 0, 0},
        {-5, -5, 0, 0},  {32, 24, 1, 1},      {33, 25, 2, 2},
    };
    for (const auto &c : cases) {
        int columns = -1, rows = -1;
        ViewGridCounts(&l, c.cx, c.cy, &columns, &rows);
        EXPECT_EQ(columns, c.columns) << c.cx;
        EXPECT_EQ(rows, c.rows) << c.cy;
    }
    // 1030 / 32 rounds up to 33 regular tiles; the count still stops at 32.
    const TileLayout wide = MakeLayout(1030, 775);
    int columns, rows;
    ViewGridCounts(&wide, 1030, 775, &columns, &rows);
    EXPECT_EQ(columns, 32);
    EXPECT_EQ(rows, 32);
}

TEST(ScaledLayout, FitsTheAspectNeverAboveFullSize)
{
    const double aspect = 1024.0 / 768.0;
    ScaledSize s;
    ScaledLayout(600, 600, 1024, 768, aspect, &s);
    EXPECT_EQ(s.width, 600);
    EXPECT_EQ(s.height, 450);
    EXPECT_EQ(s.scale, 0.5859375);

    ScaledLayout(1000, 600, 1024, 768, aspect, &s);
    EXPECT_EQ(s.width, 800);
    EXPECT_EQ(s.height, 600);
    EXPECT_EQ(s.scale, 800.0 / 1024.0);

    ScaledLayout(1024, 768, 1024, 768, aspect, &s);
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);
    EXPECT_EQ(s.scale, 1.0);
    ScaledLayout(1600, 1200, 1024, 768, aspect, &s);
    EXPECT_EQ(s.width, 1024);
    EXPECT_EQ(s.height, 768);
    EXPECT_EQ(s.scale, 1.0);

    // Wide enough but too low: the height decides.
    ScaledLayout(2000, 384, 1024, 768, aspect, &s);
    EXPECT_EQ(s.width, 512);
    EXPECT_EQ(s.height, 384);
    EXPECT_EQ(s.scale, 0.5);

    for (const auto &wh : {std::make_pair(0, 600), std::make_pair(600, 0), std::make_pair(-3, -3)}) {
        ScaledLayout(wh.first, wh.second, 1024, 768, aspect, &s);
        EXPECT_EQ(s.width, 0);
        EXPECT_EQ(s.height, 0);
    }
}

TEST(Scroll, NewPositionPerCode)
{
    const struct {
        int code, min, max, pos, thumb;
        int moves, want;
    } cases[] = {
        {kScrollLineUp, 0, 100, 5, 0, 1, 4},
        {kScrollLineUp, 0, 100, 0, 0, 0, 0}, // already at min
        {kScrollLineDown, 0, 100, 99, 0, 1, 100},
        {kScrollLineDown, 0, 100, 100, 0, 0, 0},
        {kScrollPageUp, 0, 100, 50, 0, 1, 40},
        {kScrollPageUp, 0, 100, 5, 0, 1, 0},
        {kScrollPageDown, 0, 100, 50, 0, 1, 60},
        {kScrollPageDown, 0, 100, 95, 0, 1, 100},
        {kScrollPageDown, 0, 5, 0, 0, 1, 1}, // page 0 still moves by 1
        {kScrollPageUp, 0, 9, 9, 0, 1, 8},
        {kScrollPageDown, 10, 119, 10, 0, 1, 20}, // page (119 - 10) / 10 = 10
        {kScrollThumbPosition, 0, 100, 7, 33, 1, 33},
        {kScrollThumbTrack, 0, 100, 33, 33, 1, 33}, // thumbs count even without a change
        {kScrollTop, 0, 100, 40, 0, 1, 0},
        {kScrollTop, 0, 100, 0, 0, 0, 0},
        {kScrollBottom, 0, 100, 40, 0, 1, 100},
        {8, 0, 100, 40, 0, 0, 0}, // SB_ENDSCROLL and the like
        {-1, 0, 100, 40, 0, 0, 0},
    };
    for (const auto &c : cases) {
        int32_t got = -12345;
        EXPECT_EQ(ScrollPosition(c.code, c.min, c.max, c.pos, c.thumb, &got), c.moves) << c.code << " " << c.pos;
        if (c.moves) {
            EXPECT_EQ(got, c.want) << c.code << " " << c.pos;
        }
    }
}

TEST(Scroll, WheelNotches)
{
    const struct {
        int delta, notches, code;
    } cases[] = {
        {240, 2, kScrollPageUp}, {-1, 1, kScrollPageDown},   {120, 1, kScrollPageUp},
        {121, 2, kScrollPageUp}, {-360, 3, kScrollPageDown}, {1, 1, kScrollPageUp},
    };
    for (const auto &c : cases) {
        int code = -1;
        EXPECT_EQ(WheelNotches(c.delta, &code), c.notches) << c.delta;
        EXPECT_EQ(code, c.code) << c.delta;
    }
    int code;
    EXPECT_EQ(WheelNotches(0, &code), 0);
    EXPECT_EQ(WheelNotches(INT_MIN, &code), 17895698); // no overflow in the magnitude
}

TEST(DragScroll, OffsetStaysInRangeAndAnchorFollows)
{
    const struct {
        int offset, anchor, pointer, client, extent;
        int wantOffset, wantAnchor;
    } cases[] = {
        {0, 500, 450, 800, 1024, 50, 450},    // pointer left by 50: view moves right
        {100, 500, 530, 800, 1024, 70, 530},  // pointer right by 30
        {200, 500, 400, 800, 1024, 224, 476}, // hits W - client; anchor stops following
        {10, 500, 550, 800, 1024, 0, 510},    // hits 0
        {0, 500, 100, 1100, 1024, 0, 500},    // client wider than the screen
        {224, 500, 500, 800, 1024, 224, 500}, // no movement
    };
    for (const auto &c : cases) {
        int32_t off, anchor;
        DragAxis(c.offset, c.anchor, c.pointer, c.client, c.extent, &off, &anchor);
        EXPECT_EQ(off, c.wantOffset) << c.offset << " " << c.pointer;
        EXPECT_EQ(anchor, c.wantAnchor) << c.offset << " " << c.pointer;
    }
}

TEST(UnscaledLayout, OnePass)
{
    enum {
        S = kUnscaledSettle,
        HH = kUnscaledHideHorz,
        HV = kUnscaledHideVert,
        SH = kUnscaledShowHorz,
        SV = kUnscaledShowVert
    };
    const struct {
        int cx, cy, hx, vy, hBar, vBar;
        int wantHx, wantVy, move, action;
    } rows[] = {
        {1100, 600, 100, 0, 1, 0, 0, 0, 1, HH},     // wider than the screen: back to 0, bar goes
        {1024, 600, 0, 0, 1, 0, 0, 0, 0, HH},       // exactly as wide
        {800, 768, 0, 50, 0, 1, 0, 0, 1, HV},       // exactly as tall
        {800, 600, 300, 0, 1, 1, 224, 0, 1, S},     // grown past the right edge: follows it
        {800, 600, 300, 200, 1, 1, 224, 168, 1, S}, // past both edges
        {800, 600, 0, 0, 0, 0, 0, 0, 0, SH},        // both bars wanted: one per pass
        {1024, 600, 0, 0, 0, 0, 0, 0, 0, SV},
        {1023, 767, 0, 0, 1, 1, 0, 0, 0, S}, // one pixel short: both stay
        {1100, 800, 0, 0, 0, 0, 0, 0, 0, S}, // it all fits
        {0, 0, 0, 0, 0, 0, 0, 0, 0, SH},     // an empty client area
    };
    for (const auto &r : rows) {
        UnscaledStep s;
        UnscaledLayoutStep(1024, 768, r.cx, r.cy, r.hx, r.vy, r.hBar, r.vBar, &s);
        EXPECT_EQ(s.hx, r.wantHx) << r.cx << "x" << r.cy;
        EXPECT_EQ(s.vy, r.wantVy) << r.cx << "x" << r.cy;
        EXPECT_EQ(s.moveTiles, r.move) << r.cx << "x" << r.cy;
        EXPECT_EQ(s.action, r.action) << r.cx << "x" << r.cy;
    }
}

// Passes repeated as WM_SIZE repeats them, a shown bar taking 17 pixels from the client
// area: the layout settles within a few passes with a bar exactly where the screen does
// not fit and offsets that keep the view on the screen.
TEST(UnscaledLayout, SettlesLikeTheFrame)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; i++) {
        const int W = 200 + (int)(rng() % 1800), H = 200 + (int)(rng() % 1200);
        const int fx = 50 + (int)(rng() % 2200), fy = 50 + (int)(rng() % 1500);
        int hx = (int)(rng() % W), vy = (int)(rng() % H), hBar = (int)(rng() % 2), vBar = (int)(rng() % 2);
        if (!hBar)
            hx = 0;
        if (!vBar)
            vy = 0;
        UnscaledStep s = {};
        int passes = 0;
        for (; passes < 8; passes++) {
            const int cx = fx - (vBar ? 17 : 0), cy = fy - (hBar ? 17 : 0);
            UnscaledLayoutStep(W, H, cx, cy, hx, vy, hBar, vBar, &s);
            hx = s.hx;
            vy = s.vy;
            if (s.action == kUnscaledSettle)
                break;
            if (s.action == kUnscaledHideHorz || s.action == kUnscaledShowHorz)
                hBar = s.action == kUnscaledShowHorz;
            else
                vBar = s.action == kUnscaledShowVert;
        }
        ASSERT_EQ(s.action, kUnscaledSettle) << W << "x" << H << " in " << fx << "x" << fy;
        const int cx = fx - (vBar ? 17 : 0), cy = fy - (hBar ? 17 : 0);
        EXPECT_EQ(hBar, cx < W) << W << "x" << H << " in " << fx << "x" << fy;
        EXPECT_EQ(vBar, cy < H) << W << "x" << H << " in " << fx << "x" << fy;
        EXPECT_LE(hx, cx < W ? W - cx : 0);
        EXPECT_LE(vy, cy < H ? H - cy : 0);
    }
}

} // namespace
