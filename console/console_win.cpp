// The local console: the receive thread stores what the Agent sends in ConsoleScreen
// and raises the console notice; the UI thread owns the console, its handles and all
// its output; the input thread reads key records and posts them to the main window, so
// that it never waits for the UI thread, which waits for it when the console closes.
#include "console/console_win.h"

#include "console/pending.h"
#include "console/rules.h"
#include "console/screenbuf.h"
#include "console/state_win.h"
#include "desktop/input_win.h"
#include "desktop/state_win.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/syserror_win.h"

#include <cstdio>
#include <cstring>

ConsoleState g_console;

static_assert(sizeof(ConsoleCell) == sizeof(CHAR_INFO), "cells are handed to the console as CHAR_INFO");
static_assert(offsetof(ConsoleScreen, cursorVisible) == offsetof(ConsoleScreen, cursorSize) + 4,
              "size and visibility form a CONSOLE_CURSOR_INFO");

typedef BOOL(WINAPI *GetDisplayModeFn)(LPDWORD);
typedef BOOL(WINAPI *SetDisplayModeFn)(HANDLE, DWORD, PCOORD);

// --- receive thread -----------------------------------------------------------------

// What came since the UI thread last looked (ConsoleLock), announced by one notice:
// a flood of console messages costs one posted message, not one each.
static ConsolePending g_pending;
static UiNotice g_notice;
static volatile LONG g_noticeFailed;

