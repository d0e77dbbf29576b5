// Files from outside the viewer onto the remote panel: the OLE drop target of the remote
// panel, Paste (Ctrl+V) of files copied in Explorer, and their upload through the copy
// confirmation and progress dialog of the panels' own copy. UI thread only.
#pragma once
#include <windows.h>

#include "filetransfer/dropfiles.h"

// To the remote panel: lParam a CF_HDROP block (HGLOBAL) the receiver uploads and frees.
enum { WM_FT_DROPPED = WM_APP + 24 };

// The remote panel's window becomes a drop target for files, and stops being one.
void FtRegisterDropTarget(HWND panel);
void FtRevokeDropTarget(HWND panel);

// Whether files may be taken now: the right held, the remote panel showing a folder, no
// operation or dialog open. With report, a refusal that the operator should hear of is
// shown in a box.
int FtMayTakeFiles(int report);

// Uploads the files of a CF_HDROP block (freed here) into the remote panel's folder, after
// the copy confirmation, then refreshes the remote panel.
void FtUploadDropped(HGLOBAL files);

// Command 40070: the files on the clipboard (CF_HDROP), as a drop would bring them.
void FtPasteFiles(void);

// upload_win.cpp: the upload of g_selection, whose names come in plan's groups, each from
// its group's folder, under progress dialog 163. Takes plan (a heap block freed with it).
int FtUploadDropPlan(HWND owner, FtDropPlan *plan);

// copy_win.cpp: the copy confirmation (161) over g_selection, from and to as its two
// places; IDYES when the operator confirmed.
INT_PTR FtAskCopy(HWND owner, const char *from, const char *to);
