// tallydesk-stub: a stand-in for the management console. It owns the named link objects,
// logs every record a viewer leaves (one decoded line each), confirms it, and can set a
// viewer's termination event. Single-threaded: everything runs in its message loop.
//
//   tallydesk-stub.exe [LOG=path]        serve until STOP (default log: tallydesk.log)
//   tallydesk-stub.exe TERM=pid          set CVTERM:<pid> (decimal pid)
//   tallydesk-stub.exe TERMCLASS=class   the same for the process owning that window
//   tallydesk-stub.exe FIND=class        exit 0 when a window of that class exists
//   tallydesk-stub.exe PROBE=class|count|ms OUT=f   count times, ms apart, time how long
//                                        that window takes to answer a sent WM_NULL; one
//                                        line each into f: milliseconds, or "timeout"
//                                        after 10 s ("gone" once the window is)
//   tallydesk-stub.exe STATE=class OUT=f  write the menu and toolbar state of commands
//                                        40001..40060 of that window into f
//   tallydesk-stub.exe DIALOG=class|id[|text]   in the dialog shown by the viewer whose
//                                        main window has that class: set control id's
//                                        text, or without text click it
//   tallydesk-stub.exe TEXT=class|id OUT=f   write the text of control id of that dialog
//                                        into f, in UTF-8
//   tallydesk-stub.exe POST=class|msg|wparam|lparam[|count]   post a message to that
//                                        window, count times (class>child: to its first
//                                        visible descendant of class child)
//   tallydesk-stub.exe RECT=class|child OUT=f   write the screen rectangle of the first
//                                        descendant of class child ("left top right bottom");
//                                        with child empty, of the window itself
//   tallydesk-stub.exe PICK=class|id|index   select line index of list box id of that
//                                        dialog, as a click would (LBN_SELCHANGE)
//   tallydesk-stub.exe CHARS=class|id|text   type text into control id of that dialog
//   tallydesk-stub.exe PAGE=class|index   turn that dialog (a property sheet) to a page
//   tallydesk-stub.exe CONTROL=class|id OUT=f   write "enabled checked class", then a list
//                                        box's lines, one each, in UTF-8
//   A control id of a dialog is looked for in the dialog itself, then among its visible
//   descendants (the controls of a property sheet's page).
//   tallydesk-stub.exe CONSOLE=class OUT=f   attach to the console of the viewer whose main
//                                        window has that class and write its title, the
//                                        console window's rectangle, buffer size, cursor,
//                                        then each row as "text|attributes in hex"
//   tallydesk-stub.exe MOVECONSOLE=class|x|y   move that viewer's console window
//   tallydesk-stub.exe FTLIST=class|panel OUT=f   write that viewer's file-transfer panel
//                                        (0 local, 1 remote): its path, then its items
//   tallydesk-stub.exe FTKEY=class|panel|control|vk[|char[|text]]   post a key (and set a
//                                        text first) to a control of that panel
//   tallydesk-stub.exe FTLABEL=class|panel|text   type text into the label being edited in
//                                        that panel's list and end the edit with Enter
//                                        (exit 1 when no label is being edited)
//   tallydesk-stub.exe FTFOCUS=class OUT=f   write which panel's control holds the focus
//                                        in that viewer's file-transfer window, and where
//                                        the panels' captions are
//   tallydesk-stub.exe FTTIME=class|command|panel OUT=f   send that window a command,
//                                        have the panel painted, write the milliseconds
//                                        it took and the list's item count
//   tallydesk-stub.exe MODULE=class|name OUT=f   write the path of the module name (such
//                                        as comctl32.dll) loaded by the process owning
//                                        that window (exit 1 when it has none)
//   tallydesk-stub.exe STOP              close a running stand-in
//   tallydesk-stub.exe REGSET=name|value  set a DWORD in the viewer's settings key
//   tallydesk-stub.exe REGDEL            delete the viewer's settings key
//   tallydesk-stub.exe SERVE             run the commands above from standard input,
//                                        one line each, answering each exit code on a line
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <psapi.h>

