// Console key flags, input mode, sizing order, pad offset clamp, search time limit. Portable.
#include "console/rules.h"

uint32_t ConsoleKeyFlags(uint16_t repeat, uint16_t scan, int keyDown, uint32_t controlKeyState)
{
    // The scan code keeps to its byte: a wider one must not pose as the flag bits.
    uint32_t flags = repeat | (uint32_t)(scan & 0xFF) << 16;
    if (controlKeyState & kConsoleEnhancedKey)
        flags |= 0x01000000u;
    if (!keyDown)
        flags |= 0x80000000u;
    return flags;
}

uint32_t ConsoleInputMode(void) { return kConsoleWindowInput | kConsoleExtendedFlags; }

static int16_t Least(int16_t a, int16_t b) { return a < b ? a : b; }

static int16_t Most(int16_t a, int16_t b) { return a > b ? a : b; }

int ConsoleSizeSteps(ConsoleDims window, ConsoleDims want, ConsoleDims largest, ConsoleSizeStep steps[3])
{
    const ConsoleDims to = {Most(want.width, kConsoleMinWindowSide), Most(want.height, kConsoleMinWindowSide)};
    int n = 0;
    if (window.width > to.width || window.height > to.height) {
        const ConsoleDims fit = {Most(Least(window.width, to.width), kConsoleMinWindowSide),
                                 Most(Least(window.height, to.height), kConsoleMinWindowSide)};
        steps[n++] = {0, fit};
    }
    steps[n++] = {1, to};
    ConsoleDims shown = to;
    if (largest.width > 0 && largest.height > 0) {
        shown.width = Most(Least(to.width, largest.width), kConsoleMinWindowSide);
        shown.height = Most(Least(to.height, largest.height), kConsoleMinWindowSide);
    }
    steps[n++] = {0, shown};
    return n;
}

static int32_t Clamp(int32_t v, int32_t low, int32_t high)
{
    if (v < low)
        v = low;
    if (v > high)
        v = high;
    return v;
}

void ClampPadOffset(int32_t *x, int32_t *y, int32_t screenWidth, int32_t screenHeight)
{
    *x = Clamp(*x, -20, screenWidth - 170);
    *y = Clamp(*y, -10, screenHeight - 50);
}

int ConsoleWaitOver(uint32_t *start, uint32_t now, uint32_t limitMs)
{
    if (now < *start)
        *start = now;
    return now - *start >= limitMs;
}
