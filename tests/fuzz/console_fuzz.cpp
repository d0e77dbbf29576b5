// libFuzzer entry for the console messages from the Agent. The input is a stream of
// packets as the framer hands them out (the last one cut to what is left); each console
// packet is parsed and stored into one ConsoleScreen as the receive thread does it, and
// whatever was accepted must leave a screen the console can be painted from: geometry
// within the 7,920 cells, a cursor shown only on the screen, a line changing its row only. Each
// accepted one is noted as pending too, and the plan taken after it writes rows of the
// screen only, whole after a start. Single-threaded.
#include "console/pending.h"
#include "console/screenbuf.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void CheckScreen(const ConsoleScreen *s)
{
    if (s->width <= 0 || s->height <= 0 || (uint32_t)s->width * (uint32_t)s->height > kConsoleMaxCells)
        abort();
    uint32_t size, visible;
    ConsoleCursorLook(s, 25, &size, &visible);
    const int on = s->cursorX >= 0 && s->cursorY >= 0 && s->cursorX < s->width && s->cursorY < s->height;
    if (size < 1 || size > 100 || (visible && !on))
        abort();
}

// The UI thread's look after each packet, with a console open once a start was taken.
void TakePlan(ConsolePending *p, ConsolePlan *plan, const ConsoleScreen *s, int *shown, int16_t *w, int16_t *h)
{
    const int started = p->word == kConsoleWordStart;
    ConsoleTakePlan(p, *shown, *w, *h, s, UINT32_MAX, plan);
    if (plan->open || plan->resize) {
        *shown = 1;
        *w = s->width;
        *h = s->height;
    }
    if (plan->close)
        *shown = 0;
    if (started && !plan->open && !plan->whole)
        abort();
    int32_t from = 0, first, last;
    while (ConsoleNextRowRun(plan->rows, kConsoleMaxRows, &from, &first, &last))
        if (last >= s->height || plan->whole)
            abort();
}

int Receive(ConsoleScreen *s, ConsoleScreen *before, int *opened, const SessPacketHeader *h, const uint8_t *p,
            ConsolePending *pending)
{
    const char *why = nullptr;
    int moved, reshape;
    if (h->dwType == PKT_CONSOLE_START) {
        ConsoleStart st;
        if (!ParseConsoleStart(h, p, &st, &why)) {
            if (!why)
                abort();
            return 0;
        }
        ConsoleStoreStart(s, &st);
        ConsoleNoteStart(pending);
        *opened = 1;
        CheckScreen(s);
    } else if (h->dwType == PKT_CONSOLE_CURSOR) {
        ConsoleCursor c;
        if (!ParseConsoleCursor(h, p, &c, &why))
            return 0;
        memcpy(before, s, sizeof(*s));
        ConsoleStoreCursor(s, &c, &moved, &reshape);
        if (memcmp(before->cells, s->cells, sizeof(s->cells)) != 0)
            abort();
        ConsoleNoteCursor(pending, moved, reshape);
        if (*opened)
            CheckScreen(s);
    } else if (h->dwType == PKT_CONSOLE_LINE) {
        ConsoleLine l;
        if (!ParseConsoleLine(h, p, &l, &why))
            return 0;
        memcpy(before, s, sizeof(*s));
        if (!ConsoleStoreLine(s, &l, &why)) {
            if (!why || memcmp(before, s, sizeof(*s)) != 0)
                abort();
            return 0;
        }
        const size_t first = (size_t)l.row * (size_t)l.count, end = first + (size_t)l.count;
        if (end > kConsoleMaxCells || memcmp(before->cells, s->cells, first * sizeof(ConsoleCell)) != 0 ||
            memcmp(before->cells + end, s->cells + end, (kConsoleMaxCells - end) * sizeof(ConsoleCell)) != 0)
            abort();
        ConsoleNoteLine(pending, l.row);
    } else if (h->dwType == PKT_CONSOLE_STOP) {
        ConsoleNoteStop(pending);
    }
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Blocks of their own, so that a write past the screen is an ASan report.
    ConsoleScreen *s = (ConsoleScreen *)calloc(1, sizeof(ConsoleScreen));
    ConsoleScreen *before = (ConsoleScreen *)malloc(sizeof(ConsoleScreen));
    ConsolePending *pending = (ConsolePending *)calloc(1, sizeof(ConsolePending));
    ConsolePlan *plan = (ConsolePlan *)malloc(sizeof(ConsolePlan));
    int opened = 0, shown = 0;
    int16_t shownW = 0, shownH = 0;
    SessPacketHeader h;
    while (size >= kPacketHeaderSize && DecodePacketHeader(data, size, &h)) {
        const size_t n = h.dwDataLen < size - kPacketHeaderSize ? h.dwDataLen : size - kPacketHeaderSize;
        h.dwDataLen = (uint32_t)n;
        uint8_t *payload = (uint8_t *)malloc(n ? n : 1);
        if (n)
            memcpy(payload, data + kPacketHeaderSize, n);
        if (Receive(s, before, &opened, &h, payload, pending))
            TakePlan(pending, plan, s, &shown, &shownW, &shownH);
        free(payload);
        data += kPacketHeaderSize + n;
        size -= kPacketHeaderSize + n;
    }
    free(plan);
    free(pending);
    free(before);
    free(s);
    return 0;
}