#include "shell/cmdline.h"
#include "shell/hex.h"
#include "shell/managerrecord.h"
#include "tools/tallydesk-stub/ftpanel_win.h"

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

static void MenuFlags(char *out, size_t cap, HMENU menu, UINT id)
{
    UINT st = menu ? GetMenuState(menu, id, MF_BYCOMMAND) : (UINT)-1;
    if (st == (UINT)-1)
        snprintf(out, cap, "none");
    else
        snprintf(out, cap, "%s%s", (st & (MF_GRAYED | MF_DISABLED)) ? "grey" : "on",
                 (st & MF_CHECKED) ? ",checked" : "");
}

// Reads another process's command states: menus and toolbar messages work across
// processes, so the viewer needs no test hook.
static int DumpState(const char *windowClass, const char *outPath)
{
    HWND w = FindWindowA(windowClass, NULL);
    if (!w)
        return 1;
    HMENU menu = GetMenu(w);
    HWND tb = FindWindowExA(w, NULL, "ToolbarWindow32", NULL);
    HANDLE f = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 1;
    for (UINT id = 40001; id <= 40060; id++) {
        char m[32], t[32] = "none", line[96];
        MenuFlags(m, sizeof(m), menu, id);
        LRESULT ts = tb ? SendMessageA(tb, TB_GETSTATE, id, 0) : -1;
        if (ts != -1)
            snprintf(t, sizeof(t), "%s%s",
                     (ts & TBSTATE_ENABLED) ? "on" : ((ts & TBSTATE_INDETERMINATE) ? "grey" : "off"),
                     (ts & TBSTATE_CHECKED) ? ",checked" : "");
        if (strcmp(m, "none") == 0 && strcmp(t, "none") == 0)
            continue;
        int n = snprintf(line, sizeof(line), "%u menu=%s toolbar=%s\n", id, m, t);
        DWORD written;
        WriteFile(f, line, (DWORD)n, &written, NULL);
    }
    CloseHandle(f);
    return 0;
}

struct DialogSearch {
    DWORD pid;
    int id; // 0: any dialog; else the first that holds a control of this id
    HWND found;
};

static HWND DialogItem(HWND dlg, int id);

static BOOL CALLBACK FindDialogOf(HWND w, LPARAM lp)
{
    DialogSearch *ds = (DialogSearch *)lp;
    char cls[16];
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == ds->pid && IsWindowVisible(w) && GetClassNameA(w, cls, sizeof(cls)) && strcmp(cls, "#32770") == 0 &&
        (!ds->id || DialogItem(w, ds->id))) {
        ds->found = w;
        return FALSE;
    }
    return TRUE;
}

// The topmost dialog shown by the viewer whose main window has class cls; with id, the
// topmost one holding that control. Two may show at once (a worker's box beside the
// copy's progress), and which of them is on top can change between two looks.
static HWND ViewerDialog(const char *cls, int id = 0)
{
    HWND main = FindWindowA(cls, NULL);
    DialogSearch ds = {0, id, NULL};
    if (!main || !GetWindowThreadProcessId(main, &ds.pid))
        return NULL;
    EnumWindows(FindDialogOf, (LPARAM)&ds);
    return ds.found;
}

struct IdSearch {
    int id;
    HWND found;
};

static BOOL CALLBACK FindVisibleId(HWND w, LPARAM lp)
{
    IdSearch *is = (IdSearch *)lp;
    if (GetDlgCtrlID(w) == is->id && IsWindowVisible(w)) {
        is->found = w;
        return FALSE;
    }
    return TRUE;
}

static HWND DialogItem(HWND dlg, int id)
{
    HWND direct = GetDlgItem(dlg, id);
    if (direct)
        return direct;
    IdSearch is = {id, NULL};
    EnumChildWindows(dlg, FindVisibleId, (LPARAM)&is);
    return is.found;
}

