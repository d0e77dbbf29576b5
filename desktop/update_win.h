// Screen parts from the receive thread into the tiles and the whole-screen frame, and
// the visible tile range told to the Agent.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/packet.h"
#include "shell/post_win.h"

// Receive thread. Each returns 1; a part the viewer cannot place is logged and dropped.
int HandleXoredScrPart(const SessPacketHeader *h, const uint8_t *payload);
int HandleRlePart(const SessPacketHeader *h, const uint8_t *payload, int xorMode);
int HandlePalette(const SessPacketHeader *h, const uint8_t *payload);
// Raised by HandlePalette; WM_CV_PALETTE's handler takes it before the table.
extern UiNotice g_paletteNotice;
// Receive thread, after the packets of one read: tells the UI thread once that tiles
// changed. A batch is then everything decoded until the UI thread takes it, so a busy
// stream makes few large batches and a quiet one shows each change at once.
void AnnounceChangedTiles(void);

// UI thread, WM_CV_TILES_CHANGED: shows the tiles decoded into since the last call
// (drawn from the frame onto the visible tile pad or scaled view, else their windows
// invalidated).
void InvalidateChangedTiles(void);
// UI thread: the scaled view's whole picture onto dc, for an exposure.
void PaintScaledPicture(HWND view, HDC dc);

// UI thread: PKT_VIEW_GRID for the frame's client area; returns the queue's result.
int SendViewGrid(void);
// UI thread: stores and sends the range when it differs from the last one sent.
void UpdateVisibleTileRange(int firstColumn, int columnCount, int firstRow, int rowCount);
// UI thread: sends a range as it is, without storing it (full screen asks for every
// tile), or the stored range again (leaving full screen).
void SendTileRange(int firstColumn, int columnCount, int firstRow, int rowCount);
void ResendVisibleTileRange(void);
