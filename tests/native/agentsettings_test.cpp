// Agent settings: the wire layouts byte by byte, the packing of long lists read back by
// an independent reader, the round trip through the receive side, the version gates,
// hostile packets, and the rules of the editing dialogs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "agentsettings/settings.h"
#include "session/agentkey.h"
#include "session/envelope.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sent {
    std::vector<Bytes> packets;
    size_t failAt = (size_t)-1; // the queue refuses this packet
};

int Queue(void *ctx, const uint8_t *packet, size_t length)
{
    Sent *s = (Sent *)ctx;
    if (s->packets.size() == s->failAt)
        return 0;
    s->packets.emplace_back(packet, packet + length);
    return 1;
}

uint32_t U32(const Bytes &b, size_t at) { return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (uint32_t)b[at + 3] << 24; }

// A node of exactly len characters, different for every i.
std::string Node(int i, size_t len)
{
    std::string s = "n" + std::to_string(i) + "-";
    while (s.size() < len)
        s += (char)('a' + s.size() % 26);
    return s.substr(0, len);
}

void Fill(AsNodeArray *a, int n, size_t len, int salt)
{
    for (int i = 0; i < n; i++)
        ASSERT_TRUE(AsNodeAppend(a, Node(i + salt, len).c_str()));
}

std::vector<std::string> Strings(const AsNodeArray &a)
{
    std::vector<std::string> v;
    for (int i = 0; i < a.count; i++)
        v.push_back(a.nodes[i]);
    return v;
}

// One record as read back: its fields and strings.
struct Record {
    uint32_t first, second, present;
    std::string password; // opened, when present
    bool sealedZero;
    std::vector<std::string> strings;
};

// Reads one chunked packet with no help from the code under test; fails the test on any
// fault of layout. closedMid: the packet's last record went on in the next packet.
std::vector<Record> ReadChunked(const Bytes &p, bool communities, uint32_t *last)
{
    std::vector<Record> out;
    EXPECT_LE(p.size(), 32768u);
    EXPECT_EQ(U32(p, 0), communities ? 27u : 54u);
    EXPECT_EQ(U32(p, 4), p.size() - 12);
    EXPECT_EQ(U32(p, 8), 1u);
    size_t at = communities ? 20 : 16;
    *last = communities ? U32(p, 12) : 0;
    const uint32_t records = U32(p, communities ? 16 : 12);
    for (uint32_t r = 0; r < records; r++) {
        Record rec = {};
        rec.first = U32(p, at);
        if (communities) {
            rec.second = U32(p, at + 4);
            rec.present = U32(p, at + 8);
            rec.sealedZero = true;
            for (size_t i = 0; i < 88; i++)
                rec.sealedZero &= p[at + 12 + i] == 0;
            uint8_t plain[15];
            if (rec.present == 1 && OpenShort(p.data() + at + 12, plain))
                rec.password.assign((const char *)plain, strnlen((const char *)plain, 15));
        }
        at += communities ? 100 : 4;
        const uint32_t n = U32(p, at);
        at += 4;
        for (uint32_t i = 0; i < n; i++) {
            const size_t len = strnlen((const char *)p.data() + at, p.size() - at);
            EXPECT_LT(at + len, p.size()) << "string runs past the packet";
            rec.strings.emplace_back((const char *)p.data() + at, len);
            at += len + 1;
        }
        out.push_back(rec);
    }
    EXPECT_EQ(at, p.size()) << "bytes after the last record";
    return out;
}

struct Whole {
    std::string password;
    std::vector<std::string> strings;
};

