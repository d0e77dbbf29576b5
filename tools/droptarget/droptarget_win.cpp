// droptarget: a stand-in for Explorer in the end-to-end tests. It takes CF_HDROP the way a
// file manager does, from a drop on its window or from the clipboard, and reports what it
// was given: each path, then every file under it with its size and SHA-256, read while the
// drop or paste lasts. Not part of the product. Single-threaded (an OLE apartment).
//
//   droptarget.exe OUT=prefix [AT=x,y,w,h]   a topmost window registered as a drop
//                                            target; drop n is reported in prefix.n
//   droptarget.exe PASTE OUT=file            CF_HDROP from the clipboard, into file
//
// Like Explorer, a drop of an object that is asynchronous (IDataObjectAsyncCapability) is
// taken after the drop has ended, between StartOperation and EndOperation.
//
// A report holds "paths N" and N lines "path <path>", then "file <relative>\t<size>\t<sha256>"
// per file (relative to the dropped item's folder, backslashes), or one line
// "nothing 0x<hresult>" when the source gave no files. It is written under a temporary
// name and renamed, so a reader never sees half of it.
#define CINTERFACE
#define COBJMACROS
#include <windows.h>
#include <bcrypt.h>
#include <ole2.h>
#include <shellapi.h>
#include <shldisp.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string g_out;
int g_drops;
HWND g_window;
enum { WM_TAKE_LATER = WM_APP + 1 };

struct Report {
    std::string text;
};

std::string Utf8(const WCHAR *w)
{
    char buf[4 * MAX_PATH];
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, buf, sizeof(buf), NULL, NULL);
    return n > 0 ? std::string(buf) : std::string("?");
}

int Sha256(const WCHAR *path, char hex[65], unsigned long long *size)
{
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 0;
    BCRYPT_ALG_HANDLE alg = NULL;
    BCRYPT_HASH_HANDLE h = NULL;
    int ok = BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, NULL, 0) == 0 &&
             BCryptCreateHash(alg, &h, NULL, 0, NULL, 0, 0) == 0;
    static unsigned char buf[1 << 16];
    *size = 0;
    DWORD got = 0;
    while (ok && ReadFile(f, buf, sizeof(buf), &got, NULL) && got) {
        ok = BCryptHashData(h, buf, got, 0) == 0;
        *size += got;
    }
    unsigned char digest[32];
    ok = ok && BCryptFinishHash(h, digest, sizeof(digest), 0) == 0;
    if (h)
        BCryptDestroyHash(h);
    if (alg)
        BCryptCloseAlgorithmProvider(alg, 0);
    CloseHandle(f);
    for (int i = 0; ok && i < 32; i++)
        snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return ok;
}

// Every file under path (or path itself), named relative to base.
void Walk(Report *r, const std::wstring &path, size_t base)
{
    const DWORD a = GetFileAttributesW(path.c_str());
    std::string rel = Utf8(path.c_str() + base);
    if (a == INVALID_FILE_ATTRIBUTES) {
        r->text += "missing " + rel + "\n";
        return;
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) {
        r->text += "folder " + rel + "\n";
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do {
            if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
                Walk(r, path + L"\\" + fd.cFileName, base);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
        return;
    }
    char hex[65] = "";
    unsigned long long size = 0;
    if (!Sha256(path.c_str(), hex, &size)) {
        r->text += "unreadable " + rel + "\n";
        return;
    }
    char line[128];
    snprintf(line, sizeof(line), "\t%llu\t%s\n", size, hex);
    r->text += "file " + rel + line;
}

void Take(Report *r, IDataObject *data)
{
    FORMATETC f = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM m = {};
    const HRESULT hr = IDataObject_GetData(data, &f, &m);
    if (FAILED(hr)) {
        char line[64];
        snprintf(line, sizeof(line), "nothing 0x%08lx\n", (unsigned long)hr);
        r->text += line;
        return;
    }
    HDROP drop = (HDROP)m.hGlobal;
    const UINT n = DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0);
    char line[32];
    snprintf(line, sizeof(line), "paths %u\n", n);
    r->text += line;
    for (UINT i = 0; i < n; i++) {
        WCHAR p[MAX_PATH];
        if (DragQueryFileW(drop, i, p, MAX_PATH))
            r->text += std::string("path ") + Utf8(p) + "\n";
    }
    for (UINT i = 0; i < n; i++) {
        WCHAR p[MAX_PATH];
        if (!DragQueryFileW(drop, i, p, MAX_PATH))
            continue;
        const WCHAR *slash = wcsrchr(p, L'\\');
        Walk(r, p, slash ? (size_t)(slash - p) + 1 : 0);
    }
    ReleaseStgMedium(&m);
}

