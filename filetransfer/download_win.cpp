// Download: the remote panel's selection into the local panel's folder. The Agent sends
// each item as PKT_FT_FILE_BEGIN / PKT_FT_FILE_DATA packets through SyncReplyBuffer, one
// at a time, each answered with PKT_FT_ANSWER; the item ends with its PKT_FT_ACK. A file
// is written beside its target under a hidden temporary name and put in place only when
// its last chunk has opened cleanly, so a failed, cancelled or interrupted download leaves
// the old file as it was and no partial one. Worker thread of progress dialog 163.
#include "filetransfer/filestream.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

namespace {

const char kTempPattern[] = "~corvid*.part";
enum { kPollMs = 250, kTempTries = 16 };
// What SetFileAttributes may give a target; the directory bit is the file system's own.
const uint32_t kSettable = kFtAttributeMask | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

struct Receiving {
    HANDLE file;              // INVALID_HANDLE_VALUE when none is open
    int doomed;               // the system deletes it at close unless it is finished
    char temp[MAX_PATH];      // where the bytes go
    char path[MAX_PATH];      // where they are put at the end
    uint32_t attributes;      // the target's, read-only already cleared when asked
    uint64_t created, written;
    FtFileReceiver rx;
};

struct Download {
    WorkerParams *w;
    char item[MAX_PATH];      // the remote item asked for, named when a packet is unreadable
    Receiving rf;
    char swept[MAX_PATH];     // the last folder cleared of temporaries left by a killed run
    DWORD length;
    uint8_t packet[kMaxPacketSize];
    uint8_t plain[kFtChunkCipherMax + 16];
};

volatile LONG g_tempCounter;

FILETIME FileTimeOf(uint64_t t)
{
    FILETIME f;
    f.dwLowDateTime = (DWORD)t;
    f.dwHighDateTime = (DWORD)(t >> 32);
    return f;
}

int Retry(Download *d, UINT caption, const char *path)
{
    return FtLastErrorBox(d->w->dialog, caption, IDS_FT_LOCAL_SUFFIX, path, MB_RETRYCANCEL | MB_ICONQUESTION) ==
           IDRETRY;
}

int Queue(const uint8_t *packet, size_t size)
{
    int outOfMemory = 0;
    return size && EnqueuePacket(packet, (DWORD)size, &outOfMemory);
}

// The main window ends the session as for a broken connection.
void ConnectionClosed(void) { PostMessageA(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_viewer.socket, FD_CLOSE); }

// The system deletes the temporary when its handle closes, even if the viewer is
// killed; finishing takes that back.
int Doom(HANDLE file, BOOL on)
{
    FILE_DISPOSITION_INFO info;
    info.DeleteFile = on;
    return SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof(info));
}

