// The simulator's console: its packets read back by the viewer's own parsers, the echo
// of typed keys as a remote shell would write them, and the console control commands.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/screenbuf.h"
#include "tools/agentsim/console.h"
#include "tools/agentsim/control.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The packets in bytes, each stored into screen as the viewer's receive thread would.
std::vector<uint32_t> Apply(const Bytes &bytes, ConsoleScreen *screen)
{
    std::vector<uint32_t> types;
    for (size_t off = 0; off < bytes.size();) {
        SessPacketHeader h;
        EXPECT_TRUE(DecodePacketHeader(bytes.data() + off, bytes.size() - off, &h));
        const uint8_t *p = bytes.data() + off + kPacketHeaderSize;
        const char *why = nullptr;
        int moved, reshape;
        ConsoleStart s;
        ConsoleLine l;
        ConsoleCursor c;
        if (h.dwType == PKT_CONSOLE_START) {
            EXPECT_TRUE(ParseConsoleStart(&h, p, &s, &why)) << why;
            ConsoleStoreStart(screen, &s);
        } else if (h.dwType == PKT_CONSOLE_LINE) {
            EXPECT_TRUE(ParseConsoleLine(&h, p, &l, &why) && ConsoleStoreLine(screen, &l, &why)) << why;
        } else if (h.dwType == PKT_CONSOLE_CURSOR) {
            EXPECT_TRUE(ParseConsoleCursor(&h, p, &c, &why));
            ConsoleStoreCursor(screen, &c, &moved, &reshape);
            EXPECT_TRUE(ConsoleCursorOnScreen(screen)); // the simulator keeps its cursor on its screen
        }
        types.push_back(h.dwType);
        off += kPacketHeaderSize + h.dwDataLen;
    }
    return types;
}

std::string Row(const ConsoleScreen &s, int r)
{
    std::string t;
    for (int x = 0; x < s.width; x++)
        t += (char)s.cells[r * s.width + x].ch;
    return t;
}

SimInput Key(uint32_t vk, int up)
{
    SimInput k = {};
    k.kind = kSimInputIsKey;
    k.vk = vk;
    k.up = (uint8_t)up;
    return k;
}

TEST(AgentSimConsole, ScreenTravelsAndEchoesTypedKeys)
{
    SimConsole c;
    SimConsoleInit(&c);
    const std::vector<std::string> lines = {"C:\\> dir", "two"};
    Bytes b;
    SimConsoleOpen(&c, 10, 3, 0x1F, &lines, &b);
    ConsoleScreen screen = {};
    EXPECT_EQ(Apply(b, &screen), std::vector<uint32_t>{PKT_CONSOLE_START});
    EXPECT_EQ(Row(screen, 0), "C:\\> dir  ");
    EXPECT_EQ(screen.cells[0].attr, 0x1F);
    EXPECT_EQ(screen.cursorY, 2);
    EXPECT_EQ(SimConsoleText(&c), "C:\\> dir  \ntwo       \n          \n");

    // Shift+a, b, Ctrl+C at the bottom: the screen scrolls and every row goes again.
    const struct {
        uint32_t vk;
        int up;
        int rows;
    } keys[] = {{16, 0, 0},  {'A', 0, 1}, {'A', 1, 0}, {16, 1, 0}, {'B', 0, 1},
                {112, 0, 0}, {17, 0, 0},  {'C', 0, 3}, {17, 1, 0}};
    for (const auto &k : keys) {
        b.clear();
        SimInput in = Key(k.vk, k.up);
        EXPECT_EQ(SimConsoleEcho(&c, &in, &b), k.rows) << k.vk;
        if (k.rows) {
            std::vector<uint32_t> types = Apply(b, &screen);
            EXPECT_EQ(types.size(), (size_t)k.rows + 1);
            EXPECT_EQ(types.back(), PKT_CONSOLE_CURSOR);
        }
    }
    EXPECT_EQ(Row(screen, 1), "Ab^C      ");
    EXPECT_EQ(Row(screen, 2), "          ");
    EXPECT_EQ(screen.cursorX, 0);
    EXPECT_EQ(screen.cursorY, 2);
    EXPECT_EQ(SimConsoleText(&c), "two       \nAb^C      \n          \n");

    b.clear();
    EXPECT_TRUE(SimConsoleSetLine(&c, 0, "  x", &b));
    Apply(b, &screen);
    EXPECT_EQ(Row(screen, 0), "  x       ");
    EXPECT_FALSE(SimConsoleSetLine(&c, 3, "y", &b));
    b.clear();
    SimConsoleClose(&c, &b);
    EXPECT_EQ(Apply(b, &screen), std::vector<uint32_t>{PKT_CONSOLE_STOP});
    SimInput in = Key('A', 0);
    EXPECT_EQ(SimConsoleEcho(&c, &in, &b), 0); // closed: nothing echoed
}

