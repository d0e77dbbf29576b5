// The Agent simulator's logic without sockets: reply layouts byte by byte, logins
// sealed by the real envelope (the logged DES key is checked by decrypting with
// OpenSSL's DES directly), refusals of short and hostile packets, control-command
// parsing, JSON escaping and the command line.
#include <gtest/gtest.h>

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/des.h>

#include <cstdlib>
#include <cstring>
#include <random>
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

std::vector<std::string> Lines(const std::string &log)
{
    std::vector<std::string> out;
    size_t start = 0, nl;
    while ((nl = log.find('\n', start)) != std::string::npos) {
        out.push_back(log.substr(start, nl - start));
        start = nl + 1;
    }
    EXPECT_EQ(start, log.size()) << "log ends inside a line";
    return out;
}

// Raw text of a field's value: a number, true/false/null, or a string with quotes.
std::string Field(const std::string &line, const char *key)
{
    std::string k = std::string("\"") + key + "\":";
    size_t at = line.find(k);
    if (at == std::string::npos) return "<absent>";
    at += k.size();
    size_t end = at;
    if (line[at] == '"') {
        for (end = at + 1; end < line.size() && line[end] != '"'; end++)
            if (line[end] == '\\') end++;
        end++;
    } else {
        while (end < line.size() && line[end] != ',' && line[end] != '}') end++;
    }
    return line.substr(at, end - at);
}

std::string Hex(const uint8_t *p, size_t n)
{
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; i++) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

Bytes Padded15(const char *text, size_t len)
{
    Bytes b(kSealedShortPlain, 0);
    memcpy(b.data(), text, len);
    return b;
}

struct SimTest : ::testing::Test {
    static EVP_PKEY *key;
    SimOptions opt;
    SimSession sess;

    static void SetUpTestSuite()
    {
        SimOptions o;
        SimOptionsInit(&o);
        char *pem;
        size_t len;
        char err[200];
        ASSERT_TRUE(SimKeyLoad(o.keyPath, &pem, &len, &key, err, sizeof err)) << err;
        ASSERT_TRUE(EnvelopeLoadKeyPem(pem, len));
        free(pem);
    }
    static void TearDownTestSuite()
    {
        EVP_PKEY_free(key);
        key = nullptr;
    }
    void SetUp() override
    {
        EnvelopeSeed(nullptr, 0);
        SimOptionsInit(&opt);
        SimSessionInit(&sess, &opt, key);
    }

    int Feed(uint32_t type, const Bytes &payload, SimOutput *out, uint32_t required = 1)
    {
        SessPacketHeader h = {type, (uint32_t)payload.size(), required};
        return SimHandlePacket(&sess, &h, payload.data(), out);
    }
    Bytes Sealed(const Bytes &plain15)
    {
        Bytes b(kSealedShortSize);
        EXPECT_TRUE(SealShort(b.data(), plain15.data()));
        return b;
    }
    Bytes LoginReply(uint32_t status)
    {
        Bytes b;
        SimAppendLoginReply(&opt, status, &b);
        return b;
    }
};
EVP_PKEY *SimTest::key = nullptr;

// ---- reply layouts -------------------------------------------------------------

TEST_F(SimTest, LoginReplyLayoutByteByByte)
{
    opt.agentVersion = 0x0317;
    opt.osPlatform = 1;
    opt.osMajor = 0x05060708;
    opt.osMinor = -2;
    strcpy(opt.computer, "ABCDEFGHIJKLMNO");  // 15 characters: the field's terminator stays
    opt.rights = 0x0E0D0C0B;
    opt.slider = 7;
    const Bytes want = {
        0x01, 0, 0, 0, 39, 0, 0, 0, 1, 0, 0, 0,                            // header
        0xD4, 0xC3, 0xB2, 0xA1,                                            // +0 status
        0x17, 0x03,                                                        // +4 version
        0x01,                                                              // +6 platform
        0x08, 0x07, 0x06, 0x05,                                            // +7 major
        0xFE, 0xFF, 0xFF, 0xFF,                                            // +11 minor
        'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L', 'M', 'N', 'O', 0,  // +15
        0x0B, 0x0C, 0x0D, 0x0E,                                            // +31 rights
        0x07, 0, 0, 0,                                                     // +35 slider
    };
    EXPECT_EQ(LoginReply(0xA1B2C3D4), want);
}

