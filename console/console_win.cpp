// The local console: the receive thread stores what the Agent sends in ConsoleScreen
// and posts; the UI thread owns the console, its handles and all its output; the input
// thread reads key records and posts them to the main window, so that it never waits
// for the UI thread, which waits for it when the console closes.
#include "console/console_win.h"

#include "console/rules.h"
#include "console/screenbuf.h"
#include "desktop/input_win.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/report_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/syserror_win.h"

#include <cstdio>
#include <cstring>

static_assert(sizeof(ConsoleCell) == sizeof(CHAR_INFO), "cells are handed to the console as CHAR_INFO");
static_assert(offsetof(ConsoleScreen, cursorVisible) == offsetof(ConsoleScreen, cursorSize) + 4,
              "size and visibility form a CONSOLE_CURSOR_INFO");

typedef BOOL(WINAPI *GetDisplayModeFn)(LPDWORD);
typedef BOOL(WINAPI *SetDisplayModeFn)(HANDLE, DWORD, PCOORD);

// --- receive thread -----------------------------------------------------------------

static void RefuseConsolePacket(const SessPacketHeader *h, const char *why)
{
    WriteLogF("Console packet type %u of %u bytes refused: %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen, why);
}

int HandleConsolePacket(const SessPacketHeader *h, const BYTE *payload)
{
    const char *why = "";
    HWND main = g_viewer.mainWindow;
    switch (h->dwType) {
    case PKT_CONSOLE_STOP:
        PostMessageA(main, WM_CV_CONSOLE_STOP, 0, 0);
        return 1;
    case PKT_CONSOLE_START: {
        ConsoleStart s;
        if (!ParseConsoleStart(h, payload, &s, &why)) {
            RefuseConsolePacket(h, why);
            return 1;
        }
        EnterCriticalSection(&g_viewer.consoleLock);
        ConsoleStoreStart(&g_viewer.consoleScreen, &s);
        LeaveCriticalSection(&g_viewer.consoleLock);
        PostMessageA(main, WM_CV_CONSOLE_START, 0, 0);
        return 1;
    }
    case PKT_CONSOLE_CURSOR: {
        ConsoleCursor c;
        int moved = 0, reshape = 0, ok = ParseConsoleCursor(h, payload, &c, &why);
        if (ok) {
            EnterCriticalSection(&g_viewer.consoleLock);
            ok = ConsoleStoreCursor(&g_viewer.consoleScreen, &c, &moved, &reshape, &why);
            LeaveCriticalSection(&g_viewer.consoleLock);
        }
        if (!ok)
            RefuseConsolePacket(h, why);
        else
            PostMessageA(main, WM_CV_CONSOLE_CURSOR, (WPARAM)moved, (LPARAM)reshape);
        return 1;
    }
    case PKT_CONSOLE_LINE: {
        ConsoleLine l;
        int ok = ParseConsoleLine(h, payload, &l, &why);
        if (ok) {
            EnterCriticalSection(&g_viewer.consoleLock);
            ok = ConsoleStoreLine(&g_viewer.consoleScreen, &l, &why);
            LeaveCriticalSection(&g_viewer.consoleLock);
        }
        if (!ok)
            RefuseConsolePacket(h, why);
        else
            PostMessageA(main, WM_CV_CONSOLE_LINE, (WPARAM)(INT_PTR)l.row, 0);
        return 1;
    }
    }
    return 1;
}

// --- UI thread: output ----------------------------------------------------------------

// Rows first..last of the screen copy into the console; ConsoleLock is held.
static void WriteRows(int first, int last)
{
    const ConsoleScreen *s = &g_viewer.consoleScreen;
    COORD size = {s->width, s->height};
    COORD from = {0, (SHORT)first};
    SMALL_RECT to = {0, (SHORT)first, (SHORT)(s->width - 1), (SHORT)last};
    WriteConsoleOutputA(g_viewer.console.output, (const CHAR_INFO *)s->cells, size, from, &to);
}

void OnConsoleCursor(int moved, int reshape)
{
    if (!g_viewer.console.window)
        return;
    EnterCriticalSection(&g_viewer.consoleLock);
    const ConsoleScreen *s = &g_viewer.consoleScreen;
    if (moved) {
        COORD at = {s->cursorX, s->cursorY};
        SetConsoleCursorPosition(g_viewer.console.output, at);
    }
    if (reshape)
        SetConsoleCursorInfo(g_viewer.console.output, (const CONSOLE_CURSOR_INFO *)&s->cursorSize);
    LeaveCriticalSection(&g_viewer.consoleLock);
}

void OnConsoleLine(int row)
{
    if (!g_viewer.console.window)
        return;
    EnterCriticalSection(&g_viewer.consoleLock);
    // A later start may have changed the geometry since the row was stored.
    if (ConsoleRowInside(&g_viewer.consoleScreen, row))
        WriteRows(row, row);
    LeaveCriticalSection(&g_viewer.consoleLock);
}

void OnConsoleKey(UINT vk, UINT flags)
{
    if (g_viewer.controlMode)
        ForwardConsoleKey(vk, flags);
}

// Buffer and window of the console sized like the remote one; the window is shrunk
// first since a buffer may not be smaller than its window.
static void SizeConsole(HANDLE out, COORD size)
{
    SMALL_RECT one = {0, 0, 0, 0};
    SetConsoleWindowInfo(out, TRUE, &one);
    SetConsoleScreenBufferSize(out, size);
    SMALL_RECT all = {0, 0, (SHORT)(size.X - 1), (SHORT)(size.Y - 1)};
    SetConsoleWindowInfo(out, TRUE, &all);
}

static void PaintWholeConsole(void)
{
    EnterCriticalSection(&g_viewer.consoleLock);
    const ConsoleScreen *s = &g_viewer.consoleScreen;
    COORD size = {s->width, s->height};
    SizeConsole(g_viewer.console.output, size);
    SetConsoleCursorInfo(g_viewer.console.output, (const CONSOLE_CURSOR_INFO *)&s->cursorSize);
    COORD at = {s->cursorX, s->cursorY};
    SetConsoleCursorPosition(g_viewer.console.output, at);
    if (s->height > 0)
        WriteRows(0, s->height - 1);
    LeaveCriticalSection(&g_viewer.consoleLock);
}

// --- UI thread: opening and closing ------------------------------------------------------

static BOOL WINAPI ConsoleCtrlHandler(DWORD type)
{
    // Ctrl+C, Ctrl+Break and the console's close box must never end the viewer.
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
        Sleep(10); // the console host needs the CPU to make the window
    }
}

