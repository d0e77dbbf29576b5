// The simulated Agent's file service: Windows paths resolved inside the served folders,
// listings split at the configured entry count, single requests answered with their
// results, delete items walked children first with questions and injected faults.
#include "tools/agentsim/files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/agentsim/jsonlog.h"
#include "tools/agentsim/pktnames.h"
#include "tools/agentsim/session.h"

static const char kNotFound[] = "The system cannot find the file specified.";

static int Refuse(const char **why, const char *text)
{
    *why = text;
    return 0;
}

int SimFilesInit(SimFiles *f, const char *const roots[kSimFtDrives], uint32_t split, char *err, size_t errCap)
{
    f->meta.clear();
    f->split = split ? split : 1;
    f->currentDrive = 2;
    f->armedError = -1;
    f->armedStop = 0;
    f->requests = 0;
    f->armEndless = f->armDamaged = 0;
    f->endlessMs = 0;
    f->endless = 0;
    SimCopyInit(&f->copy);
    for (uint32_t i = 0; i < kSimFtDrives; i++) {
        f->root[i].clear();
        f->currentDir[i] = std::string(1, (char)('C' + i)) + ":\\";
        if (!roots[i])
            continue;
        char real[PATH_MAX];
        struct stat st;
        if (!realpath(roots[i], real) || stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
            snprintf(err, errCap, "%s is not a folder", roots[i]);
            return 0;
        }
        f->root[i] = real;
    }
    SimFilesNewConnection(f);
    return 1;
}

void SimFilesNewConnection(SimFiles *f)
{
    f->yesToAll = 0;
    f->asking = kSimAskNone;
    f->confirmed = 0;
    f->todo.clear();
    f->request = FtDelete{};
    f->endless = 0;
    SimCopyReset(f, "a new connection", nullptr);
}

static void EndEndless(SimFiles *f, const char *why, std::string *log)
{
    if (!f->endless)
        return;
    f->endless = 0;
    JsonLine j;
    JsonBegin(&j, "ft_endless_stopped");
    JsonUint(&j, "packets", f->endlessPackets);
    JsonUint(&j, "entries", f->endlessEntries);
    JsonCStr(&j, "why", why);
    *log += JsonEnd(&j);
}

void SimFilesDisconnect(SimFiles *f, std::string *log)
{
    EndEndless(f, "the connection closed", log);
    SimCopyReset(f, "the connection closed", log);
}

int SimFilesResolve(const SimFiles *f, const char *winPath, std::string *host, int *drive, const char **why)
{
    const char letter = (char)(winPath[0] & ~0x20);
    if (letter < 'A' || letter > 'Z' || winPath[1] != ':')
        return Refuse(why, "not a path on a drive");
    const int d = letter - 'C';
    if (d < 0 || d >= (int)kSimFtDrives || f->root[d].empty())
        return Refuse(why, "a drive this Agent does not have");
    const char *p = winPath + 2;
    if (*p && *p != '\\' && *p != '/')
        return Refuse(why, "a path relative to a drive's current folder");
    std::string h = f->root[d];
    int exists = 1;
    while (*p) {
        while (*p == '\\' || *p == '/')
            p++;
        const char *end = p;
        while (*end && *end != '\\' && *end != '/')
            end++;
        const std::string c(p, (size_t)(end - p));
        p = end;
        if (c.empty() || c == ".")
            continue;
        if (c == "..")
            return Refuse(why, "a .. component");
        for (unsigned char ch : c)
            if (ch < 32 || ch == ':')
                return Refuse(why, "a colon or control character in a name");
        h += "/" + c;
        struct stat st;
        if (exists && lstat(h.c_str(), &st) != 0)
            exists = 0;
        else if (exists && S_ISLNK(st.st_mode))
            return Refuse(why, "a symbolic link on the way");
    }
    *host = h;
    *drive = d;
    return 1;
}

static uint64_t FileTime(const struct timespec &t)
{
    return ((uint64_t)t.tv_sec + 11644473600ull) * 10000000ull + (uint64_t)t.tv_nsec / 100;
}

static uint32_t Attributes(const SimFiles *f, const std::string &host, const struct stat &st, const char *name)
{
    const uint32_t dir = S_ISDIR(st.st_mode) ? (uint32_t)kFtAttrDirectory : 0u;
    auto m = f->meta.find(host);
    if (m != f->meta.end())
        return (m->second.attributes & ~kFtAttrDirectory) | dir;
    uint32_t a = dir ? dir : kFtAttrArchive;
    if (!(st.st_mode & S_IWUSR))
        a |= kFtAttrReadOnly;
    if (name[0] == '.')
        a |= kFtAttrHidden;
    return a;
}

