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
