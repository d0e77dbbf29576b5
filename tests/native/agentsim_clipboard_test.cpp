// The simulator's clipboard and message handling: the chunks it sends byte by byte, the
// viewer's chunks collected or dropped with their log lines, and PKT_SEND_MESSAGE opened
// both from SealMessage and from a packet sealed here with OpenSSL alone.
#include <gtest/gtest.h>

#include "tests/native/agentsim_fixture.h"

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/des.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "session/envelope.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/jsonlog.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Quoted(const Bytes &text)
{
    std::string s = "\"";
    JsonEscape(&s, (const char *)text.data(), text.size());
    return s + "\"";
}

std::string Sha256Hex(const Bytes &b)
{
    uint8_t d[32];
    unsigned n = 0;
    EVP_Digest(b.data(), b.size(), d, &n, EVP_sha256(), nullptr);
    std::string s = "\"";
    char two[3];
    for (unsigned i = 0; i < n; i++) {
        snprintf(two, sizeof two, "%02x", d[i]);
        s += two;
    }
    return s + "\"";
}

Bytes Command(const std::string &line)
{
    SimControlCommand cmd;
    char err[160] = "";
    EXPECT_TRUE(SimParseControl(line.data(), line.size(), &cmd, err, sizeof err)) << line << ": " << err;
    EXPECT_EQ(cmd.kind, kCtlClip);
    return cmd.bytes;
}

// ---- chunks sent --------------------------------------------------------------------

TEST(SimClipSend, ChunksOfEachLengthByteByByte)
{
    Bytes t8193, t20000;
    SimRandomText(3, 8193, &t8193);
    SimRandomText(9, 20000, &t20000);
    const struct {
        std::string line;
        Bytes text;
        std::vector<uint32_t> lengths;
    } cases[] = {
        {"clip -", {}, {0}}, // one empty chunk: total 0, count 1
        {"clip 4142", {'A', 'B'}, {2}},
        {"clip-random 8192 3", Bytes(t8193.begin(), t8193.begin() + 8192), {8192}},
        {"clip-random 8193 3", t8193, {8192, 1}},
        {"clip-random 20000 9", t20000, {8192, 8192, 3616}},
    };
    for (const auto &c : cases) {
        const Bytes b = Command(c.line);
        size_t at = 0;
        for (uint32_t i = 0; i < c.lengths.size(); i++) {
            const uint32_t n = c.lengths[i];
            ASSERT_LE(at + 28 + n, b.size()) << c.line;
            const uint32_t head[7] = {17, 16 + n, 1, (uint32_t)c.text.size(), i, (uint32_t)c.lengths.size(), n};
            for (int w = 0; w < 7; w++)
                EXPECT_EQ(GetU32LE(&b[at + 4 * w]), head[w]) << c.line << " chunk " << i;
            EXPECT_EQ(Bytes(b.begin() + at + 28, b.begin() + at + 28 + n),
                      Bytes(c.text.begin() + i * 8192, c.text.begin() + i * 8192 + n));
            at += 28 + n;
        }
        EXPECT_EQ(at, b.size()) << c.line;
    }
    // The generator: printable text and whole CR LF pairs, fixed by its seed.
    Bytes again, other;
    SimRandomText(9, 20000, &again);
    SimRandomText(10, 20000, &other);
    EXPECT_EQ(again, t20000);
    EXPECT_NE(other, t20000);
    size_t pairs = 0;
    for (size_t i = 0; i < t20000.size(); i++) {
        const uint8_t ch = t20000[i];
        if (ch == '\r') {
            ASSERT_LT(i + 1, t20000.size());
            EXPECT_EQ(t20000[++i], '\n');
            pairs++;
        } else {
            EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << i;
        }
    }
    EXPECT_GT(pairs, 100u);
}

