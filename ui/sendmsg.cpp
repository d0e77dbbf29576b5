// The send-message packet. Portable, no state.
#include "ui/sendmsg.h"

#include "session/packet.h"

#include <cstring>

uint32_t MessageIconFlag(uint32_t icon)
{
    static const uint32_t kFlags[] = {64, 48, 32}; // MB_ICONINFORMATION, MB_ICONWARNING, MB_ICONQUESTION
    return icon < 3 ? kFlags[icon] : 16;           // MB_ICONERROR
}

uint32_t MessageTimeoutField(const MessageChoice *c) { return c->timed ? c->seconds : kSendNoTimeout; }

size_t BuildSendMessage(const MessageChoice *c, const char *text, uint8_t packet[kSealMessagePacketSize])
{
    uint8_t plain[kSealMessagePlain];
    memset(plain, 0, sizeof(plain));
    memcpy(plain, text, strnlen(text, kSendTextMax));
    memset(packet, 0, kSealMessagePacketSize);
    const int sealed = SealMessage(packet, plain);
    memset(plain, 0, sizeof(plain));
    if (!sealed)
        return 0;
    const SessPacketHeader h = {PKT_SEND_MESSAGE, kSendMessageLen, ViewerRequiredFlag(PKT_SEND_MESSAGE)};
    if (!EncodePacketHeader(&h, packet, kPacketHeaderSize))
        return 0;
    PutU32LE(packet + kSendTimeoutOffset, MessageTimeoutField(c));
    PutU32LE(packet + kSendIconOffset, MessageIconFlag(c->icon));
    return kSealMessagePacketSize;
}