void Discard(Receiving *rf)
{
    if (rf->file == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(rf->file);
    rf->file = INVALID_HANDLE_VALUE;
    if (!DeleteFileA(rf->temp) && GetLastError() != ERROR_FILE_NOT_FOUND)
        WriteLogF("Download: the unfinished %s cannot be deleted (error %lu).", rf->temp, GetLastError());
    WriteLogF("Download: %s not finished; the file there before is untouched.", rf->path);
}

// Temporaries a killed run left in folder; one in use by another viewer stays, as its
// open handle does not share deletion.
void Sweep(Download *d, const char *folder)
{
    if (!strcmp(d->swept, folder))
        return;
    snprintf(d->swept, sizeof(d->swept), "%s", folder);
    char pattern[kFtPathField], path[kFtPathField];
    if (!FtJoinPath(folder, kTempPattern, pattern))
        return;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && FtJoinPath(folder, fd.cFileName, path)) {
            SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
            if (DeleteFileA(path))
                WriteLogF("Download: removed %s, left by an interrupted download.", path);
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void Damaged(Download *d, const char *path, const char *why)
{
    WriteLogF("Download: %s refused: %s. The copy stops.", path, why);
    Discard(&d->rf);
    FtPathBox(d->w->dialog, IDS_FT_CANNOT_WRITE_FILE, IDS_FT_LOCAL_SUFFIX, IDS_FT_DAMAGED_DOWNLOAD, path,
              MB_OK | MB_ICONSTOP);
}

int SetAttributes(Download *d, const char *path, uint32_t attributes)
{
    const DWORD a = attributes & kSettable;
    while (!SetFileAttributesA(path, a ? a : FILE_ATTRIBUTE_NORMAL))
        if (!Retry(d, IDS_FT_CANNOT_SET_ATTRIBUTES, path))
            return 0;
    return 1;
}

int WriteAll(Download *d, const uint8_t *p, size_t n)
{
    Receiving *rf = &d->rf;
    const size_t total = n;
    while (n) {
        DWORD put = 0;
        if (!WriteFile(rf->file, p, (DWORD)n, &put, NULL) || put == 0) {
            if (Retry(d, IDS_FT_CANNOT_WRITE_FILE, rf->path))
                continue;
            Discard(rf);
            return 0;
        }
        p += put;
        n -= put;
    }
    FtMeterBytes(total);
    return 1;
}

// The last chunk is in: times, then the file in place of what was there, then attributes.
int Finish(Download *d)
{
    Receiving *rf = &d->rf;
    const FILETIME created = FileTimeOf(rf->created), written = FileTimeOf(rf->written);
    SetFileTime(rf->file, &created, NULL, &written);
    if (rf->doomed && !Doom(rf->file, FALSE)) {
        if (Retry(d, IDS_FT_CANNOT_WRITE_FILE, rf->path))
            return Finish(d);
        Discard(rf);
        return 0;
    }
    CloseHandle(rf->file);
    rf->file = INVALID_HANDLE_VALUE;
    for (;;) {
        const DWORD old = GetFileAttributesA(rf->path);
        if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY) &&
            !SetAttributes(d, rf->path, old & ~(DWORD)FILE_ATTRIBUTE_READONLY))
            break;
        if (MoveFileExA(rf->temp, rf->path, MOVEFILE_REPLACE_EXISTING)) {
            FtMeterFileDone();
            return SetAttributes(d, rf->path, rf->attributes);
        }
        if (!Retry(d, IDS_FT_CANNOT_DELETE, rf->path))
            break;
    }
    DeleteFileA(rf->temp);
    WriteLogF("Download: %s not finished; the file there before is untouched.", rf->path);
    return 0;
}

