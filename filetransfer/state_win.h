// The file-transfer window's process-wide records: the two panels, their drives and
// list items, the frame's own state and the buffer of the download's packets. The
// window's records belong to the UI thread; SyncReplyBuffer is shared as noted.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include "filetransfer/messages.h"
#include "session/packet.h"

enum { kFtLocal = 0, kFtRemote = 1, kFtPanels = 2, kFtDriveCount = 26 };

// One list-view item's record, owned by the item (freed when the item is deleted).
struct FileItem {
    FtEntry entry; // directory, attributes, times, size, name
    char typeName[80];
};

struct DriveSlot {
    uint32_t number;
    uint32_t type;       // 2..6, 0 = no such drive
    int icon;            // -1 none
    int comboIndex;      // -1 when not in the combo
    char name[3];        // "A:"
    char path[MAX_PATH]; // remembered directory; empty = the root
};

enum { FT_VIEW_DETAILS = 1, FT_VIEW_SMALL_ICONS = 2, FT_VIEW_LIST = 3 };

struct FilePanel {
    HWND window, caption, combo, edit, list, status;
    DriveSlot drives[kFtDriveCount];
    int currentDrive; // -1 none
    uint64_t freeBytes;
    char currentDirectory[MAX_PATH];
    int sortKey;   // FtSortKey
    int viewStyle; // FT_VIEW_*
    FileItem *focused;
    uint32_t selectedCount; // ".." not counted
    uint64_t selectedBytes; // files only
    BOOL selectionPending;
    WNDPROC editProc, comboProc; // the controls' own procedures
};

// Arriving PKT_FT_FILE_BEGIN / PKT_FT_FILE_DATA for the download worker. The receive
// thread fills it only while a download has it open and the previous packet was answered;
// one that comes earlier is dropped and marked in overrun, which the worker takes as a
// damaged file. open, full and overrun change with Interlocked operations; the bytes
// belong to the receive thread while full is 0 and to the worker while it is 1.
struct SyncReplyBuffer {
    volatile LONG open;    // a download waits for packets
    volatile LONG full;    // a packet waits to be taken or answered
    volatile LONG overrun; // a packet came while full and was dropped
    DWORD length;
    uint8_t bytes[kMaxPacketSize];
};

// IconProbeFile: an empty file in the user's temporary folder whose extension is changed
// so that the shell names the icon and type of a remote file by its extension alone.
struct IconProbeFile {
    char path[MAX_PATH];      // where it is now
    char base[MAX_PATH];      // the same without the extension
    char extension[MAX_PATH]; // ".TMP" at first
};

struct FtFrameState {
    HWND frame, pad, padToolbar, toolbar, status;
    HMENU menu;
    HIMAGELIST driveIcons;
    int activePanel;
    FilePanel panels[kFtPanels];
    HWND activeDialog; // ActiveFtDialog: the request or progress dialog now open
    IconProbeFile probe;
    BOOL dragging; // the frame holds the mouse for a drag between the panels
    HIMAGELIST dragImage;
    int dragSource; // the panel whose items are dragged
};

extern FtFrameState g_ft;
extern SyncReplyBuffer g_syncReply;
