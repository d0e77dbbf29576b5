// Small rules of the local console: key flags from a console key record, the input mode,
// the order of the sizing calls, the button pad's offset clamp and the window search's
// wrapping time limit. Portable.
#pragma once
#include <cstdint>

enum : uint32_t {
    kConsoleEnhancedKey = 0x0100, // ENHANCED_KEY in a key record's control-key state
    kConsoleFindLimitMs = 5000,
    // Windows ends the process 5 s after the console's close event; the orderly end of
    // the viewer gets this much of it.
    kConsoleCloseWaitMs = 4500,
};

// The console input mode: window input only (no line input, echo, processed or mouse
// input), and the extended flags with QuickEdit off, since a selection made with the
// mouse would hold every console output call, and with it the UI thread.
enum : uint32_t {
    kConsoleWindowInput = 0x0008,
    kConsoleQuickEdit = 0x0040,
    kConsoleExtendedFlags = 0x0080,
};
uint32_t ConsoleInputMode(void);

// Console sizes in cells.
struct ConsoleDims {
    int16_t width, height;
};
// One sizing call: the screen buffer (SetConsoleScreenBufferSize), or the window
// (SetConsoleWindowInfo, absolute, from 0,0).
struct ConsoleSizeStep {
    int buffer;
    ConsoleDims size;
};
enum : int16_t { kConsoleMinWindowSide = 2 }; // a window refuses Right <= Left
// The calls that bring a console whose window is window to a buffer of want, in this
// order: the window shrunk to fit the new buffer (only when it does not), the buffer,
// and the window as large as the buffer but no larger than largest (a largest of 0 or
// less: unknown, no limit). No side below kConsoleMinWindowSide. Returns the count.
// Only the last step depends on largest, so that it can be worked out again with the
// largest size read once the new buffer (and any scroll bars it brings) is in place.
int ConsoleSizeSteps(ConsoleDims window, ConsoleDims want, ConsoleDims largest, ConsoleSizeStep steps[3]);

// Keystroke flags in the layout of WM_KEYDOWN's lParam: bits 0-15 the repeat count,
// 16-23 the scan code, bit 24 for an enhanced key, bit 31 for a release.
uint32_t ConsoleKeyFlags(uint16_t repeat, uint16_t scan, int keyDown, uint32_t controlKeyState);

// The pad's offset from the console window, kept between -20 and screen width - 170
// across and -10 and screen height - 50 down (the lower bound applied first).
void ClampPadOffset(int32_t *x, int32_t *y, int32_t screenWidth, int32_t screenHeight);

// The search's clock: nonzero once limitMs have passed since *start by a tick count
// that may wrap. A tick count found below *start restarts the wait from it.
int ConsoleWaitOver(uint32_t *start, uint32_t now, uint32_t limitMs);
