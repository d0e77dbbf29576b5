// The remote screen's geometry as the Agent announces it. Portable.
#pragma once
#include <cstdint>

#include "session/packet.h"

struct RemoteScreen {
    int32_t width, height;
    uint16_t planes, bitsPerPixel, displayDepth;
    uint8_t screenCount;
    uint8_t currentScreen; // 1-based; 0 is taken as 1
    double aspect;         // width / height, 0 when height is 0
};

// D = planes x bits per pixel, computed without overflow (both are u16 on the wire).
uint32_t ScreenDepth(const RemoteScreen *s);

// Refuses a payload shorter than 12 bytes.
int ParseScreenInfo(const SessPacketHeader *h, const uint8_t *payload, RemoteScreen *s);
