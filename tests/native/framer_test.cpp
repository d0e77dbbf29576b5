// Packet framing: pieces in, whole packets out, oversize headers refused.
#include "session/framer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Got {
    uint32_t type, required;
    Bytes payload;
    bool operator==(const Got &o) const { return type == o.type && required == o.required && payload == o.payload; }
};

// Written by hand rather than through the builders, so a fault shared by
// builder and framer cannot hide itself.
void AddPacket(Bytes *s, uint32_t type, uint32_t dataLen, uint32_t required, uint8_t fill = 0x11)
{
    const uint32_t words[3] = {type, dataLen, required};
    for (uint32_t w : words)
        for (int i = 0; i < 4; i++)
            s->push_back((uint8_t)(w >> (8 * i)));
    for (uint32_t i = 0; i < dataLen; i++)
        s->push_back((uint8_t)(fill + i));
}

// Takes every complete packet; returns the last FramerNext result.
int Drain(PacketFramer *f, std::vector<Got> *out)
{
    SessPacketHeader h;
    const uint8_t *p;
    int rc;
    while ((rc = FramerNext(f, &h, &p)) == kFramerPacket)
        out->push_back(Got{h.dwType, h.dwRequired, Bytes(p, p + h.dwDataLen)});
    return rc;
}

struct FramerTest : ::testing::Test {
    PacketFramer *f = new PacketFramer;
    std::vector<Got> got;
    void SetUp() override { FramerInit(f); }
    void TearDown() override { delete f; }
    void Feed(const Bytes &b) { ASSERT_EQ(FramerAppend(f, b.data(), b.size()), b.size()); }
};

TEST_F(FramerTest, TwoPacketsInOnePiece)
{
    Bytes s;
    AddPacket(&s, PKT_CURSOR_POS, 8, 1, 0x40);
    AddPacket(&s, PKT_KEYBOARD_LIGHTS, 3, 0, 0x70);
    Feed(s);
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (Got{28, 1, {0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47}}));
    EXPECT_EQ(got[1], (Got{11, 0, {0x70, 0x71, 0x72}}));
    EXPECT_EQ(FramerHeld(f), 0u);
}

TEST_F(FramerTest, OnePacketByteByByteCompletesOnItsLastByte)
{
    Bytes s;
    AddPacket(&s, PKT_LOGIN_REPLY, 39, 1);
    for (size_t i = 0; i < s.size(); i++) {
        ASSERT_EQ(FramerAppend(f, &s[i], 1), 1u);
        ASSERT_EQ(Drain(f, &got), kFramerNeedMore);
        ASSERT_EQ(got.size(), i + 1 == s.size() ? 1u : 0u) << i;
    }
    EXPECT_EQ(got[0].payload, Bytes(s.begin() + 12, s.end()));
}

TEST_F(FramerTest, EmptyPayloadIsCompleteWithTheHeader)
{
    Bytes s;
    AddPacket(&s, PKT_DESKTOP_RESTART, 0, 1);
    Feed(Bytes(s.begin(), s.begin() + 11));
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    EXPECT_TRUE(got.empty());
    Feed(Bytes(s.begin() + 11, s.end()));
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Got{13, 1, {}}));
}

TEST_F(FramerTest, BufferFullOfLargestPacketsDrainsWhole)
{
    Bytes s;
    for (int i = 0; i < kReceiveBufferSize / kMaxPacketSize; i++)
        AddPacket(&s, PKT_FT_FILE_DATA, kMaxPacketSize - 12, 1);
    uint8_t *tail;
    size_t cap;
    ASSERT_TRUE(FramerFreeSpace(f, &tail, &cap));
    ASSERT_EQ(cap, (size_t)kReceiveBufferSize);
    memcpy(tail, s.data(), s.size());
    ASSERT_TRUE(FramerCommit(f, s.size()));
    EXPECT_FALSE(FramerCommit(f, 1)); // nothing more fits
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(got[7].payload.size(), 32756u);
}

// Short packets and the head of a full-size one filling the buffer: the head must
// be moved down or the rest could never arrive.
TEST_F(FramerTest, PartialPacketMovesDownToMakeRoom)
{
    Bytes s;
    while (s.size() < kReceiveBufferSize - 100)
        AddPacket(&s, PKT_CURSOR_STANDARD, 88, 1);
    const size_t head = kReceiveBufferSize - s.size();
    const size_t shorts = s.size() / 100;
    AddPacket(&s, PKT_FT_FILE_DATA, kMaxPacketSize - 12, 1, 0x33);
    Feed(Bytes(s.begin(), s.begin() + kReceiveBufferSize));
    EXPECT_EQ(FramerAppend(f, &s[kReceiveBufferSize], 1), 0u); // full until drained
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    ASSERT_EQ(got.size(), shorts);
    uint8_t *tail;
    size_t cap;
    ASSERT_TRUE(FramerFreeSpace(f, &tail, &cap));
    EXPECT_EQ(cap, kReceiveBufferSize - head);
    Feed(Bytes(s.begin() + kReceiveBufferSize, s.end()));
    EXPECT_EQ(Drain(f, &got), kFramerNeedMore);
    ASSERT_EQ(got.size(), shorts + 1);
    EXPECT_EQ(got.back().payload, Bytes(s.end() - (kMaxPacketSize - 12), s.end()));
}

