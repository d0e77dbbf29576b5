// libFuzzer entry for the packet framer: the input is both the stream and
// the way it is cut. Each run is single-threaded and self-contained.
#include "session/framer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Reference reading of the whole stream at once: the packet at off, or
// -1 for an oversize header, 0 when the stream ends inside a packet.
int RefNext(const uint8_t *s, size_t len, size_t off, SessPacketHeader *h)
{
    if (!DecodePacketHeader(s + off, len - off, h))
        return 0;
    if (h->dwDataLen > kMaxPacketSize - kPacketHeaderSize)
        return -1;
    if (h->dwDataLen > len - off - kPacketHeaderSize)
        return 0;
    return 1;
}

PacketFramer g_framer;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks the cut pattern; the rest is the stream.
    const unsigned seed = data[0];
    const uint8_t *s = data + 1;
    const size_t len = size - 1;

    PacketFramer *f = &g_framer;
    FramerInit(f);
    size_t at = 0, refOff = 0;
    unsigned step = seed;
    for (;;) {
        SessPacketHeader h, rh;
        const uint8_t *p;
        int rc = FramerNext(f, &h, &p);
        if (rc == kFramerPacket) {
            if (RefNext(s, len, refOff, &rh) != 1)
                abort();
            if (memcmp(&h, &rh, sizeof h) != 0)
                abort();
            if (h.dwDataLen && memcmp(p, s + refOff + kPacketHeaderSize, h.dwDataLen) != 0)
                abort();
            refOff += kPacketHeaderSize + h.dwDataLen;
            continue;
        }
        if (rc == kFramerError) {
            if (RefNext(s, len, refOff, &rh) != -1)
                abort();
            char text[128];
            if (!FormatFramerError(f, text, sizeof text))
                abort();
            break;
        }
        if (at == len) {
            if (RefNext(s, len, refOff, &rh) != 0)
                abort();
            break;
        }
        step = step * 1103515245u + 12345u;
        size_t n = 1 + (step >> 16) % (seed % 4 == 0 ? 7 : 40000);
        if (n > len - at)
            n = len - at;
        if (step & 0x8000) {
            size_t took = FramerAppend(f, s + at, n);
            if (took == 0)
                abort(); // after draining there is always room
            at += took;
        } else {
            uint8_t *tail;
            size_t cap;
            if (!FramerFreeSpace(f, &tail, &cap) || cap == 0)
                abort();
            if (n > cap)
                n = cap;
            memcpy(tail, s + at, n);
            if (!FramerCommit(f, n))
                abort();
            at += n;
        }
    }
    return 0;
}
