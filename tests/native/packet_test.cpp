// Wire layout of the session header, the type table and the small payloads.
#include "session/packet.h"
#include "session/routes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Built(size_t n, const uint8_t *p) { return Bytes(p, p + n); }

TEST(PacketHeader, EncodesLittleEndianFieldByField)
{
    SessPacketHeader h = {0x04030201u, 0x0D0C0B0Au, 0xF0E0D0C0u};
    uint8_t out[12];
    ASSERT_TRUE(EncodePacketHeader(&h, out, sizeof out));
    const Bytes want = {0x01, 0x02, 0x03, 0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0xC0, 0xD0, 0xE0, 0xF0};
    EXPECT_EQ(Built(12, out), want);

    SessPacketHeader back = {};
    ASSERT_TRUE(DecodePacketHeader(out, 12, &back));
    EXPECT_EQ(back.dwType, 0x04030201u);
    EXPECT_EQ(back.dwDataLen, 0x0D0C0B0Au);
    EXPECT_EQ(back.dwRequired, 0xF0E0D0C0u);
}

TEST(PacketHeader, RefusesShortBuffers)
{
    SessPacketHeader h = {1, 2, 3};
    uint8_t out[12];
    EXPECT_FALSE(EncodePacketHeader(&h, out, 11));
    EXPECT_FALSE(DecodePacketHeader(out, 11, &h));
    EXPECT_FALSE(DecodePacketHeader(out, 0, &h));
}

TEST(WireHelpers, UnalignedU32AtOffsetSevenLeavesNeighboursAlone)
{
    uint8_t buf[16];
    memset(buf, 0xAA, sizeof buf);
    PutU32LE(buf + 7, 0x80FF0102u);
    const Bytes want = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x02, 0x01, 0xFF, 0x80, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_EQ(Built(16, buf), want);
    EXPECT_EQ(GetU32LE(buf + 7), 0x80FF0102u); // high bytes must not sign-extend

    PutU16LE(buf + 3, 0xFE01);
    EXPECT_EQ(buf[3], 0x01);
    EXPECT_EQ(buf[4], 0xFE);
    EXPECT_EQ(GetU16LE(buf + 3), 0xFE01);
}

TEST(ByteReader, ReadsPackedRecordAndFailsStickily)
{
    const uint8_t rec[] = {0x07, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0xAB, 0xCD};
    ByteReader r;
    ByteReaderInit(&r, rec, sizeof rec);
    EXPECT_EQ(ReadU8(&r), 7);
    EXPECT_EQ(ReadU16LE(&r), 0x1234);
    EXPECT_EQ(ReadI32LE(&r), -2);
    EXPECT_EQ(ByteReaderLeft(&r), 2u);
    EXPECT_EQ(ReadU32LE(&r), 0u); // only two left
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(ReadU8(&r), 0); // bytes remain, but the failure sticks
    EXPECT_EQ(ByteReaderLeft(&r), 0u);
}

TEST(ByteReader, HugeCountsDoNotWrap)
{
    const uint8_t rec[4] = {1, 2, 3, 4};
    ByteReader r;
    ByteReaderInit(&r, rec, sizeof rec);
    ReadU8(&r);
    EXPECT_FALSE(SkipBytes(&r, SIZE_MAX));
    EXPECT_FALSE(r.ok);
    ByteReaderInit(&r, rec, sizeof rec);
    EXPECT_TRUE(SkipBytes(&r, 4));
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(SkipBytes(&r, 1));
}

TEST(ByteReader, FixedStringStaysInsideItsField)
{
    // Unterminated 4-byte field followed by bytes that must not leak in.
    const uint8_t rec[] = {'A', 'B', 'C', 'D', 'X', 'Y', 0, 'Z'};
    char out[16];
    ByteReader r;
    ByteReaderInit(&r, rec, sizeof rec);
    ASSERT_TRUE(ReadFixedString(&r, 4, out, sizeof out));
    EXPECT_STREQ(out, "ABCD");
    ASSERT_TRUE(ReadFixedString(&r, 4, out, 2)); // cut to the caller's buffer
    EXPECT_STREQ(out, "X");
    EXPECT_FALSE(ReadFixedString(&r, 1, out, sizeof out));
    EXPECT_STREQ(out, "");
}

