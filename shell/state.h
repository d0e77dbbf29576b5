// ViewerState: the shell's own state: the process, the language, the command line and
// settings, the main window with the windows it keeps track of, and the locks start-up
// makes. Plain fields are the UI thread's; fields written by worker threads name the
// lock that guards them.
//
// Each subsystem keeps its own state in one global of its own, declared in its
// state_win.h and defined in one of its files: g_session, g_desktop, g_console,
// g_agentSettings, g_ft. State that one file alone uses is static in that file. This
// header includes no subsystem's header.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "shell/cmdline.h"
#include "shell/settings_model.h"

enum { kLanguageCount = 2, kMaxTimedBoxes = 8 };

typedef char *(WINAPI *StrFormatByteSize64Fn)(LONGLONG size, char *buf, UINT cap);
#define INVALID_SOCKET_VALUE INVALID_SOCKET

struct ViewerState {
    // Process
    HINSTANCE instance;
    char moduleDirectory[MAX_PATH + 1]; // without trailing backslash
    char logPath[MAX_PATH + 16];
    DWORD sessionStamp; // seconds since 1970 at start; UI thread
    BOOL ntFamily;
    DWORD shellVersion;                        // shlwapi major*256+minor, 0 when unknown
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
    DWORD uiThreadId;                // the thread that runs the windows; it never waits for the network
    HWND timedBoxes[kMaxTimedBoxes]; // TimedBoxLock: tracked TimedMessageBoxes now shown
    BOOL timedBoxesClosed;           // TimedBoxLock: shutdown ended them all
    HWND dialogSlot;                 // connect, password, system information, send message
    HWND logoWindow;                 // "CORVID:LOGO" while it is shown; one at a time
    HANDLE stopEvent;                // manual reset; set once at main-window destruction
    volatile LONG stopping;          // set just before StopEvent: a look costs no system call
    HANDLE terminateWatchThread;

    // Main window state (UI thread)
    struct {
        int bitsPerPixel, width, height;
        int dpi; // read once by DisplayDpi; 0 until then
    } localDisplay;
    HMENU menu;
    HWND toolbar;
    HFONT labelFont, smallFont; // Arial, Cyrillic: 16/600 and 14/100 at 96 DPI
    char localComputerName[16];
    DWORD controlMode, switchOn, clipboardExchange, focused, menuOpen;
    HWND fileTransferWindow; // "CORVID:FILETRANSFER" while it exists

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
