// The Agent settings sent back: the fixed messages and the two chunked ones, packed
// record by record into packets of at most 32,768 bytes. Portable; user-interface thread.
#include "agentsettings/settings.h"

#include <cstdlib>
#include <cstring>

#include "session/envelope.h"

enum : uint32_t {
    kListsFixed = kPacketHeaderSize + 4,       // header, record count
    kCommunitiesFixed = kPacketHeaderSize + 8, // header, last-packet flag, record count
    kListsRecordFixed = 8,
    kCommunitiesRecordFixed = 104,
    kListsCloseAbove = 31736, // after a record: a packet past these ends there
    kCommunitiesCloseAbove = 31640,
};

// One record to pack: its leading fields, a sealed password or NULL, its strings.
struct PackRecord {
    uint32_t first, second;
    const uint8_t *sealed;
    const AsNodeArray *nodes;
};

struct Packer {
    uint8_t *buf; // kAsPacketBuffer bytes
    uint32_t type;
    uint32_t fixed, recordFixed, closeAbove;
    uint32_t len;     // the packet so far: header, fixed fields and records
    uint32_t records; // in this packet, the open one included
    uint32_t countAt; // where the open record's string count lives
    AsQueueFn queue;
    void *ctx;
};

static void PackStart(Packer *pk)
{
    memset(pk->buf, 0, kAsPacketBuffer);
    pk->len = pk->fixed;
    pk->records = 1;
}

// Writes the fixed part of a record; a continued one carries no password.
static void RecordBegin(Packer *pk, const PackRecord *r, int continued)
{
    uint8_t *p = pk->buf + pk->len;
    PutU32LE(p, r->first);
    if (pk->type == PKT_AGENT_SETTINGS_COMMUNITIES) {
        PutU32LE(p + 4, r->second);
        const int present = !continued && r->sealed;
        PutU32LE(p + 8, present);
        if (present)
            memcpy(p + 12, r->sealed, kSealedShortSize);
        else
            memset(p + 12, 0, kSealedShortSize);
    }
    pk->countAt = pk->len + pk->recordFixed - 4;
    PutU32LE(pk->buf + pk->countAt, 0);
    pk->len += pk->recordFixed;
}

static int PackClose(Packer *pk, int last)
{
    SessPacketHeader h = {pk->type, pk->len - kPacketHeaderSize, ViewerRequiredFlag(pk->type)};
    EncodePacketHeader(&h, pk->buf, kPacketHeaderSize);
    if (pk->type == PKT_AGENT_SETTINGS_COMMUNITIES) {
        PutU32LE(pk->buf + kPacketHeaderSize, last ? 1 : 0);
        PutU32LE(pk->buf + kPacketHeaderSize + 4, pk->records);
    } else {
        PutU32LE(pk->buf + kPacketHeaderSize, pk->records);
    }
    return pk->queue(pk->ctx, pk->buf, pk->len);
}

static int PackString(Packer *pk, const PackRecord *r, const char *text)
{
    const uint32_t n = (uint32_t)strnlen(text, kAsNodeMax);
    // The string and its NUL end at or before byte 32,768; none is split.
    if (pk->len > kAsPacketBuffer - 1 - n) {
        if (!PackClose(pk, 0))
            return 0;
        PackStart(pk);
        RecordBegin(pk, r, 1);
    }
    memcpy(pk->buf + pk->len, text, n);
    pk->buf[pk->len + n] = 0;
    pk->len += n + 1;
    PutU32LE(pk->buf + pk->countAt, GetU32LE(pk->buf + pk->countAt) + 1);
    return 1;
}

static int PackRecords(Packer *pk, const PackRecord *recs, int count)
{
    PackStart(pk);
    for (int i = 0; i < count; i++) {
        const PackRecord *r = &recs[i];
        if (i > 0) {
            if (pk->len > pk->closeAbove) {
                if (!PackClose(pk, 0))
                    return 0;
                PackStart(pk);
            } else {
                pk->records++;
            }
        }
        RecordBegin(pk, r, 0);
        const int32_t n = r->nodes->nodes ? r->nodes->count : 0;
        for (int32_t k = 0; k < n; k++)
            if (!PackString(pk, r, r->nodes->nodes[k]))
                return 0;
    }
    return PackClose(pk, 1);
}

