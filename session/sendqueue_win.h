// The SendQueue (64 slots, 63 usable) and the SendThread, the socket's only writer.
// EnqueuePacket may be called from any thread; SendQueueLock guards indices and slots.
#pragma once
#include <winsock2.h>
#include <windows.h>

// Made with the main window, before any thread that sends starts; freed at destruction.
void SendQueueCreateLock(void);
// Frees every slot buffer and deletes the lock; safe after a partial creation.
void SendQueueDestroy(void);
// On connect: both indices 0 and room announced.
void SendQueueReset(void);

// Copies one whole packet into the queue. A worker thread waits while the ring is
// full; the UI thread never waits: a full ring fails its packet and has the main
// window end the session (WM_CV_SEND_STALLED). Returns 0 when StopEvent is set, the
// SendThread has ended, the UI thread met a full ring, or no memory could be had
// (then *outOfMemory is 1).
int EnqueuePacket(const void *packet, DWORD size, int *outOfMemory);
// For pointer moves: dropped when the ring is nearly full, since the next move
// supersedes it. Returns kQueued, kQueueDropped, or 0 when the session is over.
enum { kQueued = 1, kQueueDropped = 2 };
int EnqueueDroppable(const void *packet, DWORD size);
// EnqueuePacket for callers that treat any failure as the end of the session: on 0
// it posts the exit command to the main window.
int QueueOrExit(const void *packet, DWORD size);
// The copy workers' packets: written to the socket on the caller's thread when the ring is
// empty, so a chunk or an answer does not wait for the SendThread to wake; otherwise queued
// behind what waits, as EnqueuePacket. Worker threads only; returns as EnqueuePacket.
int SendPacketNow(const void *packet, DWORD size, int *outOfMemory);

int StartSendThread(void);
