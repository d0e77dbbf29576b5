// Decoding of the viewer's input events (PKT_INPUT_EVENT) for the simulator's log:
// mouse messages with the remote position, keys with their keystroke flags. Pure.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tools/agentsim/jsonlog.h"

enum : uint32_t {
    kSimInputMove = 512,
    kSimInputLeftDown = 513,
    kSimInputLeftUp = 514,
    kSimInputRightDown = 516,
    kSimInputRightUp = 517,
    kSimInputWheel = 522,
    kSimInputKey = 1124,
};

enum { kSimInputOther = 0, kSimInputIsMouse, kSimInputIsKey };

struct SimInput {
    uint32_t code, wparam, lparam;           // the three words as sent
    int kind;                                // kSimInput*
    const char *name;                        // "move" .. "wheel", "key" or "other"
    uint16_t x, y;                           // mouse: low and high word of the position
    int16_t delta;                           // wheel: signed high word of wparam
    uint32_t vk;                             // key: virtual-key code (wparam)
    uint16_t repeat;                         // key: bits 0-15 of the flags
    uint8_t scan;                            // key: bits 16-23
    uint8_t extended, context, previous, up; // key: bits 24, 29, 30 and 31
};

// Decodes a payload of exactly 12 bytes; any other length returns 0 without reading.
int SimDecodeInput(const uint8_t *payload, size_t len, SimInput *in);
// Appends the decoded fields to a packet line.
void SimInputFields(JsonLine *j, const SimInput *in);
