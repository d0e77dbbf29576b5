// Writes seeds for envelope_fuzz into a folder: short blocks sealed for real, and
// streams sealed under the head the entry itself makes (the pool's fixed seed makes it
// the same head). Usage: envelope_seeds DIR
#include "session/agentkey.h"
#include "session/envelope.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static int Write(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) {
        fprintf(stderr, "envelope_seeds: cannot write %s\n", path.c_str());
        return 0;
    }
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: envelope_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    uint8_t head[kSealedHeadSize];
    // The entry's own set-up, in the same order.
    if (!EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen) || (EnvelopeSeed(nullptr, 0), SealStreamBegin(head)) != 0) {
        fprintf(stderr, "envelope_seeds: no key\n");
        return 1;
    }
    static const char *const kPasswords[] = {"secret", "", "fifteen-chars-x"};
    for (int i = 0; i < 3; i++) {
        uint8_t plain[kSealedShortPlain] = {0};
        memcpy(plain, kPasswords[i], strlen(kPasswords[i]));
        std::vector<uint8_t> seed(1 + kSealedShortSize);
        seed[0] = (uint8_t)(2 * i + 1); // odd: a short block
        if (!SealShort(seed.data() + 1, plain) || !Write(dir + "/short-" + std::to_string(i), seed))
            return 1;
    }
    // Even mode bytes: streams under the entry's head, cut in the entry's own ways.
    static const size_t kLengths[] = {0, 7, 8, 100, 4000};
    for (int i = 0; i < 5; i++) {
        std::vector<uint8_t> plain(kLengths[i]);
        for (size_t k = 0; k < plain.size(); k++)
            plain[k] = (uint8_t)(k * 7 + i);
        std::vector<uint8_t> seed(1 + plain.size() + 16);
        seed[0] = (uint8_t)(4 * i);
        seed.resize(1 + SealStreamChunk(seed.data() + 1, plain.data(), plain.size(), 1));
        if (!Write(dir + "/stream-" + std::to_string(i), seed))
            return 1;
    }
    // Mode 2: a stream that carries a head of its own.
    std::vector<uint8_t> seed(1 + kSealedHeadSize + 64 + 16), plain(64, 0x5A);
    seed[0] = 2;
    if (SealStreamBegin(seed.data() + 1) != 0)
        return 1;
    seed.resize(1 + kSealedHeadSize + SealStreamChunk(seed.data() + 1 + kSealedHeadSize, plain.data(), 64, 1));
    return Write(dir + "/own-head", seed) ? 0 : 1;
}
