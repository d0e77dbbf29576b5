// ViewerState: the one process-wide state block. Plain fields are the UI thread's;
// fields written by worker threads name the lock that guards them.
#pragma once
#include <windows.h>

#include "shell/cmdline.h"
#include "shell/settings_model.h"

enum { kLanguageCount = 2 };

typedef char *(WINAPI *StrFormatByteSize64Fn)(LONGLONG size, char *buf, UINT cap);
#define INVALID_SOCKET_VALUE (~(UINT_PTR)0)

struct ViewerState {
    // Process
    HINSTANCE instance;
    char moduleDirectory[MAX_PATH + 1]; // without trailing backslash
    char logPath[MAX_PATH + 16];
    DWORD sessionStamp;                 // seconds since 1970 at start
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
    HWND timedBoxSlot;  // TimedMessageBox while shown
    HWND dialogSlot;    // connect, password, system information, send message
    HANDLE stopEvent;   // manual reset; set once at main-window destruction
    HANDLE terminateWatchThread;

    // Session
    UINT_PTR socket; // INVALID_SOCKET_VALUE while there is none

    // Locks created first at start and deleted last
    CRITICAL_SECTION logLock;
    CRITICAL_SECTION loginInfoLock;
    CRITICAL_SECTION consoleLock;
    CRITICAL_SECTION progressLock;
    CRITICAL_SECTION screenLock;
};

extern ViewerState g_viewer;
