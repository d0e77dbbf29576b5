// Cuts whole session packets out of a byte stream that arrives in pieces.
// A framer belongs to one thread (the ReceiveThread); it has no lock.
#ifndef CORVID_SESSION_FRAMER_H
#define CORVID_SESSION_FRAMER_H

#include <cstddef>
#include <cstdint>

#include "session/packet.h"

struct PacketFramer {
    uint8_t buf[kReceiveBufferSize];
    size_t start;               // first byte not yet handed out
    size_t fill;                // end of the bytes held
    size_t returned;            // length of the packet last handed out, dropped on the next call
    int failed;                 // sticky: a protocol error was seen
    SessPacketHeader badHeader; // the header that caused it
};

void FramerInit(PacketFramer *f);

// Free tail for a direct socket read. Moves held bytes to the buffer start
// first, so a packet handed out earlier is no longer valid. Returns 0 when
// the framer is in error or has no room (which cannot happen once
// FramerNext has been drained to 0).
int FramerFreeSpace(PacketFramer *f, uint8_t **ptr, size_t *cap);
// Records n bytes written into the tail given by FramerFreeSpace.
int FramerCommit(PacketFramer *f, size_t n);
// Copies up to len bytes in and returns how many were taken.
size_t FramerAppend(PacketFramer *f, const uint8_t *data, size_t len);

enum {
    kFramerError = -1,
    kFramerNeedMore = 0,
    kFramerPacket = 1,
};

// kFramerPacket: *h and *payload (h->dwDataLen bytes) describe the next
// packet; payload points into the framer and stays valid until the next
// FramerNext, FramerFreeSpace or FramerAppend. kFramerNeedMore: wait for
// bytes. kFramerError: the first held header announces a packet over
// kMaxPacketSize (*h receives that header); the framer stays in error.
int FramerNext(PacketFramer *f, SessPacketHeader *h, const uint8_t **payload);

// Bytes held that have not been handed out as packets.
size_t FramerHeld(const PacketFramer *f);

// Log text for the protocol error. Returns 0 when the framer is not in error
// or the text had to be cut to fit.
int FormatFramerError(const PacketFramer *f, char *out, size_t outCap);

#endif