// Control id of the dialog shown by the viewer whose main window has class cls.
static HWND DialogControl(const char *cls, const char *id)
{
    HWND dlg = ViewerDialog(cls, atoi(id));
    return dlg ? DialogItem(dlg, atoi(id)) : NULL;
}

// "class|id|rest": splits off the rest (NULL when missing) and finds the control.
static HWND SpecControl(char *spec, char **rest)
{
    char *bar = strchr(spec, '|');
    if (!bar)
        return NULL;
    *bar = 0;
    char *id = bar + 1;
    *rest = NULL;
    bar = strchr(id, '|');
    if (bar) {
        *bar = 0;
        *rest = bar + 1;
    }
    return DialogControl(spec, id);
}

static int PickListLine(char *spec)
{
    char *index;
    HWND list = SpecControl(spec, &index);
    if (!list || !index)
        return 1;
    const int i = atoi(index);
    if (SendMessageA(list, LB_SETCURSEL, (WPARAM)i, 0) != i)
        return 1;
    PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE), (LPARAM)list);
    return 0;
}

static int TypeChars(char *spec)
{
    char *text;
    HWND control = SpecControl(spec, &text);
    if (!control || !text)
        return 1;
    for (const char *c = text; *c; c++)
        PostMessageA(control, WM_CHAR, (WPARAM)(BYTE)*c, 1);
    return 0;
}

static int TurnPage(char *spec)
{
    char *bar = strchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    HWND sheet = ViewerDialog(spec);
    return sheet && PostMessageA(sheet, PSM_SETCURSEL, (WPARAM)atoi(bar + 1), 0) ? 0 : 1;
}

static void WriteUtf8Line(HANDLE f, const WCHAR *wide)
{
    char utf8[1024];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8) - 1, NULL, NULL);
    if (n <= 0)
        n = 1;
    utf8[n - 1] = '\n';
    DWORD written;
    WriteFile(f, utf8, (DWORD)n, &written, NULL);
}

static int DescribeControl(char *spec, const char *outPath)
{
    char *rest;
    HWND control = SpecControl(spec, &rest);
    if (!control)
        return 1;
    HANDLE f = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    WCHAR line[512];
    char cls[32] = "";
    GetClassNameA(control, cls, sizeof(cls));
    _snwprintf(line, 512, L"%d %d %hs", IsWindowEnabled(control) ? 1 : 0, (int)SendMessageA(control, BM_GETCHECK, 0, 0),
               cls);
    line[511] = 0;
    WriteUtf8Line(f, line);
    if (lstrcmpiA(cls, "ListBox") == 0) {
        const int count = (int)SendMessageW(control, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < count; i++) {
            if (SendMessageW(control, LB_GETTEXTLEN, (WPARAM)i, 0) >= 511)
                continue;
            line[0] = 0;
            SendMessageW(control, LB_GETTEXT, (WPARAM)i, (LPARAM)line);
            WriteUtf8Line(f, line);
        }
    }
    CloseHandle(f);
    return 0;
}

// "class|id[|text]": fields split on '|', since tokens cannot hold blanks.
static int DriveDialog(char *spec)
{
    char *fields[3] = {spec, NULL, NULL};
    for (int k = 1; k < 3; k++) {
        char *bar = fields[k - 1] ? strchr(fields[k - 1], '|') : NULL;
        if (!bar)
            break;
        *bar = 0;
        fields[k] = bar + 1;
    }
    if (!fields[1])
        return 2;
    HWND control = DialogControl(fields[0], fields[1]);
    if (!control)
        return 1;
    if (fields[2])
        return SendMessageA(control, WM_SETTEXT, 0, (LPARAM)fields[2]) ? 0 : 1;
    PostMessageA(control, BM_CLICK, 0, 0);
    return 0;
}

