// Control-channel command parsing: words split on blanks, numbers and hex checked.
#include "tools/agentsim/control.h"

#include <cstdio>
#include <cstring>

#include "console/screenbuf.h"
#include "session/packet.h"
#include "tools/agentsim/cursor.h"
#include "tools/agentsim/hostile.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

enum { kConsoleStartsMax = 1000000, kConsoleStartsSizesMax = 16 };
enum { kMaxWords = 6, kFtPathTextMax = 260, kFtDelayMax = 60000, kFtQuestionsMax = 100000, kFtEndlessDefaultMs = 20 };

struct Word {
    const char *p;
    size_t n;
};

static int Is(const Word &w, const char *s) { return strlen(s) == w.n && memcmp(w.p, s, w.n) == 0; }

static int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int SimParseHex(const char *text, size_t len, std::vector<uint8_t> *out, char *err, size_t errCap)
{
    out->clear();
    if (len == 1 && text[0] == '-')
        return 1;
    if (len % 2) {
        snprintf(err, errCap, "odd number of hex digits");
        return 0;
    }
    out->reserve(len / 2);
    for (size_t i = 0; i < len; i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) {
            snprintf(err, errCap, "bad hex digit at %zu", hi < 0 ? i : i + 1);
            out->clear();
            return 0;
        }
        out->push_back((uint8_t)(hi << 4 | lo));
    }
    return 1;
}

// Unsigned decimal, at most max; no sign, no blanks.
static int ParseUint(const Word &w, uint32_t max, uint32_t *out)
{
    if (w.n == 0 || w.n > 10)
        return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < w.n; i++) {
        if (w.p[i] < '0' || w.p[i] > '9')
            return 0;
        v = v * 10 + (uint64_t)(w.p[i] - '0');
    }
    if (v > max)
        return 0;
    *out = (uint32_t)v;
    return 1;
}

// Words w[0..n) as numbers of at most max each.
static int ParseUints(const Word *w, size_t n, uint32_t max, uint32_t *out, const char *what, char *err, size_t errCap)
{
    for (size_t i = 0; i < n; i++) {
        if (!ParseUint(w[i], max, &out[i])) {
            snprintf(err, errCap, "%s must be a number from 0 to %u", what, (unsigned)max);
            return 0;
        }
    }
    return 1;
}

static void RestartBytes(std::vector<uint8_t> *bytes)
{
    uint8_t pkt[kPacketHeaderSize];
    SessPacketHeader h = {PKT_DESKTOP_RESTART, 0, 1};
    EncodePacketHeader(&h, pkt, sizeof pkt);
    bytes->assign(pkt, pkt + sizeof pkt);
}

static int WantArgs(size_t have, size_t want, const Word &name, char *err, size_t errCap)
{
    if (have == want)
        return 1;
    snprintf(err, errCap, "%.*s takes %zu argument%s", (int)name.n, name.p, want - 1, want == 2 ? "" : "s");
    return 0;
}

// cursor-shape's pattern word: a built-in name or both masks in hex.
static int ParseCursorPattern(const Word &w, uint8_t *andMask, uint8_t *xorMask, char *err, size_t errCap)
{
    if (Is(w, "arrow") || Is(w, "box")) {
        SimCursorPattern(Is(w, "box") ? kSimCursorBox : kSimCursorArrow, andMask, xorMask);
        return 1;
    }
    if (w.n != 4 * kSimCursorMaskLen) {
        snprintf(err, errCap, "pattern must be arrow, box or %d hex digits", 4 * kSimCursorMaskLen);
        return 0;
    }
    std::vector<uint8_t> masks;
    if (!SimParseHex(w.p, w.n, &masks, err, errCap))
        return 0;
    memcpy(andMask, masks.data(), kSimCursorMaskLen);
    memcpy(xorMask, masks.data() + kSimCursorMaskLen, kSimCursorMaskLen);
    return 1;
}

