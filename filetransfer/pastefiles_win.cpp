// Files brought from outside the panels, dropped on the remote panel or pasted there
// (CF_HDROP): read from the block, grouped by folder, confirmed with the copy dialog and
// uploaded into the remote panel's folder, then the remote panel is read again. UI thread.
#include "filetransfer/dragout_win.h"
#include "filetransfer/droptarget_win.h"

#include "filetransfer/ftcommands.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"
#include "shell/strings_win.h"

#include <cstdio>
#include <cstring>
#include <shlobj.h> // DROPFILES

namespace {

enum { kPathCap = kFtPathMax + 2 }; // one more than a path may hold: a longer one is seen as such

// The paths of a CF_HDROP block in this computer's code page.
struct DroppedPaths {
    uint32_t count;
    char (*paths)[kPathCap];
    const char **list;
};

// A drop or paste is being confirmed or copied: another waits for it to end.
int g_taking;

void FreePaths(DroppedPaths *d)
{
    if (d->paths)
        HeapFree(GetProcessHeap(), 0, d->paths);
    if (d->list)
        HeapFree(GetProcessHeap(), 0, (void *)d->list);
    memset(d, 0, sizeof(*d));
}

HWND RemoteList(void) { return g_ft.panels[kFtRemote].list; }

void Refuse(UINT textId, const char *path)
{
    FtPathBox(RemoteList(), IDS_FT_CANNOT_COPY, IDS_FT_UPLOAD, textId, path, MB_OK | MB_ICONSTOP);
}

int AtEnd(const uint8_t *at, SIZE_T unit)
{
    WCHAR c = 0;
    memcpy(&c, at, unit); // a wide name may start at an odd offset
    return c == 0;
}

// Walks the block's list of names (wide or not): the count of names, or -1 when one runs
// past the block's end. With out, each name converted into it.
long WalkNames(const uint8_t *block, SIZE_T size, DroppedPaths *out)
{
    const DROPFILES *head = (const DROPFILES *)block;
    const SIZE_T unit = head->fWide ? sizeof(WCHAR) : 1;
    SIZE_T at = head->pFiles;
    long n = 0;
    for (;;) {
        SIZE_T end = at;
        while (end + unit <= size && !AtEnd(block + end, unit))
            end += unit;
        if (end + unit > size)
            return -1;
        if (end == at)
            return n;
        if (out) {
            char *to = out->paths[n];
            const int chars = (int)((end - at) / unit);
            BOOL lost = FALSE;
            int made;
            if (unit == 1) {
                made = chars < kPathCap ? chars : kPathCap - 1;
                memcpy(to, block + at, (size_t)made);
            } else {
                WCHAR wide[kPathCap];
                const int take = chars < kPathCap ? chars : kPathCap - 1;
                memcpy(wide, block + at, (size_t)take * sizeof(WCHAR));
                made = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, take, to, kPathCap - 1, NULL, &lost);
                if (made <= 0)
                    made = 0, lost = TRUE;
            }
            to[made] = 0;
            if (lost) {
                // The panels and the Agent name files in this code page only.
                WriteLogF("Drop: %s has characters this computer's code page lacks: nothing is copied.", to);
                Refuse(IDS_FT_DROP_NAME_CHARS, to);
                return -2;
            }
            out->list[n] = to;
        }
        n++;
        at = end + unit;
    }
}

// 1 with the paths of the block; 0 when it is damaged or memory ran out (reported).
int ReadDropped(HGLOBAL h, DroppedPaths *d)
{
    memset(d, 0, sizeof(*d));
    const SIZE_T size = h ? GlobalSize(h) : 0;
    const uint8_t *block = size >= sizeof(DROPFILES) ? (const uint8_t *)GlobalLock(h) : NULL;
    const long n = !block || ((const DROPFILES *)block)->pFiles > size ? -1 : WalkNames(block, size, NULL);
    if (n <= 0) {
        if (block)
            GlobalUnlock(h);
        WriteLogF("Drop: the list of files (%lu bytes) is %s: nothing is copied.", (unsigned long)size,
                  n == 0 ? "empty" : "damaged");
        if (n < 0)
            Refuse(IDS_FT_DROP_DAMAGED, "");
        return 0;
    }
    d->paths = (char(*)[kPathCap])HeapAlloc(GetProcessHeap(), 0, (SIZE_T)n * kPathCap);
    d->list = (const char **)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)n * sizeof(char *));
    if (!d->paths || !d->list) {
        GlobalUnlock(h);
        WriteLogF("Drop: no memory for the list of %ld files: nothing is copied.", n);
        FreePaths(d);
        return 0;
    }
    const long read = WalkNames(block, size, d);
    GlobalUnlock(h);
    if (read != n) {
        FreePaths(d);
        return 0;
    }
    d->count = (uint32_t)n;
    return 1;
}

