// The Agent's pointer and keyboard-light packets, checked before the UI uses them.
// Portable; no state.
#include "desktop/pointer.h"

#include <cstring>

int ParseKeyboardLights(const SessPacketHeader *h, const uint8_t *payload, uint8_t lights[3])
{
    if (h->dwDataLen < kKeyboardLightsLen)
        return 0;
    memcpy(lights, payload, 3);
    return 1;
}

int StandardCursorIndex(uint32_t value, int *index)
{
    if (value >= kStandardCursorCount)
        return 0;
    *index = (int)value;
    return 1;
}

int ParseCursorShape(const uint8_t *payload, size_t len, CursorShape *s)
{
    memset(s, 0, sizeof(*s));
    if (len < kCursorShapeLen)
        return 0;
    s->hotX = payload[0];
    s->hotY = payload[1];
    s->width = payload[2];
    s->height = payload[3] / 2;
    s->rowBytes = (s->width + 15) / 16 * 2;
    // At most 255 pixels a side, so the product cannot overflow.
    if (s->width == 0 || s->height == 0 || s->rowBytes * s->height > kCursorMaskBytes)
        return 0;
    memcpy(s->andMask, payload + 5, kCursorMaskBytes);
    memcpy(s->xorMask, payload + 5 + kCursorMaskBytes, kCursorMaskBytes);
    return 1;
}
