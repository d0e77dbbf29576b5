// Clipboard text in PKT_CLIPBOARD_TEXT chunks, both ways: building the chunks of a
// text, checking a received chunk and keeping count of a text being collected.
// Portable; the caller owns every buffer.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum : uint32_t {
    kClipChunkHead = 16,      // total, index, count, length
    kClipChunkMax = 8192,     // text bytes in one chunk
    kClipTextMax = 64u << 20, // longest text taken from the Agent
};

// Chunks a text of length bytes travels in: 0 for an empty text.
uint32_t ClipChunkCount(uint32_t length);

// Writes the whole packet of chunk index of the text; returns its size, 0 when index is
// past the last chunk or out is too small.
size_t BuildClipChunk(const uint8_t *text, uint32_t length, uint32_t index, uint8_t *out, size_t cap);

struct ClipChunk {
    uint32_t total, index, count, length;
    const uint8_t *data; // length bytes inside the payload
};

// Takes a received chunk apart. Refuses (0, *why set) a payload shorter than its head,
// a chunk longer than 8,192 bytes or than the packet holds, an index not below the
// count, a count that does not fit the total, a total the viewer will not hold, and a
// chunk that is not exactly the part of the text its index names.
int ParseClipChunk(const SessPacketHeader *h, const uint8_t *payload, ClipChunk *c, const char **why);

// A text being collected from the Agent's chunks, in order.
struct ClipAssembly {
    int active;
    uint32_t total, count, next;
};

// Places a parsed chunk: chunk 0 begins a text afresh (*begin: the caller drops any
// block it holds and makes one of total + 1 bytes); a later chunk must follow the one
// before in the same text. On success *offset is where the bytes go and *last tells
// that the text is whole. Returns 0 for a chunk out of its place: the text collected
// so far is to be dropped.
int ClipAssemblyPlace(ClipAssembly *a, const ClipChunk *c, uint32_t *offset, int *begin, int *last);
