// The desktop's own state: the remote screen model, its view, input forwarding, the
// lights and the remote cursor. Plain fields are the UI thread's; fields written by
// worker threads name the lock that guards them.
#pragma once
#include <windows.h>

#include "desktop/input.h"
#include "desktop/pointer.h"
#include "desktop/scaler.h"
#include "desktop/screeninfo.h"
#include "desktop/tiles.h"

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
    BITMAPINFO *tileInfo[4]; // corner-aware headers with colour tables
    BITMAPINFO *frameInfo;
    HBITMAP frame;           // ScreenFrame DIB section
    BYTE *frameBits;         // ScreenLock
    double viewScale;        // ScreenLock when read by publishing
    BYTE paletteTable[1024]; // ScreenLock; stored by the receive thread before WM_CV_PALETTE
    DWORD paletteFor;        // ScreenLock: the screen announcement the last palette followed
    DWORD builtFor;          // UI thread: the announcement the desktop was built for
    HPALETTE palette;        // UI thread
    BYTE visibleRange[4];    // first column, column count, first row, row count
    // Tiles decoded since the UI thread last showed them, and whether it has been told
    // (ScreenLock): one posted message per batch instead of a cross-thread invalidation
    // per tile.
    BYTE changed[kTileCount];
    BOOL changePosted;
    ScaledPicture scaledPicture; // UI thread: the scaled view's picture, drawn from the frame
    BOOL scaledStale;            // UI thread: the picture missed a change (colours, a batch), drawn anew
    RemoteScreen announced;      // ScreenLock; the last PKT_SCREEN_INFO, taken by the UI thread
    DWORD announcements;         // ScreenLock; PKT_SCREEN_INFO received, numbering WM_CV_SCREEN_INFO
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

struct DesktopState {
    ScreenModel screen;
    ViewState view;

    // Facts of the logged-in desktop, cleared when a login is accepted (UI thread)
    RemoteScreen remote; // copied from the announcement at WM_CV_SCREEN_INFO
    DWORD desktopActive;
    DWORD sliderLevel;

    // Screen parts decoded and the microseconds spent decoding them, for the session
    // statistics: added by the receive thread with Interlocked operations, wrapping.
    volatile LONG partsDecoded, decodeMicros;

    // Input forwarding (UI thread)
    ModifierLatch latch;
    DWORD mouseCaptured;
    DWORD lastPointer; // y << 16 | x of the last unscaled mouse event
    BOOL lastPointerKnown;
    HWND hookWindow; // window the keyboard hook delivers to, NULL when removed

    // Toolbar extras and the remote cursor (UI thread, lights also receive thread)
    HWND keyLights[3];
    volatile BYTE lightState[3]; // written by the receive thread
    HWND levelSlider;
    HCURSOR standardCursors[kStandardCursorCount]; // indexed by PKT_CURSOR_STANDARD
    HCURSOR customCursor;
    HCURSOR remoteCursor; // the shape shown over the view
    HICON markerIcon;
    HWND tileMarker, scaledMarker; // CursorMarker windows

    // Full-screen mode (UI thread)
    DWORD fullScreen;
    HWND fullScreenWindow, fullScreenPad;
};

extern DesktopState g_desktop;