int CreateTemp(Download *d, const char *folder)
{
    Receiving *rf = &d->rf;
    for (int i = 0; i < kTempTries; i++) {
        char name[32];
        snprintf(name, sizeof(name), "~corvid%08lx.part",
                 (unsigned long)(GetCurrentProcessId() * 65599u + (DWORD)InterlockedIncrement(&g_tempCounter)));
        if (!FtJoinPath(folder, name, rf->temp)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return 0;
        }
        rf->file = CreateFileA(rf->temp, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW,
                               FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (rf->file != INVALID_HANDLE_VALUE) {
            rf->doomed = Doom(rf->file, TRUE);
            return 1;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    return 0;
}

int BeginFolder(Download *d, const char *local, uint32_t attributes)
{
    for (;;) {
        const DWORD old = GetFileAttributesA(local);
        if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY)) {
            if ((old & kSettable) == (attributes & kSettable))
                return 1;
            return SetAttributes(d, local, attributes);
        }
        if (CreateDirectoryA(local, NULL))
            return SetAttributes(d, local, attributes);
        if (!Retry(d, IDS_FT_CANNOT_CREATE_FOLDER, local))
            return 0;
    }
}

int BeginFile(Download *d, const FtFileBegin *b, const char *local, uint32_t attributes)
{
    Receiving *rf = &d->rf;
    for (;;) {
        const DWORD old = GetFileAttributesA(local);
        if (old == INVALID_FILE_ATTRIBUTES)
            break;
        if (old & FILE_ATTRIBUTE_DIRECTORY) {
            SetLastError(ERROR_ALREADY_EXISTS);
            if (!Retry(d, IDS_FT_CANNOT_CREATE_FILE, local))
                return 0;
            continue;
        }
        if (g_confirmEach) {
            const INT_PTR r = FtAskExisting(d->w->dialog, local, b->attributes);
            if (r == IDCANCEL)
                return 0;
            if (r == IDC_FT_YES_TO_ALL)
                InterlockedExchange(&g_confirmEach, 0);
        }
        break;
    }
    char folder[kFtPathField], last[kFtPathField];
    if (!FtParentPath(local, folder, last))
        return 0;
    Sweep(d, folder);
    while (!CreateTemp(d, folder))
        if (!Retry(d, IDS_FT_CANNOT_CREATE_FILE, local))
            return 0;
    snprintf(rf->path, sizeof(rf->path), "%s", local);
    rf->attributes = attributes;
    rf->created = b->created;
    rf->written = b->written;
    rf->rx = FtFileReceiver{};
    size_t n = 0;
    const char *why = NULL;
    if (!FtOpenFileBegin(&rf->rx, b, d->plain, &n, &why)) {
        Damaged(d, local, why);
        return 0;
    }
    if (!WriteAll(d, d->plain, n))
        return 0;
    return b->last ? Finish(d) : 1;
}

int OnBegin(Download *d, const SessPacketHeader *h, const uint8_t *payload)
{
    FtFileBegin b;
    const char *why = NULL;
    if (d->rf.file != INVALID_HANDLE_VALUE) {
        Damaged(d, d->rf.path, "a new item began before this file's last chunk");
        return 0;
    }
    if (!ParseFtFileBegin(h, payload, &b, &why)) {
        Damaged(d, d->item, why);
        return 0;
    }
    if (!FtDownloadPathOk(b.path, &why)) {
        WriteLogF("Download: the Agent named \"%s\" (%s): refused, nothing written. The copy stops.", b.path, why);
        FtPathBox(d->w->dialog, IDS_FT_CANNOT_CREATE_FILE, IDS_FT_LOCAL_SUFFIX, IDS_FT_BAD_DOWNLOAD_PATH, b.path,
                  MB_OK | MB_ICONSTOP);
        return 0;
    }
    WorkerParams *w = d->w;
    char local[kFtPathField], remote[kFtPathField];
    if (!FtJoinPath(w->target, b.path, local) || !FtJoinPath(w->folder, b.path, remote)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        FtLastErrorBox(w->dialog, IDS_FT_CANNOT_CREATE_FILE, IDS_FT_LOCAL_SUFFIX, b.path, MB_OK | MB_ICONSTOP);
        return 0;
    }
    FtShowProgress(w, remote, local);
    uint32_t attributes = b.attributes;
    if (g_clearReadOnly)
        attributes &= ~(uint32_t)FILE_ATTRIBUTE_READONLY;
    return b.directory ? BeginFolder(d, local, attributes) : BeginFile(d, &b, local, attributes);
}

int OnData(Download *d, const SessPacketHeader *h, const uint8_t *payload)
{
    Receiving *rf = &d->rf;
    FtFileData fd;
    const char *why = NULL;
    if (rf->file == INVALID_HANDLE_VALUE) {
        Damaged(d, d->item, "file data with no file begun");
        return 0;
    }
    if (!ParseFtFileData(h, payload, &fd, &why)) {
        Damaged(d, rf->path, why);
        return 0;
    }
    size_t n = 0;
    if (!FtOpenFileData(&rf->rx, &fd, d->plain, &n, &why)) {
        Damaged(d, rf->path, why);
        return 0;
    }
    if (!WriteAll(d, d->plain, n))
        return 0;
    return fd.last ? Finish(d) : 1;
}

int Handle(Download *d)
{
    const SessPacketHeader *h = (const SessPacketHeader *)d->packet;
    const uint8_t *payload = d->packet + sizeof(*h);
    if (h->dwType == PKT_FT_FILE_BEGIN)
        return OnBegin(d, h, payload);
    return OnData(d, h, payload);
}

int Answer(int kind)
{
    uint8_t packet[sizeof(SessPacketHeader) + 20];
    return Queue(packet, BuildFtAnswer(kind, packet, sizeof(packet)));
}

// One item: 1 when it ended with its PKT_FT_ACK, 0 when the operation stops. *cancelled
// is set by a cancel, which takes effect at the next file or folder boundary.
int RunItem(Download *d, uint32_t index, int *cancelled)
{
    WorkerParams *w = d->w;
    const FtEntry *e = &w->selection.items[index].entry;
    FtDownload req = {};
    req.first = index == 0;
    req.directory = e->directory != 0;
    snprintf(req.folder, sizeof(req.folder), "%s", w->folder);
    snprintf(req.name, sizeof(req.name), "%s", e->name);
    req.attributes = e->attributes;
    req.created = e->created;
    req.written = e->written;
    if (!FtJoinPath(w->folder, e->name, d->item))
        snprintf(d->item, sizeof(d->item), "%s", e->name);
    uint8_t packet[sizeof(SessPacketHeader) + 560];
    if (!Queue(packet, BuildFtDownload(&req, packet, sizeof(packet)))) {
        ConnectionClosed();
        return 0;
    }
    HANDLE events[3] = {w->cancelEvent, g_viewer.syncReplyEvent, w->replyEvent};
    for (;;) {
        const DWORD r = WaitForMultipleObjects(3, events, FALSE, kPollMs);
        if (r == WAIT_TIMEOUT) {
            if (FtSessionGone())
                return 0;
            continue;
        }
        if (r == WAIT_OBJECT_0 + 2)
            return 1;
        if (r != WAIT_OBJECT_0 + 1) {
            *cancelled = 1;
            continue;
        }
        if (!InterlockedCompareExchange(&g_syncReply.full, 0, 0))
            continue;
        d->length = g_syncReply.length;
        memcpy(d->packet, g_syncReply.bytes, d->length);
        InterlockedExchange(&g_syncReply.full, 0);
        const SessPacketHeader *h = (const SessPacketHeader *)d->packet;
        int stop;
        if (*cancelled && h->dwType == PKT_FT_FILE_BEGIN && d->rf.file == INVALID_HANDLE_VALUE)
            stop = 1;  // nothing new begins after a cancel
        else
            stop = !Handle(d) || (d->rf.file == INVALID_HANDLE_VALUE && *cancelled);
        if (!Answer(stop ? FT_ANSWER_NO : FT_ANSWER_GO_ON)) {
            Discard(&d->rf);
            ConnectionClosed();
            return 0;
        }
        if (stop)
            return 0;
    }
}

}  // namespace

