// Input forwarding rules: event bytes, the modifier latch, key buttons, coordinates.
#include "desktop/input.h"
#include "session/packet.h"
#include "shell/commands.h"

#include <gtest/gtest.h>

#include <vector>

TEST(InputEvent, WireLayoutByteByByte)
{
    InputEvent e = {513, 0x0009, (300u << 16) | 110u};
    uint8_t out[64];
    ASSERT_EQ(BuildInputEvent(&e, out, sizeof(out)), 24u);
    const uint8_t expect[24] = {10,   0,    0, 0, 12,   0, 0, 0, 1,   0, 0,    0, // header, flag 1
                                0x01, 0x02, 0, 0, 0x09, 0, 0, 0, 110, 0, 0x2C, 0x01};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 24), std::vector<uint8_t>(expect, expect + 24));
    EXPECT_EQ(BuildInputEvent(&e, out, 23), 0u);
    InputEvent back;
    EXPECT_EQ(ParseInputEvent(out + 12, 11, &back), 0);
    ASSERT_EQ(ParseInputEvent(out + 12, 12, &back), 1);
    EXPECT_EQ(back.data, e.data);
}

static uint32_t Flags(uint32_t scan, int extended, int released)
{
    return (released ? 0xC0000000u : 0) | (uint32_t)extended << 24 | scan << 16 | 1;
}

TEST(ModifierLatch, KeysLatchAndShowButtons)
{
    ModifierLatch latch = {};
    LatchChange c;
    ASSERT_EQ(LatchKey(&latch, Flags(29, 0, 0), &c), 1);
    EXPECT_EQ(c.button, (uint32_t)IDM_LEFT_CTRL);
    EXPECT_EQ(c.checked, 1);
    EXPECT_EQ(LatchKey(&latch, Flags(29, 0, 0), &c), 0); // auto-repeat: no change
    ASSERT_EQ(LatchKey(&latch, Flags(29, 1, 0), &c), 1);
    EXPECT_EQ(c.button, (uint32_t)IDM_RIGHT_CTRL);
    ASSERT_EQ(LatchKey(&latch, Flags(56, 1, 0), &c), 1);
    EXPECT_EQ(c.button, (uint32_t)IDM_RIGHT_ALT);
    ASSERT_EQ(LatchKey(&latch, Flags(56, 0, 1), &c), 0); // left Alt released, never held
    ASSERT_EQ(LatchKey(&latch, Flags(29, 0, 1), &c), 1);
    EXPECT_EQ(c.button, (uint32_t)IDM_LEFT_CTRL);
    EXPECT_EQ(c.checked, 0);
    // Shift has no button but is latched; other keys do nothing.
    EXPECT_EQ(LatchKey(&latch, Flags(42, 0, 0), &c), 0);
    EXPECT_EQ(LatchKey(&latch, Flags(54, 0, 0), &c), 0);
    EXPECT_EQ(LatchKey(&latch, Flags(30, 0, 0), &c), 0);
    EXPECT_EQ(latch.held[kLatchLeftShift], 1);
    EXPECT_EQ(latch.held[kLatchRightShift], 1);
    EXPECT_EQ(latch.held[kLatchLeftCtrl], 0);
    EXPECT_EQ(latch.held[kLatchRightCtrl], 1);
    EXPECT_EQ(latch.held[kLatchRightAlt], 1);
}

TEST(ModifierLatch, ReleaseOrderAndKeyData)
{
    ModifierLatch latch;
    for (auto &h : latch.held)
        h = 1;
    InputEvent ev[kLatchCount];
    LatchChange ch[kLatchCount];
    ASSERT_EQ(ReleaseModifiers(&latch, ev, ch), 6);
    const uint32_t expect[6][3] = {{16, 0xC02A0001, 0},     {16, 0xC0360001, 0},     {18, 0xE0380001, 40018},
                                   {18, 0xE1380001, 40021}, {17, 0xC01D0001, 40017}, {17, 0xC11D0001, 40022}};
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ(ev[i].code, 1124u);
        EXPECT_EQ(ev[i].wParam, expect[i][0]) << i;
        EXPECT_EQ(ev[i].data, expect[i][1]) << i;
        EXPECT_EQ(ch[i].button, expect[i][2]) << i;
        EXPECT_EQ(ch[i].checked, 0);
    }
    EXPECT_EQ(ReleaseModifiers(&latch, ev, ch), 0); // nothing held any more
}

