// Hex text <-> bytes for IPX network numbers and nodes.
#include "shell/hex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct HexCase {
    const char *text;
    int n;
    int rc;
    Bytes bytes; // the n bytes written when rc is 1
};

TEST(HexToBytes, Table)
{
    const HexCase cases[] = {
        {"A", 1, 1, {0x0A}},
        {"a", 1, 1, {0x0A}},
        {"FF", 1, 1, {0xFF}},
        {"", 1, 1, {0x00}},
        {"", 2, 1, {0x00, 0x00}},
        {"ABC", 1, 0, {}},
        {"ABC", 2, 1, {0x0A, 0xBC}},
        {"abc", 2, 1, {0x0A, 0xBC}},
        {"1", 4, 1, {0x00, 0x00, 0x00, 0x01}},
        {"0000ABCD", 4, 1, {0x00, 0x00, 0xAB, 0xCD}},
        {"0000ABCD0", 4, 0, {}},
        {"00112233aabb", 6, 1, {0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB}},
        {"DeadBeef0123", 6, 1, {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23}},
        {"00112233AABBC", 6, 0, {}},
        {"1", 7, 0, {}},
        {"", 7, 0, {}},
        {"00112233AABBCCDD", 8, 0, {}},
        {"1", -1, 0, {}},
        // Any non-decimal character counts as its code minus 55: 'G' is 16 and carries.
        {"1G", 1, 1, {0x20}},
    };
    for (const auto &c : cases) {
        uint8_t out[10];
        memset(out, 0x5A, sizeof(out));
        EXPECT_EQ(HexToBytes(c.text, out, c.n), c.rc) << c.text << " n=" << c.n;
        size_t written = c.rc ? (size_t)c.n : 0;
        EXPECT_EQ(Bytes(out, out + written), c.bytes) << c.text << " n=" << c.n;
        for (size_t i = written; i < sizeof(out); i++)
            EXPECT_EQ(out[i], 0x5A) << c.text << " n=" << c.n << " wrote byte " << i;
    }
}

TEST(BytesToHex, UpperCaseAndTerminated)
{
    const uint8_t four[4] = {0x00, 0x1F, 0xA0, 0xFF};
    char out4[12];
    memset(out4, 'z', sizeof(out4));
    BytesToHex4(out4, four);
    EXPECT_EQ(std::string(out4, 10), std::string("001FA0FF\0z", 10));

    const uint8_t six[6] = {0xDE, 0xAD, 0xbe, 0xEF, 0x01, 0x23};
    char out6[16];
    memset(out6, 'z', sizeof(out6));
    BytesToHex6(out6, six);
    EXPECT_EQ(std::string(out6, 14), std::string("DEADBEEF0123\0z", 14));
}

// Every byte value against printf's %02X, and back through HexToBytes in both cases.
TEST(BytesToHex, EveryByteRoundTrips)
{
    for (int b = 0; b < 256; b++) {
        const uint8_t in[6] = {(uint8_t)b, 0, 0, 0, 0, (uint8_t)(255 - b)};
        char hex[13];
        BytesToHex6(hex, in);
        char expect[13];
        snprintf(expect, sizeof(expect), "%02X00000000%02X", b, 255 - b);
        ASSERT_STREQ(hex, expect);

        for (char &ch : expect)
            ch = (char)tolower((unsigned char)ch);
        uint8_t back[6];
        ASSERT_EQ(HexToBytes(expect, back, 6), 1);
        ASSERT_EQ(Bytes(back, back + 6), Bytes(in, in + 6));
    }
}

} // namespace
