// Compare panels: what is missing on the other side or newer here gets selected.
#include "filetransfer/compare.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

FtEntry Item(const char *name, int dir, uint64_t written)
{
    FtEntry e = {(uint32_t)dir, 0, 0, 0, written, 0, ""};
    strcpy(e.name, name);
    return e;
}

const uint64_t kHighNegative = 0x8000000000000000ull; // high half below zero when read signed

TEST(FtCompare, SelectsWhatIsMissingThereOrNewerHere)
{
    const std::vector<FtEntry> other = {
        Item("..", 1, 0),
        Item("Shared", 1, 100), // a folder on both sides
        Item("older.txt", 0, 500),
        Item("SAME.txt", 0, 300),
        Item("\xC0\xE1\xE2.txt", 0, 300), // Cyrillic capitals, code page 1251
        Item("kind", 1, 0),               // a folder there, a file here
        Item("twice.txt", 0, 900),        // the first namesake decides
        Item("TWICE.txt", 0, 10),
        Item("high.bin", 0, 0x0000000100000000ull),
        Item("low.bin", 0, 0x0000000000000001ull),
        Item("neg.bin", 0, 5),
    };
    const struct {
        FtEntry mine;
        int selected;
    } cases[] = {
        {Item("..", 1, 999), 0},
        {Item("shared", 1, 999), 0}, // folders never count as newer
        {Item("only-here", 1, 0), 1},
        {Item("OLDER.TXT", 0, 400), 0},        // older here
        {Item("same.txt", 0, 300), 0},         // equal times
        {Item("older.txt", 0, 501), 1},        // newer here
        {Item("\xE0\xE1\xE2.txt", 0, 300), 0}, // small Cyrillic letters match
        {Item("kind", 0, 0), 1},               // kinds must match
        {Item("Kind2", 0, 0), 1},
        {Item("twice.txt", 0, 500), 0},
        {Item("high.bin", 0, 0x00000000FFFFFFFFull), 0}, // the high half decides first
        {Item("low.bin", 0, 0x00000000FFFFFFFFull), 1},  // then the low half, unsigned
        {Item("neg.bin", 0, kHighNegative | 999), 0},    // a high half below zero is earlier
    };
    std::vector<const FtEntry *> mine, theirs;
    for (const auto &c : cases)
        mine.push_back(&c.mine);
    for (const FtEntry &e : other)
        theirs.push_back(&e);
    std::vector<unsigned char> select(mine.size(), 7);
    ASSERT_TRUE(FtCompareMarks(mine.data(), mine.size(), theirs.data(), theirs.size(), select.data()));
    for (size_t i = 0; i < mine.size(); i++)
        EXPECT_EQ(select[i], cases[i].selected) << cases[i].mine.name;

    // Against an empty list everything but ".." is missing there.
    ASSERT_TRUE(FtCompareMarks(mine.data(), mine.size(), NULL, 0, select.data()));
    for (size_t i = 0; i < mine.size(); i++)
        EXPECT_EQ(select[i], strcmp(cases[i].mine.name, "..") != 0) << cases[i].mine.name;
}

} // namespace