TEST_F(SimTest, LoginReplyDefaultsAndShortNameZeroFilled)
{
    Bytes b = LoginReply(0);
    ASSERT_EQ(b.size(), 51u);
    const uint8_t *p = b.data() + 12;
    EXPECT_EQ(GetU32LE(p), 0u);
    EXPECT_EQ(GetU16LE(p + 4), 791u);
    EXPECT_EQ(p[6], 2);
    EXPECT_EQ(GetU32LE(p + 7), 10u);
    EXPECT_EQ(GetU32LE(p + 11), 0u);
    EXPECT_EQ(std::string((const char *)p + 15, 16), std::string("SIMHOST\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(GetU32LE(p + 31), 14u);
    EXPECT_EQ(GetU32LE(p + 35), 3u);
}

TEST_F(SimTest, ScreenInfoLayoutByteByByte)
{
    opt.screenWidth = 1280;
    opt.screenHeight = 1024;
    opt.screenBpp = 8;
    opt.screenCount = 4;
    Bytes b;
    EXPECT_EQ(SimAppendScreenInfo(&opt, &b), 24u);
    const Bytes want = {3, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0,
                        0x00, 0x05, 0x00, 0x04, 1, 0, 8, 0, 8, 0, 4, 1};
    EXPECT_EQ(b, want);
}

// ---- login ---------------------------------------------------------------------

TEST_F(SimTest, RightPasswordAcceptedAndLoggedKeyOpensTheCiphertext)
{
    Bytes payload = Sealed(Padded15("secret", 6));
    SimOutput out;
    EXPECT_EQ(Feed(PKT_LOGIN, payload, &out), 1);
    EXPECT_EQ(out.reply, LoginReply(0));
    EXPECT_EQ(sess.loginReplies, 1u);
    EXPECT_EQ(sess.loggedIn, 1);
    auto lines = Lines(out.log);
    ASSERT_EQ(lines.size(), 2u);  // the packet, then the reply sent
    const std::string &l = lines[0];
    EXPECT_EQ(Field(l, "ev"), "\"packet\"");
    EXPECT_EQ(Field(l, "type"), "0");
    EXPECT_EQ(Field(l, "name"), "\"PKT_LOGIN\"");
    EXPECT_EQ(Field(l, "len"), "88");
    EXPECT_EQ(Field(l, "required"), "1");
    EXPECT_EQ(Field(l, "open_ok"), "true");
    EXPECT_EQ(Field(l, "password_ok"), "true");
    EXPECT_EQ(Field(l, "password"), "\"secret\"");
    EXPECT_EQ(Field(l, "iv"), "\"" + Hex(payload.data(), 8) + "\"");
    EXPECT_EQ(Field(l, "status"), "0");
    EXPECT_EQ(Field(lines[1], "ev"), "\"sent\"");
    EXPECT_EQ(Field(lines[1], "name"), "\"PKT_LOGIN_REPLY\"");

    // The logged key, used with plain DES-CBC, must give back the password block.
    std::string keyHex = Field(l, "des_key");
    ASSERT_EQ(keyHex.size(), 18u);
    DES_cblock k, iv;
    for (int i = 0; i < 8; i++) k[i] = (uint8_t)strtoul(keyHex.substr(1 + 2 * i, 2).c_str(), nullptr, 16);
    memcpy(iv, payload.data(), 8);
    DES_key_schedule ks;
    DES_set_key_unchecked(&k, &ks);
    uint8_t plain[16];
    DES_ncbc_encrypt(payload.data() + 72, plain, 16, &ks, &iv, DES_DECRYPT);
    Bytes want = Padded15("secret", 6);
    want.push_back(1);
    EXPECT_EQ(Bytes(plain, plain + 16), want);
}

TEST_F(SimTest, StatusOptionAppliesOnlyToAMatchingPassword)
{
    opt.status = 2;
    SimOutput good, bad;
    Feed(PKT_LOGIN, Sealed(Padded15("secret", 6)), &good);
    EXPECT_EQ(good.reply, LoginReply(2));
    EXPECT_EQ(sess.loggedIn, 0);
    Feed(PKT_LOGIN, Sealed(Padded15("secreT", 6)), &bad);
    EXPECT_EQ(bad.reply, LoginReply(1));
    EXPECT_EQ(Field(Lines(bad.log)[0], "password_ok"), "false");
    EXPECT_EQ(Field(Lines(bad.log)[0], "password"), "\"secreT\"");
    EXPECT_EQ(sess.loginReplies, 2u);
}

TEST_F(SimTest, AllFifteenBytesCount)
{
    struct Case {
        const char *configured;
        Bytes sent;
        uint32_t status;
        const char *logged;
    } cases[] = {
        {"123456789012345", Padded15("123456789012345", 15), 0, "\"123456789012345\""},
        {"12345678901234", Padded15("123456789012345", 15), 1, "\"123456789012345\""},
        // Same text up to the first zero, different bytes behind it: still wrong.
        {"secret", Padded15("secret\0X", 8), 1, "\"secret\""},
        {"", Padded15("", 0), 0, "\"\""},
    };
    for (const Case &c : cases) {
        strcpy(opt.password, c.configured);
        SimOutput out;
        Feed(PKT_LOGIN, Sealed(c.sent), &out);
        EXPECT_EQ(out.reply, LoginReply(c.status)) << c.configured;
        EXPECT_EQ(Field(Lines(out.log)[0], "password"), c.logged) << c.configured;
    }
}

TEST_F(SimTest, TwoLoginsUseDifferentKeysAndIvs)
{
    SimOutput a, b;
    Feed(PKT_LOGIN, Sealed(Padded15("secret", 6)), &a);
    Feed(PKT_LOGIN, Sealed(Padded15("secret", 6)), &b);
    std::string ka = Field(Lines(a.log)[0], "des_key"), kb = Field(Lines(b.log)[0], "des_key");
    EXPECT_EQ(ka.size(), 18u);
    EXPECT_NE(ka, kb);
    EXPECT_NE(Field(Lines(a.log)[0], "iv"), Field(Lines(b.log)[0], "iv"));
}

TEST_F(SimTest, GarbageEnvelopesRefusedWithStatusOne)
{
    const Bytes blocks[] = {Bytes(88, 0xFF), Bytes(88, 0x00), Bytes(88, 0x5A)};
    for (const Bytes &blk : blocks) {
        SimOutput out;
        EXPECT_EQ(Feed(PKT_LOGIN, blk, &out), 1);
        EXPECT_EQ(out.reply, LoginReply(1));
        std::string l = Lines(out.log)[0];
        EXPECT_EQ(Field(l, "open_ok"), "false");
        EXPECT_EQ(Field(l, "password"), "null");
        EXPECT_EQ(Field(l, "des_key"), "null");
    }
}

TEST_F(SimTest, RecoverDesKeyRefusesBadPadding)
{
    uint8_t k[8];
    uint8_t block[64];
    memset(block, 0xFF, sizeof block);  // above the modulus
    EXPECT_EQ(SimRecoverDesKey(key, block, k), 0);
    memset(block, 0, sizeof block);  // decrypts to zero: no 00 02 prefix
    EXPECT_EQ(SimRecoverDesKey(key, block, k), 0);
}

// ---- refusals and other types ------------------------------------------------------

TEST_F(SimTest, WrongLengthsRefusedWithErrorAndNoAnswer)
{
    struct Case {
        uint32_t type;
        size_t len;
    } cases[] = {
        {PKT_LOGIN, 0}, {PKT_LOGIN, 87}, {PKT_LOGIN, 89}, {PKT_CLIENT_INFO, 11},
        {PKT_CLIENT_INFO, 13}, {PKT_SESSION_STAMP, 3}, {PKT_SESSION_STAMP, 5}, {PKT_SET_LEVEL, 0},
    };
    for (const Case &c : cases) {
        SimOutput out;
        EXPECT_EQ(Feed(c.type, Bytes(c.len, 0xAB), &out), 0) << c.type << "/" << c.len;
        EXPECT_TRUE(out.reply.empty());
        auto lines = Lines(out.log);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(Field(lines[0], "len"), std::to_string(c.len));
        EXPECT_EQ(Field(lines[1], "ev"), "\"error\"");
        EXPECT_NE(lines[1].find("dwDataLen " + std::to_string(c.len)), std::string::npos) << lines[1];
    }
    EXPECT_EQ(sess.loginReplies, 0u);
}

TEST_F(SimTest, ClientInfoDecodedAndAnsweredWithScreenInfo)
{
    Bytes ci = {1, 0, 16, 0, 1, 0, 0, 0, 0x22, 0x03, 0, 0};
    SimOutput out;
    EXPECT_EQ(Feed(PKT_CLIENT_INFO, ci, &out), 1);
    Bytes want;
    SimAppendScreenInfo(&opt, &want);
    EXPECT_EQ(out.reply, want);
    std::string l = Lines(out.log)[0];
    EXPECT_EQ(Field(l, "planes"), "1");
    EXPECT_EQ(Field(l, "bpp"), "16");
    EXPECT_EQ(Field(l, "slownet"), "1");
    EXPECT_EQ(Field(l, "version"), "802");
    EXPECT_EQ(Field(l, "logged_in"), "false");
}

TEST_F(SimTest, OtherTypesLoggedWithCutPayload)
{
    Bytes big(300);
    for (size_t i = 0; i < big.size(); i++) big[i] = (uint8_t)i;
    SimOutput out;
    EXPECT_EQ(Feed(49, big, &out, 0), 1);
    Feed(0xFFFFFFFFu, Bytes(), &out);
    Feed(PKT_SELECT_SCREEN, Bytes{3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &out, 0);
    Feed(PKT_SESSION_STAMP, Bytes{0x78, 0x56, 0x34, 0x12}, &out);
    EXPECT_TRUE(out.reply.empty());
    auto lines = Lines(out.log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Field(lines[0], "name"), "\"unknown\"");
    EXPECT_EQ(Field(lines[0], "required"), "0");
    EXPECT_EQ(Field(lines[0], "len"), "300");
    EXPECT_EQ(Field(lines[0], "payload"), "\"" + Hex(big.data(), 256) + "\"");
    EXPECT_EQ(Field(lines[0], "payload_cut"), "true");
    EXPECT_EQ(Field(lines[1], "type"), "4294967295");
    EXPECT_EQ(Field(lines[1], "payload"), "\"\"");
    EXPECT_EQ(Field(lines[2], "name"), "\"PKT_SELECT_SCREEN\"");
    EXPECT_EQ(Field(lines[2], "screen"), "3");
    EXPECT_EQ(Field(lines[3], "stamp"), "305419896");
}

TEST_F(SimTest, RandomPacketsNeverCrash)
{
    std::mt19937 rng(21560);
    for (int i = 0; i < 3000; i++) {
        uint32_t type = rng() % 62;
        size_t len = (i % 7 == 0) ? 88 : rng() % 300;
        Bytes p(len);
        for (auto &b : p) b = (uint8_t)rng();
        SimOutput out;
        Feed(type, p, &out, rng() & 1);
        for (const std::string &l : Lines(out.log)) ASSERT_EQ(l.front(), '{');
    }
}

TEST(SimLogSent, WholePacketsOneLineEachElseRaw)
{
    Bytes two = {13, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 28, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 9, 9};
    std::string log;
    SimLogSent(&log, two.data(), two.size());
    EXPECT_EQ(log, "{\"ev\":\"sent\",\"type\":13,\"name\":\"PKT_DESKTOP_RESTART\",\"len\":0,\"required\":1}\n"
                   "{\"ev\":\"sent\",\"type\":28,\"name\":\"PKT_CURSOR_POS\",\"len\":2,\"required\":0}\n");
    log.clear();
    SimLogSent(&log, two.data(), two.size() - 1);  // cut inside the second packet
    EXPECT_EQ(log, "{\"ev\":\"sent_raw\",\"len\":25}\n");
}

// ---- control commands ----------------------------------------------------------

TEST(SimControl, ValidCommands)
{
    struct Case {
        const char *line;
        int kind;
        Bytes bytes;
        uint32_t seconds;
    } cases[] = {
        {"restart", kCtlRestart, {13, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 0},
        {"send 49 1 -", kCtlSend, {49, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}, 0},
        {"send 4294967295 0 0aFf", kCtlSend, {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0xFF}, 0},
        {"  send\t17 1   41  \r", kCtlSend, {17, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0x41}, 0},
        {"raw 00ff10", kCtlRaw, {0x00, 0xFF, 0x10}, 0},
        {"close", kCtlClose, {}, 0},
        {"quit", kCtlQuit, {}, 0},
        {"wait-login 30", kCtlWaitLogin, {}, 30},
        {"wait-login 0", kCtlWaitLogin, {}, 0},
    };
    for (const Case &c : cases) {
        SimControlCommand cmd;
        char err[160] = "";
        ASSERT_EQ(SimParseControl(c.line, strlen(c.line), &cmd, err, sizeof err), 1) << c.line << ": " << err;
        EXPECT_EQ(cmd.kind, c.kind) << c.line;
        EXPECT_EQ(cmd.bytes, c.bytes) << c.line;
        EXPECT_EQ(cmd.seconds, c.seconds) << c.line;
    }
}

TEST(SimControl, BadCommandsRefusedWithReason)
{
    struct Case {
        std::string line;
        const char *reason;
    } cases[] = {
        {"", "empty"},
        {"   ", "empty"},
        {"dance", "unknown command"},
        {"RESTART", "unknown command"},
        {"restart now", "screen must be WxHxBPP"},
        {"send", "takes 3 arguments"},
        {"send 1 1", "takes 3 arguments"},
        {"send 1 1 00 00", "takes 3 arguments"},
        {"send 4294967296 1 -", "type"},
        {"send -1 1 -", "type"},
        {"send 0x10 1 -", "type"},
        {"send 1 2 -", "required"},
        {"send 1 -1 -", "required"},
        {"send 1 1 abc", "odd"},
        {"send 1 1 0g", "bad hex digit at 1"},
        {"raw", "takes 1 argument"},
        {"raw -", "at least one byte"},
        {"raw 12 34", "takes 1 argument"},
        {"raw zz", "bad hex digit at 0"},
        {"wait-login", "takes 1 argument"},
        {"wait-login 3601", "seconds"},
        {"wait-login soon", "seconds"},
        {"a b c d e f", "too many"},
        {"send 17 1 " + std::string(2 * (kMaxPayloadSize + 1), 'a'), "over"},
    };
    for (const Case &c : cases) {
        SimControlCommand cmd;
        char err[160] = "";
        EXPECT_EQ(SimParseControl(c.line.data(), c.line.size(), &cmd, err, sizeof err), 0) << c.line;
        EXPECT_NE(strstr(err, c.reason), nullptr) << c.line.substr(0, 40) << " -> " << err;
    }
}

TEST(SimControl, LargestPayloadAccepted)
{
    std::string line = "send 17 1 " + std::string(2 * kMaxPayloadSize, 'e');
    SimControlCommand cmd;
    char err[160];
    ASSERT_EQ(SimParseControl(line.data(), line.size(), &cmd, err, sizeof err), 1) << err;
    EXPECT_EQ(cmd.bytes.size(), (size_t)kMaxPacketSize);
    EXPECT_EQ(GetU32LE(cmd.bytes.data() + 4), (uint32_t)kMaxPayloadSize);
}

// ---- JSON ------------------------------------------------------------------------

TEST(SimJson, EscapesToPlainAscii)
{
    const char raw[] = "a\"b\\c\nd\re\tf\x01g\x1fh\x7fi\xe9j\bk\fl";
    std::string out;
    JsonEscape(&out, raw, sizeof raw - 1);
    EXPECT_EQ(out, "a\\\"b\\\\c\\nd\\re\\tf\\u0001g\\u001fh\\u007fi\\u00e9j\\bk\\fl");
    std::string zero;
    JsonEscape(&zero, "x\0y", 3);
    EXPECT_EQ(zero, "x\\u0000y");
}

TEST(SimJson, LineShape)
{
    JsonLine j;
    JsonBegin(&j, "closed");
    JsonCStr(&j, "reason", "pe\"er");
    JsonInt(&j, "n", -5);
    JsonUint(&j, "u", 4294967295u);
    JsonBool(&j, "b", 0);
    JsonNull(&j, "z");
    const uint8_t bytes[] = {0x00, 0xAB, 0x10};
    JsonHex(&j, "h", bytes, 3, 2);
    EXPECT_EQ(JsonEnd(&j),
              "{\"ev\":\"closed\",\"reason\":\"pe\\\"er\",\"n\":-5,\"u\":4294967295,\"b\":false,\"z\":null,"
              "\"h\":\"00ab\"}\n");
}

// ---- command line ---------------------------------------------------------------

int Parse(std::vector<const char *> args, SimOptions *o, std::string *err)
{
    args.insert(args.begin(), "agentsim");
    SimOptionsInit(o);
    char buf[200] = "";
    int help;
    int rc = SimOptionsParse(o, (int)args.size(), (char **)args.data(), &help, buf, sizeof buf);
    *err = buf;
    return rc;
}

TEST(SimOptionsParse, ValuesAndLimits)
{
    SimOptions o;
    std::string err;
    ASSERT_EQ(Parse({"--port", "0", "--control", "any", "--screen", "65535x1x32", "--screens", "255", "--os-minor",
                     "-2147483648", "--status", "4294967295", "--computer", "ABCDEFGHIJKLMNO", "--password",
                     "123456789012345", "--once"},
                    &o, &err),
              1)
        << err;
    EXPECT_EQ(o.port, 0u);
    EXPECT_EQ(o.controlPort, (uint32_t)kSimControlAny);
    EXPECT_EQ(o.screenWidth, 65535);
    EXPECT_EQ(o.screenHeight, 1);
    EXPECT_EQ(o.screenBpp, 32);
    EXPECT_EQ(o.screenCount, 255);
    EXPECT_EQ(o.osMinor, INT32_MIN);
    EXPECT_EQ(o.status, 4294967295u);
    EXPECT_STREQ(o.computer, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(o.once, 1);

    const std::vector<std::vector<const char *>> bad = {
        {"--port", "65536"},       {"--port", "-1"},          {"--port", " 5"},
        {"--screen", "1024x768"},  {"--screen", "0x768x16"},  {"--screen", "1024x768x33"},
        {"--screen", "1024x768x16x"}, {"--screen", "x768x16"}, {"--screens", "0"},
        {"--screens", "256"},      {"--computer", "ABCDEFGHIJKLMNOP"}, {"--password", "1234567890123456"},
        {"--agent-version", "65536"}, {"--os-platform", "256"}, {"--os-minor", "2147483648"},
        {"--rights", "4294967296"}, {"--control", "anything"}, {"--bogus", "1"},
        {"--port"},                {"stray"},
    };
    for (const auto &args : bad) {
        EXPECT_EQ(Parse(args, &o, &err), 0) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_FALSE(err.empty());
    }
}

}  // namespace
