// Column and selection helpers for the viewer's list views. UI thread.
#pragma once
#include <windows.h>

struct ListColumn {
    UINT stringId; // title in the active language library
    int width;     // pixels at 96 DPI, scaled to the display
};

// Inserts count left-aligned columns, column i with the title of cols[i] and its
// width. Returns 0 at the first insertion that fails.
int InsertListColumns(HWND list, const ListColumn *cols, int count);

// Gives the first count columns the titles of the active library, keeping the
// widths the user left them at. Returns 0 when a column cannot be set.
int RetitleListColumns(HWND list, const ListColumn *cols, int count);

void ListSelectAll(HWND list);

// Inverts every item's selection. Returns 1 when at least one item became selected.
int ListInvertSelection(HWND list);
