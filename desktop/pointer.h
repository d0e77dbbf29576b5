// The Agent's packets about the remote pointer and keyboard: keyboard lights, the
// standard cursor index and the custom cursor shape. Portable; pure functions.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum {
    kStandardCursorCount = 15,
    kCursorMaskBytes = 128, // each of the AND and XOR masks of PKT_CURSOR_SHAPE
};

// PKT_KEYBOARD_LIGHTS: refuses a payload under 3 bytes; lights[i] is light i's state.
int ParseKeyboardLights(const SessPacketHeader *h, const uint8_t *payload, uint8_t lights[3]);

// PKT_CURSOR_STANDARD's value as an index into the table of standard cursors; refuses
// values from kStandardCursorCount up.
int StandardCursorIndex(uint32_t value, int *index);

struct CursorShape {
    int hotX, hotY;    // as sent: a byte each, so never far outside the image
    int width, height; // pixels; height is half the byte sent (both masks together)
    int rowBytes;      // mask rows are whole 16-bit words
    uint8_t andMask[kCursorMaskBytes];
    uint8_t xorMask[kCursorMaskBytes];
};

// PKT_CURSOR_SHAPE (len payload bytes). Fills the size fields even when it refuses, for
// the caller's log line; refuses a payload under 261 bytes, an empty image and one
// whose rows do not fit the 128-byte masks.
int ParseCursorShape(const uint8_t *payload, size_t len, CursorShape *s);
