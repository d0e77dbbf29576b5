// The Agent's settings messages as they arrive, and the release of the node lists.
// Portable; receive thread (release on the user-interface thread once the sheet closed).
// Every chunked packet is walked twice: once to check it whole against dwDataLen, once
// to store it, so a refused packet changes nothing.
#include "agentsettings/settings.h"

#include <cstdlib>
#include <cstring>

#include "session/envelope.h"

enum : uint32_t {
    kListsHead = 4,       // record count
    kListsRecord = 8,     // index, string count
    kCommunitiesHead = 8, // last-packet flag, record count
    kCommunitiesRecord = 104,
    kRecordSealed = 12, // offset of the SealedBlock in a communities record
    kRecordCount = 100, // offset of its node count
};

static int Refuse(const char **why, const char *text)
{
    *why = text;
    return 0;
}

// Checks n NUL-terminated strings at p within left bytes; *span gets the bytes they take.
static int CheckStrings(const uint8_t *p, size_t left, uint32_t n, size_t *span, const char **why)
{
    // Every string takes at least its NUL: a count past that is refused before any walk.
    if (n > left)
        return Refuse(why, "a string count past the end of the payload");
    size_t at = 0;
    for (uint32_t i = 0; i < n; i++) {
        const void *nul = memchr(p + at, 0, left - at);
        if (!nul)
            return Refuse(why, "a string without its NUL inside the payload");
        at = (size_t)((const uint8_t *)nul - p) + 1;
    }
    *span = at;
    return 1;
}

// Appends n strings known to be whole (*span gets the bytes they take); cuts a long one
// to 127 characters and says so.
static int AppendStrings(AsNodeArray *a, const uint8_t *p, uint32_t n, size_t *span, const char **note,
                         const char **why)
{
    *span = 0;
    if (n == 0)
        return 1;
    const size_t count = a->count > 0 ? (size_t)a->count : 0;
    char(*grown)[kAsNodeBlock] = (char(*)[kAsNodeBlock])realloc(a->nodes, (count + n) * kAsNodeBlock);
    if (!grown)
        return Refuse(why, "no memory");
    a->nodes = grown;
    for (uint32_t i = 0; i < n; i++) {
        const size_t len = strlen((const char *)p);
        const size_t keep = len < kAsNodeMax ? len : (size_t)kAsNodeMax;
        char *block = a->nodes[count + i];
        memcpy(block, p, keep);
        memset(block + keep, 0, kAsNodeBlock - keep);
        if (keep < len && !*note)
            *note = "a node longer than 127 characters was cut";
        p += len + 1;
        *span += len + 1;
    }
    a->count = (int32_t)(count + n);
    return 1;
}

// Whether n more nodes still fit an array.
static int RoomFor(const AsNodeArray *a, uint64_t n)
{
    const uint64_t count = a->count > 0 ? (uint64_t)a->count : 0;
    return count + n <= kAsNodeCountMax;
}

int AsReceiveCommon(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, uint16_t agentVersion,
                    const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kAsCommonReadLen)
        return Refuse(why, "shorter than its 56 bytes");
    for (uint32_t i = 0; i < kAsCommonFields; i++)
        s->common[i] = GetU32LE(payload + 4 * i);
    if (agentVersion < kAsVersionFlag)
        s->flag = 1;
    return 1;
}

int AsReceiveString(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kAsStringLen)
        return Refuse(why, "shorter than its 281 bytes");
    const size_t len = strnlen((const char *)payload, kAsTextField);
    const size_t keep = len < kAsTextMax ? len : (size_t)kAsTextMax;
    memcpy(s->text, payload, keep);
    memset(s->text + keep, 0, kAsTextField - keep);
    if (keep < len)
        *why = "a text without its NUL in 261 bytes was cut to 260 characters";
    s->number = GetU32LE(payload + kAsTextField);
    return 1;
}

int AsReceiveFlag(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kAsFlagLen)
        return Refuse(why, "shorter than its 4 bytes");
    s->flag = GetU32LE(payload);
    return 1;
}

