// The simulated Agent's console screen and its packets.
#include "tools/agentsim/console.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "session/packet.h"
#include "tools/agentsim/session.h"

enum : uint32_t { kVkBack = 8, kVkReturn = 13, kVkShift = 16, kVkControl = 17, kVkSpace = 32 };

void SimConsoleInit(SimConsole *c)
{
    *c = SimConsole{};
    c->echo = 1;
}

static void PutCell(std::vector<uint8_t> *p, const ConsoleCell &cell)
{
    uint8_t b[4];
    PutU16LE(b, cell.ch);
    PutU16LE(b + 2, cell.attr);
    p->insert(p->end(), b, b + 4);
}

static void AppendLine(const SimConsole *c, int row, std::vector<uint8_t> *out)
{
    std::vector<uint8_t> p(kConsoleLineHead);
    PutU16LE(p.data(), (uint16_t)row);
    PutU16LE(p.data() + 2, (uint16_t)c->width);
    for (int x = 0; x < c->width; x++)
        PutCell(&p, c->cells[(size_t)row * c->width + x]);
    SimAppendPacket(PKT_CONSOLE_LINE, p.data(), p.size(), out);
}

static void AppendCursor(int16_t x, int16_t y, uint32_t size, uint32_t visible, std::vector<uint8_t> *out)
{
    uint8_t p[kConsoleCursorLen];
    PutU16LE(p, (uint16_t)x);
    PutU16LE(p + 2, (uint16_t)y);
    PutU32LE(p + 4, size);
    PutU32LE(p + 8, visible);
    SimAppendPacket(PKT_CONSOLE_CURSOR, p, sizeof p, out);
}

static void FillRow(SimConsole *c, int row, const std::string &text)
{
    for (int x = 0; x < c->width; x++) {
        ConsoleCell &cell = c->cells[(size_t)row * c->width + x];
        cell.ch = (uint8_t)(x < (int)text.size() ? text[(size_t)x] : ' ');
        cell.attr = c->attr;
    }
}

static std::string MadeUpRow(int row, int width)
{
    char head[24];
    snprintf(head, sizeof head, "Row %02d:", row);
    std::string s = head;
    for (int x = (int)s.size(); x < width; x++)
        s += (char)(x % 9 == 0 ? ' ' : 'a' + (row + x) % 26);
    return s;
}

static void FillScreen(SimConsole *c, int16_t width, int16_t height, uint16_t attr,
                       const std::vector<std::string> *lines)
{
    const int echo = c->echo;
    SimConsoleInit(c);
    c->echo = echo;
    c->open = 1;
    c->width = width;
    c->height = height;
    c->attr = attr;
    c->cursorSize = 25;
    c->cursorVisible = 1;
    c->cells.assign((size_t)width * height, ConsoleCell{});
    int used = 0;
    for (int r = 0; r < height; r++) {
        if (lines) {
            const int has = r < (int)lines->size();
            FillRow(c, r, has ? (*lines)[(size_t)r] : std::string());
            if (has)
                used = r + 1;
        } else {
            FillRow(c, r, r < height - 1 ? MadeUpRow(r, width) : std::string("> "));
        }
    }
    if (lines) {
        c->cursorY = (int16_t)(used < height ? used : height - 1);
    } else {
        c->cursorX = 2;
        c->cursorY = (int16_t)(height - 1);
    }
}

static void AppendStart(const SimConsole *c, std::vector<uint8_t> *out)
{
    std::vector<uint8_t> p(kConsoleStartHead);
    PutU16LE(p.data(), (uint16_t)c->width);
    PutU16LE(p.data() + 2, (uint16_t)c->height);
    PutU16LE(p.data() + 4, (uint16_t)c->cursorX);
    PutU16LE(p.data() + 6, (uint16_t)c->cursorY);
    PutU32LE(p.data() + 8, c->cursorSize);
    PutU32LE(p.data() + 12, c->cursorVisible);
    PutU32LE(p.data() + 16, 0x434F4E53); // "SNOC": the viewer keeps it unread
    for (const ConsoleCell &cell : c->cells)
        PutCell(&p, cell);
    SimAppendPacket(PKT_CONSOLE_START, p.data(), p.size(), out);
}

void SimConsoleOpen(SimConsole *c, int16_t width, int16_t height, uint16_t attr, const std::vector<std::string> *lines,
                    std::vector<uint8_t> *out)
{
    FillScreen(c, width, height, attr, lines);
    AppendStart(c, out);
}

uint16_t ConsoleBurstAttr(uint32_t n) { return (uint16_t)(0x10 * (1 + n % 7) | 0x0F); }

