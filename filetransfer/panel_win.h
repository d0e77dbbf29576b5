// The file-transfer window's inner functions, shared by its files. UI thread only.
#pragma once
#include <windows.h>

#include "filetransfer/ftstate_win.h"

enum { kFtStatusId = 204, kFtListId = 206, kFtCaptionId = 207, kFtComboId = 208, kFtEditId = 209,
       kFtPanelIdBase = 210 };  // the panels' own ids: 210 local, 211 remote

// panel_win.cpp
int FtRegisterPanelClass(void);
HWND FtCreatePanel(HWND frame, int index);
FilePanel *FtPanelOf(HWND panelWindow);
void FtClearList(FilePanel *p);
// Appends one record; 0 when the list refuses it (the record is freed).
int FtAppendItem(FilePanel *p, const FtEntry *e, int image, const char *typeName);
void FtSortList(FilePanel *p);
// Selects, focuses and shows the named folder among the leading folders, else item 0.
void FtSelectNamed(FilePanel *p, const char *name);
void FtShowDirectory(FilePanel *p);
void FtUpdateStatus(FilePanel *p);
void FtRebuildDriveCombo(FilePanel *p);
void FtPanelLanguageChanged(FilePanel *p);
void FtSetActivePanel(int index);
FileItem *FtFocusedItem(FilePanel *p);
void FtFocusList(FilePanel *p);

// frame_win.cpp
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
void FtLocalDrivePicked(int d);
int FtLocalTyped(const char *path);
int FtDriveIcon(uint32_t type);
int FtShellIcon(const char *path, DWORD attributes, int useAttributes, char *typeName, size_t cap);

// remotelist_win.cpp
void FtOnListingPacket(const SessPacketHeader *h, const uint8_t *payload);
void FtRemoteOpen(void);
void FtRemoteUp(void);
void FtRemoteRoot(void);
void FtRemoteRefresh(void);
void FtRemoteDrivePicked(int d);
int FtRemoteTyped(const char *path);

// request_win.cpp: the modal request dialog for a listing; 1 when the listing is
// complete, 2 when it could not be asked for or the session ended.
int FtRunListRequest(HWND owner, uint32_t drive, const char *path);