void FtDownloadWorker(WorkerParams *w)
{
    InterlockedExchange(&g_confirmEach, 1);
    Download *d = (Download *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Download));
    if (!d) {
        WriteLogF("No memory for the download's buffers: the copy does not start.");
        PostMessageA(w->dialog, WM_CV_FT_DONE, 2, 0);
        return;
    }
    d->w = w;
    d->rf.file = INVALID_HANDLE_VALUE;
    uint64_t total = 0;
    int exact = 1;
    for (uint32_t i = 0; i < w->selection.count; i++) {
        total += w->selection.items[i].entry.directory ? 0 : w->selection.items[i].entry.size;
        exact &= !w->selection.items[i].entry.directory;  // a folder's size shows as it arrives
    }
    FtMeterBegin(total, exact);
    InterlockedExchange(&g_syncReply.full, 0);
    ResetEvent(g_viewer.syncReplyEvent);
    InterlockedExchange(&g_syncReply.open, 1);
    int cancelled = 0, ok = 1;
    for (uint32_t i = 0; ok && !cancelled && i < w->selection.count; i++)
        ok = WaitForSingleObject(w->cancelEvent, 0) != WAIT_OBJECT_0 && RunItem(d, i, &cancelled);
    InterlockedExchange(&g_syncReply.open, 0);
    InterlockedExchange(&g_syncReply.full, 0);
    Discard(&d->rf);
    HeapFree(GetProcessHeap(), 0, d);
    PostMessageA(w->dialog, WM_CV_FT_DONE, ok && !cancelled ? 1 : 2, 0);
}
