// The hostile Agent: the same seed gives the same bytes; the bytes are whole packets
// within the limit; the lengths reach every edge of every type; the screens announced
// stay showable; the viewer's own part decoders survive every part of the stream under
// the sanitizers; the fatal packets are what they say; the floods are whole sound packets;
// and the control commands parse.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "desktop/clipboard.h"
#include "desktop/decode.h"
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"
#include "session/packet.h"
#include "session/routes.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/hostile.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Packet {
    SessPacketHeader h;
    Bytes payload;
};

// A stream from a 1030 x 770 x 16 screen: its edge tiles differ from the regular ones.
std::vector<Packet> Stream(uint32_t seed, uint32_t count, uint32_t skip = 0, Bytes *raw = nullptr)
{
    static HostileStream s; // a whole tile layout: too big for the stack of a test
    EXPECT_TRUE(HostileInit(&s, seed, count, skip, 1030, 770, 16));
    Bytes bytes;
    while (HostileNext(&s, &bytes)) {
    }
    std::vector<Packet> out;
    for (size_t off = 0; off < bytes.size();) {
        Packet p;
        EXPECT_TRUE(DecodePacketHeader(bytes.data() + off, bytes.size() - off, &p.h));
        EXPECT_LE(p.h.dwDataLen, kMaxPayloadSize);
        EXPECT_LE(p.h.dwDataLen, bytes.size() - off - kPacketHeaderSize);
        const uint8_t *at = bytes.data() + off + kPacketHeaderSize;
        p.payload.assign(at, at + p.h.dwDataLen);
        off += kPacketHeaderSize + p.h.dwDataLen;
        out.push_back(std::move(p));
    }
    uint64_t counted = 0;
    for (uint64_t n : s.sent)
        counted += n;
    EXPECT_EQ(counted, count);
    EXPECT_EQ(s.bytes, bytes.size());
    if (raw)
        *raw = std::move(bytes);
    return out;
}

TEST(SimHostile, SameSeedSameBytesWholePacketsWithinTheLimit)
{
    Bytes a, b, c;
    EXPECT_EQ(Stream(7, 3000, 0, &a).size(), 3000u);
    Stream(7, 3000, 0, &b);
    Stream(8, 3000, 0, &c);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    HostileStream s;
    EXPECT_FALSE(HostileInit(&s, 1, 0, 0, 1024, 768, 16));
    EXPECT_FALSE(HostileInit(&s, 1, kHostileCountMax + 1, 0, 1024, 768, 16));
    EXPECT_FALSE(HostileInit(&s, 1, 10, (1u << kHostileKinds) - 1, 1024, 768, 16));
}

TEST(SimHostile, LengthsReachEveryEdgeAndShortFatalFormsStayOut)
{
    std::map<uint32_t, std::set<uint32_t>> lengths;
    std::set<uint32_t> otherRequired, types;
    for (const Packet &p : Stream(1, 20000)) {
        types.insert(p.h.dwType);
        const int kind = HostileKindOf(p.h.dwType);
        lengths[kind == kHostileOther   ? 0xFFFFFFFFu
                : kind == kHostileLater ? 0xFFFFFFFEu
                                        : p.h.dwType]
            .insert(p.h.dwDataLen);
        if (kind == kHostileOther) {
            otherRequired.insert(p.h.dwRequired);
            EXPECT_FALSE(IsHandledAgentType(p.h.dwType)) << p.h.dwType;
        }
    }
    const uint32_t M = kMaxPayloadSize;
    // Tiles of 1030 x 770 x 16: 32 x 24 (64 line bytes), the last column 38 wide, the last row 26 high.
    const struct {
        uint32_t type;
        std::vector<uint32_t> want;
        uint32_t shortest;
    } cases[] = {
        {PKT_LOGIN_REPLY, {39, 40, M}, 39},
        {PKT_SCREEN_INFO, {12, 13, M}, 12},
        {PKT_SCREEN_XOR_PART, {0, 1, 2, 1537, 1538, 1539, 2 + 24 * 76, 2 + 26 * 64, 2 + 26 * 76, M}, 0},
        {PKT_SCREEN_XOR_RLE_PART, {0, 1, 2, M}, 0},
        {PKT_SCREEN_RLE_PART, {0, 1, 2, M}, 0},
        {PKT_PALETTE, {0, 1023, 1024, 1025, M}, 0},
        {PKT_KEYBOARD_LIGHTS, {0, 2, 3, 4, M}, 0},
        {PKT_DESKTOP_RESTART, {0, 1, M}, 0},
        {PKT_CURSOR_STANDARD, {0, 3, 4, 5, M}, 0},
        {PKT_CURSOR_SHAPE, {0, 260, 261, 262, M}, 0},
        {PKT_CURSOR_POS, {0, 7, 8, 9, M}, 0},
        {PKT_CLIPBOARD_TEXT, {0, 15, 16, 17, 16 + 8192, 16 + 8193, M}, 0},
        {0xFFFFFFFEu, {0, M}, 0}, // console, settings and file-transfer types
        {0xFFFFFFFFu, {0, M}, 0},
    };
    for (const auto &c : cases) {
        const std::set<uint32_t> &got = lengths[c.type];
        for (uint32_t n : c.want)
            EXPECT_TRUE(got.count(n)) << "type " << c.type << " never " << n << " bytes";
        ASSERT_FALSE(got.empty());
        EXPECT_EQ(*got.begin(), c.shortest) << "type " << c.type;
    }
    EXPECT_EQ(otherRequired, std::set<uint32_t>{0});
    for (size_t i = 0; i < kPacketRouteCount; i++)
        EXPECT_TRUE(types.count(kPacketRoutes[i].type)) << kPacketRoutes[i].name << " never sent";
}

