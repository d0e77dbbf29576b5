// The data object of remote files given out, before any download: the formats it offers,
// the paths a target sees before the drop (in a folder not made yet), the shell's
// asynchronous capability, and its folder going with it, read-only files and all.
#define CINTERFACE
#define COBJMACROS
#include <gtest/gtest.h>

#include <windows.h>
#include <cstdio>
#include <cstring>
#include <ole2.h>
#include <shellapi.h>
#include <shldisp.h>
#include <string>

#include "filetransfer/dataobject_win.h"
#include "filetransfer/outbox.h"

namespace {

FORMATETC Format(CLIPFORMAT cf, DWORD tymed = TYMED_HGLOBAL)
{
    FORMATETC f = {cf, NULL, DVASPECT_CONTENT, -1, tymed};
    return f;
}

IDataObject *TwoItems(void)
{
    SelectionList items = {};
    items.items = (FileItem *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 2 * sizeof(FileItem));
    items.count = items.room = 2;
    snprintf(items.items[0].entry.name, sizeof(items.items[0].entry.name), "tree");
    items.items[0].entry.directory = 1;
    snprintf(items.items[1].entry.name, sizeof(items.items[1].entry.name), "a.bin");
    IDataObject *o = FtNewOutData(&items, "C:\\remote", 0);
    EXPECT_EQ(items.items, nullptr) << "the object takes the records";
    return o;
}

std::string Path(HDROP drop, UINT i)
{
    char p[MAX_PATH];
    return DragQueryFileA(drop, i, p, MAX_PATH) ? std::string(p) : std::string();
}

TEST(OutData, OffersFilesWithoutDownloadingBeforeTheDrop)
{
    IDataObject *o = TwoItems();
    ASSERT_NE(o, nullptr);
    const CLIPFORMAT effect = (CLIPFORMAT)RegisterClipboardFormatA("Preferred DropEffect");
    const CLIPFORMAT mark = (CLIPFORMAT)RegisterClipboardFormatA("Corvid remote items");
    FORMATETC f = Format(CF_HDROP);
    EXPECT_EQ(IDataObject_QueryGetData(o, &f), S_OK);
    for (FORMATETC bad : {Format(CF_TEXT), Format(CF_HDROP, TYMED_ISTREAM), Format(CF_UNICODETEXT)})
        EXPECT_EQ(IDataObject_QueryGetData(o, &bad), DV_E_FORMATETC) << bad.cfFormat;

    IEnumFORMATETC *e = NULL;
    ASSERT_EQ(IDataObject_EnumFormatEtc(o, DATADIR_GET, &e), S_OK);
    FORMATETC got[5];
    ULONG n = 0;
    EXPECT_EQ(IEnumFORMATETC_Next(e, 5, got, &n), S_FALSE);
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    EXPECT_EQ(got[1].cfFormat, effect);
    EXPECT_EQ(got[2].cfFormat, mark);
    EXPECT_EQ(IEnumFORMATETC_Reset(e), S_OK);
    EXPECT_EQ(IEnumFORMATETC_Skip(e, 4), S_FALSE);
    EXPECT_EQ(IEnumFORMATETC_Next(e, 1, got, NULL), S_FALSE);
    IEnumFORMATETC_Release(e);
    EXPECT_EQ(IDataObject_EnumFormatEtc(o, DATADIR_SET, &e), E_NOTIMPL);

    // Before the drop a target sees where the files will be; nothing is made there yet.
    STGMEDIUM m = {};
    ASSERT_EQ(IDataObject_GetData(o, &f, &m), S_OK);
    HDROP drop = (HDROP)m.hGlobal;
    ASSERT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0), 2u);
    const std::string tree = Path(drop, 0), file = Path(drop, 1);
    ReleaseStgMedium(&m);
    const std::string folder = tree.substr(0, tree.size() - 5);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    EXPECT_EQ(folder.substr(0, strlen(temp)), temp);
    uint32_t pid = 0, serial = 0;
    EXPECT_TRUE(FtOutboxParse(folder.substr(strlen(temp)).c_str(), &pid, &serial)) << folder;
    EXPECT_EQ(pid, GetCurrentProcessId());
    EXPECT_EQ(tree, folder + "\\tree");
    EXPECT_EQ(file, folder + "\\a.bin");
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);

    for (CLIPFORMAT cf : {effect, mark}) {
        FORMATETC w = Format(cf);
        ASSERT_EQ(IDataObject_GetData(o, &w, &m), S_OK);
        const DWORD v = *(DWORD *)GlobalLock(m.hGlobal);
        GlobalUnlock(m.hGlobal);
        ReleaseStgMedium(&m);
        EXPECT_EQ(v, cf == effect ? (DWORD)DROPEFFECT_COPY : GetCurrentProcessId());
    }

    // Asynchronous as the shell means it, so Explorer takes the files after the drop.
    IDataObjectAsyncCapability *a = NULL;
    ASSERT_EQ(IDataObject_QueryInterface(o, IID_IDataObjectAsyncCapability, (void **)&a), S_OK);
    BOOL on = FALSE;
    EXPECT_EQ(IDataObjectAsyncCapability_GetAsyncMode(a, &on), S_OK);
    EXPECT_TRUE(on);
    EXPECT_EQ(IDataObjectAsyncCapability_StartOperation(a, NULL), S_OK);
    EXPECT_EQ(IDataObjectAsyncCapability_InOperation(a, &on), S_OK);
    EXPECT_TRUE(on);
    IDataObject *back = NULL;
    EXPECT_EQ(IDataObjectAsyncCapability_QueryInterface(a, IID_IDataObject, (void **)&back), S_OK);
    EXPECT_EQ(back, o);
    IDataObject_Release(back);

    // A folder there (as a download leaves it) goes with the object, read-only files too;
    // the end of the target's operation takes it already.
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL));
    const std::string inner = tree + "\\ro.txt";
    HANDLE h = CreateFileA(inner.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_READONLY, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    EXPECT_EQ(IDataObjectAsyncCapability_EndOperation(a, S_OK, NULL, DROPEFFECT_COPY), S_OK);
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL));
    IDataObjectAsyncCapability_Release(a);
    EXPECT_EQ(IDataObject_Release(o), 0u);
    EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

} // namespace
