// The download's relative paths: device names Windows opens whatever follows them, and the
// tie between what arrives and the item asked for. Typed paths: dot components as the
// address bar walks them.
#include "filetransfer/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(FtTypedPaths, DotComponentsAreWalkedWhereverTheyStand)
{
    const struct {
        const char *typed, *want;
    } cases[] = {
        {"C:\\Windows\\System32\\..", "C:\\Windows"},
        {"C:\\Windows\\System32\\..\\", "C:\\Windows"},
        {"C:\\Windows\\System32\\..\\..", "C:\\"},
        {"C:\\a\\..\\..\\..\\b", "C:\\b"},
        {"C:\\Windows\\System32\\.\\..", "C:\\Windows"},
        {"C:\\Windows\\.", "C:\\Windows"},
        {"C:\\..", "C:\\"},
        {"C:\\.", "C:\\"},
        {"C:\\Windows.", "C:\\Windows"},
        {"C:\\Windows.\\System32", "C:\\Windows\\System32"},
        {"C:\\a\\...\\b", "C:\\a\\...\\b"},
        {"C:\\a\\...", "C:\\a"},
    };
    for (const auto &c : cases) {
        char out[kFtPathField];
        const char *why = nullptr;
        ASSERT_TRUE(FtCanonicaliseTyped(c.typed, out, &why)) << c.typed << ": " << why;
        EXPECT_STREQ(out, c.want) << c.typed;
    }
}

TEST(FtDownloadPaths, DeviceNamesInEveryDisguiseAreRefused)
{
    const char *refused[] = {"CON .txt", "COM1 .txt",   "nul  .a.b",  "sub\\AUX \\x", "com0",    "LPT0.log",
                             "COM\xB9",  "lpt\xB2.txt", "COM\xB3 .x", "CONOUT$ .txt", "conin$  "};
    const char *accepted[] = {"COM", "COM\xB4", "LPT\xB1", "CON x.txt", "COM1x", "CONOUT$$"};
    const char *why;
    for (const char *p : refused) {
        why = nullptr;
        EXPECT_FALSE(FtDownloadPathOk(p, &why)) << p;
        EXPECT_NE(why, nullptr) << p;
    }
    for (const char *p : accepted)
        EXPECT_TRUE(FtDownloadPathOk(p, &why)) << p << ": " << (why ? why : "");
}

TEST(FtDownloadPaths, WhatArrivesBelongsToTheItemAskedFor)
{
    const struct {
        const char *relative, *item;
        int folder, ok;
    } cases[] = {
        {"a.txt", "a.txt", 0, 1},
        {"A.TXT", "a.txt", 0, 1},
        {"Link\\a.txt", "a.txt", 0, 0},
        {"a.txt\\b", "a.txt", 0, 0},
        {"a.txtx", "a.txt", 0, 0},
        {"b.txt", "a.txt", 0, 0},
        {"tree", "tree", 1, 1},
        {"tree\\x\\y.bin", "tree", 1, 1},
        {"Tree\\x", "tree", 1, 1},
        {"treex\\y", "tree", 1, 0},
        {"other\\tree", "tree", 1, 0},
        {"tre", "tree", 1, 0},
        {"\xC0\xE1\\x", "\xC0\xE1", 1, 1},
        {"\xE0\xE1\\x", "\xC0\xE1", 1, 0},
    };
    for (const auto &c : cases) {
        const char *why = nullptr;
        EXPECT_EQ(FtDownloadPathBelongs(c.relative, c.item, c.folder, &why), c.ok) << c.relative;
        EXPECT_EQ(why != nullptr, !c.ok) << c.relative;
    }
}

} // namespace
