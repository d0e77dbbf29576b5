// libFuzzer entry for the Agent settings messages. The first byte picks the Agent version
// (780..795, across the gates 784, 787 and 791); the rest is a stream of packets as the
// framer hands them out (the last one cut to what is left), each of the five settings
// types taken into one AgentSettings. A refused packet must leave it as it was, and every
// string in it must stay terminated inside its field. Then everything is sent back: each
// packet within 32,768 bytes, and read again it must give the same settings. Single-threaded.
#include "agentsettings/settings.h"
#include "session/agentkey.h"
#include "session/envelope.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Every run: the native regression test shares the process with tests that drop the key.
int Setup()
{
    if (!EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen))
        abort();
    EnvelopeSeed(nullptr, 0);
    return 1;
}

int Take(AgentSettings *s, const SessPacketHeader *h, const uint8_t *payload, uint16_t version, int *last,
         const char **why)
{
    *last = 0;
    switch (h->dwType) {
    case PKT_AGENT_SETTINGS_COMMON:
        return AsReceiveCommon(s, h, payload, version, why);
    case PKT_AGENT_SETTINGS_STRING:
        return AsReceiveString(s, h, payload, why);
    case PKT_AGENT_SETTINGS_FLAG:
        return AsReceiveFlag(s, h, payload, why);
    case PKT_AGENT_SETTINGS_NODE_LISTS:
        return AsReceiveNodeLists(s, h, payload, why);
    case PKT_AGENT_SETTINGS_COMMUNITIES:
        return AsReceiveCommunities(s, h, payload, last, why);
    default:
        return -1;
    }
}

void CheckArray(const AsNodeArray *a)
{
    if (a->count < 0 || a->count > (int32_t)kAsNodeCountMax || (a->count == 0) != (a->nodes == nullptr))
        abort();
    for (int32_t i = 0; i < a->count; i++)
        if (strnlen(a->nodes[i], kAsNodeBlock) > kAsNodeMax)
            abort();
}

void CheckSettings(const AgentSettings *s)
{
    if (strnlen(s->text, kAsTextField) > kAsTextMax)
        abort();
    for (const AsNodeArray &a : s->lists)
        CheckArray(&a);
    for (const AsCommunity &c : s->communities)
        for (const AsProtocolBlock &b : c.protocol) {
            if (b.password[kAsPasswordMax] != 0)
                abort();
            CheckArray(&b.nodes);
        }
}

int SameNodes(const AsNodeArray *a, const AsNodeArray *b)
{
    if (a->count != b->count)
        return 0;
    for (int32_t i = 0; i < a->count; i++)
        if (strcmp(a->nodes[i], b->nodes[i]) != 0)
            return 0;
    return 1;
}

// A summary that any stored change alters: counts, and the fixed fields.
uint64_t Shape(const AgentSettings *s)
{
    uint64_t h = 1469598103934665603ull;
    auto mix = [&h](const void *p, size_t n) {
        for (size_t i = 0; i < n; i++)
            h = (h ^ ((const uint8_t *)p)[i]) * 1099511628211ull;
    };
    mix(s->common, sizeof s->common);
    mix(s->text, sizeof s->text);
    mix(&s->number, sizeof s->number);
    mix(&s->flag, sizeof s->flag);
    for (const AsNodeArray &a : s->lists)
        mix(&a.count, sizeof a.count);
    for (const AsCommunity &c : s->communities)
        for (const AsProtocolBlock &b : c.protocol) {
            mix(b.password, sizeof b.password);
            mix(&b.nodes.count, sizeof b.nodes.count);
        }
    return h;
}

struct Back {
    AgentSettings s;
    int lasts;
};

int ReadBack(void *ctx, const uint8_t *packet, size_t length)
{
    Back *b = (Back *)ctx;
    SessPacketHeader h;
    if (length > kAsPacketBuffer || !DecodePacketHeader(packet, length, &h) ||
        h.dwDataLen != length - kPacketHeaderSize)
        abort();
    uint8_t *payload = (uint8_t *)malloc(h.dwDataLen ? h.dwDataLen : 1);
    memcpy(payload, packet + kPacketHeaderSize, h.dwDataLen);
    const char *why = nullptr;
    int last = 0;
    const int ok = Take(&b->s, &h, payload, kAsVersionFlag, &last, &why);
    free(payload);
    if (ok != 1 || why)
        abort();
    b->lasts += last;
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Setup();
    const uint16_t version = (uint16_t)(780 + data[0] % 16);
    data++;
    size--;
    AgentSettings s = {};
    SessPacketHeader h;
    while (size >= kPacketHeaderSize && DecodePacketHeader(data, size, &h)) {
        const size_t n = h.dwDataLen < size - kPacketHeaderSize ? h.dwDataLen : size - kPacketHeaderSize;
        h.dwDataLen = (uint32_t)n;
        // A block of its own, so that a read past the payload is an ASan report.
        uint8_t *payload = (uint8_t *)malloc(n ? n : 1);
        memcpy(payload, data + kPacketHeaderSize, n);
        const uint64_t before = Shape(&s);
        const char *why = nullptr;
        int last = 7;
        const int ok = Take(&s, &h, payload, version, &last, &why);
        free(payload);
        if (ok == 0 && (!why || last != 0 || Shape(&s) != before))
            abort();
        CheckSettings(&s);
        data += kPacketHeaderSize + n;
        size -= kPacketHeaderSize + n;
    }

    Back b = {};
    if (!AsSendAll(&s, kAsVersionFlag, ReadBack, &b) || b.lasts != 1)
        abort();
    if (memcmp(b.s.common, s.common, sizeof s.common) || strcmp(b.s.text, s.text) || b.s.number != s.number ||
        b.s.flag != s.flag)
        abort();
    for (uint32_t i = 0; i < kAsProtocols; i++)
        if (!SameNodes(&b.s.lists[i], &s.lists[i]))
            abort();
    for (uint32_t c = 0; c < kAsCommunities; c++)
        for (uint32_t p = 0; p < kAsProtocols; p++) {
            const AsProtocolBlock *x = &s.communities[c].protocol[p], *y = &b.s.communities[c].protocol[p];
            if (strcmp(x->password, y->password) || !SameNodes(&x->nodes, &y->nodes))
                abort();
        }
    AsRelease(&b.s);
    AsRelease(&s);
    return 0;
}
