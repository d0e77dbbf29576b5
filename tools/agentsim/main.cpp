// agentsim: a stand-in for the Agent on the remote computer. Serves one viewer
// connection at a time on a poll loop (single thread, nonblocking sockets), answers
// the opening sequence, serves the simulated desktop as screen parts paced to what the
// viewer takes, logs every packet received as a JSON line (sent parts as per-second
// summaries) and obeys a text control channel.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "session/envelope.h"
#include "session/framer.h"
#include "tools/agentsim/control.h"
#include "tools/agentsim/deskey.h"
#include "tools/agentsim/desktop.h"
#include "tools/agentsim/files.h"
#include "tools/agentsim/hostile.h"
#include "tools/agentsim/jsonlog.h"
#include "tools/agentsim/net.h"
#include "tools/agentsim/options.h"
#include "tools/agentsim/scene.h"
#include "tools/agentsim/session.h"

enum {
    kMaxControl = 8,
    kControlLineMax = 1 << 20, // room for a raw command of a few whole packets
};
static const double kCloseGrace = 2.0; // seconds to drain output before a close
// A new round of parts waits until less than this is queued, so a slow viewer gets
// the latest frame instead of a backlog of old ones.
static const size_t kQueueLowWater = 64 * 1024;

struct Viewer {
    int fd; // -1: none
    std::string peer;
    PacketFramer *framer;
    OutQueue out;
    SimSession sess;
    int closing; // stop reading, drain output, then close
    int stalled; // reads nothing, as an Agent that stopped taking data (control: stall)
    double closeBy;
    const char *closeReason;
    uint64_t queued, written;       // bytes ever added to and taken from out
    std::deque<uint64_t> frameEnds; // queued count at the end of each round not yet written
    struct ChangeEnd {
        uint64_t end;
        uint32_t id;
        size_t parts;
    };
    std::deque<ChangeEnd> changeEnds; // the same for rounds that carry a fill
};

struct Control {
    int fd; // -1: free slot
    std::string in;
    OutQueue out;
    int waiting; // a wait-login, wait-synced, wait-input, wait-settings or wait-files is pending (its kind)
    double waitUntil;
    uint32_t waitInputs; // wait-input, wait-settings, wait-files: the total to reach
    int quitAfterFlush;
};

// A plain flood's cycle, each step encoded once: the simulator shares the machine with
// the viewer, and its own encoding must not set the pace of the benchmarks.
struct FloodCache {
    std::string key; // geometry and range the steps were made for
    int last;        // the step the viewer holds in full; -1: not known
    int ready[kSimFloodCycle];
    std::vector<uint8_t> rounds[kSimFloodCycle];
    std::vector<std::vector<uint8_t>> tiles[kSimFloodCycle];
};

struct Sim {
    SimOptions opt;
    FILE *log;
    EVP_PKEY *key;
    int listenFd, controlFd;
    Viewer v;
    Control ctl[kMaxControl];
    uint32_t loginsAnswered, loginsReported; // wait-login reports each answered login once
    uint32_t inputEvents;                    // input events received on all connections
    uint32_t settingsTransfers;              // Agent settings sent back on all connections
    int connections;
    int quit;
    SimScene scene;
    SimDesktop *desk;
    std::vector<uint16_t> pixels;
    uint32_t frameNo, renderedFrame;
    int needRender; // the frame buffer does not hold frameNo at the current geometry
    int dirty;      // the frame or the visible range changed since the last round
    int paused;
    double nextFrameAt, nextSummary;
    uint64_t framesSent, bytesSent; // this second
    uint32_t mismatchesLogged;
    SimFiles files; // the file service; kept across connections
    int filesOn;    // --files or --files2 given
    HostileStream hostile;
    int hostileOn; // a hostile stream is being sent; desktop parts wait meanwhile
    uint32_t hostileSeed;
    uint64_t hostileEnd; // the viewer's queued count after the last hostile packet
    int startsOn;        // console-starts: a burst is being sent
    uint32_t startsLeft, startsSent;
    std::vector<uint16_t> startsSizes;
    uint64_t startsEnd; // the viewer's queued count after the last start
    FloodCache flood;
    int packetFloodOn; // a flood command waits for its packets to leave
    uint32_t packetFloodCount;
    uint64_t packetFloodEnd; // the viewer's queued count after its last packet
    uint32_t changeId;       // the last fill
    int changePending;       // that fill has not gone out in a round yet
};

static void LogText(Sim *s, const std::string &text)
{
    if (text.empty())
        return;
    fputs(text.c_str(), s->log);
    fflush(s->log);
}

static void LogError(Sim *s, const char *what)
{
    std::string t;
    SimLogError(&t, what);
    LogText(s, t);
}

static void ControlReply(Control *c, const char *text)
{
    OutQueueAdd(&c->out, (const uint8_t *)text, strlen(text));
    OutQueueAdd(&c->out, (const uint8_t *)"\n", 1);
}

static void ViewerQueue(Viewer *v, const uint8_t *p, size_t n)
{
    OutQueueAdd(&v->out, p, n);
    v->queued += n;
}

static size_t ViewerPending(const Viewer *v) { return v->out.buf.size() - v->out.off; }

static void HostileFinish(Sim *s, int closed);
static void PacketFloodFinish(Sim *s, int closed);
static void StartsFinish(Sim *s, int closed);

static void ViewerClose(Sim *s, const char *reason)
{
    Viewer *v = &s->v;
    close(v->fd);
    v->fd = -1;
    v->closing = 0;
    v->out.buf.clear();
    v->out.off = 0;
    v->queued = v->written = 0;
    v->frameEnds.clear();
    v->changeEnds.clear();
    JsonLine j;
    JsonBegin(&j, "closed");
    JsonCStr(&j, "reason", reason);
    LogText(s, JsonEnd(&j));
    if (s->filesOn) {
        std::string t;
        SimFilesDisconnect(&s->files, &t);
        LogText(s, t);
    }
    if (s->hostileOn)
        HostileFinish(s, 1);
    if (s->packetFloodOn)
        PacketFloodFinish(s, 1);
    if (s->startsOn)
        StartsFinish(s, 1);
    if (s->opt.once)
        s->quit = 1;
}

