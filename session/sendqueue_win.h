// The SendQueue (64 slots, 63 usable) and the SendThread, the socket's only writer.
// EnqueuePacket may be called from any thread; SendQueueLock guards indices and slots.
#pragma once
#include <winsock2.h>
#include <windows.h>

// With the main window: the lock (creation step 3), freed at destruction.
void SendQueueCreateLock(void);
// Frees every slot buffer and deletes the lock; safe after a partial creation.
void SendQueueDestroy(void);
// On connect: both indices 0 and room announced.
void SendQueueReset(void);

// Copies one whole packet into the queue; blocks while it is full. Returns 0 when
// StopEvent is set or no memory could be had (then *outOfMemory is 1).
int EnqueuePacket(const void *packet, DWORD size, int *outOfMemory);
// EnqueuePacket for callers that treat any failure as the end of the session: on 0
// it posts the exit command to the main window.
int QueueOrExit(const void *packet, DWORD size);

int StartSendThread(void);
