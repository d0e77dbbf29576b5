// Small rules of the local console: key flags from a console key record, the button
// pad's offset clamp and the window search's wrapping time limit. Portable.
#pragma once
#include <cstdint>

enum : uint32_t {
    kConsoleEnhancedKey = 0x0100,  // ENHANCED_KEY in a key record's control-key state
    kConsoleFindLimitMs = 5000,
};

// Keystroke flags in the layout of WM_KEYDOWN's lParam: bits 0-15 the repeat count,
// 16-23 the scan code, bit 24 for an enhanced key, bit 31 for a release.
uint32_t ConsoleKeyFlags(uint16_t repeat, uint16_t scan, int keyDown, uint32_t controlKeyState);

// The pad's offset from the console window, kept between -20 and screen width - 170
// across and -10 and screen height - 50 down (the lower bound applied first).
void ClampPadOffset(int32_t *x, int32_t *y, int32_t screenWidth, int32_t screenHeight);

// The search's clock: nonzero once limitMs have passed since *start by a tick count
// that may wrap. A tick count found below *start restarts the wait from it.
int ConsoleWaitOver(uint32_t *start, uint32_t now, uint32_t limitMs);
