// What the Agent has asked of the console since the UI thread last looked: the receive
// thread notes each message here (under ConsoleLock, beside ConsoleScreen) and raises
// one notice; the UI thread takes the lot and works out what to do with the console.
// Any number of messages come down to one plan, latest word winning. Portable.
#pragma once
#include <cstdint>

#include "console/screenbuf.h"

enum : uint32_t {
    kConsoleMaxRows = kConsoleMaxCells, // a screen one cell wide
    kConsoleOpenGapMs = 1000,           // at most one console host started per this
};

enum ConsoleWord : uint8_t {
    kConsoleWordNone = 0,
    kConsoleWordStart,
    kConsoleWordStop,
};

struct ConsolePending {
    uint8_t word;           // the latest start or stop not yet acted on
    uint8_t whole;          // a start since: the whole screen and the cursor
    uint8_t moved, reshape; // cursor changes (ConsoleStoreCursor's flags, or-ed)
    uint8_t anyRow;
    uint8_t rows[(kConsoleMaxRows + 7) / 8]; // rows rewritten by lines, one bit each
};

// Receive thread, after the message was stored in ConsoleScreen.
void ConsoleNoteStart(ConsolePending *p);
void ConsoleNoteStop(ConsolePending *p);
void ConsoleNoteLine(ConsolePending *p, int32_t row);
void ConsoleNoteCursor(ConsolePending *p, int moved, int reshape);
// Whether there is anything for the UI thread to do.
int ConsoleHasPending(const ConsolePending *p);

struct ConsolePlan {
    int close;  // close the open console (a stop was the latest word)
    int open;   // open one: it paints the whole screen
    int resize; // the open console takes the screen's new size in place
    int whole;  // write every row and apply the cursor
    int moved, reshape;
    uint32_t waitMs;                         // an open is held back: look again after this many ms
    uint8_t rows[(kConsoleMaxRows + 7) / 8]; // rows to write when not whole
};

// The UI thread's plan for the open console of shownWidth x shownHeight (isOpen 0:
// none) and the screen copy as it is now. sinceOpenMs is the time since the last
// console was opened (UINT32_MAX: never); an open sooner than kConsoleOpenGapMs after
// it is held back (waitMs), the word kept pending and everything else too, so that the
// screen copy as it is then is shown in the end. Otherwise the pending facts are taken
// and cleared. Returns nonzero when the plan has anything to do.
int ConsoleTakePlan(ConsolePending *p, int isOpen, int16_t shownWidth, int16_t shownHeight, const ConsoleScreen *screen,
                    uint32_t sinceOpenMs, ConsolePlan *plan);

// The next run of set rows at or after *from and below height: *first..*last, *from
// moved past it. 0 when none is left.
int ConsoleNextRowRun(const uint8_t *rows, int32_t height, int32_t *from, int32_t *first, int32_t *last);
