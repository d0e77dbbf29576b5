// File-transfer messages: every layout byte by byte against offsets written out here,
// each Agent message cut short and lengthened, and the hostile contents to refuse.
#include "filetransfer/messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// One field of an expected payload: a u32, a u64, or a text with its NUL.
struct Field {
    size_t at;
    int kind; // 4, 8, or 's'
    uint64_t v;
    std::string s;
};
Field U32(size_t at, uint32_t v) { return {at, 4, v, {}}; }
Field U64(size_t at, uint64_t v) { return {at, 8, v, {}}; }
Field Str(size_t at, const std::string &s) { return {at, 's', 0, s}; }

// Header (flag 1) and a zero payload of len bytes with the fields written in.
Bytes Expect(uint32_t type, size_t len, const std::vector<Field> &fields)
{
    Bytes b(12 + len, 0);
    b[0] = (uint8_t)type;
    b[4] = (uint8_t)len;
    b[5] = (uint8_t)(len >> 8);
    b[8] = 1;
    for (const Field &f : fields) {
        uint8_t *p = &b[12 + f.at];
        if (f.kind == 's')
            memcpy(p, f.s.c_str(), f.s.size() + 1);
        else
            for (int i = 0; i < f.kind; i++)
                p[i] = (uint8_t)(f.v >> (8 * i));
    }
    return b;
}

template <typename F>
Bytes Built(F build)
{
    Bytes b(kMaxPacketSize);
    b.resize(build(b.data(), b.size()));
    return b;
}

const std::string kLong(260, 'p'), kTooLong(261, 'p');