void Write(const std::string &path, const std::string &text)
{
    const std::string temp = path + ".part";
    FILE *f = fopen(temp.c_str(), "wb");
    if (!f)
        return;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// ---- IDropTarget ------------------------------------------------------------------------

struct Target {
    IDropTargetVtbl *lpVtbl;
    LONG refs;
    int offered; // the object being dragged offers CF_HDROP
};

Target *Of(IDropTarget *t) { return (Target *)t; }

HRESULT STDMETHODCALLTYPE QueryInterface(IDropTarget *This, REFIID riid, void **out)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *out = This;
        IDropTarget_AddRef(This);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AddRef(IDropTarget *This) { return (ULONG)InterlockedIncrement(&Of(This)->refs); }
ULONG STDMETHODCALLTYPE Release(IDropTarget *This) { return (ULONG)InterlockedDecrement(&Of(This)->refs); }

HRESULT STDMETHODCALLTYPE DragEnter(IDropTarget *This, IDataObject *data, DWORD, POINTL, DWORD *effect)
{
    FORMATETC f = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    Of(This)->offered = IDataObject_QueryGetData(data, &f) == S_OK;
    *effect = Of(This)->offered ? (*effect & DROPEFFECT_COPY) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DragOver(IDropTarget *This, DWORD, POINTL, DWORD *effect)
{
    *effect = Of(This)->offered ? (*effect & DROPEFFECT_COPY) : DROPEFFECT_NONE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DragLeave(IDropTarget *) { return S_OK; }

void TakeAndReport(IDataObject *data, IDataObjectAsyncCapability *async)
{
    Report r;
    Take(&r, data);
    const int got = r.text.compare(0, 8, "nothing ") != 0;
    if (async)
        IDataObjectAsyncCapability_EndOperation(async, got ? S_OK : E_FAIL, NULL, got ? DROPEFFECT_COPY : 0);
    Write(g_out + "." + std::to_string(++g_drops), r.text);
}

HRESULT STDMETHODCALLTYPE Drop(IDropTarget *, IDataObject *data, DWORD, POINTL, DWORD *effect)
{
    IDataObjectAsyncCapability *async = NULL;
    BOOL later = FALSE;
    if (SUCCEEDED(IDataObject_QueryInterface(data, IID_IDataObjectAsyncCapability, (void **)&async)) &&
        SUCCEEDED(IDataObjectAsyncCapability_GetAsyncMode(async, &later)) && later &&
        SUCCEEDED(IDataObjectAsyncCapability_StartOperation(async, NULL))) {
        IDataObject_AddRef(data); // both references go with the message
        PostMessageA(g_window, WM_TAKE_LATER, (WPARAM)async, (LPARAM)data);
        *effect = DROPEFFECT_COPY;
        return S_OK;
    }
    if (async)
        IDataObjectAsyncCapability_Release(async);
    TakeAndReport(data, NULL);
    *effect = DROPEFFECT_COPY;
    return S_OK;
}

IDropTargetVtbl g_vtbl = {QueryInterface, AddRef, Release, DragEnter, DragOver, DragLeave, Drop};
Target g_target = {&g_vtbl, 1, 0};

LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT rc;
        GetClientRect(w, &rc);
        FillRect(dc, &rc, (HBRUSH)GetStockObject(WHITE_BRUSH));
        DrawTextA(dc, "Drop files here", -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        EndPaint(w, &ps);
        return 0;
    }
    if (msg == WM_TAKE_LATER) {
        IDataObjectAsyncCapability *async = (IDataObjectAsyncCapability *)wp;
        IDataObject *data = (IDataObject *)lp;
        TakeAndReport(data, async);
        IDataObjectAsyncCapability_Release(async);
        IDataObject_Release(data);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

const char *Arg(const char *line, const char *name, char *out, size_t cap)
{
    const char *p = strstr(line, name);
    if (!p)
        return NULL;
    p += strlen(name);
    size_t n = 0;
    while (p[n] && p[n] != ' ' && n + 1 < cap) {
        out[n] = p[n];
        n++;
    }
    out[n] = 0;
    return out;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmd, int)
{
    char out[MAX_PATH], at[64];
    if (!Arg(cmd, "OUT=", out, sizeof(out)))
        return 2;
    g_out = out;
    if (FAILED(OleInitialize(NULL)))
        return 3;
    if (strstr(cmd, "PASTE")) {
        IDataObject *data = NULL;
        Report r;
        const HRESULT hr = OleGetClipboard(&data);
        if (FAILED(hr)) {
            char line[64];
            snprintf(line, sizeof(line), "nothing 0x%08lx\n", (unsigned long)hr);
            r.text = line;
        } else {
            Take(&r, data);
            IDataObject_Release(data);
        }
        Write(g_out, r.text);
        OleUninitialize();
        return 0;
    }
    int x = 20, y = 300, w = 300, h = 200;
    if (Arg(cmd, "AT=", at, sizeof(at)))
        sscanf(at, "%d,%d,%d,%d", &x, &y, &w, &h);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.lpszClassName = "CORVID:DROPTARGET";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, wc.lpszClassName, "Corvid drop target",
                               WS_POPUP | WS_BORDER | WS_VISIBLE, x, y, w, h, NULL, NULL, instance, NULL);
    g_window = wnd;
    if (!wnd || FAILED(RegisterDragDrop(wnd, (IDropTarget *)&g_target)))
        return 4;
    Write(g_out + ".ready", "ready\n");
    MSG m;
    while (GetMessageA(&m, NULL, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    RevokeDragDrop(wnd);
    OleUninitialize();
    return 0;
}
