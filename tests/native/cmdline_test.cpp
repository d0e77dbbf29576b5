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

// Splits a copy of text; returns the tokens, and the whole buffer afterwards.
Strings Split(const std::string& text, int maxTokens, std::string* bufferAfter = nullptr) {
    std::vector<char> buf(text.begin(), text.end());
    buf.push_back(0);
    char* tokens[8] = {};
    int n = SplitCommandLine(buf.data(), tokens, maxTokens);
    Strings out;
    for (int i = 0; i < n; i++) {
        EXPECT_GE(tokens[i], buf.data());
        EXPECT_LT(tokens[i], buf.data() + buf.size());
        out.push_back(tokens[i]);
    }
    if (bufferAfter) bufferAfter->assign(buf.data(), text.size());
    return out;
}

// Start-up's path: split into at most 5 tokens and apply each in order.
TargetOptions StartUp(const std::string& commandLine) {
    std::vector<char> buf(commandLine.begin(), commandLine.end());
    buf.push_back(0);
    char* tokens[kMaxTokens];
    TargetOptions opt;
    TargetOptionsInit(&opt);
    int n = SplitCommandLine(buf.data(), tokens, kMaxTokens);
    for (int i = 0; i < n; i++) ApplyCommandToken(&opt, tokens[i]);
    BuildHostText(&opt);
    return opt;
}

int Apply(TargetOptions* opt, std::string token) {
    std::vector<char> buf(token.begin(), token.end());
    buf.push_back(0);
    return ApplyCommandToken(opt, buf.data());
}

std::vector<uint8_t> Password(const TargetOptions& o) {
    return std::vector<uint8_t>(o.password, o.password + kPasswordBufSize);
}

std::vector<uint8_t> Pw(const std::string& s) {  // 16-byte zero-padded buffer
    std::vector<uint8_t> v(s.begin(), s.end());
    v.resize(kPasswordBufSize, 0);
    return v;
}

// --- Splitting -------------------------------------------------------------

struct SplitCase {
    const char* text;
    int max;
    Strings tokens;
};