TEST_F(FramerTest, OversizeRefusedFromHeaderAloneAndStaysRefused)
{
    const uint32_t bad[] = {32757,       0x80000000u, 0xFFFFFFF3u, 0xFFFFFFF4u, 0xFFFFFFF5u,
                            0xFFFFFFF8u, 0xFFFFFFFCu, 0xFFFFFFFEu, 0xFFFFFFFFu};
    for (uint32_t len : bad) {
        FramerInit(f);
        got.clear();
        Bytes s;
        AddPacket(&s, PKT_SCREEN_INFO, 12, 1);
        AddPacket(&s, PKT_CLIPBOARD_TEXT, 0, 1);
        PutU32LE(&s[s.size() - 8], len); // only the header of the bad one
        Feed(Bytes(s.begin(), s.end() - 1));
        EXPECT_EQ(Drain(f, &got), kFramerNeedMore) << len;
        Feed(Bytes(s.end() - 1, s.end()));
        EXPECT_EQ(Drain(f, &got), kFramerError) << len;
        EXPECT_EQ(got.size(), 1u) << len;

        SessPacketHeader h;
        const uint8_t *p;
        EXPECT_EQ(FramerNext(f, &h, &p), kFramerError);
        EXPECT_EQ(h.dwType, 17u);
        EXPECT_EQ(h.dwDataLen, len);
        uint8_t more[12] = {13};
        EXPECT_EQ(FramerAppend(f, more, sizeof more), 0u);
        uint8_t *tail;
        size_t cap;
        EXPECT_FALSE(FramerFreeSpace(f, &tail, &cap));
        EXPECT_EQ(cap, 0u);
    }
}

TEST_F(FramerTest, ErrorTextNamesTypeAndLength)
{
    char text[128];
    EXPECT_FALSE(FormatFramerError(f, text, sizeof text));
    EXPECT_STREQ(text, "");
    Bytes s;
    AddPacket(&s, 49, 0, 1);
    PutU32LE(&s[4], 0xFFFFFFFFu);
    Feed(s);
    EXPECT_EQ(Drain(f, &got), kFramerError);
    ASSERT_TRUE(FormatFramerError(f, text, sizeof text));
    EXPECT_STREQ(text, "Packet of type 49 announces 4294967295 payload bytes, more than 32768 in all");
    EXPECT_FALSE(FormatFramerError(f, text, 10));
    EXPECT_STREQ(text, "Packet of");
}

// Whatever way the stream is cut, and whichever feeding call is used, the
// same packets come out in the same order.
TEST(FramerSplit, SamePacketsHoweverTheStreamIsCut)
{
    std::mt19937 rng(20240611u);
    std::vector<Got> want;
    Bytes s;
    for (int i = 0; i < 300; i++) {
        uint32_t type = rng() % 64, req = rng() % 2, len;
        switch (rng() % 8) {
        case 0:
            len = 0;
            break;
        case 1:
            len = kMaxPacketSize - 12 - rng() % 3;
            break;
        case 2:
            len = 1000 + rng() % 20000;
            break;
        default:
            len = rng() % 300;
            break;
        }
        uint8_t fill = (uint8_t)rng();
        AddPacket(&s, type, len, req, fill);
        Got g{type, req, {}};
        for (uint32_t k = 0; k < len; k++)
            g.payload.push_back((uint8_t)(fill + k));
        want.push_back(g);
    }
    for (int round = 0; round < 40; round++) {
        PacketFramer *f = new PacketFramer;
        FramerInit(f);
        std::vector<Got> got;
        size_t maxCut = round < 10 ? 1 + round : 1 + rng() % 70000;
        size_t at = 0;
        while (at < s.size()) {
            size_t n = 1 + rng() % maxCut;
            if (n > s.size() - at)
                n = s.size() - at;
            if (rng() % 2) {
                at += FramerAppend(f, &s[at], n);
            } else {
                uint8_t *tail;
                size_t cap;
                ASSERT_TRUE(FramerFreeSpace(f, &tail, &cap));
                if (n > cap)
                    n = cap;
                memcpy(tail, &s[at], n);
                ASSERT_TRUE(FramerCommit(f, n));
                at += n;
            }
            ASSERT_EQ(Drain(f, &got), kFramerNeedMore);
        }
        EXPECT_EQ(FramerHeld(f), 0u);
        ASSERT_EQ(got.size(), want.size()) << "round " << round;
        for (size_t i = 0; i < want.size(); i++)
            ASSERT_EQ(got[i], want[i]) << round << ":" << i;
        delete f;
    }
}

} // namespace
