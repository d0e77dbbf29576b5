// The hostile Agent's packets: a splitmix64 generator picks each packet's kind, length
// and contents; lengths favour the edges (0, the fixed size and its neighbours, the
// tile-exact part sizes, the packet limit) and contents favour the values parsers get
// wrong (addresses off the grid, counts past the tile, sizes that do not fit).
#include "tools/agentsim/hostile.h"

#include <cstring>

#include "desktop/clipboard.h"
#include "session/packet.h"
#include "session/routes.h"
#include "tools/agentsim/cursor.h"

const uint32_t kHostileTypes[kHostileOther] = {
    PKT_LOGIN_REPLY, PKT_SCREEN_INFO,     PKT_SCREEN_XOR_PART, PKT_SCREEN_XOR_RLE_PART, PKT_SCREEN_RLE_PART,
    PKT_PALETTE,     PKT_KEYBOARD_LIGHTS, PKT_DESKTOP_RESTART, PKT_CURSOR_STANDARD,     PKT_CURSOR_SHAPE,
    PKT_CURSOR_POS,  PKT_CLIPBOARD_TEXT,  PKT_CONSOLE_STOP,
};

// Unasked, out of place or malformed, these must be refused or dropped as the viewer
// reads them: the console, Agent settings and file-transfer types of the route table,
// owner by owner in table order.
static const std::vector<uint32_t> &LaterTypes()
{
    static const std::vector<uint32_t> types = [] {
        std::vector<uint32_t> v;
        for (int owner : {kOwnerConsole, kOwnerAgentSettings, kOwnerFileTransfer})
            for (size_t i = 0; i < kPacketRouteCount; i++)
                if (kPacketRoutes[i].owner == owner)
                    v.push_back(kPacketRoutes[i].type);
        return v;
    }();
    return types;
}

static const char *const kKindNames[kHostileKinds] = {"1",  "3",  "5",  "7",  "8",  "9",     "11",
                                                      "13", "14", "15", "28", "17", "later", "other"};

enum {
    kKindLogin,
    kKindScreen,
    kKindXor,
    kKindXorRle,
    kKindRle,
    kKindPalette,
    kKindLights,
    kKindRestart,
    kKindCursorStd,
    kKindCursorShape,
    kKindCursorPos,
    kKindClip,
    kKindLater
};

// Shares out of 1000. Parts are cheap for the viewer and the richest in cases; screen
// information and restarts rebuild 1,024 windows each and palettes repaint them all,
// so those stay rare.
static constexpr uint16_t kWeights[kHostileKinds] = {10, 6, 230, 190, 190, 15, 60, 6, 50, 50, 60, 50, 40, 43};
static constexpr int WeightSum(int k) { return k == kHostileKinds ? 0 : kWeights[k] + WeightSum(k + 1); }
static_assert(WeightSum(0) == 1000, "the shares must fill 1000");

enum { kRestartBurstMax = 24 };

int HostileKindOf(uint32_t type)
{
    for (uint32_t later : LaterTypes())
        if (later == type)
            return kHostileLater;
    for (int k = 0; k < kHostileOther; k++)
        if (kHostileTypes[k] == type)
            return k;
    return kHostileOther;
}

const char *HostileKindName(int kind) { return kind >= 0 && kind < kHostileKinds ? kKindNames[kind] : "?"; }