static void ViewerStartClose(Sim *s, const char *reason)
{
    s->v.closing = 1;
    s->v.closeBy = NetNow() + kCloseGrace;
    s->v.closeReason = reason;
    shutdown(s->v.fd, SHUT_RD);
}

static void ControlLines(Sim *s, Control *c);

// Ends every control connection's wait of that kind with the reply; each goes on with
// the lines it queued meanwhile.
static void ReplyToWaiting(Sim *s, int kind, const char *reply)
{
    for (Control &c : s->ctl) {
        if (c.fd >= 0 && c.waiting == kind) {
            c.waiting = 0;
            ControlReply(&c, reply);
            ControlLines(s, &c);
        }
    }
}

// Answers every pending wait-login once a new login reply has gone out.
static void ReportLogins(Sim *s)
{
    if (s->loginsAnswered == s->loginsReported)
        return;
    int any = 0;
    for (Control &c : s->ctl)
        any |= c.fd >= 0 && c.waiting == kCtlWaitLogin;
    if (!any)
        return;
    // Marked first, so a wait-login queued behind this one waits for the next login.
    s->loginsReported = s->loginsAnswered;
    ReplyToWaiting(s, kCtlWaitLogin, "ok");
}

static void ViewerAccept(Sim *s)
{
    Viewer *v = &s->v;
    if (!NetAccept(s->listenFd, &v->fd, &v->peer))
        return;
    // A small send buffer lets tests meet partial writes without megabytes of data.
    if (s->opt.sendBuffer) {
        int size = (int)s->opt.sendBuffer;
        setsockopt(v->fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    FramerInit(v->framer);
    v->out.buf.clear();
    v->out.off = 0;
    v->queued = v->written = 0;
    v->frameEnds.clear();
    v->changeEnds.clear();
    v->closing = 0;
    v->stalled = 0;
    DesktopHold(s->desk);
    SimSessionInit(&v->sess, &s->opt, s->key, s->desk, s->filesOn ? &s->files : nullptr);
    s->connections++;
    JsonLine j;
    JsonBegin(&j, "accept");
    JsonCStr(&j, "peer", v->peer.c_str());
    JsonUint(&j, "connection", s->connections);
    LogText(s, JsonEnd(&j));
}

// The scene follows the screen chosen; the next round carries the changed tiles.
static void SetCurrentScreen(Sim *s, uint8_t number)
{
    s->opt.screenCurrent = number;
    s->scene.screen = number;
    s->needRender = 1;
    s->dirty = 1;
    JsonLine j;
    JsonBegin(&j, "screen");
    JsonUint(&j, "count", s->opt.screenCount);
    JsonUint(&j, "current", number);
    LogText(s, JsonEnd(&j));
}

static void ViewerRead(Sim *s)
{
    Viewer *v = &s->v;
    uint8_t *tail;
    size_t cap;
    if (!FramerFreeSpace(v->framer, &tail, &cap)) {
        LogError(s, "receive buffer full");
        ViewerClose(s, "framing");
        return;
    }
    ssize_t n = recv(v->fd, tail, cap, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        if (n < 0)
            LogError(s, (std::string("read failed: ") + strerror(errno)).c_str());
        ViewerClose(s, n == 0 ? "peer" : "read error");
        return;
    }
    FramerCommit(v->framer, (size_t)n);
    SessPacketHeader h;
    const uint8_t *payload;
    int rc;
    while ((rc = FramerNext(v->framer, &h, &payload)) == kFramerPacket) {
        SimOutput out;
        uint32_t before = v->sess.loginReplies, inputsBefore = v->sess.inputEvents;
        const uint32_t transfersBefore = v->sess.settings.transfers;
        SimHandlePacket(&v->sess, &h, payload, &out);
        LogText(s, out.log);
        if (!out.reply.empty())
            ViewerQueue(v, out.reply.data(), out.reply.size());
        if (h.dwType == PKT_CLIENT_INFO)
            s->needRender = 1;
        if (h.dwType == PKT_CLIENT_INFO || h.dwType == PKT_VIEW_GRID || h.dwType == PKT_SCREEN_REFRESH_RECT)
            s->dirty = 1;
        s->loginsAnswered += v->sess.loginReplies - before;
        if (v->sess.loginReplies != before)
            s->opt.loginReplyLen = 0; // a cut answer is armed for one login
        s->inputEvents += v->sess.inputEvents - inputsBefore;
        s->settingsTransfers += v->sess.settings.transfers - transfersBefore;
        if (out.screen)
            SetCurrentScreen(s, (uint8_t)out.screen);
    }
    if (rc == kFramerError) {
        char what[160];
        FormatFramerError(v->framer, what, sizeof what);
        LogError(s, what);
        ViewerClose(s, "framing");
    }
}

static double FramePeriod(const Sim *s) { return s->opt.fps ? 1.0 / s->opt.fps : 1.0; }

// The file service's commands; they need no viewer. Returns 0 for other commands.
static int RunFilesControl(Sim *s, Control *c, const SimControlCommand &cmd)
{
    if (cmd.kind != kCtlFtError && cmd.kind != kCtlFtStop && cmd.kind != kCtlFtAttr && cmd.kind != kCtlFtSplit &&
        cmd.kind != kCtlFtQuestions && cmd.kind != kCtlFtEndless && cmd.kind != kCtlFtDamaged &&
        (cmd.kind < kCtlFtCorrupt || cmd.kind > kCtlWaitFiles))
        return 0;
    if (!s->filesOn) {
        ControlReply(c, "error no file service (--files)");
        return 1;
    }
    const char *why = nullptr;
    if (cmd.kind == kCtlFtError)
        SimFilesArmError(&s->files, (int)cmd.value);
    if (cmd.kind == kCtlFtStop)
        SimFilesArmStop(&s->files);
    if (cmd.kind == kCtlFtSplit)
        s->files.split = cmd.value;
    if (cmd.kind == kCtlFtEndless)
        SimFilesArmEndless(&s->files, cmd.value);
    if (cmd.kind == kCtlFtDamaged)
        SimFilesArmDamaged(&s->files);
    SimCopy *copy = &s->files.copy;
    if (cmd.kind == kCtlFtCorrupt)
        copy->armCorrupt = 1;
    if (cmd.kind == kCtlFtShortHead)
        copy->armShortHead = 1;
    if (cmd.kind == kCtlFtOversize)
        copy->armOversize = 1;
    if (cmd.kind == kCtlFtEarly)
        copy->armEarly = 1;
    if (cmd.kind == kCtlFtRagged)
        copy->armRagged = 1;
    if (cmd.kind == kCtlFtPath)
        copy->armPath = 1, copy->pathText = cmd.path;
    if (cmd.kind == kCtlFtDelay)
        copy->delayMs = cmd.value;
    if (cmd.kind == kCtlFtQuestions && !cmd.on)
        copy->armQuestions = cmd.value;
    if (cmd.kind == kCtlFtQuestions && cmd.on) {
        if (s->v.fd < 0 || s->v.closing) {
            ControlReply(c, "error no viewer");
            return 1;
        }
        std::string t;
        std::vector<uint8_t> bytes;
        SimCopyQuestionsNow(&s->files, cmd.value, &t, &bytes);
        LogText(s, t);
        if (!bytes.empty())
            ViewerQueue(&s->v, bytes.data(), bytes.size());
    }
    if (cmd.kind == kCtlWaitFiles && copy->filesDone < cmd.count) {
        c->waiting = kCtlWaitFiles;
        c->waitInputs = cmd.count;
        c->waitUntil = NetNow() + cmd.seconds;
        return 1;
    }
    if (cmd.kind == kCtlFtAttr && !SimFilesSetAttributes(&s->files, cmd.path.c_str(), cmd.value, &why)) {
        ControlReply(c, (std::string("error ") + why).c_str());
        return 1;
    }
    ControlReply(c, "ok");
    return 1;
}

// Copy packets held by a delay leave when it has run out.
static void FilesTick(Sim *s, double now)
{
    if (!s->filesOn || s->v.fd < 0 || s->v.closing)
        return;
    std::vector<uint8_t> bytes;
    SimCopyTick(&s->files, now, &bytes);
    std::string log;
    SimFilesListingTick(&s->files, now, ViewerPending(&s->v) + bytes.size(), &log, &bytes);
    LogText(s, log);
    if (!bytes.empty())
        ViewerQueue(&s->v, bytes.data(), bytes.size());
}

// Parts flow once the viewer has built its desktop and said what it shows.
static int Serving(const Sim *s)
{
    return s->v.fd >= 0 && !s->v.closing && s->desk->served && s->desk->gridSeen && !s->hostileOn;
}

static void RenderIfStale(Sim *s)
{
    SimDesktop *d = s->desk;
    if (!d->served || (!s->needRender && s->renderedFrame == s->frameNo))
        return;
    SceneRender(&s->scene, s->frameNo, d->layout.width, d->layout.height, &d->colours, &s->pixels);
    DesktopLoadFrame(d, s->pixels.data());
    s->renderedFrame = s->frameNo;
    s->needRender = 0;
    s->dirty = 1;
}

// The viewer holds the current frame on every visible tile, and nothing is left to write.
static int Synced(Sim *s)
{
    return Serving(s) && !s->needRender && s->renderedFrame == s->frameNo && !s->dirty && OutQueueEmpty(&s->v.out) &&
           DesktopInSync(s->desk);
}

static void ReportSynced(Sim *s)
{
    int any = 0;
    for (Control &c : s->ctl)
        any |= c.fd >= 0 && c.waiting == kCtlWaitSynced;
    if (!any || !Synced(s))
        return;
    ReplyToWaiting(s, kCtlWaitSynced, "ok");
}

static void ReportInputs(Sim *s)
{
    for (Control &c : s->ctl) {
        const uint32_t reached = c.waiting == kCtlWaitSettings ? s->settingsTransfers
                                 : c.waiting == kCtlWaitFiles  ? s->files.copy.filesDone
                                                               : s->inputEvents;
        if (c.fd >= 0 && (c.waiting == kCtlWaitInput || c.waiting == kCtlWaitSettings || c.waiting == kCtlWaitFiles) &&
            reached >= c.waitInputs) {
            c.waiting = 0;
            ControlReply(&c, "ok");
            ControlLines(s, &c);
        }
    }
}

static void WritePicture(Sim *s, Control *c, int model, const std::string &path)
{
    if (!s->desk->served) {
        ControlReply(c, "error no desktop");
        return;
    }
    if (!model)
        RenderIfStale(s);
    SimPicture pic;
    DesktopPicture(s->desk, model, &pic);
    std::string why;
    if (!PpmSave(path.c_str(), &pic, &why)) {
        ControlReply(c, ("error " + why).c_str());
        return;
    }
    ControlReply(c, "ok");
}

// Commands about the desktop that need no viewer; returns 0 for the others.
static int RunDesktopControl(Sim *s, Control *c, const SimControlCommand &cmd)
{
    switch (cmd.kind) {
    case kCtlStall:
    case kCtlUnstall:
        s->v.stalled = cmd.kind == kCtlStall;
        ControlReply(c, "ok");
        return 1;
    case kCtlPause:
    case kCtlResume:
        s->paused = cmd.kind == kCtlPause;
        s->nextFrameAt = NetNow() + FramePeriod(s);
        ControlReply(c, "ok");
        return 1;
    case kCtlFill: {
        SimScene *scene = &s->scene;
        scene->fillOn = cmd.on;
        for (int i = 0; i < 4; i++)
            scene->fill[i] = (int)cmd.rect[i];
        memcpy(scene->fillRgb, cmd.rgb, 3);
        s->needRender = 1;
        s->dirty = 1;
        s->changePending = 1;
        char reply[32];
        snprintf(reply, sizeof reply, "ok %u", (unsigned)++s->changeId);
        ControlReply(c, reply);
        return 1;
    }
    case kCtlSentTiles: {
        char reply[32];
        snprintf(reply, sizeof reply, "ok %u", (unsigned)s->desk->partsCounted);
        s->desk->partsCounted = 0;
        ControlReply(c, reply);
        return 1;
    }
    case kCtlDump:
    case kCtlFrame:
        WritePicture(s, c, cmd.kind == kCtlDump, cmd.path);
        return 1;
    case kCtlCursorFollow:
        s->opt.cursorFollow = cmd.on;
        ControlReply(c, "ok");
        return 1;
    case kCtlScreens:
        if (cmd.announce)
            return 0; // the restart needs a viewer
        s->opt.screenCount = cmd.screenCount;
        if (cmd.hasCurrent)
            SetCurrentScreen(s, cmd.screenCurrent);
        ControlReply(c, "ok");
        return 1;
    default:
        return 0;
    }
}

// One summary line for the stream, and the answer to the hostile command waiting on it.
static void HostileFinish(Sim *s, int closed)
{
    const HostileStream *h = &s->hostile;
    uint64_t total = 0;
    JsonLine by;
    by.text = "{";
    by.fields = 0;
    for (int k = 0; k < kHostileKinds; k++) {
        JsonUint(&by, HostileKindName(k), h->sent[k]);
        total += h->sent[k];
    }
    by.text += "}";
    JsonLine j;
    JsonBegin(&j, "hostile");
    JsonUint(&j, "seed", s->hostileSeed);
    JsonUint(&j, "packets", total);
    JsonUint(&j, "bytes", h->bytes);
    JsonRaw(&j, "by_type", by.text);
    JsonBool(&j, "complete", !closed);
    LogText(s, JsonEnd(&j));
    s->hostileOn = 0;
    // Late view grids of the stream's screens must not restart parts for another screen.
    DesktopHold(s->desk);
    char reply[64];
    snprintf(reply, sizeof reply, closed ? "error closed after %llu" : "ok %llu", (unsigned long long)total);
    ReplyToWaiting(s, kCtlHostile, reply);
}

static void HostileStart(Sim *s, Control *c, const SimControlCommand &cmd)
{
    if (s->hostileOn) {
        ControlReply(c, "error a hostile stream is running");
        return;
    }
    HostileInit(&s->hostile, cmd.seed, cmd.count, cmd.skip, s->opt.screenWidth, s->opt.screenHeight, s->opt.screenBpp);
    s->hostileOn = 1;
    s->hostileSeed = cmd.seed;
    s->hostileEnd = s->v.queued;
    c->waiting = kCtlHostile;
    c->waitUntil = NetNow() + kCtlWaitMaxSeconds;
    JsonLine j;
    JsonBegin(&j, "hostile_start");
    JsonUint(&j, "seed", cmd.seed);
    JsonUint(&j, "count", cmd.count);
    JsonUint(&j, "skip", cmd.skip);
    LogText(s, JsonEnd(&j));
}

static void PacketFloodFinish(Sim *s, int closed)
{
    s->packetFloodOn = 0;
    char reply[64];
    snprintf(reply, sizeof reply, closed ? "error closed" : "ok %u", (unsigned)s->packetFloodCount);
    ReplyToWaiting(s, kCtlFlood, reply);
}

// The whole flood is queued at once: it goes as fast as the viewer reads.
static void PacketFloodStart(Sim *s, Control *c, const SimControlCommand &cmd)
{
    if (s->packetFloodOn) {
        ControlReply(c, "error a flood is running");
        return;
    }
    // Parts for the screen before a restart must not be taken for the rebuilt one.
    if (cmd.fatal == kFloodRestart)
        DesktopHold(s->desk);
    std::vector<uint8_t> bytes;
    HostileFloodBytes(cmd.fatal, cmd.count, s->opt.screenWidth, s->opt.screenHeight, &bytes);
    JsonLine j;
    JsonBegin(&j, "flood");
    JsonCStr(&j, "kind", HostileFloodName(cmd.fatal));
    JsonUint(&j, "count", cmd.count);
    JsonUint(&j, "bytes", bytes.size());
    LogText(s, JsonEnd(&j));
    ViewerQueue(&s->v, bytes.data(), bytes.size());
    s->packetFloodOn = 1;
    s->packetFloodCount = cmd.count;
    s->packetFloodEnd = s->v.queued;
    c->waiting = kCtlFlood;
    c->waitUntil = NetNow() + kCtlWaitMaxSeconds;
}

// Keeps the viewer's queue topped up: flooded, but never more than a low water behind.
static void HostileTick(Sim *s)
{
    Viewer *v = &s->v;
    if (!s->hostileOn || v->fd < 0 || v->closing)
        return;
    std::vector<uint8_t> bytes;
    while (s->hostile.left && ViewerPending(v) + bytes.size() < kQueueLowWater)
        HostileNext(&s->hostile, &bytes);
    if (!bytes.empty()) {
        ViewerQueue(v, bytes.data(), bytes.size());
        s->hostileEnd = v->queued;
    }
}

// console-starts: one line for the burst, and the answer to the command waiting on it.
static void StartsFinish(Sim *s, int closed)
{
    JsonLine j;
    JsonBegin(&j, "console_starts");
    JsonUint(&j, "sent", s->startsSent);
    JsonUint(&j, "closed", (uint64_t)closed);
    LogText(s, JsonEnd(&j));
    s->startsOn = 0;
    char reply[64];
    snprintf(reply, sizeof reply, closed ? "error closed after %u" : "ok %u", (unsigned)s->startsSent);
    ReplyToWaiting(s, kCtlConsoleStarts, reply);
}

// Keeps the viewer's queue topped up with starts, never more than a low water behind.
static void StartsTick(Sim *s)
{
    Viewer *v = &s->v;
    if (!s->startsOn || v->fd < 0 || v->closing)
        return;
    std::vector<uint8_t> bytes;
    const size_t sizes = s->startsSizes.size() / 2;
    while (s->startsLeft && ViewerPending(v) + bytes.size() < kQueueLowWater) {
        const size_t k = s->startsSent % sizes;
        SimConsoleOpenNumbered(&v->sess.console, s->startsSent, (int16_t)s->startsSizes[2 * k],
                               (int16_t)s->startsSizes[2 * k + 1], &bytes);
        s->startsSent++;
        s->startsLeft--;
    }
    if (!bytes.empty()) {
        ViewerQueue(v, bytes.data(), bytes.size());
        s->startsEnd = v->queued;
    }
}

// Console commands: echo and dump need no viewer, the others send to it. Returns 0
// for any other command.
static int RunConsoleControl(Sim *s, Control *c, const SimControlCommand &cmd)
{
    SimConsole *con = &s->v.sess.console;
    if (cmd.kind == kCtlConsoleEcho) {
        con->echo = cmd.on;
        ControlReply(c, "ok");
        return 1;
    }
    if (cmd.kind == kCtlConsoleDump) {
        FILE *f = fopen(cmd.path.c_str(), "wb");
        const std::string text = SimConsoleText(con);
        const int ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
        if (f)
            fclose(f);
        ControlReply(c, ok ? "ok" : "error cannot write the file");
        return 1;
    }
    if ((cmd.kind < kCtlConsoleOpen || cmd.kind > kCtlConsoleDump) && cmd.kind != kCtlConsoleStarts)
        return 0;
    if (s->v.fd < 0 || s->v.closing) {
        ControlReply(c, "error no viewer");
        return 1;
    }
    if (cmd.kind == kCtlConsoleStarts) {
        if (s->startsOn) {
            ControlReply(c, "error a burst of starts is running");
            return 1;
        }
        s->startsOn = 1;
        s->startsLeft = cmd.count;
        s->startsSent = 0;
        s->startsSizes = cmd.sizes;
        s->startsEnd = s->v.queued;
        c->waiting = kCtlConsoleStarts;
        c->waitUntil = NetNow() + kCtlWaitMaxSeconds;
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (cmd.kind == kCtlConsoleOpen) {
        std::vector<std::string> lines;
        std::string why;
        if (!cmd.path.empty() && !SimConsoleReadFile(cmd.path, &lines, &why)) {
            ControlReply(c, ("error " + why).c_str());
            return 1;
        }
        SimConsoleOpen(con, (int16_t)cmd.width, (int16_t)cmd.height, cmd.attr, cmd.path.empty() ? nullptr : &lines,
                       &bytes);
    } else if (cmd.kind == kCtlConsoleLine) {
        if (!SimConsoleSetLine(con, (int)cmd.row, std::string(cmd.text.begin(), cmd.text.end()), &bytes)) {
            ControlReply(c, "error no console row there");
            return 1;
        }
    } else if (cmd.kind == kCtlConsoleCursor) {
        SimConsoleSetCursor(con, (int16_t)cmd.cursor[0], (int16_t)cmd.cursor[1], cmd.cursor[2], cmd.cursor[3], &bytes);
    } else {
        SimConsoleClose(con, &bytes);
    }
    std::string t;
    SimLogSent(&t, bytes.data(), bytes.size());
    LogText(s, t);
    ViewerQueue(&s->v, bytes.data(), bytes.size());
    ControlReply(c, "ok");
    return 1;
}

static void RunControl(Sim *s, Control *c, const char *line, size_t len)
{
    SimControlCommand cmd;
    char err[160];
    if (!SimParseControl(line, len, &cmd, err, sizeof err)) {
        std::string reply = std::string("error ") + err;
        ControlReply(c, reply.c_str());
        return;
    }
    if (cmd.kind == kCtlQuit) {
        ControlReply(c, "ok");
        c->quitAfterFlush = 1;
        return;
    }
    if (cmd.kind == kCtlWaitLogin) {
        if (s->loginsAnswered != s->loginsReported) {
            s->loginsReported = s->loginsAnswered;
            ControlReply(c, "ok");
            return;
        }
        c->waiting = kCtlWaitLogin;
        c->waitUntil = NetNow() + cmd.seconds;
        return;
    }
    if (cmd.kind == kCtlWaitInput || cmd.kind == kCtlWaitSettings) {
        if ((cmd.kind == kCtlWaitInput ? s->inputEvents : s->settingsTransfers) >= cmd.count) {
            ControlReply(c, "ok");
            return;
        }
        c->waiting = cmd.kind;
        c->waitInputs = cmd.count;
        c->waitUntil = NetNow() + cmd.seconds;
        return;
    }
    if (cmd.kind == kCtlHostileFatal && cmd.fatal == kFatalShortLogin) {
        s->opt.loginReplyLen = kLoginReplyLen - 1;
        ControlReply(c, "ok");
        return;
    }
    if (RunFilesControl(s, c, cmd))
        return;
    if (RunDesktopControl(s, c, cmd))
        return;
    if (RunConsoleControl(s, c, cmd))
        return;
    Viewer *v = &s->v;
    if (v->fd < 0 || v->closing) {
        ControlReply(c, "error no viewer");
        return;
    }
    if (cmd.kind == kCtlHostile) {
        HostileStart(s, c, cmd);
        return;
    }
    if (cmd.kind == kCtlFlood) {
        PacketFloodStart(s, c, cmd);
        return;
    }
    if (cmd.kind == kCtlSettingsAnswer) {
        v->sess.settings.answerFault = cmd.value;
        ControlReply(c, "ok");
        return;
    }
    if (cmd.kind == kCtlWaitSynced) {
        if (!s->desk->served) {
            ControlReply(c, "error no desktop");
        } else if (Synced(s)) {
            ControlReply(c, "ok");
        } else {
            c->waiting = kCtlWaitSynced;
            c->waitUntil = NetNow() + cmd.seconds;
        }
        return;
    }
    if (cmd.kind == kCtlRestart) {
        // No parts until the viewer has rebuilt its desktop for the new screen info.
        DesktopHold(s->desk);
        if (cmd.newScreen) {
            s->opt.screenWidth = cmd.width;
            s->opt.screenHeight = cmd.height;
            s->opt.screenBpp = cmd.bpp;
        }
    }
    if (cmd.kind == kCtlScreens) {
        // Announced at once: the viewer asks again and gets the new count and number.
        DesktopHold(s->desk);
        s->opt.screenCount = cmd.screenCount;
        if (cmd.hasCurrent)
            SetCurrentScreen(s, cmd.screenCurrent);
    }
    if (cmd.kind == kCtlClose) {
        ViewerStartClose(s, "control");
        ControlReply(c, "ok");
        return;
    }
    std::string t;
    if (cmd.kind == kCtlClip)
        SimLogClipText(&t, "clip_sent", cmd.text.data(), (uint32_t)cmd.text.size());
    if (cmd.kind == kCtlRaw || cmd.kind == kCtlHostileFatal) {
        JsonLine j;
        JsonBegin(&j, "sent_raw");
        JsonUint(&j, "len", cmd.bytes.size());
        t = JsonEnd(&j);
    } else {
        SimLogSent(&t, cmd.bytes.data(), cmd.bytes.size());
    }
    LogText(s, t);
    ViewerQueue(v, cmd.bytes.data(), cmd.bytes.size());
    ControlReply(c, "ok");
}

static void LogChangeSent(Sim *s, uint32_t id, size_t parts)
{
    JsonLine j;
    JsonBegin(&j, "change_sent");
    JsonUint(&j, "id", id);
    JsonUint(&j, "parts", parts);
    char t[32];
    snprintf(t, sizeof t, "%.6f", NetNow());
    JsonCStr(&j, "t", t);
    LogText(s, JsonEnd(&j));
}

// The flood cache serves a whole screen in view that no fill or picture command touches.
static int FloodCacheUsable(Sim *s)
{
    FloodCache *f = &s->flood;
    const SimDesktop *d = s->desk;
    char key[64];
    snprintf(key, sizeof key, "%dx%dx%d %u %u %u %u", d->layout.width, d->layout.height, d->layout.depth,
             d->range.firstColumn, d->range.columnCount, d->range.firstRow, d->range.rowCount);
    if (f->key != key) {
        f->key = key;
        f->last = -1;
        for (int i = 0; i < kSimFloodCycle; i++)
            f->ready[i] = 0;
    }
    const int whole = d->range.firstColumn == 0 && d->range.columnCount == kTileGridSize && d->range.firstRow == 0 &&
                      d->range.rowCount == kTileGridSize;
    return s->opt.flood && !s->scene.floodShare && !s->scene.fillOn && !s->changePending && whole;
}

// Replays the step for frameNo when the viewer holds the one before it.
static int FloodReplay(Sim *s)
{
    FloodCache *f = &s->flood;
    if (!FloodCacheUsable(s)) {
        f->last = -1;
        return 0;
    }
    const int k = (int)(s->frameNo % kSimFloodCycle);
    if (f->last != (k + kSimFloodCycle - 1) % kSimFloodCycle || !f->ready[k])
        return 0;
    SimDesktop *d = s->desk;
    for (int i = 0; i < kTileCount; i++) {
        d->frame[i] = f->tiles[k][i];
        d->model[i] = f->tiles[k][i];
    }
    s->renderedFrame = s->frameNo;
    s->dirty = 0;
    ViewerQueue(&s->v, f->rounds[k].data(), f->rounds[k].size());
    s->v.frameEnds.push_back(s->v.queued);
    f->last = k;
    return 1;
}

// After a round built the usual way: keeps it when it took the viewer from one step
// to the next.
static void FloodRecord(Sim *s, const std::vector<uint8_t> &round)
{
    FloodCache *f = &s->flood;
    if (!FloodCacheUsable(s) || !DesktopInSync(s->desk)) {
        f->last = -1;
        return;
    }
    const int k = (int)(s->frameNo % kSimFloodCycle);
    if (f->last == (k + kSimFloodCycle - 1) % kSimFloodCycle && !f->ready[k] && !round.empty()) {
        f->rounds[k] = round;
        f->tiles[k].assign(s->desk->frame, s->desk->frame + kTileCount);
        f->ready[k] = 1;
    }
    f->last = k;
}

// One round of parts for the newest frame when the queue has room for it.
static void DesktopTick(Sim *s, double now)
{
    // The animation clock runs on whether or not the viewer keeps up; frames are only
    // drawn when a round goes out, so a slow viewer skips the ones in between.
    if (!s->opt.flood && SceneAnimated(&s->scene) && s->opt.fps && !s->paused && now >= s->nextFrameAt) {
        s->frameNo++;
        s->nextFrameAt += FramePeriod(s);
        if (s->nextFrameAt < now)
            s->nextFrameAt = now + FramePeriod(s);
        s->dirty = 1;
    }
    if (!Serving(s) || ViewerPending(&s->v) >= kQueueLowWater)
        return;
    if (s->opt.flood && !s->paused && !s->dirty) {
        s->frameNo++;
        s->dirty = 1;
    }
    if (!s->dirty || FloodReplay(s))
        return;
    RenderIfStale(s);
    std::vector<uint8_t> bytes;
    size_t parts = DesktopRound(s->desk, &bytes);
    s->dirty = 0;
    FloodRecord(s, bytes);
    if (parts) {
        ViewerQueue(&s->v, bytes.data(), bytes.size());
        s->v.frameEnds.push_back(s->v.queued);
    }
    if (s->changePending) {
        s->changePending = 0;
        if (parts)
            s->v.changeEnds.push_back({s->v.queued, s->changeId, parts});
        else
            LogChangeSent(s, s->changeId, 0);
    }
    if (s->desk->mismatches != s->mismatchesLogged) {
        char what[120];
        snprintf(what, sizeof what, "self-check: %u tiles differ from the frame after their part",
                 (unsigned)(s->desk->mismatches - s->mismatchesLogged));
        LogError(s, what);
        s->mismatchesLogged = s->desk->mismatches;
    }
}

// Per-second summaries instead of a line per part.
static void Summaries(Sim *s, double now)
{
    if (now < s->nextSummary)
        return;
    s->nextSummary = now + 1.0;
    SimDesktop *d = s->desk;
    static const char *const kTypes[kSimPartKinds] = {"5", "7", "8"};
    uint64_t count = 0, bytes = 0;
    for (int k = 0; k < kSimPartKinds; k++) {
        count += d->partCount[k];
        bytes += d->partBytes[k];
    }
    JsonLine j;
    if (count) {
        JsonLine by;
        by.text = "{";
        by.fields = 0;
        for (int k = 0; k < kSimPartKinds; k++)
            JsonUint(&by, kTypes[k], d->partCount[k]);
        by.text += "}";
        JsonBegin(&j, "parts");
        JsonUint(&j, "count", count);
        JsonUint(&j, "bytes", bytes);
        JsonRaw(&j, "by_type", by.text);
        LogText(s, JsonEnd(&j));
        memset(d->partCount, 0, sizeof d->partCount);
        memset(d->partBytes, 0, sizeof d->partBytes);
    }
    if (s->framesSent || s->bytesSent) {
        JsonBegin(&j, "rate");
        JsonUint(&j, "frames", s->framesSent);
        JsonUint(&j, "bytes", s->bytesSent);
        LogText(s, JsonEnd(&j));
        s->framesSent = s->bytesSent = 0;
    }
}

// Writes what the viewer socket takes and counts rounds that have fully left.
static void ViewerFlush(Sim *s)
{
    Viewer *v = &s->v;
    if (v->fd < 0 || OutQueueEmpty(&v->out))
        return;
    std::string why;
    size_t before = ViewerPending(v);
    int ok = OutQueueFlush(&v->out, v->fd, &why);
    size_t taken = before - ViewerPending(v);
    v->written += taken;
    s->bytesSent += taken;
    while (!v->frameEnds.empty() && v->frameEnds.front() <= v->written) {
        v->frameEnds.pop_front();
        s->framesSent++;
    }
    while (!v->changeEnds.empty() && v->changeEnds.front().end <= v->written) {
        LogChangeSent(s, v->changeEnds.front().id, v->changeEnds.front().parts);
        v->changeEnds.pop_front();
    }
    if (!ok) {
        LogError(s, why.c_str());
        ViewerClose(s, "write error");
    }
}

// Runs whole lines; a waiting command holds back the ones behind it.
static void ControlLines(Sim *s, Control *c)
{
    size_t start = 0;
    while (!c->waiting && !c->quitAfterFlush) {
        size_t nl = c->in.find('\n', start);
        if (nl == std::string::npos)
            break;
        RunControl(s, c, c->in.data() + start, nl - start);
        start = nl + 1;
    }
    c->in.erase(0, start);
}

static void ControlDrop(Control *c)
{
    close(c->fd);
    c->fd = -1;
    c->in.clear();
    c->out.buf.clear();
    c->out.off = 0;
    c->waiting = 0;
    c->waitInputs = 0;
    c->quitAfterFlush = 0;
}

static void ControlRead(Sim *s, Control *c)
{
    char buf[65536];
    ssize_t n = recv(c->fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    if (n <= 0) {
        ControlDrop(c);
        return;
    }
    c->in.append(buf, (size_t)n);
    ControlLines(s, c);
    // Only an unfinished line can grow without bound; whole ones wait behind a wait-login.
    size_t lastNl = c->in.rfind('\n');
    size_t partial = lastNl == std::string::npos ? c->in.size() : c->in.size() - lastNl - 1;
    if (partial > kControlLineMax) {
        std::string dummy;
        ControlReply(c, "error line too long");
        OutQueueFlush(&c->out, c->fd, &dummy);
        ControlDrop(c);
    }
}

static void ControlAccept(Sim *s)
{
    int fd;
    std::string peer;
    if (!NetAccept(s->controlFd, &fd, &peer))
        return;
    for (Control &c : s->ctl) {
        if (c.fd < 0) {
            c.fd = fd;
            return;
        }
    }
    LogError(s, "control connection refused: too many");
    close(fd);
}

static void Timeouts(Sim *s, double now)
{
    for (Control &c : s->ctl) {
        if (c.fd >= 0 && c.waiting && now >= c.waitUntil) {
            c.waiting = 0;
            ControlReply(&c, "error timeout");
            ControlLines(s, &c);
        }
    }
    if (s->v.fd >= 0 && s->v.closing && (OutQueueEmpty(&s->v.out) || now >= s->v.closeBy))
        ViewerClose(s, s->v.closeReason);
}

static int PollTimeoutMs(const Sim *s, double now)
{
    double next = now + 1.0;
    for (const Control &c : s->ctl)
        if (c.fd >= 0 && c.waiting && c.waitUntil < next)
            next = c.waitUntil;
    if (s->v.fd >= 0 && s->v.closing && s->v.closeBy < next)
        next = s->v.closeBy;
    if (s->nextSummary < next)
        next = s->nextSummary;
    if (!s->opt.flood && SceneAnimated(&s->scene) && s->opt.fps && !s->paused && s->nextFrameAt < next)
        next = s->nextFrameAt;
    if (Serving(s) && ViewerPending(&s->v) < kQueueLowWater && (s->dirty || (s->opt.flood && !s->paused)))
        next = now;
    if (s->hostileOn && s->hostile.left && ViewerPending(&s->v) < kQueueLowWater)
        next = now;
    if (s->startsOn && s->startsLeft && ViewerPending(&s->v) < kQueueLowWater)
        next = now;
    const double due = s->filesOn ? SimCopyDue(&s->files) : 0;
    if (due && due < next)
        next = due;
    const double listing = s->filesOn && s->v.fd >= 0 ? SimFilesListingDue(&s->files, ViewerPending(&s->v)) : 0;
    if (listing && listing < next)
        next = listing;
    double ms = (next - now) * 1000.0;
    return ms <= 0 ? 0 : (int)ms + 1;
}

static void Loop(Sim *s)
{
    while (!s->quit) {
        pollfd p[3 + kMaxControl];
        int np = 0, iListen = -1, iControl = -1, iViewer = -1, iCtl[kMaxControl];
        if (s->v.fd < 0) {
            iListen = np;
            p[np++] = pollfd{s->listenFd, POLLIN, 0};
        } else {
            iViewer = np;
            short ev = (short)((s->v.closing || s->v.stalled ? 0 : POLLIN) | (OutQueueEmpty(&s->v.out) ? 0 : POLLOUT));
            p[np++] = pollfd{s->v.fd, ev, 0};
        }
        if (s->controlFd >= 0) {
            iControl = np;
            p[np++] = pollfd{s->controlFd, POLLIN, 0};
        }
        for (int i = 0; i < kMaxControl; i++) {
            iCtl[i] = -1;
            Control *c = &s->ctl[i];
            if (c->fd < 0)
                continue;
            iCtl[i] = np;
            p[np++] = pollfd{c->fd, (short)(POLLIN | (OutQueueEmpty(&c->out) ? 0 : POLLOUT)), 0};
        }
        int rc = poll(p, (nfds_t)np, PollTimeoutMs(s, NetNow()));
        if (rc < 0 && errno != EINTR) {
            LogError(s, (std::string("poll failed: ") + strerror(errno)).c_str());
            return;
        }
        if (rc > 0) {
            if (iListen >= 0 && (p[iListen].revents & POLLIN))
                ViewerAccept(s);
            if (iViewer >= 0 && (p[iViewer].revents & (POLLIN | POLLHUP | POLLERR)) && !s->v.closing) {
                if (s->v.stalled)
                    ViewerClose(s, "peer"); // a hang-up while nothing is read
                else
                    ViewerRead(s);
            }
            if (iControl >= 0 && (p[iControl].revents & POLLIN))
                ControlAccept(s);
            for (int i = 0; i < kMaxControl; i++) {
                Control *c = &s->ctl[i];
                if (iCtl[i] >= 0 && c->fd >= 0 && (p[iCtl[i]].revents & (POLLIN | POLLHUP | POLLERR)))
                    ControlRead(s, c);
            }
        }
        double now = NetNow();
        Timeouts(s, now);
        ReportLogins(s);
        ReportInputs(s);
        DesktopTick(s, now);
        HostileTick(s);
        StartsTick(s);
        FilesTick(s, now);
        // Output goes out whenever the socket takes it; replies made above leave now.
        ViewerFlush(s);
        if (s->hostileOn && !s->hostile.left && s->v.written >= s->hostileEnd)
            HostileFinish(s, 0);
        if (s->packetFloodOn && s->v.written >= s->packetFloodEnd)
            PacketFloodFinish(s, 0);
        if (s->startsOn && !s->startsLeft && s->v.written >= s->startsEnd)
            StartsFinish(s, 0);
        ReportSynced(s);
        Summaries(s, now);
        std::string why;
        for (Control &c : s->ctl) {
            if (c.fd < 0)
                continue;
            if (!OutQueueFlush(&c.out, c.fd, &why))
                ControlDrop(&c);
            else if (c.quitAfterFlush && OutQueueEmpty(&c.out))
                s->quit = 1;
        }
    }
}

static int Setup(Sim *s, char *err, size_t errCap)
{
    char *pem;
    size_t pemLen;
    if (!SimKeyLoad(s->opt.keyPath, &pem, &pemLen, &s->key, err, errCap))
        return 0;
    int ok = EnvelopeLoadKeyPem(pem, pemLen);
    free(pem);
    if (!ok) {
        snprintf(err, errCap, "the envelope refused the key in %s", s->opt.keyPath);
        return 0;
    }
    EnvelopeSeed(nullptr, 0);
    s->filesOn = s->opt.filesRoot[0] || s->opt.filesRoot[1];
    if (s->filesOn && !SimFilesInit(&s->files, s->opt.filesRoot, s->opt.ftSplit, err, errCap))
        return 0;
    std::string why;
    uint32_t port = 0, control = 0;
    if (!NetListen(s->opt.listenAddr, s->opt.port, &s->listenFd, &port, &why)) {
        snprintf(err, errCap, "%s", why.c_str());
        return 0;
    }
    // Set on the listening socket so that connections start with the small window.
    if (s->opt.receiveBuffer) {
        int size = (int)s->opt.receiveBuffer;
        setsockopt(s->listenFd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    uint32_t want = s->opt.controlPort == kSimControlAny ? 0 : s->opt.controlPort;
    if (s->opt.controlPort && !NetListen(s->opt.listenAddr, want, &s->controlFd, &control, &why)) {
        snprintf(err, errCap, "%s", why.c_str());
        return 0;
    }
    JsonLine j;
    JsonBegin(&j, "listening");
    JsonCStr(&j, "addr", s->opt.listenAddr);
    JsonUint(&j, "port", port);
    JsonUint(&j, "control", control);
    LogText(s, JsonEnd(&j));
    if (s->log != stdout) {
        fputs(j.text.c_str(), stdout);
        fflush(stdout);
    }
    return 1;
}

int main(int argc, char **argv)
{
    static Sim s;
    SimOptionsInit(&s.opt);
    char err[300];
    int help;
    if (!SimOptionsParse(&s.opt, argc, argv, &help, err, sizeof err)) {
        fprintf(stderr, "agentsim: %s\n%s", err, SimOptionsUsage());
        return 2;
    }
    if (help) {
        fputs(SimOptionsUsage(), stdout);
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);
    s.log = stdout;
    if (s.opt.logPath && !(s.log = fopen(s.opt.logPath, "w"))) {
        fprintf(stderr, "agentsim: cannot write %s: %s\n", s.opt.logPath, strerror(errno));
        return 1;
    }
    s.listenFd = s.controlFd = -1;
    s.v.fd = -1;
    s.v.framer = new PacketFramer;
    s.desk = new SimDesktop();
    std::string why;
    if (!SceneInit(&s.scene, &s.opt, &why)) {
        fprintf(stderr, "agentsim: %s\n", why.c_str());
        return 1;
    }
    s.nextFrameAt = NetNow() + FramePeriod(&s);
    s.nextSummary = NetNow() + 1.0;
    for (Control &c : s.ctl)
        c.fd = -1;
    if (!Setup(&s, err, sizeof err)) {
        fprintf(stderr, "agentsim: %s\n", err);
        LogError(&s, err);
        return 1;
    }
    Loop(&s);
    if (s.v.fd >= 0)
        ViewerClose(&s, "quit");
    for (Control &c : s.ctl)
        if (c.fd >= 0)
            ControlDrop(&c);
    close(s.listenFd);
    if (s.controlFd >= 0)
        close(s.controlFd);
    EVP_PKEY_free(s.key);
    delete s.v.framer;
    delete s.desk;
    if (s.log != stdout)
        fclose(s.log);
    return 0;
}
