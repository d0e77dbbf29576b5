// Records left in the management console's shared memory: byte layouts written out
// by hand, cuts at the field limits, and decoding of short or hostile input.
#include "shell/managerrecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes *b, const std::string &s) { b->insert(b->end(), s.begin(), s.end()); }
void Zeros(Bytes *b, size_t n) { b->insert(b->end(), n, 0); }

ConnectionRecord Connection(uint32_t state, uint32_t protocol, Bytes address, Bytes node, uint32_t flag,
                            const char *password)
{
    ConnectionRecord r;
    memset(&r, 0, sizeof(r));
    r.state = state;
    r.protocol = protocol;
    memcpy(r.address, address.data(), 4);
    memcpy(r.node, node.data(), 6);
    r.passwordReturned = flag;
    strncpy(r.password, password, sizeof(r.password));
    return r;
}

Bytes Encode(const ConnectionRecord &r)
{
    uint8_t out[kConnectionRecordSize + 4];
    memset(out, 0xEE, sizeof(out));
    EncodeConnectionRecord(out, &r);
    for (size_t i = kConnectionRecordSize; i < sizeof(out); i++)
        EXPECT_EQ(out[i], 0xEE) << "wrote past 40";
    return Bytes(out, out + kConnectionRecordSize);
}

// --- ConnectionRecord ------------------------------------------------------

TEST(ConnectionRecord, TcpLoggedInWithPassword)
{
    const Bytes expect = {
        0x01, 0x00, 0x00, 0x00,                         // 0  state 1
        0x00, 0x00, 0x00, 0x00,                         // 4  TCP
        0x0A, 0x00, 0x00, 0x01,                         // 8  10.0.0.1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // 12 node
        0x01, 0x00, 0x00, 0x00,                         // 18 password returned
        's',  'e',  'c',  'r',  'e',  't',  0x00, 0x00, // 22 password
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    };
    ASSERT_EQ(expect.size(), 40u);
    EXPECT_EQ(Encode(Connection(1, 0, {10, 0, 0, 1}, {0, 0, 0, 0, 0, 0}, 1, "secret")), expect);
}

TEST(ConnectionRecord, SpxFieldsAndUnalignedFlag)
{
    Bytes expect = {
        0x00, 0x00, 0x00, 0x00,             // state 0 (closed)
        0x01, 0x00, 0x00, 0x00,             // SPX
        0x00, 0x00, 0xAB, 0xCD,             // network
        0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB, // node
        0x44, 0x33, 0x22, 0x11,             // little-endian u32 at an odd offset
    };
    Zeros(&expect, 18);
    EXPECT_EQ(Encode(Connection(0, 1, {0x00, 0x00, 0xAB, 0xCD}, {0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB}, 0x11223344u, "")),
              expect);
}

TEST(ConnectionRecord, PasswordFieldIsCutAndZeroPadded)
{
    struct Case {
        std::string password; // as placed in the 18-byte field
        std::string field;    // bytes 22..39
    };
    const Case cases[] = {
        {"", std::string(18, '\0')},
        {"a", "a" + std::string(17, '\0')},
        {"ABCDEFGHIJKLMNOPQ", "ABCDEFGHIJKLMNOPQ" + std::string(1, '\0')},
        {"ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNOPQ" + std::string(1, '\0')}, // no terminator at all
        {std::string("ab\0XYZ", 6), "ab" + std::string(16, '\0')},          // nothing after the end
    };
    for (const Case &c : cases) {
        ConnectionRecord r = Connection(1, 0, {1, 2, 3, 4}, {0, 0, 0, 0, 0, 0}, 1, "");
        memset(r.password, 0, sizeof(r.password));
        memcpy(r.password, c.password.data(), c.password.size());
        Bytes b = Encode(r);
        EXPECT_EQ(std::string(b.begin() + 22, b.end()), c.field) << c.password;
    }
}