static DWORD WINAPI ConsoleInputThread(LPVOID)
{
    HANDLE waits[2] = {g_viewer.console.stopEvent, g_viewer.console.input};
    HWND main = g_viewer.mainWindow;
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
        PostMessageA(main, WM_CV_CONSOLE_KEY, k.wVirtualKeyCode, (LPARAM)flags);
    }
}

static HWND ViewerWindow(void)
{
    return g_viewer.fullScreen && g_viewer.fullScreenWindow ? g_viewer.fullScreenWindow : g_viewer.mainWindow;
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
    ReportFailure(g_viewer.mainWindow, text);
}

static void ReleaseConsoleHandles(void)
{
    ConsoleSession *c = &g_viewer.console;
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
    ConsoleSession *c = &g_viewer.console;
    if (!g_viewer.ntFamily || !c->getDisplayMode || !c->setDisplayMode)
        return;
    DWORD mode = 0;
    if (((GetDisplayModeFn)(void *)c->getDisplayMode)(&mode) && mode) {
        COORD ignored;
        ((SetDisplayModeFn)(void *)c->setDisplayMode)(c->output, 0, &ignored);
    }
}

HWND OpenConsole(void)
{
    ConsoleSession *c = &g_viewer.console;
    if (c->window)
        CloseConsole(1);
    const DWORD t0 = GetTickCount();
    // A console left to the process (started from one) is let go first.
    if (!AllocConsole() && !(FreeConsole() && AllocConsole())) {
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
    SetConsoleMode(c->input, ENABLE_WINDOW_INPUT);
    SetConsoleMode(c->output, 0);
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    HWND window = FindConsoleWindow();
    if (!window || !c->input || !c->output) {
        AbandonConsole();
        ReportConsoleFailure(IDS_CONSOLE_NOT_FOUND, g_viewer.names.consoleTitle);
        return NULL;
    }
    c->window = window;
    PaintWholeConsole();
    c->stopEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    DWORD id;
    c->inputThread = c->stopEvent ? CreateThread(NULL, 0, ConsoleInputThread, NULL, 0, &id) : NULL;
    c->pad = CreateButtonPad(window);
    ShowWindow(ViewerWindow(), SW_HIDE);
    LeaveConsoleFullScreen();
    BringWindowToTop(window);
    SetForegroundWindow(window);
    SetFocus(window);
    WriteLogF("Remote console of %d x %d opened in %lu ms.", g_viewer.consoleScreen.width,
              g_viewer.consoleScreen.height, (unsigned long)(GetTickCount() - t0));
    return window;
}

void CloseConsole(int showAgain)
{
    ConsoleSession *c = &g_viewer.console;
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
    // Keys read before the stop belong to the console that is gone.
    MSG msg;
    while (PeekMessageA(&msg, g_viewer.mainWindow, WM_CV_CONSOLE_KEY, WM_CV_CONSOLE_KEY, PM_REMOVE))
        ;
    if (showAgain)
        ShowViewerAgain();
}

void OnConsoleStart(void)
{
    if (!OpenConsole())
        ShowViewerAgain();
}

void OnConsoleStop(void)
{
    CloseConsole(1);
}

int LookupConsoleDisplayMode(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    ConsoleSession *c = &g_viewer.console;
    c->getDisplayMode = kernel ? GetProcAddress(kernel, "GetConsoleDisplayMode") : NULL;
    c->setDisplayMode = kernel ? GetProcAddress(kernel, "SetConsoleDisplayMode") : NULL;
    return c->getDisplayMode && c->setDisplayMode;
}

void BringConsoleForward(HWND mainWindow)
{
    if (!IsWindowVisible(mainWindow)) {
        if (g_viewer.console.window) {
            BringWindowToTop(g_viewer.console.window);
            SetForegroundWindow(g_viewer.console.window);
        }
    } else if (IsIconic(mainWindow)) {
        ShowWindow(mainWindow, SW_RESTORE);
    }
}
