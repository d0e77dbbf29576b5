// A test program that offers files as Explorer does: "drag" starts a real DoDragDrop of a
// CF_HDROP data object when its window is pressed, "clip" puts CF_HDROP on the clipboard.
//   dragsource.exe drag X Y W H OUT PATH...   window at X,Y (W x H, topmost); after the
//       drop OUT gets "hr=H effect=E feedback=F1,F2,...": DoDragDrop's result, the effect
//       the target chose and each change of the effect shown while dragging
//   dragsource.exe clip OUT PATH...           OUT gets "ready" once the clipboard holds the
//       files; the program stays (owning the clipboard) until its window is closed
// A PATH of "@LIST" stands for the paths in file LIST, one a line (UTF-8), for lists longer
// than a command line takes. The window's class is CORVID:DRAGSOURCE. Not part of the product.
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

HGLOBAL g_files;      // the CF_HDROP block offered
const wchar_t *g_out; // where the result goes
DWORD g_feedback[64]; // each new effect GiveFeedback was told
int g_feedbackCount;

// ---- the data object: CF_HDROP in an HGLOBAL, nothing else -----------------------------

struct DataObject {
    IDataObjectVtbl *lpVtbl;
    LONG refs;
};

struct DropSource {
    IDropSourceVtbl *lpVtbl;
    LONG refs;
};

int IsHdrop(const FORMATETC *f)
{
    return f->cfFormat == CF_HDROP && (f->tymed & TYMED_HGLOBAL) && f->dwAspect == DVASPECT_CONTENT;
}

HGLOBAL CopyFiles(void)
{
    const SIZE_T size = GlobalSize(g_files);
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, size);
    void *to = h ? GlobalLock(h) : NULL;
    if (!to)
        return NULL;
    memcpy(to, GlobalLock(g_files), size);
    GlobalUnlock(g_files);
    GlobalUnlock(h);
    return h;
}

HRESULT STDMETHODCALLTYPE DataQueryInterface(IDataObject *t, REFIID riid, void **out)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
        *out = t;
        IDataObject_AddRef(t);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE DataAddRef(IDataObject *t) { return InterlockedIncrement(&((DataObject *)t)->refs); }
ULONG STDMETHODCALLTYPE DataRelease(IDataObject *t) { return InterlockedDecrement(&((DataObject *)t)->refs); }

HRESULT STDMETHODCALLTYPE GetData(IDataObject *, FORMATETC *f, STGMEDIUM *m)
{
    if (!IsHdrop(f))
        return DV_E_FORMATETC;
    m->tymed = TYMED_HGLOBAL;
    m->hGlobal = CopyFiles();
    m->pUnkForRelease = NULL;
    return m->hGlobal ? S_OK : E_OUTOFMEMORY;
}
HRESULT STDMETHODCALLTYPE GetDataHere(IDataObject *, FORMATETC *, STGMEDIUM *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE QueryGetData(IDataObject *, FORMATETC *f) { return IsHdrop(f) ? S_OK : DV_E_FORMATETC; }
HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(IDataObject *, FORMATETC *, FORMATETC *out)
{
    out->ptd = NULL;
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE SetData(IDataObject *, FORMATETC *, STGMEDIUM *, BOOL) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE EnumFormatEtc(IDataObject *, DWORD direction, IEnumFORMATETC **out)
{
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    FORMATETC f = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &f, out);
}
HRESULT STDMETHODCALLTYPE DAdvise(IDataObject *, FORMATETC *, DWORD, IAdviseSink *, DWORD *)
{
    return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT STDMETHODCALLTYPE DUnadvise(IDataObject *, DWORD) { return OLE_E_ADVISENOTSUPPORTED; }
HRESULT STDMETHODCALLTYPE EnumDAdvise(IDataObject *, IEnumSTATDATA **) { return OLE_E_ADVISENOTSUPPORTED; }

IDataObjectVtbl g_dataVtbl = {DataQueryInterface,    DataAddRef, DataRelease,   GetData, GetDataHere, QueryGetData,
                              GetCanonicalFormatEtc, SetData,    EnumFormatEtc, DAdvise, DUnadvise,   EnumDAdvise};
DataObject g_data = {&g_dataVtbl, 1};

// ---- the drop source: drops when the left button goes up -------------------------------

HRESULT STDMETHODCALLTYPE SourceQueryInterface(IDropSource *t, REFIID riid, void **out)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
        *out = t;
        IDropSource_AddRef(t);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE SourceAddRef(IDropSource *t) { return InterlockedIncrement(&((DropSource *)t)->refs); }
ULONG STDMETHODCALLTYPE SourceRelease(IDropSource *t) { return InterlockedDecrement(&((DropSource *)t)->refs); }

HRESULT STDMETHODCALLTYPE QueryContinueDrag(IDropSource *, BOOL escape, DWORD keys)
{
    if (escape)
        return DRAGDROP_S_CANCEL;
    return keys & MK_LBUTTON ? S_OK : DRAGDROP_S_DROP;
}

HRESULT STDMETHODCALLTYPE GiveFeedback(IDropSource *, DWORD effect)
{
    if ((!g_feedbackCount || g_feedback[g_feedbackCount - 1] != effect) && g_feedbackCount < 64)
        g_feedback[g_feedbackCount++] = effect;
    return DRAGDROP_S_USEDEFAULTCURSORS;
}

IDropSourceVtbl g_sourceVtbl = {SourceQueryInterface, SourceAddRef, SourceRelease, QueryContinueDrag, GiveFeedback};
DropSource g_source = {&g_sourceVtbl, 1};

// ---- the program -------------------------------------------------------------------------

// A DROPFILES block of wide full paths, as Explorer gives.
HGLOBAL MakeFiles(wchar_t **paths, int n)
{
    SIZE_T chars = 1;
    for (int i = 0; i < n; i++)
        chars += wcslen(paths[i]) + 1;
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + chars * sizeof(wchar_t));
    DROPFILES *d = h ? (DROPFILES *)GlobalLock(h) : NULL;
    if (!d)
        return NULL;
    d->pFiles = sizeof(DROPFILES);
    d->fWide = TRUE;
    wchar_t *at = (wchar_t *)(d + 1);
    for (int i = 0; i < n; i++) {
        const size_t len = wcslen(paths[i]);
        memcpy(at, paths[i], len * sizeof(wchar_t));
        at += len + 1;
    }
    GlobalUnlock(h);
    return h;
}

// The paths of the command line, with each @LIST replaced by the lines of LIST.
wchar_t **ExpandLists(wchar_t **paths, int n, int *count)
{
    static wchar_t *out[65536];
    int k = 0;
    for (int i = 0; i < n && k < 65536; i++) {
        if (paths[i][0] != L'@') {
            out[k++] = paths[i];
            continue;
        }
        FILE *f = _wfopen(paths[i] + 1, L"rb");
        char line[2048];
        while (f && k < 65536 && fgets(line, sizeof(line), f)) {
            line[strcspn(line, "\r\n")] = 0;
            if (!line[0])
                continue;
            const int chars = MultiByteToWideChar(CP_UTF8, 0, line, -1, NULL, 0);
            out[k] = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)chars * sizeof(wchar_t));
            if (out[k] && MultiByteToWideChar(CP_UTF8, 0, line, -1, out[k], chars))
                k++;
        }
        if (f)
            fclose(f);
    }
    *count = k;
    return out;
}

