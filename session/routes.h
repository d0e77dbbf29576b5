// Every packet type the viewer reads from the Agent, with the subsystem that owns it.
// The receive dispatch, the simulator's hostile stream and the tests read this one
// table. Pure data; safe on any thread.
#ifndef CORVID_SESSION_ROUTES_H
#define CORVID_SESSION_ROUTES_H

#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum PacketOwner {
    kOwnerSession,
    kOwnerDesktop,
    kOwnerConsole,
    kOwnerClipboard,
    kOwnerAgentSettings,
    kOwnerFileTransfer,
    kOwnerCount,
};

struct PacketRoute {
    uint32_t type;
    int owner;        // a PacketOwner
    const char *name; // as logs name it
};

extern const PacketRoute kPacketRoutes[];
extern const size_t kPacketRouteCount;

// The route of an Agent-to-viewer type, or NULL for a type the viewer does not read.
const PacketRoute *FindPacketRoute(uint32_t type);
// Agent-to-viewer types the receive dispatch understands.
int IsHandledAgentType(uint32_t type);
// A packet the viewer does not handle but which it may not skip.
int IsRefusedAgentPacket(const SessPacketHeader *h);

#endif
