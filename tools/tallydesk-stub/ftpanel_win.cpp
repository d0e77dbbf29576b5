// Reading a viewer's file-transfer list views needs the viewer's memory for the item
// structures: they are placed there with VirtualAllocEx and read back.
#include "tools/tallydesk-stub/ftpanel_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { kPanelIdBase = 210, kListId = 206, kComboId = 208, kEditId = 209, kText = 600 };

struct FrameSearch {
    DWORD pid;
    HWND found;
};

static BOOL CALLBACK FindFrame(HWND w, LPARAM lp)
{
    FrameSearch *fs = (FrameSearch *)lp;
    char cls[32];
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == fs->pid && GetClassNameA(w, cls, sizeof(cls)) && strcmp(cls, "CORVID:FILETRANSFER") == 0) {
        fs->found = w;
        return FALSE;
    }
    return TRUE;
}

// Splits "a|b|c..." in place into at most n fields; returns how many.
static int Fields(char *spec, char **f, int n)
{
    int k = 0;
    f[k++] = spec;
    while (k < n) {
        char *bar = strchr(f[k - 1], '|');
        if (!bar)
            break;
        *bar = 0;
        f[k++] = bar + 1;
    }
    return k;
}

static HWND Frame(const char *mainClass)
{
    HWND main = FindWindowA(mainClass, NULL);
    FrameSearch fs = {0, NULL};
    if (!main || !GetWindowThreadProcessId(main, &fs.pid))
        return NULL;
    EnumWindows(FindFrame, (LPARAM)&fs);
    return fs.found;
}

static HWND PanelControl(const char *mainClass, const char *panel, int id)
{
    HWND frame = Frame(mainClass);
    HWND p = frame ? GetDlgItem(frame, kPanelIdBase + atoi(panel)) : NULL;
    return p ? GetDlgItem(p, id) : NULL;
}

static void Put(HANDLE f, const char *text)
{
    // The viewer's texts are ANSI of its language: Cyrillic names come as 1251.
    WCHAR wide[kText];
    char utf8[kText * 3];
    MultiByteToWideChar(1251, 0, text, -1, wide, kText);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8), NULL, NULL);
    DWORD written;
    if (n > 1)
        WriteFile(f, utf8, (DWORD)(n - 1), &written, NULL);
}

int DumpFtPanel(char *spec, const char *outPath)
{
    char *f[2];
    if (Fields(spec, f, 2) != 2)
        return 2;
    HWND list = PanelControl(f[0], f[1], kListId), edit = PanelControl(f[0], f[1], kEditId);
    if (!list || !edit)
        return 1;
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE proc = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!proc)
        return 1;
    BYTE *remote = (BYTE *)VirtualAllocEx(proc, NULL, sizeof(LVITEMA) + kText, MEM_COMMIT, PAGE_READWRITE);
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    int rc = remote && out != INVALID_HANDLE_VALUE ? 0 : 1;
    if (rc == 0) {
        char text[kText];
        // GetWindowText does not ask another process's control; WM_GETTEXT does.
        SendMessageA(edit, WM_GETTEXT, sizeof(text), (LPARAM)text);
        Put(out, text);
        RECT r;
        GetWindowRect(list, &r);
        snprintf(text, sizeof(text), "\n%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        Put(out, text);
        const int n = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
        for (int i = 0; i < n && rc == 0; i++) {
            for (int c = 0; c < 5; c++) {
                LVITEMA it = {};
                it.iSubItem = c;
                it.pszText = (char *)(remote + sizeof(LVITEMA));
                it.cchTextMax = kText;
                SIZE_T done = 0;
                if (!WriteProcessMemory(proc, remote, &it, sizeof(it), &done)) {
                    rc = 1;
                    break;
                }
                const LRESULT len = SendMessageA(list, LVM_GETITEMTEXTA, i, (LPARAM)remote);
                text[0] = 0;
                if (len > 0 && ReadProcessMemory(proc, remote + sizeof(LVITEMA), text, kText, &done))
                    text[kText - 1] = 0;
                Put(out, text);
                Put(out, "\t");
            }
            const UINT st = (UINT)SendMessageA(list, LVM_GETITEMSTATE, i, LVIS_SELECTED | LVIS_FOCUSED);
            Put(out, (st & LVIS_SELECTED) ? "S" : "");
            Put(out, (st & LVIS_FOCUSED) ? "F" : "");
            Put(out, "\n");
        }
    }
    if (out != INVALID_HANDLE_VALUE)
        CloseHandle(out);
    if (remote)
        VirtualFreeEx(proc, remote, 0, MEM_RELEASE);
    CloseHandle(proc);
    return rc;
}

