// Compare panels (40058): each list's selection is set to what the other list lacks or
// holds older. UI thread only.
#include "filetransfer/compare.h"
#include "filetransfer/panel_win.h"
#include "shell/log_win.h"

#include <commctrl.h>

// The records of a list in item order; NULL when memory ran out (logged).
static const FtEntry **Entries(FilePanel *p, int *count)
{
    const int n = p->list ? (int)SendMessageA(p->list, LVM_GETITEMCOUNT, 0, 0) : 0;
    *count = n > 0 ? n : 0;
    const FtEntry **out = (const FtEntry **)HeapAlloc(GetProcessHeap(), 0, (*count + 1) * sizeof(*out));
    if (!out) {
        WriteLogF("Compare panels: no memory for %d items.", *count);
        return NULL;
    }
    int k = 0;
    for (int i = 0; i < *count; i++) {
        LVITEMA it = {};
        it.mask = LVIF_PARAM;
        it.iItem = i;
        if (SendMessageA(p->list, LVM_GETITEMA, 0, (LPARAM)&it) && it.lParam)
            out[k++] = &((const FileItem *)it.lParam)->entry;
        else
            break; // every item carries its record; a list that says otherwise is left alone
    }
    *count = k;
    return out;
}

static void Mark(FilePanel *p, const unsigned char *select, int count)
{
    FtHoldRedraw(p, 1);
    for (int i = 0; i < count; i++) {
        const UINT want = select[i] ? LVIS_SELECTED : 0;
        if (((UINT)SendMessageA(p->list, LVM_GETITEMSTATE, i, LVIS_SELECTED) & LVIS_SELECTED) == want)
            continue;
        LVITEMA it = {};
        it.stateMask = LVIS_SELECTED;
        it.state = want;
        SendMessageA(p->list, LVM_SETITEMSTATE, i, (LPARAM)&it);
    }
    FtHoldRedraw(p, 0);
}

void FtComparePanels(void)
{
    HCURSOR was = SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_WAIT));
    int n[kFtPanels] = {};
    const FtEntry **lists[kFtPanels] = {Entries(&g_ft.panels[kFtLocal], &n[0]),
                                        Entries(&g_ft.panels[kFtRemote], &n[1])};
    unsigned char *select = NULL;
    if (lists[0] && lists[1])
        select = (unsigned char *)HeapAlloc(GetProcessHeap(), 0, (n[0] > n[1] ? n[0] : n[1]) + 1);
    if (lists[0] && lists[1] && !select)
        WriteLogF("Compare panels: no memory for %d items.", n[0] > n[1] ? n[0] : n[1]);
    // Local against remote first, then the other way round.
    for (int i = 0; select && i < kFtPanels; i++) {
        if (!FtCompareMarks(lists[i], (size_t)n[i], lists[1 - i], (size_t)n[1 - i], select)) {
            WriteLogF("Compare panels: no memory to index %d items.", n[1 - i]);
            break;
        }
        Mark(&g_ft.panels[i], select, n[i]);
    }
    for (int i = 0; i < kFtPanels; i++)
        if (lists[i])
            HeapFree(GetProcessHeap(), 0, (void *)lists[i]);
    if (select)
        HeapFree(GetProcessHeap(), 0, select);
    SetCursor(was);
}
