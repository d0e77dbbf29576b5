// The remote panel's selection leaving the viewer: the OLE drag (C-style IDropSource) and
// Ctrl+C. Both hand out a data object that downloads nothing until a target asks after the
// drop, or a paste asks. A drag released over the viewer's own window is cancelled for
// OLE and ends as the drag between the panels always has. UI thread.
#define CINTERFACE
#define COBJMACROS
#include "filetransfer/dataobject_win.h"
#include "filetransfer/dragout_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/state.h"

namespace {

struct DropSource {
    IDropSourceVtbl *lpVtbl;
    LONG refs;
    IDataObject *data;
    int own;  // released over the viewer's own window
    POINT at; // where
};

DropSource *Of(IDropSource *This) { return (DropSource *)This; }

HRESULT STDMETHODCALLTYPE QueryInterface(IDropSource *This, REFIID riid, void **out)
{
    if (!out)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource)) {
        *out = This;
        IDropSource_AddRef(This);
        return S_OK;
    }
    *out = NULL;
    return E_NOINTERFACE;
}

// The source lives on the stack of FtDragOut, for the drag only.
ULONG STDMETHODCALLTYPE AddRef(IDropSource *This) { return (ULONG)InterlockedIncrement(&Of(This)->refs); }
ULONG STDMETHODCALLTYPE Release(IDropSource *This) { return (ULONG)InterlockedDecrement(&Of(This)->refs); }

HRESULT STDMETHODCALLTYPE QueryContinueDrag(IDropSource *This, BOOL escape, DWORD keys)
{
    DropSource *s = Of(This);
    POINT pt;
    GetCursorPos(&pt);
    if (escape || (keys & MK_RBUTTON)) {
        FtDragFeedback(pt, 0);
        return DRAGDROP_S_CANCEL;
    }
    if (keys & MK_LBUTTON) {
        FtDragFeedback(pt, 1);
        return S_OK;
    }
    if (FtDragFeedback(pt, 0)) {
        s->own = 1;
        s->at = pt;
        return DRAGDROP_S_CANCEL;
    }
    FtArmOutData(s->data);
    return DRAGDROP_S_DROP;
}

HRESULT STDMETHODCALLTYPE GiveFeedback(IDropSource *, DWORD)
{
    POINT pt;
    GetCursorPos(&pt);
    // Over its own window the drag looks as between the panels; elsewhere the target's.
    return FtDragFeedback(pt, 1) ? S_OK : DRAGDROP_S_USEDEFAULTCURSORS;
}

IDropSourceVtbl g_sourceVtbl = {QueryInterface, AddRef, Release, QueryContinueDrag, GiveFeedback};

// The remote panel's selection as a data object; NULL when there is none, or (*failed set,
// told where) when it could not be made.
IDataObject *Selection(FilePanel *p, int armed, int *failed)
{
    char root[kFtPathField];
    *failed = 0;
    if (!FtHasRight() || p->selectedCount == 0 || !FtRootOf(p->currentDirectory, root) || !FtBuildSelection(p))
        return NULL;
    IDataObject *d = FtNewOutData(&g_selection, p->currentDirectory, armed);
    FtFreeSelection();
    *failed = !d;
    return d;
}

} // namespace

int FtDragOut(FilePanel *p, int *own, POINT *at)
{
    *own = 0;
    int failed = 0;
    IDataObject *data = Selection(p, 0, &failed);
    if (!data)
        return failed; // with nothing to give, the drag between the panels refuses as it does
    DropSource s = {&g_sourceVtbl, 1, data, 0, {0, 0}};
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT r = DoDragDrop(data, (IDropSource *)&s, DROPEFFECT_COPY, &effect);
    if (r == DRAGDROP_S_DROP)
        WriteLogF("Remote files given out: dropped on another program (effect %lu).", effect);
    else if (FAILED(r))
        WriteLogF("Remote files given out: the drag failed (0x%08lx).", (unsigned long)r);
    *own = s.own;
    *at = s.at;
    IDataObject_Release(data);
    return 1;
}

void FtCopyToClipboard(void)
{
    FilePanel *p = &g_ft.panels[kFtRemote];
    char root[kFtPathField];
    if (FtHasRight() && p->selectedCount && !FtRootOf(p->currentDirectory, root)) {
        WriteLogF("Copy to the clipboard: the remote panel shows no folder yet: nothing copied.");
        FtPathBox(p->list, IDS_FT_CANNOT_COPY, IDS_FT_DOWNLOAD, IDS_FT_COPY_NO_REMOTE, "", MB_OK | MB_ICONINFORMATION);
        return;
    }
    int failed = 0;
    IDataObject *d = Selection(p, 1, &failed);
    if (!d)
        return;
    const HRESULT r = OleSetClipboard(d);
    const uint32_t n = p->selectedCount;
    IDataObject_Release(d); // the clipboard holds its own reference
    if (FAILED(r)) {
        WriteLogF("Copy to the clipboard: the clipboard refused the remote items (0x%08lx).", (unsigned long)r);
        FtPathBox(p->list, IDS_FT_CANNOT_COPY, IDS_FT_DOWNLOAD, IDS_FT_OUT_NO_CLIPBOARD, "",
                  MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    WriteLogF("Copy to the clipboard: %u remote items of %s, downloaded when pasted.", (unsigned)n,
              p->currentDirectory);
}