void SimConsoleOpenNumbered(SimConsole *c, uint32_t n, int16_t width, int16_t height, std::vector<uint8_t> *out)
{
    FillScreen(c, width, height, ConsoleBurstAttr(n), nullptr);
    char head[24];
    snprintf(head, sizeof head, "Start %u ", (unsigned)n);
    const std::string rest = MadeUpRow(0, width);
    FillRow(c, 0, head + (strlen(head) < rest.size() ? rest.substr(strlen(head)) : std::string()));
    c->cursorX = (int16_t)(n % (uint32_t)width);
    c->cursorY = (int16_t)(n % (uint32_t)height);
    AppendStart(c, out);
}

int SimConsoleSetLine(SimConsole *c, int row, const std::string &text, std::vector<uint8_t> *out)
{
    if (!c->open || row < 0 || row >= c->height)
        return 0;
    FillRow(c, row, text);
    AppendLine(c, row, out);
    return 1;
}

void SimConsoleSetCursor(SimConsole *c, int16_t x, int16_t y, uint32_t size, uint32_t visible,
                         std::vector<uint8_t> *out)
{
    if (x >= 0 && y >= 0 && x < c->width && y < c->height) {
        c->cursorX = x;
        c->cursorY = y;
        c->cursorSize = size;
        c->cursorVisible = visible;
    }
    AppendCursor(x, y, size, visible, out);
}

void SimConsoleClose(SimConsole *c, std::vector<uint8_t> *out)
{
    c->open = 0;
    const uint8_t none = 0;
    SimAppendPacket(PKT_CONSOLE_STOP, &none, 0, out);
}

// The next row; at the bottom the screen scrolls up one row. Returns whether it scrolled.
static int NewRow(SimConsole *c)
{
    c->cursorX = 0;
    if (c->cursorY + 1 < c->height) {
        c->cursorY++;
        return 0;
    }
    c->cells.erase(c->cells.begin(), c->cells.begin() + c->width);
    c->cells.insert(c->cells.end(), (size_t)c->width, ConsoleCell{' ', c->attr});
    return 1;
}

static int Put(SimConsole *c, char ch, int *scrolled)
{
    c->cells[(size_t)c->cursorY * c->width + c->cursorX] = ConsoleCell{(uint8_t)ch, c->attr};
    const int row = c->cursorY;
    if (++c->cursorX == c->width)
        *scrolled |= NewRow(c);
    return row;
}

int SimConsoleEcho(SimConsole *c, const SimInput *key, std::vector<uint8_t> *out)
{
    if (!c->open || !c->echo || key->kind != kSimInputIsKey)
        return 0;
    if (key->vk == kVkShift || key->vk == kVkControl) {
        (key->vk == kVkShift ? c->shift : c->ctrl) = !key->up;
        return 0;
    }
    if (key->up)
        return 0;
    const int first = c->cursorY;
    int scrolled = 0;
    const uint32_t vk = key->vk;
    if (c->ctrl && vk == 'C') {
        Put(c, '^', &scrolled);
        Put(c, 'C', &scrolled);
        scrolled |= NewRow(c);
    } else if (c->ctrl) {
        return 0;
    } else if (vk >= 'A' && vk <= 'Z') {
        Put(c, (char)(c->shift ? vk : vk - 'A' + 'a'), &scrolled);
    } else if ((vk >= '0' && vk <= '9') || vk == kVkSpace) {
        Put(c, (char)vk, &scrolled);
    } else if (vk == kVkReturn) {
        scrolled |= NewRow(c);
    } else if (vk == kVkBack && c->cursorX > 0) {
        c->cursorX--;
        c->cells[(size_t)c->cursorY * c->width + c->cursorX] = ConsoleCell{' ', c->attr};
    } else {
        return 0;
    }
    int from = first, to = c->cursorY;
    if (scrolled) {
        from = 0;
        to = c->height - 1;
    }
    for (int r = from; r <= to; r++)
        AppendLine(c, r, out);
    AppendCursor(c->cursorX, c->cursorY, c->cursorSize, c->cursorVisible, out);
    return to - from + 1;
}

std::string SimConsoleText(const SimConsole *c)
{
    std::string s;
    for (int r = 0; r < c->height; r++) {
        for (int x = 0; x < c->width; x++)
            s += (char)(c->cells[(size_t)r * c->width + x].ch & 0xFF);
        s += '\n';
    }
    return s;
}

int SimConsoleReadFile(const std::string &path, std::vector<std::string> *lines, std::string *why)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *why = path + ": " + strerror(errno);
        return 0;
    }
    lines->clear();
    std::string line;
    int ch;
    while ((ch = fgetc(f)) != EOF) {
        if (ch == '\n') {
            lines->push_back(line);
            line.clear();
        } else if (ch != '\r') {
            line += (char)ch;
        }
    }
    if (!line.empty())
        lines->push_back(line);
    fclose(f);
    return 1;
}
