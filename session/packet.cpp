// Session packet header codec and small payload builders.
// No state; callable from any thread.
#include "session/packet.h"

#include <cstring>

void PutU16LE(uint8_t *p, uint16_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}

void PutU32LE(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

uint16_t GetU16LE(const uint8_t *p) { return (uint16_t)(p[0] | (p[1] << 8)); }

uint32_t GetU32LE(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void ByteReaderInit(ByteReader *r, const uint8_t *data, size_t len)
{
    r->data = data;
    r->len = data ? len : 0;
    r->off = 0;
    r->ok = 1;
}

size_t ByteReaderLeft(const ByteReader *r) { return r->ok ? r->len - r->off : 0; }

// Returns the next n bytes or NULL, clearing ok for good on a short read.
static const uint8_t *Take(ByteReader *r, size_t n)
{
    if (!r->ok || n > r->len - r->off) {
        r->ok = 0;
        return nullptr;
    }
    const uint8_t *p = r->data + r->off;
    r->off += n;
    return p;
}

uint8_t ReadU8(ByteReader *r)
{
    const uint8_t *p = Take(r, 1);
    return p ? p[0] : 0;
}

uint16_t ReadU16LE(ByteReader *r)
{
    const uint8_t *p = Take(r, 2);
    return p ? GetU16LE(p) : 0;
}

uint32_t ReadU32LE(ByteReader *r)
{
    const uint8_t *p = Take(r, 4);
    return p ? GetU32LE(p) : 0;
}

int32_t ReadI32LE(ByteReader *r)
{
    uint32_t u = ReadU32LE(r);
    int32_t v;
    memcpy(&v, &u, sizeof v); // two's complement without a signed overflow
    return v;
}

int ReadBytes(ByteReader *r, void *out, size_t n)
{
    const uint8_t *p = Take(r, n);
    if (!p) {
        if (n)
            memset(out, 0, n);
        return 0;
    }
    if (n)
        memcpy(out, p, n);
    return 1;
}

int SkipBytes(ByteReader *r, size_t n) { return Take(r, n) != nullptr; }

int ReadFixedString(ByteReader *r, size_t fieldLen, char *out, size_t outCap)
{
    const uint8_t *p = Take(r, fieldLen);
    if (outCap == 0)
        return 0;
    out[0] = 0;
    if (!p)
        return 0;
    // The field need not hold a terminator; never look past it.
    size_t n = 0;
    while (n < fieldLen && p[n] != 0)
        n++;
    if (n > outCap - 1)
        n = outCap - 1;
    memcpy(out, p, n);
    out[n] = 0;
    return 1;
}

int EncodePacketHeader(const SessPacketHeader *h, uint8_t *out, size_t outCap)
{
    if (outCap < kPacketHeaderSize)
        return 0;
    PutU32LE(out, h->dwType);
    PutU32LE(out + 4, h->dwDataLen);
    PutU32LE(out + 8, h->dwRequired);
    return 1;
}

int DecodePacketHeader(const uint8_t *in, size_t inLen, SessPacketHeader *h)
{
    if (inLen < kPacketHeaderSize)
        return 0;
    h->dwType = GetU32LE(in);
    h->dwDataLen = GetU32LE(in + 4);
    h->dwRequired = GetU32LE(in + 8);
    return 1;
}

uint32_t ViewerRequiredFlag(uint32_t type)
{
    // These three may reach an Agent too old to know them; it skips them.
    switch (type) {
    case PKT_AGENT_SETTINGS_STRING:
    case PKT_AGENT_SETTINGS_FLAG:
    case PKT_SELECT_SCREEN:
        return 0;
    default:
        return 1;
    }
}

size_t BuildPacketWithFlag(uint32_t type, uint32_t required, const void *payload, size_t len, uint8_t *out,
                           size_t outCap)
{
    if (len > kMaxPayloadSize)
        return 0;
    if (outCap < kPacketHeaderSize || len > outCap - kPacketHeaderSize)
        return 0;
    if (len && !payload)
        return 0;
    SessPacketHeader h = {type, (uint32_t)len, required};
    if (len && payload != out + kPacketHeaderSize)
        memmove(out + kPacketHeaderSize, payload, len);
    EncodePacketHeader(&h, out, outCap);
    return kPacketHeaderSize + len;
}

size_t BuildPacket(uint32_t type, const void *payload, size_t len, uint8_t *out, size_t outCap)
{
    return BuildPacketWithFlag(type, ViewerRequiredFlag(type), payload, len, out, outCap);
}

static size_t BuildU32Packet(uint32_t type, uint32_t v, uint8_t *out, size_t outCap)
{
    uint8_t payload[4];
    PutU32LE(payload, v);
    return BuildPacket(type, payload, sizeof payload, out, outCap);
}

size_t BuildAgentKeys(uint8_t *out, size_t outCap) { return BuildPacket(PKT_AGENT_KEYS, nullptr, 0, out, outCap); }

size_t BuildSetSwitch(int on, uint8_t *out, size_t outCap)
{
    return BuildU32Packet(PKT_SET_SWITCH, on ? 1 : 0, out, outCap);
}

size_t BuildSetClipboardSync(int on, uint8_t *out, size_t outCap)
{
    return BuildU32Packet(PKT_SET_CLIPBOARD_SYNC, on ? 1 : 0, out, outCap);
}

size_t BuildGetAgentSettings(uint8_t *out, size_t outCap)
{
    return BuildPacket(PKT_GET_AGENT_SETTINGS, nullptr, 0, out, outCap);
}

size_t BuildSessionStamp(uint32_t stamp, uint8_t *out, size_t outCap)
{
    return BuildU32Packet(PKT_SESSION_STAMP, stamp, out, outCap);
}

size_t BuildSelectScreen(uint32_t number, uint8_t *out, size_t outCap)
{
    if (number < 1 || number > 255)
        return 0;
    uint8_t payload[kSelectScreenLen] = {};
    payload[0] = (uint8_t)number;
    return BuildPacket(PKT_SELECT_SCREEN, payload, sizeof payload, out, outCap);
}

int ScreenNumberFromCommand(uint32_t command, uint32_t *number)
{
    if (command < kCmdScreenFirst || command > kCmdScreenLast)
        return 0;
    *number = command - (kCmdScreenFirst - 1);
    return 1;
}

int ParseU32Payload(const SessPacketHeader *h, const uint8_t *payload, uint32_t *value)
{
    if (h->dwDataLen < 4)
        return 0;
    *value = GetU32LE(payload);
    return 1;
}

int ParseCursorPos(const SessPacketHeader *h, const uint8_t *payload, uint32_t *x, uint32_t *y)
{
    if (h->dwDataLen < kCursorPosLen)
        return 0;
    *x = GetU32LE(payload);
    *y = GetU32LE(payload + 4);
    return 1;
}

int ParseSelectScreen(const SessPacketHeader *h, const uint8_t *payload, uint32_t *number)
{
    if (h->dwDataLen < kSelectScreenLen || payload[0] == 0)
        return 0;
    *number = payload[0];
    return 1;
}
