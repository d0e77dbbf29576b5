// The data object that stands for remote items: CF_HDROP of a temporary folder's files,
// downloaded the first time a target asks once the object is armed (by the drop, or at
// once for the clipboard). C-style COM (CINTERFACE): included only by the files that
// define it before <windows.h>. UI thread (a single-threaded apartment).
#pragma once
#ifndef CINTERFACE
#error "dataobject_win.h needs CINTERFACE"
#endif
#include <windows.h>
#include <ole2.h>

#include "filetransfer/operation_win.h"

// A new object holding items (which it takes, else they stay the caller's) of remote folder remote, with one reference;
// NULL when memory runs out or no temporary folder name can be had (told where).
IDataObject *FtNewOutData(SelectionList *items, const char *remote, int armed);
// The drop has happened: the next request for the files downloads them.
void FtArmOutData(IDataObject *o);

// dropsource_win.cpp: the clipboard let go when it holds the viewer's items.
void FtReleaseClipboard(void);
