// System-information texts: the OS name rule, the version, the access level and the
// depth names; and the session statistics' windowed rates.
#include "lang/stringids.h"
#include "ui/sessionstats.h"
#include "ui/sysinfo.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SysInfo, OsNameRule)
{
    const struct {
        uint32_t platform, major;
        int32_t minor;
        const char *name; // NULL: unknown platform
    } cases[] = {
        {1, 4, 90, "Windows ME"},
        {1, 4, 10, "Windows 98"},
        {1, 4, 0, "Windows 95"},
        {1, 4, 9, "Windows 95"},
        {1, 4, 89, "Windows 98"},
        {1, 4, -1, "Windows ME"},
        {1, 3, 51, "Win32 3.51"},
        {2, 5, 0, "Windows 2000"},
        {2, 5, 1, "Windows XP"},
        {2, 5, 2, "Server 2003/Windows XP x64"},
        {2, 6, 0, "Windows Vista/Server 2008"},
        {2, 6, 1, "Windows 7/Server 2008 R2"},
        {2, 6, 2, "Windows 8/Server 2012"},
        {2, 6, 3, "Windows 8.1/Server 2012 R2"},
        {2, 10, 0, "Windows 10/Server 2016"},
        {2, 11, 0, "Platform NT 11.00"},
        {2, 3, 51, "Platform NT 3.51"},
        {0, 4, 0, NULL},
        {3, 10, 0, NULL},
    };
    for (const auto &c : cases) {
        char out[64];
        EXPECT_EQ(OsNameText(c.platform, c.major, c.minor, out, sizeof(out)), c.name != NULL)
            << c.platform << " " << c.major << "." << c.minor;
        EXPECT_EQ(std::string(out), c.name ? c.name : "") << c.platform << " " << c.major << "." << c.minor;
    }
    char small[8];
    EXPECT_TRUE(OsNameText(2, 6, 1, small, sizeof(small)));
    EXPECT_EQ(std::string(small), "Windows");
}

TEST(SysInfo, VersionAccessAndDepthTexts)
{
    char v[16];
    AgentVersionText(784, v, sizeof(v));
    EXPECT_STREQ(v, "3.16");
    AgentVersionText(0x0A05, v, sizeof(v));
    EXPECT_STREQ(v, "10.05");
    const uint32_t access[][2] = {{0, IDS_ACCESS_VIEW},          {1, IDS_ACCESS_VIEW},          {2, IDS_ACCESS_CONTROL},
                                  {4, IDS_ACCESS_CONTROL_FILES}, {6, IDS_ACCESS_CONTROL_FILES}, {8, IDS_ACCESS_ADMIN},
                                  {0xE, IDS_ACCESS_ADMIN}};
    for (const auto &a : access)
        EXPECT_EQ(AccessLevelStringId(a[0]), a[1]) << a[0];
    const uint32_t depth[][2] = {{1, IDS_DEPTH_1},     {4, IDS_DEPTH_4},      {8, IDS_DEPTH_8},
                                 {16, IDS_DEPTH_16},   {24, IDS_DEPTH_24},    {32, IDS_DEPTH_OTHER},
                                 {0, IDS_DEPTH_OTHER}, {15, IDS_DEPTH_OTHER}, {0xFFFFFFFF, IDS_DEPTH_OTHER}};
    for (const auto &d : depth)
        EXPECT_EQ(DepthStringId(d[0]), d[1]) << d[0];
}

TEST(SessionStats, WindowedRatesAcrossWraps)
{
    SessionStats s;
    StatsInit(&s, 9000);
    SessionRates r;
    EXPECT_FALSE(StatsRates(&s, &r));
    // Ticks and counters both wrap between samples.
    const uint32_t t0 = 0xFFFFF000u;
    SessionCounters c = {0xFFFFFF00u, 100, 0xFFFFFFF0u, 0xFFFFFF00u};
    StatsAdd(&s, t0, &c);
    EXPECT_FALSE(StatsRates(&s, &r)); // one sample is no rate
    for (int i = 1; i <= 4; i++) {
        c.bytesSent += 3000;      // 1,000 bytes/s at 3 s a sample
        c.bytesReceived += 30000; // 10,000 bytes/s
        c.parts += 300;           // 100 parts/s
        c.decodeMicros += 600;    // 2 us a part
        StatsAdd(&s, t0 + 3000u * i, &c);
    }
    ASSERT_TRUE(StatsRates(&s, &r));
    EXPECT_DOUBLE_EQ(r.sentPerSecond, 1000);
    EXPECT_DOUBLE_EQ(r.receivedPerSecond, 10000);
    EXPECT_DOUBLE_EQ(r.partsPerSecond, 100);
    EXPECT_DOUBLE_EQ(r.microsPerPart, 2);
    // A burst in the newest step alone: the window (9 s, three steps) averages it.
    c.bytesSent += 90000;
    StatsAdd(&s, t0 + 15000u, &c);
    ASSERT_TRUE(StatsRates(&s, &r));
    EXPECT_DOUBLE_EQ(r.sentPerSecond, (2 * 3000 + 90000) / 9.0);
    // A quiet step: no parts, no mean decode time; a sample older than the window is
    // still used when it is the only one before the newest.
    StatsInit(&s, 1000);
    SessionCounters q = {};
    StatsAdd(&s, 0, &q);
    StatsAdd(&s, 5000, &q);
    ASSERT_TRUE(StatsRates(&s, &r));
    EXPECT_EQ(r.partsPerSecond, 0);
    EXPECT_EQ(r.microsPerPart, 0);
}

} // namespace
