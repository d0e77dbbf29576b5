// The remote console's screen copy (ConsoleScreen) and the four console messages from
// the Agent: taking them apart, checking their geometry and storing them. Portable; the
// caller holds ConsoleLock around every function that takes a ConsoleScreen.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum : uint32_t {
    kConsoleMaxCells = 7920, // the cell array; a start fills at most this many
    kConsoleStartHead = 20,  // fixed fields of PKT_CONSOLE_START before its cells
    kConsoleLineHead = 4,    // row and count of PKT_CONSOLE_LINE
    kConsoleCellSize = 4,    // character word, attribute word
};

// One character cell in the layout of the Windows CHAR_INFO: the character word (its
// first byte is the character shown), then the attribute word.
struct ConsoleCell {
    uint16_t ch;
    uint16_t attr;
};

struct ConsoleScreen {
    int16_t width, height;    // a COORD
    int16_t cursorX, cursorY; // a COORD
    uint32_t cursorSize;      // with cursorVisible, a CONSOLE_CURSOR_INFO
    uint32_t cursorVisible;
    uint32_t startValue; // offset 16 of the start; kept, not used
    ConsoleCell cells[kConsoleMaxCells];
};

struct ConsoleStart {
    int16_t width, height, cursorX, cursorY;
    uint32_t cursorSize, cursorVisible, startValue;
    const uint8_t *cells; // width * height cells inside the payload
};

struct ConsoleCursor {
    int16_t x, y;
    uint32_t size, visible;
};

struct ConsoleLine {
    int16_t row, count;
    const uint8_t *cells; // count cells inside the payload
};

// Each parser refuses (0, *why set) a payload shorter than its fields. A start is also
// refused when width or height is not positive, width * height is over 7,920 cells,
// or the cells named are not all in the payload; a line when its count is not positive
// or its cells are not all in the payload. A cursor anywhere is taken: full-screen
// programs hide it by parking it below the last row.
int ParseConsoleStart(const SessPacketHeader *h, const uint8_t *payload, ConsoleStart *s, const char **why);
int ParseConsoleCursor(const SessPacketHeader *h, const uint8_t *payload, ConsoleCursor *c, const char **why);
int ParseConsoleLine(const SessPacketHeader *h, const uint8_t *payload, ConsoleLine *l, const char **why);

// Stores a parsed start: geometry, cursor, start value and the first width * height cells.
void ConsoleStoreStart(ConsoleScreen *screen, const ConsoleStart *s);

// The cursor rule; any position is stored. *moved is 1 when the position changed,
// *reshape 1 when the shape is to be applied: the visibility changed, or it did not and
// the new size is nonzero, or the cursor went off the screen or came back onto it. The
// size is stored in every case.
void ConsoleStoreCursor(ConsoleScreen *screen, const ConsoleCursor *c, int *moved, int *reshape);
int ConsoleCursorOnScreen(const ConsoleScreen *screen);
// The shape the local console is given: hidden while the cursor lies off the screen, and
// lastSize for a size outside 1..100, which the console refuses.
void ConsoleCursorLook(const ConsoleScreen *screen, uint32_t lastSize, uint32_t *size, uint32_t *visible);

// Stores one row. Refused (0, *why set) when the row lies outside the current height or
// the count is not the current width.
int ConsoleStoreLine(ConsoleScreen *screen, const ConsoleLine *l, const char **why);

// Whether row may be written to the console from the screen copy as it is now.
int ConsoleRowInside(const ConsoleScreen *screen, int32_t row);
