// The remote console's portable rules: the start, cursor and line messages byte by byte,
// geometry refusals, the cursor flag rule, key flags, the input mode, the order of the
// sizing calls, the pad offset clamp and the search clock.
#include "console/rules.h"
#include "console/screenbuf.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Packet {
    SessPacketHeader h;
    std::vector<uint8_t> payload;
};

void Put16(std::vector<uint8_t> *p, int16_t v)
{
    p->push_back((uint8_t)v);
    p->push_back((uint8_t)((uint16_t)v >> 8));
}

void Put32(std::vector<uint8_t> *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p->push_back((uint8_t)(v >> (8 * i)));
}

// Cell i of a screen: character 'A' + i % 26, attribute 0x1000 + i.
void PutCells(std::vector<uint8_t> *p, uint32_t first, uint32_t n)
{
    for (uint32_t i = first; i < first + n; i++) {
        Put16(p, (int16_t)('A' + i % 26));
        Put16(p, (int16_t)(0x1000 + i));
    }
}

Packet Start(int16_t w, int16_t hgt, int16_t cx, int16_t cy, uint32_t cells)
{
    Packet k = {{PKT_CONSOLE_START, 0, 1}, {}};
    for (int16_t v : {w, hgt, cx, cy})
        Put16(&k.payload, v);
    Put32(&k.payload, 25);
    Put32(&k.payload, 1);
    Put32(&k.payload, 0xDEADBEEF);
    PutCells(&k.payload, 0, cells);
    k.h.dwDataLen = (uint32_t)k.payload.size();
    return k;
}

Packet Line(int16_t row, int16_t count, uint32_t cells, uint32_t first)
{
    Packet k = {{PKT_CONSOLE_LINE, 0, 1}, {}};
    Put16(&k.payload, row);
    Put16(&k.payload, count);
    PutCells(&k.payload, first, cells);
    k.h.dwDataLen = (uint32_t)k.payload.size();
    return k;
}

std::unique_ptr<ConsoleScreen> Opened(int16_t w, int16_t h)
{
    std::unique_ptr<ConsoleScreen> s(new ConsoleScreen());
    Packet k = Start(w, h, 0, 0, (uint32_t)(w * h));
    ConsoleStart st;
    const char *why = nullptr;
    EXPECT_TRUE(ParseConsoleStart(&k.h, k.payload.data(), &st, &why)) << why;
    ConsoleStoreStart(s.get(), &st);
    return s;
}

TEST(ConsoleMessages, StartStoresEveryFieldAndTheCells)
{
    Packet k = Start(80, 25, 3, 24, 80 * 25);
    ConsoleStart st;
    const char *why = nullptr;
    ASSERT_TRUE(ParseConsoleStart(&k.h, k.payload.data(), &st, &why));
    std::unique_ptr<ConsoleScreen> s(new ConsoleScreen());
    ConsoleStoreStart(s.get(), &st);
    EXPECT_EQ(s->width, 80);
    EXPECT_EQ(s->height, 25);
    EXPECT_EQ(s->cursorX, 3);
    EXPECT_EQ(s->cursorY, 24);
    EXPECT_EQ(s->cursorSize, 25u);
    EXPECT_EQ(s->cursorVisible, 1u);
    EXPECT_EQ(s->startValue, 0xDEADBEEFu);
    for (uint32_t i : {0u, 1u, 1999u}) {
        EXPECT_EQ(s->cells[i].ch, 'A' + i % 26) << i;
        EXPECT_EQ(s->cells[i].attr, 0x1000 + i) << i;
    }
    EXPECT_EQ(s->cells[2000].ch, 0); // nothing past width * height
}

