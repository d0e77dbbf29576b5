// The keyboard hook libraries the viewer links at load time: LLkbd.dll (low-level
// hook, NT family) and kbdhook.dll (thread keyboard hook, the older family). Each
// delivers every key to the window it was installed for as WM_CV_KEY_INPUT.
#pragma once
#include <windows.h>

#include "shell/messages.h"

// WM_CV_KEY_INPUT: wParam virtual-key code (VK_SHIFT, VK_CONTROL, VK_MENU rather than
// their left and right forms; the side is in the scan code and extended bit), lParam
// keystroke flags laid out as WM_KEYDOWN's lParam. LLkbd.dll posts it; kbdhook.dll
// calls the window on its own thread. The key is kept from the local system whether
// the viewer forwards it or uses it itself (F12 in full screen).

// Keys injected with this dwExtraInfo pass the low-level hook untouched, so the viewer
// can type locally with SendInput while the hook is installed.
#define CV_KEYHOOK_PASS_LOCAL ((ULONG_PTR)0x43564B50)

#ifdef CV_KEYHOOK_BUILD
#define CV_KEYHOOK_API
#else
#define CV_KEYHOOK_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Install for the window (a second call moves the hook to the new window); nonzero
// on success. The low-level hook runs on a thread of the library's own and posts the
// keys, so the window's thread may be busy without holding up the keyboard.
CV_KEYHOOK_API BOOL WINAPI SetCvLLkbdHook(HWND window);
// Remove; harmless when nothing is installed.
CV_KEYHOOK_API BOOL WINAPI FreeCvLLkbdHook(HWND window);
// Test support of LLkbd.dll: the next key stalls the hook procedure for ms; the hook
// vanishes behind the library's back, as when Windows drops a slow hook.
CV_KEYHOOK_API void WINAPI CvLLkbdTestStall(DWORD ms);
CV_KEYHOOK_API void WINAPI CvLLkbdTestLoseHook(void);

// Install a keyboard hook on the window's own thread; a second call moves it.
CV_KEYHOOK_API BOOL WINAPI SetKbdHook(HWND window);
CV_KEYHOOK_API BOOL WINAPI FreeKbdHook(HWND window);

#ifdef __cplusplus
}
#endif
