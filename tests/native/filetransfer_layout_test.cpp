// The file-transfer window's geometry: the panels and pad share the width exactly.
#include <gtest/gtest.h>

#include "filetransfer/layout.h"

TEST(FtLayout, PanelsAndPadShareTheWidth)
{
    const struct { int width, panel, pad; } cases[] = {
        {700, 333, 34}, {701, 334, 33}, {640, 303, 34}, {33, 0, 33}, {34, 0, 34}, {35, 1, 33},
        {32, 0, 32}, {0, 0, 0}, {-5, 0, 0}, {1920, 943, 34},
    };
    for (const auto &c : cases) {
        int panel = -1, pad = -1;
        FtFrameLayout(c.width, &panel, &pad);
        EXPECT_EQ(panel, c.panel) << c.width;
        EXPECT_EQ(pad, c.pad) << c.width;
    }
}

TEST(FtLayout, PanelControlsStackAndNeverGoNegative)
{
    FtPanelLayout l;
    FtLayoutPanel(400, 300, 20, 24, &l);
    EXPECT_EQ(l.parts[0], 100);
    EXPECT_EQ(l.parts[1], 250);
    EXPECT_EQ(l.parts[2], -1);
    EXPECT_EQ(l.edit.x, 63);
    EXPECT_EQ(l.edit.w, 335);
    EXPECT_EQ(l.edit.h, 18);
    EXPECT_EQ(l.list.y, 42);
    EXPECT_EQ(l.list.h, 300 - 20 - 24 - 18);
    EXPECT_EQ(l.status.y, 280);
    FtLayoutPanel(10, 10, 20, 24, &l);
    EXPECT_EQ(l.parts[0], 0);
    EXPECT_EQ(l.edit.w, 0);
    EXPECT_EQ(l.list.h, 0);
    EXPECT_EQ(l.caption.w, 8);
}
