// The simulated Agent's uploads, the questions of both directions and the dispatch of copy
// packets: each packet checked and answered, each file and question logged once (chunks
// and their acknowledgements are not), partial uploads never left behind, and every write
// kept inside the served folders.
#include "tools/agentsim/copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/agentsim/copyparts.h"
#include "tools/agentsim/pktnames.h"
#include "tools/agentsim/session.h"

const char kSimCopyInjected[] = "Injected by the simulator.";
const char kSimCopyDenied[] = "Access is denied.";

double SimCopyClock(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

uint64_t SimCopyFileTime(const timespec &t)
{
    return ((uint64_t)t.tv_sec + 11644473600ull) * 10000000ull + (uint64_t)t.tv_nsec / 100;
}

static timespec TimespecOf(uint64_t fileTime)
{
    timespec t;
    t.tv_sec = (time_t)((int64_t)(fileTime / 10000000ull) - 11644473600ll);
    t.tv_nsec = (long)(fileTime % 10000000ull) * 100;
    return t;
}

int SimCopyDigestStart(SimDigest *d)
{
    if (!*d)
        d->reset(EVP_MD_CTX_new());
    return *d && EVP_DigestInit_ex(d->get(), EVP_sha256(), nullptr);
}

void SimCopyDigestField(JsonLine *j, SimDigest *d)
{
    uint8_t md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    if (*d && EVP_DigestFinal_ex(d->get(), md, &n))
        JsonHex(j, "sha256", md, n, sizeof md);
    else
        JsonNull(j, "sha256");
}

// ---- output ----------------------------------------------------------------------------

// Everything the copy sends goes through here, so that a delay holds it in order.
void SimCopyEmit(SimFiles *f, const uint8_t *p, size_t n, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (!c->delayMs && c->held.empty()) {
        out->insert(out->end(), p, p + n);
        return;
    }
    if (c->held.empty())
        c->heldUntil = SimCopyClock() + c->delayMs / 1000.0;
    c->held.insert(c->held.end(), p, p + n);
}

void SimCopySaid(SimFiles *f, const uint8_t *p, size_t n, std::string *log, std::vector<uint8_t> *out)
{
    SimLogSent(log, p, n);
    SimCopyEmit(f, p, n, out);
}

void SimCopyAck(SimFiles *f, const char *path, int goOn, int logged, std::string *log, std::vector<uint8_t> *out)
{
    uint8_t p[kPacketHeaderSize + kFtAckLen];
    const size_t n = BuildFtAck(0, goOn, p, sizeof p);
    if (!logged) {
        SimCopyEmit(f, p, n, out);
        return;
    }
    JsonLine j;
    JsonBegin(&j, "ft_ack");
    JsonCStr(&j, "path", path);
    JsonBool(&j, "go_on", goOn);
    *log += JsonEnd(&j);
    SimCopySaid(f, p, n, log, out);
}

void SimCopySendError(SimFiles *f, uint32_t kind, const char *path, const char *text, int step, std::string *log,
                      std::vector<uint8_t> *out)
{
    // A folder and a relative path may join to more than the field holds: the end is cut.
    char cut[kFtPathField];
    snprintf(cut, sizeof cut, "%s", path);
    uint8_t p[kPacketHeaderSize + kFtErrorHead + 400];
    SimCopySaid(f, p, SimFilesErrorPacket(kind, cut, text, log, p, sizeof p), log, out);
    f->copy.askPath = cut;
    f->copy.asking = kSimCopyAskError;
    f->copy.step = step;
}

void SimCopyInjected(const char *fault, const char *path, std::string *log)
{
    JsonLine j;
    JsonBegin(&j, "ft_injected");
    JsonCStr(&j, "fault", fault);
    JsonCStr(&j, "path", path);
    *log += JsonEnd(&j);
}

static void PacketLine(JsonLine *j, const SessPacketHeader *h)
{
    JsonBegin(j, "packet");
    JsonUint(j, "type", h->dwType);
    JsonCStr(j, "name", SimPacketName(h->dwType));
    JsonUint(j, "len", h->dwDataLen);
    JsonUint(j, "required", h->dwRequired);
}

// ---- state -------------------------------------------------------------------------------

void SimCopyInit(SimCopy *c)
{
    c->asking = kSimCopyAskNone;
    c->step = 0;
    c->lateAnswer = 0;
    c->yesToAll = 0;
    c->upFd = c->dlFd = -1;
    c->dlActive = 0;
    c->armCorrupt = c->armShortHead = c->armOversize = c->armPath = c->armEarly = c->armRagged = 0;
    c->dlRagged = 0;
    c->ticks = c->aheadTick = 0;
    c->aheadPlain = 0;
    c->aheadLast = 0;
    c->delayMs = 0;
    c->heldUntil = 0;
    c->filesDone = 0;
    c->armQuestions = 0;
    c->burstLeft = c->burstSent = 0;
    c->burstStep = -1;
}

static void DropUpload(SimFiles *f, const char *why, std::string *log)
{
    SimCopy *c = &f->copy;
    if (c->upFd < 0 && c->upTemp.empty())
        return;
    if (c->upFd >= 0)
        close(c->upFd);
    if (!c->upTemp.empty())
        unlink(c->upTemp.c_str());
    if (log) {
        JsonLine j;
        JsonBegin(&j, "ft_upload_dropped");
        JsonCStr(&j, "path", c->upWin.c_str());
        JsonCStr(&j, "host", c->upHost.c_str());
        JsonUint(&j, "bytes", c->rx.plainBytes);
        JsonCStr(&j, "why", why);
        *log += JsonEnd(&j);
    }
    c->upFd = -1;
    c->upTemp.clear();
    c->unwritten.clear();
}

std::string SimCopyItemPath(const SimCopy *c, const SimCopyItem &it)
{
    std::string w = c->request.folder;
    if (!w.empty() && w.back() != '\\' && w.back() != '/')
        w += '\\';
    return w + it.relative;
}

void SimCopyEndDownload(SimFiles *f, const char *why, std::string *log)
{
    SimCopy *c = &f->copy;
    if (c->dlActive && log && c->index < c->todo.size()) {
        JsonLine j;
        JsonBegin(&j, "ft_download_stopped");
        JsonCStr(&j, "path", SimCopyItemPath(c, c->todo[c->index]).c_str());
        JsonCStr(&j, "relative", c->todo[c->index].relative.c_str());
        JsonUint(&j, "bytes", c->dlFd >= 0 ? c->dlOffset : 0);
        JsonCStr(&j, "why", why);
        *log += JsonEnd(&j);
    }
    if (c->dlFd >= 0)
        close(c->dlFd);
    c->dlFd = -1;
    c->ahead.clear();
    c->aheadTick = 0;
    c->dlActive = 0;
    c->todo.clear();
    c->index = 0;
}

void SimCopyReset(SimFiles *f, const char *why, std::string *log)
{
    SimCopy *c = &f->copy;
    DropUpload(f, why, log);
    SimCopyEndDownload(f, why, log);
    c->asking = kSimCopyAskNone;
    c->lateAnswer = 0;
    c->question.clear();
    c->held.clear();
    c->burstLeft = 0;
    c->burstStep = -1;
}

int SimCopyBusy(const SimFiles *f)
{
    const SimCopy *c = &f->copy;
    return c->asking != kSimCopyAskNone || c->upFd >= 0 || !c->upTemp.empty() || c->dlActive || c->burstLeft;
}

int SimCopyTakes(const SimFiles *f, uint32_t type)
{
    if (f->copy.burstLeft)
        return 1; // every request waits for the questions' answers
    if (type == PKT_FT_FILE_BEGIN || type == PKT_FT_FILE_DATA || type == PKT_FT_DOWNLOAD || type == PKT_FT_ABORT)
        return 1;
    return type == PKT_FT_ANSWER && f->asking == kSimAskNone &&
           (f->copy.asking != kSimCopyAskNone || f->copy.lateAnswer);
}

// Ends the operation: what is open is dropped, then PKT_FT_ACK continue 0.
int SimCopyStop(SimFiles *f, const char *path, const char *why, std::string *log, std::vector<uint8_t> *out)
{
    DropUpload(f, why, log);
    SimCopyEndDownload(f, why, log);
    f->copy.asking = kSimCopyAskNone;
    SimCopyAck(f, path, 0, 1, log, out);
    return 1;
}

void SimCopyTick(SimFiles *f, double now, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    SimDownloadAhead(f);
    if (c->held.empty() || now < c->heldUntil)
        return;
    out->insert(out->end(), c->held.begin(), c->held.end());
    c->held.clear();
}

double SimCopyDue(const SimFiles *f)
{
    if (f->copy.aheadTick)
        return SimCopyClock(); // the next chunk is to be sealed in the loop's next pass
    return f->copy.held.empty() ? 0 : f->copy.heldUntil;
}

// ---- upload --------------------------------------------------------------------------------

static int FinishUpload(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (c->upFd >= 0) {
        const timespec t[2] = {{0, UTIME_OMIT}, TimespecOf(c->upWritten)};
        if (futimens(c->upFd, t) != 0)
            SimLogError(log, (std::string("cannot set the time of ") + c->upTemp + ": " + strerror(errno)).c_str());
        close(c->upFd);
        c->upFd = -1;
    }
    if (rename(c->upTemp.c_str(), c->upHost.c_str()) != 0) {
        SimCopySendError(f, 3, c->upWin.c_str(), strerror(errno), kSimCopyStepUpFinish, log, out);
        return 1;
    }
    c->upTemp.clear();
    f->meta[c->upHost] = SimFileMeta{c->upAttributes & ~(uint32_t)kFtAttrDirectory, c->upCreated};
    JsonLine j;
    JsonBegin(&j, "ft_file_received");
    JsonCStr(&j, "path", c->upWin.c_str());
    JsonCStr(&j, "host", c->upHost.c_str());
    JsonUint(&j, "size", c->rx.plainBytes);
    SimCopyDigestField(&j, &c->upSha);
    JsonUint(&j, "attributes", c->upAttributes);
    JsonUint(&j, "created", c->upCreated);
    JsonUint(&j, "written", c->upWritten);
    *log += JsonEnd(&j);
    c->filesDone++;
    SimCopyAck(f, nullptr, 1, 0, log, out);
    return 1;
}

// Writes opened bytes; a failure keeps them for Retry.
static int WritePlain(SimFiles *f, const uint8_t *p, size_t n, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    while (n) {
        const ssize_t w = write(c->upFd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            c->unwritten.assign(p, p + n);
            const char *text = w < 0 ? strerror(errno) : "There is not enough space on the disk.";
            SimCopySendError(f, 4, c->upWin.c_str(), text, kSimCopyStepUpWrite, log, out);
            return 1;
        }
        p += w;
        n -= (size_t)w;
    }
    c->unwritten.clear();
    if (c->upLast)
        return FinishUpload(f, log, out);
    SimCopyAck(f, nullptr, 1, 0, log, out);
    return 1;
}

static int OpenedChunk(SimFiles *f, int ok, const char *why, const uint8_t *plain, size_t n, int last, std::string *log,
                       std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (!ok) {
        SimLogError(log, (std::string("a chunk of ") + c->upWin + " does not open: " + why).c_str());
        const std::string path = c->upWin;
        return SimCopyStop(f, path.c_str(), why, log, out);
    }
    EVP_DigestUpdate(c->upSha.get(), plain, n);
    c->upLast = last;
    return WritePlain(f, plain, n, log, out);
}

static int UploadFolder(SimFiles *f, const FtFileBegin *b, const std::string &host, int d, std::string *log,
                        std::vector<uint8_t> *out)
{
    struct stat st;
    const int existed = lstat(host.c_str(), &st) == 0;
    if (existed && !S_ISDIR(st.st_mode)) {
        SimCopySendError(f, 5, b->path, "Cannot create a file when that file already exists.", kSimCopyStepUpBegin, log,
                         out);
        return 1;
    }
    if (!existed && mkdir(host.c_str(), 0777) != 0) {
        SimCopySendError(f, 5, b->path, strerror(errno), kSimCopyStepUpBegin, log, out);
        return 1;
    }
    if (host != f->root[d])
        f->meta[host] = SimFileMeta{b->attributes | kFtAttrDirectory, b->created};
    JsonLine j;
    JsonBegin(&j, "ft_folder_received");
    JsonCStr(&j, "path", b->path);
    JsonCStr(&j, "host", host.c_str());
    JsonUint(&j, "attributes", b->attributes);
    JsonBool(&j, "existed", existed);
    *log += JsonEnd(&j);
    SimCopyAck(f, nullptr, 1, 0, log, out);
    return 1;
}

// One begin packet: injected faults, the target, the overwrite question, then the file.
static int UploadBegin(SimFiles *f, const FtFileBegin *b, int confirmed, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (!b->directory && SimCopyArmedQuestions(f, b->path, kSimCopyStepUpBegin, log, out))
        return 1;
    if (!b->directory && f->armedStop) {
        f->armedStop = 0;
        SimCopyInjected("stop", b->path, log);
        return SimCopyStop(f, b->path, "stopped", log, out);
    }
    if (!b->directory && f->armedError >= 0) {
        const uint32_t kind = (uint32_t)f->armedError;
        f->armedError = -1;
        SimCopyInjected("error", b->path, log);
        SimCopySendError(f, kind, b->path, kSimCopyInjected, kSimCopyStepUpBegin, log, out);
        return 1;
    }
    std::string host;
    int d;
    const char *why = nullptr;
    if (!SimFilesResolve(f, b->path, &host, &d, &why)) {
        SimFilesLogRefused(b->path, why, log);
        SimCopySendError(f, 3, b->path, why, kSimCopyStepUpBegin, log, out);
        return 1;
    }
    if (b->directory)
        return UploadFolder(f, b, host, d, log, out);
    struct stat st;
    if (lstat(host.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) {
            SimCopySendError(f, 3, b->path, kSimCopyDenied, kSimCopyStepUpBegin, log, out);
            return 1;
        }
        if (!c->yesToAll && !confirmed) {
            const uint32_t attributes = SimFilesHostAttributes(f, host);
            JsonLine j;
            JsonBegin(&j, "ft_confirm_overwrite");
            JsonCStr(&j, "path", b->path);
            JsonUint(&j, "attributes", attributes);
            *log += JsonEnd(&j);
            uint8_t p[kPacketHeaderSize + kFtQuestionHead + kFtPathField];
            SimCopySaid(f, p, BuildFtQuestion(PKT_FT_CONFIRM_OVERWRITE, attributes, b->path, p, sizeof p), log, out);
            c->asking = kSimCopyAskOverwrite;
            c->askPath = b->path;
            return 1;
        }
    }
    // Written beside the target, so that the rename into place stays on its file system.
    std::string temp = host.substr(0, host.rfind('/')) + "/.corvid-part-XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        SimCopySendError(f, 3, b->path, strerror(errno), kSimCopyStepUpBegin, log, out);
        return 1;
    }
    fchmod(fd, 0644);
    c->upFd = fd;
    c->upTemp = temp;
    c->upHost = host;
    c->upWin = b->path;
    c->upAttributes = b->attributes;
    c->upCreated = b->created;
    c->upWritten = b->written;
    c->rx = FtFileReceiver{};
    SimCopyDigestStart(&c->upSha);
    static uint8_t plain[kFtChunkCipherMax + 16];
    size_t n = 0;
    const int ok = FtOpenFileBegin(&c->rx, b, plain, &n, &why);
    return OpenedChunk(f, ok, why, plain, n, b->last, log, out);
}

