// LLkbd.dll: a low-level keyboard hook that hands every key to one viewer window as
// WM_CV_KEY_INPUT and keeps it from the local system, so Alt+Tab, the Windows keys and
// Ctrl+Esc reach the remote computer. The hook runs on a thread of its own that does
// nothing else and posts each key: a busy viewer never holds up the keyboard of the
// whole computer, and Windows has no reason to drop the hook for being slow. Should
// Windows drop it all the same, the thread puts a fresh one in within a second.
#define CV_KEYHOOK_BUILD
#include "hooks/keyhook.h"

namespace {

// Where each key is, as seen by the hook: down keys remember whether their press
// reached the local system, so that its release does too and nothing stays stuck.
enum KeyState : unsigned char { KEY_UP = 0, KEY_DOWN_LOCAL = 1, KEY_DOWN_OURS = 2 };

// The hook is put in afresh this often; a hook Windows removed silently (its time-out
// passed) is replaced by the next one.
const DWORD kRearmMs = 1000;

HINSTANCE g_module;
CRITICAL_SECTION g_lock; // guards everything below
HWND g_target;           // g_lock; NULL: keys pass locally
KeyState g_keys[256];    // g_lock; indexed by the hook's (left/right) key code
HANDLE g_thread;         // g_lock; the hook thread while one runs
DWORD g_threadId;        // g_lock
HHOOK g_hook;            // g_lock; written by the hook thread only
LONG g_stallMs;          // test: the next key waits this long in the hook procedure

// The hook reports left and right modifiers apart; WM_KEYDOWN, the other library and
// the remote side use the common code with the side in scan code and extended bit.
WPARAM CommonKeyCode(DWORD vk)
{
    switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
        return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
        return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
        return VK_MENU;
    default:
        return vk & 0xFF;
    }
}

bool AltHeld(void) { return g_keys[VK_LMENU] != KEY_UP || g_keys[VK_RMENU] != KEY_UP; }

// Keys held when the hook goes in went down locally; their releases must pass on. The
// hook only ever reports the left and right codes of Shift, Ctrl and Alt, so their
// common codes are never marked: nothing would ever clear them.
void SeedKeyStates(void)
{
    for (int vk = 0; vk < 256; vk++) {
        const bool common = vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;
        g_keys[vk] = (vk > 0 && vk < 255 && !common && (GetAsyncKeyState(vk) & 0x8000)) ? KEY_DOWN_LOCAL : KEY_UP;
    }
}

LRESULT CALLBACK LowLevelKeyProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HC_ACTION)
        return CallNextHookEx(NULL, code, wParam, lParam);
    const KBDLLHOOKSTRUCT *kb = (const KBDLLHOOKSTRUCT *)lParam;
    if ((kb->flags & LLKHF_INJECTED) && kb->dwExtraInfo == CV_KEYHOOK_PASS_LOCAL)
        return CallNextHookEx(NULL, code, wParam, lParam);
    const LONG stall = InterlockedExchange(&g_stallMs, 0);
    if (stall)
        Sleep((DWORD)stall);

    const DWORD vk = kb->vkCode & 0xFF;
    const bool released = (kb->flags & LLKHF_UP) != 0;

    EnterCriticalSection(&g_lock);
    HWND target = g_target;
    KeyState was = g_keys[vk];
    g_keys[vk] = released ? KEY_UP : (was == KEY_UP ? KEY_DOWN_OURS : was);
    bool alt = (kb->flags & LLKHF_ALTDOWN) || AltHeld();
    LeaveCriticalSection(&g_lock);

    if (!target)
        return CallNextHookEx(NULL, code, wParam, lParam);

    // A release always has the previous-state bit, as in WM_KEYUP.
    LPARAM flags = 1 | (LPARAM)(kb->scanCode & 0xFF) << 16;
    if (kb->flags & LLKHF_EXTENDED)
        flags |= 1L << 24;
    if (alt)
        flags |= 1L << 29;
    if (released || was != KEY_UP)
        flags |= 1L << 30;
    if (released)
        flags |= (LPARAM)1 << 31;

    // Posted: the viewer's thread may be busy, and this procedure must answer at once.
    // A window that is gone or hung does not get the key: it stays local, so that the
    // keyboard is never held by a viewer that cannot use it.
    bool delivered = !IsHungAppWindow(target) && PostMessageA(target, WM_CV_KEY_INPUT, CommonKeyCode(vk), flags) != 0;
    if (!delivered && !released) {
        EnterCriticalSection(&g_lock);
        if (g_keys[vk] == KEY_DOWN_OURS)
            g_keys[vk] = KEY_DOWN_LOCAL;
        LeaveCriticalSection(&g_lock);
    }
    if (!delivered || (released && was != KEY_DOWN_OURS))
        return CallNextHookEx(NULL, code, wParam, lParam);
    return 1;
}