// Packets about the pointer and keyboard, the screen choice, wait-input and wait-settings.
static int ParsePointerCommand(const Word *w, size_t nw, SimControlCommand *cmd, char *err, size_t errCap)
{
    const Word &name = w[0];
    uint32_t v[4];
    if (Is(name, "lights")) {
        if (!WantArgs(nw, 4, name, err, errCap) || !ParseUints(w + 1, 3, 255, v, "a light", err, errCap))
            return 0;
        const uint8_t p[kKeyboardLightsLen] = {(uint8_t)v[0], (uint8_t)v[1], (uint8_t)v[2]};
        SimAppendPacket(PKT_KEYBOARD_LIGHTS, p, sizeof p, &cmd->bytes);
        cmd->kind = kCtlLights;
        return 1;
    }
    if (Is(name, "cursor-std")) {
        if (!WantArgs(nw, 2, name, err, errCap) || !ParseUints(w + 1, 1, 0xFFFFFFFFu, v, "index", err, errCap))
            return 0;
        uint8_t p[kCursorStandardLen];
        PutU32LE(p, v[0]);
        SimAppendPacket(PKT_CURSOR_STANDARD, p, sizeof p, &cmd->bytes);
        cmd->kind = kCtlCursorStd;
        return 1;
    }
    if (Is(name, "cursor-pos")) {
        if (!WantArgs(nw, 3, name, err, errCap) || !ParseUints(w + 1, 2, 0xFFFFFFFFu, v, "x and y", err, errCap))
            return 0;
        uint8_t p[kCursorPosLen];
        PutU32LE(p, v[0]);
        PutU32LE(p + 4, v[1]);
        SimAppendPacket(PKT_CURSOR_POS, p, sizeof p, &cmd->bytes);
        cmd->kind = kCtlCursorPos;
        return 1;
    }
    if (Is(name, "cursor-shape")) {
        if (nw != 5 && nw != 6) {
            snprintf(err, errCap, "cursor-shape takes 4 or 5 arguments");
            return 0;
        }
        if (!ParseUints(w + 1, 4, 255, v, "hot spot, width and height", err, errCap))
            return 0;
        uint8_t andMask[kSimCursorMaskLen], xorMask[kSimCursorMaskLen];
        if (nw == 6) {
            if (!ParseCursorPattern(w[5], andMask, xorMask, err, errCap))
                return 0;
        } else {
            SimCursorPattern(kSimCursorArrow, andMask, xorMask);
        }
        uint8_t p[kCursorShapeLen];
        SimCursorShapePayload((uint8_t)v[0], (uint8_t)v[1], (uint8_t)v[2], (uint8_t)v[3], andMask, xorMask, p);
        SimAppendPacket(PKT_CURSOR_SHAPE, p, sizeof p, &cmd->bytes);
        cmd->kind = kCtlCursorShape;
        return 1;
    }
    if (Is(name, "cursor-follow")) {
        if (!WantArgs(nw, 2, name, err, errCap))
            return 0;
        if (!Is(w[1], "on") && !Is(w[1], "off")) {
            snprintf(err, errCap, "cursor-follow takes on or off");
            return 0;
        }
        cmd->on = Is(w[1], "on");
        cmd->kind = kCtlCursorFollow;
        return 1;
    }
    if (Is(name, "screens")) {
        size_t n = nw;
        if (n > 2 && Is(w[n - 1], "restart")) {
            cmd->announce = 1;
            n--;
        }
        if (n != 2 && n != 3) {
            snprintf(err, errCap, "screens takes N [K] [restart]");
            return 0;
        }
        if (!ParseUints(w + 1, n - 1, 255, v, "screen count and number", err, errCap))
            return 0;
        cmd->screenCount = (uint8_t)v[0];
        cmd->hasCurrent = n == 3;
        cmd->screenCurrent = cmd->hasCurrent ? (uint8_t)v[1] : 0;
        if (cmd->announce)
            RestartBytes(&cmd->bytes);
        cmd->kind = kCtlScreens;
        return 1;
    }
    // wait-input, wait-settings, wait-files
    if (nw != 2 && nw != 3) {
        snprintf(err, errCap, "%.*s takes N [SECONDS]", (int)name.n, name.p);
        return 0;
    }
    if (!ParseUints(w + 1, 1, 0xFFFFFFFFu, &cmd->count, "count", err, errCap))
        return 0;
    cmd->seconds = kCtlWaitInputDefaultSeconds;
    if (nw == 3 && !ParseUints(w + 2, 1, kCtlWaitMaxSeconds, &cmd->seconds, "seconds", err, errCap))
        return 0;
    cmd->kind = Is(name, "wait-settings") ? kCtlWaitSettings : Is(name, "wait-files") ? kCtlWaitFiles : kCtlWaitInput;
    return 1;
}

