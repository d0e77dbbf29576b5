// One file through the wire format both ways: the packet kinds, last flags and lengths of
// the chunk sequence at the sizes around a chunk, the bytes opened again, and what the
// receiver refuses.
#include "filetransfer/filestream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "session/agentkey.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sent {
    uint32_t type, last, length;
    Bytes packet;
};

class FileStream : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen));
        EnvelopeSeed(nullptr, 0);
    }
    static void TearDownTestSuite() { EnvelopeRelease(); }

    static std::vector<Sent> Send(const Bytes &file)
    {
        FtFileSender s = {};
        FtFileBegin meta = {};
        strcpy(meta.path, "C:\\in\\f.bin");
        std::vector<Sent> out;
        size_t at = 0;
        for (int last = 0; !last;) {
            const size_t n = file.size() - at < kFtChunkPlain ? file.size() - at : (size_t)kFtChunkPlain;
            Bytes p(kFtFilePacketMax);
            const size_t len = FtSealFilePacket(&s, &meta, file.data() + at, n, p.data(), p.size(), &last);
            EXPECT_GT(len, 0u);
            if (!len)
                break;
            p.resize(len);
            at += n;
            const SessPacketHeader *h = (const SessPacketHeader *)p.data();
            const uint8_t *pl = p.data() + kPacketHeaderSize;
            if (h->dwType == PKT_FT_FILE_BEGIN)
                out.push_back({h->dwType, pl[289], pl[293] | (uint32_t)pl[294] << 8 | (uint32_t)pl[295] << 16, p});
            else
                out.push_back({h->dwType, pl[4], pl[8] | (uint32_t)pl[9] << 8 | (uint32_t)pl[10] << 16, p});
        }
        return out;
    }

    // Opens the packets; returns the bytes, or fails with the receiver's reason.
    static int Receive(const std::vector<Sent> &packets, Bytes *file, const char **why)
    {
        FtFileReceiver r = {};
        uint8_t plain[kFtChunkCipherMax + 16];
        for (const Sent &s : packets) {
            const SessPacketHeader *h = (const SessPacketHeader *)s.packet.data();
            const uint8_t *pl = s.packet.data() + kPacketHeaderSize;
            size_t n = 0;
            int ok;
            if (h->dwType == PKT_FT_FILE_BEGIN) {
                FtFileBegin b;
                if (!ParseFtFileBegin(h, pl, &b, why))
                    return 0;
                ok = FtOpenFileBegin(&r, &b, plain, &n, why);
            } else {
                FtFileData d;
                if (!ParseFtFileData(h, pl, &d, why))
                    return 0;
                ok = FtOpenFileData(&r, &d, plain, &n, why);
            }
            if (!ok)
                return 0;
            file->insert(file->end(), plain, plain + n);
        }
        return r.ended;
    }
};

Bytes Pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = (uint8_t)(i * 7 + i / 251);
    return b;
}

TEST_F(FileStream, ChunkSequencesAroundAChunkRoundTrip)
{
    // Size, then the data length of each packet: the begin packet carries the 72-byte head.
    const struct {
        size_t size;
        std::vector<uint32_t> lengths;
    } kCases[] = {
        {0, {72 + 8}},
        {1, {72 + 8}},
        {24575, {72 + 24576}},
        {24576, {72 + 24576, 8}},
        {24577, {72 + 24576, 8}},
        {49152, {72 + 24576, 24576, 8}},
    };
    for (const auto &c : kCases) {
        SCOPED_TRACE(c.size);
        const Bytes file = Pattern(c.size);
        const std::vector<Sent> sent = Send(file);
        ASSERT_EQ(sent.size(), c.lengths.size());
        ASSERT_EQ(FtFileChunks(c.size), sent.size());
        for (size_t i = 0; i < sent.size(); i++) {
            EXPECT_EQ(sent[i].type, i == 0 ? (uint32_t)PKT_FT_FILE_BEGIN : (uint32_t)PKT_FT_FILE_DATA);
            EXPECT_EQ(sent[i].last, i + 1 == sent.size() ? 1u : 0u);
            EXPECT_EQ(sent[i].length, c.lengths[i]);
            EXPECT_EQ(FtChunkCipherLength(c.size, i) + (i == 0 ? 72u : 0u), c.lengths[i]);
        }
        Bytes back;
        const char *why = nullptr;
        EXPECT_TRUE(Receive(sent, &back, &why)) << (why ? why : "");
        EXPECT_EQ(back, file);
    }
}

TEST_F(FileStream, ReceiverRefusesWhatCannotBeTrusted)
{
    const Bytes file = Pattern(30000);
    const char *why = nullptr;
    Bytes back;

    std::vector<Sent> forged = Send(file);
    forged[1].packet.back() ^= 0x5A; // the padding block of the last chunk
    EXPECT_FALSE(Receive(forged, &back, &why));

    std::vector<Sent> headless = Send(file);
    headless.erase(headless.begin()); // data with no file begun
    EXPECT_FALSE(Receive(headless, &back, &why));

    std::vector<Sent> afterEnd = Send(file);
    afterEnd.push_back(afterEnd[1]); // data after the last chunk
    EXPECT_FALSE(Receive(afterEnd, &back, &why));

    FtFileReceiver r = {};
    uint8_t plain[kFtChunkCipherMax + 16];
    size_t n;
    const uint8_t shortHead[40] = {};
    FtFileBegin b = {};
    b.last = 1;
    b.length = sizeof shortHead;
    b.data = shortHead;
    EXPECT_FALSE(FtOpenFileBegin(&r, &b, plain, &n, &why));
    const FtFileData abort = {1, 1, 0, nullptr};
    r = {1, 0, 0};
    EXPECT_FALSE(FtOpenFileData(&r, &abort, plain, &n, &why));
}

TEST_F(FileStream, SenderRefusesAnOverlongChunkAndDataAfterTheEnd)
{
    FtFileSender s = {};
    FtFileBegin meta = {};
    Bytes big(kFtChunkPlain + 1), p(kFtFilePacketMax);
    int last;
    EXPECT_EQ(FtSealFilePacket(&s, &meta, big.data(), big.size(), p.data(), p.size(), &last), 0u);
    EXPECT_GT(FtSealFilePacket(&s, &meta, big.data(), 10, p.data(), p.size(), &last), 0u);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(FtSealFilePacket(&s, &meta, big.data(), 10, p.data(), p.size(), &last), 0u);
}

} // namespace