TEST(FtMessages, EveryLayoutByteForByte)
{
    FtDelete del = {1, 1, 0, 0x27, "C:\\x\\dir"};
    FtDownload dl = {1, 0, "C:\\Data", "a.txt", 0x21, 0x0102030405060708ull, 0x1112131415161718ull};
    const uint8_t cipher[80] = {0xAB};
    FtFileBegin fb = {0, "D:\\t\\f.bin", 0x20, 0x2122232425262728ull, 0x3132333435363738ull, 1, 1, 80, cipher};
    FtFileBegin folder = {1, "sub\\dir", 0x10, 5, 6, 0, 1, 0, nullptr};
    FtFileData fd = {0, 1, 8, cipher};
    FtEntry e1 = {1, 0x10, 1, 2, 3, 0, "Windows"}, e2 = {0, 0x21, 4, 5, 6, 5000000000ull, "a.txt"};
    uint8_t entries[200];
    const size_t n1 = FtPutEntry(&e1, entries, sizeof entries);
    const size_t n2 = FtPutEntry(&e2, entries + n1, sizeof entries - n1);
    FtListing head = {};
    head.driveTypes[2] = 3;
    head.driveTypes[3] = 5;
    head.currentDrive = 2;
    head.freeBytes = 0x100000002ull;
    strcpy(head.path, "C:\\Windows");
    head.complete = 0;
    head.count = 2;
    head.entries = entries;
    head.entriesLen = n1 + n2;
    const std::vector<Field> entryFields = {U32(0, 1),
                                            U32(4, 0x10),
                                            U64(8, 1),
                                            U64(16, 2),
                                            U64(24, 3),
                                            U64(32, 0),
                                            Str(40, "Windows"),
                                            U32(48, 0),
                                            U32(52, 0x21),
                                            U64(56, 4),
                                            U64(64, 5),
                                            U64(72, 6),
                                            U64(80, 5000000000ull),
                                            Str(88, "a.txt")};
    auto shifted = [&](size_t by) {
        std::vector<Field> f = entryFields;
        for (Field &x : f)
            x.at += by;
        return f;
    };
    std::vector<Field> listing = shifted(385);
    for (Field f : {U32(8, 3), U32(12, 5), U32(104, 2), U64(108, 0x100000002ull), Str(116, "C:\\Windows"), U32(377, 0),
                    U32(381, 2)})
        listing.push_back(f);
    std::vector<Field> more = shifted(8);
    more.push_back(U32(0, 1));
    more.push_back(U32(4, 2));
    std::vector<Field> beginFields = {U32(0, 0),
                                      Str(4, "D:\\t\\f.bin"),
                                      U32(265, 0x20),
                                      U64(269, 0x2122232425262728ull),
                                      U64(277, 0x3132333435363738ull),
                                      U32(285, 1),
                                      U32(289, 1),
                                      U32(293, 80),
                                      U32(297, 0xAB)};

    struct Row {
        const char *name;
        Bytes built, expected;
    } rows[] = {
        {"29 list dir", Built([](uint8_t *o, size_t c) { return BuildFtListDir(kFtNoDrive, "", o, c); }),
         Expect(29, 265, {U32(0, 0xFFFFFFFF)})},
        {"29 list dir, 260 characters",
         Built([](uint8_t *o, size_t c) { return BuildFtListDir(25, kLong.c_str(), o, c); }),
         Expect(29, 265, {U32(0, 25), Str(4, kLong)})},
        {"30 listing", Built([&](uint8_t *o, size_t c) { return BuildFtListing(&head, o, c); }),
         Expect(30, 385 + n1 + n2, listing)},
        {"31 listing more",
         Built([&](uint8_t *o, size_t c) { return BuildFtListingMore(1, 2, entries, n1 + n2, o, c); }),
         Expect(31, 8 + n1 + n2, more)},
        {"32 set attributes, masked",
         Built([](uint8_t *o, size_t c) { return BuildFtSetAttributes(0xFFFF, "C:\\a", o, c); }),
         Expect(32, 265, {U32(0, 0x1127), Str(4, "C:\\a")})},
        {"33 result", Built([](uint8_t *o, size_t c) { return BuildFtResult(33, 0, "Access denied", o, c); }),
         Expect(33, 18, {U32(0, 0), Str(4, "Access denied")})},
        {"34 rename", Built([](uint8_t *o, size_t c) { return BuildFtRename("C:\\old", "C:\\new", 7, o, c); }),
         Expect(34, 526, {Str(0, "C:\\old"), Str(261, "C:\\new"), U32(522, 1)})},
        {"35 result", Built([](uint8_t *o, size_t c) { return BuildFtResult(35, 1, "", o, c); }),
         Expect(35, 5, {U32(0, 1)})},
        {"36 create dir", Built([](uint8_t *o, size_t c) { return BuildFtCreateDir("C:\\new folder", o, c); }),
         Expect(36, 261, {Str(0, "C:\\new folder")})},
        {"37 result", Built([](uint8_t *o, size_t c) { return BuildFtResult(37, 9, "x", o, c); }),
         Expect(37, 6, {U32(0, 1), Str(4, "x")})},
        {"38 delete", Built([&](uint8_t *o, size_t c) { return BuildFtDelete(&del, o, c); }),
         Expect(38, 277, {U32(0, 1), U32(4, 1), U32(8, 0), U32(12, 0x27), Str(16, "C:\\x\\dir")})},
        {"39 confirm delete", Built([](uint8_t *o, size_t c) { return BuildFtQuestion(39, 1, "C:\\r.txt", o, c); }),
         Expect(39, 13, {U32(0, 1), Str(4, "C:\\r.txt")})},
        {"40 answer yes", Built([](uint8_t *o, size_t c) { return BuildFtAnswer(FT_ANSWER_YES, o, c); }),
         Expect(40, 20, {U32(0, 1)})},
        {"40 answer yes to all", Built([](uint8_t *o, size_t c) { return BuildFtAnswer(FT_ANSWER_YES_TO_ALL, o, c); }),
         Expect(40, 20, {U32(4, 1)})},
        {"40 answer no", Built([](uint8_t *o, size_t c) { return BuildFtAnswer(FT_ANSWER_NO, o, c); }),
         Expect(40, 20, {U32(16, 1)})},
        {"40 answer go on", Built([](uint8_t *o, size_t c) { return BuildFtAnswer(FT_ANSWER_GO_ON, o, c); }),
         Expect(40, 20, {})},
        {"41 error", Built([](uint8_t *o, size_t c) { return BuildFtError(6, "C:\\f", "Disk full", o, c); }),
         Expect(41, 275, {U32(0, 6), Str(4, "C:\\f"), Str(265, "Disk full")})},
        {"42 ack", Built([](uint8_t *o, size_t c) { return BuildFtAck(0xDEAD, 1, o, c); }),
         Expect(42, 8, {U32(0, 0xDEAD), U32(4, 1)})},
        {"43 file begin", Built([&](uint8_t *o, size_t c) { return BuildFtFileBegin(&fb, o, c); }),
         Expect(43, 297 + 80, beginFields)},
        {"43 folder begin", Built([&](uint8_t *o, size_t c) { return BuildFtFileBegin(&folder, o, c); }),
         Expect(43, 297, {U32(0, 1), Str(4, "sub\\dir"), U32(265, 0x10), U64(269, 5), U64(277, 6), U32(289, 1)})},
        {"44 file data", Built([&](uint8_t *o, size_t c) { return BuildFtFileData(&fd, o, c); }),
         Expect(44, 20, {U32(4, 1), U32(8, 8), U32(12, 0xAB)})},
        {"45 confirm overwrite", Built([](uint8_t *o, size_t c) { return BuildFtQuestion(45, 0x20, "b", o, c); }),
         Expect(45, 6, {U32(0, 0x20), Str(4, "b")})},
        {"46 download", Built([&](uint8_t *o, size_t c) { return BuildFtDownload(&dl, o, c); }),
         Expect(46, 554,
                {U32(0, 1), U32(4, 0), Str(8, "C:\\Data"), Str(269, "a.txt"), U32(530, 0x21),
                 U64(534, 0x0102030405060708ull), U64(542, 0x1112131415161718ull), U32(550, 0)})},
        {"48 abort", Built([](uint8_t *o, size_t c) { return BuildFtAbort(o, c); }), Expect(48, 0, {})},
    };
    for (const Row &r : rows) {
        ASSERT_EQ(r.built.size(), r.expected.size()) << r.name;
        for (size_t i = 0; i < r.built.size(); i++)
            ASSERT_EQ(r.built[i], r.expected[i])
                << r.name << ": byte " << i << " (payload offset " << (long)i - 12 << ")";
    }

    // What cannot be built: paths over 260, unknown answers, wrong types, no room.
    uint8_t out[kMaxPacketSize];
    EXPECT_EQ(BuildFtListDir(0, kTooLong.c_str(), out, sizeof out), 0u);
    EXPECT_EQ(BuildFtRename("a", kTooLong.c_str(), 0, out, sizeof out), 0u);
    EXPECT_EQ(BuildFtAnswer(2, out, sizeof out), 0u);
    EXPECT_EQ(BuildFtResult(PKT_FT_ACK, 1, "", out, sizeof out), 0u);
    EXPECT_EQ(BuildFtQuestion(39, 0, kTooLong.c_str(), out, sizeof out), 0u);
    EXPECT_EQ(BuildFtDelete(&del, out, 12 + 276), 0u);
}