// Joins the records of a chunked message and checks each packet was closed only where
// the algorithm closes one: no room for the next string, or past the threshold.
std::vector<Whole> ReadMessage(const std::vector<Bytes> &packets, bool communities)
{
    std::vector<Whole> out;
    const uint32_t threshold = communities ? 31640 : 31736;
    for (size_t k = 0; k < packets.size(); k++) {
        uint32_t last = 0;
        const std::vector<Record> recs = ReadChunked(packets[k], communities, &last);
        EXPECT_EQ(last, communities && k + 1 == packets.size() ? 1u : 0u) << "packet " << k;
        for (size_t r = 0; r < recs.size(); r++) {
            const Record &rec = recs[r];
            const bool continued = k > 0 && r == 0 && !out.empty() && rec.present == 0 && communities;
            if (communities) {
                const uint32_t index = (uint32_t)out.size() - (continued ? 1 : 0);
                EXPECT_EQ(rec.first, index / 2);
                EXPECT_EQ(rec.second, index % 2);
                EXPECT_EQ(rec.present, continued ? 0u : 1u);
                EXPECT_TRUE(!continued || rec.sealedZero);
            }
            if (continued || (!communities && k > 0 && r == 0 && rec.first + 1 == out.size())) {
                out.back().strings.insert(out.back().strings.end(), rec.strings.begin(), rec.strings.end());
            } else {
                EXPECT_TRUE(communities || rec.first == out.size());
                out.push_back(Whole{rec.password, rec.strings});
            }
        }
        if (k + 1 < packets.size()) {
            // Why this packet ended: the next string did not fit, or it passed the threshold.
            uint32_t nextLast = 0;
            const std::vector<Record> next = ReadChunked(packets[k + 1], communities, &nextLast);
            const bool goesOn = communities ? next[0].present == 0 : next[0].first + 1 == out.size();
            if (goesOn && !next[0].strings.empty())
                EXPECT_GT(packets[k].size() + next[0].strings[0].size() + 1, 32768u) << "closed with room left";
            else
                EXPECT_GT(packets[k].size(), threshold) << "closed below the threshold";
        }
    }
    return out;
}

struct AgentSettingsTest : ::testing::Test {
    AgentSettings s = {};
    void SetUp() override
    {
        EnvelopeRelease();
        ASSERT_EQ(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen), 1);
        EnvelopeSeed(nullptr, 0);
    }
    void TearDown() override
    {
        AsRelease(&s);
        EnvelopeRelease();
    }
};

int Receive(AgentSettings *s, const Bytes &packet, uint16_t version, int *last, const char **why)
{
    SessPacketHeader h = {U32(packet, 0), (uint32_t)packet.size() - 12, U32(packet, 8)};
    // An exact-size block, so a read past the payload is an ASan report.
    std::vector<uint8_t> payload(packet.begin() + 12, packet.end());
    const uint8_t *p = payload.data();
    *last = 0;
    switch (h.dwType) {
    case PKT_AGENT_SETTINGS_COMMON:
        return AsReceiveCommon(s, &h, p, version, why);
    case PKT_AGENT_SETTINGS_STRING:
        return AsReceiveString(s, &h, p, why);
    case PKT_AGENT_SETTINGS_FLAG:
        return AsReceiveFlag(s, &h, p, why);
    case PKT_AGENT_SETTINGS_NODE_LISTS:
        return AsReceiveNodeLists(s, &h, p, why);
    default:
        return AsReceiveCommunities(s, &h, p, last, why);
    }
}