void WriteOut(const char *text)
{
    FILE *f = _wfopen(g_out, L"w");
    if (f) {
        fputs(text, f);
        fclose(f);
    }
}

void Drag(void)
{
    DWORD effect = DROPEFFECT_NONE;
    // Explorer offers all three; the target picks.
    const HRESULT hr = DoDragDrop((IDataObject *)&g_data, (IDropSource *)&g_source,
                                  DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, &effect);
    char line[512];
    int at = snprintf(line, sizeof(line), "hr=%08lx effect=%lu feedback=", (unsigned long)hr, (unsigned long)effect);
    for (int i = 0; i < g_feedbackCount && at < (int)sizeof(line) - 16; i++)
        at += snprintf(line + at, sizeof(line) - (size_t)at, "%s%lu", i ? "," : "", (unsigned long)g_feedback[i]);
    snprintf(line + at, sizeof(line) - (size_t)at, "\n");
    WriteOut(line);
    PostQuitMessage(0);
}

LRESULT CALLBACK WindowProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
        Drag();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const int drag = argc >= 8 && !wcscmp(argv[1], L"drag");
    const int clip = argc >= 4 && !wcscmp(argv[1], L"clip");
    if (!drag && !clip)
        return 2;
    if (FAILED(OleInitialize(NULL)))
        return 3;
    g_out = argv[drag ? 6 : 2];
    const int first = drag ? 7 : 3;
    int count = 0;
    wchar_t **paths = ExpandLists(argv + first, argc - first, &count);
    g_files = MakeFiles(paths, count);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_HIGHLIGHT + 1);
    wc.lpszClassName = L"CORVID:DRAGSOURCE";
    if (!g_files || !RegisterClassW(&wc))
        return 4;
    const int x = drag ? _wtoi(argv[2]) : 0, y = drag ? _wtoi(argv[3]) : 0;
    const int width = drag ? _wtoi(argv[4]) : 1, height = drag ? _wtoi(argv[5]) : 1;
    HWND w = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, L"dragsource", WS_POPUP, x, y, width,
                             height, NULL, NULL, instance, NULL);
    if (!w)
        return 5;
    if (drag) {
        ShowWindow(w, SW_SHOWNOACTIVATE);
        UpdateWindow(w);
        WriteOut("ready\n");
    } else {
        HGLOBAL copy = CopyFiles();
        if (!copy || !OpenClipboard(w))
            return 6;
        EmptyClipboard();
        if (!SetClipboardData(CF_HDROP, copy))
            return 7;
        CloseClipboard();
        WriteOut("ready\n");
    }
    MSG m;
    while (GetMessageW(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    OleUninitialize();
    return 0;
}