// Bytes of a packet as the framer gives them: header decoded, payload in an exact block.
struct Fed {
    SessPacketHeader h;
    std::unique_ptr<uint8_t[]> payload;
};
Fed Feed(const Bytes &packet, size_t len)
{
    Fed f;
    DecodePacketHeader(packet.data(), packet.size(), &f.h);
    f.h.dwDataLen = (uint32_t)len;
    f.payload.reset(new uint8_t[len ? len : 1]);
    for (size_t i = 0; i < len; i++)
        f.payload[i] = i + 12 < packet.size() ? packet[12 + i] : 0x5A;
    return f;
}

// Parses with the parser of the packet's type; returns its answer, *why its reason.
int ParseAgent(const Fed &f, const char **why)
{
    union {
        FtListing l;
        FtResult r;
        FtQuestion q;
        FtError e;
        FtAck a;
        FtFileBegin b;
        FtFileData d;
    } u;
    switch (f.h.dwType) {
    case PKT_FT_DIR_LISTING:
        return ParseFtListing(&f.h, f.payload.get(), &u.l, why);
    case PKT_FT_DIR_LISTING_MORE:
        return ParseFtListingMore(&f.h, f.payload.get(), &u.l, why);
    case PKT_FT_SET_ATTRIBUTES_RESULT:
    case PKT_FT_RENAME_RESULT:
    case PKT_FT_CREATE_DIR_RESULT:
        return ParseFtResult(&f.h, f.payload.get(), &u.r, why);
    case PKT_FT_CONFIRM_DELETE:
    case PKT_FT_CONFIRM_OVERWRITE:
        return ParseFtQuestion(&f.h, f.payload.get(), &u.q, why);
    case PKT_FT_ERROR:
        return ParseFtError(&f.h, f.payload.get(), &u.e, why);
    case PKT_FT_ACK:
        return ParseFtAck(&f.h, f.payload.get(), &u.a, why);
    case PKT_FT_FILE_BEGIN:
        return ParseFtFileBegin(&f.h, f.payload.get(), &u.b, why);
    case PKT_FT_FILE_DATA:
        return ParseFtFileData(&f.h, f.payload.get(), &u.d, why);
    }
    return -1;
}