int AsReceiveNodeLists(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, const char **why)
{
    *why = nullptr;
    const size_t len = h->dwDataLen;
    if (len < kListsHead)
        return Refuse(why, "shorter than its record count");
    const uint32_t records = GetU32LE(payload);
    if (records > (len - kListsHead) / kListsRecord)
        return Refuse(why, "more records than the payload holds");
    uint64_t added[kAsProtocols] = {0, 0};
    size_t at = kListsHead;
    for (uint32_t r = 0; r < records; r++) {
        if (len - at < kListsRecord)
            return Refuse(why, "a record cut short");
        const uint32_t index = GetU32LE(payload + at), n = GetU32LE(payload + at + 4);
        if (index >= kAsProtocols)
            return Refuse(why, "a list index outside 0 to 1");
        at += kListsRecord;
        size_t span = 0;
        if (!CheckStrings(payload + at, len - at, n, &span, why))
            return 0;
        at += span;
        added[index] += n;
    }
    for (uint32_t i = 0; i < kAsProtocols; i++)
        if (!RoomFor(&s->lists[i], added[i]))
            return Refuse(why, "more nodes than a list holds");

    const char *note = nullptr;
    at = kListsHead;
    for (uint32_t r = 0; r < records; r++) {
        const uint32_t index = GetU32LE(payload + at), n = GetU32LE(payload + at + 4);
        at += kListsRecord;
        size_t span = 0;
        if (!AppendStrings(&s->lists[index], payload + at, n, &span, &note, why))
            return 0;
        at += span;
    }
    *why = note;
    return 1;
}

int AsReceiveCommunities(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, int *last,
                         const char **why)
{
    *why = nullptr;
    *last = 0;
    const size_t len = h->dwDataLen;
    if (len < kCommunitiesHead)
        return Refuse(why, "shorter than its 8-byte head");
    const uint32_t records = GetU32LE(payload + 4);
    if (records > (len - kCommunitiesHead) / kCommunitiesRecord)
        return Refuse(why, "more records than the payload holds");
    uint64_t added[kAsCommunities][kAsProtocols] = {};
    size_t at = kCommunitiesHead;
    for (uint32_t r = 0; r < records; r++) {
        if (len - at < kCommunitiesRecord)
            return Refuse(why, "a record cut short");
        const uint32_t c = GetU32LE(payload + at), p = GetU32LE(payload + at + 4);
        const uint32_t n = GetU32LE(payload + at + kRecordCount);
        if (c >= kAsCommunities)
            return Refuse(why, "a community outside 0 to 3");
        if (p >= kAsProtocols)
            return Refuse(why, "a protocol outside 0 to 1");
        at += kCommunitiesRecord;
        size_t span = 0;
        if (!CheckStrings(payload + at, len - at, n, &span, why))
            return 0;
        at += span;
        added[c][p] += n;
    }
    for (uint32_t c = 0; c < kAsCommunities; c++)
        for (uint32_t p = 0; p < kAsProtocols; p++)
            if (!RoomFor(&s->communities[c].protocol[p].nodes, added[c][p]))
                return Refuse(why, "more nodes than a community holds");

    const char *note = nullptr;
    at = kCommunitiesHead;
    for (uint32_t r = 0; r < records; r++) {
        const uint8_t *rec = payload + at;
        AsProtocolBlock *b = &s->communities[GetU32LE(rec)].protocol[GetU32LE(rec + 4)];
        const uint32_t n = GetU32LE(rec + kRecordCount);
        if (GetU32LE(rec + 8) == 1) {
            uint8_t plain[kSealedShortPlain];
            if (OpenShort(rec + kRecordSealed, plain)) {
                memcpy(b->password, plain, kAsPasswordMax);
                b->password[kAsPasswordMax] = 0;
            } else if (!note) {
                note = "a password that does not open was left as it was";
            }
            memset(plain, 0, sizeof plain);
        }
        at += kCommunitiesRecord;
        size_t span = 0;
        if (!AppendStrings(&b->nodes, payload + at, n, &span, &note, why))
            return 0;
        at += span;
    }
    *why = note;
    *last = GetU32LE(payload) != 0;
    return 1;
}

static void FreeNodes(AsNodeArray *a)
{
    free(a->nodes);
    a->nodes = nullptr;
    a->count = 0;
}

void AsRelease(AgentSettings *s)
{
    for (uint32_t i = 0; i < kAsProtocols; i++)
        FreeNodes(&s->lists[i]);
    for (uint32_t c = 0; c < kAsCommunities; c++)
        for (uint32_t p = 0; p < kAsProtocols; p++)
            FreeNodes(&s->communities[c].protocol[p].nodes);
}
