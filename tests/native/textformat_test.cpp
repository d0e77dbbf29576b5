// Digit grouping and the error text layout, including the buffer edges.
#include "ui/textformat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Naive grouping from the right, as an independent reference.
std::string ReferenceGroup(const std::string &digits)
{
    std::string out;
    int k = 0;
    for (size_t i = digits.size(); i-- > 0;) {
        if (k > 0 && k % 3 == 0)
            out.insert(out.begin(), ' ');
        out.insert(out.begin(), digits[i]);
        k++;
    }
    return out;
}

TEST(GroupDigits, Table)
{
    const struct {
        const char *in, *out;
    } cases[] = {
        {"", ""},
        {"1", "1"},
        {"12", "12"},
        {"123", "123"},
        {"1234", "1 234"},
        {"123456", "123 456"},
        {"1234567", "1 234 567"},
        {"18446744073709551615", "18 446 744 073 709 551 615"},
    };
    for (const auto &c : cases) {
        char buf[64];
        memset(buf, 'x', sizeof(buf));
        ASSERT_EQ(GroupDigits(c.in, buf, sizeof(buf)), 1) << c.in;
        EXPECT_STREQ(buf, c.out) << c.in;
    }
}

TEST(GroupDigits, MatchesReferenceForEveryLength)
{
    std::string digits;
    for (int n = 0; n <= 30; n++) {
        char buf[64];
        ASSERT_EQ(GroupDigits(digits.c_str(), buf, sizeof(buf)), 1);
        EXPECT_EQ(std::string(buf), ReferenceGroup(digits)) << n;
        digits += char('0' + (n * 7) % 10);
    }
}

TEST(GroupDigits, ExactFitAndOneShort)
{
    // "1 234 567" is 9 characters: 10 bytes fit, 9 do not.
    char buf[16];
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(GroupDigits("1234567", buf, 10), 1);
    EXPECT_STREQ(buf, "1 234 567");
    memset(buf, 'x', sizeof(buf));
    EXPECT_EQ(GroupDigits("1234567", buf, 9), 0);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[9], 'x');
    EXPECT_EQ(GroupDigits("", buf, 1), 1);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(GroupDigits("", buf, 0), 0);
}

// A buffer with guard bytes on both sides, to see any write outside size bytes.
struct Guarded {
    enum { kGuard = 16 };
    char raw[kGuard + 256 + kGuard];
    size_t size;
    explicit Guarded(size_t n) : size(n) { memset(raw, 0x5A, sizeof(raw)); }
    char *buf() { return raw + kGuard; }
    bool GuardsIntact() const
    {
        for (size_t i = 0; i < kGuard; i++)
            if (raw[i] != 0x5A || raw[kGuard + size + i] != 0x5A)
                return false;
        return true;
    }
};

TEST(FormatErrorText, NoTextGivesThePrefixOnly)
{
    Guarded g(64);
    EXPECT_EQ(FormatErrorText(2, NULL, g.buf(), g.size), 4u);
    EXPECT_STREQ(g.buf(), "2 - ");
    EXPECT_EQ(FormatErrorText(-5, NULL, g.buf(), g.size), 5u);
    EXPECT_STREQ(g.buf(), "-5 - ");
    EXPECT_TRUE(g.GuardsIntact());
}

TEST(FormatErrorText, FitsWhenSizeLeavesFourteenBytes)
{
    std::string text(50, 'a');
    text += "\r\n"; // system texts keep their line end
    Guarded g(64);  // 52 + 14 = 66 > 64: cut
    FormatErrorText(2, text.c_str(), g.buf(), 66 - 2);
    EXPECT_EQ(std::string(g.buf()), "2 - " + text.substr(0, 50));
    Guarded h(66); // exactly n + 14: whole
    EXPECT_EQ(FormatErrorText(2, text.c_str(), h.buf(), h.size), 4 + text.size());
    EXPECT_EQ(std::string(h.buf()), "2 - " + text);
    EXPECT_TRUE(g.GuardsIntact());
    EXPECT_TRUE(h.GuardsIntact());
}

TEST(FormatErrorText, LongTextInSixtyFourBytesKeepsFiftyBytesAfterThePrefix)
{
    std::string text;
    for (int i = 0; i < 200; i++)
        text += char('A' + i % 26);
    Guarded g(64);
    size_t n = FormatErrorText(1234, text.c_str(), g.buf(), g.size);
    EXPECT_EQ(std::string(g.buf()), "1234 - " + text.substr(0, 50));
    EXPECT_EQ(n, 7u + 50u);
    // The rest of the buffer is zero-filled.
    for (size_t i = n; i < g.size; i++)
        EXPECT_EQ(g.buf()[i], 0) << i;
    EXPECT_TRUE(g.GuardsIntact());
}

TEST(FormatErrorText, PrefixLongerThanTheReserveStaysInside)
{
    // "-2147483648 - " is 14 characters, one more than the 14 reserved bytes allow
    // with the terminator: the text gives up a byte instead of the buffer overflowing.
    std::string text(100, 't');
    for (size_t size : {size_t(15), size_t(16), size_t(64), size_t(113)}) {
        Guarded g(size);
        size_t n = FormatErrorText(-2147483647 - 1, text.c_str(), g.buf(), g.size);
        EXPECT_LT(n, size) << size;
        EXPECT_EQ(strlen(g.buf()), n) << size;
        EXPECT_EQ(std::string(g.buf()), ("-2147483648 - " + text).substr(0, size - 1)) << size;
        EXPECT_TRUE(g.GuardsIntact()) << size;
    }
    // The fitting case at its edge: size = n + 14 with a 14-character prefix.
    Guarded f(100 + 14);
    FormatErrorText(-2147483647 - 1, text.c_str(), f.buf(), f.size);
    EXPECT_EQ(strlen(f.buf()), f.size - 1);
    EXPECT_TRUE(f.GuardsIntact());
}

TEST(FormatErrorText, TinyBuffers)
{
    std::string text(30, 'e');
    for (size_t size = 1; size <= 14; size++) {
        Guarded g(size);
        size_t n = FormatErrorText(123456, text.c_str(), g.buf(), g.size);
        EXPECT_EQ(std::string(g.buf()), std::string("123456 - ").substr(0, size - 1)) << size;
        EXPECT_EQ(n, strlen(g.buf()));
        EXPECT_TRUE(g.GuardsIntact()) << size;
    }
    Guarded z(0);
    EXPECT_EQ(FormatErrorText(1, text.c_str(), z.buf(), 0), 0u);
    EXPECT_TRUE(z.GuardsIntact());
}

} // namespace
