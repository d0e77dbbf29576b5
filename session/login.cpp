// Payloads of the session's opening and the commands each right grants. Portable.
#include "session/login.h"

#include "session/envelope.h"

#include <cstring>

enum { kLoginReplySize = 39 };

int ParseLoginReply(const SessPacketHeader *h, const uint8_t *payload, uint32_t *status, LoginInfo *info)
{
    if (h->dwDataLen < kLoginReplySize)
        return 0;
    ByteReader r;
    ByteReaderInit(&r, payload, kLoginReplySize);
    memset(info, 0, sizeof(*info));
    *status = ReadU32LE(&r);
    info->agentVersion = ReadU16LE(&r);
    info->osPlatform = ReadU8(&r);
    info->osMajor = ReadU32LE(&r);
    info->osMinor = ReadI32LE(&r);
    ReadFixedString(&r, 16, info->computerName, sizeof(info->computerName));
    info->rights = ReadU32LE(&r);
    info->sliderLevel = ReadU32LE(&r);
    return r.ok;
}

size_t BuildLoginPacket(const uint8_t password[15], uint8_t out[kLoginPacketSize])
{
    uint8_t sealed[kSealedShortSize];
    // A failed seal still sends a block of the right size; the Agent then refuses
    // the login, which ends the session with its message.
    if (!SealShort(sealed, password))
        memset(sealed, 0, sizeof(sealed));
    return BuildPacket(PKT_LOGIN, sealed, sizeof(sealed), out, kLoginPacketSize);
}

size_t BuildClientInfo(uint16_t planes, uint16_t bitsPerPixel, uint32_t slowNet, uint8_t out[kClientInfoPacketSize])
{
    uint8_t p[12];
    PutU16LE(p + 0, planes);
    PutU16LE(p + 2, bitsPerPixel);
    PutU32LE(p + 4, slowNet);
    PutU16LE(p + 8, kViewerProtocolVersion);
    PutU16LE(p + 10, 0);
    return BuildPacket(PKT_CLIENT_INFO, p, sizeof(p), out, kClientInfoPacketSize);
}

int CommandsForRights(uint32_t rights, uint32_t *out)
{
    int n = 0;
    if (rights & RIGHT_REMOTE_CONTROL) {
        out[n++] = 40002;
        out[n++] = 40004;
        out[n++] = 40003;
        out[n++] = 40024;
    }
    if (rights & RIGHT_AGENT_SETTINGS)
        out[n++] = 40012;
    if (rights & RIGHT_FILE_TRANSFER)
        out[n++] = 40013;
    out[n] = 0;
    return n;
}
