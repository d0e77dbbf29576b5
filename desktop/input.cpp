// Input forwarding rules; see input.h.
#include "desktop/input.h"

#include "session/packet.h"
#include "shell/commands.h"

size_t BuildInputEvent(const InputEvent *e, uint8_t *out, size_t outCap)
{
    uint8_t payload[kInputEventLen];
    PutU32LE(payload, e->code);
    PutU32LE(payload + 4, e->wParam);
    PutU32LE(payload + 8, e->data);
    return BuildPacketWithFlag(PKT_INPUT_EVENT, 1, payload, sizeof(payload), out, outCap);
}

int ParseInputEvent(const uint8_t *payload, size_t len, InputEvent *e)
{
    if (!payload || len < kInputEventLen)
        return 0;
    e->code = GetU32LE(payload);
    e->wParam = GetU32LE(payload + 4);
    e->data = GetU32LE(payload + 8);
    return 1;
}

enum : uint32_t { kVkShift = 16, kVkControl = 17, kVkMenu = 18, kVkReturn = 13, kVkLeftWin = 91 };

struct LatchKeyInfo {
    uint32_t button; // 0: no button (Shift)
    uint32_t vk;
    uint32_t release; // keystroke flags of the release sent by ReleaseModifiers
};

static const LatchKeyInfo kLatchKeys[kLatchCount] = {
    {0, kVkShift, 0xC02A0001},
    {0, kVkShift, 0xC0360001},
    {IDM_LEFT_ALT, kVkMenu, 0xE0380001},
    {IDM_RIGHT_ALT, kVkMenu, 0xE1380001},
    {IDM_LEFT_CTRL, kVkControl, 0xC01D0001},
    {IDM_RIGHT_CTRL, kVkControl, 0xC11D0001},
};

int LatchKey(ModifierLatch *latch, uint32_t flags, LatchChange *change)
{
    const uint32_t scan = (flags >> 16) & 0xFF;
    const int extended = (flags >> 24) & 1;
    const int released = (flags >> 31) & 1;
    int index;
    switch (scan) {
    case 42:
        latch->held[kLatchLeftShift] = !released;
        return 0;
    case 54:
        latch->held[kLatchRightShift] = !released;
        return 0;
    case 29:
        index = extended ? kLatchRightCtrl : kLatchLeftCtrl;
        break;
    case 56:
        index = extended ? kLatchRightAlt : kLatchLeftAlt;
        break;
    default:
        return 0;
    }
    // A repeated press or a release of a key not held changes nothing.
    if (latch->held[index] == !released)
        return 0;
    latch->held[index] = !released;
    change->button = kLatchKeys[index].button;
    change->checked = !released;
    return 1;
}

int ReleaseModifiers(ModifierLatch *latch, InputEvent *events, LatchChange *changes)
{
    int n = 0;
    for (int i = 0; i < kLatchCount; i++) {
        if (!latch->held[i])
            continue;
        latch->held[i] = 0;
        events[n] = {kInputKey, kLatchKeys[i].vk, kLatchKeys[i].release};
        changes[n] = {kLatchKeys[i].button, 0};
        n++;
    }
    return n;
}

int ToggleModifierButton(ModifierLatch *latch, uint32_t command, InputEvent *e, LatchChange *change)
{
    struct ButtonKey {
        uint32_t command;
        int index;
        uint32_t vk, press, release;
    };
    static const ButtonKey kButtons[] = {
        {IDM_LEFT_CTRL, kLatchLeftCtrl, kVkControl, 0x001D0001, 0xC01D0001},
        {IDM_RIGHT_CTRL, kLatchRightCtrl, kVkControl, 0x011D0001, 0xC11D0001},
        {IDM_LEFT_ALT, kLatchLeftAlt, kVkMenu, 0x00380001, 0xE0380001},
        {IDM_RIGHT_ALT, kLatchRightAlt, kVkMenu, 0x01380001, 0xE1380001},
    };
    for (const ButtonKey &b : kButtons) {
        if (b.command != command)
            continue;
        const int now = !latch->held[b.index];
        latch->held[b.index] = (uint8_t)now;
        *e = {kInputKey, b.vk, now ? b.press : b.release};
        *change = {command, now};
        return 1;
    }
    return 0;
}

int KeyButtonSequence(uint32_t command, InputEvent *events)
{
    if (command == IDM_WIN_KEY) {
        events[0] = {kInputKey, kVkLeftWin, 0x005B0001};
        events[1] = {kInputKey, kVkLeftWin, 0x805B0001};
        return 2;
    }
    if (command == IDM_ALT_ENTER) {
        events[0] = {kInputKey, kVkMenu, 0x00380001};
        events[1] = {kInputKey, kVkReturn, 0x001C0001};
        events[2] = {kInputKey, kVkReturn, 0x801C0001};
        events[3] = {kInputKey, kVkMenu, 0x80380001};
        return 4;
    }
    return 0;
}

static int32_t Limit(int64_t v, int32_t size)
{
    if (v >= size)
        v = (int64_t)size - 1;
    if (v < 0)
        v = 0;
    return (int32_t)v;
}

uint32_t UnscaledPosition(const UnscaledInput *in)
{
    int32_t x = in->screenX, y = in->screenY;
    if (!in->fullScreen) {
        x = Limit((int64_t)in->hx + in->screenX - in->originX, in->width);
        y = Limit((int64_t)in->vy + in->screenY - in->originY, in->height);
    }
    return (uint32_t)y << 16 | ((uint32_t)x & 0xFFFF);
}

// Past the left or top edge the unsigned reading gives large values; each stays
// within its own 16-bit half of the position.
static uint32_t Field16(double v) { return v >= 65535.0 ? 65535u : (uint32_t)v; }

uint32_t ScaledPosition(uint32_t lParam, double viewScale)
{
    const uint32_t cx = lParam & 0xFFFF, cy = (lParam >> 16) & 0xFFFF;
    uint32_t x = 0, y = 0;
    if (viewScale > 0) {
        x = Field16(cx / viewScale);
        y = Field16(cy / viewScale);
    }
    return y << 16 | x;
}

uint32_t TooltipStringId(uint32_t command)
{
    static const uint32_t kTable[][2] = {
        {40001, 10},  {40002, 11},  {40003, 14},  {40004, 12},  {40005, 13}, {40006, 15},  {40007, 89},  {40012, 16},
        {40013, 87},  {40017, 17},  {40018, 18},  {40019, 19},  {40020, 38}, {40021, 36},  {40022, 35},  {40023, 37},
        {40024, 39},  {40025, 61},  {40026, 60},  {40030, 88},  {40032, 90}, {40034, 99},  {40035, 100}, {40036, 101},
        {40037, 102}, {40038, 103}, {40045, 109}, {40052, 137}, {40058, 91}, {40059, 149}, {40060, 150},
    };
    for (const auto &row : kTable)
        if (row[0] == command)
            return row[1];
    return 0;
}
