// File-transfer messages: fixed offsets, packed little-endian, paths in 261-byte fields.
// Every parser checks lengths in the form left < n, never off + n > len.
#include "filetransfer/messages.h"

#include <cstring>

enum : uint32_t {
    kEnvelopeHead = 72, // IV and sealed DES key in front of a file's first ciphertext
    kCipherBlock = 8,
};

static int Refuse(const char **why, const char *text)
{
    *why = text;
    return 0;
}

static void PutU64LE(uint8_t *p, uint64_t v)
{
    PutU32LE(p, (uint32_t)v);
    PutU32LE(p + 4, (uint32_t)(v >> 32));
}

static uint64_t GetU64LE(const uint8_t *p) { return (uint64_t)GetU32LE(p) | (uint64_t)GetU32LE(p + 4) << 32; }

// A path into its 261-byte field, zero-filled; 0 when it has more than 260 characters.
static int PutPath(uint8_t *field, const char *path)
{
    const size_t n = path ? strnlen(path, kFtPathField) : 0;
    if (n > kFtPathMax)
        return 0;
    memset(field, 0, kFtPathField);
    memcpy(field, path, n);
    return 1;
}

// A 261-byte field holding its NUL, copied whole into out.
static int GetPath(const uint8_t *field, char out[kFtPathField])
{
    if (!memchr(field, 0, kFtPathField))
        return 0;
    memcpy(out, field, kFtPathField);
    return 1;
}

// A NUL-terminated text of at most left bytes into out, cut to kFtTextMax; says when
// it had no NUL or was cut.
static void GetText(const uint8_t *p, size_t left, char out[kFtTextMax + 1], const char **note)
{
    const size_t len = strnlen((const char *)p, left);
    const size_t keep = len < kFtTextMax ? len : (size_t)kFtTextMax;
    memcpy(out, p, keep);
    out[keep] = 0;
    if (len == left)
        *note = "a text without its NUL was cut where the payload ends";
    else if (keep < len)
        *note = "a text over 1023 characters was cut";
}

// Header and payload laid out at out; the payload already stands at out + 12.
static size_t Seal(uint32_t type, size_t len, uint8_t *out, size_t cap)
{
    return BuildPacket(type, out + kPacketHeaderSize, len, out, cap);
}

static int Room(size_t cap, size_t len)
{
    return cap >= kPacketHeaderSize && len <= kMaxPayloadSize && cap - kPacketHeaderSize >= len;
}

// ---- viewer to Agent -----------------------------------------------------------------

size_t BuildFtListDir(uint32_t drive, const char *path, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtListDirLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, drive);
    return PutPath(p + 4, path) ? Seal(PKT_FT_LIST_DIR, kFtListDirLen, out, cap) : 0;
}

size_t BuildFtSetAttributes(uint32_t attributes, const char *path, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtSetAttributesLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, attributes & kFtAttributeMask);
    return PutPath(p + 4, path) ? Seal(PKT_FT_SET_ATTRIBUTES, kFtSetAttributesLen, out, cap) : 0;
}

size_t BuildFtRename(const char *oldPath, const char *newPath, uint32_t directory, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtRenameLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    if (!PutPath(p, oldPath) || !PutPath(p + kFtPathField, newPath))
        return 0;
    PutU32LE(p + 2 * kFtPathField, directory != 0);
    return Seal(PKT_FT_RENAME, kFtRenameLen, out, cap);
}

size_t BuildFtCreateDir(const char *path, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtCreateDirLen))
        return 0;
    return PutPath(out + kPacketHeaderSize, path) ? Seal(PKT_FT_CREATE_DIR, kFtCreateDirLen, out, cap) : 0;
}

size_t BuildFtDelete(const FtDelete *d, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtDeleteLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, d->directory != 0);
    PutU32LE(p + 4, d->first != 0);
    PutU32LE(p + 8, d->last != 0);
    PutU32LE(p + 12, d->attributes);
    return PutPath(p + 16, d->path) ? Seal(PKT_FT_DELETE, kFtDeleteLen, out, cap) : 0;
}