// hostile's optional word: kind names separated by commas.
static int ParseSkip(const Word &w, uint32_t *skip, char *err, size_t errCap)
{
    *skip = 0;
    for (size_t i = 0; i <= w.n;) {
        size_t end = i;
        while (end < w.n && w.p[end] != ',')
            end++;
        int kind = -1;
        for (int k = 0; k < kHostileKinds; k++)
            if (Is(Word{w.p + i, end - i}, HostileKindName(k)))
                kind = k;
        if (kind < 0) {
            snprintf(err, errCap, "kinds left out are 1 3 5 7 8 9 11 13 14 15 17 28, later or other, comma-separated");
            return 0;
        }
        *skip |= 1u << kind;
        i = end + 1;
    }
    return 1;
}

static int ParseClip(const Word *w, size_t nw, SimControlCommand *cmd, char *err, size_t errCap)
{
    if (Is(w[0], "clip")) {
        if (!WantArgs(nw, 2, w[0], err, errCap) || !SimParseHex(w[1].p, w[1].n, &cmd->text, err, errCap))
            return 0;
    } else {
        if (nw != 2 && nw != 3) {
            snprintf(err, errCap, "clip-random takes N [SEED]");
            return 0;
        }
        uint32_t n, seed = 1;
        if (!ParseUints(w + 1, 1, kClipTextMax, &n, "length", err, errCap) ||
            (nw == 3 && !ParseUints(w + 2, 1, 0xFFFFFFFFu, &seed, "seed", err, errCap)))
            return 0;
        SimRandomText(seed, n, &cmd->text);
    }
    SimAppendClipText(cmd->text.data(), (uint32_t)cmd->text.size(), &cmd->bytes);
    cmd->kind = kCtlClip;
    return 1;
}

static int ParseHostile(const Word *w, size_t nw, SimControlCommand *cmd, char *err, size_t errCap)
{
    if (Is(w[0], "hostile-fatal")) {
        if (!WantArgs(nw, 2, w[0], err, errCap))
            return 0;
        const int kind = HostileFatalParse(w[1].p, w[1].n);
        if (kind < 0) {
            snprintf(err, errCap,
                     "unknown kind; one of unknown-required short-login short-screen too-long "
                     "screen-narrow screen-depth screen-huge");
            return 0;
        }
        HostileFatalBytes(kind, &cmd->bytes);
        cmd->fatal = kind;
        cmd->kind = kCtlHostileFatal;
        return 1;
    }
    if (Is(w[0], "flood")) {
        if (!WantArgs(nw, 3, w[0], err, errCap))
            return 0;
        cmd->fatal = HostileFloodParse(w[1].p, w[1].n);
        if (cmd->fatal < 0) {
            snprintf(err, errCap, "unknown kind; one of cursor-pos cursor-shape restart palette lights ft-replies");
            return 0;
        }
        if (!ParseUints(w + 2, 1, kFloodCountMax, &cmd->count, "count", err, errCap))
            return 0;
        if (cmd->count == 0) {
            snprintf(err, errCap, "count must be at least 1");
            return 0;
        }
        cmd->kind = kCtlFlood;
        return 1;
    }
    if (nw != 3 && nw != 4) {
        snprintf(err, errCap, "hostile takes SEED COUNT [KINDS]");
        return 0;
    }
    if (!ParseUints(w + 1, 1, 0xFFFFFFFFu, &cmd->seed, "seed", err, errCap) ||
        !ParseUints(w + 2, 1, kHostileCountMax, &cmd->count, "count", err, errCap))
        return 0;
    if (cmd->count == 0) {
        snprintf(err, errCap, "count must be at least 1");
        return 0;
    }
    if (nw == 4 && !ParseSkip(w[3], &cmd->skip, err, errCap))
        return 0;
    if (cmd->skip == (1u << kHostileKinds) - 1) {
        snprintf(err, errCap, "every kind is left out");
        return 0;
    }
    cmd->kind = kCtlHostile;
    return 1;
}

// The rest of the line from word w on, blanks inside it kept and trailing ones dropped.
static std::string RestOfLine(const char *line, size_t len, const Word &w)
{
    size_t end = len;
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
        end--;
    return w.p < line + end ? std::string(w.p, (size_t)(line + end - w.p)) : std::string();
}