// The begin packet a question or an error holds, parsed again.
static int HeldBegin(SimFiles *f, FtFileBegin *b)
{
    SessPacketHeader h;
    const char *why;
    const std::vector<uint8_t> &q = f->copy.question;
    return q.size() >= kPacketHeaderSize && DecodePacketHeader(q.data(), q.size(), &h) &&
           ParseFtFileBegin(&h, q.data() + kPacketHeaderSize, b, &why);
}

// ---- questions -----------------------------------------------------------------------------

static int Retry(SimFiles *f, int step, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    FtFileBegin b;
    switch (step) {
    case kSimCopyStepUpBegin:
        if (!HeldBegin(f, &b))
            return SimCopyStop(f, "", "the held packet is gone", log, out);
        return UploadBegin(f, &b, 0, log, out);
    case kSimCopyStepUpWrite: {
        std::vector<uint8_t> rest;
        rest.swap(c->unwritten);
        return WritePlain(f, rest.data(), rest.size(), log, out);
    }
    case kSimCopyStepUpFinish:
        return FinishUpload(f, log, out);
    case kSimCopyStepDownStart:
        return SimDownloadStart(f, log, out);
    case kSimCopyStepDownFile:
        return SimDownloadFile(f, log, out);
    default:
        return SimDownloadChunk(f, log, out);
    }
}

