// ViewerState: the one process-wide state block. Plain fields are the UI thread's;
// fields written by worker threads name the lock that guards them.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "desktop/input.h"
#include "desktop/pointer.h"
#include "desktop/scaler.h"
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"
#include "agentsettings/settings.h"
#include "console/screenbuf.h"
#include "session/login.h"
#include "shell/cmdline.h"
#include "shell/settings_model.h"
#include "ui/sendmsg.h"

enum { kLanguageCount = 2, kMaxTimedBoxes = 8 };

typedef char *(WINAPI *StrFormatByteSize64Fn)(LONGLONG size, char *buf, UINT cap);
#define INVALID_SOCKET_VALUE INVALID_SOCKET

enum { kSendQueueSlots = 64 };

struct SendSlot {
    BYTE *buffer; // owned by the slot, reused; freed at main-window destruction
    DWORD length;
    DWORD capacity;
};

// Indices and slot contents: SendQueueLock.
struct SendQueue {
    SendSlot slots[kSendQueueSlots];
    int writeIndex;
    int readIndex;
};

// One tile of the remote screen as the viewer holds it.
struct ScreenTile {
    HWND window;           // "CORVID:SQUARE"; NULL when torn down
    BYTE *bits;            // TileLock; zero-filled at build, rows bottom-up
    CRITICAL_SECTION lock; // TileLock
    BOOL lockReady;
};

// The remote screen model; built and torn down by the UI thread between sessions of
// screen parts, decoded into by the receive thread under the tile locks.
struct ScreenModel {
    TileLayout layout;
    ScreenTile tiles[kTileGridSize][kTileGridSize];
    int colourCount;
    BITMAPINFO *tileInfo[4];  // corner-aware headers with colour tables
    BITMAPINFO *frameInfo;
    HBITMAP frame;            // ScreenFrame DIB section
    BYTE *frameBits;          // ScreenLock
    double viewScale;         // ScreenLock when read by publishing
    BYTE paletteTable[1024];  // ScreenLock; stored by the receive thread before WM_CV_PALETTE
    DWORD paletteFor;         // ScreenLock: the screen announcement the last palette followed
    DWORD builtFor;           // UI thread: the announcement the desktop was built for
    HPALETTE palette;         // UI thread
    BYTE visibleRange[4];     // first column, column count, first row, row count
    // Tiles decoded since the UI thread last showed them, and whether it has been told
    // (ScreenLock): one posted message per batch instead of a cross-thread invalidation
    // per tile.
    BYTE changed[kTileCount];
    BOOL changePosted;
    ScaledPicture scaledPicture;  // UI thread: the scaled view's picture, drawn from the frame
    BOOL scaledStale;             // UI thread: the picture missed a change (colours, a batch), drawn anew
    RemoteScreen announced;   // ScreenLock; the last PKT_SCREEN_INFO, taken by the UI thread
    DWORD announcements;      // ScreenLock; PKT_SCREEN_INFO received, numbering WM_CV_SCREEN_INFO
};

// The view of the screen model; UI thread only.
struct ViewState {
    HWND frame, tilePad, scaledView;
    int hx, vy;
    BOOL hBar, vBar;
    BOOL dragAvailable, dragMode, dragging;
    POINT dragAnchor;
    int scaledWidth, scaledHeight;
};

// Facts of the logged-in session, cleared as a whole by an accepted login reply.
struct SessionInfo {
    LoginInfo login;            // LoginInfoLock
    RemoteScreen screen;        // UI thread: copied from the announcement at WM_CV_SCREEN_INFO
    DWORD desktopActive;
    volatile LONG bytesReceived; // added by the receive thread
    volatile LONG bytesSent;     // added by the send thread
    DWORD sliderLevel;
};

// The local console that mirrors the remote one; UI thread only. The input thread gets
// the input handle and the stop event when it starts and touches nothing else.
struct ConsoleSession {
    HANDLE input, output;
    HWND window;              // nonzero exactly while a console is open
    HANDLE inputThread;
    HANDLE stopEvent;         // auto reset: ends the input thread
    HWND pad;                 // the ButtonPad
    WNDPROC toolbarProc;      // the pad toolbar's own procedure (subclassed)
    UINT_PTR padTimer;
    FARPROC getDisplayMode, setDisplayMode; // kernel32's, NULL when absent
};

struct ViewerState {
    // Process
    HINSTANCE instance;
    char moduleDirectory[MAX_PATH + 1]; // without trailing backslash
    char logPath[MAX_PATH + 16];
    DWORD sessionStamp;                 // seconds since 1970 at start; UI thread
    BOOL ntFamily;
    DWORD shellVersion;                 // shlwapi major*256+minor, 0 when unknown
    StrFormatByteSize64Fn strFormatByteSize64; // NULL before shell version 5.0

