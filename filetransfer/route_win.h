// The receive thread's hand-over of file-transfer packets. Receive thread, except
// FtDropPendingReplies (the frame's UI thread).
#pragma once
#include <windows.h>

#include "session/packet.h"

// Replies 30, 31, 33, 35, 37, 39, 41, 42, 45 go to the file-transfer window as a heap
// copy of the whole packet; 43 and 44 go to SyncReplyBuffer. A packet nobody waits for
// is logged and dropped. Returns 0 only when the session must end (no memory for a
// reply: reported, and the main window told the connection is closed).
int FtRoutePacket(const SessPacketHeader *h, const uint8_t *payload);

// Frees the replies still queued for a frame that is going away.
void FtDropPendingReplies(HWND frame);

// The frame's handler frees every block it was given with this.
void FtFreeReply(LPARAM block);