static uint64_t Next(HostileStream *s)
{
    uint64_t z = (s->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// 0..n-1; n is at most 2^32, so the modulo bias is far below anything a test sees.
static uint32_t Below(HostileStream *s, uint64_t n) { return (uint32_t)(Next(s) % n); }

static uint32_t Pick(HostileStream *s, const uint32_t *values, size_t n) { return values[Below(s, n)]; }

static void FillRandom(HostileStream *s, uint8_t *p, size_t n)
{
    while (n >= 8) {
        const uint64_t v = Next(s);
        memcpy(p, &v, 8);
        p += 8;
        n -= 8;
    }
    if (n) {
        const uint64_t v = Next(s);
        memcpy(p, &v, n);
    }
}

int HostileInit(HostileStream *s, uint64_t seed, uint32_t count, uint32_t skip, uint16_t width, uint16_t height,
                uint16_t depth)
{
    const uint32_t all = (1u << kHostileKinds) - 1;
    if (count == 0 || count > kHostileCountMax || (skip & all) == all)
        return 0;
    memset(s, 0, sizeof *s);
    s->state = seed;
    s->left = count;
    s->skip = skip & all;
    s->baseWidth = width;
    s->baseHeight = height;
    s->baseDepth = depth;
    s->layoutValid = TileLayoutCompute(&s->layout, width, height, depth);
    return 1;
}

// A length for a payload of fixed size S whose shortest survivable length is min (0,
// or S for the packets whose short form ends the session).
static uint32_t PickLength(HostileStream *s, uint32_t S, uint32_t min)
{
    uint32_t n;
    switch (Below(s, 10)) {
    case 0:
        n = 0;
        break;
    case 1:
        n = S ? S - 1 : 0;
        break;
    case 2:
        n = S + 1;
        break;
    case 3:
        n = Below(s, 2 * (uint64_t)S + 17);
        break;
    case 4:
        n = Below(s, (uint64_t)kMaxPayloadSize + 1);
        break;
    case 5:
        n = kMaxPayloadSize;
        break;
    default:
        n = S;
    }
    if (n > kMaxPayloadSize)
        n = kMaxPayloadSize;
    return n < min ? S : n;
}

static void Emit(HostileStream *s, uint32_t type, uint32_t required, const std::vector<uint8_t> &payload,
                 std::vector<uint8_t> *out)
{
    uint8_t hdr[kPacketHeaderSize];
    SessPacketHeader h = {type, (uint32_t)payload.size(), required};
    EncodePacketHeader(&h, hdr, sizeof hdr);
    out->insert(out->end(), hdr, hdr + sizeof hdr);
    out->insert(out->end(), payload.begin(), payload.end());
    s->sent[HostileKindOf(type)]++;
    s->bytes += sizeof hdr + payload.size();
}

// A random payload of the picked length with the given leading bytes laid over it.
static void Payload(HostileStream *s, uint32_t len, const uint8_t *head, size_t headLen, std::vector<uint8_t> *p)
{
    p->assign(len, 0);
    FillRandom(s, p->data(), len);
    if (headLen && len)
        memcpy(p->data(), head, headLen < len ? headLen : len);
}

// Tile addresses: mostly on the grid with the edges favoured, sometimes off it.
static void PickAddress(HostileStream *s, int *row, int *column)
{
    static const uint32_t on[] = {0, 1, 30, 31};
    static const uint32_t off[] = {32, 33, 127, 128, 255};
    for (int *v : {row, column}) {
        const uint32_t r = Below(s, 10);
        *v = (int)(r < 3 ? Pick(s, on, 4) : r < 8 ? Below(s, kTileGridSize) : r < 9 ? Pick(s, off, 5) : Below(s, 256));
    }
}

// Bytes of a tile's XOR delta as the viewer expects it, or a guess when the tile is
// off the grid or the screen unknown.
static uint32_t TileBytes(HostileStream *s, int row, int column)
{
    if (!s->layoutValid || row >= kTileGridSize || column >= kTileGridSize)
        return Below(s, 8192);
    const TileGeometry *g = &s->layout.tiles[row][column];
    return (uint32_t)g->height * g->lineBytes;
}

static void XorPart(HostileStream *s, std::vector<uint8_t> *out)
{
    int row, column;
    PickAddress(s, &row, &column);
    const uint32_t exact = 2 + TileBytes(s, row, column);
    uint32_t n;
    switch (Below(s, 10)) {
    case 0:
        n = Below(s, 3);
        break; // no room for the address, or nothing after it
    case 1:
        n = exact - 1;
        break;
    case 2:
        n = exact + 1;
        break;
    case 3:
        n = Below(s, (uint64_t)kMaxPayloadSize + 1);
        break;
    case 4:
        n = kMaxPayloadSize;
        break;
    default:
        n = exact;
    }
    if (n > kMaxPayloadSize)
        n = kMaxPayloadSize;
    const uint8_t head[2] = {(uint8_t)column, (uint8_t)row};
    std::vector<uint8_t> p;
    Payload(s, n, head, 2, &p);
    Emit(s, PKT_SCREEN_XOR_PART, Below(s, 2), p, out);
}

// Run-length records that run past the tile, past the payload, or stop mid-record.
static void RlePart(HostileStream *s, uint32_t type, std::vector<uint8_t> *out)
{
    int row, column;
    PickAddress(s, &row, &column);
    const uint32_t tile = TileBytes(s, row, column);
    const uint32_t B = 1 + Below(s, 2); // the viewer's depth decides; both sizes reach it
    uint32_t target;
    switch (Below(s, 6)) {
    case 0:
        target = Below(s, 3);
        break;
    case 1:
        target = 2 + Below(s, 64);
        break;
    case 2:
        target = Below(s, (uint64_t)kMaxPayloadSize + 1);
        break;
    case 3:
        target = kMaxPayloadSize;
        break;
    default:
        target = 2 + tile / 4 + Below(s, tile / 2 + 16);
    }
    if (target > kMaxPayloadSize)
        target = kMaxPayloadSize;
    std::vector<uint8_t> p = {(uint8_t)column, (uint8_t)row};
    if (Below(s, 8) == 0) { // plain noise
        const size_t at = p.size();
        p.resize(target > at ? target : at);
        FillRandom(s, p.data() + at, p.size() - at);
    }
    while (p.size() < target) {
        uint8_t px[2];
        FillRandom(s, px, 2);
        uint32_t count;
        switch (Below(s, 8)) {
        case 0: // literal of no pixels
            p.insert(p.end(), {0, 0, 0});
            break;
        case 1:
        case 2: { // literal, sometimes longer than what follows
            count = Below(s, 4) ? 1 + Below(s, 64) : Below(s, 4) ? 0xFFFF : Below(s, 0x10000);
            p.insert(p.end(), {0, (uint8_t)count, (uint8_t)(count >> 8)});
            const size_t at = p.size(), want = (size_t)count * B, room = target > at ? target - at : 0;
            p.resize(at + (want < room ? want : room));
            FillRandom(s, p.data() + at, p.size() - at);
            break;
        }
        case 3:
        case 4: // repeat of a 15-bit count
            count = Below(s, 3) ? 1 + Below(s, 300) : 0x7FFF;
            p.insert(p.end(), {(uint8_t)(0x80 | count >> 8), (uint8_t)count});
            p.insert(p.end(), px, px + B);
            break;
        case 5: // repeat whose first byte lacks the high bit, or of no pixels
            if (Below(s, 2))
                p.insert(p.end(), {(uint8_t)(1 + Below(s, 0x7F)), (uint8_t)Below(s, 256)});
            else
                p.insert(p.end(), {0x80, 0});
            p.insert(p.end(), px, px + B);
            break;
        case 6: // one repeat for the whole tile and then some
            count = tile / B + Below(s, 3);
            if (count > 0x7FFF)
                count = 0x7FFF;
            p.insert(p.end(), {(uint8_t)(0x80 | count >> 8), (uint8_t)count});
            p.insert(p.end(), px, px + B);
            break;
        default: // a record cut short
            p.push_back(px[0] ? px[0] : 1);
        }
    }
    if (p.size() > target)
        p.resize(target);
    Emit(s, type, Below(s, 2), p, out);
}

static void LoginReply(HostileStream *s, std::vector<uint8_t> *out)
{
    static const uint32_t statuses[] = {0, 0, 1, 2, 3, 0x7FFFFFFF, 0xFFFFFFFF};
    uint8_t head[4];
    PutU32LE(head, Pick(s, statuses, 7));
    std::vector<uint8_t> p;
    Payload(s, PickLength(s, kLoginReplyLen, kLoginReplyLen), head, 4, &p); // the name has no terminator
    Emit(s, PKT_LOGIN_REPLY, Below(s, 2), p, out);
}

// Odd but showable screens; the viewer is taken to show them from here on.
static void ScreenInfo(HostileStream *s, std::vector<uint8_t> *out)
{
    static const uint32_t sides[] = {32, 33, 63, 64, 100, 257, 1023, 2047, 2048};
    static const uint16_t formats[][2] = {{1, 1}, {1, 4}, {1, 8}, {1, 16}, {4, 1}, {2, 2},
                                          {2, 4}, {8, 1}, {2, 8}, {4, 4},  {16, 1}}; // planes, bits
    uint16_t side[2];
    for (uint16_t &v : side) {
        const uint32_t any = kHostileSideMin + Below(s, kHostileSideMax - kHostileSideMin + 1);
        v = (uint16_t)(Below(s, 2) ? Pick(s, sides, 9) : any);
    }
    const uint16_t *f = formats[Below(s, sizeof formats / sizeof formats[0])];
    uint8_t head[kScreenInfoLen];
    PutU16LE(head + 0, side[0]);
    PutU16LE(head + 2, side[1]);
    PutU16LE(head + 4, f[0]);
    PutU16LE(head + 6, f[1]);
    PutU16LE(head + 8, (uint16_t)Next(s)); // display depth: shown, never used
    head[10] = (uint8_t)Next(s);           // screen count
    head[11] = (uint8_t)Next(s);           // current screen
    std::vector<uint8_t> p;
    Payload(s, PickLength(s, kScreenInfoLen, kScreenInfoLen), head, sizeof head, &p);
    Emit(s, PKT_SCREEN_INFO, Below(s, 2), p, out);
    s->layoutValid = TileLayoutCompute(&s->layout, side[0], side[1], f[0] * f[1]);
}

// The viewer rebuilds for the screen the simulator announces; parts follow at once.
static void Restart(HostileStream *s, std::vector<uint8_t> *out)
{
    static const uint32_t lengths[] = {0, 0, 0, 0, 1, 4, kMaxPayloadSize};
    std::vector<uint8_t> p;
    Payload(s, Pick(s, lengths, 7), nullptr, 0, &p);
    Emit(s, PKT_DESKTOP_RESTART, Below(s, 2), p, out);
    s->layoutValid = TileLayoutCompute(&s->layout, s->baseWidth, s->baseHeight, s->baseDepth);
    s->burst = 1 + Below(s, kRestartBurstMax);
}

static void CursorShape(HostileStream *s, std::vector<uint8_t> *out)
{
    static const uint32_t widths[] = {0, 1, 8, 16, 17, 32, 33, 64, 255};
    static const uint32_t heights[] = {0, 1, 2, 32, 63, 64, 65, 66, 128, 255}; // both masks: twice the cursor's
    const uint8_t head[5] = {(uint8_t)Next(s), (uint8_t)Next(s),
                             (uint8_t)(Below(s, 4) ? Pick(s, widths, 9) : Below(s, 256)),
                             (uint8_t)(Below(s, 4) ? Pick(s, heights, 10) : Below(s, 256)), (uint8_t)Next(s)};
    std::vector<uint8_t> p;
    Payload(s, PickLength(s, kCursorShapeLen, 0), head, sizeof head, &p);
    Emit(s, PKT_CURSOR_SHAPE, Below(s, 2), p, out);
}

// Values where signed and unsigned readings part, and where 16-bit window coordinates wrap.
static uint32_t EdgeValue(HostileStream *s)
{
    static const uint32_t values[] = {0,      1,       14,         15,         0x7FFF,     0x8000,
                                      0xFFFF, 0x10000, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFE, 0xFFFFFFFF};
    return Below(s, 4) ? Pick(s, values, 12) : (uint32_t)Next(s);
}

static void Small(HostileStream *s, uint32_t type, uint32_t size, std::vector<uint8_t> *out)
{
    uint8_t head[8];
    PutU32LE(head, EdgeValue(s));
    PutU32LE(head + 4, EdgeValue(s));
    std::vector<uint8_t> p;
    Payload(s, PickLength(s, size, 0), head, type == PKT_KEYBOARD_LIGHTS || type == PKT_PALETTE ? 0 : 8, &p);
    Emit(s, type, Below(s, 2), p, out);
}

// Clipboard chunks: the next chunk of a sound text being sent (so that texts are
// collected and handed to the clipboard), the start of a new one, or a chunk whose
// numbers are at and past their limits.
static void ClipText(HostileStream *s, std::vector<uint8_t> *out)
{
    uint32_t total, index, count, length;
    const uint32_t r = Below(s, 8);
    if (r < 3 && s->clipNext < s->clipCount) {
        total = s->clipTotal;
        index = s->clipNext++;
        count = s->clipCount;
        length = index + 1 < count ? kClipChunkMax : total - index * kClipChunkMax;
    } else if (r < 5) {
        static const uint32_t totals[] = {1, 2, kClipChunkMax - 1, kClipChunkMax, kClipChunkMax + 1, 3 * kClipChunkMax};
        total = Below(s, 2) ? Pick(s, totals, 6) : 1 + Below(s, 40000);
        s->clipTotal = total;
        s->clipCount = ClipChunkCount(total);
        s->clipNext = 1;
        index = 0;
        count = s->clipCount;
        length = count > 1 ? kClipChunkMax : total;
    } else {
        static const uint32_t totals[] = {
            0,          1,          kClipChunkMax, kClipChunkMax + 1, kClipTextMax - 1, kClipTextMax, kClipTextMax + 1,
            0x7FFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF};
        total = Below(s, 4) ? Pick(s, totals, 10) : (uint32_t)Next(s);
        const uint32_t fits = ClipChunkCount(total);
        const uint32_t counts[] = {0, 1, fits, fits + 1, fits ? fits - 1 : 0, 0xFFFFFFFF};
        count = Below(s, 4) ? Pick(s, counts, 6) : EdgeValue(s);
        const uint32_t indexes[] = {0, 1, count ? count - 1 : 0, count, count + 1, 0xFFFFFFFF};
        index = Below(s, 4) ? Pick(s, indexes, 6) : EdgeValue(s);
        const uint32_t lengths[] = {0, 1, kClipChunkMax - 1, kClipChunkMax, kClipChunkMax + 1, total, 0xFFFFFFFF};
        length = Below(s, 4) ? Pick(s, lengths, 7) : EdgeValue(s);
        s->clipNext = s->clipCount; // a sound text in progress is broken by now
    }
    uint8_t head[kClipChunkHead];
    PutU32LE(head, total);
    PutU32LE(head + 4, index);
    PutU32LE(head + 8, count);
    PutU32LE(head + 12, length);
    const uint32_t exact = length <= kClipChunkMax ? kClipChunkHead + length : kClipChunkHead + kClipChunkMax;
    uint32_t n;
    switch (Below(s, 14)) {
    case 0:
        n = Below(s, kClipChunkHead + 1);
        break;
    case 1:
        n = exact - 1;
        break;
    case 2:
        n = exact + 1;
        break;
    case 3:
        n = Below(s, (uint64_t)kMaxPayloadSize + 1);
        break;
    case 4:
        n = kMaxPayloadSize;
        break;
    default:
        n = exact;
    }
    if (n > kMaxPayloadSize)
        n = kMaxPayloadSize;
    std::vector<uint8_t> p;
    Payload(s, n, head, sizeof head, &p);
    Emit(s, PKT_CLIPBOARD_TEXT, Below(s, 2), p, out);
}

static void Other(HostileStream *s, std::vector<uint8_t> *out)
{
    static const uint32_t types[] = {0,  2,  4,  6,  10, 12, 16, 18, 19, 20, 25, 29, 32, 34,         36,        38,
                                     40, 46, 47, 48, 49, 50, 51, 53, 55, 56, 58, 59, 60, 0x7FFFFFFF, 0xFFFFFFFF};
    uint32_t type = Pick(s, types, sizeof types / sizeof types[0]);
    if (Below(s, 4) == 0) {
        type = (uint32_t)Next(s);
        if (IsHandledAgentType(type))
            type = 0xFFFFFFFF;
    }
    std::vector<uint8_t> p;
    Payload(s, PickLength(s, Below(s, 600), 0), nullptr, 0, &p);
    Emit(s, type, 0, p, out);
}

static int PickKind(HostileStream *s)
{
    if (s->burst) {
        s->burst--;
        const int parts[] = {kKindXor, kKindXorRle, kKindRle};
        const int k = parts[Below(s, 3)];
        if (!(s->skip >> k & 1))
            return k;
    }
    for (;;) {
        uint32_t r = Below(s, 1000);
        int k = 0;
        while (r >= kWeights[k])
            r -= kWeights[k++];
        if (!(s->skip >> k & 1))
            return k;
    }
}

size_t HostileNext(HostileStream *s, std::vector<uint8_t> *out)
{
    if (!s->left)
        return 0;
    s->left--;
    const size_t before = out->size();
    switch (PickKind(s)) {
    case kKindLogin:
        LoginReply(s, out);
        break;
    case kKindScreen:
        ScreenInfo(s, out);
        break;
    case kKindXor:
        XorPart(s, out);
        break;
    case kKindXorRle:
        RlePart(s, PKT_SCREEN_XOR_RLE_PART, out);
        break;
    case kKindRle:
        RlePart(s, PKT_SCREEN_RLE_PART, out);
        break;
    case kKindPalette:
        Small(s, PKT_PALETTE, kPaletteLen, out);
        break;
    case kKindLights:
        Small(s, PKT_KEYBOARD_LIGHTS, kKeyboardLightsLen, out);
        break;
    case kKindRestart:
        Restart(s, out);
        break;
    case kKindCursorStd:
        Small(s, PKT_CURSOR_STANDARD, kCursorStandardLen, out);
        break;
    case kKindCursorShape:
        CursorShape(s, out);
        break;
    case kKindCursorPos:
        Small(s, PKT_CURSOR_POS, kCursorPosLen, out);
        break;
    case kKindClip:
        ClipText(s, out);
        break;
    case kKindLater:
        Small(s, Pick(s, LaterTypes().data(), LaterTypes().size()), Below(s, 600), out);
        break;
    default:
        Other(s, out);
    }
    return out->size() - before;
}

// ---- packets that end the session -----------------------------------------------------

static const char *const kFatalNames[kFatalKinds] = {"unknown-required", "short-login",  "short-screen", "too-long",
                                                     "screen-narrow",    "screen-depth", "screen-huge"};

int HostileFatalParse(const char *name, size_t len)
{
    for (int k = 0; k < kFatalKinds; k++)
        if (strlen(kFatalNames[k]) == len && memcmp(kFatalNames[k], name, len) == 0)
            return k;
    return -1;
}

const char *HostileFatalName(int kind) { return kind >= 0 && kind < kFatalKinds ? kFatalNames[kind] : "?"; }

static void FatalPacket(uint32_t type, uint32_t len, const uint8_t *payload, size_t have, std::vector<uint8_t> *out)
{
    uint8_t hdr[kPacketHeaderSize];
    SessPacketHeader h = {type, len, 1};
    EncodePacketHeader(&h, hdr, sizeof hdr);
    out->insert(out->end(), hdr, hdr + sizeof hdr);
    out->insert(out->end(), payload, payload + have);
}

static void FatalScreen(uint16_t width, uint16_t height, uint16_t bits, uint32_t len, std::vector<uint8_t> *out)
{
    uint8_t p[kScreenInfoLen] = {0};
    PutU16LE(p + 0, width);
    PutU16LE(p + 2, height);
    PutU16LE(p + 4, 1);
    PutU16LE(p + 6, bits);
    PutU16LE(p + 8, bits);
    p[10] = 1;
    p[11] = 1;
    FatalPacket(PKT_SCREEN_INFO, len, p, len, out);
}

void HostileFatalBytes(int kind, std::vector<uint8_t> *out)
{
    switch (kind) {
    case kFatalUnknownRequired: {
        const uint8_t p[4] = {0xDE, 0xAD, 0xBE, 0xEF};
        FatalPacket(60, sizeof p, p, sizeof p, out);
        break;
    }
    case kFatalShortLogin:
        break;
    case kFatalShortScreen:
        FatalScreen(1024, 768, 16, kScreenInfoLen - 1, out);
        break;
    case kFatalTooLong: {
        const uint8_t p[32] = {0}; // the header alone must end it; nothing more is coming
        FatalPacket(PKT_SCREEN_XOR_PART, kMaxPayloadSize + 1, p, sizeof p, out);
        break;
    }
    case kFatalScreenNarrow:
        FatalScreen(31, 600, 16, kScreenInfoLen, out);
        break;
    case kFatalScreenDepth:
        FatalScreen(640, 480, 24, kScreenInfoLen, out);
        break;
    case kFatalScreenHuge:
        FatalScreen(65535, 65535, 16, kScreenInfoLen, out);
        break;
    }
}

// ---- floods ---------------------------------------------------------------------------

static const char *const kFloodNames[kFloodKinds] = {"cursor-pos", "cursor-shape", "restart",
                                                     "palette",    "lights",       "ft-replies"};

int HostileFloodParse(const char *name, size_t len)
{
    for (int k = 0; k < kFloodKinds; k++)
        if (strlen(kFloodNames[k]) == len && memcmp(kFloodNames[k], name, len) == 0)
            return k;
    return -1;
}

const char *HostileFloodName(int kind) { return kind >= 0 && kind < kFloodKinds ? kFloodNames[kind] : "?"; }

static void FloodPacket(uint32_t type, const uint8_t *payload, uint32_t len, std::vector<uint8_t> *out)
{
    uint8_t hdr[kPacketHeaderSize];
    SessPacketHeader h = {type, len, 0};
    EncodePacketHeader(&h, hdr, sizeof hdr);
    out->insert(out->end(), hdr, hdr + sizeof hdr);
    out->insert(out->end(), payload, payload + len);
}

void HostileFloodBytes(int kind, uint32_t count, uint16_t width, uint16_t height, std::vector<uint8_t> *out)
{
    static const uint32_t ftResults[] = {PKT_FT_RENAME_RESULT, PKT_FT_CREATE_DIR_RESULT, PKT_FT_SET_ATTRIBUTES_RESULT};
    uint8_t masks[2][2][kSimCursorMaskLen];
    SimCursorPattern(kSimCursorArrow, masks[0][0], masks[0][1]);
    SimCursorPattern(kSimCursorBox, masks[1][0], masks[1][1]);
    const uint32_t w = width ? width : 1, h = height ? height : 1;
    uint8_t p[kPaletteLen];
    for (uint32_t i = 0; i < count; i++) {
        switch (kind) {
        case kFloodCursorPos:
            PutU32LE(p, i * 37 % w);
            PutU32LE(p + 4, i * 11 % h);
            FloodPacket(PKT_CURSOR_POS, p, kCursorPosLen, out);
            break;
        case kFloodCursorShape:
            SimCursorShapePayload((uint8_t)(i % 16), (uint8_t)(i / 16 % 16), 32, 64, masks[i & 1][0], masks[i & 1][1],
                                  p);
            FloodPacket(PKT_CURSOR_SHAPE, p, kCursorShapeLen, out);
            break;
        case kFloodRestart:
            FloodPacket(PKT_DESKTOP_RESTART, p, 0, out);
            break;
        case kFloodPalette:
            for (uint32_t e = 0; e < 256; e++) {
                p[e * 4 + 0] = (uint8_t)(e + i);
                p[e * 4 + 1] = (uint8_t)(e * 3 + i);
                p[e * 4 + 2] = (uint8_t)(255 - e + i);
                p[e * 4 + 3] = 0;
            }
            FloodPacket(PKT_PALETTE, p, kPaletteLen, out);
            break;
        case kFloodLights:
            p[0] = (uint8_t)(i & 1);
            p[1] = (uint8_t)(i >> 1 & 1);
            p[2] = (uint8_t)(i >> 2 & 1);
            FloodPacket(PKT_KEYBOARD_LIGHTS, p, kKeyboardLightsLen, out);
            break;
        case kFloodFtReplies:
            PutU32LE(p, i & 1);
            memcpy(p + 4, "flood", 6);
            FloodPacket(ftResults[i % 3], p, 10, out);
            break;
        }
    }
}
