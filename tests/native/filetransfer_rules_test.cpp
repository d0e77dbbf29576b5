// The panels' portable rules: sort order with its tie-breaks, column texts, typed paths,
// parent and join, and the check of a download's relative path.
#include "filetransfer/displaytext.h"
#include "filetransfer/paths.h"
#include "filetransfer/selectiontext.h"
#include "filetransfer/sortorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

FtEntry Item(const char *name, int dir, uint64_t size = 0, uint64_t written = 0, uint32_t attributes = 0)
{
    FtEntry e = {(uint32_t)dir, attributes, 0, 0, written, size, ""};
    strcpy(e.name, name);
    return e;
}

std::vector<std::string> Sorted(std::vector<FtEntry> items, int key)
{
    std::sort(items.begin(), items.end(),
              [key](const FtEntry &a, const FtEntry &b) { return FtCompareItems(&a, &b, key) < 0; });
    std::vector<std::string> names;
    for (const FtEntry &e : items)
        names.push_back(e.name);
    return names;
}

TEST(FtRules, SortOrderByEachKeyWithItsTieBreak)
{
    const uint64_t big = 5000000000ull; // over 4 GB: the high half decides
    const std::vector<FtEntry> items = {
        Item("b.TXT", 0, 10, 300, 0x20),
        Item("a.doc", 0, big, 100, 0x21),
        Item("Zeta", 1, 0, 50, 0x10),
        Item("..", 1),
        Item("c.txt", 0, 10, 300, 0x01),
        Item("alpha", 1, 0, 60, 0x12),
        Item("d", 0, 4294967295u, 200),
        Item("\xC0\xE1", 0, 1, 1),
        Item("\xE0\xC1"
             "2",
             0, 1, 1),
    };
    struct {
        int key;
        std::vector<std::string> want;
    } cases[] = {
        {FT_SORT_NAME,
         {"..", "alpha", "Zeta", "a.doc", "b.TXT", "c.txt", "d", "\xC0\xE1",
          "\xE0\xC1"
          "2"}},
        // Equal sizes, equal times: by name.
        {FT_SORT_SIZE,
         {"..", "alpha", "Zeta", "a.doc", "d", "b.TXT", "c.txt", "\xC0\xE1",
          "\xE0\xC1"
          "2"}},
        {FT_SORT_EXTENSION,
         {"..", "alpha", "Zeta", "d", "\xC0\xE1",
          "\xE0\xC1"
          "2",
          "a.doc", "b.TXT", "c.txt"}},
        {FT_SORT_MODIFIED,
         {"..", "alpha", "Zeta", "b.TXT", "c.txt", "d", "a.doc", "\xC0\xE1",
          "\xE0\xC1"
          "2"}},
        {FT_SORT_ATTRIBUTES,
         {"..", "Zeta", "alpha", "d", "\xC0\xE1",
          "\xE0\xC1"
          "2",
          "c.txt", "b.TXT", "a.doc"}},
        {99,
         {"..", "alpha", "Zeta", "a.doc", "b.TXT", "c.txt", "d", "\xC0\xE1",
          "\xE0\xC1"
          "2"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Sorted(items, c.key), c.want) << "key " << c.key;

    // A total order under every key: never +1 both ways, 0 only with itself.
    for (int key = 0; key <= 5; key++)
        for (const FtEntry &a : items)
            for (const FtEntry &b : items) {
                const int ab = FtCompareItems(&a, &b, key), ba = FtCompareItems(&b, &a, key);
                EXPECT_EQ(ab, -ba) << a.name << " / " << b.name << " key " << key;
                EXPECT_EQ(ab == 0, &a == &b) << a.name << " / " << b.name;
            }
    EXPECT_EQ(FtCompareNames("\xB8", "\xA8"), 0) << "io folds like the other Cyrillic letters";
}

TEST(FtRules, ColumnTexts)
{
    char out[kFtCellText];
    const struct {
        FtEntry e;
        const char *size;
    } sizes[] = {{Item("f", 0, 5000000000ull), "5000000000"},
                 {Item("f", 0, 1536), "1536"},
                 {Item("f", 0, 0), "0"},
                 {Item("dir", 1, 77), ""},
                 {Item("f", 0, UINT64_MAX), "18446744073709551615"}};
    for (const auto &s : sizes) {
        FtSizeText(&s.e, out);
        EXPECT_STREQ(out, s.size);
    }
    const struct {
        uint32_t attributes;
        const char *text;
    } attrs[] = {{0x27, "AHSR"}, {0x01, "R"}, {0x22, "AH"}, {0x10, ""}, {0xFFFFFFFF, "AHSR"}};
    for (const auto &a : attrs) {
        FtAttributeText(a.attributes, out);
        EXPECT_STREQ(out, a.text);
    }
    FtLocalTime t = {2024, 3, 7, 9, 5};
    const FtEntry f = Item("f", 0), up = Item("..", 1);
    FtModifiedText(&f, &t, out);
    EXPECT_STREQ(out, "07.03.24  09:05");
    FtModifiedText(&up, &t, out);
    EXPECT_STREQ(out, "");
    t = {-2147483647, 2147483647, -2147483647, 2147483647, 2147483647}; // never past the buffer
    FtModifiedText(&f, &t, out);
    EXPECT_LT(strlen(out), sizeof out);

    // FILETIME 0 is 1601-01-01 00:00; 2000-02-29 12:34 UTC; 2100-03-01 (not a leap year).
    const struct {
        uint64_t ft;
        FtLocalTime want;
    } times[] = {{0, {1601, 1, 1, 0, 0}},
                 {(951827640ull + 11644473600ull) * 10000000ull, {2000, 2, 29, 12, 34}},
                 {(4107542400ull + 11644473600ull) * 10000000ull, {2100, 3, 1, 0, 0}}};
    for (const auto &c : times) {
        FtLocalTime got;
        ASSERT_TRUE(FtFileTimeToUtc(c.ft, &got));
        EXPECT_EQ(std::vector<int>({got.year, got.month, got.day, got.hour, got.minute}),
                  std::vector<int>({c.want.year, c.want.month, c.want.day, c.want.hour, c.want.minute}));
    }
    FtLocalTime got;
    EXPECT_FALSE(FtFileTimeToUtc(UINT64_MAX, &got));
}

TEST(FtRules, TypedPathsParentsAndJoins)
{
    const struct {
        const char *typed, *want; // want NULL: refused
    } typed[] = {
        {"C:/Windows/", "C:\\Windows"},
        {"  c:\\Windows\\System32  ", "C:\\Windows\\System32"},
        {"d:", "D:\\"},
        {"C:\\a\\.\\b\\..\\c", "C:\\a\\c"},
        {"C:\\..\\..", "C:\\"},
        {"C:\\Windows\\\\", "C:\\Windows"},
        {"C:\\\\Windows", nullptr},
        {"C:\\a\\\\b", nullptr},
        {"\\\\server\\share", nullptr},
        {"1:\\x", nullptr},
        {"Windows", nullptr},
        {"", nullptr},
        {"C:\\a:b", nullptr},
        {"C:x", nullptr},
    };
    for (const auto &c : typed) {
        char out[kFtPathField];
        const char *why = nullptr;
        const int ok = FtCanonicaliseTyped(c.typed, out, &why);
        EXPECT_EQ(ok, c.want != nullptr) << c.typed;
        if (ok && c.want) {
            EXPECT_STREQ(out, c.want) << c.typed;
        }
        if (!ok) {
            EXPECT_NE(why, nullptr);
        }
    }
    const struct {
        const char *path, *parent, *last; // parent NULL: none
    } parents[] = {{"C:\\Windows\\System32", "C:\\Windows", "System32"},
                   {"C:\\Windows", "C:\\", "Windows"},
                   {"C:\\Windows\\", "C:\\", "Windows"},
                   {"C:\\", nullptr, nullptr},
                   {"relative", nullptr, nullptr}};
    for (const auto &c : parents) {
        char parent[kFtPathField], last[kFtPathField];
        const int ok = FtParentPath(c.path, parent, last);
        EXPECT_EQ(ok, c.parent != nullptr) << c.path;
        if (ok && c.parent) {
            EXPECT_STREQ(parent, c.parent);
            EXPECT_STREQ(last, c.last);
        }
    }
    char out[kFtPathField], root[kFtPathField];
    ASSERT_TRUE(FtJoinPath("C:\\", "a", out));
    EXPECT_STREQ(out, "C:\\a");
    ASSERT_TRUE(FtJoinPath("C:\\a", "b", out));
    EXPECT_STREQ(out, "C:\\a\\b");
    EXPECT_FALSE(FtJoinPath(std::string(255, 'x').c_str(), "abcde", out)) << "261 characters";
    EXPECT_TRUE(FtJoinPath(std::string(255, 'x').c_str(), "abcd", out));
    ASSERT_TRUE(FtRootOf("D:\\x\\y", root));
    EXPECT_STREQ(root, "D:\\");
    EXPECT_TRUE(FtIsRoot("C:\\") && FtIsRoot("c:") && !FtIsRoot("C:\\x"));
}

TEST(FtRules, DownloadPathsThatWouldLeaveTheTargetAreRefused)
{
    const char *accepted[] = {
        "a.txt", "sub\\dir\\file.bin", "name with blanks.txt", "\xC0\xE1\xE2.txt", "COM10", "console\\x", "...x"};
    const char *refused[] = {"",         "..\\..\\x", "C:\\x", "x:stream", "\\x",    "\\\\host\\s", "a\\..\\b",
                             "a\\.\\b",  "a\\\\b",    "a\\",   "a/b",      "a<b",    "a|b",         "a?",
                             "a*",       "a\"b",      "a\x01", "trail.",   "trail ", "CON",         "nul.txt",
                             "sub\\aux", "COM1.log",  "lpt9",  "conin$",   ".",      "con.d\\x"};
    const char *why;
    for (const char *p : accepted)
        EXPECT_TRUE(FtDownloadPathOk(p, &why)) << p << ": " << (why ? why : "");
    for (const char *p : refused) {
        why = nullptr;
        EXPECT_FALSE(FtDownloadPathOk(p, &why)) << p;
        EXPECT_NE(why, nullptr) << p;
    }
    EXPECT_TRUE(FtDownloadPathOk(std::string(260, 'x').c_str(), &why));
    EXPECT_FALSE(FtDownloadPathOk(std::string(261, 'x').c_str(), &why));
}

TEST(FtTypedName, TrimsAndRefusesAnythingButOneName)
{
    const struct {
        const char *typed, *name;
        int ok, refused;
    } cases[] = {
        {"  new folder  ", "new folder", 1, 0},
        {"\\name\\", "name", 1, 0},
        {"/x.txt/", "x.txt", 1, 0},
        {"   ", "", 0, 0},
        {"\\/ ", "", 0, 0},
        {"", "", 0, 0},
        {"..", "", 0, 1},
        {"a\\..\\b", "", 0, 1},
        {"..\\evil", "", 0, 1},
        {"a/b", "", 0, 1},
        {"C:x", "", 0, 1},
        {"x::$DATA", "", 0, 1},
        {"nul", "", 0, 1},
        {"a?", "", 0, 1},
        {"dot.", "", 0, 1},
    };
    for (const auto &c : cases) {
        char out[kFtPathField];
        const char *why = nullptr;
        EXPECT_EQ(FtTypedName(c.typed, out, &why), c.ok) << c.typed;
        EXPECT_EQ(why != nullptr, c.refused != 0) << c.typed;
        if (c.ok) {
            EXPECT_STREQ(out, c.name);
        }
    }
    char out[kFtPathField];
    const char *why;
    EXPECT_TRUE(FtTypedName((" " + std::string(258, 'x') + " ").c_str(), out, &why));
    EXPECT_FALSE(FtTypedName(std::string(261, 'x').c_str(), out, &why));
}

TEST(FtSelectionSentence, EachCaseTakesItsPieces)
{
    const FtSentencePieces t = {"F1 ", "D1 ", "dirs", "files", "items", " tree"};
    const struct {
        uint32_t folders, files;
        const char *sentence;
    } cases[] = {
        {0, 0, ""},       {0, 1, "F1 \"n.txt\""}, {1, 0, "D1 \"n.txt\" tree"}, {0, 7, "7 files"},
        {3, 0, "3 dirs"}, {2, 5, "7 items"},      {1, 1, "2 items"},           {0xFFFFFFFFu, 1, "4294967296 items"},
    };
    for (const auto &c : cases) {
        char out[64];
        EXPECT_EQ(FtSelectionSentence(c.folders, c.files, "n.txt", &t, out, sizeof(out)), c.sentence[0] != 0);
        EXPECT_STREQ(out, c.sentence) << c.folders << " " << c.files;
    }
    char small[6];
    EXPECT_TRUE(FtSelectionSentence(0, 1, "long-name.txt", &t, small, sizeof(small)));
    EXPECT_STREQ(small, "F1 \"l");
}

TEST(FtSelectionRoom, DoublesFromSixteenAndStopsWhereTheSizeWouldWrap)
{
    const struct {
        uint32_t room;
        size_t item;
        uint32_t grown;
    } cases[] = {
        {0, 600, 16},
        {15, 600, 16},
        {16, 600, 32},
        {1u << 20, 600, 2u << 20},
        {0x80000000u, 1, 0xFFFFFFFFu},
        {0xFFFFFFFFu, 1, 0},
        {16, 0, 0},
        {16, SIZE_MAX / 32 + 1, 0},
        {16, SIZE_MAX / 32, 32},
    };
    for (const auto &c : cases)
        EXPECT_EQ(FtSelectionRoom(c.room, c.item), c.grown) << c.room << " " << c.item;
    // 100,000 items take 14 allocations, not 100,000.
    uint32_t room = 0, grows = 0;
    while (room < 100000) {
        room = FtSelectionRoom(room, 600);
        grows++;
    }
    EXPECT_EQ(grows, 14u);
}

TEST(FtAttributeNames, InOrderWithTwoBlanksAfterTheFirstTwo)
{
    const struct {
        uint32_t attributes;
        const char *names;
    } cases[] = {
        {0, ""}, {1, "R  "}, {2, "H  "}, {4, "S"}, {7, "R  H  S"}, {5, "R  S"}, {0x20 | 16, ""},
    };
    for (const auto &c : cases) {
        char out[32];
        FtAttributeNames(c.attributes, "R", "H", "S", out, sizeof(out));
        EXPECT_STREQ(out, c.names) << c.attributes;
    }
}

} // namespace