TEST(SimHostile, ScreensStayShowableAndSkippedKindsNeverAppear)
{
    std::set<int> depths;
    for (const Packet &p : Stream(2, 20000, 1u << 0 | 1u << kHostileOther)) {
        EXPECT_NE(p.h.dwType, PKT_LOGIN_REPLY);
        EXPECT_NE(HostileKindOf(p.h.dwType), kHostileOther);
        if (p.h.dwType != PKT_SCREEN_INFO)
            continue;
        RemoteScreen rs;
        ASSERT_TRUE(ParseScreenInfo(&p.h, p.payload.data(), &rs));
        const int depth = rs.planes * rs.bitsPerPixel;
        TileLayout layout;
        EXPECT_TRUE(rs.width >= kHostileSideMin && rs.width <= kHostileSideMax && rs.height >= kHostileSideMin &&
                    rs.height <= kHostileSideMax && TileLayoutCompute(&layout, rs.width, rs.height, depth))
            << rs.width << " x " << rs.height << " x " << depth;
        depths.insert(depth);
    }
    EXPECT_EQ(depths, (std::set<int>{1, 4, 8, 16}));
}

// Every part of the stream through the viewer's decoders, into tile buffers and
// payloads of exactly their size, for the screen the viewer would be showing.
TEST(SimHostile, ViewerDecodersSurviveTheParts)
{
    static TileLayout layout, base;
    ASSERT_TRUE(TileLayoutCompute(&base, 1030, 770, 16));
    layout = base;
    int applied = 0;
    for (const Packet &p : Stream(3, 6000)) {
        const uint32_t t = p.h.dwType;
        RemoteScreen rs;
        if (t == PKT_SCREEN_INFO && ParseScreenInfo(&p.h, p.payload.data(), &rs)) {
            ASSERT_TRUE(TileLayoutCompute(&layout, rs.width, rs.height, rs.planes * rs.bitsPerPixel));
        }
        if (t == PKT_DESKTOP_RESTART)
            layout = base;
        int row, column;
        if ((t != PKT_SCREEN_XOR_PART && t != PKT_SCREEN_RLE_PART && t != PKT_SCREEN_XOR_RLE_PART) ||
            !PartTileAddress(p.payload.data(), p.payload.size(), &row, &column))
            continue;
        const TileGeometry *g = &layout.tiles[row][column];
        Bytes tile(g->size);
        const uint8_t *data = p.payload.data() + 2; // the payload's buffer is exactly its size
        const size_t len = p.payload.size() - 2;
        if (t == PKT_SCREEN_XOR_PART)
            applied += ApplyXorPart(g, tile.data(), data, len) != kPartDropped;
        else if (layout.depth == 8 || layout.depth == 16)
            applied +=
                ApplyRlePart(g, tile.data(), data, len, layout.depth / 8, t == PKT_SCREEN_XOR_RLE_PART) != kPartDropped;
    }
    EXPECT_GT(applied, 1000);
}

