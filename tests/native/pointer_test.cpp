// The pointer and keyboard-light packets: the cursor shape's size rules at their
// boundaries, short payloads and the standard cursor table's end.
#include "desktop/pointer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> Shape(uint8_t hotX, uint8_t hotY, uint8_t width, uint8_t height2)
{
    std::vector<uint8_t> p(kCursorShapeLen);
    p[0] = hotX, p[1] = hotY, p[2] = width, p[3] = height2, p[4] = 0xEE;
    for (int i = 0; i < 256; i++)
        p[5 + i] = (uint8_t)(i * 7 + 1);
    return p;
}

TEST(CursorShape, SizesAgainstTheMasks)
{
    // Mask rows are whole 16-bit words: width 16 takes 2 bytes a row, 17 to 32 take 4.
    const struct {
        uint8_t width, height2;
        int ok, height, rowBytes;
    } cases[] = {
        {32, 64, 1, 32, 4},  {16, 128, 1, 64, 2}, {1, 2, 1, 1, 2},        {17, 64, 1, 32, 4},
        {16, 129, 1, 64, 2}, {33, 64, 0, 32, 6},  {32, 66, 0, 33, 4},     {16, 130, 0, 65, 2},
        {0, 64, 0, 32, 0},   {32, 1, 0, 0, 4},    {255, 255, 0, 127, 32},
    };
    for (const auto &c : cases) {
        const std::vector<uint8_t> p = Shape(3, 250, c.width, c.height2);
        CursorShape s;
        EXPECT_EQ(ParseCursorShape(p.data(), p.size(), &s), c.ok) << (int)c.width << " x " << (int)c.height2;
        EXPECT_EQ(s.width, c.width);
        EXPECT_EQ(s.height, c.height);
        EXPECT_EQ(s.rowBytes, c.rowBytes);
        if (c.ok) {
            EXPECT_EQ(s.hotX, 3); // the hot spot is taken as sent
            EXPECT_EQ(s.hotY, 250);
            EXPECT_EQ(memcmp(s.andMask, p.data() + 5, 128), 0);
            EXPECT_EQ(memcmp(s.xorMask, p.data() + 133, 128), 0);
        }
    }
    CursorShape s;
    EXPECT_EQ(ParseCursorShape(Shape(0, 0, 32, 64).data(), kCursorShapeLen - 1, &s), 0);
}

TEST(PointerPackets, LightsAndStandardCursors)
{
    const uint8_t payload[3] = {1, 0, 2};
    uint8_t lights[3] = {9, 9, 9};
    SessPacketHeader h = {PKT_KEYBOARD_LIGHTS, 2, 1};
    EXPECT_EQ(ParseKeyboardLights(&h, payload, lights), 0);
    EXPECT_EQ(lights[0], 9);
    h.dwDataLen = 3;
    EXPECT_EQ(ParseKeyboardLights(&h, payload, lights), 1);
    EXPECT_EQ(memcmp(lights, payload, 3), 0);

    int index = -1;
    EXPECT_EQ(StandardCursorIndex(14, &index), 1);
    EXPECT_EQ(index, 14);
    EXPECT_EQ(StandardCursorIndex(15, &index), 0);
    EXPECT_EQ(StandardCursorIndex(0xFFFFFFFFu, &index), 0);
    EXPECT_EQ(index, 14);
}

} // namespace
