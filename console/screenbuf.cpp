// The console messages and the screen copy. Portable, no state of its own.
#include "console/screenbuf.h"

#include <cstring>

static int16_t GetI16LE(const uint8_t *p) { return (int16_t)GetU16LE(p); }

static void CopyCells(ConsoleCell *to, const uint8_t *from, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        to[i].ch = GetU16LE(from + i * kConsoleCellSize);
        to[i].attr = GetU16LE(from + i * kConsoleCellSize + 2);
    }
}

int ParseConsoleStart(const SessPacketHeader *h, const uint8_t *payload, ConsoleStart *s, const char **why)
{
    memset(s, 0, sizeof(*s));
    if (h->dwDataLen < kConsoleStartHead) {
        *why = "shorter than its 20 bytes of fixed fields";
        return 0;
    }
    s->width = GetI16LE(payload);
    s->height = GetI16LE(payload + 2);
    s->cursorX = GetI16LE(payload + 4);
    s->cursorY = GetI16LE(payload + 6);
    s->cursorSize = GetU32LE(payload + 8);
    s->cursorVisible = GetU32LE(payload + 12);
    s->startValue = GetU32LE(payload + 16);
    s->cells = payload + kConsoleStartHead;
    if (s->width <= 0 || s->height <= 0) {
        *why = "width or height not positive";
        return 0;
    }
    const uint32_t cells = (uint32_t)s->width * (uint32_t)s->height; // both below 32,768
    if (cells > kConsoleMaxCells) {
        *why = "more than 7,920 cells";
        return 0;
    }
    if (h->dwDataLen - kConsoleStartHead < cells * kConsoleCellSize) {
        *why = "fewer cells than its width and height name";
        return 0;
    }
    return 1;
}

int ParseConsoleCursor(const SessPacketHeader *h, const uint8_t *payload, ConsoleCursor *c, const char **why)
{
    memset(c, 0, sizeof(*c));
    if (h->dwDataLen < kConsoleCursorLen) {
        *why = "shorter than its 12 bytes";
        return 0;
    }
    c->x = GetI16LE(payload);
    c->y = GetI16LE(payload + 2);
    c->size = GetU32LE(payload + 4);
    c->visible = GetU32LE(payload + 8);
    return 1;
}

int ParseConsoleLine(const SessPacketHeader *h, const uint8_t *payload, ConsoleLine *l, const char **why)
{
    memset(l, 0, sizeof(*l));
    if (h->dwDataLen < kConsoleLineHead) {
        *why = "shorter than its row and count";
        return 0;
    }
    l->row = GetI16LE(payload);
    l->count = GetI16LE(payload + 2);
    l->cells = payload + kConsoleLineHead;
    if (l->count <= 0) {
        *why = "count not positive";
        return 0;
    }
    if (h->dwDataLen - kConsoleLineHead < (uint32_t)l->count * kConsoleCellSize) {
        *why = "fewer cells than its count";
        return 0;
    }
    return 1;
}

void ConsoleStoreStart(ConsoleScreen *screen, const ConsoleStart *s)
{
    screen->width = s->width;
    screen->height = s->height;
    screen->cursorX = s->cursorX;
    screen->cursorY = s->cursorY;
    screen->cursorSize = s->cursorSize;
    screen->cursorVisible = s->cursorVisible;
    screen->startValue = s->startValue;
    CopyCells(screen->cells, s->cells, (uint32_t)s->width * (uint32_t)s->height);
}

int ConsoleCursorOnScreen(const ConsoleScreen *screen)
{
    return screen->cursorX >= 0 && screen->cursorY >= 0 && screen->cursorX < screen->width &&
           screen->cursorY < screen->height;
}

void ConsoleStoreCursor(ConsoleScreen *screen, const ConsoleCursor *c, int *moved, int *reshape)
{
    const int wasOn = ConsoleCursorOnScreen(screen);
    *moved = *reshape = 0;
    if (c->x != screen->cursorX || c->y != screen->cursorY) {
        screen->cursorX = c->x;
        screen->cursorY = c->y;
        *moved = 1;
    }
    if (c->visible != screen->cursorVisible) {
        screen->cursorVisible = c->visible;
        *reshape = 1;
    } else {
        *reshape = c->size != 0;
    }
    screen->cursorSize = c->size;
    // Parked off the screen the cursor is hidden, and shown again when it comes back.
    if (ConsoleCursorOnScreen(screen) != wasOn)
        *reshape = 1;
}

void ConsoleCursorLook(const ConsoleScreen *screen, uint32_t lastSize, uint32_t *size, uint32_t *visible)
{
    *size = screen->cursorSize >= 1 && screen->cursorSize <= 100 ? screen->cursorSize : lastSize;
    *visible = screen->cursorVisible && ConsoleCursorOnScreen(screen);
}

int ConsoleRowInside(const ConsoleScreen *screen, int32_t row)
{
    return row >= 0 && row < screen->height && screen->width > 0 &&
           (uint32_t)screen->width * (uint32_t)screen->height <= kConsoleMaxCells;
}

int ConsoleStoreLine(ConsoleScreen *screen, const ConsoleLine *l, const char **why)
{
    if (!ConsoleRowInside(screen, l->row)) {
        *why = "row outside the screen";
        return 0;
    }
    if (l->count != screen->width) {
        *why = "count not the screen's width";
        return 0;
    }
    CopyCells(screen->cells + (uint32_t)l->row * (uint32_t)l->count, l->cells, (uint32_t)l->count);
    return 1;
}
