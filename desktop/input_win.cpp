// Mouse and key events to the Agent. Everything runs on the UI thread; events that
// cannot be queued (the session is ending) are dropped.
#include "desktop/input_win.h"

#include "console/state_win.h"
#include "desktop/input.h"
#include "desktop/state_win.h"
#include "hooks/keyhook.h"
#include "session/packet.h"
#include "session/sendqueue_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/state.h"

#include <commctrl.h>

enum { kVkF12 = 123 };

static void QueueEvent(const InputEvent *e)
{
    uint8_t packet[32];
    size_t n = BuildInputEvent(e, packet, sizeof(packet));
    if (e->code == kInputMouseMove) {
        // A move dropped by a backed-up queue is sent again on the next report of
        // the same pixel.
        if (EnqueueDroppable(packet, (DWORD)n) == kQueueDropped)
            g_desktop.lastPointerKnown = FALSE;
        return;
    }
    int oom;
    EnqueuePacket(packet, (DWORD)n, &oom);
}

static void QueueKey(uint32_t vk, uint32_t flags)
{
    InputEvent e = {kInputKey, vk, flags};
    QueueEvent(&e);
}

int InputForwarding(void) { return g_viewer.controlMode && g_viewer.focused && !g_viewer.menuOpen; }

static void SetButtonState(HWND toolbar, UINT command, BYTE state)
{
    if (toolbar)
        SendMessageA(toolbar, TB_SETSTATE, command, MAKELPARAM(state, 0));
}