// The clipboard chunks through the viewer's checks into a block of exactly total + 1
// bytes, as the receive thread collects them: sound texts come out whole, the rest is
// refused, and nothing is written outside the block.
TEST(SimHostile, ClipboardChunksAreCollectedOrRefused)
{
    ClipAssembly a = {};
    Bytes block;
    int whole = 0, refused = 0;
    for (const Packet &p : Stream(4, 20000)) {
        if (p.h.dwType != PKT_CLIPBOARD_TEXT)
            continue;
        ClipChunk c;
        const char *why = "";
        uint32_t offset;
        int begin, last;
        if (!ParseClipChunk(&p.h, p.payload.data(), &c, &why) || !ClipAssemblyPlace(&a, &c, &offset, &begin, &last)) {
            refused++;
            a.active = 0; // the viewer drops the text collected so far
            block.clear();
            continue;
        }
        if (begin)
            block.assign((size_t)c.total + 1, 0);
        ASSERT_LE((size_t)offset + c.length + last, block.size());
        memcpy(block.data() + offset, c.data, c.length);
        whole += last;
    }
    EXPECT_GT(whole, 20);
    EXPECT_GT(refused, 200);
}

TEST(SimHostile, FatalPacketsAndTheControlCommand)
{
    const struct {
        const char *name;
        uint32_t type, len;
        size_t bytes;
    } fatal[] = {
        {"unknown-required", 60, 4, 16},
        {"short-login", PKT_LOGIN_REPLY, 38, 50}, // the cut answer
        {"short-screen", PKT_SCREEN_INFO, 11, 23},
        {"too-long", PKT_SCREEN_XOR_PART, kMaxPayloadSize + 1, 44},
        {"screen-narrow", PKT_SCREEN_INFO, 12, 24},
        {"screen-depth", PKT_SCREEN_INFO, 12, 24},
        {"screen-huge", PKT_SCREEN_INFO, 12, 24},
    };
    for (const auto &f : fatal) {
        const int kind = HostileFatalParse(f.name, strlen(f.name));
        ASSERT_GE(kind, 0) << f.name;
        EXPECT_STREQ(HostileFatalName(kind), f.name);
        Bytes b;
        HostileFatalBytes(kind, &b);
        if (kind == kFatalShortLogin) {
            EXPECT_TRUE(b.empty());
            SimOptions opt;
            SimOptionsInit(&opt);
            opt.loginReplyLen = kLoginReplyLen - 1;
            SimAppendLoginReply(&opt, 0, &b);
        }
        SessPacketHeader h;
        ASSERT_TRUE(DecodePacketHeader(b.data(), b.size(), &h));
        EXPECT_EQ(h.dwType, f.type) << f.name;
        EXPECT_EQ(h.dwDataLen, f.len) << f.name;
        EXPECT_EQ(h.dwRequired, 1u) << f.name;
        EXPECT_EQ(b.size(), f.bytes) << f.name;
        RemoteScreen rs;
        TileLayout layout;
        if (f.type == PKT_SCREEN_INFO && ParseScreenInfo(&h, b.data() + kPacketHeaderSize, &rs)) {
            EXPECT_FALSE(TileLayoutCompute(&layout, rs.width, rs.height, rs.planes * rs.bitsPerPixel)) << f.name;
        }
    }
    EXPECT_EQ(HostileFatalParse("short", 5), -1);

    const struct {
        std::string line;
        uint32_t seed, count, skip;
        const char *error;
    } commands[] = {
        {"hostile 5 100", 5, 100, 0, nullptr},
        {"hostile 4294967295 1000000 1,other,28,17", 0xFFFFFFFFu, 1000000, 1u << 0 | 1u << 13 | 1u << 10 | 1u << 11,
         nullptr},
        {"hostile 5 0", 0, 0, 0, "at least 1"},
        {"hostile 5 1000001", 0, 0, 0, "count"},
        {"hostile 5 10 2", 0, 0, 0, "kinds left out"},
        {"hostile 5 10 1,", 0, 0, 0, "kinds left out"},
        {"hostile 5 10 1,3,5,7,8,9,11,13,14,15,17,28,later,other", 0, 0, 0, "every kind"},
        {"hostile-fatal huge", 0, 0, 0, "unknown kind"},
    };
    for (const auto &c : commands) {
        SimControlCommand cmd;
        char err[200] = "";
        const int ok = SimParseControl(c.line.data(), c.line.size(), &cmd, err, sizeof err);
        EXPECT_EQ(ok, c.error == nullptr) << c.line << " -> " << err;
        if (c.error) {
            EXPECT_NE(strstr(err, c.error), nullptr) << c.line << " -> " << err;
            continue;
        }
        EXPECT_EQ(cmd.kind, kCtlHostile);
        EXPECT_EQ(cmd.seed, c.seed);
        EXPECT_EQ(cmd.count, c.count);
        EXPECT_EQ(cmd.skip, c.skip);
    }
}