TEST(AgentSimConsole, ControlCommands)
{
    const struct {
        const char *line;
        int kind;
    } cases[] = {
        {"console-open 80 25 7", kCtlConsoleOpen},
        {"console-open 80 99 1f0a /tmp/a b.txt", kCtlConsoleOpen},
        {"console-open 89 89 7", 0}, // 7,921 cells
        {"console-open 0 25 7", 0},
        {"console-open 80 25 12345", 0},
        {"console-open 80 25", 0},
        {"console-line 3   indented text", kCtlConsoleLine},
        {"console-line 3", kCtlConsoleLine},
        {"console-line x y", 0},
        {"console-cursor 1 2 25 1", kCtlConsoleCursor},
        {"console-cursor 1 2 25", 0},
        {"console-close", kCtlConsoleClose},
        {"console-close now", 0},
        {"console-echo off", kCtlConsoleEcho},
        {"console-echo maybe", 0},
        {"console-dump /tmp/screen.txt", kCtlConsoleDump},
        {"console-starts 5000", kCtlConsoleStarts},
        {"console-starts 3 1x1,80x25,7920x1", kCtlConsoleStarts},
        {"console-starts 0", 0},
        {"console-starts 1000001", 0},
        {"console-starts 3 89x89", 0},
        {"console-starts 3 0x5", 0},
        {"console-starts 3 80x25,", 0},
        {"console-starts 3 80x25x8", 0},
        {"console-starts 3 1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1,1x1", 0},
        {"console-starts 3 1x1 more", 0},
    };
    for (const auto &k : cases) {
        SimControlCommand cmd;
        char err[160] = "";
        EXPECT_EQ(SimParseControl(k.line, strlen(k.line), &cmd, err, sizeof err), k.kind != 0) << k.line;
        if (k.kind)
            EXPECT_EQ(cmd.kind, k.kind) << k.line;
        else
            EXPECT_STRNE(err, "") << k.line;
    }
    SimControlCommand cmd;
    char err[160];
    ASSERT_TRUE(SimParseControl("console-open 80 99 1f0a /tmp/a b.txt", 36, &cmd, err, sizeof err));
    EXPECT_EQ(cmd.attr, 0x1F0A);
    EXPECT_EQ(cmd.path, "/tmp/a b.txt");
    ASSERT_TRUE(SimParseControl("console-line 3   indented", 25, &cmd, err, sizeof err));
    EXPECT_EQ(std::string(cmd.text.begin(), cmd.text.end()), "  indented");
    ASSERT_TRUE(SimParseControl("console-starts 7 2x3,80x25", 26, &cmd, err, sizeof err));
    EXPECT_EQ(cmd.count, 7u);
    EXPECT_EQ(cmd.sizes, (std::vector<uint16_t>{2, 3, 80, 25}));
    ASSERT_TRUE(SimParseControl("console-starts 7", 16, &cmd, err, sizeof err));
    EXPECT_EQ(cmd.sizes, (std::vector<uint16_t>{1, 1}));
}

TEST(AgentSimConsole, NumberedStartsNameThemselvesInRowCursorAndColours)
{
    SimConsole c;
    SimConsoleInit(&c);
    const struct {
        uint32_t n;
        int16_t w, h;
        const char *row0;
    } cases[] = {{4999, 80, 25, "Start 4999 "}, {12, 1, 1, "S"}, {3, 9, 2, "Start 3 i"}};
    for (const auto &k : cases) {
        Bytes b;
        SimConsoleOpenNumbered(&c, k.n, k.w, k.h, &b);
        ConsoleScreen screen = {};
        EXPECT_EQ(Apply(b, &screen), std::vector<uint32_t>{PKT_CONSOLE_START});
        EXPECT_EQ(Row(screen, 0).substr(0, strlen(k.row0)), k.row0) << k.n;
        EXPECT_EQ(screen.cursorX, k.n % k.w);
        EXPECT_EQ(screen.cursorY, k.n % k.h);
        EXPECT_EQ(screen.cells[0].attr, ConsoleBurstAttr(k.n));
        EXPECT_EQ(SimConsoleText(&c).substr(0, strlen(k.row0)), k.row0); // console-dump shows it too
    }
    EXPECT_NE(ConsoleBurstAttr(1), ConsoleBurstAttr(2));
}

} // namespace