static const char *AnswerName(int kind)
{
    return kind == FT_ANSWER_YES          ? "yes"
           : kind == FT_ANSWER_YES_TO_ALL ? "yes_to_all"
           : kind == FT_ANSWER_NO         ? "no"
                                          : "go_on";
}

static int QuestionAnswer(SimFiles *f, int kind, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const int asked = c->asking;
    c->asking = kSimCopyAskNone;
    const std::string path = c->askPath;
    if (kind == FT_ANSWER_NO || kind == FT_ANSWER_GO_ON) {
        if (kind == FT_ANSWER_GO_ON)
            SimLogError(log, "PKT_FT_ANSWER without a choice to a question; taken as stop");
        SimCopyStop(f, path.c_str(), asked == kSimCopyAskOverwrite ? "not to be overwritten" : "stopped after an error",
                    log, out);
        return kind == FT_ANSWER_NO;
    }
    if (asked == kSimCopyAskOverwrite) {
        if (kind == FT_ANSWER_YES_TO_ALL)
            c->yesToAll = 1;
        FtFileBegin b;
        if (!HeldBegin(f, &b))
            return SimCopyStop(f, path.c_str(), "the held packet is gone", log, out);
        return UploadBegin(f, &b, 1, log, out);
    }
    return Retry(f, c->step, log, out);
}

