// Stage timers for the desktop's path. Each stage is written by one thread only, so
// plain additions would do; the interlocked ones keep the writer's reads whole.
#include "shell/profile_win.h"

#include "session/state_win.h"
#include "shell/state.h"

#include <cstdio>
#include <cstdlib>

static struct {
    BOOL on;
    char path[MAX_PATH];
    LONGLONG frequency;
    HANDLE uiThread;
    volatile LONG64 ticks[kProfStageCount], calls[kProfStageCount], counts[kProfCountCount];
} s_prof;

static const char *const kStageNames[kProfStageCount] = {"receive_wait", "receive_read", "decode",  "publish",
                                                         "batch",        "blit",         "stretch", "marker"};
static const char *const kCountNames[kProfCountCount] = {"bytes_read", "parts_in", "tiles_shown", "blits"};

LONGLONG ProfileClock(void)
{
    if (!s_prof.on)
        return 0;
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

void ProfileAdd(int stage, LONGLONG start)
{
    if (!s_prof.on || !start)
        return;
    InterlockedExchangeAdd64(&s_prof.ticks[stage], ProfileClock() - start);
    InterlockedIncrement64(&s_prof.calls[stage]);
}

void ProfileCountAdd(int count, LONGLONG n)
{
    if (s_prof.on)
        InterlockedExchangeAdd64(&s_prof.counts[count], n);
}

static unsigned long long Micros(LONGLONG ticks) { return (unsigned long long)(ticks * 1000000 / s_prof.frequency); }

// Kernel plus user time of a thread, in microseconds; 0 when it cannot be read.
static unsigned long long ThreadMicros(HANDLE thread)
{
    FILETIME created, exited, kernel, user;
    if (!thread || !GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    ULARGE_INTEGER k, u;
    k.LowPart = kernel.dwLowDateTime;
    k.HighPart = kernel.dwHighDateTime;
    u.LowPart = user.dwLowDateTime;
    u.HighPart = user.dwHighDateTime;
    return (k.QuadPart + u.QuadPart) / 10;
}

// Written whole to a temporary name and renamed over the file, so a reader never
// sees half of it.
static void WriteFigures(void)
{
    char temp[MAX_PATH + 8];
    snprintf(temp, sizeof(temp), "%s.new", s_prof.path);
    FILE *f = fopen(temp, "w");
    if (!f)
        return;
    for (int i = 0; i < kProfStageCount; i++)
        fprintf(f, "%s_us %llu\n%s_calls %llu\n", kStageNames[i], Micros(s_prof.ticks[i]), kStageNames[i],
                (unsigned long long)s_prof.calls[i]);
    for (int i = 0; i < kProfCountCount; i++)
        fprintf(f, "%s %llu\n", kCountNames[i], (unsigned long long)s_prof.counts[i]);
    const struct {
        const char *name;
        HANDLE thread;
    } threads[] = {{"ui", s_prof.uiThread}, {"receive", g_session.receiveThread}, {"send", g_session.sendThread}};
    for (const auto &t : threads)
        fprintf(f, "cpu_%s_us %llu\n", t.name, ThreadMicros(t.thread));
    fclose(f);
    MoveFileExA(temp, s_prof.path, MOVEFILE_REPLACE_EXISTING);
}

static DWORD WINAPI WriterThread(LPVOID)
{
    for (;;) {
        Sleep(250);
        WriteFigures();
    }
}

void ProfileStart(void)
{
    DWORD n = GetEnvironmentVariableA("CORVID_PROFILE", s_prof.path, sizeof(s_prof.path));
    if (n == 0 || n >= sizeof(s_prof.path))
        return;
    LARGE_INTEGER f;
    if (!QueryPerformanceFrequency(&f) || f.QuadPart <= 0)
        return;
    s_prof.frequency = f.QuadPart;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &s_prof.uiThread,
                    THREAD_QUERY_INFORMATION, FALSE, 0);
    s_prof.on = TRUE;
    DWORD id;
    HANDLE writer = CreateThread(NULL, 0, WriterThread, NULL, 0, &id);
    if (writer)
        CloseHandle(writer);
    else
        s_prof.on = FALSE;
}