// "class|id": the control's text as the viewer shows it. WM_GETTEXT is marshalled
// across processes, where GetWindowText would only see a caption.
static int ReadControlText(char *spec, const char *outPath)
{
    char *bar = strchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    HWND control = DialogControl(spec, bar + 1);
    if (!control)
        return 1;
    WCHAR wide[2048];
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, sizeof(wide) / sizeof(wide[0]), (LPARAM)wide, SMTO_ABORTIFHUNG, 5000,
                             &got))
        return 1;
    wide[got < sizeof(wide) / sizeof(wide[0]) ? got : 0] = 0;
    char utf8[sizeof(wide) * 2];
    int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8), NULL, NULL);
    HANDLE f = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (n <= 0 || f == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written;
    WriteFile(f, utf8, (DWORD)n - 1, &written, NULL);
    CloseHandle(f);
    return 0;
}

static HWND FindDescendant(HWND main, const char *cls);

static int PostToWindow(char *spec)
{
    char *f[4] = {spec, NULL, NULL, NULL};
    for (int k = 1; k < 4; k++) {
        char *bar = f[k - 1] ? strchr(f[k - 1], '|') : NULL;
        if (!bar)
            return 2;
        *bar = 0;
        f[k] = bar + 1;
    }
    char *child = strchr(f[0], '>');
    if (child)
        *child++ = 0;
    unsigned long count = 1;
    char *bar = strchr(f[3], '|');
    if (bar) {
        *bar = 0;
        count = strtoul(bar + 1, NULL, 0);
    }
    HWND w = FindWindowA(f[0], NULL);
    if (w && child)
        w = FindDescendant(w, child);
    if (!w)
        return 1;
    for (unsigned long i = 0; i < count; i++)
        if (!PostMessageA(w, (UINT)strtoul(f[1], NULL, 0), (WPARAM)strtoull(f[2], NULL, 0),
                          (LPARAM)strtoull(f[3], NULL, 0)))
            return 1;
    return 0;
}

struct ChildSearch {
    const char *cls;
    HWND found;
};

static BOOL CALLBACK FindChildOfClass(HWND w, LPARAM lp)
{
    ChildSearch *cs = (ChildSearch *)lp;
    char cls[64];
    if (GetClassNameA(w, cls, sizeof(cls)) && strcmp(cls, cs->cls) == 0 && IsWindowVisible(w)) {
        cs->found = w;
        return FALSE;
    }
    return TRUE;
}

static HWND FindDescendant(HWND main, const char *cls)
{
    ChildSearch cs = {cls, NULL};
    EnumChildWindows(main, FindChildOfClass, (LPARAM)&cs);
    return cs.found;
}

// Writes "left top right bottom", or "none" when there is no such window, so that a
// caller can tell a missing window from a stand-in that did not run.
static int WriteChildRect(char *spec, const char *outPath)
{
    char *bar = strchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    HWND main = FindWindowA(spec, NULL);
    ChildSearch cs = {bar + 1, NULL};
    if (main && !bar[1])
        cs.found = IsWindowVisible(main) ? main : NULL;
    else if (main)
        EnumChildWindows(main, FindChildOfClass, (LPARAM)&cs);
    RECT r;
    const int found = cs.found && GetWindowRect(cs.found, &r);
    char line[96];
    int n = found ? snprintf(line, sizeof(line), "%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom)
                  : snprintf(line, sizeof(line), "none\n");
    HANDLE f = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written;
    WriteFile(f, line, (DWORD)n, &written, NULL);
    CloseHandle(f);
    return found ? 0 : 1;
}

static int WriteText(const char *outPath, const char *text, size_t n)
{
    HANDLE f = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written;
    WriteFile(f, text, (DWORD)n, &written, NULL);
    CloseHandle(f);
    return 0;
}

// The side-by-side assembly a program's manifest chose shows in the path of the module.
static int WriteModulePath(char *spec, const char *outPath)
{
    char *bar = strchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    HWND w = FindWindowA(spec, NULL);
    DWORD pid = 0;
    HANDLE process = w && GetWindowThreadProcessId(w, &pid)
                         ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid)
                         : NULL;
    if (!process)
        return 1;
    HMODULE modules[512];
    DWORD bytes = 0;
    char path[MAX_PATH] = "";
    if (EnumProcessModules(process, modules, sizeof(modules), &bytes)) {
        const DWORD count = bytes / sizeof(HMODULE) < 512 ? bytes / sizeof(HMODULE) : 512;
        for (DWORD i = 0; i < count && !path[0]; i++) {
            char name[MAX_PATH];
            if (GetModuleBaseNameA(process, modules[i], name, sizeof(name)) && lstrcmpiA(name, bar + 1) == 0)
                GetModuleFileNameExA(process, modules[i], path, sizeof(path));
        }
    }
    CloseHandle(process);
    if (!path[0])
        return 1;
    return WriteText(outPath, path, strlen(path));
}

