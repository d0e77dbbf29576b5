// The console's pending facts come down to one plan: the latest of starts and stops wins,
// a start repaints in place (resizing when its size differs), an open within the gap
// is held back with everything pending kept, and rows are written as runs.
#include "console/pending.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Fixture {
    std::unique_ptr<ConsoleScreen> screen{new ConsoleScreen()};
    std::unique_ptr<ConsolePending> p{new ConsolePending()};
    std::unique_ptr<ConsolePlan> plan{new ConsolePlan()};
};

// Notes a script: 'S' start, 'X' stop, 'L' line of row 3, 'C' cursor moved.
void Note(ConsolePending *p, const char *script)
{
    for (const char *c = script; *c; c++) {
        if (*c == 'S')
            ConsoleNoteStart(p);
        else if (*c == 'X')
            ConsoleNoteStop(p);
        else if (*c == 'L')
            ConsoleNoteLine(p, 3);
        else if (*c == 'C')
            ConsoleNoteCursor(p, 1, 0);
    }
}

std::string Runs(const uint8_t *rows, int32_t height)
{
    std::string out;
    int32_t from = 0, first, last;
    while (ConsoleNextRowRun(rows, height, &from, &first, &last))
        out += std::to_string(first) + "-" + std::to_string(last) + " ";
    return out;
}

TEST(ConsolePending, LatestWordWinsAndOneLookTakesAll)
{
    // open: a console of shown size 80 x 25 is open; since: ms since the last open.
    const struct {
        const char *script;
        int open;
        int16_t shownW;
        uint32_t since;
        int any, close, opens, resize, whole, moved;
        uint32_t waitMs;
        const char *rows;
    } cases[] = {
        {"SX", 1, 80, 5000, 1, 1, 0, 0, 0, 0, 0, ""},      // start then stop: closed
        {"XS", 1, 80, 5000, 1, 0, 0, 0, 1, 1, 0, ""},      // stop then start: repainted in place
        {"XS", 1, 40, 5000, 1, 0, 0, 1, 1, 1, 0, ""},      // ... at another size: resized in place
        {"SXLC", 1, 80, 5000, 1, 1, 0, 0, 0, 0, 0, ""},    // lines after a stop go with it
        {"XS", 0, 0, UINT32_MAX, 1, 0, 1, 0, 0, 0, 0, ""}, // closed, never opened: opens
        {"XS", 0, 0, 5000, 1, 0, 1, 0, 0, 0, 0, ""},
        {"S", 0, 0, 300, 1, 0, 0, 0, 0, 0, 700, ""}, // within the gap: held back
        {"X", 0, 0, 300, 0, 0, 0, 0, 0, 0, 0, ""},   // a stop with none open
        {"LC", 0, 0, 300, 0, 0, 0, 0, 0, 0, 0, ""},  // lines for a closed console: kept in the copy
        {"LLC", 1, 80, 0, 1, 0, 0, 0, 0, 1, 0, "3-3 "},
        {"SLC", 1, 80, 0, 1, 0, 0, 0, 1, 1, 0, ""},
    };
    for (const auto &k : cases) {
        Fixture f;
        f.screen->width = 80;
        f.screen->height = 25;
        Note(f.p.get(), k.script);
        const int any =
            ConsoleTakePlan(f.p.get(), k.open, k.shownW, k.open ? 25 : 0, f.screen.get(), k.since, f.plan.get());
        const ConsolePlan &pl = *f.plan;
        EXPECT_EQ(any, k.any) << k.script;
        EXPECT_EQ(pl.close, k.close) << k.script;
        EXPECT_EQ(pl.open, k.opens) << k.script;
        EXPECT_EQ(pl.resize, k.resize) << k.script;
        EXPECT_EQ(pl.whole, k.whole) << k.script;
        EXPECT_EQ(pl.moved, k.moved) << k.script;
        EXPECT_EQ(pl.waitMs, k.waitMs) << k.script;
        EXPECT_EQ(Runs(pl.rows, 25), k.rows) << k.script;
        // Taken, or kept whole while an open is held back.
        EXPECT_EQ(ConsoleHasPending(f.p.get()), k.waitMs != 0) << k.script;
    }
}

TEST(ConsolePending, HeldBackOpenKeepsLaterFactsAndOpensAfterTheGap)
{
    Fixture f;
    f.screen->width = 1;
    f.screen->height = 1;
    Note(f.p.get(), "S");
    ASSERT_TRUE(ConsoleTakePlan(f.p.get(), 0, 0, 0, f.screen.get(), 999, f.plan.get()));
    EXPECT_EQ(f.plan->waitMs, 1u);
    Note(f.p.get(), "LC");
    ASSERT_TRUE(ConsoleTakePlan(f.p.get(), 0, 0, 0, f.screen.get(), kConsoleOpenGapMs, f.plan.get()));
    EXPECT_TRUE(f.plan->open);
    EXPECT_FALSE(ConsoleHasPending(f.p.get()));
    // A stop while held back: nothing to open any more.
    Note(f.p.get(), "SX");
    EXPECT_FALSE(ConsoleTakePlan(f.p.get(), 0, 0, 0, f.screen.get(), 0, f.plan.get()));
}

TEST(ConsolePending, RowSetBoundsAndRuns)
{
    Fixture f;
    for (int32_t r : {-1, 0, 1, 2, 7, 8, 9, 7918, 7919, 7920, 32767})
        ConsoleNoteLine(f.p.get(), r);
    EXPECT_EQ(Runs(f.p->rows, kConsoleMaxRows), "0-2 7-9 7918-7919 ");
    EXPECT_EQ(Runs(f.p->rows, 8), "0-2 7-7 "); // cut at the screen's height
    EXPECT_EQ(Runs(f.p->rows, 40000), "0-2 7-9 7918-7919 ");
    ConsoleNoteStop(f.p.get());
    EXPECT_EQ(Runs(f.p->rows, kConsoleMaxRows), "");
}

} // namespace
