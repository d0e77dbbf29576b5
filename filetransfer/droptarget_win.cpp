// The remote panel as an OLE drop target for files (CF_HDROP). OLE calls it on the UI
// thread, inside the source program's DoDragDrop: Drop only copies the file list and posts
// it to the panel, so the source is not held while the confirmation is open.
#define CINTERFACE
#define COBJMACROS
#include "filetransfer/droptarget_win.h"

#include <ole2.h>

#include "shell/log_win.h"
#include "shell/post_win.h"

#include <cstring>

namespace {

struct DropTarget {
    IDropTargetVtbl *lpVtbl;
    LONG refs;
    int files; // what is dragged over the panel holds CF_HDROP
    HWND panel;
};

DropTarget *Self(IDropTarget *t) { return (DropTarget *)t; }

FORMATETC HdropFormat(void)
{
    FORMATETC f = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return f;
}

int HoldsFiles(IDataObject *data)
{
    FORMATETC f = HdropFormat();
    return data && IDataObject_QueryGetData(data, &f) == S_OK;
}

// Copy, or no drop where a copy is not possible now.
DWORD Effect(const DropTarget *t, DWORD offered)
{
    return t->files && (offered & DROPEFFECT_COPY) && FtMayTakeFiles(0) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT STDMETHODCALLTYPE QueryInterface(IDropTarget *t, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropTarget)) {
        *out = t;
        InterlockedIncrement(&Self(t)->refs);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

// The one target lives as long as the process; the count is kept for OLE's sake only.
ULONG STDMETHODCALLTYPE AddRef(IDropTarget *t) { return (ULONG)InterlockedIncrement(&Self(t)->refs); }
ULONG STDMETHODCALLTYPE Release(IDropTarget *t) { return (ULONG)InterlockedDecrement(&Self(t)->refs); }

HRESULT STDMETHODCALLTYPE DragEnter(IDropTarget *t, IDataObject *data, DWORD, POINTL, DWORD *effect)
{
    Self(t)->files = HoldsFiles(data);
    *effect = Effect(Self(t), *effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DragOver(IDropTarget *t, DWORD, POINTL, DWORD *effect)
{
    *effect = Effect(Self(t), *effect);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DragLeave(IDropTarget *t)
{
    Self(t)->files = 0;
    return S_OK;
}

// A copy of the block that outlives the medium and the source's DoDragDrop.
HGLOBAL CopyBlock(HGLOBAL from)
{
    const SIZE_T size = from ? GlobalSize(from) : 0;
    const void *src = size ? GlobalLock(from) : NULL;
    if (!src)
        return NULL;
    HGLOBAL to = GlobalAlloc(GMEM_MOVEABLE, size);
    void *dst = to ? GlobalLock(to) : NULL;
    if (dst) {
        memcpy(dst, src, size);
        GlobalUnlock(to);
    } else if (to) {
        GlobalFree(to);
        to = NULL;
    }
    GlobalUnlock(from);
    return to;
}

HRESULT STDMETHODCALLTYPE Drop(IDropTarget *t, IDataObject *data, DWORD, POINTL, DWORD *effect)
{
    DropTarget *self = Self(t);
    self->files = HoldsFiles(data);
    *effect = Effect(self, *effect);
    if (*effect == DROPEFFECT_NONE)
        return S_OK;
    FORMATETC f = HdropFormat();
    STGMEDIUM m = {};
    HRESULT hr = IDataObject_GetData(data, &f, &m);
    if (FAILED(hr) || m.tymed != TYMED_HGLOBAL) {
        WriteLogF("Drop: the files cannot be taken from the program they came from (0x%08lx).", (unsigned long)hr);
        if (SUCCEEDED(hr))
            ReleaseStgMedium(&m);
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HGLOBAL files = CopyBlock(m.hGlobal);
    ReleaseStgMedium(&m);
    if (!files || !UiPost(self->panel, WM_FT_DROPPED, 0, (LPARAM)files)) {
        WriteLogF("Drop: the list of files cannot be kept (error %lu): nothing is copied.", GetLastError());
        if (files)
            GlobalFree(files);
        *effect = DROPEFFECT_NONE;
    }
    return S_OK;
}

IDropTargetVtbl g_vtbl = {QueryInterface, AddRef, Release, DragEnter, DragOver, DragLeave, Drop};
DropTarget g_target = {&g_vtbl, 1, 0, NULL};

} // namespace

void FtRegisterDropTarget(HWND panel)
{
    g_target.panel = panel;
    const HRESULT hr = RegisterDragDrop(panel, (IDropTarget *)&g_target);
    if (FAILED(hr))
        WriteLogF("The remote panel takes no files dropped on it: RegisterDragDrop failed (0x%08lx).",
                  (unsigned long)hr);
}

void FtRevokeDropTarget(HWND panel)
{
    if (g_target.panel == panel) {
        RevokeDragDrop(panel);
        g_target.panel = NULL;
        g_target.files = 0;
    }
}