TEST(FtMessages, AgentMessagesCutShortAreRefusedAndLongerOnesTaken)
{
    FtEntry e = {0, 0x20, 1, 2, 3, 4, "file.txt"};
    uint8_t entry[64];
    const size_t en = FtPutEntry(&e, entry, sizeof entry);
    FtListing head = {};
    head.count = 1;
    head.entries = entry;
    head.entriesLen = en;
    strcpy(head.path, "C:\\");
    const uint8_t data[88] = {};
    FtFileBegin fb = {0, "f.bin", 0, 0, 0, 1, 1, 80, data};
    FtFileData fd = {0, 1, 8, data};
    struct Row {
        Bytes packet;
        size_t shortest; // every shorter payload is refused
    } rows[] = {
        {Built([&](uint8_t *o, size_t c) { return BuildFtListing(&head, o, c); }), 385 + en},
        {Built([&](uint8_t *o, size_t c) { return BuildFtListingMore(1, 1, entry, en, o, c); }), 8 + en},
        {Built([](uint8_t *o, size_t c) { return BuildFtResult(33, 1, "text", o, c); }), 4},
        {Built([](uint8_t *o, size_t c) { return BuildFtResult(35, 1, "text", o, c); }), 4},
        {Built([](uint8_t *o, size_t c) { return BuildFtResult(37, 1, "text", o, c); }), 4},
        {Built([](uint8_t *o, size_t c) { return BuildFtQuestion(39, 1, "C:\\a", o, c); }), 9},
        {Built([](uint8_t *o, size_t c) { return BuildFtQuestion(45, 1, "C:\\a", o, c); }), 9},
        {Built([](uint8_t *o, size_t c) { return BuildFtError(7, "C:\\a", "text", o, c); }), 265},
        {Built([](uint8_t *o, size_t c) { return BuildFtAck(0, 1, o, c); }), 8},
        {Built([&](uint8_t *o, size_t c) { return BuildFtFileBegin(&fb, o, c); }), 297 + 80},
        {Built([&](uint8_t *o, size_t c) { return BuildFtFileData(&fd, o, c); }), 12 + 8},
    };
    for (const Row &r : rows) {
        const uint32_t type = GetU32LE(r.packet.data());
        const size_t full = r.packet.size() - 12;
        for (size_t len = 0; len < r.shortest; len++) {
            const char *why = nullptr;
            ASSERT_EQ(ParseAgent(Feed(r.packet, len), &why), 0) << "type " << type << " at " << len;
            ASSERT_NE(why, nullptr);
        }
        for (size_t len : {r.shortest, full, full + 1, full + 1000}) {
            if (len < r.shortest)
                continue;
            const char *why = nullptr;
            EXPECT_EQ(ParseAgent(Feed(r.packet, len), &why), 1) << "type " << type << " at " << len << (why ? why : "");
        }
    }
}