uint32_t SimFilesHostAttributes(const SimFiles *f, const std::string &host)
{
    struct stat st;
    if (lstat(host.c_str(), &st) != 0)
        return 0;
    const size_t slash = host.rfind('/');
    return Attributes(f, host, st, host.c_str() + (slash == std::string::npos ? 0 : slash + 1));
}

static void FillEntry(const SimFiles *f, const std::string &host, const struct stat &st, const char *name, FtEntry *e)
{
    e->directory = S_ISDIR(st.st_mode) ? 1 : 0;
    e->attributes = Attributes(f, host, st, name);
    auto m = f->meta.find(host);
    e->created = m != f->meta.end() && m->second.created ? m->second.created : FileTime(st.st_mtim);
    e->accessed = FileTime(st.st_atim);
    e->written = FileTime(st.st_mtim);
    e->size = e->directory ? 0 : (uint64_t)st.st_size;
    snprintf(e->name, sizeof e->name, "%s", name);
}

static void PacketLine(JsonLine *j, const SessPacketHeader *h)
{
    JsonBegin(j, "packet");
    JsonUint(j, "type", h->dwType);
    JsonCStr(j, "name", SimPacketName(h->dwType));
    JsonUint(j, "len", h->dwDataLen);
    JsonUint(j, "required", h->dwRequired);
}

static void Send(const uint8_t *packet, size_t n, std::string *log, std::vector<uint8_t> *out)
{
    SimLogSent(log, packet, n);
    out->insert(out->end(), packet, packet + n);
}

void SimFilesLogRefused(const char *winPath, const char *why, std::string *log)
{
    JsonLine j;
    JsonBegin(&j, "ft_refused");
    JsonCStr(&j, "path", winPath);
    JsonCStr(&j, "why", why);
    *log += JsonEnd(&j);
    char what[400];
    snprintf(what, sizeof what, "file path %.270s refused: %s", winPath, why);
    SimLogError(log, what);
}

// ---- listing ----------------------------------------------------------------------------