TEST(SimControl, ClipCommandsRefused)
{
    const std::pair<const char *, const char *> cases[] = {
        {"clip", "takes 1 argument"},      {"clip 414", "odd"},
        {"clip 4g", "bad hex digit"},      {"clip-random", "N [SEED]"},
        {"clip-random 1 2 3", "N [SEED]"}, {"clip-random 67108865", "0 to 67108864"},
        {"clip-random 5 -1", "seed"},
    };
    for (const auto &c : cases) {
        SimControlCommand cmd;
        char err[160] = "";
        EXPECT_EQ(SimParseControl(c.first, strlen(c.first), &cmd, err, sizeof err), 0) << c.first;
        EXPECT_NE(strstr(err, c.second), nullptr) << c.first << " -> " << err;
    }
}

// ---- chunks and messages received ----------------------------------------------------

struct SimClipTest : SimSessionTest {
    // One whole packet (header and payload); the payload goes in an exact-size block.
    int Feed(const uint8_t *packet, SimOutput *out)
    {
        SessPacketHeader h;
        EXPECT_TRUE(DecodePacketHeader(packet, kPacketHeaderSize, &h));
        std::unique_ptr<uint8_t[]> p(new uint8_t[h.dwDataLen + 1]);
        memcpy(p.get(), packet + kPacketHeaderSize, h.dwDataLen);
        return SimHandlePacket(&sess, &h, p.get(), out);
    }
    void Sync(uint32_t on)
    {
        uint8_t p[16];
        SessPacketHeader h = {PKT_SET_CLIPBOARD_SYNC, 4, 1};
        EncodePacketHeader(&h, p, sizeof p);
        PutU32LE(p + 12, on);
        SimOutput out;
        Feed(p, &out);
        EXPECT_EQ(SimLogField(out.log, "on"), on == 1 ? "true" : "false");
    }
};

Bytes Chunk(uint32_t total, uint32_t index, uint32_t count, uint32_t length, uint32_t dataLen)
{
    Bytes p(kPacketHeaderSize + dataLen, 'q');
    SessPacketHeader h = {PKT_CLIPBOARD_TEXT, dataLen, 1};
    EncodePacketHeader(&h, p.data(), p.size());
    const uint32_t words[4] = {total, index, count, length};
    for (uint32_t w = 0; w < 4 && 4 * w + 4 <= dataLen; w++)
        PutU32LE(&p[12 + 4 * w], words[w]);
    return p;
}

