// The console's pending facts and the plan made of them. Portable, no state of its own.
#include "console/pending.h"

#include <cstring>

void ConsoleNoteStart(ConsolePending *p)
{
    p->word = kConsoleWordStart;
    p->whole = 1;
}

void ConsoleNoteStop(ConsolePending *p)
{
    // Whatever came before the stop belongs to the console it closes.
    memset(p, 0, sizeof(*p));
    p->word = kConsoleWordStop;
}

void ConsoleNoteLine(ConsolePending *p, int32_t row)
{
    if (row < 0 || (uint32_t)row >= kConsoleMaxRows)
        return;
    p->rows[row / 8] |= (uint8_t)(1u << (row % 8));
    p->anyRow = 1;
}

void ConsoleNoteCursor(ConsolePending *p, int moved, int reshape)
{
    p->moved |= moved != 0;
    p->reshape |= reshape != 0;
}

int ConsoleHasPending(const ConsolePending *p) { return p->word || p->whole || p->moved || p->reshape || p->anyRow; }

int ConsoleTakePlan(ConsolePending *p, int isOpen, int16_t shownWidth, int16_t shownHeight, const ConsoleScreen *screen,
                    uint32_t sinceOpenMs, ConsolePlan *plan)
{
    memset(plan, 0, sizeof(*plan));
    if (p->word == kConsoleWordStop) {
        plan->close = isOpen;
    } else if (!isOpen) {
        // Lines and cursors for a closed console stay in the screen copy; an open paints it.
        if (p->word == kConsoleWordStart) {
            if (sinceOpenMs < kConsoleOpenGapMs) {
                plan->waitMs = kConsoleOpenGapMs - sinceOpenMs;
                return 1;
            }
            plan->open = 1;
        }
    } else {
        plan->resize = screen->width != shownWidth || screen->height != shownHeight;
        plan->whole = p->whole || plan->resize;
        if (plan->whole) {
            plan->moved = plan->reshape = 1;
        } else {
            plan->moved = p->moved;
            plan->reshape = p->reshape;
            if (p->anyRow)
                memcpy(plan->rows, p->rows, sizeof(plan->rows));
        }
    }
    const int any = plan->close || plan->open || plan->whole || plan->moved || plan->reshape ||
                    (isOpen && p->anyRow && p->word != kConsoleWordStop);
    memset(p, 0, sizeof(*p));
    return any;
}

int ConsoleNextRowRun(const uint8_t *rows, int32_t height, int32_t *from, int32_t *first, int32_t *last)
{
    if (height > (int32_t)kConsoleMaxRows)
        height = (int32_t)kConsoleMaxRows;
    int32_t r = *from < 0 ? 0 : *from;
    while (r < height && !(rows[r / 8] >> (r % 8) & 1))
        r++;
    if (r >= height) {
        *from = r;
        return 0;
    }
    *first = r;
    while (r < height && (rows[r / 8] >> (r % 8) & 1))
        r++;
    *last = r - 1;
    *from = r;
    return 1;
}
