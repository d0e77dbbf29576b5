// The nineteen file-transfer messages: builders of whole packets and parsers of
// payloads, both directions (the viewer sends with them, the simulated Agent answers
// with them). Pure functions on caller-owned buffers; safe on any thread.
#pragma once
#include <cstddef>
#include <cstdint>

#include "session/packet.h"

enum : uint32_t {
    kFtPathMax = 260,         // characters of a path or name
    kFtPathField = 261,       // its field on the wire
    kFtDrives = 26,           // A: .. Z:
    kFtNoDrive = 0xFFFFFFFFu, // a listing request before any remote drive is known
    kFtListingHead = 385,     // PKT_FT_DIR_LISTING before its entries
    kFtListingMoreHead = 8,   // PKT_FT_DIR_LISTING_MORE before its entries
    kFtEntryHead = 40,        // a directory entry before its name
    kFtEntryMax = kFtEntryHead + kFtPathField,
    kFtResultHead = 4,   // results 33, 35, 37 before their text
    kFtQuestionHead = 4, // PKT_FT_CONFIRM_DELETE / _OVERWRITE before the path
    kFtErrorHead = 265,  // PKT_FT_ERROR before its text
    kFtAckLen = 8,
    kFtFileBeginHead = 297,
    kFtFileDataHead = 12,
    kFtChunkPlain = 24576,                 // plaintext bytes of one file chunk
    kFtChunkCipherMax = kFtChunkPlain + 8, // a full chunk, or a short one with its padding
    kFtErrorKinds = 8,                     // PKT_FT_ERROR kinds 0..7
    kFtTextMax = 1023,                     // characters kept of an Agent's error text
    kFtAttributeMask = 0x1127,             // what PKT_FT_SET_ATTRIBUTES may carry
};

// Win32 attribute bits as they travel.
enum : uint32_t {
    kFtAttrReadOnly = 1,
    kFtAttrHidden = 2,
    kFtAttrSystem = 4,
    kFtAttrDirectory = 16,
    kFtAttrArchive = 32,
    kFtAttrTemporary = 256,
    kFtAttrOffline = 4096,
};

// Win32 drive types a listing may name; any other value means no drive.
enum : uint32_t {
    kFtDriveRemovable = 2,
    kFtDriveFixed = 3,
    kFtDriveRemote = 4,
    kFtDriveCdRom = 5,
    kFtDriveRamDisk = 6,
};

// The five flags of PKT_FT_ANSWER, by offset / 4.
enum FtAnswerKind {
    FT_ANSWER_YES = 0, // yes / retry
    FT_ANSWER_YES_TO_ALL = 1,
    FT_ANSWER_NO = 4,    // no / cancel: stop
    FT_ANSWER_GO_ON = 5, // all flags 0: a download data packet taken, go on
};

// Times are Win32 FILETIMEs as one number (low u32 first on the wire).
struct FtEntry {
    uint32_t directory; // 0 or 1
    uint32_t attributes;
    uint64_t created, accessed, written;
    uint64_t size;
    char name[kFtPathField];
};

// ---- viewer to Agent -----------------------------------------------------------------
// Builders write the whole packet (header with flag 1, then the payload) and return its
// length, or 0 when a path is over 260 characters or out is too small. Path fields are
// zero-filled after their NUL.

struct FtListDir {
    uint32_t drive;
    char path[kFtPathField];
};
struct FtSetAttributes {
    uint32_t attributes;
    char path[kFtPathField];
};
struct FtRename {
    char oldPath[kFtPathField], newPath[kFtPathField];
    uint32_t directory;
};
struct FtCreateDir {
    char path[kFtPathField];
};
struct FtDelete {
    uint32_t directory, first, last, attributes;
    char path[kFtPathField];
};
struct FtDownload {
    uint32_t first, directory;
    char folder[kFtPathField], name[kFtPathField];
    uint32_t attributes;
    uint64_t created, written;
};