static void RefuseConsolePacket(const SessPacketHeader *h, const char *why)
{
    WriteLogF("Console packet type %u of %u bytes refused: %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen, why);
}

// A notice that cannot be posted is raised again by the next console message.
static void AnnounceConsole(void)
{
    if (UiNoticeRaise(&g_notice, g_viewer.mainWindow, WM_CV_CONSOLE_CHANGED, 0, 0)) {
        InterlockedExchange(&g_noticeFailed, 0);
        return;
    }
    const DWORD error = GetLastError();
    if (!InterlockedExchange(&g_noticeFailed, 1))
        WriteLogF("The console change could not be posted (error %lu); the next console message tries again.",
                  (unsigned long)error);
}

int HandleConsolePacket(const SessPacketHeader *h, const BYTE *payload)
{
    const char *why = "";
    int ok = 0;
    switch (h->dwType) {
    case PKT_CONSOLE_STOP:
        EnterCriticalSection(&g_viewer.consoleLock);
        ConsoleNoteStop(&g_pending);
        LeaveCriticalSection(&g_viewer.consoleLock);
        ok = 1;
        break;
    case PKT_CONSOLE_START: {
        ConsoleStart s;
        ok = ParseConsoleStart(h, payload, &s, &why);
        if (ok) {
            EnterCriticalSection(&g_viewer.consoleLock);
            ConsoleStoreStart(&g_console.screen, &s);
            ConsoleNoteStart(&g_pending);
            LeaveCriticalSection(&g_viewer.consoleLock);
        }
        break;
    }
    case PKT_CONSOLE_CURSOR: {
        ConsoleCursor c;
        int moved = 0, reshape = 0;
        ok = ParseConsoleCursor(h, payload, &c, &why);
        if (ok) {
            EnterCriticalSection(&g_viewer.consoleLock);
            ConsoleStoreCursor(&g_console.screen, &c, &moved, &reshape);
            ConsoleNoteCursor(&g_pending, moved, reshape);
            LeaveCriticalSection(&g_viewer.consoleLock);
        }
        break;
    }
    case PKT_CONSOLE_LINE: {
        ConsoleLine l;
        ok = ParseConsoleLine(h, payload, &l, &why);
        if (ok) {
            EnterCriticalSection(&g_viewer.consoleLock);
            ok = ConsoleStoreLine(&g_console.screen, &l, &why);
            if (ok)
                ConsoleNoteLine(&g_pending, l.row);
            LeaveCriticalSection(&g_viewer.consoleLock);
        }
        break;
    }
    default:
        return 1;
    }
    if (ok)
        AnnounceConsole();
    else
        RefuseConsolePacket(h, why);
    return 1;
}

// --- UI thread: output ----------------------------------------------------------------

static int16_t g_shownWidth, g_shownHeight; // the open console's buffer
static uint32_t g_cursorSize;               // the cursor size last given to it

// Rows first..last of the screen copy into the console; ConsoleLock is held.
static void WriteRows(int first, int last)
{
    const ConsoleScreen *s = &g_console.screen;
    COORD size = {s->width, s->height};
    COORD from = {0, (SHORT)first};
    SMALL_RECT to = {0, (SHORT)first, (SHORT)(s->width - 1), (SHORT)last};
    WriteConsoleOutputA(g_console.output, (const CHAR_INFO *)s->cells, size, from, &to);
}

// ConsoleLock is held. A cursor off the screen keeps its last place, hidden.
static void ApplyCursor(int moved, int reshape)
{
    const ConsoleScreen *s = &g_console.screen;
    if (moved && ConsoleCursorOnScreen(s)) {
        COORD at = {s->cursorX, s->cursorY};
        SetConsoleCursorPosition(g_console.output, at);
    }
    if (reshape) {
        uint32_t size, visible;
        ConsoleCursorLook(s, g_cursorSize, &size, &visible);
        CONSOLE_CURSOR_INFO info = {size, visible ? TRUE : FALSE};
        if (SetConsoleCursorInfo(g_console.output, &info))
            g_cursorSize = size;
    }
}

void OnConsoleKey(UINT vk, UINT flags)
{
    if (g_viewer.controlMode)
        ForwardConsoleKey(vk, flags);
}

// Buffer and window of the console sized like the remote one: a buffer may not be
// smaller than its window, nor a window larger than the display allows.
static void SizeConsole(HANDLE out, COORD size)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    ConsoleDims window = {size.X, size.Y};
    if (GetConsoleScreenBufferInfo(out, &info)) {
        window.width = (int16_t)(info.srWindow.Right - info.srWindow.Left + 1);
        window.height = (int16_t)(info.srWindow.Bottom - info.srWindow.Top + 1);
    }
    const ConsoleDims want = {size.X, size.Y};
    COORD most = GetLargestConsoleWindowSize(out);
    ConsoleSizeStep steps[3];
    const int n = ConsoleSizeSteps(window, want, ConsoleDims{most.X, most.Y}, steps);
    for (int i = 0; i < n; i++) {
        if (i == n - 1) { // the new buffer's scroll bars take room from the largest window
            most = GetLargestConsoleWindowSize(out);
            ConsoleSizeStep again[3];
            steps[i] = again[ConsoleSizeSteps(window, want, ConsoleDims{most.X, most.Y}, again) - 1];
        }
        const ConsoleDims d = steps[i].size;
        const COORD buffer = {d.width, d.height};
        const SMALL_RECT rect = {0, 0, (SHORT)(d.width - 1), (SHORT)(d.height - 1)};
        if (!(steps[i].buffer ? SetConsoleScreenBufferSize(out, buffer) : SetConsoleWindowInfo(out, TRUE, &rect)))
            WriteLogF("The console's %s could not be made %d x %d (error %lu).", steps[i].buffer ? "buffer" : "window",
                      d.width, d.height, (unsigned long)GetLastError());
    }
}

// The whole screen copy into the console, sized like it first when resize is set.
static void PaintWholeConsole(int resize)
{
    EnterCriticalSection(&g_viewer.consoleLock);
    const ConsoleScreen *s = &g_console.screen;
    if (resize) {
        COORD size = {s->width, s->height};
        SizeConsole(g_console.output, size);
        g_shownWidth = s->width;
        g_shownHeight = s->height;
    }
    if (s->height > 0)
        WriteRows(0, s->height - 1);
    ApplyCursor(1, 1);
    LeaveCriticalSection(&g_viewer.consoleLock);
}

// --- UI thread: opening and closing ------------------------------------------------------

// Set at the very end of the viewer's orderly end; lives as long as the process.
static HANDLE ViewerEndedEvent(void)
{
    static HANDLE ended;
    if (!ended) {
        HANDLE e = CreateEventA(NULL, TRUE, FALSE, NULL);
        if (e && InterlockedCompareExchangePointer(&ended, e, NULL) != NULL)
            CloseHandle(e);
    }
    return ended;
}

void ConsoleViewerEnded(void)
{
    HANDLE e = ViewerEndedEvent();
    if (e)
        SetEvent(e);
}

