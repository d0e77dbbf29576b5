// LLkbd.dll: a low-level keyboard hook that hands every key to one viewer window as
// WM_CV_KEY_INPUT and keeps it from the local system, so Alt+Tab, the Windows keys and
// Ctrl+Esc reach the remote computer. The hook procedure runs on the thread that
// installed it (the viewer's UI thread) while that thread waits for messages.
#define CV_KEYHOOK_BUILD
#include "hooks/keyhook.h"

namespace {

// Where each key is, as seen by the hook: down keys remember whether their press
// reached the local system, so that its release does too and nothing stays stuck.
enum KeyState : unsigned char { KEY_UP = 0, KEY_DOWN_LOCAL = 1, KEY_DOWN_OURS = 2 };

// A window that does not answer within this time is treated as gone: the key passes
// on locally rather than the whole keyboard waiting on a hung viewer.
const UINT kDeliverTimeoutMs = 200;

HINSTANCE g_module;
CRITICAL_SECTION g_lock;       // guards the three below
HHOOK g_hook;                  // g_lock
DWORD g_hookThread;            // g_lock; the thread the hook procedure runs on
HWND g_target;                 // g_lock
KeyState g_keys[256];          // g_lock; indexed by the hook's (left/right) key code

// The hook reports left and right modifiers apart; WM_KEYDOWN, the other library and
// the remote side use the common code with the side in scan code and extended bit.
WPARAM CommonKeyCode(DWORD vk)
{
    switch (vk) {
    case VK_LSHIFT: case VK_RSHIFT: return VK_SHIFT;
    case VK_LCONTROL: case VK_RCONTROL: return VK_CONTROL;
    case VK_LMENU: case VK_RMENU: return VK_MENU;
    default: return vk & 0xFF;
    }
}

bool AltHeld(void)
{
    return g_keys[VK_LMENU] != KEY_UP || g_keys[VK_RMENU] != KEY_UP || g_keys[VK_MENU] != KEY_UP;
}

// Keys held when the hook goes in went down locally; their releases must pass on.
void SeedKeyStates(void)
{
    for (int vk = 0; vk < 256; vk++)
        g_keys[vk] = (vk > 0 && vk < 255 && (GetAsyncKeyState(vk) & 0x8000)) ? KEY_DOWN_LOCAL : KEY_UP;
}

LRESULT CALLBACK LowLevelKeyProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code != HC_ACTION)
        return CallNextHookEx(NULL, code, wParam, lParam);
    const KBDLLHOOKSTRUCT *kb = (const KBDLLHOOKSTRUCT *)lParam;
    if ((kb->flags & LLKHF_INJECTED) && kb->dwExtraInfo == CV_KEYHOOK_PASS_LOCAL)
        return CallNextHookEx(NULL, code, wParam, lParam);

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

    // Sent, not posted: the window normally belongs to this very thread, so this is a
    // direct call that keeps keys in order with the viewer's other input, and a failed
    // send tells us the window is gone or hung, in which case the key stays local. The
    // answer (1 = the viewer used the key itself) changes nothing here: either way the
    // key was meant for the viewer alone.
    DWORD_PTR answer = 0;
    bool delivered = SendMessageTimeoutA(target, WM_CV_KEY_INPUT, CommonKeyCode(vk), flags,
                                         SMTO_NORMAL | SMTO_ABORTIFHUNG, kDeliverTimeoutMs, &answer) != 0;
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

} // namespace

extern "C" BOOL WINAPI SetCvLLkbdHook(HWND window)
{
    if (!window || !IsWindow(window))
        return FALSE;
    BOOL ok = TRUE;
    EnterCriticalSection(&g_lock);
    // One hook at a time. The same thread only moves the target; another thread gets a
    // hook of its own, since the procedure runs where it was installed.
    if (g_hook && g_hookThread != GetCurrentThreadId()) {
        UnhookWindowsHookEx(g_hook);
        g_hook = NULL;
    }
    if (!g_hook) {
        if (!g_target)
            SeedKeyStates();
        g_hook = SetWindowsHookExA(WH_KEYBOARD_LL, LowLevelKeyProc, g_module, 0);
        g_hookThread = GetCurrentThreadId();
        ok = g_hook != NULL;
    }
    g_target = ok ? window : NULL;
    LeaveCriticalSection(&g_lock);
    return ok;
}

// One hook per process: it goes whichever window it was installed for, so that the
// viewer's unconditional removal at shutdown cannot leave it behind.
extern "C" BOOL WINAPI FreeCvLLkbdHook(HWND window)
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
        // Unloaded by FreeLibrary: the hook must not outlive its code.
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
