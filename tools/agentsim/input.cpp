// Input events as the simulated Agent logs them; field names are what the end-to-end
// tests read back.
#include "tools/agentsim/input.h"

#include <cstdio>
#include <cstring>

#include "session/packet.h"

static const char *MouseName(uint32_t code)
{
    switch (code) {
    case kSimInputMove:
        return "move";
    case kSimInputLeftDown:
        return "ldown";
    case kSimInputLeftUp:
        return "lup";
    case kSimInputRightDown:
        return "rdown";
    case kSimInputRightUp:
        return "rup";
    case kSimInputWheel:
        return "wheel";
    default:
        return nullptr;
    }
}

int SimDecodeInput(const uint8_t *payload, size_t len, SimInput *in)
{
    memset(in, 0, sizeof *in);
    if (len != kInputEventLen)
        return 0;
    in->code = GetU32LE(payload);
    in->wparam = GetU32LE(payload + 4);
    in->lparam = GetU32LE(payload + 8);
    in->name = MouseName(in->code);
    if (in->name) {
        in->kind = kSimInputIsMouse;
        in->x = (uint16_t)(in->lparam & 0xFFFF);
        in->y = (uint16_t)(in->lparam >> 16);
        in->delta = (int16_t)(uint16_t)(in->wparam >> 16);
    } else if (in->code == kSimInputKey) {
        in->kind = kSimInputIsKey;
        in->name = "key";
        in->vk = in->wparam;
        in->repeat = (uint16_t)(in->lparam & 0xFFFF);
        in->scan = (uint8_t)(in->lparam >> 16);
        in->extended = (uint8_t)(in->lparam >> 24 & 1);
        in->context = (uint8_t)(in->lparam >> 29 & 1);
        in->previous = (uint8_t)(in->lparam >> 30 & 1);
        in->up = (uint8_t)(in->lparam >> 31);
    } else {
        in->kind = kSimInputOther;
        in->name = "other";
    }
    return 1;
}

void SimInputFields(JsonLine *j, const SimInput *in)
{
    JsonUint(j, "code", in->code);
    JsonCStr(j, "input", in->name);
    if (in->kind == kSimInputIsMouse) {
        JsonUint(j, "wparam", in->wparam);
        JsonUint(j, "x", in->x);
        JsonUint(j, "y", in->y);
        if (in->code == kSimInputWheel)
            JsonInt(j, "delta", in->delta);
    } else if (in->kind == kSimInputIsKey) {
        char flags[16];
        snprintf(flags, sizeof flags, "0x%08x", (unsigned)in->lparam);
        JsonUint(j, "vk", in->vk);
        JsonCStr(j, "flags", flags);
        JsonUint(j, "repeat", in->repeat);
        JsonUint(j, "scan", in->scan);
        JsonBool(j, "extended", in->extended);
        JsonBool(j, "context", in->context);
        JsonBool(j, "previous", in->previous);
        JsonBool(j, "up", in->up);
    } else {
        JsonUint(j, "wparam", in->wparam);
        JsonUint(j, "lparam", in->lparam);
    }
}