BOOL WINAPI ConsoleCtrlHandler(DWORD type)
{
    // Ctrl+C and Ctrl+Break must never end the viewer. A close (the close item is gone
    // from the console's menu, but the task bar still offers one) ends the process as
    // soon as this returns, or 5 s after it came: the viewer closes in order meanwhile.
    if (type == CTRL_CLOSE_EVENT) {
        HANDLE ended = ViewerEndedEvent();
        HWND main = g_viewer.mainWindow;
        if (main && UiPost(main, WM_CLOSE, 0, 0) && ended)
            WaitForSingleObject(ended, kConsoleCloseWaitMs);
    }
    return type <= CTRL_CLOSE_EVENT;
}

struct TitleSearch {
    const char *title;
    HWND found;
};

static BOOL CALLBACK MatchTitle(HWND wnd, LPARAM lp)
{
    TitleSearch *ts = (TitleSearch *)lp;
    char text[1024];
    if (GetWindowTextA(wnd, text, sizeof(text)) && strcmp(text, ts->title) == 0) {
        ts->found = wnd;
        return FALSE;
    }
    return TRUE;
}

// Waits for h (NULL: ms only) while answering messages sent from other threads and
// programs, which would otherwise wait for the console host as long as the UI thread
// does; posted messages stay queued, so nothing of the viewer's own runs meanwhile.
static void WaitAnswering(HANDLE h, DWORD ms)
{
    const DWORD start = GetTickCount();
    const DWORD n = h ? 1 : 0;
    for (;;) {
        const DWORD gone = GetTickCount() - start;
        const DWORD left = ms == INFINITE ? INFINITE : gone >= ms ? 0 : ms - gone;
        if (MsgWaitForMultipleObjects(n, &h, FALSE, left, QS_SENDMESSAGE) != WAIT_OBJECT_0 + n)
            return;
        MSG m;
        PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

static HWND FindConsoleWindow(void)
{
    TitleSearch ts = {g_viewer.names.consoleTitle, NULL};
    DWORD start = GetTickCount();
    for (;;) {
        EnumWindows(MatchTitle, (LPARAM)&ts);
        if (ts.found)
            return ts.found;
        if (ConsoleWaitOver((uint32_t *)&start, GetTickCount(), kConsoleFindLimitMs))
            return NULL;
        WaitAnswering(NULL, 10); // the console host needs the CPU to make the window
    }
}

static DWORD WINAPI ConsoleInputThread(LPVOID)
{
    HANDLE waits[2] = {g_console.stopEvent, g_console.input};
    HWND main = g_viewer.mainWindow;
    int dropLogged = 0;
    for (;;) {
        // The stop event first: a stop wins over pending input.
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1)
            return 0;
        INPUT_RECORD r;
        DWORD n = 0;
        if (!ReadConsoleInputA(waits[1], &r, 1, &n))
            return 0;
        if (n != 1 || r.EventType != KEY_EVENT)
            continue;
        const KEY_EVENT_RECORD &k = r.Event.KeyEvent;
        const uint32_t flags = ConsoleKeyFlags(k.wRepeatCount, k.wVirtualScanCode, k.bKeyDown, k.dwControlKeyState);
        if (!UiPost(main, WM_CV_CONSOLE_KEY, k.wVirtualKeyCode, (LPARAM)flags) && !dropLogged) {
            WriteLogF("Console keys dropped: the viewer's queue is full (error %lu).", GetLastError());
            dropLogged = 1;
        }
    }
}

static HWND ViewerWindow(void)
{
    return g_desktop.fullScreen && g_desktop.fullScreenWindow ? g_desktop.fullScreenWindow : g_viewer.mainWindow;
}

static void ShowViewerAgain(void)
{
    HWND w = ViewerWindow();
    ShowWindow(w, SW_SHOW);
    SetForegroundWindow(w);
}

static void ReportConsoleFailure(UINT id, const char *detail)
{
    char format[512], text[1024];
    LoadLangString(id, format, sizeof(format));
    snprintf(text, sizeof(text), format, detail);
    ReportRepeatableFailure(g_viewer.mainWindow, text);
}

static void ReleaseConsoleHandles(void)
{
    ConsoleState *c = &g_console;
    if (c->stopEvent)
        CloseHandle(c->stopEvent);
    if (c->input)
        CloseHandle(c->input);
    if (c->output)
        CloseHandle(c->output);
    c->stopEvent = c->input = c->output = NULL;
}

// A console that got no window is given up at once: held without one, it could never
// be closed, and the hidden viewer window would never come back.
static void AbandonConsole(void)
{
    ReleaseConsoleHandles();
    SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE);
    FreeConsole();
}

