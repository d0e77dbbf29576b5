// Command line: splitting, option and target tokens, the address parser against
// glibc, and the per-host names.
#include "shell/cmdline.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Start-up's path: split into at most 5 tokens and apply each in order.
TargetOptions StartUp(const std::string &commandLine)
{
    std::string buf = commandLine;
    char *tokens[kMaxTokens];
    TargetOptions opt;
    TargetOptionsInit(&opt);
    const int n = SplitCommandLine(&buf[0], tokens, kMaxTokens);
    for (int i = 0; i < n; i++)
        ApplyCommandToken(&opt, tokens[i]);
    return opt;
}

// A cut is shown as '|' in the buffer afterwards.
TEST(SplitCommandLine, TokensAndWhatIsCut)
{
    const struct {
        const char *text;
        int max;
        Strings tokens;
        const char *after;
    } cases[] = {
        {"", 5, {}, ""},
        {" \t \t ", 5, {}, " \t \t "},
        {"  a\t\tb   c  ", 5, {"a", "b", "c"}, "  a|\tb|  c| "},
        // Only blank and tab separate; no quoting of any kind.
        {"a\nb\rc\vd", 5, {"a\nb\rc\vd"}, "a\nb\rc\vd"},
        {"\"PWD=a b\" 'x y'", 5, {"\"PWD=a", "b\"", "'x", "y'"}, "\"PWD=a|b\"|'x|y'"},
        // Stops right after terminating the last token it may return.
        {"1 2 3 4 5 6\t7 ", 5, {"1", "2", "3", "4", "5"}, "1|2|3|4|5|6\t7 "},
        {"a  b   c", 2, {"a", "b"}, "a| b|  c"},
        {" a b", 0, {}, " a b"},
    };
    for (const auto &c : cases) {
        std::string buf = c.text;
        char *tokens[8] = {};
        const int n = SplitCommandLine(&buf[0], tokens, c.max);
        EXPECT_EQ(Strings(tokens, tokens + n), c.tokens) << '"' << c.text << '"';
        for (char &ch : buf)
            ch = ch ? ch : '|';
        EXPECT_EQ(buf, c.after) << '"' << c.text << '"';
    }
}

