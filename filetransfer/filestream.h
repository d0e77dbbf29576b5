// One file on the wire: its plaintext read in chunks of 24576 bytes, sealed into a
// PKT_FT_FILE_BEGIN (envelope head + first chunk) and PKT_FT_FILE_DATA packets, and
// opened again on the other side. A chunk shorter than 24576 bytes (possibly empty) is the
// last and carries the padding. Shared by the viewer (upload, download) and the simulated
// Agent; both use the envelope's one sealing and one opening context, so one file each
// way at a time per process.
#pragma once
#include <cstddef>
#include <cstdint>

#include "filetransfer/messages.h"
#include "session/envelope.h"

enum : uint32_t {
    // The largest packet of a file: a begin packet with head and a full last chunk.
    kFtFilePacketMax = kPacketHeaderSize + kFtFileBeginHead + kSealedHeadSize + kFtChunkCipherMax,
};

struct FtFileSender {
    int begun; // the begin packet has gone
    int ended; // the last chunk has gone
    uint64_t plainBytes;
};

// The next packet of a file from len plaintext bytes (at most 24576; fewer makes it the
// last): the first is PKT_FT_FILE_BEGIN built from *meta (its length and data are filled
// here), the rest PKT_FT_FILE_DATA. Returns the packet's bytes in out (kFtFilePacketMax
// fits any), 0 when the envelope fails, len is too long, the file has ended or out is too
// small. *last tells whether this was the last chunk.
size_t FtSealFilePacket(FtFileSender *s, const FtFileBegin *meta, const uint8_t *plain, size_t len, uint8_t *out,
                        size_t cap, int *last);

struct FtFileReceiver {
    int begun;
    int ended;
    uint64_t plainBytes;
};

// Opens the data of a parsed begin packet of a file (envelope head first) or of a data
// packet into plain (kFtChunkCipherMax + 16 bytes fit any). Returns 1 and *plainLen, or 0
// with *why: the head will not open, data before the begin or after the end, a bad ending
// (ragged or badly padded last chunk, which a damaged or forged chunk gives). A data
// packet with its abort flag is the sender giving up: 0 with *why.
int FtOpenFileBegin(FtFileReceiver *r, const FtFileBegin *b, uint8_t *plain, size_t *plainLen, const char **why);
int FtOpenFileData(FtFileReceiver *r, const FtFileData *d, uint8_t *plain, size_t *plainLen, const char **why);

// The packets a file of size bytes travels in: chunks = size / 24576 + 1 (the last one
// short, possibly empty), with the ciphertext of chunk i.
uint64_t FtFileChunks(uint64_t size);
uint32_t FtChunkCipherLength(uint64_t size, uint64_t chunk);
