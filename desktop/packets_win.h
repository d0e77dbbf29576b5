// The desktop's packets on the ReceiveThread: the screen announcement, screen parts,
// the palette, the keyboard lights and the remote pointer's three packets, whose facts wait for the UI thread.
#pragma once
#include <windows.h>

#include "session/packet.h"

// The desktop owner's handler: one packet of the desktop's route types.
int HandleDesktopPacket(const SessPacketHeader *h, const uint8_t *payload);
// Before a ReceiveThread starts: no pointer facts or notices of an earlier session.
void ResetDesktopPackets(void);
// UI thread, in the handler of WM_CV_SCREEN_INFO, before it reads the announcement.
void TakeScreenNotice(void);

// The Agent's latest word on the remote pointer, kept until the UI thread takes it.
struct PendingCursor {
    int shapeKind; // 0 none, 1 standard index, 2 shape bytes
    uint32_t index;
    BYTE shape[kCursorShapeLen]; // PKT_CURSOR_SHAPE's payload
    int posNew;
    DWORD x, y;
};

// UI thread, in the handlers of WM_CV_CURSOR_SHAPE and WM_CV_CURSOR_POS: each takes its
// notice, then the facts. Nonzero when there was something new.
int TakeCursorShape(PendingCursor *out);
int TakeCursorPos(DWORD *x, DWORD *y);