size_t BuildFtAnswer(int kind, uint8_t *out, size_t cap)
{
    if (kind != FT_ANSWER_YES && kind != FT_ANSWER_YES_TO_ALL && kind != FT_ANSWER_NO && kind != FT_ANSWER_GO_ON)
        return 0;
    if (!Room(cap, kFtAnswerLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    memset(p, 0, kFtAnswerLen);
    if (kind != FT_ANSWER_GO_ON)
        PutU32LE(p + 4 * kind, 1);
    return Seal(PKT_FT_ANSWER, kFtAnswerLen, out, cap);
}

size_t BuildFtDownload(const FtDownload *d, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtDownloadLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, d->first != 0);
    PutU32LE(p + 4, d->directory != 0);
    if (!PutPath(p + 8, d->folder) || !PutPath(p + 269, d->name))
        return 0;
    PutU32LE(p + 530, d->attributes);
    PutU64LE(p + 534, d->created);
    PutU64LE(p + 542, d->written);
    PutU32LE(p + 550, 0);
    return Seal(PKT_FT_DOWNLOAD, kFtDownloadLen, out, cap);
}

size_t BuildFtAbort(uint8_t *out, size_t cap) { return BuildPacket(PKT_FT_ABORT, nullptr, 0, out, cap); }

int ParseFtListDir(const SessPacketHeader *h, const uint8_t *payload, FtListDir *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtListDirLen)
        return Refuse(why, "shorter than its 265 bytes");
    if (!GetPath(payload + 4, m->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    m->drive = GetU32LE(payload);
    return 1;
}

int ParseFtSetAttributes(const SessPacketHeader *h, const uint8_t *payload, FtSetAttributes *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtSetAttributesLen)
        return Refuse(why, "shorter than its 265 bytes");
    if (!GetPath(payload + 4, m->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    m->attributes = GetU32LE(payload);
    return 1;
}

int ParseFtRename(const SessPacketHeader *h, const uint8_t *payload, FtRename *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtRenameLen)
        return Refuse(why, "shorter than its 526 bytes");
    if (!GetPath(payload, m->oldPath) || !GetPath(payload + kFtPathField, m->newPath))
        return Refuse(why, "a path without its NUL in 261 bytes");
    m->directory = GetU32LE(payload + 2 * kFtPathField) != 0;
    return 1;
}

int ParseFtCreateDir(const SessPacketHeader *h, const uint8_t *payload, FtCreateDir *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtCreateDirLen)
        return Refuse(why, "shorter than its 261 bytes");
    if (!GetPath(payload, m->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    return 1;
}

int ParseFtDelete(const SessPacketHeader *h, const uint8_t *payload, FtDelete *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtDeleteLen)
        return Refuse(why, "shorter than its 277 bytes");
    if (!GetPath(payload + 16, m->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    m->directory = GetU32LE(payload) != 0;
    m->first = GetU32LE(payload + 4) != 0;
    m->last = GetU32LE(payload + 8) != 0;
    m->attributes = GetU32LE(payload + 12);
    return 1;
}

int ParseFtDownload(const SessPacketHeader *h, const uint8_t *payload, FtDownload *m, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtDownloadLen)
        return Refuse(why, "shorter than its 554 bytes");
    if (!GetPath(payload + 8, m->folder) || !GetPath(payload + 269, m->name))
        return Refuse(why, "a path without its NUL in 261 bytes");
    m->first = GetU32LE(payload) != 0;
    m->directory = GetU32LE(payload + 4) != 0;
    m->attributes = GetU32LE(payload + 530);
    m->created = GetU64LE(payload + 534);
    m->written = GetU64LE(payload + 542);
    return 1;
}

int ParseFtAnswer(const SessPacketHeader *h, const uint8_t *payload, int *kind, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtAnswerLen)
        return Refuse(why, "shorter than its 20 bytes");
    int found = FT_ANSWER_GO_ON;
    for (int i = 0; i < 5; i++) {
        if (GetU32LE(payload + 4 * i) == 0)
            continue;
        if (i == 2 || i == 3)
            return Refuse(why, "a reserved flag set");
        if (found != FT_ANSWER_GO_ON)
            return Refuse(why, "more than one flag set");
        found = i;
    }
    *kind = found;
    return 1;
}

// ---- Agent to viewer -----------------------------------------------------------------

// Walks count entries at p within left bytes; *span gets the bytes they take.
static int CheckEntries(const uint8_t *p, size_t left, uint32_t count, size_t *span, const char **why)
{
    // Every entry takes at least its head and a NUL: a count past that is refused first.
    if (count > left / (kFtEntryHead + 1))
        return Refuse(why, "an entry count beyond the entries present");
    size_t at = 0;
    for (uint32_t i = 0; i < count; i++) {
        if (left - at < kFtEntryHead + 1)
            return Refuse(why, "an entry count beyond the entries present");
        const uint8_t *name = p + at + kFtEntryHead;
        const void *nul = memchr(name, 0, left - at - kFtEntryHead);
        if (!nul)
            return Refuse(why, "an entry name without its NUL inside the payload");
        at = (size_t)((const uint8_t *)nul - p) + 1;
    }
    *span = at;
    return 1;
}

int ParseFtListing(const SessPacketHeader *h, const uint8_t *payload, FtListing *l, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtListingHead)
        return Refuse(why, "shorter than its 385-byte head");
    const uint32_t drive = GetU32LE(payload + 104);
    if (drive >= kFtDrives)
        return Refuse(why, "a current drive outside 0 to 25");
    const uint32_t count = GetU32LE(payload + 381);
    size_t span = 0;
    if (!CheckEntries(payload + kFtListingHead, h->dwDataLen - kFtListingHead, count, &span, why))
        return 0;
    char path[kFtPathField];
    if (!GetPath(payload + 116, path))
        return Refuse(why, "a current directory without its NUL in 261 bytes");
    for (uint32_t i = 0; i < kFtDrives; i++) {
        const uint32_t type = GetU32LE(payload + 4 * i);
        l->driveTypes[i] = type >= kFtDriveRemovable && type <= kFtDriveRamDisk ? type : 0;
        if (type != l->driveTypes[i])
            *why = "a drive type outside 2 to 6 was taken as no drive";
    }
    l->currentDrive = drive;
    l->freeBytes = GetU64LE(payload + 108);
    memcpy(l->path, path, kFtPathField);
    l->complete = GetU32LE(payload + 377) != 0;
    l->count = count;
    l->entries = payload + kFtListingHead;
    l->entriesLen = span;
    return 1;
}

int ParseFtListingMore(const SessPacketHeader *h, const uint8_t *payload, FtListing *l, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtListingMoreHead)
        return Refuse(why, "shorter than its 8-byte head");
    const uint32_t count = GetU32LE(payload + 4);
    size_t span = 0;
    if (!CheckEntries(payload + kFtListingMoreHead, h->dwDataLen - kFtListingMoreHead, count, &span, why))
        return 0;
    l->complete = GetU32LE(payload) != 0;
    l->count = count;
    l->entries = payload + kFtListingMoreHead;
    l->entriesLen = span;
    return 1;
}

