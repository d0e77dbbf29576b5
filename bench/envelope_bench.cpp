// Envelope throughput: short seals and opens per second (login, passwords) and
// stream MB/s (file transfer). Every result is opened again and compared, so a
// fast wrong build cannot pass; exits 1 on any mismatch.
#include "session/agentkey.h"
#include "session/envelope.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

int Fail(const char *what)
{
    fprintf(stderr, "envelope_bench: %s\n", what);
    return 1;
}

} // namespace

int main()
{
    if (!EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen))
        return Fail("key pair did not load");
    const uint8_t extra[32] = {1, 2, 3};
    EnvelopeSeed(extra, sizeof extra);

    uint8_t pw[kSealedShortPlain] = {'b', 'e', 'n', 'c', 'h'};
    uint8_t sealed[kSealedShortSize], back[kSealedShortPlain];
    const double kRun = 1.5;

    long seals = 0;
    Clock::time_point t0 = Clock::now();
    do {
        for (int i = 0; i < 64; i++, seals++) {
            pw[14] = (uint8_t)seals;
            if (!SealShort(sealed, pw))
                return Fail("SealShort failed");
        }
    } while (Seconds(t0) < kRun);
    const double sealRate = seals / Seconds(t0);

    long opens = 0;
    t0 = Clock::now();
    do {
        for (int i = 0; i < 64; i++, opens++)
            if (!OpenShort(sealed, back))
                return Fail("OpenShort failed");
    } while (Seconds(t0) < kRun);
    const double openRate = opens / Seconds(t0);
    if (memcmp(back, pw, sizeof pw) != 0)
        return Fail("OpenShort gave other bytes");

    // 16 MiB in 8 KiB chunks, the size of a file-transfer read.
    const size_t kTotal = (size_t)16 << 20, kChunk = 8192;
    std::vector<uint8_t> plain(kTotal), ct(kTotal + 16), opened(kTotal + 16);
    for (size_t i = 0; i < kTotal; i++)
        plain[i] = (uint8_t)(i * 2654435761u >> 13);
    uint8_t head[kSealedHeadSize];
    if (SealStreamBegin(head) != 0)
        return Fail("SealStreamBegin failed");
    size_t ctLen = 0;
    t0 = Clock::now();
    for (size_t at = 0; at < kTotal; at += kChunk)
        ctLen += SealStreamChunk(ct.data() + ctLen, plain.data() + at, kChunk, at + kChunk == kTotal);
    const double sealSecs = Seconds(t0);
    if (ctLen != kTotal + 8)
        return Fail("stream ciphertext has the wrong length");

    size_t outLen = 0;
    t0 = Clock::now();
    for (size_t at = 0; at < ctLen; at += kChunk) {
        const size_t n = ctLen - at < kChunk ? ctLen - at : kChunk;
        outLen += OpenStreamChunk(opened.data() + outLen, ct.data() + at, n, head, at == 0, at + n == ctLen);
    }
    const double openSecs = Seconds(t0);
    if (outLen != kTotal || memcmp(opened.data(), plain.data(), kTotal) != 0)
        return Fail("stream did not open to the same bytes");

    const double mib = kTotal / 1048576.0;
    printf("SealShort        %10.0f seals/s\n", sealRate);
    printf("OpenShort        %10.0f opens/s\n", openRate);
    printf("SealStreamChunk  %10.1f MiB/s\n", mib / sealSecs);
    printf("OpenStreamChunk  %10.1f MiB/s\n", mib / openSecs);
    EnvelopeRelease();
    return 0;
}
