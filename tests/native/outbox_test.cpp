// The temporary folders of remote files given out: names read back exactly, anything else
// left alone, and which folders start-up may remove.
#include "filetransfer/outbox.h"

#include <gtest/gtest.h>

#include <string>

TEST(Outbox, NamesReadBackAndNothingElseDoes)
{
    char name[64];
    ASSERT_TRUE(FtOutboxName(4294967295u, 0, name, sizeof(name)));
    EXPECT_STREQ(name, "CorvidOut-4294967295-0");
    uint32_t pid = 1, serial = 1;
    ASSERT_TRUE(FtOutboxParse(name, &pid, &serial));
    EXPECT_EQ(pid, 4294967295u);
    EXPECT_EQ(serial, 0u);
    EXPECT_FALSE(FtOutboxName(12, 3, name, 14)) << "cut short";

    const struct {
        const char *name;
        int ok;
    } kCases[] = {
        {"CorvidOut-12-3", 1},
        {"CorvidOut-0-0", 1},
        {"CorvidOut-4294967296-1", 0}, // past 32 bits
        {"CorvidOut-012-3", 0},        // leading zero
        {"CorvidOut-12-03", 0},
        {"CorvidOut--12-3", 0},
        {"CorvidOut-+12-3", 0},
        {"CorvidOut-12", 0},
        {"CorvidOut-12-", 0},
        {"CorvidOut-12-3-4", 0},
        {"CorvidOut-12-3.tmp", 0},
        {"CorvidOut-12-3 ", 0},
        {"corvidout-12-3", 0}, // the pattern matches it on Windows; the name does not
        {"CorvidOut-", 0},
        {"", 0},
        {"XCorvidOut-12-3", 0},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(FtOutboxParse(c.name, &pid, &serial), c.ok) << c.name;
    EXPECT_FALSE(FtOutboxParse(nullptr, &pid, &serial));
    EXPECT_EQ(std::string(kFtOutboxPattern), "CorvidOut-*");
}

TEST(Outbox, OnlyFoldersOfEndedViewersAreStale)
{
    const struct {
        int running;
        uint64_t started, created;
        int stale;
    } kCases[] = {
        {0, 0, 0, 1},                       // the owner has ended
        {0, 500, 100, 1}, {1, 100, 500, 0}, // its viewer still runs
        {1, 500, 500, 0},                   // made in the moment it started
        {1, 501, 500, 1},                   // the pid was given to a later process
        {1, 0, 500, 0},                     // times unknown: kept
        {1, 501, 0, 0},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(FtOutboxStale(c.running, c.started, c.created), c.stale)
            << c.running << " " << c.started << " " << c.created;
}