// One file or folder name as the Agent's file system can hold it (".." included).
static int NameOk(const char *name, size_t len)
{
    if (len == 0 || len > kFtPathMax || (len == 1 && name[0] == '.'))
        return 0;
    for (size_t i = 0; i < len; i++) {
        const unsigned char c = (unsigned char)name[i];
        if (c < 32 || c == '\\' || c == '/' || c == ':')
            return 0;
    }
    return 1;
}

int FtNextEntry(const uint8_t **at, size_t *left, FtEntry *e, uint32_t *skipped)
{
    while (*left >= kFtEntryHead + 1) {
        const uint8_t *p = *at;
        const char *name = (const char *)p + kFtEntryHead;
        const size_t len = strnlen(name, *left - kFtEntryHead);
        if (len == *left - kFtEntryHead) { // no NUL: not an accepted run of entries
            *left = 0;
            return 0;
        }
        *at += kFtEntryHead + len + 1;
        *left -= kFtEntryHead + len + 1;
        if (!NameOk(name, len)) {
            (*skipped)++;
            continue;
        }
        e->directory = GetU32LE(p) != 0;
        e->attributes = GetU32LE(p + 4);
        e->created = GetU64LE(p + 8);
        e->accessed = GetU64LE(p + 16);
        e->written = GetU64LE(p + 24);
        e->size = GetU64LE(p + 32);
        memcpy(e->name, name, len + 1);
        return 1;
    }
    return 0;
}