TEST(ConsoleMessages, StartGeometryRefusals)
{
    const struct {
        int16_t w, h, cx, cy;
        int32_t cells; // cells in the payload; -1: width * height
        int ok;
    } cases[] = {
        {80, 99, 0, 0, -1, 1},                                                       // 7,920 cells exactly
        {7920, 1, 7919, 0, -1, 1}, {1, 7920, 0, 7919, -1, 1}, {89, 89, 0, 0, -1, 0}, // 7,921
        {7921, 1, 0, 0, -1, 0},    {0, 25, 0, 0, 0, 0},       {80, 0, 0, 0, 0, 0},
        {-80, -25, 0, 0, 0, 0}, // product positive, sizes not
        {-1, 25, 0, 0, 0, 0},      {-32768, 1, 0, 0, 0, 0},   {80, 25, 0, 0, 80 * 25 - 1, 0}, // one cell short
        {80, 25, 0, 25, -1, 1}, // cursor parked below the last row: the screen is kept
        {80, 25, 80, 0, -1, 1},    {80, 25, -1, -1, -1, 1},
    };
    for (const auto &c : cases) {
        const uint32_t n = c.cells < 0 ? (uint32_t)(c.w * c.h) : (uint32_t)c.cells;
        Packet k = Start(c.w, c.h, c.cx, c.cy, n);
        ConsoleStart st;
        const char *why = nullptr;
        EXPECT_EQ(ParseConsoleStart(&k.h, k.payload.data(), &st, &why), c.ok) << c.w << "x" << c.h;
        EXPECT_EQ(why == nullptr, c.ok == 1) << c.w << "x" << c.h;
    }
    for (uint32_t len : {0u, 19u}) {
        Packet k = Start(1, 1, 0, 0, 1);
        k.h.dwDataLen = len;
        ConsoleStart st;
        const char *why = nullptr;
        EXPECT_FALSE(ParseConsoleStart(&k.h, k.payload.data(), &st, &why)) << len;
    }
}

TEST(ConsoleMessages, LineRewritesExactlyItsRow)
{
    std::unique_ptr<ConsoleScreen> s = Opened(80, 25);
    std::unique_ptr<ConsoleScreen> before(new ConsoleScreen(*s));
    Packet k = Line(7, 80, 80, 5000);
    ConsoleLine l;
    const char *why = nullptr;
    ASSERT_TRUE(ParseConsoleLine(&k.h, k.payload.data(), &l, &why));
    ASSERT_TRUE(ConsoleStoreLine(s.get(), &l, &why));
    for (uint32_t i = 0; i < kConsoleMaxCells; i++) {
        const bool inRow = i >= 7 * 80 && i < 8 * 80;
        const uint32_t src = 5000 + i - 7 * 80;
        EXPECT_EQ(s->cells[i].ch, inRow ? 'A' + src % 26 : before->cells[i].ch) << i;
        EXPECT_EQ(s->cells[i].attr, inRow ? 0x1000 + src : before->cells[i].attr) << i;
    }
}

TEST(ConsoleMessages, LineRefusalsLeaveTheScreenAsItWas)
{
    std::unique_ptr<ConsoleScreen> s = Opened(80, 25);
    const struct {
        int16_t row, count;
        uint32_t cells, len; // len 0: as built
        int parses, stores;
    } cases[] = {
        {24, 80, 80, 0, 1, 1}, {25, 80, 80, 0, 1, 0},                           // below the last row
        {-1, 80, 80, 0, 1, 0}, {-32768, 80, 80, 0, 1, 0}, {0, 79, 79, 0, 1, 0}, // not the width
        {0, 81, 81, 0, 1, 0},  {98, 80, 80, 0, 1, 0},                           // inside the array, outside the screen
        {0, 0, 0, 0, 0, 0},    {0, -80, 0, 0, 0, 0},      {0, 80, 79, 0, 0, 0}, // a cell short
        {0, 80, 80, 3, 0, 0},                                                   // shorter than row and count
    };
    for (const auto &c : cases) {
        std::unique_ptr<ConsoleScreen> before(new ConsoleScreen(*s));
        Packet k = Line(c.row, c.count, c.cells, 100);
        if (c.len)
            k.h.dwDataLen = c.len;
        ConsoleLine l;
        const char *why = nullptr;
        ASSERT_EQ(ParseConsoleLine(&k.h, k.payload.data(), &l, &why), c.parses) << c.row << " " << c.count;
        if (!c.parses)
            continue;
        EXPECT_EQ(ConsoleStoreLine(s.get(), &l, &why), c.stores) << c.row << " " << c.count;
        if (!c.stores) {
            EXPECT_EQ(memcmp(s.get(), before.get(), sizeof(ConsoleScreen)), 0) << c.row << " " << c.count;
        }
    }
}

