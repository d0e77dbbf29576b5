// Log line time stamps in both languages, and the log's size limit.
#include "shell/logstamp.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

std::string Stamp(const LogTime &t, int language)
{
    char out[kLogStampMax];
    memset(out, 'z', sizeof(out));
    int n = FormatLogStamp(out, sizeof(out), &t, language);
    EXPECT_GE(n, 0);
    EXPECT_EQ((size_t)n, strnlen(out, sizeof(out)));
    return std::string(out, (size_t)n);
}

TEST(LogStamp, DayNamesSundayFirst)
{
    // Windows-1251: В C2, П CF, С D1, Ч D7; б E1, н ED, р F0, с F1, т F2.
    const char *russian[7] = {"\xC2\xF1", "\xCF\xED", "\xC2\xF2", "\xD1\xF0", "\xD7\xF2", "\xCF\xF2", "\xD1\xE1"};
    const char *english[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int wd = 0; wd < 7; wd++) {
        LogTime t = {1, 2, 2003, wd, 4, 5, 6};
        EXPECT_EQ(Stamp(t, 0), std::string("01/02/2003 ") + english[wd] + " 04:05:06 ") << wd;
        EXPECT_EQ(Stamp(t, 1), std::string("01/02/2003 ") + russian[wd] + " 04:05:06 ") << wd;
    }
}

TEST(LogStamp, FieldWidths)
{
    struct Case {
        LogTime t;
        int language;
        const char *expect;
    };
    const Case cases[] = {
        {{31, 12, 1999, 5, 23, 59, 59}, 0, "31/12/1999 Fri 23:59:59 "},
        {{9, 1, 2024, 2, 0, 0, 0}, 0, "09/01/2024 Tue 00:00:00 "},
        {{15, 10, 30827, 6, 12, 7, 8}, 1, "15/10/30827 \xD1\xE1 12:07:08 "},
        {{1, 1, 601, 1, 1, 1, 1}, 0, "01/01/601 Mon 01:01:01 "},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Stamp(c.t, c.language), c.expect);
}

TEST(LogStamp, WeekdayOutOfRangeStaysInBounds)
{
    // A weekday out of range must not index past the name table. (The widest
    // SYSTEMTIME year, 30827, fitting WriteLog's buffer is checked above.)
    const int weekdays[] = {-1, 7, 1000, INT_MIN, INT_MAX};
    for (int wd : weekdays) {
        LogTime t = {1, 1, 2000, wd, 1, 1, 1};
        std::string s = Stamp(t, 0);
        EXPECT_EQ(s.size(), 24u) << wd;
    }
}

TEST(LogStamp, SmallBufferIsCutAndTerminated)
{
    const LogTime t = {5, 3, 2024, 2, 7, 8, 9}; // "05/03/2024 Tue 07:08:09 "
    struct Case {
        size_t cap;
        const char *expect;
    };
    const Case cases[] = {
        {1, ""}, {2, "0"}, {11, "05/03/2024"}, {24, "05/03/2024 Tue 07:08:09"}, {25, "05/03/2024 Tue 07:08:09 "},
    };
    for (const Case &c : cases) {
        char out[32];
        memset(out, 'z', sizeof(out));
        int n = FormatLogStamp(out, c.cap, &t, 0);
        EXPECT_STREQ(out, c.expect) << c.cap;
        EXPECT_EQ(n, (int)strlen(c.expect)) << c.cap;
        EXPECT_EQ(out[c.cap], 'z') << c.cap;
    }
    char untouched = 'z';
    EXPECT_EQ(FormatLogStamp(&untouched, 0, &t, 0), 0);
    EXPECT_EQ(untouched, 'z');
}

TEST(LogStamp, TruncationLimit)
{
    const struct {
        uint64_t size;
        int truncate;
    } cases[] = {{0, 0}, {9999999, 0}, {10000000, 0}, {10000001, 1}, {0xFFFFFFFFull, 1}, {UINT64_MAX, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(LogNeedsTruncation(c.size), c.truncate) << c.size;
}

} // namespace
