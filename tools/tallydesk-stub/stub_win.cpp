// tallydesk-stub: a stand-in for the management console. It owns the named link objects,
// logs every record a viewer leaves (one decoded line each), confirms it, and can set a
// viewer's termination event. Single-threaded: everything runs in its message loop.
//
//   tallydesk-stub.exe [LOG=path]        serve until STOP (default log: tallydesk.log)
//   tallydesk-stub.exe TERM=pid          set CVTERM:<pid> (decimal pid)
//   tallydesk-stub.exe TERMCLASS=class   the same for the process owning that window
//   tallydesk-stub.exe FIND=class        exit 0 when a window of that class exists
//   tallydesk-stub.exe STOP              close a running stand-in
#include <windows.h>

#include "shell/cmdline.h"
#include "shell/hex.h"
#include "shell/managerrecord.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static HANDLE g_map, g_done, g_mutex;
static BYTE *g_view;
static char g_logPath[MAX_PATH] = "tallydesk.log";

// Text fields as printable ASCII, so Windows-1251 bytes and quotes stay visible.
static void Escape(char *out, size_t cap, const char *in)
{
    size_t o = 0;
    for (const unsigned char *p = (const unsigned char *)in; *p && o + 5 < cap; p++) {
        if (*p < 0x20 || *p >= 0x7F || *p == '"' || *p == '\\')
            o += (size_t)snprintf(out + o, cap - o, "\\x%02X", *p);
        else
            out[o++] = (char)*p;
    }
    out[o] = 0;
}

static void AppendLine(const char *line)
{
    HANDLE f = CreateFileA(g_logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return;
    DWORD w;
    WriteFile(f, line, (DWORD)strlen(line), &w, NULL);
    WriteFile(f, "\n", 1, &w, NULL);
    CloseHandle(f);
}

static void LogRecord(DWORD pid, LPARAM kind)
{
    char line[4600];
    if (kind == 1) {
        ConnectionRecord r;
        DecodeConnectionRecord(g_view, kManagerMapSize, &r);
        char addr[16], node[13], pwd[18 * 4 + 1];
        if (r.protocol == 1)
            BytesToHex4(addr, r.address);
        else {
            uint32_t a;
            memcpy(&a, r.address, 4);
            FormatInetAddr(addr, a);
        }
        BytesToHex6(node, r.node);
        Escape(pwd, sizeof(pwd), r.password);
        snprintf(line, sizeof(line), "CONN pid=%lu state=%u protocol=%u address=%s node=%s pwdflag=%u password=\"%s\"",
                 (unsigned long)pid, r.state, r.protocol, addr, node, r.passwordReturned, pwd);
    } else {
        MessageRecord r;
        if (!DecodeMessageRecord(g_view, kManagerMapSize, &r)) {
            snprintf(line, sizeof(line), "BAD pid=%lu kind=%ld", (unsigned long)pid, (long)kind);
        } else {
            char caption[kMessageCaptionSize * 4 + 1], text[(kMessageTextMax + 1) * 4 + 1];
            Escape(caption, sizeof(caption), r.caption);
            Escape(text, sizeof(text), r.text);
            snprintf(line, sizeof(line), "MSG pid=%lu startup=%u caption=\"%s\" text=\"%s\"", (unsigned long)pid,
                     r.startupFlag, caption, text);
        }
    }
    AppendLine(line);
}

static LRESULT CALLBACK StubWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case kManagerNotifyMessage:
        // Copy first, then confirm: the viewer may overwrite the memory after that.
        LogRecord((DWORD)wp, lp);
        SetEvent(g_done);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

static int SetTermEvent(DWORD pid)
{
    char name[32];
    snprintf(name, sizeof(name), CORVID_TERM_EVENT_FORMAT, (unsigned)pid);
    HANDLE e = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
    if (!e) {
        fprintf(stderr, "no event %s\n", name);
        return 1;
    }
    int ok = SetEvent(e) != 0;
    CloseHandle(e);
    return ok ? 0 : 1;
}

static int Serve(HINSTANCE instance)
{
    g_map = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kManagerMapSize, CORVID_MANAGER_MAP_NAME);
    g_view = g_map ? (BYTE *)MapViewOfFile(g_map, FILE_MAP_ALL_ACCESS, 0, 0, 0) : NULL;
    g_done = CreateEventA(NULL, FALSE, FALSE, CORVID_MANAGER_DONE_EVENT);
    g_mutex = CreateMutexA(NULL, FALSE, CORVID_MANAGER_MUTEX_NAME);
    if (!g_view || !g_done || !g_mutex)
        return 2;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StubWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = CORVID_MANAGER_WINDOW_CLASS;
    if (!RegisterClassA(&wc))
        return 3;
    // A hidden top-level window: viewers find it with FindWindow, which skips
    // message-only windows.
    HWND wnd = CreateWindowExA(0, CORVID_MANAGER_WINDOW_CLASS, "TallyDesk stand-in", WS_OVERLAPPED, 0, 0, 100, 100,
                               NULL, NULL, instance, NULL);
    if (!wnd)
        return 4;
    char line[64];
    snprintf(line, sizeof(line), "READY pid=%lu", (unsigned long)GetCurrentProcessId());
    AppendLine(line);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    AppendLine("STOPPED");
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmd, int)
{
    char *tokens[8];
    int n = SplitCommandLine(cmd, tokens, 8);
    for (int i = 0; i < n; i++) {
        if (strncmp(tokens[i], "LOG=", 4) == 0)
            snprintf(g_logPath, sizeof(g_logPath), "%s", tokens[i] + 4);
        else if (strncmp(tokens[i], "TERM=", 5) == 0)
            return SetTermEvent((DWORD)strtoul(tokens[i] + 5, NULL, 10));
        else if (strncmp(tokens[i], "TERMCLASS=", 10) == 0) {
            HWND w = FindWindowA(tokens[i] + 10, NULL);
            DWORD pid = 0;
            if (!w || !GetWindowThreadProcessId(w, &pid))
                return 1;
            return SetTermEvent(pid);
        } else if (strncmp(tokens[i], "FIND=", 5) == 0) {
            return FindWindowA(tokens[i] + 5, NULL) ? 0 : 1;
        } else if (strcmp(tokens[i], "STOP") == 0) {
            HWND w = FindWindowA(CORVID_MANAGER_WINDOW_CLASS, NULL);
            if (w)
                PostMessageA(w, WM_CLOSE, 0, 0);
            return w ? 0 : 1;
        }
    }
    return Serve(instance);
}