TEST_F(AgentSettingsTest, FixedMessagesByteByByte)
{
    for (uint32_t i = 0; i < kAsCommonFields; i++)
        s.common[i] = 0x01020300u + i;
    strcpy(s.text, "Hello");
    s.number = 0xA1B2C3D4;
    s.flag = 1;
    Sent sent;
    ASSERT_EQ(AsSendAll(&s, 791, Queue, &sent), 1);
    ASSERT_EQ(sent.packets.size(), 5u);
    const Bytes &common = sent.packets[0];
    ASSERT_EQ(common.size(), 12u + 68);
    EXPECT_EQ(U32(common, 0), 26u);
    EXPECT_EQ(U32(common, 4), 68u);
    EXPECT_EQ(U32(common, 8), 1u);
    for (uint32_t i = 0; i < 14; i++)
        EXPECT_EQ(U32(common, 12 + 4 * i), 0x01020300u + i);
    EXPECT_EQ(Bytes(common.begin() + 68, common.end()), Bytes(12, 0));

    const Bytes &str = sent.packets[1];
    ASSERT_EQ(str.size(), 12u + 281);
    EXPECT_EQ(U32(str, 0), 52u);
    EXPECT_EQ(U32(str, 8), 0u);
    EXPECT_EQ(std::string((const char *)&str[12], 6), std::string("Hello\0", 6));
    EXPECT_EQ(Bytes(str.begin() + 17, str.begin() + 12 + 261), Bytes(256, 0));
    EXPECT_EQ(Bytes(str.begin() + 12 + 261, str.end() - 16), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    EXPECT_EQ(Bytes(str.end() - 16, str.end()), Bytes(16, 0));

    const Bytes &flag = sent.packets[2];
    EXPECT_EQ(flag, (Bytes{57, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}));

    // Read back: 56 bytes are enough for the common fields, 55 are not.
    AgentSettings r = {};
    int last;
    const char *why;
    ASSERT_EQ(Receive(&r, Bytes(common.begin(), common.end() - 12), 791, &last, &why), 1);
    EXPECT_EQ(memcmp(r.common, s.common, sizeof r.common), 0);
    EXPECT_EQ(r.flag, 0u);
    ASSERT_EQ(Receive(&r, str, 791, &last, &why), 1);
    EXPECT_STREQ(r.text, "Hello");
    EXPECT_EQ(r.number, 0xA1B2C3D4u);
    ASSERT_EQ(Receive(&r, flag, 791, &last, &why), 1);
    EXPECT_EQ(r.flag, 1u);
    r.flag = 0;
    ASSERT_EQ(Receive(&r, common, 790, &last, &why), 1);
    EXPECT_EQ(r.flag, 1u) << "an Agent below 791 sends no flag: it counts as 1";
    AsRelease(&r);
}

// Lists big enough for two and three packets of each kind, with 127-character strings
// where a string is cut most easily, go out within the limits and come back the same.
TEST_F(AgentSettingsTest, PacksLongListsAndReadsThemBack)
{
    Fill(&s.lists[0], 400, 127, 0);    // two packets
    Fill(&s.lists[1], 300, 100, 1000); // goes on into a third
    const char *passwords[8] = {"", "a", "Secret_15chars_", "x1", "", "Z", "pw", "last"};
    const int counts[8] = {0, 3, 500, 0, 1, 260, 7, 0};
    for (int i = 0; i < 8; i++) {
        AsProtocolBlock *b = &s.communities[i / 2].protocol[i % 2];
        strcpy(b->password, passwords[i]);
        Fill(&b->nodes, counts[i], 60 + i * 9, i * 10000);
    }
    Sent sent;
    ASSERT_EQ(AsSendAll(&s, 787, Queue, &sent), 1);
    std::vector<Bytes> lists, communities;
    for (const Bytes &p : sent.packets)
        (U32(p, 0) == 54 ? lists : U32(p, 0) == 27 ? communities : lists).push_back(p);
    lists.erase(lists.begin(), lists.begin() + 2); // common and string
    EXPECT_EQ(lists.size(), 3u);
    EXPECT_GE(communities.size(), 3u);

    const std::vector<Whole> l = ReadMessage(lists, false);
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].strings, Strings(s.lists[0]));
    EXPECT_EQ(l[1].strings, Strings(s.lists[1]));
    const std::vector<Whole> c = ReadMessage(communities, true);
    ASSERT_EQ(c.size(), 8u);
    for (int i = 0; i < 8; i++) {
        EXPECT_EQ(c[i].password, passwords[i]) << i;
        EXPECT_EQ(c[i].strings, Strings(s.communities[i / 2].protocol[i % 2].nodes)) << i;
    }

    // The receive side rebuilds the same settings from the same packets.
    AgentSettings r = {};
    int last = 0, lastCount = 0;
    const char *why;
    for (const Bytes &p : sent.packets) {
        ASSERT_EQ(Receive(&r, p, 787, &last, &why), 1);
        EXPECT_EQ(why, nullptr);
        lastCount += last;
    }
    EXPECT_EQ(lastCount, 1);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(Strings(r.lists[0]), Strings(s.lists[0]));
    EXPECT_EQ(Strings(r.lists[1]), Strings(s.lists[1]));
    for (int i = 0; i < 8; i++) {
        EXPECT_STREQ(r.communities[i / 2].protocol[i % 2].password, passwords[i]);
        EXPECT_EQ(Strings(r.communities[i / 2].protocol[i % 2].nodes),
                  Strings(s.communities[i / 2].protocol[i % 2].nodes));
    }
    AsRelease(&r);
}