int FtPanelKey(char *spec)
{
    char *f[6] = {};
    const int n = Fields(spec, f, 6);
    if (n < 4)
        return 2;
    const int id = atoi(f[2]);
    HWND w = PanelControl(f[0], f[1], id);
    if (w && id == kComboId)
        w = (HWND)SendMessageA(w, CBEM_GETCOMBOCONTROL, 0, 0);
    if (!w)
        return 1;
    if (n >= 6)
        SendMessageA(w, WM_SETTEXT, 0, (LPARAM)f[5]);
    const WPARAM vk = (WPARAM)strtoul(f[3], NULL, 0);
    const WPARAM ch = n >= 5 ? (WPARAM)strtoul(f[4], NULL, 0) : 0;
    const UINT scan = MapVirtualKeyA((UINT)vk, 0);
    PostMessageA(w, WM_KEYDOWN, vk, 1 | (LPARAM)scan << 16);
    if (ch)
        PostMessageA(w, WM_CHAR, ch, 1 | (LPARAM)scan << 16);
    PostMessageA(w, WM_KEYUP, vk, 1 | (LPARAM)scan << 16 | 0xC0000000);
    return 0;
}

int FtPanelLabel(char *spec)
{
    char *f[3] = {};
    if (Fields(spec, f, 3) != 3)
        return 2;
    HWND list = PanelControl(f[0], f[1], kListId);
    HWND edit = list ? (HWND)SendMessageA(list, LVM_GETEDITCONTROL, 0, 0) : NULL;
    if (!edit)
        return 1;
    SendMessageA(edit, WM_SETTEXT, 0, (LPARAM)f[2]);
    const UINT scan = MapVirtualKeyA(VK_RETURN, 0);
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 1 | (LPARAM)scan << 16);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 1 | (LPARAM)scan << 16 | 0xC0000000);
    return 0;
}

int FtFocus(char *spec, const char *outPath)
{
    enum { kCaptionId = 207 };
    HWND frame = Frame(spec);
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    if (!frame || !GetGUIThreadInfo(GetWindowThreadProcessId(frame, NULL), &gti))
        return 1;
    char text[256] = "none";
    // Up from the focus to the child of a panel.
    for (HWND w = gti.hwndFocus; w && w != frame; w = GetParent(w)) {
        HWND parent = GetParent(w);
        const int id = parent ? GetDlgCtrlID(parent) : 0;
        if (GetParent(parent) == frame && (id == kPanelIdBase || id == kPanelIdBase + 1)) {
            snprintf(text, sizeof(text), "%d %d", id - kPanelIdBase, GetDlgCtrlID(w));
            break;
        }
    }
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return 1;
    Put(out, text);
    for (int i = 0; i < 2; i++) {
        RECT r = {};
        HWND caption = GetDlgItem(GetDlgItem(frame, kPanelIdBase + i), kCaptionId);
        if (caption)
            GetWindowRect(caption, &r);
        snprintf(text, sizeof(text), "\n%ld %ld %ld %ld", r.left, r.top, r.right, r.bottom);
        Put(out, text);
    }
    Put(out, "\n");
    CloseHandle(out);
    return 0;
}

int FtTimeCommand(char *spec, const char *outPath)
{
    char *f[3];
    if (Fields(spec, f, 3) != 3)
        return 2;
    HWND frame = Frame(f[0]);
    HWND panel = frame ? GetDlgItem(frame, kPanelIdBase + atoi(f[2])) : NULL;
    HWND list = panel ? GetDlgItem(panel, kListId) : NULL;
    if (!list)
        return 1;
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    SendMessageA(frame, WM_COMMAND, (WPARAM)strtoul(f[1], NULL, 0), 0);
    // The paint messages are sent to the viewer's windows and answered there.
    RedrawWindow(panel, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    QueryPerformanceCounter(&t1);
    char text[64];
    snprintf(text, sizeof(text), "%.1f %ld\n", (double)(t1.QuadPart - t0.QuadPart) * 1000.0 / (double)freq.QuadPart,
             (long)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return 1;
    Put(out, text);
    CloseHandle(out);
    return 0;
}