int ParseFtResult(const SessPacketHeader *h, const uint8_t *payload, FtResult *r, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtResultHead)
        return Refuse(why, "shorter than its 4-byte result");
    r->success = GetU32LE(payload) != 0;
    GetText(payload + kFtResultHead, h->dwDataLen - kFtResultHead, r->text, why);
    return 1;
}

int ParseFtQuestion(const SessPacketHeader *h, const uint8_t *payload, FtQuestion *q, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtQuestionHead)
        return Refuse(why, "shorter than its 4-byte attributes");
    const size_t left = h->dwDataLen - kFtQuestionHead;
    const size_t len = strnlen((const char *)payload + kFtQuestionHead, left);
    if (len == left)
        return Refuse(why, "a path without its NUL inside the payload");
    if (len > kFtPathMax)
        return Refuse(why, "a path over 260 characters");
    q->attributes = GetU32LE(payload);
    memcpy(q->path, payload + kFtQuestionHead, len + 1);
    return 1;
}

int ParseFtError(const SessPacketHeader *h, const uint8_t *payload, FtError *e, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtErrorHead)
        return Refuse(why, "shorter than its 265-byte head");
    const uint32_t kind = GetU32LE(payload);
    if (kind >= kFtErrorKinds)
        return Refuse(why, "an error kind over 7");
    if (!GetPath(payload + 4, e->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    e->kind = kind;
    GetText(payload + kFtErrorHead, h->dwDataLen - kFtErrorHead, e->text, why);
    return 1;
}

int ParseFtAck(const SessPacketHeader *h, const uint8_t *payload, FtAck *a, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtAckLen)
        return Refuse(why, "shorter than its 8 bytes");
    a->value = GetU32LE(payload);
    a->goOn = GetU32LE(payload + 4) != 0;
    return 1;
}

// ---- both ways -----------------------------------------------------------------------

size_t BuildFtFileBegin(const FtFileBegin *b, uint8_t *out, size_t cap)
{
    if (b->length > kMaxPayloadSize - kFtFileBeginHead || !Room(cap, kFtFileBeginHead + (size_t)b->length))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, b->directory != 0);
    if (!PutPath(p + 4, b->path))
        return 0;
    PutU32LE(p + 265, b->attributes);
    PutU64LE(p + 269, b->created);
    PutU64LE(p + 277, b->written);
    PutU32LE(p + 285, b->first != 0);
    PutU32LE(p + 289, b->last != 0);
    PutU32LE(p + 293, b->length);
    if (b->length)
        memmove(p + kFtFileBeginHead, b->data, b->length);
    return Seal(PKT_FT_FILE_BEGIN, kFtFileBeginHead + b->length, out, cap);
}

size_t BuildFtFileData(const FtFileData *d, uint8_t *out, size_t cap)
{
    if (d->length > kMaxPayloadSize - kFtFileDataHead || !Room(cap, kFtFileDataHead + (size_t)d->length))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, d->abort != 0);
    PutU32LE(p + 4, d->last != 0);
    PutU32LE(p + 8, d->length);
    if (d->length)
        memmove(p + kFtFileDataHead, d->data, d->length);
    return Seal(PKT_FT_FILE_DATA, kFtFileDataHead + d->length, out, cap);
}