TEST(SplitCommandLine, Table) {
    const SplitCase cases[] = {
        {"", 5, {}},
        {" \t \t ", 5, {}},
        {"a", 5, {"a"}},
        {"  a\t\tb   c  ", 5, {"a", "b", "c"}},
        {"\tTCP=1.2.3.4\t", 5, {"TCP=1.2.3.4"}},
        // Only blank and tab separate; no quoting of any kind.
        {"a\nb\rc\vd", 5, {"a\nb\rc\vd"}},
        {"\"PWD=a b\" 'x y'", 5, {"\"PWD=a", "b\"", "'x", "y'"}},
        {"1 2 3 4 5", 5, {"1", "2", "3", "4", "5"}},
        {"1 2 3 4 5 6 7", 5, {"1", "2", "3", "4", "5"}},
        {"1 2 3", 2, {"1", "2"}},
        {"1 2 3", 0, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Split(c.text, c.max), c.tokens) << '"' << c.text << '"';
}

TEST(SplitCommandLine, StopsRightAfterTerminatingTheLastToken) {
    std::string after;
    Split("1 2 3 4 5 6\t7 ", 5, &after);
    // Separators up to the fifth token are cut; everything beyond it is untouched.
    EXPECT_EQ(after, std::string("1\0" "2\0" "3\0" "4\0" "5\0" "6\t7 ", 14));

    Split("a  b   c", 2, &after);
    EXPECT_EQ(after, std::string("a\0 b\0  c", 8));

    Split("  x  ", 5, &after);
    EXPECT_EQ(after, std::string("  x\0 ", 5));

    Split(" a b", 0, &after);
    EXPECT_EQ(after, " a b");
}

TEST(SplitCommandLine, SixthTokenIsNeverApplied) {
    TargetOptions o = StartUp("CTRL SLOWNET RETPWD PWD=abc TCP=10.0.0.1 TCP=10.0.0.2");
    EXPECT_EQ(o.ipv4, 0x0100000Au);

    o = StartUp("a b c d e TCP=10.0.0.1");
    EXPECT_EQ(o.protocol, PROTO_NONE);
    EXPECT_EQ(std::string(o.hostText), "");

    o = StartUp("a b c d TCP=10.0.0.1");
    EXPECT_EQ(o.protocol, PROTO_TCP);
}

// --- Option tokens ---------------------------------------------------------

TEST(CommandTokens, FlagsAreCaseInsensitiveAndExactLength) {
    struct Case {
        const char* token;
        int rc;
        uint32_t slowNet, ctrl, retPwd;
    };
    const Case cases[] = {
        {"SLOWNET", 1, 1, 0, 0}, {"slownet", 1, 1, 0, 0}, {"SlowNet", 1, 1, 0, 0},
        {"CTRL", 1, 0, 1, 0},    {"ctrl", 1, 0, 1, 0},    {"cTrL", 1, 0, 1, 0},
        {"RETPWD", 1, 0, 0, 1},  {"retpwd", 1, 0, 0, 1},
        {"CTRLX", 0, 0, 0, 0},   {"CTR", 0, 0, 0, 0},     {"XCTRL", 0, 0, 0, 0},
        {"SLOWNETS", 0, 0, 0, 0}, {"SLOWNE", 0, 0, 0, 0}, {"RETPWD=", 0, 0, 0, 0},
        {"RETPWDX", 0, 0, 0, 0}, {"/CTRL", 0, 0, 0, 0},   {"CTRL=1", 0, 0, 0, 0},
        {"", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        TargetOptions o;
        TargetOptionsInit(&o);
        EXPECT_EQ(Apply(&o, c.token), c.rc) << c.token;
        EXPECT_EQ(o.slowNet, c.slowNet) << c.token;
        EXPECT_EQ(o.ctrl, c.ctrl) << c.token;
        EXPECT_EQ(o.retPwd, c.retPwd) << c.token;
        EXPECT_EQ(o.protocol, PROTO_NONE) << c.token;
        EXPECT_EQ(Password(o), Pw("")) << c.token;
    }
}

TEST(CommandTokens, PasswordLengths) {
    struct Case {
        std::string token;
        std::vector<uint8_t> buffer;
    };
    const Case cases[] = {
        {"PWD=a", Pw("a")},
        {"pwd=Secret", Pw("Secret")},
        {"Pwd=MiXeD", Pw("MiXeD")},
        // 18 characters: 14-character password, terminated.
        {"PWD=abcdefghijklmn", Pw("abcdefghijklmn")},
        // 19 characters: exactly 15 bytes, the 16th byte stays zero.
        {"PWD=abcdefghijklmno", Pw("abcdefghijklmno")},
        {"PWD=abcdefghijklmnopqrstuvwxyz", Pw("abcdefghijklmno")},
        {"PWD=PWD=PWD=PWD=PWD=", Pw("PWD=PWD=PWD=PWD")},
        {"PWD=\xC0\xE1\xFF", Pw("\xC0\xE1\xFF")},
    };
    for (const auto& c : cases) {
        TargetOptions o;
        TargetOptionsInit(&o);
        EXPECT_EQ(Apply(&o, c.token), 1) << c.token;
        EXPECT_EQ(Password(o), c.buffer) << c.token;
        EXPECT_EQ(o.protocol, PROTO_NONE);
    }
}

TEST(CommandTokens, PasswordSequences) {
    TargetOptions o;
    TargetOptionsInit(&o);
    // The prefix alone is no password and leaves the earlier one.
    EXPECT_EQ(Apply(&o, "PWD="), 0);
    EXPECT_EQ(Password(o), Pw(""));
    Apply(&o, "PWD=keep");
    EXPECT_EQ(Apply(&o, "pwd="), 0);
    EXPECT_EQ(Password(o), Pw("keep"));

    // A shorter password after a longer one keeps no byte of the longer one.
    Apply(&o, "PWD=ABCDEFGHIJKLMNOPQ");
    Apply(&o, "PWD=xy");
    EXPECT_EQ(Password(o), Pw("xy"));

    Apply(&o, "PWD=abcdefghijklmn");
    Apply(&o, "PWD=ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(Password(o), Pw("ABCDEFGHIJKLMNO"));
}

// --- TCP target ------------------------------------------------------------

TEST(CommandTokens, TcpTarget) {
    struct Case {
        const char* token;
        int rc;
        uint32_t ipv4;  // first octet in the lowest byte
        const char* host;
    };
    const Case cases[] = {
        {"TCP=10.0.0.1", 1, 0x0100000Au, "10.0.0.1"},
        {"tcp=192.168.1.20", 1, 0x1401A8C0u, "192.168.1.20"},
        {"TCP=0x7f.1", 1, 0x0100007Fu, "127.0.0.1"},
        {"TCP=010.0.0.1", 1, 0x01000008u, "8.0.0.1"},
        {"TCP=0.0.0.0", 1, 0x00000000u, "0.0.0.0"},
        {"TCP=255.255.255.254", 1, 0xFEFFFFFFu, "255.255.255.254"},
        {"TCP=255.255.255.255", 0, 0, ""},
        {"TCP=0xffffffff", 0, 0, ""},
        {"TCP=4294967295", 0, 0, ""},
        {"TCP=localhost", 0, 0, ""},
        {"TCP=host.example", 0, 0, ""},
        {"TCP=1.2.3.4.5", 0, 0, ""},
        {"TCP=", 0, 0, ""},
        {"TCP:10.0.0.1", 0, 0, ""},
        {"TCP10.0.0.1", 0, 0, ""},
    };
    for (const auto& c : cases) {
        TargetOptions o;
        TargetOptionsInit(&o);
        EXPECT_EQ(Apply(&o, c.token), c.rc) << c.token;
        EXPECT_EQ(o.protocol, c.rc ? PROTO_TCP : PROTO_NONE) << c.token;
        EXPECT_EQ(o.ipv4, c.ipv4) << c.token;
        EXPECT_EQ(BuildHostText(&o), c.rc) << c.token;
        EXPECT_STREQ(o.hostText, c.host) << c.token;
    }
}

TEST(CommandTokens, LaterValidAddressReplacesEarlier) {
    TargetOptions o = StartUp("TCP=10.0.0.1 SPX=0000ABCD:00112233AABB");
    EXPECT_EQ(o.protocol, PROTO_SPX);
    EXPECT_STREQ(o.hostText, "0000ABCD:00112233AABB");

    o = StartUp("SPX=0000ABCD:00112233AABB TCP=10.0.0.1");
    EXPECT_EQ(o.protocol, PROTO_TCP);
    EXPECT_STREQ(o.hostText, "10.0.0.1");

    o = StartUp("TCP=10.0.0.1 TCP=10.0.0.2");
    EXPECT_STREQ(o.hostText, "10.0.0.2");

    // Invalid later tokens change nothing.
    o = StartUp("TCP=10.0.0.1 TCP=255.255.255.255 TCP=nohost SPX=0000ABCD:00112233AABG");
    EXPECT_EQ(o.protocol, PROTO_TCP);
    EXPECT_STREQ(o.hostText, "10.0.0.1");

    o = StartUp("SPX=11111111:222222222222 SPX=3333333G:444444444444 TCP=255.255.255.255");
    EXPECT_EQ(o.protocol, PROTO_SPX);
    EXPECT_STREQ(o.hostText, "11111111:222222222222");
}

TEST(CommandTokens, NoTargetLeavesNoHost) {
    TargetOptions o = StartUp("CTRL PWD=x TCP=255.255.255.255 SPX=0000ABCD:00112233AABBC");
    EXPECT_EQ(o.protocol, PROTO_NONE);
    EXPECT_EQ(BuildHostText(&o), 0);
    EXPECT_STREQ(o.hostText, "");
}

// --- Address parser against glibc ------------------------------------------

TEST(ParseInetAddr, AgreesWithGlibcOnTrickyInputs) {
    const char* inputs[] = {
        "1.2.3.4", "1", "1.2", "1.2.3", "0", "00", "010.0.0.1", "0x7f.1", "0X7F.0.0.1",
        "0xFF.0377.0.1", "1.2.3.256", "1.2.3.4.5", "", ".", "..", "1..2", "1.2.3.", ".1.2.3",
        "4294967295", "4294967296", "4294967294", "99999999999999999999", "0xffffffff",
        "0x100000000", "0377.0377.0377.0377", "0400.0.0.0", "0x", "0x.1.2.3", "1.0x", "0xg",
        "08", "09.1", "0x1g", "1.16777215", "1.16777216", "1.2.65535", "1.2.65536", "256.1",
        "255.16777215", "00000000000000000000001.2.3.4", "0x00000000000000001.2.3.4",
        " 1.2.3.4", "+1.2.3.4", "-1", "1.-2.3.4", "1.+2.3.4", "a.b.c.d", "1.2.3.4x",
        "1.2.3.4 junk", "1.2.3.4\njunk", "1.2.3.4\r", "127.1\v", "1.2\f3", "1.2.3.4\t",
        "1.2.3.4\xE0", "1.2.3.\xE0", "localhost", "1,2,3,4", "1.2.3.4/24", "1.2.3.4:80",
    };
    for (const char* s : inputs) {
        EXPECT_EQ(ParseInetAddr(s), (uint32_t)inet_addr(s)) << '"' << s << '"';
    }
}

TEST(ParseInetAddr, AgreesWithGlibcOnRandomText) {
    const char alphabet[] = "0123456789xXaAfFgG.. \n";
    std::mt19937 rng(1234);
    for (int i = 0; i < 50000; i++) {
        std::string s;
        int len = (int)(rng() % 24);
        for (int k = 0; k < len; k++) s += alphabet[rng() % (sizeof(alphabet) - 1)];
        ASSERT_EQ(ParseInetAddr(s.c_str()), (uint32_t)inet_addr(s.c_str())) << '"' << s << '"';
    }
}

TEST(FormatInetAddr, AgreesWithInetNtoa) {
    std::vector<uint32_t> values = {0, 0xFFFFFFFFu, 0x0100007Fu, 0x0100000Au, 0x80000000u, 0x00000001u,
                                    0x64646464u, 0x0A0B0C0Du};
    std::mt19937 rng(99);
    for (int i = 0; i < 1000; i++) values.push_back((uint32_t)rng());
    for (uint32_t v : values) {
        char out[16];
        memset(out, 'z', sizeof(out));
        FormatInetAddr(out, v);
        in_addr a;
        a.s_addr = v;
        EXPECT_STREQ(out, inet_ntoa(a)) << std::hex << v;
    }
}

// --- SPX target ------------------------------------------------------------

struct SpxResult {
    int rc;
    std::vector<uint8_t> net, node;
    std::string host;
};

SpxResult ApplySpx(const std::string& token) {
    TargetOptions o;
    TargetOptionsInit(&o);
    SpxResult r;
    r.rc = Apply(&o, token);
    EXPECT_EQ(o.protocol, r.rc ? PROTO_SPX : PROTO_NONE) << token;
    r.net.assign(o.ipxNet, o.ipxNet + 4);
    r.node.assign(o.ipxNode, o.ipxNode + 6);
    BuildHostText(&o);
    r.host = o.hostText;
    return r;
}

TEST(CommandTokens, SpxAccepted) {
    struct Case {
        const char* token;
        std::vector<uint8_t> net, node;
        const char* host;
    };
    const Case cases[] = {
        {"SPX=0000ABCD:00112233AABB", {0x00, 0x00, 0xAB, 0xCD}, {0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB},
         "0000ABCD:00112233AABB"},
        {"spx=0000abcd:00112233aabb", {0x00, 0x00, 0xAB, 0xCD}, {0x00, 0x11, 0x22, 0x33, 0xAA, 0xBB},
         "0000ABCD:00112233AABB"},
        {"Spx=12345678:9aBcDeF01234", {0x12, 0x34, 0x56, 0x78}, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34},
         "12345678:9ABCDEF01234"},
        {"SPX=FFFFFFFF:FFFFFFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "FFFFFFFF:FFFFFFFFFFFF"},
        {"SPX=00000000:000000000000", {0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}, "00000000:000000000000"},
    };
    for (const auto& c : cases) {
        SpxResult r = ApplySpx(c.token);
        EXPECT_EQ(r.rc, 1) << c.token;
        EXPECT_EQ(r.net, c.net) << c.token;
        EXPECT_EQ(r.node, c.node) << c.token;
        EXPECT_EQ(r.host, c.host) << c.token;
    }
}

TEST(CommandTokens, SpxRejected) {
    const char* tokens[] = {
        "SPX=0000ABCD:00112233AAB",    // 24 characters
        "SPX=0000ABCD:00112233AABBC",  // 26 characters
        "SPX=000ABCD:000112233AABB",   // ':' at 11
        "SPX=0000ABCDE:0112233AABB",   // ':' at 13
        "SPX=0000ABCD-00112233AABB",   // no ':'
        "SPX:0000ABCD:00112233AABB",   // wrong prefix
        "IPX=0000ABCD:00112233AABB",
        "SPX=0000ABCG:00112233AABB", "SPX=0000ABCD:00112233AABg", "SPX=0000AB@D:00112233AABB",
        "SPX=0000:BCD:00112233AABB", "SPX=0000ABCD:0011:233AABB", "SPX=0000ABCD::0112233AABB",
        "SPX= 000ABCD:00112233AABB", "SPX=0x00ABCD:00112233AABB", "SPX=-000ABCD:00112233AABB",
        "SPX=0000ABCD:00112233AA\xC1" "B",
    };
    for (const char* t : tokens) {
        SpxResult r = ApplySpx(t);
        EXPECT_EQ(r.rc, 0) << t;
        EXPECT_EQ(r.host, "") << t;
    }
}

// Every byte value at every digit position: accepted exactly when libc calls it a hex
// digit, and then it lands in the right nibble.
TEST(CommandTokens, SpxDigitCheckAgreesWithIsxdigit) {
    const std::string base = "SPX=00000000:000000000000";
    for (size_t pos = 4; pos < base.size(); pos++) {
        if (pos == 12) continue;
        for (int c = 1; c < 256; c++) {
            std::string t = base;
            t[pos] = (char)c;
            SpxResult r = ApplySpx(t);
            bool hex = isxdigit(c) != 0;
            ASSERT_EQ(r.rc, hex ? 1 : 0) << "pos " << pos << " char " << c;
            if (!hex) continue;
            int value = isdigit(c) ? c - '0' : tolower(c) - 'a' + 10;
            size_t digit = pos < 12 ? pos - 4 : pos - 13;
            const std::vector<uint8_t>& bytes = pos < 12 ? r.net : r.node;
            for (size_t b = 0; b < bytes.size(); b++) {
                int expect = b == digit / 2 ? (digit % 2 ? value : value << 4) : 0;
                ASSERT_EQ(bytes[b], expect) << "pos " << pos << " char " << c;
            }
            ASSERT_EQ(r.host[pos - 4], toupper(c));
        }
    }
}

// --- Names -----------------------------------------------------------------

TEST(ViewerNames, TcpAndSpx) {
    struct Case {
        const char* commandLine;
        const char* instance;
        const char* host;
    };
    const Case cases[] = {
        {"TCP=10.0.0.1", "CORVIDS:TCP:10.0.0.1", "10.0.0.1"},
        {"spx=0000abcd:00112233aabb", "CORVIDS:SPX:0000ABCD:00112233AABB", "0000ABCD:00112233AABB"},
        {"TCP=255.255.255.254", "CORVIDS:TCP:255.255.255.254", "255.255.255.254"},
        {"SPX=FFFFFFFF:FFFFFFFFFFFF", "CORVIDS:SPX:FFFFFFFF:FFFFFFFFFFFF", "FFFFFFFF:FFFFFFFFFFFF"},
    };
    for (const auto& c : cases) {
        TargetOptions o = StartUp(c.commandLine);
        ViewerNames n;
        memset(&n, 'z', sizeof(n));
        BuildViewerNames(&o, &n);
        std::string h = c.host;
        EXPECT_STREQ(n.instanceName, c.instance);
        EXPECT_EQ(std::string(n.mainTitle), "Tessaly 3.34.1 - [" + h + "]");
        EXPECT_EQ(std::string(n.consoleTitle), "Tessaly 3.34.1 Full-screen console - [" + h + "]");
        EXPECT_EQ(std::string(n.fileTransferTitle), "Tessaly 3.34.1 File Transfer - [" + h + "]");
    }
}

TEST(ViewerNames, LongestHostTextFits) {
    TargetOptions o = StartUp("SPX=ffffffff:ffffffffffff");
    ASSERT_EQ(strlen(o.hostText), 21u);
    EXPECT_LE(strlen(o.hostText) + 1, sizeof(o.hostText));
}

// --- The whole command line ------------------------------------------------

TEST(CommandLine, EveryOptionTogether) {
    TargetOptions o = StartUp("  ctrl\tPWD=secret   TCP=192.168.1.20 slownet\tRETPWD  ");
    EXPECT_EQ(o.ctrl, 1u);
    EXPECT_EQ(o.slowNet, 1u);
    EXPECT_EQ(o.retPwd, 1u);
    EXPECT_EQ(Password(o), Pw("secret"));
    EXPECT_EQ(o.protocol, PROTO_TCP);
    EXPECT_EQ(o.ipv4, 0x1401A8C0u);
    EXPECT_STREQ(o.hostText, "192.168.1.20");

    o = StartUp("");
    EXPECT_EQ(o.protocol, PROTO_NONE);
    EXPECT_EQ(o.ctrl + o.slowNet + o.retPwd, 0u);
}

}  // namespace