size_t BuildFtListDir(uint32_t drive, const char *path, uint8_t *out, size_t cap);
// attributes are masked with 0x1127 on the way.
size_t BuildFtSetAttributes(uint32_t attributes, const char *path, uint8_t *out, size_t cap);
size_t BuildFtRename(const char *oldPath, const char *newPath, uint32_t directory, uint8_t *out, size_t cap);
size_t BuildFtCreateDir(const char *path, uint8_t *out, size_t cap);
size_t BuildFtDelete(const FtDelete *d, uint8_t *out, size_t cap);
// kind is one FtAnswerKind; any other value is refused.
size_t BuildFtAnswer(int kind, uint8_t *out, size_t cap);
size_t BuildFtDownload(const FtDownload *d, uint8_t *out, size_t cap);
size_t BuildFtAbort(uint8_t *out, size_t cap);

// Their parsers, for the Agent's side. Each refuses (0, *why set) a payload shorter than
// the message or a path without its NUL inside its field; longer payloads are taken.
int ParseFtListDir(const SessPacketHeader *h, const uint8_t *payload, FtListDir *m, const char **why);
int ParseFtSetAttributes(const SessPacketHeader *h, const uint8_t *payload, FtSetAttributes *m, const char **why);
int ParseFtRename(const SessPacketHeader *h, const uint8_t *payload, FtRename *m, const char **why);
int ParseFtCreateDir(const SessPacketHeader *h, const uint8_t *payload, FtCreateDir *m, const char **why);
int ParseFtDelete(const SessPacketHeader *h, const uint8_t *payload, FtDelete *m, const char **why);
int ParseFtDownload(const SessPacketHeader *h, const uint8_t *payload, FtDownload *m, const char **why);
// *kind becomes an FtAnswerKind; a payload with two flags set, or a reserved one, is refused.
int ParseFtAnswer(const SessPacketHeader *h, const uint8_t *payload, int *kind, const char **why);

// ---- Agent to viewer -----------------------------------------------------------------
// Each parser checks the whole payload against dwDataLen before it fills anything and
// returns 0 with *why (a phrase for the log line) for a packet to refuse. A packet taken
// with something cut or left out returns 1 with *why naming it; else *why is NULL.

// The head of PKT_FT_DIR_LISTING; for PKT_FT_DIR_LISTING_MORE only complete, count and
// the entries are filled.
struct FtListing {
    uint32_t driveTypes[kFtDrives]; // 2..6, or 0 for no drive (other values become 0)
    uint32_t currentDrive;          // 0..25
    uint64_t freeBytes;
    char path[kFtPathField];
    int complete;
    uint32_t count;         // entries announced, all present and whole
    const uint8_t *entries; // inside the payload
    size_t entriesLen;      // bytes the count entries take
};

// Refused: a head cut short, a current drive over 25, a path without its NUL, an entry
// count beyond the entries present, an entry running past dwDataLen or a name without
// its NUL. The entries themselves are read with FtNextEntry.
int ParseFtListing(const SessPacketHeader *h, const uint8_t *payload, FtListing *l, const char **why);
int ParseFtListingMore(const SessPacketHeader *h, const uint8_t *payload, FtListing *l, const char **why);

// The next of the entries a parser accepted; *at starts at l->entries and *left at
// l->entriesLen. Returns 0 at the end. A name that is not one file name (empty, ".",
// over 260 characters, holding \ / : or a control character) is passed over: *skipped
// counts those, so the caller can log them.
int FtNextEntry(const uint8_t **at, size_t *left, FtEntry *e, uint32_t *skipped);

// Results 33, 35, 37. The text is cut to 1,023 characters, or where the payload ends
// when it has no NUL (*why says so).
struct FtResult {
    int success;
    char text[kFtTextMax + 1];
};
int ParseFtResult(const SessPacketHeader *h, const uint8_t *payload, FtResult *r, const char **why);

