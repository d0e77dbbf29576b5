// Column and selection helpers for the viewer's list views. UI thread.
#include "ui/listview_win.h"

#include "shell/state.h"
#include "ui/dpi_win.h"

#include <commctrl.h>

#include <cstring>

enum { kColumnTitleChars = 63 };

// Titles go in as UTF-16 straight from the library, so a Russian title shows the
// same whatever the system's ANSI code page.
static void LoadColumnTitle(UINT id, WCHAR *out)
{
    out[0] = 0;
    const WCHAR *res = NULL;
    int n = LoadStringW(g_viewer.activeLanguage, id, (LPWSTR)&res, 0);
    if (n <= 0 || !res)
        return;
    if (n > kColumnTitleChars)
        n = kColumnTitleChars;
    memcpy(out, res, n * sizeof(WCHAR));
    out[n] = 0;
}

int InsertListColumns(HWND list, const ListColumn *cols, int count)
{
    for (int i = 0; i < count; i++) {
        WCHAR title[kColumnTitleChars + 1];
        LoadColumnTitle(cols[i].stringId, title);
        LVCOLUMNW c;
        memset(&c, 0, sizeof(c));
        c.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.fmt = LVCFMT_LEFT;
        c.cx = ScaleForDpi(cols[i].width);
        c.pszText = title;
        c.iSubItem = i;
        if (SendMessageW(list, LVM_INSERTCOLUMNW, i, (LPARAM)&c) == -1)
            return 0;
    }
    return 1;
}

int RetitleListColumns(HWND list, const ListColumn *cols, int count)
{
    for (int i = 0; i < count; i++) {
        int width = (int)SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0);
        WCHAR title[kColumnTitleChars + 1];
        LoadColumnTitle(cols[i].stringId, title);
        LVCOLUMNW c;
        memset(&c, 0, sizeof(c));
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.cx = width;
        c.pszText = title;
        if (!SendMessageW(list, LVM_SETCOLUMNW, i, (LPARAM)&c))
            return 0;
    }
    return 1;
}

void ListSelectAll(HWND list) { ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED); }

int ListInvertSelection(HWND list)
{
    int count = ListView_GetItemCount(list);
    int selectedAny = 0;
    for (int i = 0; i < count; i++) {
        if (ListView_GetItemState(list, i, LVIS_SELECTED) & LVIS_SELECTED) {
            ListView_SetItemState(list, i, 0, LVIS_SELECTED);
        } else {
            ListView_SetItemState(list, i, LVIS_SELECTED, LVIS_SELECTED);
            selectedAny = 1;
        }
    }
    return selectedAny;
}
