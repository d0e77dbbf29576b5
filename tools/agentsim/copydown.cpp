// The simulated Agent's downloads: the item asked for resolved inside its folder, a folder
// walked into its tree (each folder before its contents, names sorted, links left out),
// every file read and sealed chunk by chunk with one packet in flight (two once, when a
// fault sends one early), and the faults the control channel arms for the next file or
// packet.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/agentsim/copyparts.h"
#include "tools/agentsim/session.h"

static const char kNotFound[] = "The system cannot find the file specified.";
static const char kBadName[] = "The filename, directory name, or volume label syntax is incorrect.";

// A host name that travels as one component of a relative Windows path.
static int SendableName(const char *name)
{
    for (const char *p = name; *p; p++)
        if ((unsigned char)*p < 32 || *p == '\\' || *p == ':')
            return 0;
    return 1;
}

// The tree under host, each folder before its contents, names sorted; links left out.
static void Walk(const std::string &host, const std::string &relative, std::vector<SimCopyItem> *todo, std::string *log)
{
    DIR *dir = opendir(host.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (struct dirent *e = readdir(dir))
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
            names.push_back(e->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string &n : names) {
        const std::string p = host + "/" + n, r = relative + "\\" + n;
        struct stat st;
        if (lstat(p.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
            continue;
        if (r.size() > kFtPathMax || !SendableName(n.c_str())) {
            JsonLine j;
            JsonBegin(&j, "ft_skipped");
            JsonCStr(&j, "host", p.c_str());
            JsonCStr(&j, "why",
                     r.size() > kFtPathMax ? "a relative path over 260 characters" : "a name Windows refuses");
            *log += JsonEnd(&j);
            continue;
        }
        todo->push_back(SimCopyItem{p, r, S_ISDIR(st.st_mode) ? 1 : 0});
        if (S_ISDIR(st.st_mode))
            Walk(p, r, todo, log);
    }
}

// The relative path of the next begin packet: the item's, or the one armed.
static void BeginPath(SimFiles *f, const SimCopyItem &it, char path[kFtPathField], std::string *log)
{
    SimCopy *c = &f->copy;
    snprintf(path, kFtPathField, "%s", (c->armPath ? c->pathText : it.relative).c_str());
    if (c->armPath) {
        c->armPath = 0;
        SimCopyInjected("path", path, log);
    }
}

// Every download packet leaves here; an armed oversize replaces the next one.
static void SendFilePacket(SimFiles *f, const uint8_t *p, size_t n, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    c->asking = kSimCopyAskData;
    if (!c->armOversize) {
        SimCopyEmit(f, p, n, out);
        return;
    }
    c->armOversize = 0;
    SimCopyInjected("oversize", SimCopyItemPath(c, c->todo[c->index]).c_str(), log);
    std::vector<uint8_t> big(kPacketHeaderSize + kSimFtOversizeLen, 0);
    const SessPacketHeader h = {PKT_FT_FILE_DATA, kSimFtOversizeLen, 1};
    EncodePacketHeader(&h, big.data(), kPacketHeaderSize);
    PutU32LE(&big[kPacketHeaderSize + 8], kSimFtOversizeLen - kFtFileDataHead);
    memcpy(&big[kPacketHeaderSize + kFtFileDataHead], p + kPacketHeaderSize, n - kPacketHeaderSize);
    SimLogSent(log, big.data(), big.size());
    SimCopyEmit(f, big.data(), big.size(), out);
}

// Reads and seals the file's next chunk, with the faults armed for it. 1 with the packet,
// or 0 with *error (errno) for a read, or -1 when the envelope failed.
static int SealNext(SimCopy *c, uint8_t *packet, size_t *len, size_t *plainLen, int *last, int *error, std::string *log)
{
    static uint8_t plain[kFtChunkPlain];
    const SimCopyItem &it = c->todo[c->index];
    size_t n = 0;
    while (n < kFtChunkPlain) {
        const ssize_t r = pread(c->dlFd, plain + n, kFtChunkPlain - n, (off_t)(c->dlRead + n));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            *error = errno;
            return 0;
        }
        if (r == 0)
            break;
        n += (size_t)r;
    }
    *len = FtSealFilePacket(&c->tx, &c->dlMeta, plain, n, packet, kFtFilePacketMax, last);
    if (!*len)
        return -1;
    EVP_DigestUpdate(c->dlSha.get(), plain, n);
    c->dlRead += n;
    *plainLen = n;
    if (c->dlPackets++ == 0 && c->dlShortHead) {
        FtFileBegin b = c->dlMeta;
        b.last = (uint32_t)*last;
        b.length = kSimFtShortHeadLen;
        b.data = packet + kPacketHeaderSize + kFtFileBeginHead;
        *len = BuildFtFileBegin(&b, packet, kFtFilePacketMax);
        SimCopyInjected("short_head", SimCopyItemPath(c, it).c_str(), log);
    }
    if (c->dlPackets == 2 && c->dlRagged) {
        // The payload and its count both lose 3 bytes: a packet sound but for its blocks.
        c->dlRagged = 0;
        *len -= 3;
        PutU32LE(packet + 4, GetU32LE(packet + 4) - 3);
        PutU32LE(packet + kPacketHeaderSize + 8, GetU32LE(packet + kPacketHeaderSize + 8) - 3);
        SimCopyInjected("ragged", SimCopyItemPath(c, it).c_str(), log);
    }
    if (*last && c->dlCorrupt) {
        packet[*len - 1] ^= 0x5A; // the last byte of the padding block
        SimCopyInjected("corrupt", SimCopyItemPath(c, it).c_str(), log);
    }
    return 1;
}

int SimDownloadChunk(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const SimCopyItem &it = c->todo[c->index];
    static uint8_t packet[kFtFilePacketMax];
    size_t len = 0, n = 0;
    int last = 0;
    c->aheadTick = 0;
    if (!c->ahead.empty()) {
        len = c->ahead.size();
        memcpy(packet, c->ahead.data(), len);
        n = c->aheadPlain;
        last = c->aheadLast;
        c->ahead.clear();
        *log += c->aheadLog;
        c->aheadLog.clear();
    } else {
        int error = 0;
        const int r = SealNext(c, packet, &len, &n, &last, &error, log);
        if (r == 0) {
            SimCopySendError(f, 7, SimCopyItemPath(c, it).c_str(), strerror(error), kSimCopyStepDownRead, log, out);
            return 1;
        }
        if (r < 0) {
            SimLogError(log, "the envelope could not seal a chunk");
            SimCopySendError(f, 7, SimCopyItemPath(c, it).c_str(), "The file could not be sealed.",
                             kSimCopyStepDownFile, log, out);
            return 1;
        }
    }
    c->dlOffset += n;
    SendFilePacket(f, packet, len, log, out);
    if (c->dlEarly && !last) {
        c->dlEarly = 0;
        SimCopyInjected("early", SimCopyItemPath(c, it).c_str(), log);
        return SimDownloadChunk(f, log, out);
    }
    if (!last)
        c->aheadTick = c->ticks + 2;
    return 1;
}

void SimDownloadAhead(SimFiles *f)
{
    SimCopy *c = &f->copy;
    c->ticks++;
    if (!c->aheadTick || c->ticks < c->aheadTick)
        return;
    c->aheadTick = 0;
    if (!c->dlActive || c->dlFd < 0 || c->asking != kSimCopyAskData || c->armOversize || !c->ahead.empty())
        return;
    static uint8_t packet[kFtFilePacketMax];
    size_t len = 0, n = 0;
    int last = 0, error = 0;
    // A read that fails is tried again when the answer comes, and reported then.
    const uint64_t read = c->dlRead;
    const FtFileSender tx = c->tx;
    c->aheadLog.clear();
    if (SealNext(c, packet, &len, &n, &last, &error, &c->aheadLog) != 1) {
        c->dlRead = read;
        c->tx = tx;
        return;
    }
    c->ahead.assign(packet, packet + len);
    c->aheadPlain = n;
    c->aheadLast = last;
}

static int NextItem(SimFiles *f, std::string *log, std::vector<uint8_t> *out);

static int SendFolder(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const SimCopyItem &it = c->todo[c->index];
    struct stat st;
    if (lstat(it.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        c->index++; // gone since the walk
        return NextItem(f, log, out);
    }
    auto m = f->meta.find(it.host);
    FtFileBegin b = {};
    b.directory = 1;
    BeginPath(f, it, b.path, log);
    b.attributes = (m != f->meta.end() ? m->second.attributes : 0) | kFtAttrDirectory;
    b.created = m != f->meta.end() && m->second.created ? m->second.created : SimCopyFileTime(st.st_mtim);
    b.written = SimCopyFileTime(st.st_mtim);
    b.first = (uint32_t)c->dlFirst;
    b.last = 1;
    c->dlFirst = 0;
    JsonLine j;
    JsonBegin(&j, "ft_folder_sent");
    JsonCStr(&j, "path", SimCopyItemPath(c, it).c_str());
    JsonCStr(&j, "relative", b.path);
    JsonUint(&j, "attributes", b.attributes);
    *log += JsonEnd(&j);
    uint8_t p[kPacketHeaderSize + kFtFileBeginHead];
    SendFilePacket(f, p, BuildFtFileBegin(&b, p, sizeof p), log, out);
    return 1;
}

int SimDownloadFile(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const SimCopyItem &it = c->todo[c->index];
    const std::string win = SimCopyItemPath(c, it);
    if (c->dlFd >= 0)
        close(c->dlFd);
    c->dlFd = -1;
    if (SimCopyArmedQuestions(f, win.c_str(), kSimCopyStepDownFile, log, out))
        return 1;
    if (f->armedStop) {
        f->armedStop = 0;
        SimCopyInjected("stop", win.c_str(), log);
        return SimCopyStop(f, win.c_str(), "stopped", log, out);
    }
    if (f->armedError >= 0) {
        const uint32_t kind = (uint32_t)f->armedError;
        f->armedError = -1;
        SimCopyInjected("error", win.c_str(), log);
        SimCopySendError(f, kind, win.c_str(), kSimCopyInjected, kSimCopyStepDownFile, log, out);
        return 1;
    }
    const int fd = open(it.host.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const char *text = fd < 0 ? strerror(errno) : kSimCopyDenied;
        if (fd >= 0)
            close(fd);
        SimCopySendError(f, 6, win.c_str(), text, kSimCopyStepDownFile, log, out);
        return 1;
    }
    auto m = f->meta.find(it.host);
    c->dlFd = fd;
    c->dlOffset = c->dlRead = 0;
    c->dlPackets = 0;
    c->ahead.clear();
    c->aheadTick = 0;
    c->tx = FtFileSender{};
    SimCopyDigestStart(&c->dlSha);
    c->dlMeta = FtFileBegin{};
    BeginPath(f, it, c->dlMeta.path, log);
    c->dlMeta.attributes = m != f->meta.end() ? m->second.attributes & ~(uint32_t)kFtAttrDirectory : kFtAttrArchive;
    c->dlMeta.created = m != f->meta.end() && m->second.created ? m->second.created : SimCopyFileTime(st.st_mtim);
    c->dlMeta.written = SimCopyFileTime(st.st_mtim);
    c->dlMeta.first = (uint32_t)c->dlFirst;
    c->dlFirst = 0;
    c->dlCorrupt = c->armCorrupt;
    c->dlShortHead = c->armShortHead;
    c->dlEarly = c->armEarly;
    c->dlRagged = c->armRagged;
    c->armCorrupt = c->armShortHead = c->armEarly = c->armRagged = 0;
    return SimDownloadChunk(f, log, out);
}

// The item's next file or folder, or its end.
static int NextItem(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (c->index < c->todo.size())
        return c->todo[c->index].directory ? SendFolder(f, log, out) : SimDownloadFile(f, log, out);
    const std::string path = c->todo.empty() ? std::string() : SimCopyItemPath(c, c->todo[0]);
    SimCopyEndDownload(f, nullptr, nullptr);
    c->asking = kSimCopyAskNone;
    SimCopyAck(f, path.c_str(), 1, 1, log, out);
    return 1;
}

int SimDownloadStart(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const FtDownload *m = &c->request;
    const SimCopyItem named = {std::string(), m->name, m->directory ? 1 : 0};
    const std::string win = SimCopyItemPath(c, named);
    std::string host;
    int d;
    const char *why = nullptr;
    if (win.size() > kFtPathMax || !m->name[0] || !strcmp(m->name, ".") || !strcmp(m->name, "..") ||
        strpbrk(m->name, "\\/:")) {
        SimCopySendError(f, 6, win.c_str(), kBadName, kSimCopyStepDownStart, log, out);
        return 1;
    }
    if (!SimFilesResolve(f, win.c_str(), &host, &d, &why)) {
        SimFilesLogRefused(win.c_str(), why, log);
        SimCopySendError(f, 6, win.c_str(), why, kSimCopyStepDownStart, log, out);
        return 1;
    }
    struct stat st;
    if (lstat(host.c_str(), &st) != 0 || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode))) {
        SimCopySendError(f, 6, win.c_str(), kNotFound, kSimCopyStepDownStart, log, out);
        return 1;
    }
    c->todo.clear();
    c->todo.push_back(SimCopyItem{host, m->name, S_ISDIR(st.st_mode) ? 1 : 0});
    if (S_ISDIR(st.st_mode))
        Walk(host, m->name, &c->todo, log);
    c->index = 0;
    c->dlActive = 1;
    c->dlFirst = (int)m->first;
    return NextItem(f, log, out);
}

// A file whose every packet has gone and been answered: one line, and it counts.
static void FileSent(SimFiles *f, const SimCopyItem &it, int kind, std::string *log)
{
    SimCopy *c = &f->copy;
    JsonLine j;
    JsonBegin(&j, "ft_file_sent");
    JsonCStr(&j, "path", SimCopyItemPath(c, it).c_str());
    JsonCStr(&j, "relative", c->dlMeta.path);
    JsonCStr(&j, "host", it.host.c_str());
    JsonUint(&j, "size", c->dlOffset);
    SimCopyDigestField(&j, &c->dlSha);
    JsonUint(&j, "packets", c->dlPackets);
    JsonUint(&j, "attributes", c->dlMeta.attributes);
    JsonUint(&j, "created", c->dlMeta.created);
    JsonUint(&j, "written", c->dlMeta.written);
    JsonCStr(&j, "answer", kind == FT_ANSWER_NO ? "stop" : "go_on");
    *log += JsonEnd(&j);
    c->filesDone++;
}

// The viewer's answer to a file or folder packet: go on, or +16 to stop the item. A viewer
// cancelled during a download stops after a whole file, so a +16 to a file's last packet
// still leaves that file sent.
int SimDownloadAnswer(SimFiles *f, int kind, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    c->asking = kSimCopyAskNone;
    const SimCopyItem &it = c->todo[c->index];
    const int whole = !it.directory && c->tx.ended && c->ahead.empty(); // the last chunk has gone
    if (kind == FT_ANSWER_NO) {
        if (whole)
            FileSent(f, it, kind, log);
        SimCopyEndDownload(f, "the viewer answered stop", log);
        return 1;
    }
    if (kind != FT_ANSWER_GO_ON)
        SimLogError(log, "PKT_FT_ANSWER with a choice to a file packet; taken as go on");
    if (!it.directory && !whole)
        return SimDownloadChunk(f, log, out);
    if (whole) {
        FileSent(f, it, kind, log);
        close(c->dlFd);
        c->dlFd = -1;
    }
    c->index++;
    return NextItem(f, log, out);
}
