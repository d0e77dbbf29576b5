// The simulator's side of remote control: input events decoded from exact bytes, and
// the cursor-shape packet byte by byte with its masks checked against rows drawn by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "session/packet.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/input.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Words(uint32_t a, uint32_t b, uint32_t c)
{
    Bytes p(12);
    PutU32LE(p.data(), a);
    PutU32LE(p.data() + 4, b);
    PutU32LE(p.data() + 8, c);
    return p;
}

// The decoded fields in short; the payload sits in an exact-size heap buffer so a read
// past it is an ASan failure.
std::string Decoded(const Bytes &raw)
{
    std::unique_ptr<uint8_t[]> p(new uint8_t[raw.size()]);
    if (!raw.empty())
        memcpy(p.get(), raw.data(), raw.size());
    SimInput in;
    if (!SimDecodeInput(p.get(), raw.size(), &in))
        return "refused";
    char s[120];
    if (in.kind == kSimInputIsMouse)
        snprintf(s, sizeof s, "%s x=%u y=%u d=%d", in.name, in.x, in.y, in.delta);
    else if (in.kind == kSimInputIsKey)
        snprintf(s, sizeof s, "key vk=%u r=%u s=%u e%u c%u p%u u%u", (unsigned)in.vk, in.repeat, in.scan, in.extended,
                 in.context, in.previous, in.up);
    else
        snprintf(s, sizeof s, "%s", in.name);
    return s;
}

TEST(SimInputDecode, LayoutFlagBitsAndLengths)
{
    const struct {
        Bytes raw;
        const char *want;
    } cases[] = {
        // Position 0xABCD1234: y in the high word, x in the low one, both unsigned.
        {{0x00, 0x02, 0, 0, 0x01, 0x00, 0, 0, 0x34, 0x12, 0xCD, 0xAB}, "move x=4660 y=43981 d=0"},
        {Words(513, 1, 0x00C80064), "ldown x=100 y=200 d=0"},
        {Words(514, 0, 1), "lup x=1 y=0 d=0"},
        {Words(516, 0, 0x10000), "rdown x=0 y=1 d=0"},
        {Words(517, 0, 0), "rup x=0 y=0 d=0"},
        // The wheel delta is the signed high word of wparam.
        {Words(522, 0xFF880008, 0), "wheel x=0 y=0 d=-120"},
        {Words(522, 0x80000000, 5), "wheel x=5 y=0 d=-32768"},
        {Words(522, 0x7FFF0000, 0), "wheel x=0 y=0 d=32767"},
        // Keys: repeat 0-15, scan 16-23, extended 24, context 29, previous 30, up 31.
        {Words(1124, 17, 0x001D0001), "key vk=17 r=1 s=29 e0 c0 p0 u0"},
        {Words(1124, 17, 0xC01D0001), "key vk=17 r=1 s=29 e0 c0 p1 u1"},
        {Words(1124, 18, 0xE1380001), "key vk=18 r=1 s=56 e1 c1 p1 u1"},
        {Words(1124, 0, 0x20000000), "key vk=0 r=0 s=0 e0 c1 p0 u0"},
        {Words(1124, 0xFFFFFFFF, 0x1EFFFFFF), "key vk=4294967295 r=65535 s=255 e0 c0 p0 u0"},
        // Double click and the middle button are not among the forwarded ones.
        {Words(515, 7, 9), "other"},
        {Words(519, 7, 9), "other"},
        {Words(1125, 7, 9), "other"},
        {Bytes(), "refused"},
        {Bytes(11, 0x02), "refused"},
        {Bytes(13, 0x02), "refused"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Decoded(c.raw), c.want) << c.raw.size() << " bytes";
}

// ---- cursor shape ----------------------------------------------------------------------

Bytes Row(const uint8_t *mask, int r) { return Bytes(mask + 4 * r, mask + 4 * r + 4); }

Bytes ShapePacket(const std::string &line)
{
    SimControlCommand cmd;
    char err[160] = "";
    EXPECT_TRUE(SimParseControl(line.data(), line.size(), &cmd, err, sizeof err)) << line.substr(0, 40) << err;
    EXPECT_EQ(cmd.kind, kCtlCursorShape);
    return cmd.bytes;
}

TEST(SimCursorShape, PayloadLayoutAndMasksDrawnByHand)
{
    const Bytes arrow = ShapePacket("cursor-shape 1 2 32 64"), box = ShapePacket("cursor-shape 255 0 16 32 box");
    for (const Bytes *b : {&arrow, &box}) {
        ASSERT_EQ(b->size(), 12u + 261u);
        EXPECT_EQ(Bytes(b->begin(), b->begin() + 12), (Bytes{15, 0, 0, 0, 0x05, 0x01, 0, 0, 1, 0, 0, 0}));
        EXPECT_EQ(b->back(), 0);
        // Outside the shape AND is 1 and XOR 0; the XOR mask is set only inside it.
        for (int i = 0; i < 128; i++)
            EXPECT_EQ(b->at(17 + 128 + i) & b->at(17 + i), 0) << i;
    }
    EXPECT_EQ(Bytes(arrow.begin() + 12, arrow.begin() + 17), (Bytes{1, 2, 32, 64, 0}));
    EXPECT_EQ(Bytes(box.begin() + 12, box.begin() + 17), (Bytes{255, 0, 16, 32, 0}));
    EXPECT_EQ(ShapePacket("cursor-shape 1 2 32 64 arrow"), arrow);

    const struct {
        const Bytes *packet;
        int row;
        Bytes andRow, xorRow;
    } rows[] = {
        {&arrow, 0, {0x7F, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}},
        {&arrow, 2, {0x1F, 0xFF, 0xFF, 0xFF}, {0x40, 0, 0, 0}},
        {&arrow, 8, {0x00, 0x7F, 0xFF, 0xFF}, {0x7F, 0, 0, 0}},
        {&arrow, 16, {0xF8, 0x7F, 0xFF, 0xFF}, {0x03, 0, 0, 0}},
        {&arrow, 22, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}},
        {&box, 0, {0x00, 0x00, 0xFF, 0xFF}, {0, 0, 0, 0}},
        {&box, 13, {0x00, 0x00, 0xFF, 0xFF}, {0x3F, 0xFC, 0, 0}},
        {&box, 16, {0xFF, 0xFF, 0xFF, 0xFF}, {0, 0, 0, 0}},
    };
    for (const auto &k : rows) {
        const char *what = k.packet == &arrow ? "arrow" : "box";
        EXPECT_EQ(Row(k.packet->data() + 17, k.row), k.andRow) << what << " AND row " << k.row;
        EXPECT_EQ(Row(k.packet->data() + 17 + 128, k.row), k.xorRow) << what << " XOR row " << k.row;
    }
}

} // namespace
