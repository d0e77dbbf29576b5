// libFuzzer entry for opening envelopes: arbitrary 88-byte short blocks, and
// arbitrary ciphertext cut into arbitrary chunks under a head that opens.
// Output buffers are exactly the promised size, so any overrun trips ASan.
#include "session/agentkey.h"
#include "session/envelope.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

uint8_t g_head[kSealedHeadSize];

int Setup()
{
    if (!EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen))
        abort();
    EnvelopeSeed(nullptr, 0);
    if (SealStreamBegin(g_head) != 0)
        abort();
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int ready = Setup();
    (void)ready;
    if (size < 1)
        return 0;
    const unsigned mode = data[0];
    data++;
    size--;

    if (mode & 1) {
        // A short block from the input; a success must leave a consistent text.
        uint8_t block[kSealedShortSize] = {0};
        memcpy(block, data, size < sizeof block ? size : sizeof block);
        uint8_t *out = new uint8_t[kSealedShortPlain];
        OpenShort(block, out);
        delete[] out;
        return 0;
    }

    // The head is either the input's own (almost never opens) or the good one.
    const uint8_t *head = g_head;
    if ((mode & 2) && size >= kSealedHeadSize) {
        head = data;
        data += kSealedHeadSize;
        size -= kSealedHeadSize;
    }
    unsigned step = mode;
    size_t at = 0, total = 0;
    int first = 1;
    for (;;) {
        step = step * 1103515245u + 12345u;
        size_t n = (step >> 16) % 40;
        if (n > size - at)
            n = size - at;
        const int final = at + n == size;
        std::vector<uint8_t> out(n + 8 + (final ? 8 : 0));
        size_t got = OpenStreamChunk(out.data(), data + at, n, head, first, final);
        if (got > out.size())
            abort();
        total += got;
        first = 0;
        at += n;
        if (final)
            break;
    }
    // Nothing comes out that was not put in, less at least one pad byte.
    if (size > 0 && total >= size)
        abort();
    return 0;
}