TEST(ConsoleMessages, CursorFlagRuleAndTheShapeShown)
{
    // From position (fx, fy), size 25, visible; the shape shown after a last size of 25.
    const struct {
        int16_t fx, fy, x, y;
        uint32_t size, visible;
        int moved, reshape;
        uint32_t shownSize, shownVisible;
    } cases[] = {
        {3, 4, 3, 4, 50, 1, 0, 1, 50, 1}, // same place and visibility, nonzero size: shape only
        {3, 4, 3, 4, 0, 1, 0, 0, 25, 1},  // size 0: both flags 0, size stored, not shown
        {3, 4, 5, 4, 25, 1, 1, 1, 25, 1},    {3, 4, 5, 4, 0, 1, 1, 0, 25, 1},
        {3, 4, 3, 4, 0, 0, 0, 1, 25, 0},     // visibility changed: shape even at size 0
        {3, 4, 79, 24, 101, 1, 1, 1, 25, 1}, // a size the console refuses keeps the last
        {3, 4, 3, 25, 0, 1, 1, 1, 25, 0},    // parked below the last row: hidden
        {3, 4, 80, 4, 50, 1, 1, 1, 50, 0},   {3, 4, -1, -1, 0, 1, 1, 1, 25, 0},
        {0, 25, 0, 26, 0, 1, 1, 0, 25, 0}, // still off: nothing to show
        {0, 25, 3, 4, 0, 1, 1, 1, 25, 1},  // back on the screen: shown again
        {0, 25, 3, 4, 0, 0, 1, 1, 25, 0},
    };
    for (const auto &c : cases) {
        std::unique_ptr<ConsoleScreen> s = Opened(80, 25);
        s->cursorX = c.fx;
        s->cursorY = c.fy;
        std::vector<uint8_t> p;
        Put16(&p, c.x);
        Put16(&p, c.y);
        Put32(&p, c.size);
        Put32(&p, c.visible);
        SessPacketHeader h = {PKT_CONSOLE_CURSOR, 12, 1};
        ConsoleCursor cur;
        const char *why = nullptr;
        ASSERT_TRUE(ParseConsoleCursor(&h, p.data(), &cur, &why));
        int moved = -1, reshape = -1;
        ConsoleStoreCursor(s.get(), &cur, &moved, &reshape);
        const std::string at = std::to_string(c.x) + "," + std::to_string(c.y) + " size " + std::to_string(c.size);
        EXPECT_EQ(moved, c.moved) << at;
        EXPECT_EQ(reshape, c.reshape) << at;
        EXPECT_EQ(s->cursorX, c.x) << at;
        EXPECT_EQ(s->cursorY, c.y) << at;
        EXPECT_EQ(s->cursorSize, c.size) << at;
        EXPECT_EQ(s->cursorVisible, c.visible) << at;
        uint32_t size = 0, visible = 9;
        ConsoleCursorLook(s.get(), 25, &size, &visible);
        EXPECT_EQ(size, c.shownSize) << at;
        EXPECT_EQ(visible, c.shownVisible) << at;
        h.dwDataLen = 11;
        EXPECT_FALSE(ParseConsoleCursor(&h, p.data(), &cur, &why));
    }
}

TEST(ConsoleRules, KeyFlagsFromKeyRecords)
{
    const struct {
        uint16_t repeat, scan;
        int down;
        uint32_t state, flags;
    } cases[] = {
        {1, 0x1E, 1, 0, 0x001E0001},        // 'a' pressed
        {1, 0x1E, 0, 0, 0x801E0001},        // released
        {1, 0x48, 1, 0x0100, 0x01480001},   // cursor up: enhanced
        {1, 0x1D, 0, 0x0108, 0x811D0001},   // right Ctrl released (plus its own state bit)
        {3, 0x2E, 1, 0x0008, 0x002E0003},   // Ctrl+C held, repeat 3; other state bits ignored
        {0xFFFF, 0x01FF, 1, 0, 0x00FFFFFF}, // a wide scan code keeps to its byte
    };
    for (const auto &c : cases)
        EXPECT_EQ(ConsoleKeyFlags(c.repeat, c.scan, c.down, c.state), c.flags) << std::hex << c.flags;
}