TEST(FtMessages, HostileContentsAreRefusedOrCut)
{
    uint8_t entry[64];
    FtEntry e = {0, 0, 0, 0, 0, 0, "f"};
    const size_t en = FtPutEntry(&e, entry, sizeof entry);
    FtListing head = {};
    head.count = 1;
    head.entries = entry;
    head.entriesLen = en;
    const Bytes listing = Built([&](uint8_t *o, size_t c) { return BuildFtListing(&head, o, c); });
    auto patched = [](Bytes b, size_t at, uint32_t v) {
        PutU32LE(&b[12 + at], v);
        return b;
    };
    auto filled = [](Bytes b, size_t from, size_t to) {
        for (size_t i = from; i < to; i++)
            b[12 + i] = 'x';
        return b;
    };
    const Bytes error = Built([](uint8_t *o, size_t c) { return BuildFtError(0, "C:\\a", "t", o, c); });
    const uint8_t data[24584 + 72] = {};
    FtFileBegin fb = {0, "f", 0, 0, 0, 0, 1, 80, data};
    const Bytes begin = Built([&](uint8_t *o, size_t c) { return BuildFtFileBegin(&fb, o, c); });
    FtFileData fd = {0, 1, 8, data};
    const Bytes dataPkt = Built([&](uint8_t *o, size_t c) { return BuildFtFileData(&fd, o, c); });
    const Bytes question = Built([](uint8_t *o, size_t c) { return BuildFtQuestion(39, 0, "q", o, c); });
    Bytes longQuestion(question.begin(), question.begin() + 16);
    longQuestion.resize(12 + 4 + 263, 'q'); // 262 characters and the NUL
    longQuestion.back() = 0;
    PutU32LE(&longQuestion[4], 4 + 263);
    const Bytes result = Built([](uint8_t *o, size_t c) { return BuildFtResult(33, 0, "err", o, c); });

    struct Row {
        const char *name;
        Bytes packet;
        size_t len; // payload length fed; 0: the whole
        int want;
        const char *why; // part of the reason; NULL: none
    } rows[] = {
        {"count past the entries", patched(listing, 381, 2), 0, 0, "entry count beyond"},
        {"huge count", patched(listing, 381, 0xFFFFFFFF), 0, 0, "entry count beyond"},
        {"name without its NUL", listing, 385 + en - 1, 0, "without its NUL"},
        {"current drive 26", patched(listing, 104, 26), 0, 0, "current drive"},
        {"drive type 7 taken as none", patched(listing, 0, 7), 0, 1, "drive type"},
        {"current directory without NUL", filled(listing, 116, 377), 0, 0, "current directory"},
        {"error kind 8", patched(error, 0, 8), 0, 0, "kind over 7"},
        {"error path without NUL", filled(error, 4, 265), 0, 0, "without its NUL"},
        {"error text without NUL", error, 266, 1, "without its NUL was cut"},
        {"result text without NUL", result, 6, 1, "without its NUL was cut"},
        {"question path without NUL", question, 5, 0, "without its NUL"},
        {"question path of 262 characters", longQuestion, 0, 0, "over 260"},
        {"begin data past the payload", patched(begin, 293, 81), 0, 0, "longer than the payload"},
        {"begin shorter than the envelope head", patched(begin, 293, 71), 0, 0, "72-byte"},
        {"begin ciphertext of 7 bytes", patched(begin, 293, 79), 0, 0, "whole 8-byte"},
        {"begin last chunk without padding", patched(begin, 293, 72), 0, 0, "padding"},
        {"begin folder with data", patched(begin, 0, 1), 0, 0, "folder with data"},
        {"begin path without NUL", filled(begin, 4, 265), 0, 0, "without its NUL"},
        {"data past the payload", patched(dataPkt, 8, 16), 0, 0, "longer than the payload"},
        {"data of 7 bytes", patched(dataPkt, 8, 7), 0, 0, "whole 8-byte"},
        {"data over a chunk", patched(dataPkt, 8, 24592), 24604, 0, "longer than one chunk"},
        {"last data without a block", patched(dataPkt, 8, 0), 0, 0, "padding"},
        {"abort without a block", patched(patched(dataPkt, 8, 0), 0, 1), 0, 1, nullptr},
    };
    for (const Row &r : rows) {
        const char *why = nullptr;
        const size_t len = r.len ? r.len : r.packet.size() - 12;
        EXPECT_EQ(ParseAgent(Feed(r.packet, len), &why), r.want) << r.name;
        if (r.why)
            EXPECT_TRUE(why && strstr(why, r.why)) << r.name << ": " << (why ? why : "(none)");
        else
            EXPECT_EQ(why, nullptr) << r.name;
    }
}

