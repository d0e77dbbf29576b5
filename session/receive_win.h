// The ReceiveThread: the socket's only reader. It frames packets and dispatches them;
// facts for the user interface travel by posted messages.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include "session/packet.h"

int StartReceiveThread(void);

// What reads the packets of one owner (a PacketOwner of session/routes.h): returns 0
// when the session must end (reported, WM_CV_SOCKET posted), else nonzero.
typedef int (*PacketHandler)(const SessPacketHeader *h, const uint8_t *payload);
typedef void (*ReceiveHook)(void);
// Set before any ReceiveThread starts. A routed type whose owner has no handler is
// taken as unknown.
void SetPacketHandler(int owner, PacketHandler handler);
PacketHandler GetPacketHandler(int owner);
// beforeStart runs on the starting thread before each ReceiveThread; afterReads on the
// ReceiveThread after the packets of each read.
void SetReceiveHooks(ReceiveHook beforeStart, ReceiveHook afterReads);
// The session owner's handler: the login reply and restarts.
int SessionPacket(const SessPacketHeader *h, const uint8_t *payload);

// A packet shorter than its type needs: reported, the session ended; returns 0.
int RefuseShortPacket(const SessPacketHeader *h, unsigned expected);

// Dispatches one whole packet as the ReceiveThread does (exposed for tests). Returns 0
// when the session must end (it has been reported and WM_CV_SOCKET posted).
int DispatchPacket(const SessPacketHeader *h, const uint8_t *payload);

// UI thread, in the handlers of the messages the receive thread announces: each takes
// its notice, then the facts. Nonzero when there was something new.
int TakeLoginStatus(DWORD *status);
void TakeRestartNotice(void);
