// Counted posting: a count per private message, raised before the post and lowered
// by a WH_GETMESSAGE hook when GetMessage or PeekMessage removes the message, so
// modal loops count too.
#include "shell/post_win.h"

#include "shell/log_win.h"

#include <cstdlib>

enum { kCountedIds = 512 };
// Test hook: with CORVID_TEST_POST_REPORT=1 this message, taken from the queue, logs the
// peak since the last one and starts the next peak from what is outstanding now.
enum { kPostReportMessage = WM_APP + 0x3F00 };

static volatile LONG g_byId[kCountedIds];
static volatile LONG g_outstanding, g_peak, g_refusedLogged;
static LONG g_limit, g_report;
static HHOOK g_hook;

static int Counted(UINT msg) { return msg >= WM_USER && msg < WM_USER + kCountedIds; }

// Lowered only while above zero: a message of the same number posted by someone else
// (a common control's own) must not drive the count below what is on its way.
static void Lower(volatile LONG *v)
{
    for (;;) {
        LONG now = *v;
        if (now <= 0 || InterlockedCompareExchange(v, now - 1, now) == now)
            return;
    }
}

static LRESULT CALLBACK OnTaken(int code, WPARAM removed, LPARAM lp)
{
    const MSG *m = (const MSG *)lp;
    if (code == HC_ACTION && removed == PM_REMOVE && m && Counted(m->message)) {
        LONG before = g_byId[m->message - WM_USER];
        Lower(&g_byId[m->message - WM_USER]);
        if (before > 0)
            Lower(&g_outstanding);
    }
    if (code == HC_ACTION && removed == PM_REMOVE && m && g_report && m->message == kPostReportMessage) {
        WriteLogF("Posted messages outstanding at most since the last report: %ld.",
                  (long)InterlockedExchange(&g_peak, g_outstanding));
    }
    return CallNextHookEx(g_hook, code, removed, lp);
}

int UiPostInit(void)
{
    char text[32];
    const DWORD n = GetEnvironmentVariableA("CORVID_TEST_POST_LIMIT", text, sizeof(text));
    g_limit = n > 0 && n < sizeof(text) ? atol(text) : 0;
    if (g_limit < 0)
        g_limit = 0;
    g_report = GetEnvironmentVariableA("CORVID_TEST_POST_REPORT", text, sizeof(text)) == 1 && text[0] == '1';
    g_hook = SetWindowsHookExA(WH_GETMESSAGE, OnTaken, NULL, GetCurrentThreadId());
    if (!g_hook)
        WriteLogF("The hook that counts posted messages could not be set (error %lu).", GetLastError());
    if (g_limit && g_report)
        WriteLogF("Test limit: at most %ld posted messages outstanding.", (long)g_limit);
    return 1;
}

void UiPostEnd(void)
{
    // Worth a line only when the queue came near Windows' quota of 10,000, or asked for.
    if (g_report || g_peak >= 1000)
        WriteLogF("At most %ld posted messages were outstanding at once.", (long)g_peak);
    if (g_hook)
        UnhookWindowsHookEx(g_hook);
    g_hook = NULL;
}

int UiPost(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (g_limit && g_outstanding >= g_limit) {
        if (!InterlockedExchange(&g_refusedLogged, 1))
            WriteLogF("Message %u refused: %ld posts outstanding, the limit.", msg, (long)g_outstanding);
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return 0;
    }
    const int counted = Counted(msg);
    // Counted before the post: the hook may take the message before PostMessage returns.
    if (counted) {
        InterlockedIncrement(&g_byId[msg - WM_USER]);
        const LONG now = InterlockedIncrement(&g_outstanding);
        for (LONG peak = g_peak; now > peak; peak = g_peak)
            if (InterlockedCompareExchange(&g_peak, now, peak) == peak)
                break;
    }
    if (PostMessageA(wnd, msg, wp, lp))
        return 1;
    const DWORD error = GetLastError();
    if (counted) {
        Lower(&g_byId[msg - WM_USER]);
        Lower(&g_outstanding);
    }
    SetLastError(error);
    return 0;
}

LONG UiPostsOutstanding(void) { return g_outstanding; }
LONG UiPostsPeak(void) { return g_peak; }

int UiNoticeRaise(UiNotice *n, HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (InterlockedCompareExchange(&n->posted, 1, 0) != 0)
        return 1;
    if (UiPost(wnd, msg, wp, lp))
        return 1;
    InterlockedExchange(&n->posted, 0);
    return 0;
}

void UiNoticeAnnounce(UiNotice *n, HWND wnd, UINT msg)
{
    if (!UiNoticeRaise(n, wnd, msg, 0, 0))
        WriteLogF("Message %u could not be posted (error %lu): the next packet of its kind announces it.", msg,
                  GetLastError());
}

void UiNoticeTaken(UiNotice *n) { InterlockedExchange(&n->posted, 0); }