static void LeaveConsoleFullScreen(void)
{
    ConsoleState *c = &g_console;
    if (!g_viewer.ntFamily || !c->getDisplayMode || !c->setDisplayMode)
        return;
    DWORD mode = 0;
    if (((GetDisplayModeFn)(void *)c->getDisplayMode)(&mode) && mode) {
        COORD ignored;
        ((SetDisplayModeFn)(void *)c->setDisplayMode)(c->output, 0, &ignored);
    }
}

struct ConsoleAlloc {
    BOOL ok;
    DWORD error;
};

static DWORD WINAPI AllocConsoleThread(LPVOID param)
{
    ConsoleAlloc *a = (ConsoleAlloc *)param;
    // A console left to the process (started from one) is let go first.
    a->ok = AllocConsole() || (FreeConsole() && AllocConsole());
    a->error = a->ok ? 0 : GetLastError();
    return 0;
}

// The console belongs to the process, so another thread may start its host, which
// takes a while, and the UI thread keeps answering meanwhile.
static BOOL AllocConsoleAnswering(void)
{
    ConsoleAlloc a = {FALSE, 0};
    DWORD id;
    HANDLE t = CreateThread(NULL, 0, AllocConsoleThread, &a, 0, &id);
    if (t) {
        WaitAnswering(t, INFINITE);
        CloseHandle(t);
    } else {
        AllocConsoleThread(&a);
    }
    SetLastError(a.error);
    return a.ok;
}

// The close box would end the process at once, with nothing saved and the management
// console not told.
static void RemoveCloseItem(HWND window)
{
    HMENU menu = GetSystemMenu(window, FALSE);
    if (!menu || !DeleteMenu(menu, SC_CLOSE, MF_BYCOMMAND))
        WriteLogF("The console's close item could not be removed (error %lu).", (unsigned long)GetLastError());
}

// Without the input thread the console shows but takes no keys: that is reported.
static void StartConsoleInput(void)
{
    ConsoleState *c = &g_console;
    c->stopEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    DWORD id;
    c->inputThread = c->stopEvent ? CreateThread(NULL, 0, ConsoleInputThread, NULL, 0, &id) : NULL;
    if (!c->inputThread) {
        char reason[256];
        SystemErrorText(reason, sizeof(reason));
        ReportConsoleFailure(IDS_CONSOLE_NO_KEYS, reason);
    }
}

HWND OpenConsole(void)
{
    ConsoleState *c = &g_console;
    if (c->window)
        CloseConsole(1);
    const DWORD t0 = GetTickCount();
    if (!AllocConsoleAnswering()) {
        char reason[256];
        SystemErrorText(reason, sizeof(reason));
        ReportConsoleFailure(IDS_CONSOLE_NOT_CREATED, reason);
        return NULL;
    }
    SetConsoleTitleA(g_viewer.names.consoleTitle);
    // Own handles: the standard ones could be replaced under us, and closing is ours.
    c->input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, 0, NULL);
    c->output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_EXISTING, 0, NULL);
    if (c->input == INVALID_HANDLE_VALUE)
        c->input = NULL;
    if (c->output == INVALID_HANDLE_VALUE)
        c->output = NULL;
    SetConsoleMode(c->input, ConsoleInputMode());
    SetConsoleMode(c->output, 0);
    ViewerEndedEvent(); // made now, not in the handler's few seconds
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    HWND window = FindConsoleWindow();
    if (!window || !c->input || !c->output) {
        AbandonConsole();
        ReportConsoleFailure(IDS_CONSOLE_NOT_FOUND, g_viewer.names.consoleTitle);
        return NULL;
    }
    c->window = window;
    RemoveCloseItem(window);
    g_cursorSize = 25;
    PaintWholeConsole(1);
    StartConsoleInput();
    c->pad = CreateButtonPad(window);
    ShowWindow(ViewerWindow(), SW_HIDE);
    LeaveConsoleFullScreen();
    BringWindowToTop(window);
    SetForegroundWindow(window);
    SetFocus(window);
    WriteLogF("Remote console of %d x %d opened in %lu ms.", g_console.screen.width, g_console.screen.height,
              (unsigned long)(GetTickCount() - t0));
    return window;
}