// Console commands take the rest of the line as a path or a text, so they are parsed
// before the word count is checked.
static int ParseConsole(const char *line, size_t len, const Word *w, size_t nw, SimControlCommand *cmd, char *err,
                        size_t errCap)
{
    const Word &name = w[0];
    if (Is(name, "console-open")) {
        uint32_t v[2];
        std::vector<uint8_t> attr;
        if (nw < 4 || !ParseUints(w + 1, 2, 32767, v, "width and height", err, errCap)) {
            if (nw < 4)
                snprintf(err, errCap, "console-open takes W H ATTR [PATH]");
            return 0;
        }
        if (v[0] == 0 || v[1] == 0 || v[0] * v[1] > kConsoleMaxCells) {
            snprintf(err, errCap, "W x H must be 1 to %u cells", (unsigned)kConsoleMaxCells);
            return 0;
        }
        if (w[3].n == 0 || w[3].n > 4) {
            snprintf(err, errCap, "ATTR is 1 to 4 hex digits");
            return 0;
        }
        std::string digits = std::string(w[3].n % 2 ? "0" : "") + std::string(w[3].p, w[3].n);
        if (!SimParseHex(digits.data(), digits.size(), &attr, err, errCap))
            return 0;
        cmd->attr = (uint16_t)(attr.size() == 2 ? attr[0] << 8 | attr[1] : attr[0]);
        cmd->width = (uint16_t)v[0];
        cmd->height = (uint16_t)v[1];
        if (nw > 4)
            cmd->path = RestOfLine(line, len, w[4]);
        cmd->kind = kCtlConsoleOpen;
        return 1;
    }
    if (Is(name, "console-line")) {
        if (nw < 2 || !ParseUints(w + 1, 1, 32767, &cmd->row, "row", err, errCap)) {
            if (nw < 2)
                snprintf(err, errCap, "console-line takes ROW [TEXT]");
            return 0;
        }
        // The text starts one blank after the row, so that it may begin with blanks.
        const char *start = w[1].p + w[1].n + 1;
        std::string text = start < line + len ? std::string(start, (size_t)(line + len - start)) : std::string();
        cmd->text.assign(text.begin(), text.end());
        cmd->kind = kCtlConsoleLine;
        return 1;
    }
    if (Is(name, "console-cursor")) {
        if (nw != 5) {
            snprintf(err, errCap, "console-cursor takes X Y SIZE VISIBLE");
            return 0;
        }
        if (!ParseUints(w + 1, 2, 32767, cmd->cursor, "X and Y", err, errCap) ||
            !ParseUints(w + 3, 2, 0xFFFFFFFFu, cmd->cursor + 2, "size and visible", err, errCap))
            return 0;
        cmd->kind = kCtlConsoleCursor;
        return 1;
    }
    if (Is(name, "console-echo")) {
        if (nw != 2 || !(Is(w[1], "on") || Is(w[1], "off"))) {
            snprintf(err, errCap, "console-echo takes on or off");
            return 0;
        }
        cmd->on = Is(w[1], "on");
        cmd->kind = kCtlConsoleEcho;
        return 1;
    }
    if (Is(name, "console-dump")) {
        if (nw < 2) {
            snprintf(err, errCap, "console-dump takes a path");
            return 0;
        }
        cmd->path = RestOfLine(line, len, w[1]);
        cmd->kind = kCtlConsoleDump;
        return 1;
    }
    if (Is(name, "console-starts")) {
        if (nw < 2 || nw > 3 || !ParseUints(w + 1, 1, kConsoleStartsMax, &cmd->count, "N", err, errCap)) {
            if (nw < 2 || nw > 3)
                snprintf(err, errCap, "console-starts takes N [WxH,WxH...]");
            return 0;
        }
        if (cmd->count == 0) {
            snprintf(err, errCap, "N must be 1 to %u", (unsigned)kConsoleStartsMax);
            return 0;
        }
        const std::string list = nw == 3 ? std::string(w[2].p, w[2].n) : std::string("1x1");
        for (size_t at = 0; at <= list.size();) {
            size_t end = list.find(',', at);
            if (end == std::string::npos)
                end = list.size();
            unsigned wd = 0, ht = 0;
            char tail = 0;
            const std::string one = list.substr(at, end - at);
            if (sscanf(one.c_str(), "%5ux%5u%c", &wd, &ht, &tail) != 2 || wd == 0 || ht == 0 ||
                wd * ht > kConsoleMaxCells || cmd->sizes.size() == 2 * kConsoleStartsSizesMax) {
                snprintf(err, errCap, "sizes are up to %u of WxH, 1 to %u cells each", (unsigned)kConsoleStartsSizesMax,
                         (unsigned)kConsoleMaxCells);
                return 0;
            }
            cmd->sizes.push_back((uint16_t)wd);
            cmd->sizes.push_back((uint16_t)ht);
            at = end + 1;
        }
        cmd->kind = kCtlConsoleStarts;
        return 1;
    }
    if (!WantArgs(nw, 1, name, err, errCap))
        return 0;
    cmd->kind = kCtlConsoleClose;
    return 1;
}