// g_selection from the plan's names, as the local panel would have listed them.
int SelectPlanned(const FtDropPlan *plan)
{
    FtFreeSelection();
    const SIZE_T size = (SIZE_T)plan->count * sizeof(FileItem);
    g_selection.items = (FileItem *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    if (!g_selection.items) {
        WriteLogF("Drop: no memory for the list of %u items: nothing is copied.", (unsigned)plan->count);
        return 0;
    }
    g_selection.room = plan->count;
    for (uint32_t g = 0; g < plan->groups; g++)
        for (uint32_t i = plan->group[g].first; i < plan->group[g].first + plan->group[g].count; i++) {
            char path[kFtPathField];
            WIN32_FIND_DATAA fd;
            HANDLE h = FtJoinPath(plan->group[g].folder, plan->names[i], path) ? FindFirstFileA(path, &fd)
                                                                               : INVALID_HANDLE_VALUE;
            if (h == INVALID_HANDLE_VALUE) {
                WriteLogF("Drop: %s\\%s cannot be read (error %lu): nothing is copied.", plan->group[g].folder,
                          plan->names[i], GetLastError());
                FtLastErrorBox(RemoteList(), IDS_FT_CANNOT_COPY, IDS_FT_UPLOAD, path, MB_OK | MB_ICONSTOP);
                FtFreeSelection();
                return 0;
            }
            FindClose(h);
            FtEntry *e = &g_selection.items[i].entry;
            e->directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            e->attributes = fd.dwFileAttributes;
            e->created = (uint64_t)fd.ftCreationTime.dwHighDateTime << 32 | fd.ftCreationTime.dwLowDateTime;
            e->accessed = (uint64_t)fd.ftLastAccessTime.dwHighDateTime << 32 | fd.ftLastAccessTime.dwLowDateTime;
            e->written = (uint64_t)fd.ftLastWriteTime.dwHighDateTime << 32 | fd.ftLastWriteTime.dwLowDateTime;
            e->size = e->directory ? 0 : (uint64_t)fd.nFileSizeHigh << 32 | fd.nFileSizeLow;
            snprintf(e->name, sizeof(e->name), "%s", plan->names[i]);
            g_selection.count++;
        }
    return 1;
}

// The copy dialog's two places: "[computer] folder", the first folder and how many more.
void Places(const FtDropPlan *plan, char *from, size_t fromCap, char *to, size_t toCap)
{
    char folders[kFtPathField + 160];
    if (plan->groups > 1) {
        char tmpl[128];
        LoadLangString(IDS_FT_DROP_FOLDERS, tmpl, sizeof(tmpl));
        snprintf(folders, sizeof(folders), tmpl, plan->group[0].folder, (unsigned)(plan->groups - 1));
    } else {
        snprintf(folders, sizeof(folders), "%s", plan->group[0].folder);
    }
    snprintf(from, fromCap, "[%s] %s", g_viewer.localComputerName, folders);
    snprintf(to, toCap, "[%s] %s", g_viewer.target.hostText, g_ft.panels[kFtRemote].currentDirectory);
}

void Upload(const DroppedPaths *d)
{
    FtDropPlan plan;
    uint32_t bad = 0;
    const int r = FtPlanDrop(d->list, d->count, &plan, &bad);
    if (r != kFtDropOk) {
        const char *path = bad < d->count ? d->list[bad] : "";
        WriteLogF("Drop: %s cannot be copied (%d): nothing is copied.", path, r);
        if (r != kFtDropNoMemory)
            Refuse(IDS_FT_DROP_BAD_PATH, path);
        return;
    }
    FtDropPlan *kept = (FtDropPlan *)HeapAlloc(GetProcessHeap(), 0, sizeof(FtDropPlan));
    if (!kept || !SelectPlanned(&plan)) {
        if (!kept)
            WriteLogF("Drop: no memory for the list of folders: nothing is copied.");
        if (kept)
            HeapFree(GetProcessHeap(), 0, kept);
        FtFreeDropPlan(&plan);
        return;
    }
    char from[kFtPathField + 200], to[kFtPathField + 40];
    Places(&plan, from, sizeof(from), to, sizeof(to));
    *kept = plan;
    FtSetActivePanel(kFtRemote);
    if (FtAskCopy(RemoteList(), from, to) != IDYES || !g_ft.frame) {
        FtFreeSelection();
        FtFreeDropPlan(kept);
        HeapFree(GetProcessHeap(), 0, kept);
        return;
    }
    FtUploadDropPlan(RemoteList(), kept);
    FtFreeSelection();
    if (g_ft.frame) // not when the window went with the session meanwhile
        FtFrameCommand(IDM_FT_REFRESH_REMOTE);
}

} // namespace

