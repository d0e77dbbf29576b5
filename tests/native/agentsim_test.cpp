// The Agent simulator's session logic without sockets: logins sealed by the real envelope
// (the logged DES key is checked with OpenSSL's DES directly), the fields logged for each
// packet, refusals of short and hostile packets, and the control-command parser's refusals.
#include <gtest/gtest.h>

#include "tests/native/agentsim_fixture.h"

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/des.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "session/envelope.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/session.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const uint8_t *p, size_t n)
{
    std::string s;
    char two[3];
    for (size_t i = 0; i < n; i++) {
        snprintf(two, sizeof two, "%02x", p[i]);
        s += two;
    }
    return s;
}

Bytes Padded15(const char *text, size_t len)
{
    Bytes b(kSealedShortPlain, 0);
    memcpy(b.data(), text, len);
    return b;
}

Bytes U32(uint32_t v)
{
    Bytes b(4);
    PutU32LE(b.data(), v);
    return b;
}

struct SimTest : SimSessionTest {
    // The payload goes in an exact-size heap buffer so ASan sees any overread.
    int Feed(uint32_t type, const Bytes &payload, SimOutput *out)
    {
        std::unique_ptr<uint8_t[]> p(new uint8_t[payload.size()]);
        if (!payload.empty())
            memcpy(p.get(), payload.data(), payload.size());
        SessPacketHeader h = {type, (uint32_t)payload.size(), 1};
        return SimHandlePacket(&sess, &h, p.get(), out);
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

// ---- login --------------------------------------------------------------------------

TEST_F(SimTest, AllFifteenPasswordBytesCountAndTheLoggedKeyOpensTheCiphertext)
{
    const struct {
        const char *configured;
        Bytes sent;
        uint32_t status;
        const char *logged;
    } cases[] = {
        {"secret", Padded15("secret", 6), 0, "\"secret\""},
        {"123456789012345", Padded15("123456789012345", 15), 0, "\"123456789012345\""},
        {"12345678901234", Padded15("123456789012345", 15), 1, "\"123456789012345\""},
        // Same text up to the first zero, different bytes behind it: still wrong.
        {"secret", Padded15("secret\0X", 8), 1, "\"secret\""},
        {"secret", Padded15("secreT", 6), 1, "\"secreT\""},
        {"", Padded15("", 0), 0, "\"\""},
    };
    for (const auto &c : cases) {
        strcpy(opt.password, c.configured);
        const Bytes payload = Sealed(c.sent);
        SimOutput out;
        EXPECT_EQ(Feed(PKT_LOGIN, payload, &out), 1);
        EXPECT_EQ(out.reply, LoginReply(c.status)) << c.configured;
        EXPECT_EQ(sess.loggedIn, c.status == 0) << c.configured;
        const auto lines = SimLogLines(out.log);
        ASSERT_EQ(lines.size(), 2u); // the packet, then the reply sent
        const std::string &l = lines[0];
        EXPECT_EQ(SimLogField(l, "open_ok"), "true");
        EXPECT_EQ(SimLogField(l, "password_ok"), c.status == 0 ? "true" : "false");
        EXPECT_EQ(SimLogField(l, "password"), c.logged) << c.configured;
        EXPECT_EQ(SimLogField(l, "iv"), "\"" + Hex(payload.data(), 8) + "\"");

        // The logged key, used with plain DES-CBC, must give back the password block.
        const std::string keyHex = SimLogField(l, "des_key");
        ASSERT_EQ(keyHex.size(), 18u);
        DES_cblock k, iv;
        for (int i = 0; i < 8; i++)
            k[i] = (uint8_t)strtoul(keyHex.substr(1 + 2 * i, 2).c_str(), nullptr, 16);
        memcpy(iv, payload.data(), 8);
        DES_key_schedule ks;
        DES_set_key_unchecked(&k, &ks);
        uint8_t plain[16];
        DES_ncbc_encrypt(payload.data() + 72, plain, 16, &ks, &iv, DES_DECRYPT);
        Bytes want = c.sent;
        want.push_back(1);
        EXPECT_EQ(Bytes(plain, plain + 16), want) << c.configured;
    }
}

TEST_F(SimTest, PacketsLoggedWithTheirFieldsOrRefused)
{
    opt.screenCount = 3;
    const Bytes ci = {1, 0, 16, 0, 1, 0, 0, 0, 0x22, 0x03, 0, 0};
    Bytes select3(16, 0), select4(16, 0);
    select3[0] = 3;
    select4[0] = 4;
    const std::string payload3 = "\"03" + std::string(30, '0') + "\"";
    // Accepted packets list fields of their line; refused ones a piece of the error line.
    using Fields = std::vector<std::pair<const char *, std::string>>;
    const struct {
        uint32_t type;
        Bytes payload;
        Fields fields;
        const char *error;
    } cases[] = {
        {PKT_CLIENT_INFO, ci, {{"planes", "1"}, {"bpp", "16"}, {"slownet", "1"}, {"version", "802"}}, nullptr},
        {PKT_SELECT_SCREEN, select3, {{"screen", "3"}, {"applied", "true"}, {"payload", payload3}}, nullptr},
        {PKT_SESSION_STAMP, U32(0xFFFFFFFF), {{"stamp", "4294967295"}}, nullptr},
        {PKT_SET_LEVEL, U32(7), {{"value", "7"}}, nullptr},
        {PKT_SET_SWITCH, U32(1), {{"value", "1"}}, nullptr},
        {PKT_AGENT_KEYS, Bytes(), {{"name", "\"PKT_AGENT_KEYS\""}}, nullptr},
        {PKT_LOGIN, Bytes(), {}, "dwDataLen 0, expected 88"},
        {PKT_LOGIN, Bytes(87, 1), {}, "87, expected 88"},
        {PKT_LOGIN, Bytes(89, 1), {}, "89, expected 88"},
        {PKT_CLIENT_INFO, Bytes(11, 1), {}, "expected 12"},
        {PKT_SESSION_STAMP, Bytes(5, 1), {}, "expected 4"},
        {PKT_INPUT_EVENT, Bytes(11, 1), {}, "11, expected 12"},
        {PKT_AGENT_KEYS, Bytes(1, 0), {}, "1, expected 0"},
        {PKT_VIEW_GRID, Bytes(3, 0), {}, "expected 4"},
        {PKT_SELECT_SCREEN, Bytes(15, 2), {}, "expected 16"},
        {PKT_SELECT_SCREEN, Bytes(16, 0), {}, "screen 0 of 3"},
        {PKT_SELECT_SCREEN, select4, {}, "chose screen 4 of 3"},
        {PKT_SET_LEVEL, U32(8), {}, "value 8 is over 7"},
        {PKT_SET_SWITCH, U32(2), {}, "value 2 is over 1"},
    };
    for (const auto &c : cases) {
        SimOutput out;
        EXPECT_EQ(Feed(c.type, c.payload, &out), c.error == nullptr) << c.type << "/" << c.payload.size();
        const auto lines = SimLogLines(out.log);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(SimLogField(lines[0], "len"), std::to_string(c.payload.size()));
        for (const auto &f : c.fields)
            EXPECT_EQ(SimLogField(lines[0], f.first), f.second) << lines[0];
        EXPECT_EQ(out.log.find("\"ev\":\"error\"") != std::string::npos, c.error != nullptr) << out.log;
        if (c.error) {
            ASSERT_EQ(lines.size(), 2u);
            EXPECT_NE(lines[1].find(c.error), std::string::npos) << lines[1];
        }
        Bytes reply;
        if (c.type == PKT_CLIENT_INFO && !c.error)
            SimAppendScreenInfo(&opt, &reply);
        EXPECT_EQ(out.reply, reply) << c.type;
        EXPECT_EQ(out.screen, !c.error && c.type == PKT_SELECT_SCREEN ? 3u : 0u);
    }
    EXPECT_EQ(sess.loginReplies, 0u);
    EXPECT_EQ(sess.inputEvents, 0u);
}

// ---- control commands ----------------------------------------------------------

TEST(SimControl, BadCommandsRefusedWithReason)
{
    const std::pair<std::string, const char *> cases[] = {
        {"   ", "empty"},
        {"RESTART", "unknown command"},
        {"restart now", "screen must be WxHxBPP"},
        {"restart 99999999999999999999999x1x1", "WxHxBPP"},
        {"send 1 1", "takes 3 arguments"},
        {"send 4294967296 1 -", "type"},
        {"send 0x10 1 -", "type"},
        {"send 1 2 -", "required"},
        {"send 1 1 abc", "odd"},
        {"send 1 1 0g", "bad hex digit at 1"},
        {"send 17 1 " + std::string(2 * (kMaxPayloadSize + 1), 'a'), "over"},
        {"raw -", "at least one byte"},
        {"wait-login 3601", "seconds"},
        {"a b c d e f g", "too many"},
        {"lights -1 0 256", "0 to 255"},
        {"cursor-pos 1 y", "0 to 4294967295"},
        {"cursor-shape 1 2 3 256", "0 to 255"},
        {"cursor-shape 1 2 3 4 star", "arrow, box or 512 hex digits"},
        {"cursor-shape 1 2 3 4 " + std::string(511, 'f') + "g", "bad hex digit at 511"},
        {"cursor-follow ON", "on or off"},
        {"screens 2 1 1 restart", "N [K] [restart]"},
        {"wait-input 4294967296", "0 to 4294967295"},
        {"dump", "takes a path"},
        {"ft-delay 60001", "milliseconds"},
        {"ft-corrupt 1", "takes 0 arguments"},
        {"ft-early 2", "takes 0 arguments"},
        {"ft-ragged x", "takes 0 arguments"},
        {"ft-path", "takes a relative path"},
        {"ft-path " + std::string(261, 'x'), "over 260"},
        {"wait-files 1 2 3", "N [SECONDS]"},
        {"fill 1 2 3 4", "takes 5 arguments"},
        {"fill 0 0 10 10 ff00", "RRGGBB"},
        {"fill 0 0 65536 1 ff0000", "0 to 65535"},
        {"ft-questions 0", "at least 1"},
        {"ft-questions 100001", "count"},
        {"ft-questions 1 later", "now"},
        {"ft-questions", "a count"},
        {"ft-endless 60001", "milliseconds"},
        {"ft-endless 1 2", "at most one"},
        {"ft-damaged 1", "takes 0 arguments"},
        {"settings-answer", "takes 1 argument"},
        {"settings-answer sound", "refused unfinished overfull"},
    };
    for (const auto &c : cases) {
        SimControlCommand cmd;
        char err[160] = "";
        EXPECT_EQ(SimParseControl(c.first.data(), c.first.size(), &cmd, err, sizeof err), 0) << c.first.substr(0, 40);
        EXPECT_NE(strstr(err, c.second), nullptr) << c.first.substr(0, 40) << " -> " << err;
    }
}

} // namespace