// Ciphertext of one chunk: whole blocks, no more than a chunk's, at least one when last.
static int CipherOk(uint32_t n, int last, const char **why)
{
    if (n % kCipherBlock)
        return Refuse(why, "ciphertext that is not whole 8-byte blocks");
    if (n > kFtChunkCipherMax)
        return Refuse(why, "ciphertext longer than one chunk's");
    if (last && n == 0)
        return Refuse(why, "a last chunk without its padding block");
    return 1;
}

int ParseFtFileBegin(const SessPacketHeader *h, const uint8_t *payload, FtFileBegin *b, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtFileBeginHead)
        return Refuse(why, "shorter than its 297-byte head");
    const uint32_t directory = GetU32LE(payload) != 0, last = GetU32LE(payload + 289) != 0;
    const uint32_t n = GetU32LE(payload + 293);
    if (n > h->dwDataLen - kFtFileBeginHead)
        return Refuse(why, "data longer than the payload holds");
    if (directory && n)
        return Refuse(why, "a folder with data");
    if (!directory) {
        if (n < kEnvelopeHead)
            return Refuse(why, "a file's first data shorter than the 72-byte envelope head");
        if (!CipherOk(n - kEnvelopeHead, last, why))
            return 0;
    }
    if (!GetPath(payload + 4, b->path))
        return Refuse(why, "a path without its NUL in 261 bytes");
    b->directory = directory;
    b->attributes = GetU32LE(payload + 265);
    b->created = GetU64LE(payload + 269);
    b->written = GetU64LE(payload + 277);
    b->first = GetU32LE(payload + 285) != 0;
    b->last = directory ? 1 : last;
    b->length = n;
    b->data = payload + kFtFileBeginHead;
    return 1;
}

int ParseFtFileData(const SessPacketHeader *h, const uint8_t *payload, FtFileData *d, const char **why)
{
    *why = nullptr;
    if (h->dwDataLen < kFtFileDataHead)
        return Refuse(why, "shorter than its 12-byte head");
    const uint32_t abort = GetU32LE(payload) != 0, last = GetU32LE(payload + 4) != 0;
    const uint32_t n = GetU32LE(payload + 8);
    if (n > h->dwDataLen - kFtFileDataHead)
        return Refuse(why, "data longer than the payload holds");
    if (!CipherOk(n, last && !abort, why))
        return 0;
    d->abort = abort;
    d->last = last;
    d->length = n;
    d->data = payload + kFtFileDataHead;
    return 1;
}

// ---- Agent-side builders ---------------------------------------------------------------

size_t FtPutEntry(const FtEntry *e, uint8_t *out, size_t cap)
{
    const size_t len = strnlen(e->name, kFtPathField);
    if (len > kFtPathMax || cap < kFtEntryHead + len + 1)
        return 0;
    PutU32LE(out, e->directory != 0);
    PutU32LE(out + 4, e->attributes);
    PutU64LE(out + 8, e->created);
    PutU64LE(out + 16, e->accessed);
    PutU64LE(out + 24, e->written);
    PutU64LE(out + 32, e->size);
    memcpy(out + kFtEntryHead, e->name, len);
    out[kFtEntryHead + len] = 0;
    return kFtEntryHead + len + 1;
}

