// Name order of the panels as the system's case-insensitive comparison gives it, over code
// page 1251 names: punctuation, digits, Latin, then Cyrillic with Ё beside Е; equal only when equal
// ignoring case, the rule the compare command's lookup and rename share.
#include "filetransfer/compare.h"
#include "filetransfer/sortorder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

int Sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

TEST(FtNameOrder, FollowsTheSystemAndIsATotalOrder)
{
    // Each name comes before every later one.
    const char *const order[] = {
        "!x",         "#x",          "(x",        "[x]",  "_x",   "~x",   "+x",   "=x", // punctuation before digits
        "0",          "010",         "10",        "2",                                  // digit by digit
        "a",          "ab",          "a-c",       "AD",                                 // a hyphen counts last
        "File10.txt", "file10a.txt", "file2.txt", "z",    "\xC0", "\xE1", "\xC5", "\xA8",
        "\xB8\xE0",   "\xC5\xE6",    "\xC6",              // А б Е Ё ёа Еж Ж
        "\xC8",       "\xB3",        "\xC9",      "\xDF", // И і Й Я
    };
    const size_t n = sizeof(order) / sizeof(order[0]);
    for (size_t i = 0; i < n; i++)
        for (size_t j = 0; j < n; j++)
            EXPECT_EQ(Sign(FtCompareNames(order[i], order[j])), i < j   ? -1
                                                                : i > j ? 1
                                                                        : 0)
                << order[i] << " / " << order[j];

    const struct {
        const char *a, *b;
        int same;
    } pairs[] = {
        {"ABC", "abc", 1},
        {"\xC0\xC1\xC2", "\xE0\xE1\xE2", 1},
        {"\xA8\xC6", "\xB8\xE6", 1},
        {"File10.TXT", "file10.txt", 1},
        {"a01", "a1", 0},
        {"co-op", "coop", 0},
        {"\xC5", "\xA8", 0},
    };
    for (const auto &p : pairs) {
        EXPECT_EQ(FtCompareNames(p.a, p.b) == 0, p.same != 0) << p.a << " / " << p.b;
        EXPECT_EQ(FtCompareNames(p.a, p.b), -FtCompareNames(p.b, p.a)) << p.a << " / " << p.b;
    }
}

TEST(FtNameOrder, CompareFindsNamesakesUnderTheSameRule)
{
    const char *const theirs[] = {"\xB8\xE6", "file10", "File2", "a-c", "_x", "b"};
    const struct {
        const char *name;
        int selected;
    } mine[] = {
        {"\xA8\xC6", 0}, {"FILE2", 0}, {"file010", 1}, {"A-C", 0}, {"ac", 1}, {"_X", 0},
    };
    std::vector<FtEntry> other(sizeof(theirs) / sizeof(theirs[0])), here(sizeof(mine) / sizeof(mine[0]));
    std::vector<const FtEntry *> o, h;
    for (size_t i = 0; i < other.size(); i++) {
        strcpy(other[i].name, theirs[i]);
        o.push_back(&other[i]);
    }
    for (size_t i = 0; i < here.size(); i++) {
        strcpy(here[i].name, mine[i].name);
        h.push_back(&here[i]);
    }
    std::vector<unsigned char> select(h.size(), 9);
    ASSERT_TRUE(FtCompareMarks(h.data(), h.size(), o.data(), o.size(), select.data()));
    for (size_t i = 0; i < h.size(); i++)
        EXPECT_EQ(select[i], mine[i].selected) << mine[i].name;
}

} // namespace