// ---- a burst of questions --------------------------------------------------------------------

static int Refused(const SessPacketHeader *h, const uint8_t *payload, const char *why, std::string *log);

static void SendBurst(SimFiles *f, uint32_t n, const char *path, int step, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (!c->burstLeft) {
        c->burstSent = 0;
        memset(c->burstKinds, 0, sizeof c->burstKinds);
        c->burstStep = step;
        c->burstPath = path;
    }
    uint8_t p[kPacketHeaderSize + kFtQuestionHead + kFtPathField];
    const size_t len = BuildFtQuestion(PKT_FT_CONFIRM_OVERWRITE, kFtAttrArchive, path, p, sizeof p);
    std::vector<uint8_t> all;
    all.reserve(len * n);
    for (uint32_t i = 0; i < n; i++)
        all.insert(all.end(), p, p + len);
    SimCopyEmit(f, all.data(), all.size(), out);
    c->burstLeft += n;
    c->burstSent += n;
    JsonLine j;
    JsonBegin(&j, "ft_questions_sent");
    JsonCStr(&j, "path", path);
    JsonUint(&j, "count", n);
    JsonUint(&j, "bytes", all.size());
    *log += JsonEnd(&j);
}

int SimCopyArmedQuestions(SimFiles *f, const char *path, int step, std::string *log, std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (!c->armQuestions)
        return 0;
    const uint32_t n = c->armQuestions;
    c->armQuestions = 0;
    SimCopyInjected("questions", path, log);
    SendBurst(f, n, path, step, log, out);
    return 1;
}