// Attaches to the console of the viewer whose main window has that class.
static int AttachViewerConsole(const char *windowClass)
{
    HWND main = FindWindowA(windowClass, NULL);
    DWORD pid = 0;
    if (!main || !GetWindowThreadProcessId(main, &pid))
        return 0;
    FreeConsole();
    return AttachConsole(pid) != 0;
}

// Reads the viewer's console from outside, as an operator's eyes would.
static int DumpConsole(const char *windowClass, const char *outPath)
{
    if (!AttachViewerConsole(windowClass))
        return 1;
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_EXISTING, 0, NULL);
    CONSOLE_SCREEN_BUFFER_INFO info;
    CONSOLE_CURSOR_INFO cursor;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(out, &info) || !GetConsoleCursorInfo(out, &cursor))
        return 1;
    static char text[1 << 20];
    size_t n = 0;
    char title[1024] = "";
    GetConsoleTitleA(title, sizeof(title));
    RECT r = {};
    GetWindowRect(GetConsoleWindow(), &r);
    n += (size_t)snprintf(text + n, sizeof(text) - n,
                          "title %s\nwindow %ld %ld %ld %ld\nsize %d %d\ncursor %d %d %lu %d\n", title, r.left, r.top,
                          r.right, r.bottom, info.dwSize.X, info.dwSize.Y, info.dwCursorPosition.X,
                          info.dwCursorPosition.Y, (unsigned long)cursor.dwSize, cursor.bVisible ? 1 : 0);
    for (SHORT y = 0; y < info.dwSize.Y && n + 8 * info.dwSize.X + 8 < sizeof(text); y++) {
        char row[1024];
        WORD attrs[1024];
        DWORD got = 0, gotAttrs = 0;
        const DWORD width = info.dwSize.X < 1024 ? (DWORD)info.dwSize.X : 1024;
        COORD at = {0, y};
        ReadConsoleOutputCharacterA(out, row, width, at, &got);
        ReadConsoleOutputAttribute(out, attrs, width, at, &gotAttrs);
        memcpy(text + n, row, got);
        n += got;
        text[n++] = '|';
        for (DWORD i = 0; i < gotAttrs; i++)
            n += (size_t)snprintf(text + n, sizeof(text) - n, "%04x", attrs[i]);
        text[n++] = '\n';
    }
    CloseHandle(out);
    FreeConsole();
    return WriteText(outPath, text, n);
}

