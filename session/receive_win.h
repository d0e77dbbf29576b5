// The ReceiveThread: the socket's only reader. It frames packets and dispatches them;
// facts for the user interface travel by posted messages.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/packet.h"

int StartReceiveThread(void);

// Dispatches one whole packet as the ReceiveThread does (exposed for tests). Returns 0
// when the session must end (it has been reported and WM_CV_SOCKET posted).
int DispatchPacket(const SessPacketHeader *h, const uint8_t *payload);

// The Agent's latest word on the remote pointer, kept until the UI thread takes it.
struct PendingCursor {
    int shapeKind;   // 0 none, 1 standard index, 2 shape bytes
    uint32_t index;
    BYTE shape[kCursorShapeLen]; // PKT_CURSOR_SHAPE's payload
    int posNew;
    DWORD x, y;
};

// UI thread, in the handlers of the messages the receive thread announces: each takes
// its notice, then the facts. Nonzero when there was something new.
int TakeLoginStatus(DWORD *status);
void TakeScreenNotice(void);
void TakeRestartNotice(void);
int TakeCursorShape(PendingCursor *out);
int TakeCursorPos(DWORD *x, DWORD *y);
