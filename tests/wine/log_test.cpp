// The log file: stamp, size limit and whole lines from many threads.
#include <gtest/gtest.h>

#include "shell/log_win.h"
#include "tests/wine/viewer_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

namespace {

std::string ReadAll(const char *path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

class Log : public ::testing::Test {
protected:
    char path[MAX_PATH + 32];
    void SetUp() override
    {
        TestFilePath(path, sizeof(path), "log_test.log");
        DeleteFileA(path);
        snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s", path);
        g_viewer.settings.v[SET_LANGUAGE] = 0;
    }
    void TearDown() override
    {
        DeleteFileA(path);
        g_viewer.settings.v[SET_LANGUAGE] = 0;
    }
};

TEST_F(Log, LineHasStampTextAndCrLfWithRussianDayNamesIn1251)
{
    WriteLog("hello");
    std::string s = ReadAll(path);
    std::regex line(R"(^\d\d/\d\d/\d{4} (Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d:\d\d:\d\d hello\r\n$)");
    EXPECT_TRUE(std::regex_match(s, line)) << s;
    g_viewer.settings.v[SET_LANGUAGE] = 1;
    WriteLog("x");
    s = ReadAll(path).substr(s.size());
    ASSERT_GE(s.size(), 14u);
    const char *names[] = {"\xC2\xF1", "\xCF\xED", "\xC2\xF2", "\xD1\xF0", "\xD7\xF2", "\xCF\xF2", "\xD1\xE1"};
    bool found = false;
    for (const char *n : names)
        found |= s.compare(11, 2, n) == 0;
    EXPECT_TRUE(found) << s;
}

// A file over the limit is emptied before the line goes in; one at the limit is not.
TEST_F(Log, FileOverTheLimitIsEmptiedFirst)
{
    for (long long size : {10000000LL, 10000001LL}) {
        HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        LARGE_INTEGER li;
        li.QuadPart = size;
        SetFilePointerEx(f, li, NULL, FILE_BEGIN);
        SetEndOfFile(f);
        CloseHandle(f);
        WriteLog("after");
        WIN32_FILE_ATTRIBUTE_DATA d;
        ASSERT_TRUE(GetFileAttributesExA(path, GetFileExInfoStandard, &d));
        long long now = (long long)d.nFileSizeHigh << 32 | d.nFileSizeLow;
        long long base = size > 10000000 ? 0 : size;
        EXPECT_GT(now, base + 7) << size;
        EXPECT_LT(now, base + 100) << size;
    }
}

TEST_F(Log, LinesFromManyThreadsStayWhole)
{
    HANDLE threads[4];
    for (int i = 0; i < 4; i++)
        threads[i] = CreateThread(
            NULL, 0,
            [](LPVOID p) -> DWORD {
                for (int i = 0; i < 100; i++) {
                    char text[64];
                    snprintf(text, sizeof(text), "thread %d line %d", (int)(INT_PTR)p, i);
                    WriteLog(text);
                }
                return 0;
            },
            (LPVOID)(INT_PTR)i, 0, NULL);
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE h : threads)
        CloseHandle(h);
    std::string s = ReadAll(path);
    std::regex line(R"(\d\d/\d\d/\d{4} \w{3} \d\d:\d\d:\d\d thread \d line \d+)");
    int count = 0;
    size_t start = 0, end;
    while ((end = s.find("\r\n", start)) != std::string::npos) {
        EXPECT_TRUE(std::regex_match(s.substr(start, end - start), line)) << s.substr(start, end - start);
        count++;
        start = end + 2;
    }
    EXPECT_EQ(count, 400);
    EXPECT_EQ(start, s.size());
    // An unwritable log loses the line quietly: no crash, no hang.
    snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s", "Q:\\no\\such\\folder\\Corvid.log");
    WriteLog("lost");
}

} // namespace