static int MoveConsole(char *spec)
{
    char *bar = strrchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    const int y = atoi(bar + 1);
    bar = strrchr(spec, '|');
    if (!bar)
        return 2;
    *bar = 0;
    const int x = atoi(bar + 1);
    HWND w = AttachViewerConsole(spec) ? GetConsoleWindow() : NULL;
    return w && SetWindowPos(w, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) ? 0 : 1;
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

// Each line is written and flushed at once: the case reads them while the probe runs.
static int ProbeWindow(char *arg, const char *out)
{
    char *f[3] = {arg, NULL, NULL};
    for (int k = 1; k < 3; k++) {
        char *bar = strchr(f[k - 1], '|');
        if (!bar)
            return 2;
        *bar = 0;
        f[k] = bar + 1;
    }
    const int count = atoi(f[1]), gap = atoi(f[2]);
    FILE *o = fopen(out, "w");
    if (!o)
        return 2;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    for (int i = 0; i < count; i++) {
        HWND w = FindWindowA(f[0], NULL);
        if (!w) {
            fprintf(o, "gone\n");
            fflush(o);
            break;
        }
        LARGE_INTEGER a, b;
        DWORD_PTR result;
        QueryPerformanceCounter(&a);
        const LRESULT answered = SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        QueryPerformanceCounter(&b);
        if (answered)
            fprintf(o, "%.2f\n", (double)(b.QuadPart - a.QuadPart) * 1000.0 / (double)freq.QuadPart);
        else
            fprintf(o, "timeout\n");
        fflush(o);
        Sleep((DWORD)gap);
    }
    fclose(o);
    return 0;
}

// The OUT= token's path, or the command's own default.
static const char *OutPath(char **tokens, int n, const char *fallback)
{
    for (int k = 0; k < n; k++)
        if (strncmp(tokens[k], "OUT=", 4) == 0)
            return tokens[k] + 4;
    return fallback;
}

// The viewer's settings key, written directly: a case sets its defaults with one
// program start instead of one reg.exe per value.
static const char kSettingsKey[] = "Software\\Vantor\\Corvids";

static int SetSetting(char *arg)
{
    char *bar = strchr(arg, '|');
    if (!bar)
        return 2;
    *bar = 0;
    const DWORD value = (DWORD)strtoul(bar + 1, NULL, 0);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 1;
    const LONG rc = RegSetValueExA(key, arg, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

static int DeleteSettings()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    const LONG rc = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

// One command of the list above; -1 when the tokens hold none (serve as the console).
static int RunCommand(char **tokens, int n)
{
    for (int i = 0; i < n; i++) {
        if (strncmp(tokens[i], "LOG=", 4) == 0)
            snprintf(g_logPath, sizeof(g_logPath), "%s", tokens[i] + 4);
        else if (strncmp(tokens[i], "REGSET=", 7) == 0)
            return SetSetting(tokens[i] + 7);
        else if (strcmp(tokens[i], "REGDEL") == 0)
            return DeleteSettings();
        else if (strncmp(tokens[i], "TERM=", 5) == 0)
            return SetTermEvent((DWORD)strtoul(tokens[i] + 5, NULL, 10));
        else if (strncmp(tokens[i], "TERMCLASS=", 10) == 0) {
            HWND w = FindWindowA(tokens[i] + 10, NULL);
            DWORD pid = 0;
            if (!w || !GetWindowThreadProcessId(w, &pid))
                return 1;
            return SetTermEvent(pid);
        } else if (strncmp(tokens[i], "STATE=", 6) == 0) {
            const char *out = OutPath(tokens, n, "state.txt");
            return DumpState(tokens[i] + 6, out);
        } else if (strncmp(tokens[i], "RECT=", 5) == 0) {
            const char *out = OutPath(tokens, n, "rect.txt");
            return WriteChildRect(tokens[i] + 5, out);
        } else if (strncmp(tokens[i], "TEXT=", 5) == 0) {
            const char *out = OutPath(tokens, n, "text.txt");
            return ReadControlText(tokens[i] + 5, out);
        } else if (strncmp(tokens[i], "CONTROL=", 8) == 0) {
            const char *out = OutPath(tokens, n, "control.txt");
            return DescribeControl(tokens[i] + 8, out);
        } else if (strncmp(tokens[i], "FTLIST=", 7) == 0) {
            const char *out = OutPath(tokens, n, "ftlist.txt");
            return DumpFtPanel(tokens[i] + 7, out);
        } else if (strncmp(tokens[i], "FTFOCUS=", 8) == 0 || strncmp(tokens[i], "FTTIME=", 7) == 0) {
            const char *out = OutPath(tokens, n, "ftfocus.txt");
            return tokens[i][2] == 'F' ? FtFocus(tokens[i] + 8, out) : FtTimeCommand(tokens[i] + 7, out);
        } else if (strncmp(tokens[i], "FTKEY=", 6) == 0) {
            return FtPanelKey(tokens[i] + 6);
        } else if (strncmp(tokens[i], "FTLABEL=", 8) == 0) {
            return FtPanelLabel(tokens[i] + 8);
        } else if (strncmp(tokens[i], "PICK=", 5) == 0) {
            return PickListLine(tokens[i] + 5);
        } else if (strncmp(tokens[i], "CHARS=", 6) == 0) {
            return TypeChars(tokens[i] + 6);
        } else if (strncmp(tokens[i], "PAGE=", 5) == 0) {
            return TurnPage(tokens[i] + 5);
        } else if (strncmp(tokens[i], "DIALOG=", 7) == 0) {
            return DriveDialog(tokens[i] + 7);
        } else if (strncmp(tokens[i], "CONSOLE=", 8) == 0) {
            const char *out = OutPath(tokens, n, "console.txt");
            return DumpConsole(tokens[i] + 8, out);
        } else if (strncmp(tokens[i], "MOVECONSOLE=", 12) == 0) {
            return MoveConsole(tokens[i] + 12);
        } else if (strncmp(tokens[i], "POST=", 5) == 0) {
            return PostToWindow(tokens[i] + 5);
        } else if (strncmp(tokens[i], "MODULE=", 7) == 0) {
            const char *out = OutPath(tokens, n, "module.txt");
            return WriteModulePath(tokens[i] + 7, out);
        } else if (strncmp(tokens[i], "PROBE=", 6) == 0) {
            const char *out = OutPath(tokens, n, "probe.txt");
            return ProbeWindow(tokens[i] + 6, out);
        } else if (strncmp(tokens[i], "FIND=", 5) == 0) {
            return FindWindowA(tokens[i] + 5, NULL) ? 0 : 1;
        } else if (strcmp(tokens[i], "STOP") == 0) {
            HWND w = FindWindowA(CORVID_MANAGER_WINDOW_CLASS, NULL);
            if (w)
                PostMessageA(w, WM_CLOSE, 0, 0);
            return w ? 0 : 1;
        }
    }
    return -1;
}

// Reads commands one line each (UTF-8, split as a command line is) and answers each
// with its exit code on a line, until standard input ends.
static int ServeCommands()
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE), out = GetStdHandle(STD_OUTPUT_HANDLE);
    static char buf[8192];
    size_t used = 0;
    for (;;) {
        char *nl = (char *)memchr(buf, '\n', used);
        if (!nl) {
            DWORD got = 0;
            if (used == sizeof(buf) || !ReadFile(in, buf + used, (DWORD)(sizeof(buf) - used), &got, NULL) || !got)
                return 0;
            used += got;
            continue;
        }
        *nl = 0;
        static WCHAR wide[8192];
        static char line[8192 * 2];
        const int wn = MultiByteToWideChar(CP_UTF8, 0, buf, -1, wide, 8192);
        if (!wn || !WideCharToMultiByte(CP_ACP, 0, wide, -1, line, sizeof(line), NULL, NULL))
            line[0] = 0;
        const size_t rest = used - (size_t)(nl + 1 - buf);
        memmove(buf, nl + 1, rest);
        used = rest;
        char *tokens[8];
        const int n = SplitCommandLine(line, tokens, 8);
        const int rc = n ? RunCommand(tokens, n) : 2;
        char answer[16];
        const int len = snprintf(answer, sizeof(answer), "%d\n", rc);
        DWORD written;
        if (!WriteFile(out, answer, (DWORD)len, &written, NULL))
            return 0;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmd, int)
{
    char *tokens[8];
    const int n = SplitCommandLine(cmd, tokens, 8);
    if (n == 1 && strcmp(tokens[0], "SERVE") == 0)
        return ServeCommands();
    const int rc = RunCommand(tokens, n);
    return rc >= 0 ? rc : Serve(instance);
}