TEST_F(SimClipTest, ChunksCollectedInOrderLoggedAndDroppedOnAnyFault)
{
    Bytes text;
    SimRandomText(5, 20000, &text);
    Bytes sent;
    ASSERT_EQ(SimAppendClipText(text.data(), 20000, &sent), 3u);
    const uint8_t *c0 = sent.data(), *c1 = c0 + 28 + 8192, *c2 = c1 + 28 + 8192;
    const Bytes abc = Chunk(3, 0, 1, 3, 19), empty = Chunk(0, 0, 1, 0, 16), shortHead = Chunk(5, 0, 1, 5, 15),
                gap = Chunk(20000, 2, 3, 3616, 16 + 3616);
    const Bytes abcText = {'q', 'q', 'q'}, emptyText;
    const struct {
        const uint8_t *packet;
        uint32_t sync;
        const char *accepted;
        const char *error;  // piece of the error line, or none
        const Bytes *whole; // the text logged as whole, or none
    } steps[] = {
        {c0, 1, "true", nullptr, nullptr},
        {c1, 1, "true", nullptr, nullptr},
        {c2, 1, "true", nullptr, &text},
        {c2, 1, "false", "chunk 2 of 3 out of its place", nullptr},
        {abc.data(), 1, "true", nullptr, &abcText},
        {empty.data(), 1, "true", nullptr, &emptyText},
        {c0, 1, "true", nullptr, nullptr},
        {shortHead.data(), 1, "false", "refused: shorter than its 16-byte head", nullptr},
        {c1, 1, "false", "out of its place", nullptr}, // the refusal dropped chunk 0
        {c0, 1, "true", nullptr, nullptr},
        {gap.data(), 1, "false", "chunk 2 of 3 out of its place", nullptr},
        {abc.data(), 0, "true", "while clipboard exchange is off", &abcText},
    };
    uint32_t sync = 0;
    for (const auto &s : steps) {
        if (s.sync != sync)
            Sync(sync = s.sync);
        SimOutput out;
        const int ok = Feed(s.packet, &out);
        const auto lines = SimLogLines(out.log);
        ASSERT_GE(lines.size(), 1u);
        const std::string &l = lines[0];
        const size_t step = &s - steps;
        EXPECT_EQ(SimLogField(l, "accepted"), s.accepted) << step;
        const bool head = GetU32LE(s.packet + 4) >= 16;
        EXPECT_EQ(SimLogField(l, "total"), head ? std::to_string(GetU32LE(s.packet + 12)) : "<absent>") << step;
        EXPECT_EQ(SimLogField(l, "length"), head ? std::to_string(GetU32LE(s.packet + 24)) : "<absent>") << step;
        EXPECT_EQ(ok, s.error == nullptr) << step;
        EXPECT_EQ(out.log.find("\"ev\":\"error\"") != std::string::npos, s.error != nullptr) << out.log;
        if (s.error) {
            EXPECT_NE(lines.back().find(s.error), std::string::npos) << lines.back();
        }
        const bool whole = out.log.find("\"ev\":\"clipboard\"") != std::string::npos;
        EXPECT_EQ(whole, s.whole != nullptr) << step;
        if (whole) {
            const Bytes &want = *s.whole;
            EXPECT_EQ(SimLogField(lines[1], "length"), std::to_string(want.size()));
            EXPECT_EQ(SimLogField(lines[1], "sha256"), Sha256Hex(want));
            EXPECT_EQ(SimLogField(lines[1], "text"), Quoted(want));
        }
        EXPECT_TRUE(out.reply.empty());
    }
    // A known answer for the hash itself.
    std::string log;
    SimLogClipText(&log, "clipboard", (const uint8_t *)"abc", 3);
    EXPECT_EQ(SimLogField(log, "sha256"), "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"");
}

Bytes MessagePacket(const Bytes &plain511, uint32_t timeout, uint32_t icon)
{
    Bytes p(kSealMessagePacketSize, 0);
    SessPacketHeader h = {PKT_SEND_MESSAGE, kSendMessageLen, 1};
    EncodePacketHeader(&h, p.data(), p.size());
    PutU32LE(&p[12], timeout);
    PutU32LE(&p[16], icon);
    EXPECT_TRUE(SealMessage(p.data(), plain511.data()));
    return p;
}

Bytes Text511(const std::string &s)
{
    Bytes b(kSealMessagePlain, 0);
    memcpy(b.data(), s.data(), s.size() < b.size() ? s.size() : b.size());
    return b;
}

TEST_F(SimClipTest, MessagesOpenedWithTheirIconAndTimeOut)
{
    Bytes tail = Text511("late"), badKey = MessagePacket(Text511("x"), 0, 64), badPad = badKey;
    tail[300] = 'z';
    const std::string longText = "\"" + std::string(511, 'm') + "\"";
    badKey[40] ^= 1;  // inside the encrypted key
    badPad[595] ^= 1; // through CBC, the pad byte 1 becomes 0
    const struct {
        Bytes packet;
        const char *text, *icon, *timeout;
        const char *error;
    } cases[] = {
        {MessagePacket(Text511("Hello"), 0xFFFFFFFF, 64), "\"Hello\"", "64", "4294967295", nullptr},
        {MessagePacket(Text511("a\"b\\c\r\n\xE9"), 30, 16), "\"a\\\"b\\\\c\\r\\n\\u00e9\"", "16", "30", nullptr},
        {MessagePacket(Text511(std::string(511, 'm')), 0, 32), longText.c_str(), "32", "0", nullptr},
        {MessagePacket(Text511(""), 5, 48), "\"\"", "48", "5", "empty text"},
        {MessagePacket(tail, 5, 48), "\"late\"", "48", "5", "not followed by zero bytes"},
        {MessagePacket(Text511("x"), 5, 17), "\"x\"", "17", "5", "icon is not"},
        {badKey, "null", "64", "0", "does not open"},
        {badPad, "null", "64", "0", "does not open"},
    };
    for (const auto &c : cases) {
        SimOutput out;
        EXPECT_EQ(Feed(c.packet.data(), &out), c.error == nullptr);
        const auto lines = SimLogLines(out.log);
        ASSERT_EQ(lines.size(), c.error ? 2u : 1u) << out.log;
        EXPECT_EQ(SimLogField(lines[0], "text"), c.text);
        EXPECT_EQ(SimLogField(lines[0], "icon"), c.icon);
        EXPECT_EQ(SimLogField(lines[0], "timeout"), c.timeout);
        if (c.error) {
            EXPECT_NE(lines[1].find(c.error), std::string::npos) << lines[1];
        }
    }
    for (uint32_t len : {kSendMessageLen - 1, kSendMessageLen + 1}) {
        Bytes p(kPacketHeaderSize + len, 0);
        SessPacketHeader h = {PKT_SEND_MESSAGE, len, 1};
        EncodePacketHeader(&h, p.data(), p.size());
        SimOutput out;
        EXPECT_EQ(Feed(p.data(), &out), 0);
        EXPECT_NE(out.log.find("expected 592"), std::string::npos) << out.log;
    }
}

// The layout alone: IV at packet byte 20, the RSA block at 28, DES-CBC text at 92,
// sealed here with OpenSSL and no envelope code.
TEST_F(SimClipTest, MessageSealedWithOpenSslAloneOpens)
{
    DES_cblock desKey = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    const uint8_t ivBytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    // PKCS #1 v1.5 type 2 by hand, then raw RSA.
    uint8_t block[64], rsa[64];
    block[0] = 0;
    block[1] = 2;
    for (int i = 2; i < 55; i++)
        block[i] = (uint8_t)(0x11 + i);
    block[55] = 0;
    memcpy(block + 56, desKey, 8);
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
    size_t rsaLen = sizeof rsa;
    ASSERT_TRUE(ctx && EVP_PKEY_encrypt_init(ctx) > 0 && EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_NO_PADDING) > 0 &&
                EVP_PKEY_encrypt(ctx, rsa, &rsaLen, block, sizeof block) > 0);
    EVP_PKEY_CTX_free(ctx);
    ASSERT_EQ(rsaLen, 64u);

    Bytes plain = Text511("Sealed elsewhere");
    plain.push_back(1); // one pad byte makes 512
    Bytes p(kSealMessagePacketSize, 0);
    SessPacketHeader h = {PKT_SEND_MESSAGE, kSendMessageLen, 1};
    EncodePacketHeader(&h, p.data(), p.size());
    PutU32LE(&p[12], 45);
    PutU32LE(&p[16], 48);
    memcpy(&p[20], ivBytes, 8);
    memcpy(&p[28], rsa, 64);
    DES_key_schedule ks;
    DES_set_key_unchecked(&desKey, &ks);
    DES_cblock iv;
    memcpy(iv, ivBytes, 8);
    DES_ncbc_encrypt(plain.data(), &p[92], 512, &ks, &iv, DES_ENCRYPT);

    SimOutput out;
    EXPECT_EQ(Feed(p.data(), &out), 1) << out.log;
    EXPECT_EQ(SimLogField(out.log, "text"), "\"Sealed elsewhere\"");
    EXPECT_EQ(SimLogField(out.log, "icon"), "48");
    EXPECT_EQ(SimLogField(out.log, "timeout"), "45");
}

} // namespace
