// What the viewer's toolbars share (buttons from a table) and the main toolbar's extras
// (keyboard lights, level slider and their labels). UI thread, except
// HandleKeyboardLights (receive thread).
#include "ui/toolbar_win.h"

#include "desktop/pointer.h"
#include "desktop/state_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/packet.h"
#include "session/sendqueue_win.h"
#include "shell/commands.h"
#include "shell/commandstate_win.h"
#include "shell/log_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"
#include "ui/dpi_win.h"

#include <commctrl.h>

enum {
    kSliderId = 202,
    kLevelMax = 7,
    kLightWidth = 24,
    kLightHeight = 22,
    kSliderTooltipString = IDS_TIP_LEVEL,
};

static WNDPROC g_toolbarProc; // the toolbar's own procedure, under the subclass

static void OnSliderEnd(void)
{
    LRESULT pos = SendMessageA(g_desktop.levelSlider, TBM_GETPOS, 0, 0);
    DWORD level = pos < 0 ? 0 : pos > kLevelMax ? (DWORD)kLevelMax : (DWORD)pos;
    if (level != g_desktop.sliderLevel) {
        // Stored even if queueing fails: the next change compares against it.
        g_desktop.sliderLevel = level;
        uint8_t payload[4], packet[32];
        PutU32LE(payload, level);
        size_t n = BuildPacketWithFlag(PKT_SET_LEVEL, 1, payload, sizeof(payload), packet, sizeof(packet));
        int oom;
        EnqueuePacket(packet, (DWORD)n, &oom);
    }
    SetFocus(g_viewer.mainWindow);
}

static LRESULT CALLBACK ToolbarSubclassProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    LRESULT r = CallWindowProcA(g_toolbarProc, wnd, msg, wp, lp);
    if (msg == WM_HSCROLL && (HWND)lp == g_desktop.levelSlider && LOWORD(wp) == SB_ENDSCROLL)
        OnSliderEnd();
    return r;
}

static HWND MakeStatic(HWND parent, const char *text, DWORD style, int x, int y, int w, int h)
{
    HWND s = CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, NULL,
                             g_viewer.instance, NULL);
    if (s && g_viewer.labelFont)
        SendMessageA(s, WM_SETFONT, (WPARAM)g_viewer.labelFont, FALSE);
    return s;
}

// Wide calls: the Russian text must not pass through the system's ANSI code page.
static void SetSliderTip(BOOL add)
{
    HWND tips = (HWND)SendMessageA(g_viewer.toolbar, TB_GETTOOLTIPS, 0, 0);
    if (!tips || !g_desktop.levelSlider)
        return;
    WCHAR text[256] = L"";
    LoadStringW(g_viewer.activeLanguage, kSliderTooltipString, text, 256);
    TOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = g_viewer.toolbar;
    ti.uId = (UINT_PTR)g_desktop.levelSlider;
    ti.lpszText = text;
    SendMessageW(tips, add ? TTM_ADDTOOLW : TTM_UPDATETIPTEXTW, 0, (LPARAM)&ti);
}

void UpdateSliderTooltip(void) { SetSliderTip(FALSE); }

int AddToolbarExtras(HWND toolbar)
{
    const int last = (int)SendMessageA(toolbar, TB_BUTTONCOUNT, 0, 0) - 1;
    RECT rc = {};
    SendMessageA(toolbar, TB_GETITEMRECT, last, (LPARAM)&rc);
    const int frameX = rc.right + ScaleForDpi(8);
    HWND frame = MakeStatic(toolbar, NULL, SS_SUNKEN, frameX, ScaleForDpi(2), ScaleForDpi(74), ScaleForDpi(24));
    if (!frame)
        return 0;
    const int lightW = ScaleForDpi(kLightWidth), lightH = ScaleForDpi(kLightHeight);
    for (int i = 0; i < 3; i++) {
        HWND light = CreateWindowExA(0, "CORVID:KEYBLIGHT", NULL, WS_CHILD | WS_VISIBLE, i * lightW, 0, lightW, lightH,
                                     frame, NULL, g_viewer.instance, NULL);
        if (!light)
            return 0;
        SetWindowLongPtrA(light, GWLP_USERDATA, i);
        g_desktop.keyLights[i] = light;
    }
    const int r = frameX + ScaleForDpi(74);
    const int labelY = ScaleForDpi(6), labelH = ScaleForDpi(16);
    MakeStatic(toolbar, "min", SS_RIGHT, r + ScaleForDpi(8), labelY, ScaleForDpi(30), labelH);
    // Wider than "min": the bold "max" does not fit in 30 pixels.
    MakeStatic(toolbar, "max", SS_LEFT, r + ScaleForDpi(116), labelY, ScaleForDpi(36), labelH);
    g_desktop.levelSlider =
        CreateWindowExA(0, TRACKBAR_CLASSA, NULL, WS_CHILD | WS_VISIBLE | WS_DISABLED | TBS_AUTOTICKS | TBS_NOTICKS,
                        r + ScaleForDpi(40), ScaleForDpi(2), ScaleForDpi(74), ScaleForDpi(24), toolbar,
                        (HMENU)(INT_PTR)kSliderId, g_viewer.instance, NULL);
    if (!g_desktop.levelSlider)
        return 0;
    SendMessageA(g_desktop.levelSlider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kLevelMax));
    SendMessageA(g_desktop.levelSlider, TBM_SETPOS, TRUE, 0);
    SetSliderTip(TRUE);
    g_toolbarProc = (WNDPROC)SetWindowLongPtrA(toolbar, GWLP_WNDPROC, (LONG_PTR)ToolbarSubclassProc);
    return g_toolbarProc != NULL;
}