TEST(Builders, ExactBytes)
{
    uint8_t out[64];
    EXPECT_EQ(Built(BuildAgentKeys(out, sizeof out), out), (Bytes{12, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSetSwitch(1, out, sizeof out), out), (Bytes{16, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSetSwitch(7, out, sizeof out), out), // any truth is sent as 1
              (Bytes{16, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSetSwitch(0, out, sizeof out), out), (Bytes{16, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSetClipboardSync(1, out, sizeof out), out),
              (Bytes{18, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSetClipboardSync(0, out, sizeof out), out),
              (Bytes{18, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Built(BuildGetAgentSettings(out, sizeof out), out), (Bytes{25, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(Built(BuildSessionStamp(0x5F3A1C2Bu, out, sizeof out), out),
              (Bytes{47, 0, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0, 0x2B, 0x1C, 0x3A, 0x5F}));

    memset(out, 0xEE, sizeof out); // the zero tail must be written, not assumed
    Bytes sel = {58, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 3};
    sel.resize(28, 0);
    EXPECT_EQ(Built(BuildSelectScreen(3, out, sizeof out), out), sel);
}

TEST(Builders, RequiredFlagIsZeroOnlyForThreeTypes)
{
    uint8_t out[64];
    const uint8_t four[4] = {1, 0, 0, 0};
    for (uint32_t type : {52u, 57u, 58u}) {
        ASSERT_EQ(BuildPacket(type, four, 4, out, sizeof out), 16u);
        EXPECT_EQ(GetU32LE(out + 8), 0u) << type;
    }
    const uint32_t sent[] = {0,  2,  4,  6,  10, 12, 16, 17, 18, 19, 20, 25, 26,
                             27, 29, 32, 34, 36, 38, 40, 43, 44, 46, 47, 48, 54};
    for (uint32_t type : sent)
        EXPECT_EQ(ViewerRequiredFlag(type), 1u) << type;
}

TEST(Builders, SizeLimitsAndCallerCapacity)
{
    std::vector<uint8_t> payload(kMaxPacketSize, 0x5A);
    std::vector<uint8_t> out(kMaxPacketSize + 16);
    EXPECT_EQ(BuildPacket(PKT_CLIPBOARD_TEXT, payload.data(), 32756, out.data(), out.size()), 32768u);
    EXPECT_EQ(BuildPacket(PKT_CLIPBOARD_TEXT, payload.data(), 32757, out.data(), out.size()), 0u);
    EXPECT_EQ(BuildPacket(PKT_CLIPBOARD_TEXT, payload.data(), SIZE_MAX, out.data(), out.size()), 0u);
    EXPECT_EQ(BuildPacket(PKT_CLIPBOARD_TEXT, payload.data(), 20, out.data(), 32), 32u);
    EXPECT_EQ(BuildPacket(PKT_CLIPBOARD_TEXT, payload.data(), 20, out.data(), 31), 0u);
    EXPECT_EQ(BuildSessionStamp(1, out.data(), 15), 0u);
    EXPECT_EQ(BuildAgentKeys(out.data(), 11), 0u);

    // A payload prepared in place behind the header room.
    PutU32LE(out.data() + 12, 0xCAFEBABEu);
    ASSERT_EQ(BuildPacket(PKT_SET_LEVEL, out.data() + 12, 4, out.data(), out.size()), 16u);
    EXPECT_EQ(GetU32LE(out.data() + 12), 0xCAFEBABEu);
    EXPECT_EQ(GetU32LE(out.data() + 4), 4u);
}

TEST(SelectScreen, CommandBounds)
{
    uint32_t n = 99;
    EXPECT_FALSE(ScreenNumberFromCommand(40999, &n));
    EXPECT_EQ(n, 99u);
    ASSERT_TRUE(ScreenNumberFromCommand(41000, &n));
    EXPECT_EQ(n, 1u);
    ASSERT_TRUE(ScreenNumberFromCommand(41254, &n));
    EXPECT_EQ(n, 255u);
    EXPECT_FALSE(ScreenNumberFromCommand(41255, &n));
    EXPECT_FALSE(ScreenNumberFromCommand(0xFFFFFFFFu, &n));

    uint8_t out[28];
    EXPECT_EQ(BuildSelectScreen(0, out, sizeof out), 0u);
    EXPECT_EQ(BuildSelectScreen(256, out, sizeof out), 0u);
    ASSERT_EQ(BuildSelectScreen(255, out, sizeof out), 28u);
    EXPECT_EQ(out[12], 255);
    EXPECT_EQ(BuildSelectScreen(1, out, 27), 0u);
}

TEST(TypeTable, UnknownRequiredPacketIsRefusedUnknownOptionalSkipped)
{
    SessPacketHeader h = {49, 0, 1};
    EXPECT_TRUE(IsRefusedAgentPacket(&h));
    h.dwRequired = 0;
    EXPECT_FALSE(IsRefusedAgentPacket(&h));
    h = {60, 4, 2}; // any nonzero value demands understanding
    EXPECT_TRUE(IsRefusedAgentPacket(&h));
    h = {PKT_CURSOR_POS, 8, 1};
    EXPECT_FALSE(IsRefusedAgentPacket(&h));
}

// Payloads live in exactly sized heap blocks so that a read past them is
// caught by the address sanitizer.
TEST(Parsers, RefuseShortPayloadsAcceptLongerOnes)
{
    uint32_t v = 0, x = 0, y = 0;
    Bytes three = {1, 2, 3};
    SessPacketHeader h = {PKT_CURSOR_STANDARD, 3, 1};
    EXPECT_FALSE(ParseU32Payload(&h, three.data(), &v));
    h.dwDataLen = 0;
    EXPECT_FALSE(ParseU32Payload(&h, nullptr, &v));

    Bytes five = {0x10, 0x20, 0x30, 0x40, 0x99};
    h.dwDataLen = 5;
    ASSERT_TRUE(ParseU32Payload(&h, five.data(), &v));
    EXPECT_EQ(v, 0x40302010u);

    Bytes seven(7, 0);
    h = {PKT_CURSOR_POS, 7, 1};
    EXPECT_FALSE(ParseCursorPos(&h, seven.data(), &x, &y));
    Bytes eight = {0x20, 0x03, 0, 0, 0x58, 0x02, 0, 0};
    h.dwDataLen = 8;
    ASSERT_TRUE(ParseCursorPos(&h, eight.data(), &x, &y));
    EXPECT_EQ(x, 800u);
    EXPECT_EQ(y, 600u);

    Bytes fifteen(15, 0);
    fifteen[0] = 2;
    h = {PKT_SELECT_SCREEN, 15, 0};
    EXPECT_FALSE(ParseSelectScreen(&h, fifteen.data(), &v));
    Bytes sixteen(16, 0);
    h.dwDataLen = 16;
    EXPECT_FALSE(ParseSelectScreen(&h, sixteen.data(), &v)); // screen 0 does not exist
    sixteen[0] = 200;
    ASSERT_TRUE(ParseSelectScreen(&h, sixteen.data(), &v));
    EXPECT_EQ(v, 200u);
}

} // namespace
