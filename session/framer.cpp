// Packet framing over the ReceiveBuffer: bytes in, whole packets out.
// Used by one thread only; no locking.
#include "session/framer.h"

#include <cstdio>
#include <cstring>

void FramerInit(PacketFramer *f)
{
    f->start = 0;
    f->fill = 0;
    f->returned = 0;
    f->failed = 0;
    f->badHeader = SessPacketHeader{0, 0, 0};
}

// Forgets the packet handed out last; an emptied buffer restarts at 0 so the
// common case of whole reads never moves a byte.
static void DropReturned(PacketFramer *f)
{
    f->start += f->returned;
    f->returned = 0;
    if (f->start == f->fill) {
        f->start = 0;
        f->fill = 0;
    }
}

int FramerFreeSpace(PacketFramer *f, uint8_t **ptr, size_t *cap)
{
    *ptr = nullptr;
    *cap = 0;
    if (f->failed)
        return 0;
    DropReturned(f);
    // Move what is left to the front so a packet cut by the last read can be
    // completed behind it: a packet never exceeds the buffer.
    if (f->start > 0) {
        memmove(f->buf, f->buf + f->start, f->fill - f->start);
        f->fill -= f->start;
        f->start = 0;
    }
    if (f->fill >= kReceiveBufferSize)
        return 0;
    *ptr = f->buf + f->fill;
    *cap = kReceiveBufferSize - f->fill;
    return 1;
}

int FramerCommit(PacketFramer *f, size_t n)
{
    if (f->failed || n > kReceiveBufferSize - f->fill)
        return 0;
    f->fill += n;
    return 1;
}

size_t FramerAppend(PacketFramer *f, const uint8_t *data, size_t len)
{
    uint8_t *tail;
    size_t cap;
    if (len == 0 || !FramerFreeSpace(f, &tail, &cap))
        return 0;
    size_t n = len < cap ? len : cap;
    memcpy(tail, data, n);
    f->fill += n;
    return n;
}

int FramerNext(PacketFramer *f, SessPacketHeader *h, const uint8_t **payload)
{
    *payload = nullptr;
    if (f->failed) {
        *h = f->badHeader;
        return kFramerError;
    }
    DropReturned(f);
    size_t held = f->fill - f->start;
    SessPacketHeader hdr;
    if (!DecodePacketHeader(f->buf + f->start, held, &hdr))
        return kFramerNeedMore;
    // Judged from the header alone: such a packet could never fit the
    // buffer, so waiting for it would stall the session for good.
    if (hdr.dwDataLen > kMaxPayloadSize) {
        f->failed = 1;
        f->badHeader = hdr;
        *h = hdr;
        return kFramerError;
    }
    if (hdr.dwDataLen > held - kPacketHeaderSize)
        return kFramerNeedMore;
    *h = hdr;
    *payload = f->buf + f->start + kPacketHeaderSize;
    f->returned = kPacketHeaderSize + hdr.dwDataLen;
    return kFramerPacket;
}

size_t FramerHeld(const PacketFramer *f) { return f->fill - f->start - f->returned; }

int FormatFramerError(const PacketFramer *f, char *out, size_t outCap)
{
    if (outCap == 0)
        return 0;
    out[0] = 0;
    if (!f->failed)
        return 0;
    int n = snprintf(out, outCap, "Packet of type %u announces %u payload bytes, more than %u in all",
                     (unsigned)f->badHeader.dwType, (unsigned)f->badHeader.dwDataLen, (unsigned)kMaxPacketSize);
    return n >= 0 && (size_t)n < outCap;
}