void SimCopyQuestionsNow(SimFiles *f, uint32_t n, std::string *log, std::vector<uint8_t> *out)
{
    SendBurst(f, n, "C:\\question.txt", -1, log, out);
}

// Packets while a burst waits: answers are counted, PKT_FT_ABORT leaves nothing to resume,
// anything else is refused unanswered, as an Agent waiting for an answer would.
static int BurstPacket(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                       std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (h->dwType == PKT_FT_ABORT) {
        JsonLine j;
        PacketLine(&j, h);
        *log += JsonEnd(&j);
        DropUpload(f, "the viewer cancelled (PKT_FT_ABORT)", log);
        c->burstStep = -1;
        return 1;
    }
    int kind;
    const char *why = nullptr;
    if (h->dwType != PKT_FT_ANSWER)
        return Refused(h, payload, "a question is open; not answered", log);
    if (!ParseFtAnswer(h, payload, &kind, &why))
        return Refused(h, payload, why, log);
    c->burstKinds[kind == FT_ANSWER_YES ? 0 : kind == FT_ANSWER_YES_TO_ALL ? 1 : kind == FT_ANSWER_NO ? 2 : 3]++;
    if (--c->burstLeft)
        return 1;
    JsonLine j;
    JsonBegin(&j, "ft_questions_answered");
    JsonCStr(&j, "path", c->burstPath.c_str());
    JsonUint(&j, "count", c->burstSent);
    JsonUint(&j, "yes", c->burstKinds[0]);
    JsonUint(&j, "yes_to_all", c->burstKinds[1]);
    JsonUint(&j, "no", c->burstKinds[2]);
    JsonUint(&j, "go_on", c->burstKinds[3]);
    *log += JsonEnd(&j);
    const int step = c->burstStep;
    c->burstStep = -1;
    if (step < 0)
        return 1;
    const std::string path = c->burstPath;
    if (c->burstKinds[2] || c->burstKinds[3])
        return SimCopyStop(f, path.c_str(), "stopped by the answers to the questions", log, out);
    return Retry(f, step, log, out);
}

