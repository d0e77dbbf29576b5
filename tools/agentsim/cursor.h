// Payloads the simulated Agent sends about the remote pointer and keyboard: the
// 261-byte cursor shape with built-in 32 x 32 patterns. Pure.
#pragma once
#include <cstdint>

#include "session/packet.h"

enum { kSimCursorArrow = 0, kSimCursorBox };
enum { kSimCursorMaskLen = 128 }; // 32 rows of 4 bytes, top row first

// AND and XOR masks of a built-in pattern, leftmost pixel in the top bit. Outside the
// shape AND is 1 and XOR 0 (transparent); the shape has a black outline (AND 0, XOR 0)
// and a white inside (AND 0, XOR 1).
void SimCursorPattern(int pattern, uint8_t andMask[kSimCursorMaskLen], uint8_t xorMask[kSimCursorMaskLen]);
// PKT_CURSOR_SHAPE payload: hot spot, width, height of both masks together, an unused
// byte, then the AND and XOR masks.
void SimCursorShapePayload(uint8_t hotX, uint8_t hotY, uint8_t width, uint8_t height2,
                           const uint8_t andMask[kSimCursorMaskLen], const uint8_t xorMask[kSimCursorMaskLen],
                           uint8_t out[kCursorShapeLen]);