void EnableLevelSlider(DWORD level)
{
    if (level > kLevelMax)
        level = kLevelMax;
    g_desktop.sliderLevel = level;
    if (!g_desktop.levelSlider)
        return;
    SendMessageA(g_desktop.levelSlider, TBM_SETPOS, TRUE, level);
    EnableWindow(g_desktop.levelSlider, TRUE);
}

int HandleKeyboardLights(const SessPacketHeader *h, const BYTE *payload)
{
    uint8_t lights[3];
    if (!ParseKeyboardLights(h, payload, lights)) {
        WriteLogF("PKT_KEYBOARD_LIGHTS of %u bytes instead of %u: ignored.", (unsigned)h->dwDataLen,
                  (unsigned)kKeyboardLightsLen);
        return 1;
    }
    for (int i = 0; i < 3; i++) {
        g_desktop.lightState[i] = lights[i];
        if (g_desktop.keyLights[i])
            InvalidateRect(g_desktop.keyLights[i], NULL, FALSE);
    }
    return 1;
}

static void PaintLight(HWND wnd)
{
    static const WORD kIcons[3][2] = {
        {IDI_LIGHT0_OFF, IDI_LIGHT0_ON}, {IDI_LIGHT1_OFF, IDI_LIGHT1_ON}, {IDI_LIGHT2_OFF, IDI_LIGHT2_ON}};
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    LONG_PTR index = GetWindowLongPtrA(wnd, GWLP_USERDATA);
    if (index >= 0 && index < 3) {
        const int lit = g_desktop.lightState[index] != 0;
        const int w = ScaleForDpi(kLightWidth), h = ScaleForDpi(kLightHeight);
        HICON icon = (HICON)LoadImageA(g_viewer.instance, MAKEINTRESOURCEA(kIcons[index][lit]), IMAGE_ICON, w, h, 0);
        if (icon) {
            DrawIconEx(dc, 0, 0, icon, w, h, 0, NULL, DI_NORMAL);
            DestroyIcon(icon);
        }
    }
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK KeyLightProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PaintLight(wnd);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

enum { kToolbarImage = 18 };

HWND CreateEntryToolbar(HWND parent, UINT id, DWORD style, DWORD extendedStyle, WORD bitmap,
                        const ToolbarEntry *entries, int count)
{
    HWND tb = CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | style, 0, 0, 0, 0,
                              parent, (HMENU)(INT_PTR)id, g_viewer.instance, NULL);
    if (!tb)
        return NULL;
    SendMessageA(tb, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    if (extendedStyle)
        SendMessageA(tb, TB_SETEXTENDEDSTYLE, 0, extendedStyle);
    HIMAGELIST images = LoadToolbarImages(bitmap, kToolbarImage);
    if (images)
        SendMessageA(tb, TB_SETIMAGELIST, 0, (LPARAM)images);
    TBBUTTON buttons[32] = {};
    if (count > 32)
        count = 32;
    for (int i = 0; i < count; i++) {
        const ToolbarEntry &e = entries[i];
        buttons[i].iBitmap = e.style == BTNS_SEP ? 0 : e.image;
        buttons[i].idCommand = (int)e.command;
        buttons[i].fsState = e.state;
        buttons[i].fsStyle = e.style;
    }
    if (!SendMessageA(tb, TB_ADDBUTTONSA, count, (LPARAM)buttons)) {
        DestroyWindow(tb);
        return NULL;
    }
    ScaleToolbarButtons(tb, kToolbarImage);
    SendMessageA(tb, TB_AUTOSIZE, 0, 0);
    return tb;
}
