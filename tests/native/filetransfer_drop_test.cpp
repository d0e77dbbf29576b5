// Paths from Explorer split into folder and name, and grouped by folder for the upload.
#include "filetransfer/dropfiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(FtDropPaths, SplitIntoFolderAndNameOrRefused)
{
    const std::string longName(300, 'a');
    const std::string longest = "C:\\" + std::string(kFtPathMax - 3, 'b');
    const struct {
        std::string path;
        int want;
        const char *folder, *name;
    } cases[] = {
        {"C:\\a\\b.txt", kFtDropOk, "C:\\a", "b.txt"},
        {"c:\\b.txt", kFtDropOk, "c:\\", "b.txt"},
        {"Z:\\tmp\\x y\\tree", kFtDropOk, "Z:\\tmp\\x y", "tree"},
        {"\\\\srv\\share\\b.txt", kFtDropOk, "\\\\srv\\share", "b.txt"},
        {"\\\\srv\\share\\d\\e", kFtDropOk, "\\\\srv\\share\\d", "e"},
        {longest, kFtDropOk, "C:\\", longest.c_str() + 3},
        {longest + "b", kFtDropTooLong, "", ""},
        {"C:\\" + longName, kFtDropTooLong, "", ""},
        {"C:\\", kFtDropRoot, "", ""},
        {"C:", kFtDropNotFull, "", ""},
        {"\\\\srv\\share", kFtDropRoot, "", ""},
        {"\\\\srv\\share\\", kFtDropRoot, "", ""},
        {"\\\\srv", kFtDropNotFull, "", ""},
        {"\\\\?\\C:\\a.txt", kFtDropNotFull, "", ""},
        {"\\\\.\\pipe\\x", kFtDropNotFull, "", ""},
        {"a\\b.txt", kFtDropNotFull, "", ""},
        {"\\a\\b.txt", kFtDropNotFull, "", ""},
        {"", kFtDropNotFull, "", ""},
        {"C:a.txt", kFtDropNotFull, "", ""},
        {"C:\\a\\", kFtDropBadName, "", ""},
        {"C:\\a\\\\b", kFtDropBadName, "", ""},
        {"C:\\a\\..", kFtDropBadName, "", ""},
        {"C:\\a\\.", kFtDropBadName, "", ""},
        {"C:\\a\\*.txt", kFtDropBadName, "", ""},
        {"C:\\a\\b?", kFtDropBadName, "", ""},
        {"C:\\a\\b:stream", kFtDropBadName, "", ""},
        {"C:\\a/b", kFtDropBadName, "", ""},
        {"C:\\a\\b\x01", kFtDropBadName, "", ""},
        {"C:\\a\\b|c", kFtDropBadName, "", ""},
    };
    for (const auto &c : cases) {
        char folder[kFtPathField] = "x", name[kFtPathField] = "x";
        EXPECT_EQ(FtSplitDropped(c.path.c_str(), folder, name), c.want) << c.path;
        EXPECT_STREQ(folder, c.folder) << c.path;
        EXPECT_STREQ(name, c.name) << c.path;
    }
}

TEST(FtDropPlans, GroupsByFolderInTheOrderTheyCame)
{
    const char *paths[] = {"C:\\a\\1", "D:\\b\\2", "c:\\A\\3", "C:\\a\\sub\\4", "D:\\b\\5", "C:\\6", "C:\\A\\7"};
    FtDropPlan plan;
    uint32_t bad = 99;
    ASSERT_EQ(FtPlanDrop(paths, 7, &plan, &bad), kFtDropOk);
    ASSERT_EQ(plan.count, 7u);
    ASSERT_EQ(plan.groups, 4u);
    const struct {
        const char *folder;
        uint32_t first, count;
    } groups[] = {{"C:\\a", 0, 3}, {"D:\\b", 3, 2}, {"C:\\a\\sub", 5, 1}, {"C:\\", 6, 1}};
    for (uint32_t g = 0; g < 4; g++) {
        EXPECT_STREQ(plan.group[g].folder, groups[g].folder) << g;
        EXPECT_EQ(plan.group[g].first, groups[g].first) << g;
        EXPECT_EQ(plan.group[g].count, groups[g].count) << g;
    }
    const char *names[] = {"1", "3", "7", "2", "5", "4", "6"};
    const uint32_t source[] = {0, 2, 6, 1, 4, 3, 5};
    for (uint32_t i = 0; i < 7; i++) {
        EXPECT_STREQ(plan.names[i], names[i]) << i;
        EXPECT_EQ(plan.source[i], source[i]) << i;
    }
    FtFreeDropPlan(&plan);
    EXPECT_EQ(plan.names, nullptr);
}

TEST(FtDropPlans, OneRefusedPathRefusesAllAndNamesIt)
{
    const char *paths[] = {"C:\\a\\1", "C:\\a\\2", "C:\\", "C:\\a\\3"};
    FtDropPlan plan;
    uint32_t bad = 99;
    EXPECT_EQ(FtPlanDrop(paths, 4, &plan, &bad), kFtDropRoot);
    EXPECT_EQ(bad, 2u);
    EXPECT_EQ(plan.count, 0u);
    EXPECT_EQ(plan.names, nullptr);
    // Many names of one folder, as Explorer drags them: one group.
    std::vector<std::string> many;
    for (int i = 0; i < 5000; i++)
        many.push_back("C:\\f\\n" + std::to_string(i));
    std::vector<const char *> p;
    for (auto &s : many)
        p.push_back(s.c_str());
    ASSERT_EQ(FtPlanDrop(p.data(), (uint32_t)p.size(), &plan, &bad), kFtDropOk);
    EXPECT_EQ(plan.groups, 1u);
    EXPECT_STREQ(plan.names[4999], "n4999");
    FtFreeDropPlan(&plan);
    ASSERT_EQ(FtPlanDrop(p.data(), 0, &plan, &bad), kFtDropOk);
    EXPECT_EQ(plan.count + plan.groups, 0u);
    FtFreeDropPlan(&plan);
}

} // namespace