int FtMayTakeFiles(int report)
{
    if (!g_ft.frame || g_taking || g_ft.activeDialog || !IsWindowEnabled(g_ft.frame) || !FtHasRight())
        return 0;
    char root[kFtPathField];
    if (!FtRootOf(g_ft.panels[kFtRemote].currentDirectory, root)) {
        if (report) {
            WriteLogF("Paste: the remote panel shows no folder yet: nothing copied.");
            FtPathBox(RemoteList(), IDS_FT_CANNOT_COPY, IDS_FT_UPLOAD, IDS_FT_COPY_NO_REMOTE, "",
                      MB_OK | MB_ICONINFORMATION);
        }
        return 0;
    }
    return 1;
}

void FtUploadDropped(HGLOBAL files)
{
    DroppedPaths d;
    // Checked again: the state may have changed since the drop was allowed.
    const int ok = FtMayTakeFiles(1) && ReadDropped(files, &d);
    GlobalFree(files);
    if (!ok)
        return;
    g_taking = 1;
    SetForegroundWindow(g_ft.frame); // the source program had the foreground during the drag
    Upload(&d);
    g_taking = 0;
    FreePaths(&d);
}

void FtPasteFiles(void)
{
    if (!FtMayTakeFiles(1))
        return;
    if (FtClipboardHoldsOwnItems()) {
        WriteLogF("Paste: the clipboard holds this viewer's own remote items.");
        FtPathBox(RemoteList(), IDS_FT_CANNOT_COPY, IDS_FT_UPLOAD, IDS_FT_PASTE_OWN_ITEMS, "",
                  MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!IsClipboardFormatAvailable(CF_HDROP)) {
        WriteLogF("Paste: the clipboard holds no files.");
        FtPathBox(RemoteList(), IDS_FT_CANNOT_COPY, IDS_FT_UPLOAD, IDS_FT_PASTE_NO_FILES, "",
                  MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!OpenClipboard(g_ft.frame)) {
        WriteLogF("Paste: the clipboard cannot be opened (error %lu).", GetLastError());
        Refuse(IDS_FT_CLIPBOARD_BUSY, "");
        return;
    }
    // A copy, so that the clipboard is closed again before the dialogs.
    HGLOBAL on = (HGLOBAL)GetClipboardData(CF_HDROP);
    const SIZE_T size = on ? GlobalSize(on) : 0;
    const void *src = size ? GlobalLock(on) : NULL;
    HGLOBAL files = src ? GlobalAlloc(GMEM_MOVEABLE, size) : NULL;
    void *dst = files ? GlobalLock(files) : NULL;
    if (dst) {
        memcpy(dst, src, size);
        GlobalUnlock(files);
    }
    if (src)
        GlobalUnlock(on);
    CloseClipboard();
    if (!dst) {
        WriteLogF("Paste: the files on the clipboard cannot be read (error %lu).", GetLastError());
        if (files)
            GlobalFree(files);
        Refuse(IDS_FT_DROP_DAMAGED, "");
        return;
    }
    FtUploadDropped(files);
}
