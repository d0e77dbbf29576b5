// Byte layouts of the records left in the management console's shared memory.
#include "shell/managerrecord.h"

#include <cstdio>
#include <cstring>

static void PutU32(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

static uint32_t GetU32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void EncodeConnectionRecord(uint8_t out[kConnectionRecordSize], const ConnectionRecord *r)
{
    memset(out, 0, kConnectionRecordSize);
    PutU32(out + 0, r->state);
    PutU32(out + 4, r->protocol);
    memcpy(out + 8, r->address, 4);
    memcpy(out + 12, r->node, 6);
    PutU32(out + 18, r->passwordReturned);
    size_t n = strnlen(r->password, sizeof(r->password) - 1);
    memcpy(out + 22, r->password, n);
}

int DecodeConnectionRecord(const uint8_t *in, size_t len, ConnectionRecord *r)
{
    if (len < kConnectionRecordSize)
        return 0;
    memset(r, 0, sizeof(*r));
    r->state = GetU32(in + 0);
    r->protocol = GetU32(in + 4);
    memcpy(r->address, in + 8, 4);
    memcpy(r->node, in + 12, 6);
    r->passwordReturned = GetU32(in + 18);
    memcpy(r->password, in + 22, 17);
    r->password[17] = 0;
    return 1;
}

void MakeMessageRecord(MessageRecord *r, uint32_t startupFlag, const char *hostText, const char *text)
{
    memset(r, 0, sizeof(*r));
    r->startupFlag = startupFlag;
    if (hostText && hostText[0])
        snprintf(r->caption, sizeof(r->caption), CORVID_MESSAGE_CAPTION " - [%s]", hostText);
    else
        snprintf(r->caption, sizeof(r->caption), "%s", CORVID_MESSAGE_CAPTION);
    snprintf(r->text, sizeof(r->text), "%s", text ? text : "");
}

size_t EncodeMessageRecord(uint8_t *out, size_t cap, const MessageRecord *r)
{
    size_t textLen = strnlen(r->text, kMessageTextMax);
    size_t total = 72 + textLen + 1;
    if (cap < total)
        return 0;
    PutU32(out + 0, 2);
    PutU32(out + 4, r->startupFlag);
    memset(out + 8, 0, kMessageCaptionSize);
    memcpy(out + 8, r->caption, strnlen(r->caption, kMessageCaptionSize - 1));
    memcpy(out + 72, r->text, textLen);
    out[72 + textLen] = 0;
    return total;
}

int DecodeMessageRecord(const uint8_t *in, size_t len, MessageRecord *r)
{
    if (len < 73 || GetU32(in) != 2)
        return 0;
    memset(r, 0, sizeof(*r));
    r->startupFlag = GetU32(in + 4);
    memcpy(r->caption, in + 8, kMessageCaptionSize - 1);
    size_t room = len - 72;
    if (room > kMessageTextMax)
        room = kMessageTextMax;
    memcpy(r->text, in + 72, strnlen((const char *)in + 72, room));
    return 1;
}