TEST(FtMessages, EntriesAreWalkedAndNamesThatAreNotOneNameSkipped)
{
    const char *names[] = {"..", "a.txt", "", ".", "a\\b", "c/d", "e:f", "tab\there", "ok", kLong.c_str(), "last"};
    uint8_t buf[4096];
    size_t len = 0;
    for (const char *n : names) {
        FtEntry e = {1, 2, 3, 4, 5, 6, ""};
        strcpy(e.name, n);
        len += FtPutEntry(&e, buf + len, sizeof buf - len);
    }
    // A 261-character name is walked over as well, though it could not be built.
    const std::string n261(261, 'n');
    memset(buf + len, 0, kFtEntryHead);
    memcpy(buf + len + kFtEntryHead, n261.c_str(), 262);
    len += kFtEntryHead + 262;
    FtListing l;
    const char *why = nullptr;
    Bytes packet = Built([&](uint8_t *o, size_t c) { return BuildFtListingMore(1, 12, buf, len, o, c); });
    Fed f = Feed(packet, packet.size() - 12);
    ASSERT_EQ(ParseFtListingMore(&f.h, f.payload.get(), &l, &why), 1) << why;
    const uint8_t *at = l.entries;
    size_t left = l.entriesLen;
    FtEntry e;
    uint32_t skipped = 0;
    std::vector<std::string> got;
    while (FtNextEntry(&at, &left, &e, &skipped)) {
        got.push_back(e.name);
        EXPECT_EQ(e.directory, 1u);
        EXPECT_EQ(e.size, 6u);
    }
    EXPECT_EQ(got, (std::vector<std::string>{"..", "a.txt", "ok", kLong, "last"}));
    EXPECT_EQ(skipped, 7u);
}

TEST(FtMessages, ViewerMessagesParseBackAndRouting)
{
    uint8_t out[600];
    FtDownload dl = {1, 1, "C:\\a", "b", 0x10, 7, 8}, back;
    const size_t n = BuildFtDownload(&dl, out, sizeof out);
    SessPacketHeader h;
    DecodePacketHeader(out, n, &h);
    const char *why;
    ASSERT_EQ(ParseFtDownload(&h, out + 12, &back, &why), 1);
    EXPECT_STREQ(back.folder, "C:\\a");
    EXPECT_STREQ(back.name, "b");
    EXPECT_EQ(back.written, 8u);
    int kind;
    for (int k : {FT_ANSWER_YES, FT_ANSWER_YES_TO_ALL, FT_ANSWER_NO, FT_ANSWER_GO_ON}) {
        BuildFtAnswer(k, out, sizeof out);
        DecodePacketHeader(out, 32, &h);
        ASSERT_EQ(ParseFtAnswer(&h, out + 12, &kind, &why), 1);
        EXPECT_EQ(kind, k);
    }
    PutU32LE(out + 12 + 8, 1);
    EXPECT_EQ(ParseFtAnswer(&h, out + 12, &kind, &why), 0);

    const uint32_t routes[][2] = {{30, 1127}, {31, 1127}, {33, 1128}, {35, 1129}, {37, 1130}, {39, 1131},
                                  {41, 1132}, {42, 1133}, {45, 1135}, {43, 0},    {44, 0},    {29, 0}};
    for (const auto &r : routes)
        EXPECT_EQ(FtReplyMessage(r[0]), r[1]) << r[0];
    EXPECT_TRUE(FtIsSyncReply(43) && FtIsSyncReply(44) && !FtIsSyncReply(42));
}

} // namespace
