// The session's own state: the socket, the network threads and their events, the send
// queue and the facts of the login. Plain fields are the UI thread's; fields written by
// worker threads name the lock that guards them.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/login.h"

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

// Facts of the logged-in session, cleared as a whole by an accepted login reply.
struct SessionInfo {
    LoginInfo login;             // LoginInfoLock
    volatile LONG bytesReceived; // added by the receive thread
    volatile LONG bytesSent;     // added by the send thread
};

struct SessionState {
    SOCKET socket; // INVALID_SOCKET while there is none
    BOOL winsockStarted;
    WSAPROTOCOL_INFOA *protocols; // heap block of the protocol enumeration
    const WSAPROTOCOL_INFOA *chosenProtocol;
    HANDLE receiveThread, sendThread;
    HANDLE readReadyEvent, writeReadyEvent, queueSpaceEvent, queueDataEvent, syncReplyEvent;
    HANDLE sendEndedEvent; // manual reset: set when the SendThread ends, reset on connect
    WSAEVENT networkEvent; // TCP only
    CRITICAL_SECTION sendQueueLock;
    BOOL sendQueueLockReady;
    SendQueue sendQueue;

    SessionInfo info;
    DWORD loggedIn;
};

extern SessionState g_session;
