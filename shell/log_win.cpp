// The diagnostic log beside the program: one stamped line per event, opened and closed
// for every line, emptied once it has grown past the limit. Any thread; LogLock.
#include "shell/log_win.h"

#include "shell/logstamp.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

static HANDLE OpenLogFile(DWORD disposition)
{
    return CreateFileA(g_viewer.logPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL, disposition,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

static int LogFileSize(HANDLE file, ULONGLONG *size)
{
    LARGE_INTEGER li;
    if (!GetFileSizeEx(file, &li))
        return 0;
    *size = (ULONGLONG)li.QuadPart;
    return 1;
}

void WriteLog(const char *text)
{
    EnterCriticalSection(&g_viewer.logLock);
    HANDLE file = OpenLogFile(OPEN_ALWAYS);
    ULONGLONG size = 0;
    if (file != INVALID_HANDLE_VALUE && LogFileSize(file, &size) && LogNeedsTruncation(size)) {
        CloseHandle(file);
        file = OpenLogFile(CREATE_ALWAYS);
        if (file != INVALID_HANDLE_VALUE && LogFileSize(file, &size) && LogNeedsTruncation(size)) {
            CloseHandle(file);
            file = INVALID_HANDLE_VALUE;
        }
    }
    if (file != INVALID_HANDLE_VALUE) {
        SYSTEMTIME st;
        GetLocalTime(&st);
        LogTime t = {st.wDay, st.wMonth, st.wYear, st.wDayOfWeek, st.wHour, st.wMinute, st.wSecond};
        char stamp[kLogStampMax];
        int n = FormatLogStamp(stamp, sizeof(stamp), &t, SettingLanguageIndex(&g_viewer.settings));
        DWORD written;
        SetFilePointer(file, 0, NULL, FILE_END);
        WriteFile(file, stamp, (DWORD)n, &written, NULL);
        WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
        WriteFile(file, "\r\n", 2, &written, NULL);
        CloseHandle(file);
    }
    LeaveCriticalSection(&g_viewer.logLock);
}

void WriteLogF(const char *format, ...)
{
    char line[2048];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof(line), format, ap);
    va_end(ap);
    WriteLog(line);
}

void WriteLogString(unsigned stringId)
{
    char text[1024];
    LoadLangString(stringId, text, sizeof(text));
    WriteLog(text);
}
