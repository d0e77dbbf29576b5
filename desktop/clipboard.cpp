// Clipboard text chunks. Portable, no state of its own.
#include "desktop/clipboard.h"

#include <cstring>

uint32_t ClipChunkCount(uint32_t length) { return length / kClipChunkMax + (length % kClipChunkMax != 0); }

size_t BuildClipChunk(const uint8_t *text, uint32_t length, uint32_t index, uint8_t *out, size_t cap)
{
    const uint32_t count = ClipChunkCount(length);
    if (index >= count)
        return 0;
    const uint32_t offset = index * kClipChunkMax;
    const uint32_t n = length - offset < kClipChunkMax ? length - offset : kClipChunkMax;
    if (cap < kPacketHeaderSize + kClipChunkHead + n)
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, length);
    PutU32LE(p + 4, index);
    PutU32LE(p + 8, count);
    PutU32LE(p + 12, n);
    memcpy(p + kClipChunkHead, text + offset, n);
    return BuildPacket(PKT_CLIPBOARD_TEXT, p, kClipChunkHead + n, out, cap);
}

int ParseClipChunk(const SessPacketHeader *h, const uint8_t *payload, ClipChunk *c, const char **why)
{
    memset(c, 0, sizeof(*c));
    if (h->dwDataLen < kClipChunkHead) {
        *why = "shorter than its 16-byte head";
        return 0;
    }
    c->total = GetU32LE(payload);
    c->index = GetU32LE(payload + 4);
    c->count = GetU32LE(payload + 8);
    c->length = GetU32LE(payload + 12);
    c->data = payload + kClipChunkHead;
    if (c->length > kClipChunkMax || c->length > h->dwDataLen - kClipChunkHead) {
        *why = "longer than a chunk or than its packet";
        return 0;
    }
    if (c->total > kClipTextMax) {
        *why = "announcing a text longer than the viewer takes";
        return 0;
    }
    const uint32_t expected = c->total ? ClipChunkCount(c->total) : 1; // an empty text is one empty chunk
    if (c->count != expected || c->index >= c->count) {
        *why = "numbered outside the chunks of its text";
        return 0;
    }
    // Within kClipTextMax nothing below can wrap.
    const uint32_t offset = c->index * kClipChunkMax;
    const uint32_t rest = c->total - offset;
    if (c->length != (rest < kClipChunkMax ? rest : kClipChunkMax)) {
        *why = "not the part of the text its index names";
        return 0;
    }
    return 1;
}

int ClipAssemblyPlace(ClipAssembly *a, const ClipChunk *c, uint32_t *offset, int *begin, int *last)
{
    *begin = c->index == 0;
    if (*begin) {
        a->active = 1;
        a->total = c->total;
        a->count = c->count;
        a->next = 0;
    } else if (!a->active || c->total != a->total || c->count != a->count || c->index != a->next) {
        a->active = 0;
        return 0;
    }
    *offset = c->index * kClipChunkMax;
    *last = c->index == c->count - 1;
    a->next = c->index + 1;
    if (*last)
        a->active = 0;
    return 1;
}