static int SendCommon(const AgentSettings *s, uint8_t *buf, AsQueueFn queue, void *ctx)
{
    uint8_t p[kAsCommonSendLen] = {0};
    for (uint32_t i = 0; i < kAsCommonFields; i++)
        PutU32LE(p + 4 * i, s->common[i]);
    const size_t n = BuildPacket(PKT_AGENT_SETTINGS_COMMON, p, sizeof p, buf, kAsPacketBuffer);
    return n && queue(ctx, buf, n);
}

static int SendString(const AgentSettings *s, uint8_t *buf, AsQueueFn queue, void *ctx)
{
    uint8_t p[kAsStringLen] = {0};
    memcpy(p, s->text, strnlen(s->text, kAsTextMax));
    PutU32LE(p + kAsTextField, s->number);
    const size_t n = BuildPacket(PKT_AGENT_SETTINGS_STRING, p, sizeof p, buf, kAsPacketBuffer);
    return n && queue(ctx, buf, n);
}

static int SendFlag(const AgentSettings *s, uint8_t *buf, AsQueueFn queue, void *ctx)
{
    uint8_t p[kAsFlagLen];
    PutU32LE(p, s->flag);
    const size_t n = BuildPacket(PKT_AGENT_SETTINGS_FLAG, p, sizeof p, buf, kAsPacketBuffer);
    return n && queue(ctx, buf, n);
}

static int SendLists(const AgentSettings *s, Packer *pk)
{
    PackRecord recs[kAsProtocols];
    for (uint32_t i = 0; i < kAsProtocols; i++)
        recs[i] = PackRecord{i, 0, nullptr, &s->lists[i]};
    pk->type = PKT_AGENT_SETTINGS_NODE_LISTS;
    pk->fixed = kListsFixed;
    pk->recordFixed = kListsRecordFixed;
    pk->closeAbove = kListsCloseAbove;
    return PackRecords(pk, recs, kAsProtocols);
}

static int SendCommunities(const AgentSettings *s, Packer *pk)
{
    enum { kBlocks = kAsCommunities * kAsProtocols };
    uint8_t sealed[kBlocks][kSealedShortSize];
    PackRecord recs[kBlocks];
    for (uint32_t c = 0; c < kAsCommunities; c++) {
        for (uint32_t p = 0; p < kAsProtocols; p++) {
            const AsProtocolBlock *b = &s->communities[c].protocol[p];
            // Only the text goes out; what may follow its NUL in the field stays here.
            uint8_t plain[kSealedShortPlain] = {0};
            memcpy(plain, b->password, strnlen(b->password, kAsPasswordMax));
            const uint32_t i = c * kAsProtocols + p;
            const int ok = SealShort(sealed[i], plain);
            memset(plain, 0, sizeof plain);
            if (!ok)
                return 0;
            recs[i] = PackRecord{c, p, sealed[i], &b->nodes};
        }
    }
    pk->type = PKT_AGENT_SETTINGS_COMMUNITIES;
    pk->fixed = kCommunitiesFixed;
    pk->recordFixed = kCommunitiesRecordFixed;
    pk->closeAbove = kCommunitiesCloseAbove;
    return PackRecords(pk, recs, kBlocks);
}

int AsSendAll(const AgentSettings *s, uint16_t agentVersion, AsQueueFn queue, void *ctx)
{
    // On the heap: the user-interface thread's stack is not ours to size.
    uint8_t *buf = (uint8_t *)malloc(kAsPacketBuffer);
    if (!buf)
        return 0;
    Packer pk = {};
    pk.buf = buf;
    pk.queue = queue;
    pk.ctx = ctx;
    int ok = SendCommon(s, buf, queue, ctx);
    if (ok && agentVersion >= kAsVersionString)
        ok = SendString(s, buf, queue, ctx);
    if (ok && agentVersion >= kAsVersionFlag)
        ok = SendFlag(s, buf, queue, ctx);
    if (ok && agentVersion >= kAsVersionNodeLists)
        ok = SendLists(s, &pk);
    if (ok)
        ok = SendCommunities(s, &pk);
    free(buf);
    return ok;
}
