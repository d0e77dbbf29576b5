// kbdhook.dll: a keyboard hook on the viewer window's own thread that hands every key
// to that window as WM_CV_KEY_INPUT instead of letting it be translated and dispatched.
// It cannot see keys the system keeps for itself (Alt+Tab, Ctrl+Esc); the low-level
// hook of LLkbd.dll is used where those matter. The hook procedure runs on the
// window's thread as it takes key messages from its queue.
#define CV_KEYHOOK_BUILD
#include "hooks/keyhook.h"

namespace {

// See llkbd_win.cpp: a window that does not answer in time lets the key pass.
const UINT kDeliverTimeoutMs = 200;

HINSTANCE g_module;
CRITICAL_SECTION g_lock; // guards the four below
HHOOK g_hook;            // g_lock
DWORD g_hookThread;      // g_lock; the window's thread, where the hook sits
HWND g_target;           // g_lock
bool g_swallowed[256];   // g_lock; presses kept from the window's thread

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam)
{
    // HC_NOREMOVE is a peek that leaves the message queued: it comes back as
    // HC_ACTION when taken, and is delivered then, once.
    if (code != HC_ACTION)
        return CallNextHookEx(NULL, code, wParam, lParam);

    const unsigned vk = wParam & 0xFF;
    const bool released = (lParam & 0x80000000) != 0;
    EnterCriticalSection(&g_lock);
    HWND target = g_target;
    bool ours = g_swallowed[vk];
    LeaveCriticalSection(&g_lock);
    if (!target)
        return CallNextHookEx(NULL, code, wParam, lParam);

    // lParam already has the keystroke layout. Sent, as in LLkbd.dll: on the same
    // thread it is a direct call, and a failed send means the window is gone.
    DWORD_PTR answer = 0;
    bool delivered = SendMessageTimeoutA(target, WM_CV_KEY_INPUT, wParam, (LPARAM)(DWORD)lParam,
                                         SMTO_NORMAL | SMTO_ABORTIFHUNG, kDeliverTimeoutMs, &answer) != 0;

    // A repeat of a press the window saw stays the window's.
    bool repeat = (lParam & 0x40000000) != 0;
    EnterCriticalSection(&g_lock);
    g_swallowed[vk] = delivered && !released && (ours || !repeat);
    LeaveCriticalSection(&g_lock);
    // Both answers keep the key from the window's own handling (menus, accelerators,
    // WM_CHAR): forwarded or used by the viewer, it is done with. Only a release whose
    // press the window already saw passes on, so the thread's key state does not stick.
    if (!delivered || (released && !ours))
        return CallNextHookEx(NULL, code, wParam, lParam);
    return 1;
}

} // namespace

extern "C" BOOL WINAPI SetKbdHook(HWND window)
{
    DWORD thread = window ? GetWindowThreadProcessId(window, NULL) : 0;
    if (!thread)
        return FALSE;
    BOOL ok = TRUE;
    EnterCriticalSection(&g_lock);
    // One hook at a time; a window of another thread needs the hook on that thread.
    if (g_hook && g_hookThread != thread) {
        UnhookWindowsHookEx(g_hook);
        g_hook = NULL;
    }
    if (!g_hook) {
        for (bool &s : g_swallowed)
            s = false;
        g_hook = SetWindowsHookExA(WH_KEYBOARD, KeyboardProc, g_module, thread);
        g_hookThread = thread;
        ok = g_hook != NULL;
    }
    g_target = ok ? window : NULL;
    LeaveCriticalSection(&g_lock);
    return ok;
}

// Removes the one hook whichever window it serves; nothing installed is no error.
extern "C" BOOL WINAPI FreeKbdHook(HWND window)
{
    EnterCriticalSection(&g_lock);
    BOOL ok = TRUE;
    if (g_hook)
        ok = UnhookWindowsHookEx(g_hook);
    g_hook = NULL;
    g_hookThread = 0;
    g_target = NULL;
    LeaveCriticalSection(&g_lock);
    return ok;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_lock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
