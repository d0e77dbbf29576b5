// Clipboard text chunks: the chunks a text travels in, byte for byte; every refused
// chunk; collecting a text in order, and what drops it.
#include "desktop/clipboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Chunk(uint32_t total, uint32_t index, uint32_t count, uint32_t length, uint32_t dataLen)
{
    std::vector<uint8_t> p(kPacketHeaderSize + dataLen, 'x');
    SessPacketHeader h = {PKT_CLIPBOARD_TEXT, dataLen, 1};
    EncodePacketHeader(&h, p.data(), p.size());
    if (dataLen >= 16) {
        PutU32LE(&p[12], total);
        PutU32LE(&p[16], index);
        PutU32LE(&p[20], count);
        PutU32LE(&p[24], length);
    }
    return p;
}

int Parse(const std::vector<uint8_t> &p, ClipChunk *c)
{
    SessPacketHeader h;
    DecodePacketHeader(p.data(), p.size(), &h);
    const char *why = "";
    return ParseClipChunk(&h, p.data() + kPacketHeaderSize, c, &why);
}

TEST(ClipboardChunks, TextsOf0And8192And8193Bytes)
{
    std::string text(8193, 0);
    for (size_t i = 0; i < text.size(); i++)
        text[i] = (char)('a' + i % 26);
    const uint8_t *t = (const uint8_t *)text.data();
    uint8_t out[kPacketHeaderSize + kClipChunkHead + kClipChunkMax];
    EXPECT_EQ(ClipChunkCount(0), 0u);
    EXPECT_EQ(BuildClipChunk(t, 0, 0, out, sizeof(out)), 0u);
    EXPECT_EQ(ClipChunkCount(8192), 1u);
    ASSERT_EQ(BuildClipChunk(t, 8192, 0, out, sizeof(out)), 12u + 16 + 8192);
    EXPECT_EQ(BuildClipChunk(t, 8192, 1, out, sizeof(out)), 0u);
    EXPECT_EQ(ClipChunkCount(8193), 2u);
    const struct {
        uint32_t index, length;
    } chunks[] = {{0, 8192}, {1, 1}};
    for (const auto &k : chunks) {
        const size_t n = BuildClipChunk(t, 8193, k.index, out, sizeof(out));
        ASSERT_EQ(n, 12u + 16 + k.length);
        const uint32_t head[7] = {17, 16 + k.length, 1, 8193, k.index, 2, k.length};
        for (int i = 0; i < 7; i++)
            EXPECT_EQ(GetU32LE(out + 4 * i), head[i]) << "chunk " << k.index << " word " << i;
        EXPECT_EQ(0, memcmp(out + 28, t + k.index * 8192, k.length));
    }
    EXPECT_EQ(BuildClipChunk(t, 8193, 0, out, 100), 0u); // does not fit
}

TEST(ClipboardChunks, RefusesChunksOutOfTheirText)
{
    ClipChunk c;
    const struct {
        const char *what;
        uint32_t total, index, count, length, dataLen;
        int ok;
    } cases[] = {
        {"whole short text", 5, 0, 1, 5, 21, 1},
        {"empty text", 0, 0, 1, 0, 16, 1},
        {"last of two", 8193, 1, 2, 1, 17, 1},
        {"longest text", kClipTextMax, 8191, 8192, 8192, 16 + 8192, 1},
        {"no head", 5, 0, 1, 5, 15, 0},
        {"length past the packet", 5, 0, 1, 5, 20, 0},
        {"length past a chunk", 9000, 0, 2, 9000, 16 + 9000, 0},
        {"index at the count", 8193, 2, 2, 1, 17, 0},
        {"count not the text's", 8193, 0, 3, 8192, 16 + 8192, 0},
        {"count zero", 0, 0, 0, 0, 16, 0},
        {"total that cannot be held", 0xFFFFFFFF, 0, 524288, 8192, 16 + 8192, 0},
        {"total past the limit", kClipTextMax + 1, 0, 8193, 8192, 16 + 8192, 0},
        {"short middle chunk", 20000, 1, 3, 100, 116, 0},
        {"last chunk past the total", 8193, 1, 2, 2, 18, 0},
        {"huge index wrapping the offset", 8193, 0x80000, 2, 1, 17, 0},
    };
    for (const auto &k : cases)
        EXPECT_EQ(Parse(Chunk(k.total, k.index, k.count, k.length, k.dataLen), &c), k.ok) << k.what;
}

TEST(ClipboardChunks, CollectsInOrderAndDropsOnAGap)
{
    ClipAssembly a = {};
    ClipChunk c;
    uint32_t offset;
    int begin, last;
    struct Step {
        uint32_t total, index, count, length;
        int ok, begin, last;
        uint32_t offset;
    } steps[] = {
        {16385, 1, 3, 8192, 0, 0, 0, 0}, // no chunk 0 yet
        {16385, 0, 3, 8192, 1, 1, 0, 0}, {16385, 1, 3, 8192, 1, 0, 0, 8192}, {16385, 2, 3, 1, 1, 0, 1, 16384}, // whole
        {16385, 2, 3, 1, 0, 0, 1, 0},                                     // nothing being collected
        {16385, 0, 3, 8192, 1, 1, 0, 0}, {16385, 2, 3, 1, 0, 0, 1, 0},    // a gap drops the text
        {16385, 1, 3, 8192, 0, 0, 0, 0}, {20000, 0, 3, 8192, 1, 1, 0, 0}, // a chunk 0 starts afresh
        {16385, 1, 3, 8192, 0, 0, 0, 0},                                  // another text's chunk
        {5, 0, 1, 5, 1, 1, 1, 0},                                         // one chunk is first and last
    };
    for (const Step &s : steps) {
        ASSERT_TRUE(Parse(Chunk(s.total, s.index, s.count, s.length, 16 + s.length), &c));
        offset = 0xDEAD;
        const int ok = ClipAssemblyPlace(&a, &c, &offset, &begin, &last);
        EXPECT_EQ(ok, s.ok) << s.total << " " << s.index;
        if (ok) {
            EXPECT_EQ(begin, s.begin);
            EXPECT_EQ(last, s.last);
            EXPECT_EQ(offset, s.offset);
        }
    }
}

} // namespace