// Whole command lines: host "" is no target, one with ':' is SPX, else TCP; flags are
// CTRL, SLOWNET and RETPWD.
TEST(CommandLine, TokensAppliedInOrder)
{
    const struct {
        const char *line;
        const char *host;
        const char *password;
        const char *flags;
    } cases[] = {
        // Flags: any case, exact length.
        {"cTrL", "", "", "100"},
        {"SlowNet", "", "", "010"},
        {"retpwd", "", "", "001"},
        {"CTRLX CTR XCTRL SLOWNETS SLOWNE", "", "", "000"},
        {"RETPWD= RETPWDX /CTRL CTRL=1", "", "", "000"},
        // 18 characters leave a terminated 14-character password; 19 fill all 15 bytes
        // with the 16th still zero; more are cut.
        {"PWD=abcdefghijklmn", "", "abcdefghijklmn", "000"},
        {"pwd=abcdefghijklmno", "", "abcdefghijklmno", "000"},
        {"Pwd=abcdefghijklmnopqrstuvwxyz", "", "abcdefghijklmno", "000"},
        {"PWD=PWD=PWD=PWD=PWD=", "", "PWD=PWD=PWD=PWD", "000"},
        {"PWD=\xC0\xE1\xFF", "", "\xC0\xE1\xFF", "000"},
        // The prefix alone is no password and keeps the earlier one; a shorter one
        // keeps no byte of a longer one.
        {"PWD= PWD=keep pwd=", "", "keep", "000"},
        {"PWD=ABCDEFGHIJKLMNOPQ PWD=xy", "", "xy", "000"},
        {"PWD=abcdefghijklmn PWD=ABCDEFGHIJKLMNOPQRS", "", "ABCDEFGHIJKLMNO", "000"},
        // TCP takes what inet_addr takes, except the broadcast address.
        {"TCP=10.0.0.1", "10.0.0.1", "", "000"},
        {"tcp=192.168.1.20", "192.168.1.20", "", "000"},
        {"TCP=0x7f.1", "127.0.0.1", "", "000"},
        {"TCP=010.0.0.1", "8.0.0.1", "", "000"},
        {"TCP=0.0.0.0", "0.0.0.0", "", "000"},
        {"TCP=255.255.255.254", "255.255.255.254", "", "000"},
        {"TCP=255.255.255.255 TCP=0xffffffff TCP=4294967295 TCP=localhost TCP=host.example", "", "", "000"},
        {"TCP=1.2.3.4.5 TCP= TCP:10.0.0.1 TCP10.0.0.1", "", "", "000"},
        // SPX: 8 and 12 hex digits around ':' at offset 12, shown upper-case.
        {"SPX=0000ABCD:00112233AABB", "0000ABCD:00112233AABB", "", "000"},
        {"spx=0000abcd:00112233aabb", "0000ABCD:00112233AABB", "", "000"},
        {"Spx=12345678:9aBcDeF01234", "12345678:9ABCDEF01234", "", "000"},
        {"SPX=FFFFFFFF:FFFFFFFFFFFF", "FFFFFFFF:FFFFFFFFFFFF", "", "000"},
        {"SPX=00000000:000000000000", "00000000:000000000000", "", "000"},
        {"SPX=0000ABCD:00112233AAB SPX=0000ABCD:00112233AABBC SPX=000ABCD:000112233AABB "
         "SPX=0000ABCDE:0112233AABB SPX=0000ABCD-00112233AABB",
         "", "", "000"},
        {"SPX:0000ABCD:00112233AABB IPX=0000ABCD:00112233AABB SPX=0000ABCG:00112233AABB "
         "SPX=0000ABCD:00112233AABg SPX=0000AB@D:00112233AABB",
         "", "", "000"},
        {"SPX=0000:BCD:00112233AABB SPX=0000ABCD:0011:233AABB SPX=0000ABCD::0112233AABB "
         "SPX=0x00ABCD:00112233AABB SPX=-000ABCD:00112233AABB",
         "", "", "000"},
        {"SPX=0000ABCD:00112233AA\xC1"
         "B",
         "", "", "000"},
        // A later valid target replaces an earlier one; invalid ones change nothing.
        {"TCP=10.0.0.1 SPX=0000ABCD:00112233AABB", "0000ABCD:00112233AABB", "", "000"},
        {"SPX=0000ABCD:00112233AABB TCP=10.0.0.1", "10.0.0.1", "", "000"},
        {"TCP=10.0.0.1 TCP=10.0.0.2", "10.0.0.2", "", "000"},
        {"TCP=10.0.0.1 TCP=255.255.255.255 TCP=nohost SPX=0000ABCD:00112233AABG", "10.0.0.1", "", "000"},
        {"SPX=11111111:222222222222 SPX=3333333G:444444444444 TCP=255.255.255.255", "11111111:222222222222", "", "000"},
        // The sixth token is never applied.
        {"CTRL SLOWNET RETPWD PWD=abc TCP=10.0.0.1 TCP=10.0.0.2", "10.0.0.1", "abc", "111"},
        {"a b c d e TCP=10.0.0.1", "", "", "000"},
        {"a b c d TCP=10.0.0.1", "10.0.0.1", "", "000"},
        {"  ctrl\tPWD=secret   TCP=192.168.1.20 slownet\tRETPWD  ", "192.168.1.20", "secret", "111"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        TargetOptions o = StartUp(c.line);
        const std::string host = c.host;
        EXPECT_EQ(o.protocol, host.empty() ? PROTO_NONE : host.find(':') != std::string::npos ? PROTO_SPX : PROTO_TCP);
        if (o.protocol == PROTO_TCP) {
            EXPECT_EQ(o.ipv4, (uint32_t)inet_addr(c.host));
        }
        EXPECT_EQ(BuildHostText(&o), host.empty() ? 0 : 1);
        EXPECT_EQ(std::string(o.hostText), host);
        EXPECT_EQ(std::string((const char *)o.password, kPasswordBufSize),
                  c.password + std::string(kPasswordBufSize - strlen(c.password), '\0'));
        EXPECT_EQ(std::to_string(o.ctrl) + std::to_string(o.slowNet) + std::to_string(o.retPwd), c.flags);
    }
}

// Every byte value at every digit position: accepted exactly when libc calls it a hex
// digit, and then it lands in the right nibble.
TEST(CommandLine, SpxDigitCheckAgreesWithIsxdigit)
{
    const std::string base = "SPX=00000000:000000000000";
    for (size_t pos = 4; pos < base.size(); pos++) {
        if (pos == 12)
            continue;
        for (int c = 1; c < 256; c++) {
            std::string t = base;
            t[pos] = (char)c;
            TargetOptions o;
            TargetOptionsInit(&o);
            ApplyCommandToken(&o, &t[0]);
            const bool hex = isxdigit(c) != 0;
            ASSERT_EQ(o.protocol, hex ? PROTO_SPX : PROTO_NONE) << "pos " << pos << " char " << c;
            if (!hex)
                continue;
            const int value = isdigit(c) ? c - '0' : tolower(c) - 'a' + 10;
            const size_t digit = pos < 12 ? pos - 4 : pos - 13;
            const uint8_t *bytes = pos < 12 ? o.ipxNet : o.ipxNode;
            for (size_t b = 0; b < (pos < 12 ? 4u : 6u); b++) {
                const int expect = b == digit / 2 ? (digit % 2 ? value : value << 4) : 0;
                ASSERT_EQ(bytes[b], expect) << "pos " << pos << " char " << c;
            }
            BuildHostText(&o);
            ASSERT_EQ(o.hostText[pos - 4], toupper(c));
        }
    }
}

TEST(ParseInetAddr, AgreesWithGlibcOnTrickyInputs)
{
    const char *inputs[] = {
        "1.2.3.4",
        "1",
        "1.2",
        "1.2.3",
        "0",
        "00",
        "010.0.0.1",
        "0x7f.1",
        "0X7F.0.0.1",
        "0xFF.0377.0.1",
        "1.2.3.256",
        "1.2.3.4.5",
        "",
        ".",
        "..",
        "1..2",
        "1.2.3.",
        ".1.2.3",
        "4294967295",
        "4294967296",
        "4294967294",
        "99999999999999999999",
        "0xffffffff",
        "0x100000000",
        "0377.0377.0377.0377",
        "0400.0.0.0",
        "0x",
        "0x.1.2.3",
        "1.0x",
        "0xg",
        "08",
        "09.1",
        "0x1g",
        "1.16777215",
        "1.16777216",
        "1.2.65535",
        "1.2.65536",
        "256.1",
        "255.16777215",
        "00000000000000000000001.2.3.4",
        "0x00000000000000001.2.3.4",
        " 1.2.3.4",
        "+1.2.3.4",
        "-1",
        "1.-2.3.4",
        "1.+2.3.4",
        "a.b.c.d",
        "1.2.3.4x",
        "1.2.3.4 junk",
        "1.2.3.4\njunk",
        "1.2.3.4\r",
        "127.1\v",
        "1.2\f3",
        "1.2.3.4\t",
        "1.2.3.4\xE0",
        "1.2.3.\xE0",
        "localhost",
        "1,2,3,4",
        "1.2.3.4/24",
        "1.2.3.4:80",
    };
    for (const char *s : inputs)
        EXPECT_EQ(ParseInetAddr(s), (uint32_t)inet_addr(s)) << '"' << s << '"';
}

TEST(ParseInetAddr, AgreesWithGlibcOnRandomText)
{
    const char alphabet[] = "0123456789xXaAfFgG.. \n";
    std::mt19937 rng(1234);
    for (int i = 0; i < 50000; i++) {
        std::string s;
        int len = (int)(rng() % 24);
        for (int k = 0; k < len; k++)
            s += alphabet[rng() % (sizeof(alphabet) - 1)];
        ASSERT_EQ(ParseInetAddr(s.c_str()), (uint32_t)inet_addr(s.c_str())) << '"' << s << '"';
    }
}

TEST(FormatInetAddr, AgreesWithInetNtoa)
{
    std::vector<uint32_t> values = {0, 0xFFFFFFFFu, 0x0100007Fu, 0x80000000u, 0x00000001u, 0x64646464u};
    std::mt19937 rng(99);
    for (int i = 0; i < 1000; i++)
        values.push_back((uint32_t)rng());
    for (uint32_t v : values) {
        char out[16];
        memset(out, 'z', sizeof(out));
        FormatInetAddr(out, v);
        in_addr a;
        a.s_addr = v;
        EXPECT_STREQ(out, inet_ntoa(a)) << std::hex << v;
    }
}

TEST(ViewerNames, TcpAndSpx)
{
    const char *cases[][3] = {{"TCP=10.0.0.1", "TCP", "10.0.0.1"},
                              {"spx=ffffffff:ffffffffffff", "SPX", "FFFFFFFF:FFFFFFFFFFFF"}};
    for (const auto &c : cases) {
        TargetOptions o = StartUp(c[0]);
        ASSERT_EQ(BuildHostText(&o), 1);
        ViewerNames n;
        memset(&n, 'z', sizeof(n));
        BuildViewerNames(&o, &n);
        const std::string h = c[2];
        EXPECT_EQ(std::string(n.instanceName), std::string("CORVIDS:") + c[1] + ":" + h);
        EXPECT_EQ(std::string(n.mainTitle), "Tessaly 3.34.1 - [" + h + "]");
        EXPECT_EQ(std::string(n.consoleTitle), "Tessaly 3.34.1 Full-screen console - [" + h + "]");
        EXPECT_EQ(std::string(n.fileTransferTitle), "Tessaly 3.34.1 File Transfer - [" + h + "]");
    }
}

} // namespace