// ---- dispatch -------------------------------------------------------------------------------

static int Refused(const SessPacketHeader *h, const uint8_t *payload, const char *why, std::string *log)
{
    JsonLine j;
    PacketLine(&j, h);
    JsonHex(&j, "payload", payload, h->dwDataLen, 256);
    *log += JsonEnd(&j);
    char what[200];
    snprintf(what, sizeof what, "%s refused: %s", SimPacketName(h->dwType), why);
    SimLogError(log, what);
    return 0;
}

static int FileData(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                    std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    FtFileData d;
    const char *why = nullptr;
    const int parsed = ParseFtFileData(h, payload, &d, &why);
    const int open = c->upFd >= 0 && c->asking == kSimCopyAskNone;
    if (parsed && d.abort) {
        // Like PKT_FT_ABORT, taken quietly even when nothing is open any more.
        JsonLine j;
        PacketLine(&j, h);
        JsonUint(&j, "abort", 1);
        *log += JsonEnd(&j);
        if (open)
            DropUpload(f, "the viewer abandoned the file", log);
        return 1;
    }
    if (!parsed || !open) {
        const std::string path = c->upWin;
        Refused(h, payload, parsed ? "no uploaded file is open" : why, log);
        if (open || c->asking == kSimCopyAskNone)
            SimCopyStop(f, open ? path.c_str() : "", parsed ? "data out of turn" : why, log, out);
        return 0;
    }
    static uint8_t plain[kFtChunkCipherMax + 16];
    size_t n = 0;
    const int ok = FtOpenFileData(&c->rx, &d, plain, &n, &why);
    return OpenedChunk(f, ok, why, plain, n, d.last, log, out);
}