// The entries of one folder: ".." first below a root, then by name; links are not shown.
static int ReadFolder(const SimFiles *f, const std::string &host, int root, std::vector<FtEntry> *entries)
{
    DIR *dir = opendir(host.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> names;
    while (struct dirent *d = readdir(dir))
        if (strcmp(d->d_name, ".") && strcmp(d->d_name, "..") && strlen(d->d_name) <= kFtPathMax)
            names.push_back(d->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    struct stat st;
    FtEntry e;
    if (!root && stat((host + "/..").c_str(), &st) == 0) {
        FillEntry(f, host + "/..", st, "..", &e);
        e.attributes = kFtAttrDirectory;
        entries->push_back(e);
    }
    for (const std::string &n : names) {
        const std::string p = host + "/" + n;
        if (lstat(p.c_str(), &st) != 0 || S_ISLNK(st.st_mode) || !(S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)))
            continue;
        FillEntry(f, p, st, n.c_str(), &e);
        entries->push_back(e);
    }
    return 1;
}

// The Windows path of a host path inside drive d's folder.
static std::string WinPath(const SimFiles *f, int d, const std::string &host)
{
    std::string w = std::string(1, (char)('C' + d)) + ":\\";
    if (host.size() > f->root[d].size()) {
        std::string rest = host.substr(f->root[d].size() + 1);
        std::replace(rest.begin(), rest.end(), '/', '\\');
        w += rest;
    }
    return w;
}

static void SendListing(SimFiles *f, int d, const std::string &host, const std::vector<FtEntry> &entries,
                        std::string *log, std::vector<uint8_t> *out)
{
    FtListing head = {};
    for (uint32_t i = 0; i < kSimFtDrives; i++)
        if (!f->root[i].empty())
            head.driveTypes[2 + i] = kFtDriveFixed;
    head.currentDrive = 2 + (uint32_t)d;
    struct statvfs vfs;
    head.freeBytes = statvfs(host.c_str(), &vfs) == 0 ? (uint64_t)vfs.f_bavail * vfs.f_frsize : 0;
    snprintf(head.path, sizeof head.path, "%s", f->currentDir[d].c_str());

    static uint8_t packet[kMaxPacketSize];
    std::vector<uint8_t> block(kMaxPayloadSize);
    const int endless = f->armEndless, damaged = f->armDamaged;
    f->armEndless = f->armDamaged = 0;
    // The damaged packet has a packet after it whenever the listing has two.
    const size_t damagedAt = entries.size() > f->split ? 1 : 0;
    size_t at = 0, packets = 0;
    uint32_t count = 0;
    for (size_t i = 0; i <= entries.size(); i++) {
        const size_t budget = kMaxPayloadSize - (packets ? kFtListingMoreHead : kFtListingHead);
        size_t n = 0;
        if (i < entries.size()) {
            uint8_t one[kFtEntryMax];
            n = FtPutEntry(&entries[i], one, sizeof one);
            if (count < f->split && at + n <= budget) {
                memcpy(block.data() + at, one, n);
                at += n;
                count++;
                continue;
            }
        }
        const int complete = i == entries.size();
        const uint32_t announced = count + (damaged && packets == damagedAt ? 1 : 0);
        size_t len;
        if (packets == 0) {
            head.complete = complete && !endless;
            head.count = announced;
            head.entries = block.data();
            head.entriesLen = at;
            len = BuildFtListing(&head, packet, sizeof packet);
        } else {
            len = BuildFtListingMore(complete && !endless, announced, block.data(), at, packet, sizeof packet);
        }
        Send(packet, len, log, out);
        packets++;
        at = count = 0;
        if (!complete)
            i--; // the entry that did not fit opens the next packet
    }
    if (endless || damaged) {
        JsonLine k;
        JsonBegin(&k, "ft_injected");
        JsonCStr(&k, "fault", endless ? "endless" : "damaged");
        JsonCStr(&k, "path", head.path);
        *log += JsonEnd(&k);
    }
    if (endless) {
        f->endless = 1;
        f->endlessNext = 1e-9; // due at once (0 means none)
        f->endlessPackets = packets;
        f->endlessEntries = entries.size();
    }
    JsonLine j;
    JsonBegin(&j, "ft_listing");
    JsonUint(&j, "drive", head.currentDrive);
    JsonCStr(&j, "path", head.path);
    JsonUint(&j, "entries", entries.size());
    JsonUint(&j, "packets", packets);
    JsonUint(&j, "free", head.freeBytes);
    *log += JsonEnd(&j);
}

// Bytes the viewer may have unsent before the endless listing waits for it.
static const size_t kEndlessQueueMax = 64 * 1024;

void SimFilesArmEndless(SimFiles *f, uint32_t ms)
{
    f->armEndless = 1;
    f->endlessMs = ms;
}

void SimFilesArmDamaged(SimFiles *f) { f->armDamaged = 1; }

double SimFilesListingDue(const SimFiles *f, size_t pending)
{
    return f->endless && pending < kEndlessQueueMax ? f->endlessNext : 0;
}

void SimFilesListingTick(SimFiles *f, double now, size_t pending, std::string *, std::vector<uint8_t> *out)
{
    if (!f->endless || pending >= kEndlessQueueMax || now < f->endlessNext)
        return;
    std::vector<uint8_t> block(kMaxPayloadSize);
    size_t at = 0;
    uint32_t count = 0;
    FtEntry e = {};
    e.attributes = kFtAttrArchive;
    e.created = e.accessed = e.written = 132000000000000000ull;
    while (count < f->split) {
        e.size = f->endlessEntries % 100000;
        snprintf(e.name, sizeof e.name, "endless-%010llu.dat", (unsigned long long)f->endlessEntries);
        const size_t n = FtPutEntry(&e, block.data() + at, block.size() - at);
        if (!n || at + n > kMaxPayloadSize - kFtListingMoreHead)
            break;
        at += n;
        count++;
        f->endlessEntries++;
    }
    static uint8_t packet[kMaxPacketSize];
    // Not logged packet by packet: ft_endless_stopped counts them.
    const size_t len = BuildFtListingMore(0, count, block.data(), at, packet, sizeof packet);
    out->insert(out->end(), packet, packet + len);
    f->endlessPackets++;
    f->endlessNext = now + f->endlessMs / 1000.0;
}

static int HandleListDir(SimFiles *f, const FtListDir *m, std::string *log, std::vector<uint8_t> *out)
{
    int d = (int)f->currentDrive - 2;
    std::string win = m->path, host;
    const char *why = nullptr;
    int ok = 1;
    if (m->drive != kFtNoDrive) {
        d = (int)m->drive - 2;
        if (d < 0 || d >= (int)kSimFtDrives || f->root[d].empty()) {
            ok = 0;
            why = "a drive this Agent does not have";
            d = (int)f->currentDrive - 2;
        }
    }
    if (ok && win.empty())
        win = f->currentDir[d];
    int got = d;
    if (ok && !SimFilesResolve(f, win.c_str(), &host, &got, &why))
        ok = 0;
    if (ok && got != d)
        ok = 0, why = "a path on another drive than the one asked for";
    struct stat st;
    if (ok && (stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
        ok = 0, why = "not a folder";
    // A listing that cannot be made shows the drive's folder as it was remembered.
    if (!ok) {
        SimFilesLogRefused(m->path, why, log);
        if (!SimFilesResolve(f, f->currentDir[d].c_str(), &host, &got, &why))
            host = f->root[d], f->currentDir[d] = WinPath(f, d, host);
    } else {
        f->currentDir[d] = WinPath(f, d, host);
    }
    f->currentDrive = 2 + (uint32_t)d;
    std::vector<FtEntry> entries;
    if (!ReadFolder(f, host, host == f->root[d], &entries)) {
        host = f->root[d];
        f->currentDir[d] = WinPath(f, d, host);
        ReadFolder(f, host, 1, &entries);
    }
    SendListing(f, d, host, entries, log, out);
    return ok;
}

// ---- single requests ----------------------------------------------------------------------

static void SendResult(uint32_t type, int success, const char *text, std::string *log, std::vector<uint8_t> *out)
{
    JsonLine j;
    JsonBegin(&j, "ft_result");
    JsonCStr(&j, "op",
             type == PKT_FT_SET_ATTRIBUTES_RESULT ? "set_attributes"
             : type == PKT_FT_RENAME_RESULT       ? "rename"
                                                  : "create_dir");
    JsonBool(&j, "success", success);
    JsonCStr(&j, "text", text);
    *log += JsonEnd(&j);
    uint8_t packet[kPacketHeaderSize + 4 + 400];
    Send(packet, BuildFtResult(type, success, text, packet, sizeof packet), log, out);
}

int SimFilesSetAttributes(SimFiles *f, const char *winPath, uint32_t attributes, const char **why)
{
    std::string host;
    int d;
    struct stat st;
    if (!SimFilesResolve(f, winPath, &host, &d, why))
        return 0;
    if (lstat(host.c_str(), &st) != 0)
        return Refuse(why, kNotFound);
    SimFileMeta &m = f->meta[host];
    m.attributes =
        (attributes & kFtAttributeMask & ~kFtAttrDirectory) | (S_ISDIR(st.st_mode) ? (uint32_t)kFtAttrDirectory : 0u);
    return 1;
}

static int HandleSetAttributes(SimFiles *f, const FtSetAttributes *m, std::string *log, std::vector<uint8_t> *out)
{
    const char *why = nullptr;
    const int ok = SimFilesSetAttributes(f, m->path, m->attributes, &why);
    if (!ok && why != kNotFound)
        SimFilesLogRefused(m->path, why, log);
    SendResult(PKT_FT_SET_ATTRIBUTES_RESULT, ok, ok ? "" : why, log, out);
    return 1;
}

// Kept attributes follow a renamed item and everything under it.
static void MoveMeta(SimFiles *f, const std::string &from, const std::string &to)
{
    std::map<std::string, SimFileMeta> moved;
    for (auto it = f->meta.begin(); it != f->meta.end();) {
        const std::string &k = it->first;
        if (k == from || (k.size() > from.size() && k.compare(0, from.size(), from) == 0 && k[from.size()] == '/')) {
            moved[to + k.substr(from.size())] = it->second;
            it = f->meta.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &m : moved)
        f->meta[m.first] = m.second;
}

static int HandleRename(SimFiles *f, const FtRename *m, std::string *log, std::vector<uint8_t> *out)
{
    std::string from, to;
    int d1, d2;
    const char *why = nullptr;
    struct stat st;
    if (!SimFilesResolve(f, m->oldPath, &from, &d1, &why)) {
        SimFilesLogRefused(m->oldPath, why, log);
    } else if (!SimFilesResolve(f, m->newPath, &to, &d2, &why)) {
        SimFilesLogRefused(m->newPath, why, log);
    } else if (from == f->root[d1] || to == f->root[d2]) {
        why = "Access is denied.";
    } else if (lstat(from.c_str(), &st) != 0) {
        why = kNotFound;
    } else if (lstat(to.c_str(), &st) == 0) {
        why = "Cannot create a file when that file already exists.";
    } else if (rename(from.c_str(), to.c_str()) != 0) {
        why = strerror(errno);
    } else {
        MoveMeta(f, from, to);
        SendResult(PKT_FT_RENAME_RESULT, 1, "", log, out);
        return 1;
    }
    SendResult(PKT_FT_RENAME_RESULT, 0, why, log, out);
    return 1;
}

static int HandleCreateDir(SimFiles *f, const FtCreateDir *m, std::string *log, std::vector<uint8_t> *out)
{
    std::string host;
    int d;
    const char *why = nullptr;
    if (!SimFilesResolve(f, m->path, &host, &d, &why))
        SimFilesLogRefused(m->path, why, log);
    else if (mkdir(host.c_str(), 0777) != 0)
        why = errno == EEXIST ? "Cannot create a file when that file already exists." : strerror(errno);
    SendResult(PKT_FT_CREATE_DIR_RESULT, why == nullptr, why ? why : "", log, out);
    return 1;
}

// ---- delete ----------------------------------------------------------------------------------

static void SendAck(SimFiles *f, int goOn, std::string *log, std::vector<uint8_t> *out)
{
    JsonLine j;
    JsonBegin(&j, "ft_ack");
    JsonCStr(&j, "path", f->request.path);
    JsonBool(&j, "go_on", goOn);
    *log += JsonEnd(&j);
    uint8_t packet[kPacketHeaderSize + kFtAckLen];
    Send(packet, BuildFtAck(0, goOn, packet, sizeof packet), log, out);
    f->todo.clear();
    f->asking = kSimAskNone;
    f->confirmed = 0;
}

size_t SimFilesErrorPacket(uint32_t kind, const char *winPath, const char *text, std::string *log, uint8_t *packet,
                           size_t cap)
{
    JsonLine j;
    JsonBegin(&j, "ft_error_sent");
    JsonUint(&j, "kind", kind);
    JsonCStr(&j, "path", winPath);
    JsonCStr(&j, "text", text);
    *log += JsonEnd(&j);
    return BuildFtError(kind, winPath, text, packet, cap);
}

static void SendError(SimFiles *f, uint32_t kind, const char *winPath, const char *text, int ask, std::string *log,
                      std::vector<uint8_t> *out)
{
    uint8_t packet[kPacketHeaderSize + kFtErrorHead + 200];
    Send(packet, SimFilesErrorPacket(kind, winPath, text, log, packet, sizeof packet), log, out);
    f->asking = ask;
}

// Everything under host, children before their folder, host itself last.
static void Collect(const std::string &host, std::vector<std::string> *todo)
{
    struct stat st;
    if (lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (DIR *dir = opendir(host.c_str())) {
            std::vector<std::string> names;
            while (struct dirent *d = readdir(dir))
                if (strcmp(d->d_name, ".") && strcmp(d->d_name, ".."))
                    names.push_back(d->d_name);
            closedir(dir);
            std::sort(names.begin(), names.end());
            for (const std::string &n : names)
                Collect(host + "/" + n, todo); // a link is removed as itself, never followed
        }
    }
    todo->push_back(host);
}

// Deletes what is left of the item, stopping at a question or a failure.
static void Proceed(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    // StartDelete resolved the item's path, so its letter names a served drive.
    const int d = (f->request.path[0] & ~0x20) - 'C';
    while (!f->todo.empty()) {
        const std::string host = f->todo.front();
        const std::string winPath = WinPath(f, d, host);
        struct stat st;
        if (lstat(host.c_str(), &st) != 0) {
            f->todo.erase(f->todo.begin());
            continue;
        }
        const size_t slash = host.rfind('/');
        const uint32_t attributes = Attributes(f, host, st, host.c_str() + slash + 1);
        if ((attributes & kFtAttrReadOnly) && !f->yesToAll && !f->confirmed) {
            JsonLine j;
            JsonBegin(&j, "ft_question");
            JsonCStr(&j, "path", winPath.c_str());
            JsonUint(&j, "attributes", attributes);
            *log += JsonEnd(&j);
            uint8_t packet[kPacketHeaderSize + 4 + kFtPathField];
            Send(packet, BuildFtQuestion(PKT_FT_CONFIRM_DELETE, attributes, winPath.c_str(), packet, sizeof packet),
                 log, out);
            f->asking = kSimAskConfirm;
            return;
        }
        const int dir = S_ISDIR(st.st_mode);
        if ((dir ? rmdir(host.c_str()) : unlink(host.c_str())) != 0) {
            SendError(f, 1, winPath.c_str(), strerror(errno), kSimAskErrorRetry, log, out);
            return;
        }
        f->meta.erase(host);
        f->confirmed = 0;
        f->todo.erase(f->todo.begin());
        JsonLine j;
        JsonBegin(&j, "ft_deleted");
        JsonCStr(&j, "path", winPath.c_str());
        JsonBool(&j, "directory", dir);
        *log += JsonEnd(&j);
    }
    SendAck(f, 1, log, out);
}

// One item: injected faults first, then its tree.
static void StartDelete(SimFiles *f, std::string *log, std::vector<uint8_t> *out)
{
    std::string host;
    int d;
    const char *why = nullptr;
    f->confirmed = 0;
    f->todo.clear();
    if (f->armedStop) {
        f->armedStop = 0;
        SendAck(f, 0, log, out);
        return;
    }
    if (f->armedError >= 0) {
        const uint32_t kind = (uint32_t)f->armedError;
        f->armedError = -1;
        SendError(f, kind, f->request.path, "Injected by the simulator.", kSimAskErrorRestart, log, out);
        return;
    }
    struct stat st;
    if (!SimFilesResolve(f, f->request.path, &host, &d, &why)) {
        SimFilesLogRefused(f->request.path, why, log);
        SendError(f, 1, f->request.path, why, kSimAskErrorRestart, log, out);
        return;
    }
    if (host == f->root[d] || lstat(host.c_str(), &st) != 0) {
        SendError(f, 1, f->request.path, host == f->root[d] ? "Access is denied." : kNotFound, kSimAskErrorRestart, log,
                  out);
        return;
    }
    Collect(host, &f->todo);
    Proceed(f, log, out);
}

static int HandleAnswer(SimFiles *f, int kind, std::string *log, std::vector<uint8_t> *out)
{
    const int asked = f->asking;
    if (asked == kSimAskNone) {
        SimLogError(log, "PKT_FT_ANSWER with no question open");
        return 0;
    }
    f->asking = kSimAskNone;
    if (kind == FT_ANSWER_NO || kind == FT_ANSWER_GO_ON) {
        if (kind == FT_ANSWER_GO_ON)
            SimLogError(log, "PKT_FT_ANSWER without a choice to a question; taken as stop");
        SendAck(f, 0, log, out);
        return kind == FT_ANSWER_NO;
    }
    if (asked == kSimAskConfirm) {
        f->confirmed = 1;
        if (kind == FT_ANSWER_YES_TO_ALL)
            f->yesToAll = 1;
    }
    if (asked == kSimAskErrorRestart)
        StartDelete(f, log, out);
    else
        Proceed(f, log, out);
    return 1;
}

// ---- dispatch -------------------------------------------------------------------------------

int SimFilesIsType(uint32_t type)
{
    return (type >= PKT_FT_LIST_DIR && type <= PKT_FT_DOWNLOAD && type != PKT_SESSION_STAMP) || type == PKT_FT_ABORT;
}

void SimFilesArmError(SimFiles *f, int kind) { f->armedError = kind; }

void SimFilesArmStop(SimFiles *f) { f->armedStop = 1; }

static uint32_t FixedLen(uint32_t type)
{
    switch (type) {
    case PKT_FT_LIST_DIR:
        return kFtListDirLen;
    case PKT_FT_SET_ATTRIBUTES:
        return kFtSetAttributesLen;
    case PKT_FT_RENAME:
        return kFtRenameLen;
    case PKT_FT_CREATE_DIR:
        return kFtCreateDirLen;
    case PKT_FT_DELETE:
        return kFtDeleteLen;
    case PKT_FT_ANSWER:
        return kFtAnswerLen;
    default:
        return 0;
    }
}

int SimFilesHandle(SimFiles *f, const SessPacketHeader *h, const uint8_t *payload, std::string *log,
                   std::vector<uint8_t> *out)
{
    if (SimCopyTakes(f, h->dwType))
        return SimCopyHandle(f, h, payload, log, out);
    JsonLine j;
    PacketLine(&j, h);
    const uint32_t want = FixedLen(h->dwType);
    char what[200];
    if (!want || h->dwDataLen != want || h->dwRequired != 1) {
        JsonHex(&j, "payload", payload, h->dwDataLen, 256);
        *log += JsonEnd(&j);
        if (!want)
            snprintf(what, sizeof what, "%s is not served by this simulator", SimPacketName(h->dwType));
        else
            snprintf(what, sizeof what, "%s with dwDataLen %u and flag %u, expected %u and 1; not answered",
                     SimPacketName(h->dwType), (unsigned)h->dwDataLen, (unsigned)h->dwRequired, (unsigned)want);
        SimLogError(log, what);
        return 0;
    }
    f->requests++;
    // An Agent asked anything else is done with the listing it was sending.
    EndEndless(f, "another request", log);
    const char *why = nullptr;
    union {
        FtListDir list;
        FtSetAttributes attr;
        FtRename ren;
        FtCreateDir mk;
        FtDelete del;
    } m;
    int kind = 0, ok = 0;
    switch (h->dwType) {
    case PKT_FT_LIST_DIR:
        if ((ok = ParseFtListDir(h, payload, &m.list, &why)))
            JsonUint(&j, "drive", m.list.drive), JsonCStr(&j, "path", m.list.path);
        break;
    case PKT_FT_SET_ATTRIBUTES:
        if ((ok = ParseFtSetAttributes(h, payload, &m.attr, &why)))
            JsonUint(&j, "attributes", m.attr.attributes), JsonCStr(&j, "path", m.attr.path);
        break;
    case PKT_FT_RENAME:
        if ((ok = ParseFtRename(h, payload, &m.ren, &why)))
            JsonCStr(&j, "old_path", m.ren.oldPath), JsonCStr(&j, "new_path", m.ren.newPath),
                JsonUint(&j, "directory", m.ren.directory);
        break;
    case PKT_FT_CREATE_DIR:
        if ((ok = ParseFtCreateDir(h, payload, &m.mk, &why)))
            JsonCStr(&j, "path", m.mk.path);
        break;
    case PKT_FT_DELETE:
        if ((ok = ParseFtDelete(h, payload, &m.del, &why)))
            JsonUint(&j, "directory", m.del.directory), JsonUint(&j, "first", m.del.first),
                JsonUint(&j, "last", m.del.last), JsonUint(&j, "attributes", m.del.attributes),
                JsonCStr(&j, "path", m.del.path);
        break;
    case PKT_FT_ANSWER:
        if ((ok = ParseFtAnswer(h, payload, &kind, &why)))
            JsonCStr(&j, "answer",
                     kind == FT_ANSWER_YES          ? "yes"
                     : kind == FT_ANSWER_YES_TO_ALL ? "yes_to_all"
                     : kind == FT_ANSWER_NO         ? "no"
                                                    : "go_on");
        break;
    }
    if (!ok) {
        JsonHex(&j, "payload", payload, h->dwDataLen, 256);
        *log += JsonEnd(&j);
        snprintf(what, sizeof what, "%s refused: %s; not answered", SimPacketName(h->dwType), why);
        SimLogError(log, what);
        return 0;
    }
    *log += JsonEnd(&j);
    if (h->dwType == PKT_FT_ANSWER)
        return HandleAnswer(f, kind, log, out);
    if (f->asking != kSimAskNone) {
        snprintf(what, sizeof what, "%s while a question is open; not answered", SimPacketName(h->dwType));
        SimLogError(log, what);
        return 0;
    }
    if (SimCopyBusy(f)) {
        snprintf(what, sizeof what, "%s while a copy is under way; that copy is dropped", SimPacketName(h->dwType));
        SimLogError(log, what);
        SimCopyReset(f, "dropped for another request", log);
    }
    switch (h->dwType) {
    case PKT_FT_LIST_DIR:
        return HandleListDir(f, &m.list, log, out);
    case PKT_FT_SET_ATTRIBUTES:
        return HandleSetAttributes(f, &m.attr, log, out);
    case PKT_FT_RENAME:
        return HandleRename(f, &m.ren, log, out);
    case PKT_FT_CREATE_DIR:
        return HandleCreateDir(f, &m.mk, log, out);
    default:
        if (m.del.first)
            f->yesToAll = 0;
        f->request = m.del;
        StartDelete(f, log, out);
        return 1;
    }
}
