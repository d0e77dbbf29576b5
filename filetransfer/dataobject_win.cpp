// Remote items as an IDataObject (C-style COM: a structure and a table of functions) with
// CF_HDROP rendered late: the files are downloaded into a temporary folder of their own
// the first time a target asks after the drop (a drag) or at all (the clipboard), under
// the usual progress dialog; a cancel or failure gives the target nothing and removes the
// folder. The folder goes when the object is released, else at exit or the next start.
// CF_HDROP of real files rather than FILEDESCRIPTOR streams: Explorer copies folder trees
// from it as from any folder, where streams would need every remote folder listed before
// the drag could begin. The object is asynchronous as the shell means it
// (IDataObjectAsyncCapability): Explorer then asks from a thread of its own after the drop
// has ended, and stays responsive while the files come. All calls come on the UI thread,
// the object's apartment.
#define CINTERFACE
#define COBJMACROS
#include "filetransfer/dataobject_win.h"
#include "filetransfer/dragout_win.h"
#include "filetransfer/outbox.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <shldisp.h> // IDataObjectAsyncCapability
#include <shlobj.h>  // DROPFILES

namespace {

struct OutData {
    IDataObjectVtbl *lpVtbl;
    IDataObjectAsyncCapabilityVtbl *asyncVtbl; // the same object as IDataObjectAsyncCapability
    LONG refs;
    BOOL async;            // the target may take the files after the drop has ended
    BOOL inOperation;      // between the target's StartOperation and EndOperation
    SelectionList items;   // the remote records, in list order
    char remote[MAX_PATH]; // the remote folder they are in
    char folder[MAX_PATH]; // the temporary folder the files come into
    int armed;             // a request for the files downloads them
    int rendering;         // the download runs (its dialog pumps messages)
    int rendered;          // the files are in folder
};

struct FormatEnum {
    IEnumFORMATETCVtbl *lpVtbl;
    LONG refs;
    ULONG next;
};

enum { kFormats = 3 };
UINT g_preferredEffect, g_ownMark;
volatile LONG g_serial;

// CF_HDROP, the shell's "Preferred DropEffect" (a paste copies) and a mark by which the
// viewer knows its own items, holding its process id.
void Formats(FORMATETC out[kFormats])
{
    if (!g_preferredEffect)
        g_preferredEffect = RegisterClipboardFormatA("Preferred DropEffect");
    if (!g_ownMark)
        g_ownMark = RegisterClipboardFormatA("Corvid remote items");
    const CLIPFORMAT ids[kFormats] = {CF_HDROP, (CLIPFORMAT)g_preferredEffect, (CLIPFORMAT)g_ownMark};
    for (int i = 0; i < kFormats; i++) {
        out[i].cfFormat = ids[i];
        out[i].ptd = NULL;
        out[i].dwAspect = DVASPECT_CONTENT;
        out[i].lindex = -1;
        out[i].tymed = TYMED_HGLOBAL;
    }
}

int Offered(const FORMATETC *f)
{
    FORMATETC all[kFormats];
    Formats(all);
    for (int i = 0; i < kFormats; i++)
        if (f->cfFormat == all[i].cfFormat)
            return (f->tymed & TYMED_HGLOBAL) && f->dwAspect == DVASPECT_CONTENT;
    return 0;
}

// ---- the temporary folders ---------------------------------------------------------------

int TempRoot(char out[MAX_PATH])
{
    const DWORD n = GetTempPathA(MAX_PATH, out);
    return n > 0 && n < MAX_PATH;
}

// Removes path and all in it; links and junctions are removed, never followed. 1 when
// nothing is left.
int RemoveTree(const char *path)
{
    const DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (a & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesA(path, a & ~(DWORD)FILE_ATTRIBUTE_READONLY);
    if (!(a & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileA(path);
    int ok = 1;
    char pattern[kFtPathField], child[kFtPathField];
    WIN32_FIND_DATAA fd;
    HANDLE h = !(a & FILE_ATTRIBUTE_REPARSE_POINT) && FtJoinPath(path, "*", pattern) ? FindFirstFileA(pattern, &fd)
                                                                                     : INVALID_HANDLE_VALUE;
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(fd.cFileName, ".") || !strcmp(fd.cFileName, ".."))
                continue;
            ok &= FtJoinPath(path, fd.cFileName, child) && RemoveTree(child);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    return RemoveDirectoryA(path) && ok;
}

void Remove(const char *folder, const char *when)
{
    if (RemoveTree(folder))
        return;
    WriteLogF("Remote files given out: %s cannot be removed %s (error %lu); it goes at exit or at the next "
              "start.",
              folder, when, GetLastError());
}

uint64_t Ticks(FILETIME t) { return ((uint64_t)t.dwHighDateTime << 32) | t.dwLowDateTime; }

// Whether the folder of process pid, made at created, is left from a viewer that has ended.
int Stale(DWORD pid, uint64_t created)
{
    if (pid == GetCurrentProcessId())
        return 0;
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid);
    if (!p) // refused: it runs, under another user; anything else: there is no such process
        return FtOutboxStale(GetLastError() == ERROR_ACCESS_DENIED, 0, created);
    FILETIME start, end, kernel, user;
    const int running = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
    const uint64_t started = GetProcessTimes(p, &start, &end, &kernel, &user) ? Ticks(start) : 0;
    CloseHandle(p);
    return FtOutboxStale(running, started, created);
}

// Folders of the temporary folder that ended viewers left (all: 0), or this viewer's (1).
void Sweep(int own)
{
    char root[MAX_PATH], pattern[kFtPathField], path[kFtPathField];
    if (!TempRoot(root) || !FtJoinPath(root, kFtOutboxPattern, pattern))
        return;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        uint32_t pid = 0, serial = 0;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !FtOutboxParse(fd.cFileName, &pid, &serial))
            continue;
        const int mine = pid == GetCurrentProcessId();
        if ((own ? mine : Stale(pid, Ticks(fd.ftCreationTime))) && FtJoinPath(root, fd.cFileName, path)) {
            if (RemoveTree(path))
                WriteLogF("Remote files given out: removed %s.", path);
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

// ---- rendering -----------------------------------------------------------------------------

// A copy of the records for one download, which takes it.
int CopyItems(const SelectionList *from, SelectionList *to)
{
    to->items = (FileItem *)HeapAlloc(GetProcessHeap(), 0, sizeof(FileItem) * (SIZE_T)from->count);
    if (!to->items)
        return 0;
    memcpy(to->items, from->items, sizeof(FileItem) * (SIZE_T)from->count);
    to->count = to->room = from->count;
    return 1;
}

void Refuse(UINT textId, const char *log)
{
    WriteLogF("Remote files given out: %s: nothing given.", log);
    HWND owner = g_ft.frame ? g_ft.frame : g_viewer.mainWindow;
    FtPathBox(owner, IDS_FT_CANNOT_COPY, IDS_FT_DOWNLOAD, textId, "", MB_OK | MB_ICONINFORMATION);
}

// The files into o->folder; S_OK when every item arrived. Anything short of that leaves
// no folder behind.
HRESULT Render(OutData *o)
{
    if (o->rendered && GetFileAttributesA(o->folder) != INVALID_FILE_ATTRIBUTES)
        return S_OK;
    o->rendered = 0;
    if (o->rendering) {
        // Asked again from inside the download's own dialog.
        WriteLogF("Remote files given out: asked for again while they are being downloaded.");
        return E_UNEXPECTED;
    }
    if (!g_ft.frame) {
        Refuse(IDS_FT_OUT_NO_WINDOW, "the file-transfer window is closed");
        return E_FAIL;
    }
    if (!FtHasRight()) {
        Refuse(IDS_FT_OUT_NO_RIGHT, "the Agent grants no file transfer");
        return E_FAIL;
    }
    if (g_ft.activeDialog) {
        Refuse(IDS_FT_OUT_BUSY, "another operation is under way");
        return E_FAIL;
    }
    SelectionList items = {};
    if (!CopyItems(&o->items, &items)) {
        WriteLogF("Remote files given out: no memory for the list of %u items: nothing given.",
                  (unsigned)o->items.count);
        return E_OUTOFMEMORY;
    }
    if (!CreateDirectoryA(o->folder, NULL)) {
        const DWORD error = GetLastError();
        WriteLogF("Remote files given out: %s cannot be made (error %lu): nothing given.", o->folder, error);
        HeapFree(GetProcessHeap(), 0, items.items);
        SetLastError(error);
        FtLastErrorBox(g_ft.frame, IDS_FT_CANNOT_CREATE_FOLDER, 0, o->folder, MB_OK | MB_ICONSTOP);
        return E_FAIL;
    }
    WriteLogF("Remote files given out: %u items of %s are downloaded into %s.", (unsigned)o->items.count, o->remote,
              o->folder);
    o->rendering = 1;
    IDataObject_AddRef((IDataObject *)o); // a target letting go meanwhile does not free it
    const int r = FtDownloadInto(g_ft.frame, &items, o->remote, o->folder);
    o->rendering = 0;
    if (r != 1) {
        WriteLogF("Remote files given out: the download stopped; the target gets nothing.");
        Remove(o->folder, "after the stopped download");
    } else {
        o->rendered = 1;
    }
    IDataObject_Release((IDataObject *)o);
    return r == 1 ? S_OK : E_FAIL;
}

// DROPFILES with the items' paths in the temporary folder, wide, double-terminated.
HGLOBAL DropFiles(const OutData *o)
{
    WCHAR folder[MAX_PATH];
    const int fn = MultiByteToWideChar(CP_ACP, 0, o->folder, -1, folder, MAX_PATH);
    if (fn <= 0)
        return NULL;
    SIZE_T chars = 1;
    for (uint32_t i = 0; i < o->items.count; i++)
        chars += (SIZE_T)fn + 1 + MAX_PATH; // folder, backslash, name and its end
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(WCHAR));
    DROPFILES *df = g ? (DROPFILES *)GlobalLock(g) : NULL;
    if (!df) {
        if (g)
            GlobalFree(g);
        return NULL;
    }
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    WCHAR *p = (WCHAR *)(df + 1);
    for (uint32_t i = 0; i < o->items.count; i++) {
        memcpy(p, folder, (size_t)(fn - 1) * sizeof(WCHAR));
        p += fn - 1;
        *p++ = L'\\';
        const int n = MultiByteToWideChar(CP_ACP, 0, o->items.items[i].entry.name, -1, p, MAX_PATH);
        p += n > 0 ? n : 1; // each ends with its terminator
    }
    GlobalUnlock(g);
    return g;
}

HGLOBAL Word(DWORD value)
{
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
    DWORD *p = g ? (DWORD *)GlobalLock(g) : NULL;
    if (!p) {
        if (g)
            GlobalFree(g);
        return NULL;
    }
    *p = value;
    GlobalUnlock(g);
    return g;
}

// ---- IDataObject ---------------------------------------------------------------------------

OutData *Of(IDataObject *This) { return (OutData *)This; }

HRESULT STDMETHODCALLTYPE QueryInterface(IDataObject *This, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
        *out = This;
        IDataObject_AddRef(This);
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IDataObjectAsyncCapability)) {
        *out = &Of(This)->asyncVtbl;
        IDataObject_AddRef(This);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AddRef(IDataObject *This) { return (ULONG)InterlockedIncrement(&Of(This)->refs); }

ULONG STDMETHODCALLTYPE Release(IDataObject *This)
{
    OutData *o = Of(This);
    const LONG n = InterlockedDecrement(&o->refs);
    if (n)
        return (ULONG)n;
    if (GetFileAttributesA(o->folder) != INVALID_FILE_ATTRIBUTES)
        Remove(o->folder, "when its target let it go");
    if (o->items.items)
        HeapFree(GetProcessHeap(), 0, o->items.items);
    HeapFree(GetProcessHeap(), 0, o);
    return 0;
}

HRESULT STDMETHODCALLTYPE GetData(IDataObject *This, FORMATETC *f, STGMEDIUM *m)
{
    OutData *o = Of(This);
    if (!f || !m)
        return E_INVALIDARG;
    if (!Offered(f))
        return DV_E_FORMATETC;
    m->tymed = TYMED_HGLOBAL;
    m->pUnkForRelease = NULL;
    m->hGlobal = NULL;
    if (f->cfFormat == CF_HDROP) {
        // Before the drop a target looking at the paths gets where the files will be.
        const HRESULT r = o->armed ? Render(o) : S_OK;
        if (FAILED(r))
            return r;
        m->hGlobal = DropFiles(o);
    } else {
        m->hGlobal = Word(f->cfFormat == g_ownMark ? GetCurrentProcessId() : DROPEFFECT_COPY);
    }
    return m->hGlobal ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE GetDataHere(IDataObject *, FORMATETC *, STGMEDIUM *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE QueryGetData(IDataObject *, FORMATETC *f) { return f && Offered(f) ? S_OK : DV_E_FORMATETC; }

HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(IDataObject *, FORMATETC *, FORMATETC *out)
{
    if (out)
        out->ptd = NULL;
    return DATA_S_SAMEFORMATETC;
}

// What targets set (the effect performed, the shell's drag image) is not kept.
HRESULT STDMETHODCALLTYPE SetData(IDataObject *, FORMATETC *, STGMEDIUM *, BOOL) { return E_NOTIMPL; }

HRESULT NewFormatEnum(IEnumFORMATETC **out, ULONG next);

HRESULT STDMETHODCALLTYPE EnumFormatEtc(IDataObject *, DWORD direction, IEnumFORMATETC **out)
{
    if (!out)
        return E_POINTER;
    *out = NULL;
    return direction == DATADIR_GET ? NewFormatEnum(out, 0) : E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DAdvise(IDataObject *, FORMATETC *, DWORD, IAdviseSink *, DWORD *)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE DUnadvise(IDataObject *, DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT STDMETHODCALLTYPE EnumDAdvise(IDataObject *, IEnumSTATDATA **) { return OLE_E_ADVISENOTSUPPORTED; }

IDataObjectVtbl g_dataVtbl = {QueryInterface,        AddRef,  Release,       GetData, GetDataHere, QueryGetData,
                              GetCanonicalFormatEtc, SetData, EnumFormatEtc, DAdvise, DUnadvise,   EnumDAdvise};

// ---- IDataObjectAsyncCapability -------------------------------------------------------------

IDataObject *FromAsync(IDataObjectAsyncCapability *This)
{
    return (IDataObject *)((char *)This - offsetof(OutData, asyncVtbl));
}

HRESULT STDMETHODCALLTYPE AsyncQueryInterface(IDataObjectAsyncCapability *This, REFIID riid, void **out)
{
    return QueryInterface(FromAsync(This), riid, out);
}

ULONG STDMETHODCALLTYPE AsyncAddRef(IDataObjectAsyncCapability *This) { return AddRef(FromAsync(This)); }
ULONG STDMETHODCALLTYPE AsyncRelease(IDataObjectAsyncCapability *This) { return Release(FromAsync(This)); }

HRESULT STDMETHODCALLTYPE SetAsyncMode(IDataObjectAsyncCapability *This, BOOL on)
{
    Of(FromAsync(This))->async = on;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE GetAsyncMode(IDataObjectAsyncCapability *This, BOOL *on)
{
    if (!on)
        return E_INVALIDARG;
    *on = Of(FromAsync(This))->async;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE StartOperation(IDataObjectAsyncCapability *This, IBindCtx *)
{
    Of(FromAsync(This))->inOperation = TRUE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InOperation(IDataObjectAsyncCapability *This, BOOL *on)
{
    if (!on)
        return E_INVALIDARG;
    *on = Of(FromAsync(This))->inOperation;
    return S_OK;
}

// The target has taken the files: their folder goes now, and a further paste of the same
// clipboard downloads them again, as they are then.
HRESULT STDMETHODCALLTYPE EndOperation(IDataObjectAsyncCapability *This, HRESULT, IBindCtx *, DWORD)
{
    OutData *o = Of(FromAsync(This));
    o->inOperation = FALSE;
    if (!o->rendering && GetFileAttributesA(o->folder) != INVALID_FILE_ATTRIBUTES) {
        o->rendered = 0;
        Remove(o->folder, "when its target had taken the files");
    }
    return S_OK;
}

IDataObjectAsyncCapabilityVtbl g_asyncVtbl = {AsyncQueryInterface, AsyncAddRef,    AsyncRelease, SetAsyncMode,
                                              GetAsyncMode,        StartOperation, InOperation,  EndOperation};

// ---- IEnumFORMATETC ------------------------------------------------------------------------

FormatEnum *EnumOf(IEnumFORMATETC *This) { return (FormatEnum *)This; }

HRESULT STDMETHODCALLTYPE EnumQueryInterface(IEnumFORMATETC *This, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumFORMATETC)) {
        *out = This;
        IEnumFORMATETC_AddRef(This);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EnumAddRef(IEnumFORMATETC *This) { return (ULONG)InterlockedIncrement(&EnumOf(This)->refs); }

ULONG STDMETHODCALLTYPE EnumRelease(IEnumFORMATETC *This)
{
    const LONG n = InterlockedDecrement(&EnumOf(This)->refs);
    if (!n)
        HeapFree(GetProcessHeap(), 0, This);
    return (ULONG)n;
}

HRESULT STDMETHODCALLTYPE EnumNext(IEnumFORMATETC *This, ULONG count, FORMATETC *out, ULONG *fetched)
{
    FormatEnum *e = EnumOf(This);
    if (!out || (count > 1 && !fetched))
        return E_INVALIDARG;
    FORMATETC all[kFormats];
    Formats(all);
    ULONG n = 0;
    while (n < count && e->next < kFormats)
        out[n++] = all[e->next++];
    if (fetched)
        *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE EnumSkip(IEnumFORMATETC *This, ULONG count)
{
    FormatEnum *e = EnumOf(This);
    const ULONG left = kFormats - e->next;
    e->next += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE EnumReset(IEnumFORMATETC *This)
{
    EnumOf(This)->next = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE EnumClone(IEnumFORMATETC *This, IEnumFORMATETC **out)
{
    if (!out)
        return E_POINTER;
    return NewFormatEnum(out, EnumOf(This)->next);
}

IEnumFORMATETCVtbl g_enumVtbl = {EnumQueryInterface, EnumAddRef, EnumRelease, EnumNext, EnumSkip, EnumReset, EnumClone};

HRESULT NewFormatEnum(IEnumFORMATETC **out, ULONG next)
{
    FormatEnum *e = (FormatEnum *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FormatEnum));
    if (!e)
        return E_OUTOFMEMORY;
    e->lpVtbl = &g_enumVtbl;
    e->refs = 1;
    e->next = next;
    *out = (IEnumFORMATETC *)e;
    return S_OK;
}

} // namespace

IDataObject *FtNewOutData(SelectionList *items, const char *remote, int armed)
{
    char root[MAX_PATH], name[64];
    OutData *o = (OutData *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(OutData));
    HWND owner = g_ft.frame ? g_ft.frame : g_viewer.mainWindow;
    if (!o) {
        WriteLogF("Remote files given out: no memory for them: nothing given.");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        FtLastErrorBox(owner, IDS_FT_CANNOT_COPY, IDS_FT_DOWNLOAD, NULL, MB_OK | MB_ICONSTOP);
        return NULL;
    }
    root[0] = 0;
    if (!TempRoot(root) ||
        !FtOutboxName(GetCurrentProcessId(), (uint32_t)InterlockedIncrement(&g_serial), name, sizeof(name)) ||
        !FtJoinPath(root, name, o->folder)) {
        WriteLogF("Remote files given out: the temporary folder %s is out of reach: nothing given.", root);
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        FtLastErrorBox(owner, IDS_FT_CANNOT_CREATE_FOLDER, 0, root, MB_OK | MB_ICONSTOP);
        HeapFree(GetProcessHeap(), 0, o);
        return NULL;
    }
    o->lpVtbl = &g_dataVtbl;
    o->asyncVtbl = &g_asyncVtbl;
    o->refs = 1;
    o->async = TRUE;
    o->items = *items;
    *items = SelectionList{};
    snprintf(o->remote, sizeof(o->remote), "%s", remote);
    o->armed = armed;
    return (IDataObject *)o;
}

void FtArmOutData(IDataObject *o)
{
    if (o)
        Of(o)->armed = 1;
}

int FtClipboardHoldsOwnItems(void)
{
    FORMATETC all[kFormats];
    Formats(all);
    DWORD pid = 0;
    HWND owner = GetClipboardOwner();
    if (owner)
        GetWindowThreadProcessId(owner, &pid);
    return pid == GetCurrentProcessId() && IsClipboardFormatAvailable(g_ownMark);
}

void FtReleaseClipboard(void)
{
    // Let go, not flushed: a flush would download everything now.
    if (FtClipboardHoldsOwnItems() && FAILED(OleSetClipboard(NULL)))
        WriteLogF("Remote files given out: the clipboard cannot be let go.");
}

void FtOutboxAtStart(void) { Sweep(0); }

void FtOutboxAtExit(void)
{
    FtReleaseClipboard();
    Sweep(1);
}