// Each flood is count whole packets of its types and sizes, sound for the screen and
// changing from one to the next (the viewer must not be able to skip them as repeats).
TEST(AgentSimHostile, FloodsAreSoundPacketsBackToBack)
{
    const struct {
        const char *line;
        int kind;
        uint32_t count;
        std::set<uint32_t> types;
        uint32_t len;
        const char *error;
    } rows[] = {
        {"flood cursor-pos 20000", kFloodCursorPos, 20000, {PKT_CURSOR_POS}, kCursorPosLen, nullptr},
        {"flood cursor-shape 7", kFloodCursorShape, 7, {PKT_CURSOR_SHAPE}, kCursorShapeLen, nullptr},
        {"flood restart 2000", kFloodRestart, 2000, {PKT_DESKTOP_RESTART}, 0, nullptr},
        {"flood palette 3", kFloodPalette, 3, {PKT_PALETTE}, kPaletteLen, nullptr},
        {"flood lights 9", kFloodLights, 9, {PKT_KEYBOARD_LIGHTS}, kKeyboardLightsLen, nullptr},
        {"flood ft-replies 100000",
         kFloodFtReplies,
         100000,
         {PKT_FT_RENAME_RESULT, PKT_FT_CREATE_DIR_RESULT, PKT_FT_SET_ATTRIBUTES_RESULT},
         10,
         nullptr},
        {"flood cursor-pos 0", 0, 0, {}, 0, "at least 1"},
        {"flood cursor-pos 100001", 0, 0, {}, 0, "count"},
        {"flood mouse 5", 0, 0, {}, 0, "unknown kind"},
        {"flood restart", 0, 0, {}, 0, "takes 2 arguments"},
    };
    for (const auto &r : rows) {
        SimControlCommand cmd;
        char err[200] = "";
        const int ok = SimParseControl(r.line, strlen(r.line), &cmd, err, sizeof err);
        ASSERT_EQ(ok, r.error == nullptr) << r.line << " -> " << err;
        if (r.error) {
            EXPECT_NE(strstr(err, r.error), nullptr) << r.line << " -> " << err;
            continue;
        }
        EXPECT_EQ(cmd.kind, kCtlFlood);
        EXPECT_EQ(cmd.fatal, r.kind);
        EXPECT_EQ(cmd.count, r.count);
        Bytes b;
        HostileFloodBytes(r.kind, r.count, 1030, 770, &b);
        ASSERT_EQ(b.size(), (size_t)r.count * (kPacketHeaderSize + r.len)) << r.line;
        std::set<uint32_t> seen;
        const uint8_t *last = nullptr;
        for (size_t at = 0; at < b.size(); at += kPacketHeaderSize + r.len) {
            SessPacketHeader h;
            ASSERT_TRUE(DecodePacketHeader(b.data() + at, kPacketHeaderSize, &h));
            seen.insert(h.dwType);
            EXPECT_EQ(h.dwDataLen, r.len);
            EXPECT_EQ(h.dwRequired, 0u);
            const uint8_t *p = b.data() + at + kPacketHeaderSize;
            if (r.kind == kFloodCursorPos) {
                EXPECT_LT(GetU32LE(p), 1030u);
                EXPECT_LT(GetU32LE(p + 4), 770u);
            }
            if (r.kind == kFloodCursorShape) {
                EXPECT_EQ(p[2] * 100 + p[3], 32 * 100 + 64);
            }
            if (last && r.len) {
                EXPECT_NE(memcmp(last, p, r.len), 0) << r.line << " at " << at;
            }
            last = p;
        }
        EXPECT_EQ(seen, r.types) << r.line;
    }
}

} // namespace