int SimParseControl(const char *line, size_t len, SimControlCommand *cmd, char *err, size_t errCap)
{
    cmd->kind = 0;
    cmd->bytes.clear();
    cmd->seconds = 0;
    cmd->newScreen = 0;
    cmd->width = cmd->height = cmd->bpp = 0;
    cmd->path.clear();
    cmd->count = 0;
    cmd->seed = cmd->skip = 0;
    cmd->fatal = 0;
    cmd->on = 0;
    cmd->screenCount = cmd->screenCurrent = 0;
    cmd->hasCurrent = cmd->announce = 0;
    cmd->text.clear();
    cmd->value = 0;
    cmd->attr = 0;
    cmd->row = 0;
    memset(cmd->cursor, 0, sizeof cmd->cursor);
    cmd->sizes.clear();
    if (len && line[len - 1] == '\r')
        len--;
    Word w[kMaxWords];
    size_t nw = 0;
    int tooMany = 0;
    for (size_t i = 0; i < len;) {
        while (i < len && (line[i] == ' ' || line[i] == '\t'))
            i++;
        if (i == len)
            break;
        size_t start = i;
        while (i < len && line[i] != ' ' && line[i] != '\t')
            i++;
        if (nw == kMaxWords) {
            tooMany = 1;
            break;
        }
        w[nw++] = Word{line + start, i - start};
    }
    if (nw && w[0].n > 8 && memcmp(w[0].p, "console-", 8) == 0 &&
        (Is(w[0], "console-open") || Is(w[0], "console-line") || Is(w[0], "console-cursor") ||
         Is(w[0], "console-close") || Is(w[0], "console-echo") || Is(w[0], "console-dump") ||
         Is(w[0], "console-starts")))
        return ParseConsole(line, len, w, nw, cmd, err, errCap);
    if (nw == 0) {
        snprintf(err, errCap, "empty command");
        return 0;
    }
    const Word &name = w[0];
    if (Is(name, "dump") || Is(name, "frame")) {
        // The path is the rest of the line, blanks inside it included.
        if (nw < 2) {
            snprintf(err, errCap, "%.*s takes a path", (int)name.n, name.p);
            return 0;
        }
        size_t end = len;
        while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
            end--;
        cmd->path.assign(w[1].p, (size_t)(line + end - w[1].p));
        cmd->kind = Is(name, "dump") ? kCtlDump : kCtlFrame;
        return 1;
    }
    if (Is(name, "ft-attr")) {
        // The path is the rest of the line, blanks inside it included.
        if (nw < 3 || !ParseUint(w[1], 0xFFFFFFFFu, &cmd->value)) {
            snprintf(err, errCap, "ft-attr takes ATTRS PATH");
            return 0;
        }
        size_t end = len;
        while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t'))
            end--;
        cmd->path.assign(w[2].p, (size_t)(line + end - w[2].p));
        cmd->kind = kCtlFtAttr;
        return 1;
    }
    if (Is(name, "ft-path")) {
        // The text is the rest of the line, blanks inside it included.
        if (nw < 2) {
            snprintf(err, errCap, "ft-path takes a relative path");
            return 0;
        }
        cmd->path = RestOfLine(line, len, w[1]);
        if (cmd->path.size() > kFtPathTextMax) {
            snprintf(err, errCap, "the path is over %d characters", kFtPathTextMax);
            return 0;
        }
        cmd->kind = kCtlFtPath;
        return 1;
    }
    if (tooMany) {
        snprintf(err, errCap, "too many arguments");
        return 0;
    }
    if (Is(name, "restart")) {
        if (nw > 2) {
            snprintf(err, errCap, "restart takes 0 or 1 arguments");
            return 0;
        }
        if (nw == 2) {
            char text[24] = "";
            if (w[1].n < sizeof text)
                memcpy(text, w[1].p, w[1].n); // longer: refused as empty
            if (!SimParseGeometry(text, &cmd->width, &cmd->height, &cmd->bpp)) {
                snprintf(err, errCap, "screen must be WxHxBPP");
                return 0;
            }
            cmd->newScreen = 1;
        }
        RestartBytes(&cmd->bytes);
        cmd->kind = kCtlRestart;
        return 1;
    }
    if (Is(name, "fill")) {
        cmd->kind = kCtlFill;
        cmd->on = 0;
        if (nw == 2 && Is(w[1], "off"))
            return 1;
        std::vector<uint8_t> rgb;
        if (!WantArgs(nw, 6, name, err, errCap) || !ParseUints(w + 1, 4, 65535, cmd->rect, "a coordinate", err, errCap))
            return 0;
        if (w[5].n != 6 || !SimParseHex(w[5].p, w[5].n, &rgb, err, errCap)) {
            snprintf(err, errCap, "the colour must be RRGGBB");
            return 0;
        }
        memcpy(cmd->rgb, rgb.data(), 3);
        cmd->on = 1;
        return 1;
    }
    if (Is(name, "close") || Is(name, "quit") || Is(name, "pause") || Is(name, "resume") || Is(name, "sent-tiles") ||
        Is(name, "stall") || Is(name, "unstall")) {
        if (!WantArgs(nw, 1, name, err, errCap))
            return 0;
        cmd->kind = Is(name, "close")     ? kCtlClose
                    : Is(name, "quit")    ? kCtlQuit
                    : Is(name, "pause")   ? kCtlPause
                    : Is(name, "resume")  ? kCtlResume
                    : Is(name, "stall")   ? kCtlStall
                    : Is(name, "unstall") ? kCtlUnstall
                                          : kCtlSentTiles;
        return 1;
    }
    if (Is(name, "send")) {
        if (!WantArgs(nw, 4, name, err, errCap))
            return 0;
        uint32_t type, required;
        if (!ParseUint(w[1], 0xFFFFFFFFu, &type)) {
            snprintf(err, errCap, "type must be a number from 0 to 4294967295");
            return 0;
        }
        if (!ParseUint(w[2], 1, &required)) {
            snprintf(err, errCap, "required must be 0 or 1");
            return 0;
        }
        std::vector<uint8_t> payload;
        if (!SimParseHex(w[3].p, w[3].n, &payload, err, errCap))
            return 0;
        if (payload.size() > kMaxPayloadSize) {
            snprintf(err, errCap, "payload of %zu bytes is over %u", payload.size(), (unsigned)kMaxPayloadSize);
            return 0;
        }
        cmd->bytes.resize(kPacketHeaderSize + payload.size());
        BuildPacketWithFlag(type, required, payload.data(), payload.size(), cmd->bytes.data(), cmd->bytes.size());
        cmd->kind = kCtlSend;
        return 1;
    }
    if (Is(name, "raw")) {
        if (!WantArgs(nw, 2, name, err, errCap))
            return 0;
        if (!SimParseHex(w[1].p, w[1].n, &cmd->bytes, err, errCap))
            return 0;
        if (cmd->bytes.empty()) {
            snprintf(err, errCap, "raw needs at least one byte");
            return 0;
        }
        cmd->kind = kCtlRaw;
        return 1;
    }
    if (Is(name, "wait-login") || Is(name, "wait-synced")) {
        if (!WantArgs(nw, 2, name, err, errCap))
            return 0;
        if (!ParseUint(w[1], kCtlWaitMaxSeconds, &cmd->seconds)) {
            snprintf(err, errCap, "seconds must be a number from 0 to %d", kCtlWaitMaxSeconds);
            return 0;
        }
        cmd->kind = Is(name, "wait-login") ? kCtlWaitLogin : kCtlWaitSynced;
        return 1;
    }
    if (Is(name, "lights") || Is(name, "cursor-std") || Is(name, "cursor-pos") || Is(name, "cursor-shape") ||
        Is(name, "cursor-follow") || Is(name, "screens") || Is(name, "wait-input") || Is(name, "wait-settings") ||
        Is(name, "wait-files"))
        return ParsePointerCommand(w, nw, cmd, err, errCap);
    if (Is(name, "hostile") || Is(name, "hostile-fatal") || Is(name, "flood"))
        return ParseHostile(w, nw, cmd, err, errCap);
    if (Is(name, "clip") || Is(name, "clip-random"))
        return ParseClip(w, nw, cmd, err, errCap);
    if (Is(name, "ft-stop") || Is(name, "ft-corrupt") || Is(name, "ft-short-head") || Is(name, "ft-oversize") ||
        Is(name, "ft-early") || Is(name, "ft-ragged")) {
        if (!WantArgs(nw, 1, name, err, errCap))
            return 0;
        cmd->kind = Is(name, "ft-stop")         ? kCtlFtStop
                    : Is(name, "ft-corrupt")    ? kCtlFtCorrupt
                    : Is(name, "ft-short-head") ? kCtlFtShortHead
                    : Is(name, "ft-early")      ? kCtlFtEarly
                    : Is(name, "ft-ragged")     ? kCtlFtRagged
                                                : kCtlFtOversize;
        return 1;
    }
    if (Is(name, "settings-answer")) {
        if (!WantArgs(nw, 2, name, err, errCap))
            return 0;
        const int kind = SimSettingsFaultParse(w[1].p, w[1].n);
        if (kind < 0) {
            snprintf(err, errCap, "unknown kind; one of refused unfinished overfull");
            return 0;
        }
        cmd->value = (uint32_t)kind;
        cmd->kind = kCtlSettingsAnswer;
        return 1;
    }
    if (Is(name, "ft-damaged")) {
        if (!WantArgs(nw, 1, name, err, errCap))
            return 0;
        cmd->kind = kCtlFtDamaged;
        return 1;
    }
    if (Is(name, "ft-endless")) {
        if (nw > 2) {
            snprintf(err, errCap, "ft-endless takes at most one argument");
            return 0;
        }
        cmd->value = kFtEndlessDefaultMs;
        if (nw == 2 && !ParseUints(w + 1, 1, kFtDelayMax, &cmd->value, "milliseconds", err, errCap))
            return 0;
        cmd->kind = kCtlFtEndless;
        return 1;
    }
    if (Is(name, "ft-delay")) {
        if (!WantArgs(nw, 2, name, err, errCap) ||
            !ParseUints(w + 1, 1, kFtDelayMax, &cmd->value, "milliseconds", err, errCap))
            return 0;
        cmd->kind = kCtlFtDelay;
        return 1;
    }
    if (Is(name, "ft-questions")) {
        if (nw != 2 && nw != 3) {
            snprintf(err, errCap, "ft-questions takes a count and optionally now");
            return 0;
        }
        if (!ParseUints(w + 1, 1, kFtQuestionsMax, &cmd->value, "count", err, errCap))
            return 0;
        if (cmd->value == 0) {
            snprintf(err, errCap, "count must be at least 1");
            return 0;
        }
        if (nw == 3 && !Is(w[2], "now")) {
            snprintf(err, errCap, "ft-questions takes now or nothing after the count");
            return 0;
        }
        cmd->on = nw == 3;
        cmd->kind = kCtlFtQuestions;
        return 1;
    }
    if (Is(name, "ft-error") || Is(name, "ft-split")) {
        const int split = Is(name, "ft-split");
        if (!WantArgs(nw, 2, name, err, errCap) ||
            !ParseUints(w + 1, 1, split ? 100000 : 65535, &cmd->value, split ? "entries" : "kind", err, errCap))
            return 0;
        if (split && cmd->value == 0) {
            snprintf(err, errCap, "entries must be at least 1");
            return 0;
        }
        cmd->kind = split ? kCtlFtSplit : kCtlFtError;
        return 1;
    }
    snprintf(err, errCap, "unknown command %.*s", (int)(name.n > 40 ? 40 : name.n), name.p);
    return 0;
}
