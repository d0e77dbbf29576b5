// The log file: stamp, size limit and whole lines from many threads.
#include <gtest/gtest.h>

#include "shell/log_win.h"
#include "tests/wine/viewer_fixture.h"

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const char *path)
{
    std::string s;
    FILE *f = fopen(path, "rb");
    if (!f)
        return s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

void MakeFileOfSize(const char *path, long long size)
{
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    LARGE_INTEGER li;
    li.QuadPart = size;
    SetFilePointerEx(f, li, NULL, FILE_BEGIN);
    SetEndOfFile(f);
    CloseHandle(f);
}

long long FileSize(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &d))
        return -1;
    return (long long)d.nFileSizeHigh << 32 | d.nFileSizeLow;
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
    void TearDown() override { DeleteFileA(path); }
};

TEST_F(Log, LineHasStampTextAndCrLf)
{
    WriteLog("hello");
    std::string s = ReadAll(path);
    std::regex line(R"(^\d\d/\d\d/\d{4} (Sun|Mon|Tue|Wed|Thu|Fri|Sat) \d\d:\d\d:\d\d hello\r\n$)");
    EXPECT_TRUE(std::regex_match(s, line)) << s;
}

TEST_F(Log, RussianDayNamesAreWindows1251)
{
    g_viewer.settings.v[SET_LANGUAGE] = 1;
    WriteLog("x");
    std::string s = ReadAll(path);
    ASSERT_GE(s.size(), 14u);
    const char *names[] = {"\xC2\xF1", "\xCF\xED", "\xC2\xF2", "\xD1\xF0", "\xD7\xF2", "\xCF\xF2", "\xD1\xE1"};
    bool found = false;
    for (const char *n : names)
        found |= s.compare(11, 2, n) == 0;
    EXPECT_TRUE(found) << s;
}

TEST_F(Log, FileOverTheLimitIsEmptiedFirst)
{
    MakeFileOfSize(path, 10000001);
    WriteLog("after");
    long long size = FileSize(path);
    EXPECT_LT(size, 100);
    EXPECT_NE(ReadAll(path).find("after\r\n"), std::string::npos);
}

TEST_F(Log, FileAtTheLimitIsAppendedTo)
{
    MakeFileOfSize(path, 10000000);
    WriteLog("after");
    long long size = FileSize(path);
    EXPECT_GT(size, 10000000 + 7);
    EXPECT_LT(size, 10000000 + 100);
}

DWORD WINAPI Writer(LPVOID p)
{
    int id = (int)(INT_PTR)p;
    for (int i = 0; i < 100; i++) {
        char text[64];
        snprintf(text, sizeof(text), "thread %d line %d", id, i);
        WriteLog(text);
    }
    return 0;
}

TEST_F(Log, LinesFromManyThreadsStayWhole)
{
    HANDLE threads[4];
    for (int i = 0; i < 4; i++)
        threads[i] = CreateThread(NULL, 0, Writer, (LPVOID)(INT_PTR)i, 0, NULL);
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
}

TEST_F(Log, UnwritableLogLosesTheLineQuietly)
{
    snprintf(g_viewer.logPath, sizeof(g_viewer.logPath), "%s", "Q:\\no\\such\\folder\\Corvid.log");
    WriteLog("lost"); // must neither crash nor block
    SUCCEED();
}

} // namespace