TEST(ModifierLatch, ButtonsToggleAndFeedTheRelease)
{
    ModifierLatch latch = {};
    InputEvent e;
    LatchChange c;
    ASSERT_EQ(ToggleModifierButton(&latch, IDM_LEFT_CTRL, &e, &c), 1);
    EXPECT_EQ(e.wParam, 17u);
    EXPECT_EQ(e.data, 0x001D0001u);
    EXPECT_EQ(c.checked, 1);
    // Switching control off now releases the latched Ctrl with the button's data.
    InputEvent ev[kLatchCount];
    LatchChange ch[kLatchCount];
    ASSERT_EQ(ReleaseModifiers(&latch, ev, ch), 1);
    EXPECT_EQ(ev[0].data, 0xC01D0001u);
    EXPECT_EQ(ch[0].button, (uint32_t)IDM_LEFT_CTRL);

    const uint32_t table[4][4] = {{40022, 17, 0x011D0001, 0xC11D0001},
                                  {40018, 18, 0x00380001, 0xE0380001},
                                  {40021, 18, 0x01380001, 0xE1380001},
                                  {40017, 17, 0x001D0001, 0xC01D0001}};
    for (const auto &row : table) {
        ASSERT_EQ(ToggleModifierButton(&latch, row[0], &e, &c), 1);
        EXPECT_EQ(e.wParam, row[1]);
        EXPECT_EQ(e.data, row[2]);
        ASSERT_EQ(ToggleModifierButton(&latch, row[0], &e, &c), 1);
        EXPECT_EQ(e.data, row[3]);
        EXPECT_EQ(c.checked, 0);
    }
    EXPECT_EQ(ToggleModifierButton(&latch, IDM_WIN_KEY, &e, &c), 0);
}

TEST(KeyButtons, FixedSequences)
{
    InputEvent ev[4];
    ASSERT_EQ(KeyButtonSequence(IDM_WIN_KEY, ev), 2);
    EXPECT_EQ(ev[0].data, 0x005B0001u);
    EXPECT_EQ(ev[1].data, 0x805B0001u);
    EXPECT_EQ(ev[1].wParam, 91u);
    ASSERT_EQ(KeyButtonSequence(IDM_ALT_ENTER, ev), 4);
    const uint32_t expect[4][2] = {{18, 0x00380001}, {13, 0x001C0001}, {13, 0x801C0001}, {18, 0x80380001}};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(ev[i].wParam, expect[i][0]);
        EXPECT_EQ(ev[i].data, expect[i][1]);
    }
    EXPECT_EQ(KeyButtonSequence(IDM_LEFT_CTRL, ev), 0);
}

TEST(Coordinates, Unscaled)
{
    // Scrolled to hx 100: 10 px right of the frame's client origin is remote x 110.
    UnscaledInput in = {510, 320, 500, 300, 100, 40, 1024, 768, 0};
    EXPECT_EQ(UnscaledPosition(&in), (60u << 16) | 110u);
    // Dragged past the right and bottom edges, and past the left and top edges.
    in.screenX = 5000;
    in.screenY = 5000;
    EXPECT_EQ(UnscaledPosition(&in), (767u << 16) | 1023u);
    in.screenX = -3000;
    in.screenY = -70000;
    EXPECT_EQ(UnscaledPosition(&in), 0u);
    // Full screen: the screen point is the remote point.
    UnscaledInput fs = {640, 480, 0, 0, 100, 40, 1280, 1024, 1};
    EXPECT_EQ(UnscaledPosition(&fs), (480u << 16) | 640u);
}

TEST(Coordinates, Scaled)
{
    EXPECT_EQ(ScaledPosition((50u << 16) | 100u, 0.5), (100u << 16) | 200u);
    EXPECT_EQ(ScaledPosition((50u << 16) | 100u, 0.0), 0u);
    EXPECT_EQ(ScaledPosition((3u << 16) | 7u, 0.7), (4u << 16) | 10u); // truncation
    // Past the left edge the unsigned reading is large; x never spills into y.
    const uint32_t p = ScaledPosition((10u << 16) | 0xFFFFu, 0.5);
    EXPECT_EQ(p >> 16, 20u);
    EXPECT_EQ(p & 0xFFFF, 0xFFFFu);
}

TEST(Tooltips, TableLookups)
{
    const uint32_t table[][2] = {{40001, 10}, {40002, 11}, {40003, 14},  {40004, 12}, {40006, 15},
                                 {40019, 19}, {40020, 38}, {40021, 36},  {40022, 35}, {40023, 37},
                                 {40025, 61}, {40058, 91}, {40059, 149}, {40060, 150}};
    for (const auto &row : table)
        EXPECT_EQ(TooltipStringId(row[0]), row[1]) << row[0];
    EXPECT_EQ(TooltipStringId(40008), 0u);
    EXPECT_EQ(TooltipStringId(0), 0u);
}