// Puts a new hook in before taking the old one out, so that no key slips between.
void Rearm(void)
{
    HHOOK fresh = SetWindowsHookExA(WH_KEYBOARD_LL, LowLevelKeyProc, g_module, 0);
    if (!fresh)
        return;
    EnterCriticalSection(&g_lock);
    HHOOK old = g_hook;
    g_hook = fresh;
    LeaveCriticalSection(&g_lock);
    if (old)
        UnhookWindowsHookEx(old); // fails when Windows had removed it already
}

struct ThreadStart {
    HANDLE ready;
    BOOL ok;
};

DWORD WINAPI HookThread(LPVOID param)
{
    ThreadStart *start = (ThreadStart *)param;
    MSG msg;
    PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE); // the queue that WM_QUIT comes to
    HHOOK hook = SetWindowsHookExA(WH_KEYBOARD_LL, LowLevelKeyProc, g_module, 0);
    EnterCriticalSection(&g_lock);
    g_hook = hook;
    LeaveCriticalSection(&g_lock);
    start->ok = hook != NULL;
    SetEvent(start->ready);
    if (!hook)
        return 0;
    // Low-level hooks are called through this thread's message loop.
    for (;;) {
        if (MsgWaitForMultipleObjects(0, NULL, FALSE, kRearmMs, QS_ALLINPUT) == WAIT_TIMEOUT) {
            Rearm();
            continue;
        }
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                goto done;
            DispatchMessageA(&msg);
        }
    }
done:
    EnterCriticalSection(&g_lock);
    hook = g_hook;
    g_hook = NULL;
    LeaveCriticalSection(&g_lock);
    UnhookWindowsHookEx(hook);
    return 0;
}

// Ends the hook thread, if one runs; the hook goes with it. Not under g_lock: the
// thread takes it on its way out.
void StopHookThread(void)
{
    EnterCriticalSection(&g_lock);
    HANDLE thread = g_thread;
    DWORD id = g_threadId;
    g_thread = NULL;
    g_threadId = 0;
    LeaveCriticalSection(&g_lock);
    if (!thread)
        return;
    PostThreadMessageA(id, WM_QUIT, 0, 0);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
}

} // namespace

extern "C" BOOL WINAPI SetCvLLkbdHook(HWND window)
{
    if (!window || !IsWindow(window))
        return FALSE;
    EnterCriticalSection(&g_lock);
    const bool running = g_thread != NULL;
    if (!g_target && !running)
        SeedKeyStates();
    g_target = window; // a second call only moves the delivery
    LeaveCriticalSection(&g_lock);
    if (running)
        return TRUE;
    ThreadStart start = {CreateEventA(NULL, TRUE, FALSE, NULL), FALSE};
    DWORD id = 0;
    HANDLE thread = start.ready ? CreateThread(NULL, 0, HookThread, &start, 0, &id) : NULL;
    if (thread)
        WaitForSingleObject(start.ready, INFINITE);
    if (start.ready)
        CloseHandle(start.ready);
    EnterCriticalSection(&g_lock);
    if (thread && start.ok) {
        g_thread = thread;
        g_threadId = id;
    } else {
        g_target = NULL;
    }
    LeaveCriticalSection(&g_lock);
    if (thread && !start.ok) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    return start.ok;
}

// One hook per process: it goes whichever window it was installed for, so that the
// viewer's unconditional removal at shutdown cannot leave it behind.
extern "C" BOOL WINAPI FreeCvLLkbdHook(HWND window)
{
    EnterCriticalSection(&g_lock);
    g_target = NULL;
    LeaveCriticalSection(&g_lock);
    StopHookThread();
    return TRUE;
}

// Test support: the next key waits ms in the hook procedure, as a stalled thread would.
extern "C" void WINAPI CvLLkbdTestStall(DWORD ms) { InterlockedExchange(&g_stallMs, (LONG)ms); }

// Test support: the hook disappears without the library knowing, as when Windows
// removes a hook that outran its time-out.
extern "C" void WINAPI CvLLkbdTestLoseHook(void)
{
    EnterCriticalSection(&g_lock);
    HHOOK hook = g_hook;
    LeaveCriticalSection(&g_lock);
    if (hook)
        UnhookWindowsHookEx(hook);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_lock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded by FreeLibrary: the hook must not outlive its code. The thread cannot
        // be waited for under the loader lock; its hook goes now, the thread with the process.
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        g_hook = NULL;
    }
    return TRUE;
}
