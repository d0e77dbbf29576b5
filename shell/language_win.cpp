// The main menu of the active language: the run-time language switch. UI thread only.
#include "shell/language_win.h"

#include "desktop/screenchoice_win.h"
#include "shell/commands.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/settings_win.h"
#include "shell/state.h"
#include "ui/toolbar_win.h"

static void CarryItems(HMENU from, HMENU to)
{
    int n = GetMenuItemCount(from);
    int m = GetMenuItemCount(to);
    for (int i = 0; i < n && i < m; i++) {
        UINT state = GetMenuState(from, i, MF_BYPOSITION);
        if (state == (UINT)-1)
            continue;
        // The low byte holds the flags; for a pop-up the high byte is its item count.
        if (state & MF_CHECKED)
            CheckMenuItem(to, i, MF_BYPOSITION | MF_CHECKED);
        EnableMenuItem(to, i, MF_BYPOSITION | ((state & (MF_GRAYED | MF_DISABLED)) ? MF_GRAYED : MF_ENABLED));
    }
}

void CarryMenuState(HMENU from, HMENU to)
{
    for (int top = 0;; top++) {
        HMENU toSub = GetSubMenu(to, top);
        if (!toSub)
            break;
        HMENU fromSub = GetSubMenu(from, top);
        if (!fromSub)
            continue;
        int n = GetMenuItemCount(fromSub);
        for (int i = 0; i < n; i++) {
            HMENU fromSecond = GetSubMenu(fromSub, i);
            HMENU toSecond = GetSubMenu(toSub, i);
            if (fromSecond && toSecond)
                CarryItems(fromSecond, toSecond);
        }
        CarryItems(fromSub, toSub);
    }
}

int SwitchLanguage(HWND mainWindow, int index)
{
    if (index < 0 || index >= kLanguageCount)
        return 0;
    HMODULE library = g_viewer.languageLibs[index];
    if (!library || library == g_viewer.activeLanguage)
        return 0;
    HMENU fresh = LoadMenuA(library, MAKEINTRESOURCEA(IDR_MAIN_MENU));
    if (!fresh) {
        WriteLogF("Menu %d of language library %d cannot be loaded (error %lu).", IDR_MAIN_MENU, index, GetLastError());
        return 0;
    }
    HMENU old = g_viewer.menu;
    if (old) {
        CheckMenuItem(old, IDM_LANG_ENGLISH, MF_BYCOMMAND | MF_UNCHECKED);
        CheckMenuItem(old, IDM_LANG_RUSSIAN, MF_BYCOMMAND | MF_UNCHECKED);
        CarryMenuState(old, fresh);
    }
    g_viewer.activeLanguage = library;
    g_viewer.settings.v[SET_LANGUAGE] = (uint32_t)index;
    g_viewer.menu = fresh;
    CheckMenuRadioItem(fresh, IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN, index ? IDM_LANG_RUSSIAN : IDM_LANG_ENGLISH,
                       MF_BYCOMMAND);
    RefreshScreenItems();
    SetMenu(mainWindow, fresh);
    if (old)
        DestroyMenu(old);
    UpdateSliderTooltip();
    if (g_viewer.fileTransferWindow)
        SendMessageA(g_viewer.fileTransferWindow, WM_CV_LANGUAGE_CHANGED, 0, 0);
    return 1;
}

void ChooseLanguage(HWND mainWindow, int index)
{
    if (SwitchLanguage(mainWindow, index) && g_viewer.settings.v[SET_SAVE_ON_EXIT])
        SaveSettings(NULL, 1);
}