    // Language
    HMODULE languageLibs[kLanguageCount]; // cvresen.dll, cvresru.dll
    HMODULE activeLanguage;

    // Target, options and names
    TargetOptions target;
    ViewerNames names;
    char *commandLineCopy;
    HANDLE instanceMutex;

    // Settings (UI thread only)
    ViewerSettings settings;

    // Console-manager link
    HANDLE managerMap;
    BYTE *managerView;
    HANDLE managerDoneEvent;
    HANDLE managerMutex;

    // Main window
    HWND mainWindow;
    DWORD uiThreadId;   // the thread that runs the windows; it never waits for the network
    HWND timedBoxes[kMaxTimedBoxes]; // TimedBoxLock: tracked TimedMessageBoxes now shown
    BOOL timedBoxesClosed;           // TimedBoxLock: shutdown ended them all
    HWND dialogSlot;    // connect, password, system information, send message
    MessageChoice messageChoice; // the send-message dialog's last choice, for the process's life
    HWND logoWindow;    // "CORVID:LOGO" while it is shown; one at a time
    HANDLE stopEvent;   // manual reset; set once at main-window destruction
    HANDLE terminateWatchThread;

    // Session
    SOCKET socket;                 // INVALID_SOCKET while there is none
    BOOL winsockStarted;
    WSAPROTOCOL_INFOA *protocols;  // heap block of the protocol enumeration
    const WSAPROTOCOL_INFOA *chosenProtocol;
    HANDLE networkEventThread, receiveThread, sendThread;
    HANDLE readReadyEvent, writeReadyEvent, queueSpaceEvent, queueDataEvent, syncReplyEvent;
    HANDLE sendEndedEvent;         // manual reset: set when the SendThread ends, reset on connect
    WSAEVENT networkEvent;         // TCP only
    CRITICAL_SECTION sendQueueLock;
    BOOL sendQueueLockReady;
    SendQueue sendQueue;

    // Remote screen and its view
    ScreenModel screen;
    ViewState view;

    // Login facts
    SessionInfo session;
    DWORD loggedIn;
    // Screen parts decoded and the microseconds spent decoding them, for the session
    // statistics: added by the receive thread with Interlocked operations, wrapping.
    volatile LONG partsDecoded, decodeMicros;

    // Main window state (UI thread)
    struct {
        int bitsPerPixel, width, height;
        int dpi; // read once by DisplayDpi; 0 until then
    } localDisplay;
    HMENU menu;
    HWND toolbar;
    HFONT labelFont, smallFont;        // Arial, Cyrillic: 16/600 and 14/100 at 96 DPI
    HCURSOR standardCursors[kStandardCursorCount]; // indexed by PKT_CURSOR_STANDARD
    char localComputerName[16];
    DWORD controlMode, switchOn, clipboardExchange, focused, menuOpen;
    HWND consoleToolbar;               // the console pad's toolbar while it exists
    ConsoleSession console;
    HWND fileTransferWindow;           // "CORVID:FILETRANSFER" while it exists

    // Input forwarding (UI thread)
    ModifierLatch latch;
    DWORD mouseCaptured;
    DWORD lastPointer;                 // y << 16 | x of the last unscaled mouse event
    BOOL lastPointerKnown;
    HWND hookWindow;                   // window the keyboard hook delivers to, NULL when removed

    // Toolbar extras and the remote cursor (UI thread, lights also receive thread)
    HWND keyLights[3];
    volatile BYTE lightState[3];       // written by the receive thread
    HWND levelSlider;
    HCURSOR customCursor;
    HCURSOR remoteCursor;              // the shape shown over the view
    HICON markerIcon;
    HWND tileMarker, scaledMarker;     // CursorMarker windows

    // The remote console's screen copy: ConsoleLock, taken alone.
    ConsoleScreen consoleScreen;

    // Full-screen mode (UI thread)
    DWORD fullScreen;
    HWND fullScreenWindow, fullScreenPad;

    // Agent settings: stored by the receive thread only while a request is out, then
    // edited in the sheet by the UI thread (AgentSettingsLock guards the state and the
    // stores; the sheet runs after the last packet, when nothing more is stored).
    AgentSettings agentSettings;
    DWORD agentSettingsState;          // AgentSettingsLock: kAsIdle, kAsRequested, kAsEditing, kAsGivenUp
    DWORD agentSettingsTick;           // AgentSettingsLock: the request or the last packet

    // Locks created first at start and deleted last
    CRITICAL_SECTION logLock;
    CRITICAL_SECTION loginInfoLock;
    CRITICAL_SECTION consoleLock;
    CRITICAL_SECTION progressLock;
    CRITICAL_SECTION screenLock;
    CRITICAL_SECTION timedBoxLock;
    CRITICAL_SECTION agentSettingsLock;
};

extern ViewerState g_viewer;