// PKT_FT_CONFIRM_DELETE and PKT_FT_CONFIRM_OVERWRITE. Refused: no NUL, or a path over
// 260 characters (a question about a path the viewer cannot show whole).
struct FtQuestion {
    uint32_t attributes;
    char path[kFtPathField];
};
int ParseFtQuestion(const SessPacketHeader *h, const uint8_t *payload, FtQuestion *q, const char **why);

// PKT_FT_ERROR. Refused: a kind over 7, a path without its NUL. The text as in results.
// The Agent still waits for an answer to a refused one (stop, +16).
struct FtError {
    uint32_t kind;
    char path[kFtPathField];
    char text[kFtTextMax + 1];
};
int ParseFtError(const SessPacketHeader *h, const uint8_t *payload, FtError *e, const char **why);

struct FtAck {
    uint32_t value;
    int goOn;
};
int ParseFtAck(const SessPacketHeader *h, const uint8_t *payload, FtAck *a, const char **why);

// ---- both ways -----------------------------------------------------------------------
struct FtFileBegin {
    uint32_t directory;
    char path[kFtPathField]; // full target (to the Agent), relative (from it)
    uint32_t attributes;
    uint64_t created, written;
    uint32_t first, last; // last: no PKT_FT_FILE_DATA follows
    uint32_t length;      // bytes of data
    const uint8_t *data;  // envelope head and first chunk's ciphertext; inside the payload
};
struct FtFileData {
    uint32_t abort, last, length;
    const uint8_t *data;
};

size_t BuildFtFileBegin(const FtFileBegin *b, uint8_t *out, size_t cap);
size_t BuildFtFileData(const FtFileData *d, uint8_t *out, size_t cap);
// Refused: a head cut short, a path without its NUL, data longer than the payload holds,
// a folder with data; for a file, data shorter than the 72-byte envelope head or
// ciphertext that is not whole 8-byte blocks (at least one in a last chunk) or longer than
// a chunk's. A folder's last flag is taken as 1. The relative path's own check is
// FtDownloadPathOk (filetransfer/paths.h).
int ParseFtFileBegin(const SessPacketHeader *h, const uint8_t *payload, FtFileBegin *b, const char **why);
// Refused: data longer than the payload holds or than a chunk's ciphertext, not whole
// 8-byte blocks, a last chunk without a block (unless it is an abort).
int ParseFtFileData(const SessPacketHeader *h, const uint8_t *payload, FtFileData *d, const char **why);

// Agent-side builders (the simulator, the tests).
// One entry at out; returns its bytes (40 + name + NUL), 0 for a long name or no room.
size_t FtPutEntry(const FtEntry *e, uint8_t *out, size_t cap);
// Listing packets around entries already put one after another.
size_t BuildFtListing(const FtListing *head, uint8_t *out, size_t cap);
size_t BuildFtListingMore(int complete, uint32_t count, const uint8_t *entries, size_t len, uint8_t *out, size_t cap);
// type is one of the three result types.
size_t BuildFtResult(uint32_t type, int success, const char *text, uint8_t *out, size_t cap);
// type is PKT_FT_CONFIRM_DELETE or PKT_FT_CONFIRM_OVERWRITE.
size_t BuildFtQuestion(uint32_t type, uint32_t attributes, const char *path, uint8_t *out, size_t cap);
size_t BuildFtError(uint32_t kind, const char *path, const char *text, uint8_t *out, size_t cap);
size_t BuildFtAck(uint32_t value, int goOn, uint8_t *out, size_t cap);

// Routing of arriving messages: the WM_CV_FT_REPLY number (1127..1133, 1135) of a type
// the frame takes, else 0; and whether a type goes to SyncReplyBuffer (43, 44).
uint32_t FtReplyMessage(uint32_t type);
int FtIsSyncReply(uint32_t type);