TEST(ConsoleRules, InputModeIsWindowInputWithQuickEditOff)
{
    // ENABLE_WINDOW_INPUT | ENABLE_EXTENDED_FLAGS: processed, line, echo, mouse, insert
    // and QuickEdit (0x40) input all off; without the extended flags QuickEdit would stay.
    EXPECT_EQ(ConsoleInputMode(), 0x0088u);
}

TEST(ConsoleRules, SizingCallsComeInAnOrderWindowsTakes)
{
    // w: SetConsoleWindowInfo from 0,0; b: SetConsoleScreenBufferSize.
    const struct {
        ConsoleDims window, want, largest;
        const char *steps;
    } cases[] = {
        {{120, 30}, {80, 25}, {240, 63}, "w80x25 b80x25 w80x25"},     // smaller than the default window
        {{80, 25}, {120, 40}, {240, 63}, "b120x40 w120x40"},          // larger: no shrink
        {{120, 30}, {100, 50}, {240, 63}, "w100x30 b100x50 w100x50"}, // the shrink keeps what fits
        {{80, 25}, {200, 39}, {170, 50}, "b200x39 w170x39"},          // wider than the display
        {{120, 30}, {1, 1}, {240, 63}, "w2x2 b2x2 w2x2"},             // never Right <= Left
        {{80, 25}, {7920, 1}, {0, 0}, "w80x2 b7920x2 w7920x2"},       // largest unknown: no limit
        {{80, 25}, {80, 25}, {1, 1}, "b80x25 w2x2"},
    };
    for (const auto &c : cases) {
        ConsoleSizeStep steps[3];
        const int n = ConsoleSizeSteps(c.window, c.want, c.largest, steps);
        std::string got;
        for (int i = 0; i < n; i++)
            got += (i ? " " : "") + std::string(steps[i].buffer ? "b" : "w") + std::to_string(steps[i].size.width) +
                   "x" + std::to_string(steps[i].size.height);
        EXPECT_EQ(got, c.steps) << c.want.width << "x" << c.want.height;
    }
}

TEST(ConsoleRules, PadOffsetClamp)
{
    const struct {
        int32_t x, y, w, h, cx, cy;
    } cases[] = {
        {360, -7, 1024, 768, 360, -7},   {-21, -11, 1024, 768, -20, -10},
        {-20, -10, 1024, 768, -20, -10}, {855, 719, 1024, 768, 854, 718},
        {854, 718, 1024, 768, 854, 718}, {-500, 5, 100, 30, -70, -20}, // a screen too small: the upper bound wins
    };
    for (const auto &c : cases) {
        int32_t x = c.x, y = c.y;
        ClampPadOffset(&x, &y, c.w, c.h);
        EXPECT_EQ(x, c.cx) << c.x;
        EXPECT_EQ(y, c.cy) << c.y;
    }
}

TEST(ConsoleRules, SearchClockSurvivesAWrap)
{
    uint32_t start = 1000;
    EXPECT_FALSE(ConsoleWaitOver(&start, 5999, kConsoleFindLimitMs));
    EXPECT_TRUE(ConsoleWaitOver(&start, 6000, kConsoleFindLimitMs));
    start = 0xFFFFF000u;
    EXPECT_FALSE(ConsoleWaitOver(&start, 0xFFFFFFFFu, kConsoleFindLimitMs));
    EXPECT_FALSE(ConsoleWaitOver(&start, 10, kConsoleFindLimitMs)); // wrapped: restarts at 10
    EXPECT_EQ(start, 10u);
    EXPECT_FALSE(ConsoleWaitOver(&start, 5009, kConsoleFindLimitMs));
    EXPECT_TRUE(ConsoleWaitOver(&start, 5010, kConsoleFindLimitMs));
}

} // namespace