// The first list's packet holds its 24 bytes before the strings: 255 nodes of 127
// characters and one of 103 end with its NUL on byte 32,768 of the buffer, the last; one
// of 104 would pass it and goes to the next packet. A threshold one byte off either way
// shows in the lengths here, or as an overrun under the sanitizer.
TEST_F(AgentSettingsTest, AStringEndsOnTheBuffersLastByteAndNeverPastIt)
{
    const struct {
        size_t lastNode, firstPacket;
    } cases[] = {{103, 32768}, {104, 32768 - 104}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lastNode);
        AsRelease(&s);
        s = AgentSettings{};
        Fill(&s.lists[0], 255, 127, 0);
        ASSERT_TRUE(AsNodeAppend(&s.lists[0], Node(255, c.lastNode).c_str()));
        ASSERT_TRUE(AsNodeAppend(&s.lists[0], "after"));
        Sent sent;
        ASSERT_EQ(AsSendAll(&s, 787, Queue, &sent), 1);
        std::vector<Bytes> lists;
        for (const Bytes &p : sent.packets)
            if (U32(p, 0) == 54)
                lists.push_back(p);
        ASSERT_EQ(lists.size(), 2u);
        EXPECT_EQ(lists[0].size(), c.firstPacket);
        EXPECT_EQ(lists[0].back(), 0) << "the packet does not end with a string's NUL";
        const std::vector<Whole> l = ReadMessage(lists, false);
        ASSERT_EQ(l.size(), 2u);
        EXPECT_EQ(l[0].strings, Strings(s.lists[0]));
    }
}

TEST_F(AgentSettingsTest, VersionGatesAndAFailingQueue)
{
    struct {
        uint16_t version;
        std::vector<uint32_t> types;
    } cases[] = {
        {783, {26, 27}},
        {786, {26, 52, 27}},
        {787, {26, 52, 54, 27}},
        {791, {26, 52, 57, 54, 27}},
    };
    for (const auto &c : cases) {
        Sent sent;
        ASSERT_EQ(AsSendAll(&s, c.version, Queue, &sent), 1);
        std::vector<uint32_t> types;
        for (const Bytes &p : sent.packets)
            types.push_back(U32(p, 0));
        EXPECT_EQ(types, c.types) << c.version;
        // Empty lists still go out, one record each with no strings.
        for (const Bytes &p : sent.packets) {
            uint32_t last;
            const std::vector<Record> recs = U32(p, 0) == 54   ? ReadChunked(p, false, &last)
                                             : U32(p, 0) == 27 ? ReadChunked(p, true, &last)
                                                               : std::vector<Record>();
            for (const Record &r : recs)
                EXPECT_TRUE(r.strings.empty());
            EXPECT_EQ(recs.size(), U32(p, 0) == 54 ? 2u : U32(p, 0) == 27 ? 8u : 0u);
        }
    }
    // Sending stops at the first packet the queue refuses.
    for (size_t failAt = 0; failAt < 5; failAt++) {
        Sent sent;
        sent.failAt = failAt;
        EXPECT_EQ(AsSendAll(&s, 791, Queue, &sent), 0);
        EXPECT_EQ(sent.packets.size(), failAt);
    }
}

// Windows returns 0 from PropertySheet after an OK when no page sent PSM_CHANGED, and
// Wine returns 1: only the flag PSN_APPLY set may decide.
TEST(AgentSettingsSheet, OkAloneDecidesTheSending)
{
    const struct {
        intptr_t result;
        int applied, sends;
    } cases[] = {{-1, 0, 0}, {0, 0, 0}, {1, 0, 0}, {-1, 1, 1}, {0, 1, 1}, {1, 1, 1}};
    for (const auto &c : cases)
        EXPECT_EQ(AsSheetConfirmed(c.result, c.applied), c.sends) << c.result << " " << c.applied;
}

