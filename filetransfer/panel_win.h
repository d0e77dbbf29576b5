// The file-transfer window's inner functions, shared by its files. UI thread only.
#pragma once
#include <windows.h>

#include "filetransfer/state_win.h"

enum {
    kFtStatusId = 204,
    kFtListId = 206,
    kFtCaptionId = 207,
    kFtComboId = 208,
    kFtEditId = 209,
    kFtPanelIdBase = 210
}; // the panels' own ids: 210 local, 211 remote

// panel_win.cpp
int FtRegisterPanelClass(void);
HWND FtCreatePanel(HWND frame, int index);
FilePanel *FtPanelOf(HWND panelWindow);
void FtClearList(FilePanel *p);
// Appends one record; 0 when the list refuses it (the record is freed).
int FtAppendItem(FilePanel *p, const FtEntry *e, int image, const char *typeName);
void FtSortList(FilePanel *p);
// Stops (hold 1) and resumes (hold 0, repainting) the list's drawing around a batch of
// insertions: a list that redraws after each one takes milliseconds per item.
void FtHoldRedraw(FilePanel *p, int hold);
// Selects, focuses and shows the named folder among the leading folders, else item 0.
void FtSelectNamed(FilePanel *p, const char *name);
void FtShowDirectory(FilePanel *p);
void FtUpdateStatus(FilePanel *p);
void FtRebuildDriveCombo(FilePanel *p);
void FtPanelLanguageChanged(FilePanel *p);
void FtSetActivePanel(int index);
FileItem *FtFocusedItem(FilePanel *p);
void FtFocusList(FilePanel *p);
// The selection summary now, when an item change left it pending.
void FtRecountSelection(FilePanel *p);

// The panel's own messages: the rename of the label just edited; the drive picked in
// the combo, once for the notifications of one pick.
enum { WM_FT_RENAME_NOW = WM_APP + 16, WM_FT_DRIVE_PICKED = WM_APP + 17 };

// frame_win.cpp
int FtHasRight(void); // FileTransferRight
void FtUpdateCommands(void);
void FtFrameCommand(UINT command);
void FtHelp(HWND wnd);

// locallist_win.cpp
void FtSelectLocalDrive(int d);
void FtListLocal(const char *name);
void FtLocalOpen(void);
void FtLocalUp(void);
void FtLocalRoot(void);
void FtLocalRefresh(void);
void FtLocalRefreshSelecting(const char *name);
void FtLocalDrivePicked(int d);
int FtLocalTyped(const char *path);
int FtDriveIcon(uint32_t type);

// shellicon_win.cpp: the shell's small-icon index and type name of a path (-1 and ""
// when it has none), and the answers of one listing kept by extension.
int FtShellIcon(const char *path, char *typeName, size_t cap);
enum { kFtIconCacheSize = 64 };
struct FtIconAnswer {
    char extension[64];
    int icon;
    char typeName[80];
};
struct FtIconCache {
    FtIconAnswer answers[kFtIconCacheSize];
    int count, next; // the oldest answer goes first when it is full
};
const char *FtExtension(const char *name); // from the last dot, or ""
int FtCachedIcon(const FtIconCache *c, const char *extension, int *icon, char *typeName, size_t cap);
void FtCacheIcon(FtIconCache *c, const char *extension, int icon, const char *typeName);
// A local file: the shell is asked for its path once per extension, or for every file
// of an extension whose icon is the file's own (programs, icon files, shortcuts).
int FtLocalFileIcon(FtIconCache *c, const char *path, const char *name, char *typeName, size_t cap);

// probe_win.cpp: IconProbeFile. Creating it logs "Can't create temporary file" on failure.
int FtCreateIconProbe(void);
void FtDeleteIconProbe(void);
// Icon index and type name of a file of that name's extension (-1 and "" when the shell
// has no answer); the answers of one listing are kept until FtForgetProbeAnswers.
int FtProbeIcon(const char *name, char *typeName, size_t cap);
void FtForgetProbeAnswers(void);

// drag_win.cpp: dragging a panel's selection to the other panel; the frame holds the
// mouse meanwhile. The drag starts at a point of the list's client area; the other
// points are screen coordinates.
void FtBeginDrag(FilePanel *p, int item, POINT inList);
void FtDragMove(POINT screen);
// With drop, a release over the other panel's list posts command 40039 to the frame.
void FtEndDrag(POINT screen, int drop);
void FtCancelDrag(void);

// compare_win.cpp, panelmenu_win.cpp
void FtComparePanels(void);
void FtPanelContextMenu(FilePanel *p, POINT screen);
// The enabling and marks of context menus 150 (on an item) and 151 (on empty space).
void FtPrepareItemMenu(HMENU m, FilePanel *p);
void FtPrepareSpaceMenu(HMENU m, FilePanel *p);

// remotelist_win.cpp
void FtOnListingPacket(const SessPacketHeader *h, const uint8_t *payload);
void FtRemoteOpen(void);
void FtRemoteUp(void);
void FtRemoteRoot(void);
void FtRemoteRefresh(void);
void FtRemoteDrivePicked(int d);
int FtRemoteTyped(const char *path);

// request_win.cpp: the modal request dialog (RequestDialog): 1 when the Agent reported
// success (a listing: when it is complete), 2 otherwise or when the session ended.
enum { FT_REQUEST_LIST = 0, FT_REQUEST_ATTRIBUTES = 1, FT_REQUEST_RENAME = 2, FT_REQUEST_CREATE_DIR = 3 };
struct RemoteRequest {
    int kind;
    uint32_t value;    // drive (list), attributes, directory flag (rename)
    const char *path;  // the folder listed, the item changed, the old name
    const char *path2; // rename: the new name
};
int FtRunRequest(HWND owner, const RemoteRequest *r);
// A request is given up, with a box, after this long without a word from the Agent:
// measured from its sending and from each listing packet taken, so a long listing that
// keeps coming over a slow link goes on.
enum { kFtRequestWaitMs = 30000 };
void FtRequestHeard(void);
int FtRunListRequest(HWND owner, uint32_t drive, const char *path);
// Results 33, 35 and 37 (the frame's handlers): a failure's box, then the dialog's end.
void FtOnResultPacket(const SessPacketHeader *h, const uint8_t *payload);
void FtRemoteRefreshSelecting(const char *name);

// ftbox_win.cpp: boxes captioned by string caption followed by string suffix (0: none);
// text and names in the system's ANSI code page. Any thread.
int FtMessageBox(HWND owner, UINT caption, UINT suffix, const char *text, UINT flags);
// The library's text textId with its %1 replaced by path.
int FtPathBox(HWND owner, UINT caption, UINT suffix, UINT textId, const char *path, UINT flags);
// "path\n" (when given) and the system's text of the last error.
int FtLastErrorBox(HWND owner, UINT caption, UINT suffix, const char *path, UINT flags);
void FtAppendTitle(HWND dlg, UINT suffix);
void FtSetNameText(HWND dlg, int id, const char *text);
// 0 (out empty) when the text holds a character this computer's names cannot hold.
int FtGetNameText(HWND dlg, int id, char out[kFtPathField]);

// newfolder_win.cpp, rename_win.cpp, properties_win.cpp: the file-changing commands.
void FtNewFolder(void);
void FtStartRename(void);
BOOL FtBeginLabelEdit(FilePanel *p, NMLVDISPINFOA *di);
void FtEndLabelEdit(FilePanel *p, NMLVDISPINFOA *di);
void FtRenameNow(FilePanel *p);
void FtProperties(void);
