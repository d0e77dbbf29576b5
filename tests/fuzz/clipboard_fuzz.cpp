// libFuzzer entry for clipboard text from the Agent. The input is a stream of packets as
// the framer hands them out (the last one cut to what is left). Each PKT_CLIPBOARD_TEXT
// is checked and placed as the receive thread does it: chunk 0 allocates total + 1 bytes,
// every accepted chunk is copied at its offset into that exact-size block, a refused one
// drops the text. Any other type stands for clipboard exchange switched off and on again,
// which also drops it. A chunk with dwRequired 0 carries only its 16-byte head and the
// entry fills in the bytes its length names: texts of many chunks then take a few bytes
// of input, so that the order of chunks is explored too. Single-threaded.
#include "desktop/clipboard.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Texts up to this are collected in an exact-size block. A longer one is only counted:
// a block of many megabytes costs ASan milliseconds per run, and past a few megabytes
// no input of the fuzzer's size reaches its end.
const uint32_t kExactBlockMax = 1u << 20;

// The made-up bytes of compact chunks.
const uint8_t kFill[kClipChunkMax + 1] = {};

struct Incoming {
    ClipAssembly a;
    int collecting;
    uint8_t *block; // total + 1 bytes while a text up to kExactBlockMax is collected
    uint32_t total;
    uint32_t nextIndex; // the chunk that may follow
    uint64_t filled;    // bytes placed so far, all of them in front
};

void Drop(Incoming *in)
{
    free(in->block);
    in->block = nullptr;
    in->collecting = 0;
    in->a.active = 0;
}

// What a chunk must look like once ParseClipChunk took it.
void CheckParsed(const SessPacketHeader *h, const uint8_t *payload, const ClipChunk *c)
{
    if (c->data != payload + kClipChunkHead || c->length > kClipChunkMax || c->length > h->dwDataLen - kClipChunkHead ||
        c->total > kClipTextMax || c->index >= c->count || (uint64_t)c->index * kClipChunkMax + c->length > c->total)
        abort();
}

void Receive(Incoming *in, const SessPacketHeader *h, const uint8_t *payload)
{
    ClipChunk c;
    const char *why = nullptr;
    if (!ParseClipChunk(h, payload, &c, &why)) {
        if (!why)
            abort();
        Drop(in);
        return;
    }
    CheckParsed(h, payload, &c);
    // A model of the order: chunk 0 of any text, or the next chunk of the text held.
    const int follows = in->collecting && c.total == in->total && c.index == in->nextIndex;
    uint32_t offset = 0;
    int begin = 0, last = 0;
    if (!ClipAssemblyPlace(&in->a, &c, &offset, &begin, &last)) {
        if (c.index == 0 || follows)
            abort();
        Drop(in);
        return;
    }
    if (c.index != 0 && !follows)
        abort();
    if (begin != (c.index == 0) || last != (c.index == c.count - 1))
        abort();
    if (begin) {
        free(in->block);
        in->block = nullptr;
        in->collecting = 1;
        in->total = c.total;
        in->filled = 0;
        if (c.total <= kExactBlockMax)
            in->block = (uint8_t *)malloc((size_t)c.total + 1);
    }
    // In order, each chunk goes right behind the one before, inside the text.
    if (offset != in->filled || in->filled + c.length > in->total)
        abort();
    if (in->block)
        memcpy(in->block + offset, c.data, c.length);
    in->filled += c.length;
    in->nextIndex = c.index + 1;
    if (last) {
        if (in->filled != in->total)
            abort();
        if (in->block)
            in->block[offset + c.length] = 0;
        Drop(in); // handed to the clipboard
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Incoming in = {};
    SessPacketHeader h;
    while (size >= kPacketHeaderSize && DecodePacketHeader(data, size, &h)) {
        size_t n = h.dwDataLen < size - kPacketHeaderSize ? h.dwDataLen : size - kPacketHeaderSize;
        if (h.dwType != PKT_CLIPBOARD_TEXT) {
            Drop(&in);
        } else {
            const int headOnly = h.dwRequired == 0 && n >= kClipChunkHead;
            if (headOnly)
                n = kClipChunkHead;
            // Compact chunks get up to one byte more than a chunk may hold.
            const uint32_t fill = headOnly ? GetU32LE(data + kPacketHeaderSize + 12) : 0;
            const size_t have = n + (fill < kClipChunkMax + 1 ? fill : kClipChunkMax + 1);
            h.dwDataLen = (uint32_t)have;
            // A block of its own, so that a read past the payload is an ASan report.
            uint8_t *payload = (uint8_t *)malloc(have ? have : 1);
            if (n)
                memcpy(payload, data + kPacketHeaderSize, n);
            if (have > n)
                memcpy(payload + n, kFill, have - n);
            Receive(&in, &h, payload);
            free(payload);
        }
        data += kPacketHeaderSize + n;
        size -= kPacketHeaderSize + n;
    }
    Drop(&in);
    return 0;
}
