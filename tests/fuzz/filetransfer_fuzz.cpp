// libFuzzer entry for the file-transfer messages from the Agent. The input is a stream
// of packets as the framer hands them out (the last one cut to what is left); each of the
// eleven Agent-to-viewer types goes through its parser. A refused packet must say why;
// a taken one must hold only what its fields allow (drives, kinds, terminated texts and
// paths, data inside the payload), its entries must walk to exactly the count announced,
// and built again from what was parsed it must parse to the same. File packets also go
// through the download's opening of sealed chunks, as one file after another: what comes
// out never exceeds what went in plus one held block, and a refusal says why. The names
// listed go through the panels' name order.
// Single-threaded.
#include "filetransfer/filestream.h"
#include "filetransfer/messages.h"
#include "filetransfer/paths.h"
#include "filetransfer/sortorder.h"
#include "session/agentkey.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(int ok)
{
    if (!ok)
        abort();
}

FtFileReceiver g_rx;

// The opened bytes land in a block of exactly the documented size, so a write past it is
// an ASan report.
void Open(const FtFileBegin *b, const FtFileData *d)
{
    const size_t cap = kFtChunkCipherMax + 16;
    uint8_t *plain = (uint8_t *)malloc(cap);
    size_t n = 0;
    const char *why = nullptr;
    const int ok = b ? FtOpenFileBegin(&g_rx, b, plain, &n, &why) : FtOpenFileData(&g_rx, d, plain, &n, &why);
    const size_t in = b ? (b->length > kSealedHeadSize ? b->length - kSealedHeadSize : 0) : d->length;
    Check(ok ? n <= in + 8 : why != nullptr);
    free(plain);
}

int Terminated(const char *s, size_t field) { return memchr(s, 0, field) != nullptr; }

// Walks the entries; every one inside the block, names whole, count kept.
void WalkEntries(const FtListing *l, const uint8_t *payload, size_t len)
{
    Check(l->entries >= payload && l->entriesLen <= len && (size_t)(l->entries - payload) <= len - l->entriesLen);
    const uint8_t *at = l->entries;
    size_t left = l->entriesLen;
    uint32_t taken = 0, skipped = 0;
    FtEntry e, before = {};
    while (FtNextEntry(&at, &left, &e, &skipped)) {
        Check(e.directory <= 1 && strnlen(e.name, kFtPathField) <= kFtPathMax && e.name[0]);
        Check(!strchr(e.name, '\\') && !strchr(e.name, '/') && !strchr(e.name, ':'));
        // The panels sort what arrives: any two names compare one way only.
        Check(FtCompareNames(e.name, e.name) == 0 &&
              FtCompareNames(e.name, before.name) == -FtCompareNames(before.name, e.name));
        before = e;
        taken++;
    }
    Check(left == 0 && at == l->entries + l->entriesLen && taken + skipped == l->count);
}

void Listing(const SessPacketHeader *h, const uint8_t *payload)
{
    FtListing l;
    const char *why = nullptr;
    const int more = h->dwType == PKT_FT_DIR_LISTING_MORE;
    const int ok = more ? ParseFtListingMore(h, payload, &l, &why) : ParseFtListing(h, payload, &l, &why);
    if (!ok) {
        Check(why != nullptr);
        return;
    }
    WalkEntries(&l, payload, h->dwDataLen);
    if (!more) {
        Check(l.currentDrive < kFtDrives && Terminated(l.path, kFtPathField));
        for (uint32_t t : l.driveTypes)
            Check(t == 0 || (t >= kFtDriveRemovable && t <= kFtDriveRamDisk));
    }
    // Built again from what was taken, it parses to the same.
    static uint8_t again[kMaxPacketSize];
    if (strnlen(l.path, kFtPathField) > kFtPathMax)
        return;
    const size_t n = more ? BuildFtListingMore(l.complete, l.count, l.entries, l.entriesLen, again, sizeof again)
                          : BuildFtListing(&l, again, sizeof again);
    Check(n != 0);
    SessPacketHeader h2;
    Check(DecodePacketHeader(again, n, &h2));
    FtListing l2;
    Check(more ? ParseFtListingMore(&h2, again + kPacketHeaderSize, &l2, &why)
               : ParseFtListing(&h2, again + kPacketHeaderSize, &l2, &why));
    Check(l2.count == l.count && l2.complete == l.complete && l2.entriesLen == l.entriesLen &&
          !memcmp(l2.entries, l.entries, l.entriesLen));
    if (!more)
        Check(!memcmp(l2.driveTypes, l.driveTypes, sizeof l.driveTypes) && l2.currentDrive == l.currentDrive &&
              l2.freeBytes == l.freeBytes && !strcmp(l2.path, l.path));
}

