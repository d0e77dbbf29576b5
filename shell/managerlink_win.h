// The link to the management console: named shared memory, mutex and completion
// event, records posted to its window, and the watch for its termination event.
// Records may be sent from any thread; the named mutex serialises them.
#pragma once
#include <windows.h>

// Start-up: creates or opens the named mapping, its view, the event and the mutex.
int ManagerLinkOpen(void);
void ManagerLinkClose(void);

// Delivers a MessageRecord (text as shown or logged). startupFlag 1 while the viewer
// is ending during start-up. Does nothing when no console window exists.
void SendMessageRecord(DWORD startupFlag, const char *text);

// Delivers a ConnectionRecord for the current target: state 1 logged in, 0 closed.
// The password travels only when returnPassword is set.
void SendConnectionRecord(DWORD state, int returnPassword);

// Creates "CVTERM:<pid>" (once); StartTerminateWatch does it too when not done yet.
void CreateTerminateEvent(void);
// Starts the thread that waits for "CVTERM:<pid>" or StopEvent and closes mainWindow
// on the former. Returns 0 when the thread cannot be started.
int StartTerminateWatch(HWND mainWindow);
