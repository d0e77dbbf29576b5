// Upload: the local panel's selection to the remote panel's folder, folders before their
// contents, each file in sealed chunks with one packet in flight until the Agent's
// PKT_FT_ACK. Worker thread of progress dialog 163.
#include "filetransfer/dropfiles.h"
#include "filetransfer/droptarget_win.h"
#include "filetransfer/filestream.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "filetransfer/route_win.h"
#include "lang/stringids.h"
#include "resources/resource.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

namespace {

struct Upload {
    WorkerParams *w;
    int unsettled; // a file's last packet is out, its PKT_FT_ACK not yet waited for
    uint8_t plain[kFtChunkPlain];
    uint8_t packet[kFtFilePacketMax]; // free again once queued: the queue copies it
};

struct Item {
    int folder;
    int first;
    const char *relative;
    uint32_t attributes;
    uint64_t created, written;
};

enum { kPollMs = 250 };

uint64_t TimeOf(const FILETIME &t) { return (uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime; }

int Cancelled(WorkerParams *w) { return w->cancelEvent && FtCancelRaised(); }

int Queue(const uint8_t *packet, size_t size)
{
    int outOfMemory = 0;
    return size && SendPacketNow(packet, (DWORD)size, &outOfMemory);
}

// 1 when the Agent took the packet, 0 on cancel or a session that has gone.
int WaitReply(WorkerParams *w)
{
    HANDLE events[2] = {w->cancelEvent, w->replyEvent};
    for (;;) {
        const DWORD r = WaitForMultipleObjects(2, events, FALSE, kPollMs);
        if (r == WAIT_OBJECT_0 + 1)
            return 1;
        if (r != WAIT_TIMEOUT || FtSessionGone())
            return 0;
    }
}

// The acknowledgement of a file's last packet is waited for just before the next packet
// goes, so that the next file is found, opened, read and sealed while the Agent writes.
int Settle(Upload *u)
{
    if (!u->unsettled)
        return 1;
    u->unsettled = 0;
    return WaitReply(u->w);
}

// A folder that is a link goes as the folder alone: what it points to may lie anywhere,
// itself included.
int Descend(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int Dots(const char *name) { return !strcmp(name, ".") || !strcmp(name, ".."); }

// Bytes of the files under folder, for the progress figures.
uint64_t TreeBytes(const char *folder)
{
    char pattern[kFtPathField];
    if (!FtJoinPath(folder, "*.*", pattern))
        return 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    uint64_t total = 0;
    do {
        char child[kFtPathField];
        if (Dots(fd.cFileName))
            continue;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (uint64_t)fd.nFileSizeHigh << 32 | fd.nFileSizeLow;
        else if (Descend(fd.dwFileAttributes) && FtJoinPath(folder, fd.cFileName, child))
            total += TreeBytes(child);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return total;
}

// A path too long for the other side stops the operation with a box naming it.
int TooLong(WorkerParams *w, const char *path)
{
    WriteLogF("Upload: %s\\... is over 260 characters: the copy stops.", path);
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    FtLastErrorBox(w->dialog, IDS_FT_CANNOT_CREATE_FILE, IDS_FT_REMOTE_SUFFIX, path, MB_OK | MB_ICONSTOP);
    return 0;
}

// Reads up to a chunk; the count read, or -1 when the operator gave up after a failure.
long ReadChunk(WorkerParams *w, HANDLE file, const char *path, uint8_t *buf)
{
    DWORD got = 0;
    while (got < kFtChunkPlain) {
        DWORD n = 0;
        if (!ReadFile(file, buf + got, kFtChunkPlain - got, &n, NULL)) {
            if (FtLastErrorBox(w->dialog, IDS_FT_CANNOT_READ_FILE, 0, path, MB_RETRYCANCEL | MB_ICONQUESTION) ==
                IDRETRY)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        got += n;
    }
    return (long)got;
}

// The Agent drops what it has of the file.
void QueueAbandon(void)
{
    uint8_t abort[kPacketHeaderSize + kFtFileDataHead];
    const FtFileData d = {1, 1, 0, NULL};
    Queue(abort, BuildFtFileData(&d, abort, sizeof(abort)));
}

int SendFile(Upload *u, const char *local, const FtFileBegin *meta)
{
    WorkerParams *w = u->w;
    HANDLE file;
    for (;;) {
        file = CreateFileA(local, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (file != INVALID_HANDLE_VALUE)
            break;
        const int r =
            FtLastErrorBox(w->dialog, IDS_FT_CANNOT_OPEN_FILE, 0, local, MB_ABORTRETRYIGNORE | MB_ICONQUESTION);
        if (r == IDIGNORE) {
            WriteLogF("Upload: %s skipped, it cannot be opened.", local);
            return 1;
        }
        if (r != IDRETRY)
            return 0;
    }
    FtFileSender sender = {};
    long got = ReadChunk(w, file, local, u->plain);
    if (got < 0) {
        CloseHandle(file);
        return 0;
    }
    int last = 0;
    size_t size = FtSealFilePacket(&sender, meta, u->plain, (size_t)got, u->packet, kFtFilePacketMax, &last);
    if (!Settle(u)) {
        CloseHandle(file);
        return 0;
    }
    for (;;) {
        if (!size)
            WriteLogF("Upload: %s cannot be sealed: the copy stops.", local);
        if (!Queue(u->packet, size)) {
            CloseHandle(file);
            return 0;
        }
        FtMeterBytes((uint64_t)got);
        // The next chunk is read and sealed while the Agent opens this one.
        long next = 0;
        size_t nextSize = 0;
        int nextLast = 0;
        if (!last) {
            next = ReadChunk(w, file, local, u->plain);
            if (next >= 0)
                nextSize =
                    FtSealFilePacket(&sender, meta, u->plain, (size_t)next, u->packet, kFtFilePacketMax, &nextLast);
        }
        if (last) {
            CloseHandle(file);
            FtMeterFileDone();
            u->unsettled = 1;
            return 1;
        }
        if (!WaitReply(w)) {
            uint8_t abort[kPacketHeaderSize];
            Queue(abort, BuildFtAbort(abort, sizeof(abort)));
            CloseHandle(file);
            return 0;
        }
        if (next < 0) {
            QueueAbandon();
            CloseHandle(file);
            return 0;
        }
        got = next;
        size = nextSize;
        last = nextLast;
    }
}

int SendItem(Upload *u, const Item *it)
{
    WorkerParams *w = u->w;
    char local[kFtPathField];
    FtFileBegin meta = {};
    if (!FtJoinPath(w->folder, it->relative, local))
        return TooLong(w, w->folder);
    if (!FtJoinPath(w->target, it->relative, meta.path))
        return TooLong(w, w->target);
    meta.directory = it->folder != 0;
    meta.attributes = it->attributes & ~(uint32_t)(g_clearReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
    meta.created = it->created;
    meta.written = it->written;
    meta.first = it->first != 0;
    FtShowProgress(w, local, meta.path);
    if (!it->folder)
        return SendFile(u, local, &meta);
    meta.last = 1;
    const size_t size = BuildFtFileBegin(&meta, u->packet, kFtFilePacketMax);
    return Settle(u) && Queue(u->packet, size) && WaitReply(w);
}

// Opens the search of a folder's entries; Retry/Cancel while it cannot be read (the
// folder went, became a file or refuses access). INVALID_HANDLE_VALUE with *empty for a
// folder without entries, or when the operator gave up.
HANDLE OpenEntries(WorkerParams *w, const char *local, const char *pattern, WIN32_FIND_DATAA *fd, int *empty)
{
    *empty = 0;
    for (;;) {
        HANDLE h = FindFirstFileA(pattern, fd);
        if (h != INVALID_HANDLE_VALUE)
            return h;
        if (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_FILES) {
            *empty = 1;
            return h;
        }
        WriteLogF("Upload: the folder %s cannot be read (error %lu).", local, (unsigned long)GetLastError());
        if (FtLastErrorBox(w->dialog, IDS_FT_CANNOT_READ_FOLDER, IDS_FT_LOCAL_SUFFIX, local,
                           MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY)
            return h;
    }
}

int SendFolder(Upload *u, const Item *it, DWORD attributes)
{
    WorkerParams *w = u->w;
    char local[kFtPathField], pattern[kFtPathField];
    if (!FtJoinPath(w->folder, it->relative, local))
        return TooLong(w, w->folder);
    // The listing's attributes may be old: a folder swapped for a link since then goes as
    // the folder alone, like any link. One that went or became a file is asked about below.
    const DWORD now = GetFileAttributesA(local);
    if (now != INVALID_FILE_ATTRIBUTES && (now & FILE_ATTRIBUTE_DIRECTORY))
        attributes = now;
    if (!Descend(attributes))
        return SendItem(u, it);
    if (!FtJoinPath(local, "*.*", pattern))
        return SendItem(u, it) && TooLong(w, local);
    // Read before the folder goes, so that one that cannot be read is not sent empty.
    WIN32_FIND_DATAA fd;
    int empty = 0;
    HANDLE h = OpenEntries(w, local, pattern, &fd, &empty);
    if (h == INVALID_HANDLE_VALUE && !empty)
        return 0;
    if (!SendItem(u, it)) {
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
        return 0;
    }
    if (empty)
        return 1;
    for (;;) {
        if (Cancelled(w)) {
            FindClose(h);
            return 0;
        }
        if (!Dots(fd.cFileName)) {
            char relative[kFtPathField];
            if (!FtJoinPath(it->relative, fd.cFileName, relative)) {
                FindClose(h);
                return TooLong(w, local);
            }
            const Item child = {(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                0,
                                relative,
                                fd.dwFileAttributes,
                                TimeOf(fd.ftCreationTime),
                                TimeOf(fd.ftLastWriteTime)};
            if (!(child.folder ? SendFolder(u, &child, fd.dwFileAttributes) : SendItem(u, &child))) {
                FindClose(h);
                return 0;
            }
        }
        while (!FindNextFileA(h, &fd)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) {
                FindClose(h);
                return 1;
            }
            if (FtLastErrorBox(w->dialog, IDS_FT_CANNOT_READ_ENTRY, IDS_FT_LOCAL_SUFFIX, NULL,
                               MB_RETRYCANCEL | MB_ICONQUESTION) != IDRETRY) {
                FindClose(h);
                return 0;
            }
        }
    }
}

} // namespace

// Uploads the selection group by group, each group's names read from its own folder; the
// first name of all is the only first item, so one Yes to all serves every group.
static void RunUpload(WorkerParams *w, const FtDropGroup *group, uint32_t groups)
{
    InterlockedExchange(&g_confirmEach, 1);
    Upload *u = (Upload *)HeapAlloc(GetProcessHeap(), 0, sizeof(Upload));
    if (!u) {
        WriteLogF("No memory for the upload's buffers: the copy does not start.");
        FtWorkerDone(w, 2);
        return;
    }
    u->w = w;
    u->unsettled = 0;
    uint64_t total = 0;
    for (uint32_t g = 0; g < groups; g++)
        for (uint32_t i = group[g].first; i < group[g].first + group[g].count; i++) {
            const FtEntry *e = &w->selection.items[i].entry;
            char path[kFtPathField];
            if (!e->directory)
                total += e->size;
            else if (Descend(e->attributes) && FtJoinPath(group[g].folder, e->name, path))
                total += TreeBytes(path);
        }
    FtMeterBegin(total, 1);
    FtAckShortcutOpen(w->replyEvent);
    int ok = 1;
    for (uint32_t g = 0; ok && g < groups; g++) {
        snprintf(w->folder, sizeof(w->folder), "%s", group[g].folder);
        for (uint32_t i = group[g].first; ok && i < group[g].first + group[g].count; i++) {
            const FtEntry *e = &w->selection.items[i].entry;
            const Item it = {e->directory != 0, i == 0, e->name, e->attributes, e->created, e->written};
            ok = !Cancelled(w) && (it.folder ? SendFolder(u, &it, e->attributes) : SendItem(u, &it));
        }
    }
    // The operation ends when the Agent has taken the last file.
    ok = Settle(u) && ok;
    FtAckShortcutClose();
    HeapFree(GetProcessHeap(), 0, u);
    FtWorkerDone(w, ok ? 1 : 2);
}

void FtUploadWorker(WorkerParams *w)
{
    FtDropGroup all = {0, w->selection.count, {}};
    snprintf(all.folder, sizeof(all.folder), "%s", w->folder);
    RunUpload(w, &all, 1);
}

// ---- files from outside the panels: names from several folders in one upload -----------

// The folders of a drop's names, from the UI thread to the worker it starts, which frees it.
static FtDropPlan *volatile g_dropPlan;

// The panels' upload over the groups of a drop, one folder each.
static void DroppedWorker(WorkerParams *w)
{
    FtDropPlan *plan = (FtDropPlan *)InterlockedExchangePointer((PVOID volatile *)&g_dropPlan, NULL);
    if (!plan || plan->count != w->selection.count) {
        WriteLogF("The upload of dropped files cannot start (no list of folders).");
        if (plan)
            FtFreeDropPlan(plan), HeapFree(GetProcessHeap(), 0, plan);
        FtWorkerDone(w, 2);
        return;
    }
    RunUpload(w, plan->group, plan->groups);
    FtFreeDropPlan(plan);
    HeapFree(GetProcessHeap(), 0, plan);
}

int FtUploadDropPlan(HWND owner, FtDropPlan *plan)
{
    InterlockedExchangePointer((PVOID volatile *)&g_dropPlan, plan);
    const int r = FtRunProgress(owner, IDD_FT_COPY_PROGRESS, IDA_COPY, IDS_FT_UPLOAD, kFtLocal, 1, DroppedWorker);
    // Still here when no worker started to take it.
    FtDropPlan *left = (FtDropPlan *)InterlockedExchangePointer((PVOID volatile *)&g_dropPlan, NULL);
    if (left) {
        FtFreeDropPlan(left);
        HeapFree(GetProcessHeap(), 0, left);
    }
    return r;
}