void Other(const SessPacketHeader *h, const uint8_t *payload)
{
    const char *why = nullptr;
    int ok = -1;
    switch (h->dwType) {
    case PKT_FT_SET_ATTRIBUTES_RESULT:
    case PKT_FT_RENAME_RESULT:
    case PKT_FT_CREATE_DIR_RESULT: {
        FtResult r;
        ok = ParseFtResult(h, payload, &r, &why);
        if (ok)
            Check(r.success <= 1 && Terminated(r.text, sizeof r.text));
        break;
    }
    case PKT_FT_CONFIRM_DELETE:
    case PKT_FT_CONFIRM_OVERWRITE: {
        FtQuestion q;
        ok = ParseFtQuestion(h, payload, &q, &why);
        if (ok)
            Check(strnlen(q.path, kFtPathField) <= kFtPathMax && !why);
        break;
    }
    case PKT_FT_ERROR: {
        FtError e;
        ok = ParseFtError(h, payload, &e, &why);
        if (ok)
            Check(e.kind < kFtErrorKinds && Terminated(e.path, kFtPathField) && Terminated(e.text, sizeof e.text));
        break;
    }
    case PKT_FT_ACK: {
        FtAck a;
        ok = ParseFtAck(h, payload, &a, &why);
        if (ok)
            Check(a.goOn <= 1 && !why);
        break;
    }
    case PKT_FT_FILE_BEGIN: {
        FtFileBegin b;
        ok = ParseFtFileBegin(h, payload, &b, &why);
        if (ok) {
            Check(b.data == payload + kFtFileBeginHead && b.length <= h->dwDataLen - kFtFileBeginHead);
            Check(Terminated(b.path, kFtPathField) && b.last <= 1 && (!b.directory || (b.length == 0 && b.last)));
            // The viewer writes nothing for a path this refuses; either answer must come.
            const char *pathWhy = nullptr;
            if (!FtDownloadPathOk(b.path, &pathWhy))
                Check(pathWhy != nullptr);
            // Tied to an item named by the path's own start: a folder always takes what is
            // below it, a file only itself.
            char item[kFtPathField];
            const size_t cut = strcspn(b.path, "\\");
            memcpy(item, b.path, cut);
            item[cut] = 0;
            Check(FtDownloadPathBelongs(b.path, item, 1, &pathWhy) &&
                  FtDownloadPathBelongs(b.path, item, 0, &pathWhy) == (b.path[cut] == 0));
            if (!b.directory)
                Open(&b, nullptr);
        }
        break;
    }
    case PKT_FT_FILE_DATA: {
        FtFileData d;
        ok = ParseFtFileData(h, payload, &d, &why);
        if (ok)
            Check(d.data == payload + kFtFileDataHead && d.length <= h->dwDataLen - kFtFileDataHead &&
                  d.length <= kFtChunkCipherMax && d.length % 8 == 0);
        if (ok)
            Open(nullptr, &d);
        break;
    }
    }
    if (ok == 0)
        Check(why != nullptr);
}

} // namespace

namespace {

int Setup()
{
    Check(EnvelopeLoadKeyPem(kAgentKeyPem, kAgentKeyPemLen));
    EnvelopeSeed(nullptr, 0);
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int ready = Setup();
    (void)ready;
    g_rx = FtFileReceiver{};
    SessPacketHeader h;
    while (size >= kPacketHeaderSize && DecodePacketHeader(data, size, &h)) {
        const size_t n = h.dwDataLen < size - kPacketHeaderSize ? h.dwDataLen : size - kPacketHeaderSize;
        h.dwDataLen = (uint32_t)n;
        // A block of its own, so that a read past the payload is an ASan report.
        uint8_t *payload = (uint8_t *)malloc(n ? n : 1);
        memcpy(payload, data + kPacketHeaderSize, n);
        if (h.dwType == PKT_FT_DIR_LISTING || h.dwType == PKT_FT_DIR_LISTING_MORE)
            Listing(&h, payload);
        else
            Other(&h, payload);
        free(payload);
        data += kPacketHeaderSize + n;
        size -= kPacketHeaderSize + n;
    }
    return 0;
}
