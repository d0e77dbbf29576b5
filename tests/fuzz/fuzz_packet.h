// Shared by the fuzz entries: an input read as one packet as the framer hands it out,
// header first and exactly dwDataLen payload bytes behind it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

// The payload is the rest of the input, so it ends where libFuzzer's block ends and a
// read past it is an ASan report; dwDataLen is set to its length, as the framer would.
inline int FuzzPacket(const uint8_t *data, size_t size, SessPacketHeader *h, const uint8_t **payload)
{
    if (size > kMaxPacketSize || !DecodePacketHeader(data, size, h))
        return 0;
    h->dwDataLen = (uint32_t)(size - kPacketHeaderSize);
    *payload = data + kPacketHeaderSize;
    return 1;
}
