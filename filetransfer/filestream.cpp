#include "filetransfer/filestream.h"

#include <cstring>

size_t FtSealFilePacket(FtFileSender *s, const FtFileBegin *meta, const uint8_t *plain, size_t len, uint8_t *out,
                        size_t cap, int *last)
{
    *last = 0;
    if (s->ended || len > kFtChunkPlain)
        return 0;
    const int final = len < kFtChunkPlain;
    // Begin packet: head and ciphertext are sealed straight into the packet's data.
    uint8_t data[kSealedHeadSize + kFtChunkCipherMax];
    size_t n = 0;
    if (!s->begun) {
        if (SealStreamBegin(data) != 0)
            return 0;
        n = kSealedHeadSize;
    }
    n += SealStreamChunk(data + n, plain, len, final);
    size_t built;
    if (!s->begun) {
        FtFileBegin b = *meta;
        b.directory = 0;
        b.last = (uint32_t) final;
        b.length = (uint32_t)n;
        b.data = data;
        built = BuildFtFileBegin(&b, out, cap);
    } else {
        FtFileData d = {0, (uint32_t) final, (uint32_t)n, data};
        built = BuildFtFileData(&d, out, cap);
    }
    if (!built)
        return 0;
    s->begun = 1;
    s->ended = final;
    s->plainBytes += len;
    *last = final;
    return built;
}

static int Open(FtFileReceiver *r, const uint8_t *head, const uint8_t *cipher, size_t len, int last, uint8_t *plain,
                size_t *plainLen, const char **why)
{
    int bad = 0;
    *plainLen = OpenStreamChunkChecked(plain, cipher, len, head, head != nullptr, last, &bad);
    if (bad) {
        *why = "an envelope or chunk that does not open (damaged or forged)";
        r->ended = 1;
        return 0;
    }
    r->plainBytes += *plainLen;
    r->ended = last != 0;
    return 1;
}

int FtOpenFileBegin(FtFileReceiver *r, const FtFileBegin *b, uint8_t *plain, size_t *plainLen, const char **why)
{
    *plainLen = 0;
    if (b->directory || b->length < kSealedHeadSize) {
        *why = "a file's first data shorter than the envelope head";
        return 0;
    }
    r->begun = 1;
    r->ended = 0;
    r->plainBytes = 0;
    return Open(r, b->data, b->data + kSealedHeadSize, b->length - kSealedHeadSize, b->last != 0, plain, plainLen, why);
}

int FtOpenFileData(FtFileReceiver *r, const FtFileData *d, uint8_t *plain, size_t *plainLen, const char **why)
{
    *plainLen = 0;
    if (!r->begun || r->ended) {
        *why = "file data with no file open";
        return 0;
    }
    if (d->abort) {
        r->ended = 1;
        *why = "the sender abandoned the file";
        return 0;
    }
    return Open(r, nullptr, d->data, d->length, d->last != 0, plain, plainLen, why);
}

uint64_t FtFileChunks(uint64_t size) { return size / kFtChunkPlain + 1; }

uint32_t FtChunkCipherLength(uint64_t size, uint64_t chunk)
{
    const uint64_t chunks = FtFileChunks(size);
    if (chunk + 1 < chunks)
        return kFtChunkPlain;
    if (chunk + 1 > chunks)
        return 0;
    const uint64_t rest = size - chunk * kFtChunkPlain;
    return (uint32_t)(rest - rest % 8 + 8);
}
