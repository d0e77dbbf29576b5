// The connection to the Agent: Winsock start and provider choice, the socket and its
// connect dialog, its readiness (TCP), WM_CV_SOCKET, and network error texts.
// UI thread, except FormatNetError (any thread) and TakeNetworkEvents (ReceiveThread).
#pragma once
#include <winsock2.h>
#include <windows.h>

enum { kAgentPort = 21560 };

// Start-up: Winsock 2.0 and the provider for the target's protocol. Reports failures.
int NetStartup(void);
// Shutdown: frees the provider list and stops Winsock.
void NetShutdown(void);

// Socket, options, connect dialog, worker threads. Reports failures (a cancel by the
// user is silent). Returns 0 on failure; the caller ends the session.
int NetConnect(HWND owner);
// Main-window destruction: closes the socket and reports the closed state.
void NetClose(void);

// Main-window creation: the session's events. Returns 0 when one cannot be made.
int NetCreateEvents(void);
void NetCloseEvents(void);

// TCP: readiness of the connected socket sets NetworkEvent, on which the ReceiveThread waits.
int SelectNetworkEvents(void);
// One batch of readiness: write readiness to WriteReadyEvent, the first close to the
// main window (*closed remembers it); 1 when the socket is readable, also after the close.
int AnnounceNetworkEvents(const WSANETWORKEVENTS *ne, BOOL *closed);
// The ReceiveThread's: takes the batch that set NetworkEvent and announces it; -1 when
// the socket has none to give (it is closed under the thread).
int TakeNetworkEvents(BOOL *closed);

// WM_CV_SOCKET: event in the low word of lParam, error code in the high word. FD_CLOSE
// is the main window's (the box and the close).
void NetOnSocketMessage(HWND mainWindow, LPARAM lParam);

// "<protocol>: <string id>[ <code> - <code text or string 22>]"; any thread.
void FormatNetError(int code, UINT stringId, char *out, int cap);
