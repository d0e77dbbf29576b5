// Default colour tables and the stored form of the Agent's palette.
#include "desktop/palette.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Rgb {
    int r, g, b;
};

void ExpectEntry(const uint8_t *table, int i, Rgb c)
{
    EXPECT_EQ(table[4 * i + 0], c.b) << "entry " << i;
    EXPECT_EQ(table[4 * i + 1], c.g) << "entry " << i;
    EXPECT_EQ(table[4 * i + 2], c.r) << "entry " << i;
    EXPECT_EQ(table[4 * i + 3], 0) << "entry " << i;
}

TEST(DefaultColours, SpotEntriesInBlueGreenRedOrder)
{
    const uint8_t two[8] = {0, 0, 0, 0, 255, 255, 255, 0};
    EXPECT_EQ(memcmp(kDefaultColours2, two, 8), 0);
    ExpectEntry(kDefaultColours16, 1, {128, 0, 0});
    ExpectEntry(kDefaultColours16, 7, {128, 128, 128});
    ExpectEntry(kDefaultColours16, 8, {192, 192, 192});
    ExpectEntry(kDefaultColours16, 14, {0, 255, 255});
    ExpectEntry(kDefaultColours256, 7, {192, 192, 192});
    ExpectEntry(kDefaultColours256, 8, {192, 220, 192});
    ExpectEntry(kDefaultColours256, 9, {164, 200, 240});
    ExpectEntry(kDefaultColours256, 10, {191, 0, 0});
    ExpectEntry(kDefaultColours256, 15, {0, 191, 191});
    ExpectEntry(kDefaultColours256, 246, {255, 251, 240});
    ExpectEntry(kDefaultColours256, 247, {160, 164, 164});
    ExpectEntry(kDefaultColours256, 248, {128, 128, 128});
    ExpectEntry(kDefaultColours256, 255, {255, 255, 255});
}

TEST(DefaultColours, TwoFiftySixCube)
{
    // The anchor entries, then the rule they imply: red fastest over seven levels, then
    // green, then blue, starting one green step in.
    ExpectEntry(kDefaultColours256, 16, {63, 95, 63});
    ExpectEntry(kDefaultColours256, 17, {95, 95, 63});
    ExpectEntry(kDefaultColours256, 23, {63, 127, 63});
    ExpectEntry(kDefaultColours256, 58, {63, 63, 95});
    ExpectEntry(kDefaultColours256, 245, {223, 223, 191});
    const int level[7] = {63, 95, 127, 159, 191, 223, 255};
    int i = 16;
    for (int b = 0; b < 7 && i < 246; b++)
        for (int g = (b == 0 ? 1 : 0); g < 7 && i < 246; g++)
            for (int r = 0; r < 7 && i < 246; r++, i++)
                ExpectEntry(kDefaultColours256, i, {level[r], level[g], level[b]});
    EXPECT_EQ(i, 246);
}

TEST(DefaultColours, TablesAndResourcesByCount)
{
    EXPECT_EQ(DefaultColourTable(2), kDefaultColours2);
    EXPECT_EQ(DefaultColourTable(16), kDefaultColours16);
    EXPECT_EQ(DefaultColourTable(256), kDefaultColours256);
    EXPECT_EQ(DefaultColourTable(0), nullptr);
    EXPECT_EQ(DefaultColourTable(65536), nullptr);
    EXPECT_EQ(DefaultColourResource(2), 256);
    EXPECT_EQ(DefaultColourResource(16), 111);
    EXPECT_EQ(DefaultColourResource(256), 258);
    EXPECT_EQ(DefaultColourResource(0), 0);
}

#ifdef CORVID_GENERATED_DIR
std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::vector<uint8_t> out;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    fclose(f);
    return out;
}
#endif

TEST(DefaultColours, ResourceFilesHoldTheSameBytes)
{
#ifndef CORVID_GENERATED_DIR
    GTEST_SKIP() << "no generated colour tables in this build";
#else
    const struct {
        const char *name;
        const uint8_t *table;
        size_t size;
    } files[] = {{"colours2.bin", kDefaultColours2, 8},
                 {"colours16.bin", kDefaultColours16, 64},
                 {"colours256.bin", kDefaultColours256, 1024}};
    for (const auto &f : files) {
        const std::vector<uint8_t> got = ReadFile(std::string(CORVID_GENERATED_DIR) + "/" + f.name);
        ASSERT_EQ(got.size(), f.size) << f.name;
        EXPECT_EQ(memcmp(got.data(), f.table, f.size), 0) << f.name;
    }
#endif
}

TEST(Palette, StoredEntriesSwapTheFirstAndThirdBytes)
{
    uint8_t payload[1024], table[1024];
    for (int i = 0; i < 1024; i++)
        payload[i] = (uint8_t)(i * 37 + 11);
    memset(table, 0xEE, sizeof table);
    payload[0] = 0x11;
    payload[1] = 0x22;
    payload[2] = 0x33;
    payload[3] = 0x44;
    StorePalette(payload, table);
    EXPECT_EQ(table[0], 0x33);
    EXPECT_EQ(table[1], 0x22);
    EXPECT_EQ(table[2], 0x11);
    EXPECT_EQ(table[3], 0x00);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(table[4 * i + 0], payload[4 * i + 2]) << i;
        ASSERT_EQ(table[4 * i + 1], payload[4 * i + 1]) << i;
        ASSERT_EQ(table[4 * i + 2], payload[4 * i + 0]) << i;
        ASSERT_EQ(table[4 * i + 3], 0) << i;
    }
}

} // namespace