void CloseConsole(int showAgain)
{
    ConsoleState *c = &g_console;
    if (!c->window)
        return;
    if (c->inputThread) {
        SetEvent(c->stopEvent);
        WaitForSingleObject(c->inputThread, INFINITE);
        CloseHandle(c->inputThread);
        c->inputThread = NULL;
    }
    ReleaseConsoleHandles();
    if (c->pad)
        DestroyWindow(c->pad);
    c->pad = NULL;
    SetConsoleCtrlHandler(ConsoleCtrlHandler, FALSE);
    FreeConsole();
    c->window = NULL;
    g_shownWidth = g_shownHeight = 0;
    // Keys read before the stop belong to the console that is gone.
    MSG msg;
    while (PeekMessageA(&msg, g_viewer.mainWindow, WM_CV_CONSOLE_KEY, WM_CV_CONSOLE_KEY, PM_REMOVE))
        ;
    if (showAgain)
        ShowViewerAgain();
}

// --- UI thread: the notice -----------------------------------------------------------

enum { kConsoleOpenTimer = 0x7C10 };

static int g_reconciling, g_lookAgain;
static int g_openedOnce;
static ULONGLONG g_openedAt; // when the last console was opened

static VOID CALLBACK ConsoleOpenTimerProc(HWND, UINT, UINT_PTR, DWORD) { OnConsoleChanged(); }

// One look at what the Agent asked since the last: the console closed, opened, resized
// or written to as the latest state says. An open held back by the gap is looked at
// again by a timer, so the last state always shows in the end.
static void Reconcile(void)
{
    ConsoleState *c = &g_console;
    static ConsolePlan plan; // Reconcile is never re-entered
    const ULONGLONG now = GetTickCount64();
    const uint32_t since = !g_openedOnce                   ? UINT32_MAX
                           : now - g_openedAt > UINT32_MAX ? UINT32_MAX
                                                           : (uint32_t)(now - g_openedAt);
    EnterCriticalSection(&g_viewer.consoleLock);
    const int any =
        ConsoleTakePlan(&g_pending, c->window != NULL, g_shownWidth, g_shownHeight, &g_console.screen, since, &plan);
    if (any && c->window && !plan.close && !plan.whole) {
        int32_t from = 0, first, last;
        while (ConsoleNextRowRun(plan.rows, g_console.screen.height, &from, &first, &last))
            WriteRows(first, last);
        ApplyCursor(plan.moved, plan.reshape);
    }
    LeaveCriticalSection(&g_viewer.consoleLock);
    if (!any)
        return;
    if (plan.waitMs) {
        SetTimer(g_viewer.mainWindow, kConsoleOpenTimer, plan.waitMs, ConsoleOpenTimerProc);
        return;
    }
    if (plan.close)
        CloseConsole(1);
    if (plan.open) {
        if (!OpenConsole())
            ShowViewerAgain();
        g_openedAt = GetTickCount64();
        g_openedOnce = 1;
    }
    if (plan.whole)
        PaintWholeConsole(plan.resize);
}

void OnConsoleChanged(void)
{
    UiNoticeTaken(&g_notice);
    KillTimer(g_viewer.mainWindow, kConsoleOpenTimer);
    // A failure box pumps messages: a notice taken inside it is looked at after it.
    if (g_reconciling) {
        g_lookAgain = 1;
        return;
    }
    g_reconciling = 1;
    do {
        g_lookAgain = 0;
        Reconcile();
    } while (g_lookAgain);
    g_reconciling = 0;
}

int LookupConsoleDisplayMode(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ConsoleState *c = &g_console;
    c->getDisplayMode = kernel ? GetProcAddress(kernel, "GetConsoleDisplayMode") : NULL;
    c->setDisplayMode = kernel ? GetProcAddress(kernel, "SetConsoleDisplayMode") : NULL;
    return c->getDisplayMode && c->setDisplayMode;
}

void BringConsoleForward(HWND mainWindow)
{
    if (!IsWindowVisible(mainWindow)) {
        if (g_console.window) {
            BringWindowToTop(g_console.window);
            SetForegroundWindow(g_console.window);
        }
    } else if (IsIconic(mainWindow)) {
        ShowWindow(mainWindow, SW_RESTORE);
    }
}