TEST(ConnectionRecord, DecodeRoundTripAndRefusal)
{
    const ConnectionRecord in = Connection(1, 1, {0xDE, 0xAD, 0xBE, 0xEF}, {1, 2, 3, 4, 5, 6}, 1, "pass word 123");
    Bytes b = Encode(in);
    ConnectionRecord out;
    memset(&out, 0x77, sizeof(out));
    ASSERT_EQ(DecodeConnectionRecord(b.data(), b.size(), &out), 1);
    EXPECT_EQ(out.state, 1u);
    EXPECT_EQ(out.protocol, 1u);
    EXPECT_EQ(Bytes(out.address, out.address + 4), (Bytes{0xDE, 0xAD, 0xBE, 0xEF}));
    EXPECT_EQ(Bytes(out.node, out.node + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(out.passwordReturned, 1u);
    EXPECT_EQ(std::string(out.password, sizeof(out.password)), "pass word 123" + std::string(5, '\0'));

    // A field with no zero at all still decodes to a terminated string.
    Bytes hostile(40, 'X');
    ASSERT_EQ(DecodeConnectionRecord(hostile.data(), hostile.size(), &out), 1);
    EXPECT_EQ(std::string(out.password), std::string(17, 'X'));

    for (size_t len : {0u, 1u, 22u, 39u}) {
        auto shortBuf = std::make_unique<uint8_t[]>(len + 1); // exact size for ASan
        memcpy(shortBuf.get(), b.data(), len);
        EXPECT_EQ(DecodeConnectionRecord(shortBuf.get(), len, &out), 0) << len;
    }
}

// --- MessageRecord ---------------------------------------------------------

Bytes EncodeMessage(const MessageRecord &r, size_t cap = kMessageRecordMax)
{
    std::vector<uint8_t> out(cap + 8, 0xEE);
    size_t n = EncodeMessageRecord(out.data(), cap, &r);
    for (size_t i = n; i < out.size(); i++)
        EXPECT_EQ(out[i], 0xEE) << "wrote byte " << i;
    out.resize(n);
    return out;
}

Bytes ExpectedMessage(uint32_t flag, const std::string &caption, const std::string &text)
{
    Bytes b = {0x02, 0x00, 0x00, 0x00, (uint8_t)flag, 0x00, 0x00, 0x00};
    Put(&b, caption);
    Zeros(&b, 64 - caption.size());
    Put(&b, text);
    Zeros(&b, 1);
    return b;
}

TEST(MessageRecord, LayoutByteByByte)
{
    struct Case {
        uint32_t flag;
        const char *host;
        const char *text;
        const char *caption;
    };
    const Case cases[] = {
        {1, "", "No valid target.", "Corvids 3.0"},
        {1, nullptr, "x", "Corvids 3.0"},
        {0, "10.0.0.1", "Connection lost.", "Corvids 3.0 - [10.0.0.1]"},
        {0, "0000ABCD:00112233AABB", "", "Corvids 3.0 - [0000ABCD:00112233AABB]"},
    };
    for (const Case &c : cases) {
        MessageRecord r;
        MakeMessageRecord(&r, c.flag, c.host, c.text);
        Bytes b = EncodeMessage(r);
        EXPECT_EQ(b.size(), 72 + strlen(c.text) + 1) << c.text;
        EXPECT_EQ(b, ExpectedMessage(c.flag, c.caption, c.text)) << c.caption;
    }
}

TEST(MessageRecord, LongTextAndHostAreCut)
{
    MessageRecord r;
    const std::string max(1023, 'm');
    MakeMessageRecord(&r, 0, "h", max.c_str());
    EXPECT_EQ(EncodeMessage(r).size(), 72u + 1023 + 1);

    const std::string longText(1500, 't');
    MakeMessageRecord(&r, 0, "h", longText.c_str());
    Bytes b = EncodeMessage(r);
    EXPECT_EQ(b, ExpectedMessage(0, "Corvids 3.0 - [h]", std::string(1023, 't')));
    EXPECT_LE(kMessageRecordMax, (int)kManagerMapSize);

    const std::string longHost(200, 'H');
    MakeMessageRecord(&r, 0, longHost.c_str(), "t");
    b = EncodeMessage(r);
    const std::string caption = ("Corvids 3.0 - [" + longHost).substr(0, 63);
    EXPECT_EQ(b, ExpectedMessage(0, caption, "t"));
}

TEST(MessageRecord, UnterminatedFieldsAreCutOnEncode)
{
    MessageRecord r;
    MakeMessageRecord(&r, 0, "", "");
    memset(r.caption, 'C', sizeof(r.caption));
    memset(r.text, 'T', sizeof(r.text));
    Bytes b = EncodeMessage(r);
    EXPECT_EQ(b, ExpectedMessage(0, std::string(63, 'C'), std::string(1023, 'T')));
}

TEST(MessageRecord, SmallOutputBufferIsRefused)
{
    MessageRecord r;
    MakeMessageRecord(&r, 0, "10.0.0.1", "hello"); // 78 bytes
    EXPECT_EQ(EncodeMessage(r, 77).size(), 0u);
    EXPECT_EQ(EncodeMessage(r, 0).size(), 0u);
    EXPECT_EQ(EncodeMessage(r, 78).size(), 78u);
}

// Input with exactly len bytes on the heap so that ASan sees any read past it.
int Decode(const Bytes &in, MessageRecord *r)
{
    auto buf = std::make_unique<uint8_t[]>(in.size() ? in.size() : 1);
    if (!in.empty())
        memcpy(buf.get(), in.data(), in.size());
    memset(r, 0x77, sizeof(*r));
    return DecodeMessageRecord(buf.get(), in.size(), r);
}

TEST(MessageRecord, DecodeRoundTrip)
{
    MessageRecord in, out;
    MakeMessageRecord(&in, 1, "10.0.0.1", "Cannot open the settings key.");
    ASSERT_EQ(Decode(EncodeMessage(in), &out), 1);
    EXPECT_EQ(out.startupFlag, 1u);
    EXPECT_STREQ(out.caption, "Corvids 3.0 - [10.0.0.1]");
    EXPECT_STREQ(out.text, "Cannot open the settings key.");

    MakeMessageRecord(&in, 0, "", "");
    ASSERT_EQ(Decode(EncodeMessage(in), &out), 1); // 73 bytes, the smallest record
    EXPECT_STREQ(out.caption, "Corvids 3.0");
    EXPECT_STREQ(out.text, "");
}

TEST(MessageRecord, DecodeRefusesWrongKindAndShortInput)
{
    Bytes good = ExpectedMessage(0, "c", "t");
    MessageRecord out;
    for (uint8_t kind : {0, 1, 3, 0x82}) {
        Bytes b = good;
        b[0] = kind;
        EXPECT_EQ(Decode(b, &out), 0) << (int)kind;
    }
    Bytes b = good;
    b[3] = 1; // 0x01000002
    EXPECT_EQ(Decode(b, &out), 0);
    for (size_t len : {0u, 3u, 8u, 72u}) {
        EXPECT_EQ(Decode(Bytes(good.begin(), good.begin() + len), &out), 0) << len;
    }
}

TEST(MessageRecord, DecodeNeverReadsPastLength)
{
    MessageRecord out;
    // Text without its terminator ends at len.
    Bytes b = ExpectedMessage(0, "cap", "hello");
    b.pop_back();
    ASSERT_EQ(Decode(b, &out), 1);
    EXPECT_STREQ(out.text, "hello");

    // Caption without a zero, text longer than the field, no terminator anywhere.
    Bytes hostile = {2, 0, 0, 0, 0, 0, 0, 0};
    hostile.resize(72, 'C');
    hostile.resize(72 + 2000, 'T');
    ASSERT_EQ(Decode(hostile, &out), 1);
    EXPECT_EQ(std::string(out.caption), std::string(63, 'C'));
    EXPECT_EQ(std::string(out.text), std::string(1023, 'T'));

    // A single text byte and nothing else.
    Bytes one = {2, 0, 0, 0, 0, 0, 0, 0};
    one.resize(72, 0);
    one.push_back('Z');
    ASSERT_EQ(Decode(one, &out), 1);
    EXPECT_STREQ(out.text, "Z");
}

} // namespace