void ShowModifierButton(UINT command, int checked)
{
    if (!command)
        return; // Shift has no button
    const BYTE state = (BYTE)(TBSTATE_ENABLED | (checked ? TBSTATE_CHECKED : 0));
    if (g_viewer.menu)
        CheckMenuItem(g_viewer.menu, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
    SetButtonState(g_viewer.toolbar, command, state);
    SetButtonState(g_console.toolbar, command, state);
}

static void LatchAndQueue(uint32_t vk, uint32_t flags)
{
    LatchChange change;
    if (LatchKey(&g_desktop.latch, flags, &change))
        ShowModifierButton(change.button, change.checked);
    QueueKey(vk, flags);
}

static void TrackCapture(HWND wnd, UINT code)
{
    if (code == kInputLButtonDown || code == kInputRButtonDown) {
        SetCapture(wnd);
        g_desktop.mouseCaptured = 1;
    } else if (code == kInputLButtonUp || code == kInputRButtonUp) {
        ReleaseCapture();
        g_desktop.mouseCaptured = 0;
    }
}

void ReleaseInputCapture(void)
{
    if (g_desktop.mouseCaptured)
        ReleaseCapture();
    g_desktop.mouseCaptured = 0;
}

void SendInputEvent(HWND wnd, UINT code, WPARAM wp, LPARAM lp)
{
    if (!g_desktop.desktopActive)
        return;
    if (code == kInputKey) {
        QueueKey((uint32_t)wp, (uint32_t)lp);
        return;
    }
    if (code == kInputWheel) {
        InputEvent e = {kInputWheel, (uint32_t)wp, 0};
        QueueEvent(&e);
        return;
    }
    POINT p = {(short)LOWORD(lp), (short)HIWORD(lp)};
    ClientToScreen(wnd, &p);
    POINT origin = {0, 0};
    if (g_desktop.view.frame)
        ClientToScreen(g_desktop.view.frame, &origin);
    UnscaledInput in = {p.x,
                        p.y,
                        origin.x,
                        origin.y,
                        g_desktop.view.hx,
                        g_desktop.view.vy,
                        g_desktop.screen.layout.width,
                        g_desktop.screen.layout.height,
                        (int)g_desktop.fullScreen};
    const uint32_t pos = UnscaledPosition(&in);
    // One event per remote pixel the pointer reaches, however often the tile reports it.
    if (code == kInputMouseMove && g_desktop.lastPointerKnown && pos == g_desktop.lastPointer)
        return;
    g_desktop.lastPointer = pos;
    g_desktop.lastPointerKnown = TRUE;
    InputEvent e = {code, (uint32_t)wp, pos};
    QueueEvent(&e);
    TrackCapture(wnd, code);
}

void SendScaledInput(HWND scaledView, UINT code, WPARAM wp, LPARAM lp)
{
    if (!g_desktop.desktopActive)
        return;
    InputEvent e = {code, (uint32_t)wp, 0};
    if (code != kInputWheel)
        e.data = ScaledPosition((uint32_t)lp, g_desktop.screen.viewScale);
    QueueEvent(&e);
    TrackCapture(scaledView, code);
}

void UpdateKeyboardHook(HWND wnd)
{
    // Without a desktop no key is forwarded: the keys must stay with the local system
    // (Alt+Tab, the Windows key), not be swallowed for nothing.
    if (InputForwarding() && g_desktop.desktopActive) {
        if (g_viewer.ntFamily)
            SetCvLLkbdHook(wnd);
        else
            SetKbdHook(wnd);
        g_desktop.hookWindow = wnd;
    } else {
        RemoveKeyboardHook();
    }
}

void RemoveKeyboardHook(void)
{
    if (g_viewer.ntFamily)
        FreeCvLLkbdHook(g_desktop.hookWindow);
    else
        FreeKbdHook(g_desktop.hookWindow);
    g_desktop.hookWindow = NULL;
}

LRESULT OnKeyInput(int fullScreenWindow, WPARAM vk, LPARAM lp)
{
    const uint32_t flags = (uint32_t)lp;
    if (!fullScreenWindow) {
        if (InputForwarding() && g_desktop.desktopActive)
            LatchAndQueue((uint32_t)vk, flags);
        return 0;
    }
    if (!g_viewer.controlMode || !g_viewer.focused)
        return 0;
    if (vk == kVkF12 && g_desktop.fullScreen) {
        // Posted: leaving moves windows, which must not happen inside the hook's call.
        if (flags >> 31 && g_desktop.fullScreenPad)
            PostMessageA(g_desktop.fullScreenPad, WM_COMMAND, IDM_LEAVE_FULL_SCREEN, 0);
        return 1;
    }
    if (g_desktop.desktopActive)
        LatchAndQueue((uint32_t)vk, flags);
    return 0;
}

void ForwardConsoleKey(UINT vk, UINT flags)
{
    if (g_viewer.controlMode)
        LatchAndQueue(vk, flags);
}

static void ReleaseAllModifiers(void)
{
    InputEvent events[kLatchCount];
    LatchChange changes[kLatchCount];
    const int n = ReleaseModifiers(&g_desktop.latch, events, changes);
    for (int i = 0; i < n; i++) {
        ShowModifierButton(changes[i].button, 0);
        QueueEvent(&events[i]);
    }
}

static const UINT kModifierButtons[] = {IDM_LEFT_CTRL, IDM_LEFT_ALT, IDM_WIN_KEY, IDM_RIGHT_CTRL, IDM_RIGHT_ALT};

void ToggleRemoteControl(void)
{
    const int on = !g_viewer.controlMode;
    g_viewer.controlMode = on;
    CheckCommand(IDM_REMOTE_CONTROL, on);
    if (!on)
        ReleaseAllModifiers();
    EnableCommand(on, IDM_AGENT_KEYS, kCheckLeave);
    // The menu carries the key buttons too: greyed with the buttons.
    for (UINT b : kModifierButtons) {
        EnableCommand(on, b, kCheckLeave);
        SetButtonState(g_console.toolbar, b, on ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE);
    }
    SetButtonState(g_console.toolbar, IDM_ALT_ENTER, on ? TBSTATE_ENABLED : TBSTATE_INDETERMINATE);
    const BYTE control = (BYTE)(TBSTATE_ENABLED | (on ? TBSTATE_CHECKED : 0));
    SetButtonState(g_console.toolbar, IDM_REMOTE_CONTROL, control);
    UpdateKeyboardHook(g_viewer.mainWindow);
}

void RunKeyButton(UINT command)
{
    // Posted from outside while control is off, the buttons do nothing.
    if (!g_viewer.controlMode)
        return;
    InputEvent events[4];
    LatchChange change;
    if (ToggleModifierButton(&g_desktop.latch, command, &events[0], &change)) {
        ShowModifierButton(change.button, change.checked);
        QueueEvent(&events[0]);
        return;
    }
    const int n = KeyButtonSequence(command, events);
    for (int i = 0; i < n; i++)
        QueueEvent(&events[i]);
}
