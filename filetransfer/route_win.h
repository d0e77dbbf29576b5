// The receive thread's hand-over of file-transfer packets. Receive thread, except
// FtDropPendingReplies (the frame's UI thread).
#pragma once
#include <windows.h>

#include "session/packet.h"

// Replies 30, 31, 33, 35, 37, 39, 41, 42, 45 wait for the file-transfer window as heap
// copies of the whole packets, in order, announced by one WM_CV_FT_REPLIES at a time;
// 43 and 44 go to SyncReplyBuffer. A packet nobody waits for is logged and dropped.
// While kFtReplySlots replies or kFtReplyBytes bytes wait, the receive thread waits for
// room, so TCP slows the Agent instead of the heap growing. Returns 0 only when the
// session must end (no memory for a reply: reported, and the main window told the
// connection is closed; or the viewer is closing).
int FtRoutePacket(const SessPacketHeader *h, const uint8_t *payload);
enum { kFtReplySlots = 256, kFtReplyBytes = 4 << 20 };

// UI thread, WM_CV_FT_REPLIES: the oldest waiting reply, its WM_CV_FT_REPLY number and
// block (the caller frees it with FtFreeReply); the next one is announced again before
// it is handled, so a box its handler opens takes the rest in order, as before. 0: none.
int FtTakeReply(UINT *message, LPARAM *block);

// Frees the replies still waiting for a frame that is going away.
void FtDropPendingReplies(HWND frame);

// The frame's handler frees every block it was given with this.
void FtFreeReply(LPARAM block);

// A copy worker's reply event, while it runs: a PKT_FT_ACK that goes on sets it from the
// receive thread, not through the frame and the progress dialog, so an acknowledged chunk
// wakes one thread instead of three. Any other acknowledgement takes the frame's way.
// Worker thread; Close before the event is closed.
void FtAckShortcutOpen(HANDLE replyEvent);
void FtAckShortcutClose(void);
