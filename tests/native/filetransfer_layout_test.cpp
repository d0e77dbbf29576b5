// The file-transfer window's geometry: the panels and pad share the width exactly, and
// every fixed length follows the display's DPI.
#include <gtest/gtest.h>

#include "filetransfer/layout.h"
#include "ui/dpi.h"

TEST(Dpi, ScalesToTheNearestPixel)
{
    const struct {
        int px, dpi, want;
    } cases[] = {
        {16, 96, 16},  {16, 144, 24},           {33, 144, 50},   {3, 120, 4},
        {74, 120, 93}, {-3, 144, -5},           {0, 192, 0},     {10, 0, 10},
        {10, -96, 10}, {1 << 24, 480, 5 << 24}, {300, 168, 525},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DpiScale(c.px, c.dpi), c.want) << c.px << " at " << c.dpi;
}

TEST(FtLayout, PanelsAndPadShareTheWidth)
{
    const struct {
        int width, dpi, panel, pad;
    } cases[] = {
        {700, 96, 333, 34},  {701, 96, 334, 33},  {640, 96, 303, 34}, {33, 96, 0, 33},  {34, 96, 0, 34},
        {35, 96, 1, 33},     {32, 96, 0, 32},     {0, 96, 0, 0},      {-5, 96, 0, 0},   {1920, 96, 943, 34},
        {700, 144, 325, 50}, {701, 144, 325, 51}, {49, 144, 0, 49},   {50, 144, 0, 50}, {52, 144, 1, 50},
    };
    for (const auto &c : cases) {
        int panel = -1, pad = -1;
        FtFrameLayout(c.width, c.dpi, &panel, &pad);
        EXPECT_EQ(panel, c.panel) << c.width << " at " << c.dpi;
        EXPECT_EQ(pad, c.pad) << c.width << " at " << c.dpi;
    }
}

TEST(FtLayout, PanelControlsStackAndNeverGoNegative)
{
    // w, h, status, combo, dpi; then caption h, combo y and w, edit x y w h, list y h,
    // status y, the first two status parts.
    const struct {
        int w, h, s, c, dpi, capH, comboY, comboW, ex, ey, ew, eh, ly, lh, sy, p0, p1;
    } cases[] = {
        {400, 300, 20, 24, 96, 16, 18, 60, 63, 21, 335, 18, 42, 238, 280, 100, 250},
        {400, 300, 30, 33, 144, 24, 27, 90, 95, 32, 303, 23, 60, 210, 270, 0, 175},
        {10, 10, 20, 24, 96, 16, 18, 60, 63, 21, 0, 18, 42, 0, -10, 0, 0},
    };
    for (const auto &c : cases) {
        FtPanelLayout l;
        FtLayoutPanel(c.w, c.h, c.s, c.c, c.dpi, &l);
        const int got[] = {l.caption.h, l.combo.y, l.combo.w, l.edit.x,   l.edit.y,   l.edit.w,
                           l.edit.h,    l.list.y,  l.list.h,  l.status.y, l.parts[0], l.parts[1]};
        const int want[] = {c.capH, c.comboY, c.comboW, c.ex, c.ey, c.ew, c.eh, c.ly, c.lh, c.sy, c.p0, c.p1};
        for (size_t i = 0; i < sizeof(got) / sizeof(got[0]); i++)
            EXPECT_EQ(got[i], want[i]) << "field " << i << " of " << c.w << "x" << c.h << " at " << c.dpi;
        EXPECT_EQ(l.parts[2], -1);
        EXPECT_EQ(l.caption.w, c.w - 2);
        EXPECT_EQ(l.list.w, c.w);
    }
}
