// The copy's progress arithmetic: rate, time left, the bar, durations and the line's
// template, at their edges.
#include "filetransfer/copymeter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(CopyMeter, RateTimeLeftAndBar)
{
    FtCopyMeter m;
    FtMeterStart(&m, 10000000, 1, 1000);
    FtMeterAdd(&m, 2500000);
    const struct {
        uint64_t now;
        uint64_t rate;
        int64_t left;
    } kCases[] = {
        {1000, 0, -1},      // no time gone: no rate
        {1499, 0, -1},      // still settling
        {1500, 5000000, 2}, // 2.5 MB in 0.5 s; 7.5 MB left at 5 MB/s: 1.5 s rounds up
        {3500, 1000000, 8}, // 2.5 MB in 2.5 s: 7.5 s rounds up to 8
    };
    for (const auto &c : kCases) {
        EXPECT_EQ(FtMeterRate(&m, c.now), c.rate) << c.now;
        EXPECT_EQ(FtMeterSecondsLeft(&m, c.now), c.left) << c.now;
    }
    EXPECT_EQ(FtMeterPermille(&m), 250u);

    // More arriving than expected raises the total; an open total tells no time left.
    FtMeterStart(&m, 100, 0, 0);
    FtMeterAdd(&m, 150);
    EXPECT_EQ(m.total, 150u);
    EXPECT_EQ(FtMeterPermille(&m), 1000u);
    EXPECT_EQ(FtMeterSecondsLeft(&m, 10000), -1);

    // Empty copies and sizes past 4 GB and far beyond.
    FtMeterStart(&m, 0, 1, 0);
    EXPECT_EQ(FtMeterPermille(&m), 1000u);
    FtMeterStart(&m, UINT64_MAX / 2, 1, 0);
    FtMeterAdd(&m, UINT64_MAX / 4);
    EXPECT_EQ(FtMeterPermille(&m), 500u);
    EXPECT_GT(FtMeterRate(&m, 1000), 0u);
    FtMeterStart(&m, 6000000000ull, 1, 0);
    FtMeterAdd(&m, 5000000000ull);
    EXPECT_EQ(FtMeterPermille(&m), 833u);
    EXPECT_EQ(FtMeterSecondsLeft(&m, 5000), 1);
}

TEST(CopyMeter, DurationsAndTemplates)
{
    const struct {
        int64_t s;
        const char *text;
    } kDurations[] = {
        {-1, ""}, {0, "0:00"}, {7, "0:07"}, {3599, "59:59"}, {3600, "1:00:00"}, {90061, "25:01:01"},
    };
    for (const auto &c : kDurations) {
        char out[16];
        FtDurationText(c.s, out, sizeof(out));
        EXPECT_STREQ(out, c.text);
    }
    const char *args[] = {"1 MB", "2 MB", nullptr};
    const struct {
        const char *tmpl;
        size_t cap;
        const char *text;
    } kTemplates[] = {
        {"%1 of %2", 64, "1 MB of 2 MB"},
        {"%2 / %1 100%%", 64, "2 MB / 1 MB 100%"},
        {"[%3][%9]%", 64, "[][]%"}, // a NULL and a missing argument, a lone % at the end
        {"%1 of %2", 6, "1 MB "},   // cut at the buffer
    };
    for (const auto &c : kTemplates) {
        char out[64];
        FtFillTemplate(c.tmpl, args, 3, out, c.cap);
        EXPECT_STREQ(out, c.text) << c.tmpl;
    }
}