size_t BuildFtListing(const FtListing *l, uint8_t *out, size_t cap)
{
    if (l->entriesLen > kMaxPayloadSize - kFtListingHead || !Room(cap, kFtListingHead + l->entriesLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    for (uint32_t i = 0; i < kFtDrives; i++)
        PutU32LE(p + 4 * i, l->driveTypes[i]);
    PutU32LE(p + 104, l->currentDrive);
    PutU64LE(p + 108, l->freeBytes);
    if (!PutPath(p + 116, l->path))
        return 0;
    PutU32LE(p + 377, l->complete != 0);
    PutU32LE(p + 381, l->count);
    if (l->entriesLen)
        memmove(p + kFtListingHead, l->entries, l->entriesLen);
    return Seal(PKT_FT_DIR_LISTING, kFtListingHead + l->entriesLen, out, cap);
}

size_t BuildFtListingMore(int complete, uint32_t count, const uint8_t *entries, size_t len, uint8_t *out, size_t cap)
{
    if (len > kMaxPayloadSize - kFtListingMoreHead || !Room(cap, kFtListingMoreHead + len))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, complete != 0);
    PutU32LE(p + 4, count);
    if (len)
        memmove(p + kFtListingMoreHead, entries, len);
    return Seal(PKT_FT_DIR_LISTING_MORE, kFtListingMoreHead + len, out, cap);
}

// A u32 then a NUL-terminated text.
static size_t BuildU32Text(uint32_t type, uint32_t value, const char *text, size_t textMax, uint8_t *out, size_t cap)
{
    const size_t n = strnlen(text, textMax + 1);
    if (n > textMax || !Room(cap, 4 + n + 1))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, value);
    memcpy(p + 4, text, n);
    p[4 + n] = 0;
    return Seal(type, 4 + n + 1, out, cap);
}

size_t BuildFtResult(uint32_t type, int success, const char *text, uint8_t *out, size_t cap)
{
    if (type != PKT_FT_SET_ATTRIBUTES_RESULT && type != PKT_FT_RENAME_RESULT && type != PKT_FT_CREATE_DIR_RESULT)
        return 0;
    return BuildU32Text(type, success != 0, text, kMaxPayloadSize - 5, out, cap);
}

size_t BuildFtQuestion(uint32_t type, uint32_t attributes, const char *path, uint8_t *out, size_t cap)
{
    if (type != PKT_FT_CONFIRM_DELETE && type != PKT_FT_CONFIRM_OVERWRITE)
        return 0;
    return BuildU32Text(type, attributes, path, kFtPathMax, out, cap);
}

size_t BuildFtError(uint32_t kind, const char *path, const char *text, uint8_t *out, size_t cap)
{
    const size_t n = strnlen(text, kMaxPayloadSize);
    if (n > kMaxPayloadSize - kFtErrorHead - 1 || !Room(cap, kFtErrorHead + n + 1))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, kind);
    if (!PutPath(p + 4, path))
        return 0;
    memcpy(p + kFtErrorHead, text, n);
    p[kFtErrorHead + n] = 0;
    return Seal(PKT_FT_ERROR, kFtErrorHead + n + 1, out, cap);
}

size_t BuildFtAck(uint32_t value, int goOn, uint8_t *out, size_t cap)
{
    if (!Room(cap, kFtAckLen))
        return 0;
    uint8_t *p = out + kPacketHeaderSize;
    PutU32LE(p, value);
    PutU32LE(p + 4, goOn != 0);
    return Seal(PKT_FT_ACK, kFtAckLen, out, cap);
}

// ---- routing ---------------------------------------------------------------------------

uint32_t FtReplyMessage(uint32_t type)
{
    switch (type) {
    case PKT_FT_DIR_LISTING:
    case PKT_FT_DIR_LISTING_MORE:
        return 1127;
    case PKT_FT_SET_ATTRIBUTES_RESULT:
        return 1128;
    case PKT_FT_RENAME_RESULT:
        return 1129;
    case PKT_FT_CREATE_DIR_RESULT:
        return 1130;
    case PKT_FT_CONFIRM_DELETE:
        return 1131;
    case PKT_FT_ERROR:
        return 1132;
    case PKT_FT_ACK:
        return 1133;
    case PKT_FT_CONFIRM_OVERWRITE:
        return 1135;
    default:
        return 0;
    }
}

int FtIsSyncReply(uint32_t type) { return type == PKT_FT_FILE_BEGIN || type == PKT_FT_FILE_DATA; }