static int FileBegin(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                     std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    FtFileBegin b;
    const char *why = nullptr;
    if (c->upFd >= 0 || !c->upTemp.empty()) {
        SimLogError(log, "PKT_FT_FILE_BEGIN before the last chunk of the file before");
        DropUpload(f, "a new file began", log);
    }
    c->question.resize(kPacketHeaderSize + h->dwDataLen);
    EncodePacketHeader(h, c->question.data(), kPacketHeaderSize);
    if (h->dwDataLen)
        memcpy(&c->question[kPacketHeaderSize], payload, h->dwDataLen);
    if (!ParseFtFileBegin(h, payload, &b, &why)) {
        Refused(h, payload, why, log);
        SimCopyStop(f, "", why, log, out);
        return 0;
    }
    JsonLine j;
    PacketLine(&j, h);
    JsonUint(&j, "directory", b.directory);
    JsonCStr(&j, "path", b.path);
    JsonUint(&j, "attributes", b.attributes);
    JsonUint(&j, "created", b.created);
    JsonUint(&j, "written", b.written);
    JsonUint(&j, "first", b.first);
    JsonUint(&j, "last", b.last);
    JsonUint(&j, "length", b.length);
    *log += JsonEnd(&j);
    if (b.first)
        c->yesToAll = 0;
    HeldBegin(f, &b); // points into the held copy, which outlives this packet
    return UploadBegin(f, &b, 0, log, out);
}

static int Download(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                    std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    const char *why = nullptr;
    if (!ParseFtDownload(h, payload, &c->request, &why)) {
        Refused(h, payload, why, log);
        SimCopyStop(f, "", why, log, out);
        return 0;
    }
    JsonLine j;
    PacketLine(&j, h);
    JsonUint(&j, "first", c->request.first);
    JsonUint(&j, "directory", c->request.directory);
    JsonCStr(&j, "folder", c->request.folder);
    JsonCStr(&j, "item", c->request.name);
    JsonUint(&j, "attributes", c->request.attributes);
    JsonUint(&j, "created", c->request.created);
    JsonUint(&j, "written", c->request.written);
    *log += JsonEnd(&j);
    return SimDownloadStart(f, log, out);
}

int SimCopyHandle(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                  std::vector<uint8_t> *out)
{
    SimCopy *c = &f->copy;
    if (h->dwRequired != 1)
        return Refused(h, payload, "flag is not 1; not answered", log);
    if (c->burstLeft)
        return BurstPacket(f, h, payload, log, out);
    if (h->dwType == PKT_FT_ABORT) {
        // The viewer's cancel may cross anything the simulator sends: taken quietly always.
        JsonLine j;
        PacketLine(&j, h);
        *log += JsonEnd(&j);
        const int upload = c->upFd >= 0 || !c->upTemp.empty() || c->asking == kSimCopyAskOverwrite ||
                           (c->asking == kSimCopyAskError && c->step <= kSimCopyStepUpFinish);
        if (upload) {
            DropUpload(f, "the viewer cancelled (PKT_FT_ABORT)", log);
            c->lateAnswer = c->asking != kSimCopyAskNone;
            c->asking = kSimCopyAskNone;
            c->held.clear(); // an acknowledgement not yet sent is one the viewer no longer waits for
        }
        return 1;
    }
    if (h->dwType == PKT_FT_ANSWER) {
        int kind;
        const char *why = nullptr;
        if (!ParseFtAnswer(h, payload, &kind, &why))
            return Refused(h, payload, why, log);
        if (c->asking == kSimCopyAskData)
            return SimDownloadAnswer(f, kind, log, out);
        JsonLine j;
        PacketLine(&j, h);
        JsonCStr(&j, "answer", AnswerName(kind));
        *log += JsonEnd(&j);
        if (c->asking == kSimCopyAskNone) { // to a question the viewer gave up on
            c->lateAnswer = 0;
            return 1;
        }
        return QuestionAnswer(f, kind, log, out);
    }
    if (f->asking != kSimAskNone) {
        Refused(h, payload, "a delete question is open; not answered", log);
        return 0;
    }
    if (h->dwType == PKT_FT_FILE_DATA)
        return FileData(f, h, payload, log, out);
    if (c->asking != kSimCopyAskNone || c->dlActive || (h->dwType == PKT_FT_DOWNLOAD && SimCopyBusy(f))) {
        char what[160];
        snprintf(what, sizeof what, "%s while a copy waits for an answer; that copy is dropped",
                 SimPacketName(h->dwType));
        SimLogError(log, what);
        SimCopyReset(f, "dropped for a new request", log);
    }
    c->lateAnswer = 0;
    return h->dwType == PKT_FT_FILE_BEGIN ? FileBegin(f, h, payload, log, out) : Download(f, h, payload, log, out);
}