Bytes Packet(uint32_t type, const Bytes &payload)
{
    Bytes p(12);
    p[0] = (uint8_t)type;
    p[4] = (uint8_t)payload.size();
    p[5] = (uint8_t)(payload.size() >> 8);
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

void Put(Bytes *b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b->push_back((uint8_t)(v >> 8 * i));
}

Bytes Lists(std::initializer_list<uint32_t> head, const std::string &strings)
{
    Bytes b;
    for (uint32_t v : head)
        Put(&b, v);
    b.insert(b.end(), strings.begin(), strings.end());
    return b;
}

Bytes Community(uint32_t last, uint32_t records, uint32_t c, uint32_t p, uint32_t present, uint32_t n,
                const std::string &strings)
{
    Bytes b;
    Put(&b, last);
    Put(&b, records);
    Put(&b, c);
    Put(&b, p);
    Put(&b, present);
    b.resize(b.size() + 88, 0x5A); // does not open
    Put(&b, n);
    b.insert(b.end(), strings.begin(), strings.end());
    return b;
}

Bytes Cut(Bytes b, size_t n)
{
    b.resize(b.size() - n);
    return b;
}

TEST_F(AgentSettingsTest, HostilePacketsAreRefusedOrCut)
{
    const std::string z("\0", 1);
    const std::string long200(200, 'L');
    struct {
        const char *what;
        Bytes packet;
        int ok;
        bool note;
    } cases[] = {
        {"common short", Packet(26, Bytes(55)), 0, false},
        {"string short", Packet(52, Bytes(280)), 0, false},
        {"string unterminated", Packet(52, Bytes(281, 'T')), 1, true},
        {"flag short", Packet(57, Bytes(3)), 0, false},
        {"lists empty", Packet(54, Bytes()), 0, false},
        {"lists no records", Packet(54, Lists({0}, "")), 1, false},
        {"lists records past payload", Packet(54, Lists({2, 0, 0}, "")), 0, false},
        {"lists huge record count", Packet(54, Lists({0xFFFFFFFF, 0, 0}, "")), 0, false},
        {"lists index 2", Packet(54, Lists({1, 2, 1}, "a" + z)), 0, false},
        {"lists count past payload", Packet(54, Lists({1, 0, 3}, "a" + z + "b" + z)), 0, false},
        {"lists huge count", Packet(54, Lists({1, 0, 0xFFFFFFFF}, "a" + z)), 0, false},
        {"lists missing NUL", Packet(54, Lists({1, 1, 2}, "a" + z + "b")), 0, false},
        {"lists second record short", Packet(54, Lists({2, 0, 3}, "a" + z + "b" + z + "c" + z + "1234567")), 0, false},
        {"lists long node cut", Packet(54, Lists({1, 1, 1}, long200 + z)), 1, true},
        {"communities short", Packet(27, Bytes(7)), 0, false},
        {"communities record short", Packet(27, Cut(Community(1, 1, 0, 0, 0, 0, ""), 1)), 0, false},
        {"communities index 4", Packet(27, Community(1, 1, 4, 0, 0, 0, "")), 0, false},
        {"communities protocol 2", Packet(27, Community(1, 1, 0, 2, 0, 0, "")), 0, false},
        {"communities records past payload", Packet(27, Community(1, 2, 0, 0, 0, 0, "")), 0, false},
        {"communities count past payload", Packet(27, Community(1, 1, 3, 1, 0, 5, "a" + z)), 0, false},
        {"communities missing NUL", Packet(27, Community(1, 1, 3, 1, 0, 1, "abc")), 0, false},
        {"communities long node cut", Packet(27, Community(1, 1, 3, 1, 0, 1, long200 + z)), 1, true},
        {"password does not open", Packet(27, Community(1, 1, 2, 0, 1, 0, "")), 1, true},
    };
    for (const auto &c : cases) {
        AgentSettings r = {};
        strcpy(r.communities[2].protocol[0].password, "kept");
        int last = 7;
        const char *why = "unset";
        EXPECT_EQ(Receive(&r, c.packet, 791, &last, &why), c.ok) << c.what;
        EXPECT_EQ(why != nullptr, !c.ok || c.note) << c.what;
        if (!c.ok) {
            EXPECT_EQ(last, 0) << c.what;
            for (const AsNodeArray &a : r.lists)
                EXPECT_EQ(a.count, 0) << c.what;
            for (const AsCommunity &cm : r.communities)
                for (const AsProtocolBlock &b : cm.protocol)
                    EXPECT_EQ(b.nodes.count, 0) << c.what;
        }
        EXPECT_STREQ(r.communities[2].protocol[0].password, "kept") << c.what;
        AsRelease(&r);
    }
    // What a cut keeps.
    AgentSettings r = {};
    int last;
    const char *why;
    ASSERT_EQ(Receive(&r, Packet(54, Lists({1, 1, 1}, long200 + z)), 791, &last, &why), 1);
    EXPECT_EQ(std::string(r.lists[1].nodes[0]), std::string(127, 'L'));
    ASSERT_EQ(Receive(&r, Packet(52, Bytes(281, 'T')), 791, &last, &why), 1);
    EXPECT_EQ(std::string(r.text), std::string(260, 'T'));
    AsRelease(&r);
}

TEST(AgentSettingsRules, PasswordCharacters)
{
    // 15 Cyrillic letters of code page 1251, among them Ё and ё.
    const char cyrillic[] = "\xC0\xC1\xC2\xA8\xB8\xDF\xE0\xFF\xEE\xF0\xC5\xD6\xE9\xFA\xF1";
    struct {
        const char *text;
        int ok;
    } cases[] = {
        {"", 1}, {cyrillic, 1}, {"Az_09", 1}, {"a b", 0}, {"a-b", 0}, {"a.b", 0}, {"\xBF", 0}, {"\x7F", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(AsPasswordCharsOk(c.text), c.ok) << c.text;
}

TEST(AgentSettingsRules, IpxNodes)
{
    struct {
        const char *text;
        int ok;
    } typing[] = {{"", 1}, {"*", 1}, {"0aF9", 1}, {"g", 0}, {"12g", 0}, {"**", 0}, {"*1", 0}, {" 1", 0}};
    for (const auto &c : typing)
        EXPECT_EQ(AsIpxNodeTypingOk(c.text), c.ok) << c.text;
    struct {
        const char *typed, *out;
    } finish[] = {
        {"abc", "000000000ABC"},          {"1A2B", "000000001A2B"},           {" *\t", "*"}, {"  ", ""},
        {"0123456789ab", "0123456789AB"}, {"FF0123456789ab", "0123456789AB"},
    };
    for (const auto &c : finish) {
        char out[13];
        AsIpxNodeFinish(c.typed, out);
        EXPECT_STREQ(out, c.out) << c.typed;
    }
    char text[] = " \t a b \t";
    AsTrimBlanks(text);
    EXPECT_STREQ(text, "a b");
}

// The names against UTF-8 text mapped to code page 1251 here (А..я are 0xC0..0xFF).
TEST(AgentSettingsRules, CommunityNames)
{
    const char *utf8[4] = {"Администратор", "Управление рабочим столом и передача файлов", "Управление рабочим столом",
                           "Обзор рабочего стола"};
    const char *english[4] = {"Admin", "Desktop control and file transfer", "Desktop control", "Desktop view"};
    for (int i = 0; i < 4; i++) {
        std::string cp;
        for (const unsigned char *p = (const unsigned char *)utf8[i]; *p;) {
            if (*p < 0x80) {
                cp += (char)*p++;
                continue;
            }
            const unsigned u = (p[0] & 0x1F) << 6 | (p[1] & 0x3F);
            ASSERT_TRUE(u >= 0x410 && u <= 0x44F);
            cp += (char)(0xC0 + u - 0x410);
            p += 2;
        }
        EXPECT_EQ(AsCommunityName(i, 1), cp);
        EXPECT_STREQ(AsCommunityName(i, 0), english[i]);
    }
    EXPECT_STREQ(AsCommunityName(4, 0), "");
}

TEST_F(AgentSettingsTest, NodeEditingAndMissingPassword)
{
    AsNodeArray *a = &s.communities[1].protocol[1].nodes;
    EXPECT_EQ(AsCommunityMissingPassword(&s, 1), -1);
    ASSERT_TRUE(AsNodeAppend(a, "one"));
    ASSERT_TRUE(AsNodeAppend(a, std::string(300, 'x').c_str()));
    ASSERT_TRUE(AsNodeAppend(a, "three"));
    EXPECT_EQ(AsCommunityMissingPassword(&s, 1), 1);
    EXPECT_EQ(AsCommunityMissingPassword(&s, 0), -1);
    strcpy(s.communities[1].protocol[1].password, "pw");
    EXPECT_EQ(AsCommunityMissingPassword(&s, 1), -1);
    EXPECT_EQ(strlen(a->nodes[1]), 127u);
    EXPECT_TRUE(AsNodeReplace(a, 1, a->nodes[1] + 120));
    EXPECT_FALSE(AsNodeReplace(a, 3, "no"));
    EXPECT_FALSE(AsNodeReplace(a, -1, "no"));
    EXPECT_EQ(Strings(*a), (std::vector<std::string>{"one", "xxxxxxx", "three"}));
    AsNodeRemove(a, 0);
    AsNodeRemove(a, 5);
    EXPECT_EQ(Strings(*a), (std::vector<std::string>{"xxxxxxx", "three"}));
    AsNodeRemove(a, 1);
    AsNodeRemove(a, 0);
    EXPECT_EQ(a->count, 0);
    EXPECT_EQ(a->nodes, nullptr);
}

} // namespace
