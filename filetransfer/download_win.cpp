// Download: the remote panel's selection into the local panel's folder. The Agent sends
// each item as PKT_FT_FILE_BEGIN / PKT_FT_FILE_DATA packets through SyncReplyBuffer, one
// at a time, each answered with PKT_FT_ANSWER; the item ends with its PKT_FT_ACK. A file
// is written beside its target under a hidden temporary name and put in place only when
// its last chunk has opened cleanly, so a failed, cancelled or interrupted download leaves
// the old file as it was and no partial one. Whatever the Agent names must stay the item
// asked for and, with every link and junction resolved, below the target folder. Worker
// thread of progress dialog 163.
#include "filetransfer/filestream.h"
#include "filetransfer/operation_win.h"
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "filetransfer/route_win.h"
#include "lang/stringids.h"
#include "session/sendqueue_win.h"
#include "session/state_win.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/post_win.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

namespace {

const char kTempPattern[] = "~corvid*.part";
enum { kPollMs = 250, kTempTries = 16, kFinalMax = 1024, kOwedWaitMs = 30000 };
const uint64_t kAnySize = ~(uint64_t)0;
// What SetFileAttributes may give a target; the directory bit is the file system's own.
const uint32_t kSettable = kFtAttributeMask | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

struct Receiving {
    HANDLE file;             // INVALID_HANDLE_VALUE when none is open
    int doomed;              // the system deletes it at close unless it is finished
    int direct;              // a new file written under its own name (temp == path)
    int existed;             // the target was there at the file's first packet
    char temp[MAX_PATH];     // where the bytes go
    char path[MAX_PATH];     // where they are put at the end
    char relative[MAX_PATH]; // as the Agent named it
    uint32_t attributes;     // the target's, read-only already cleared when asked
    uint32_t incoming;       // the packet's, shown when the operator is asked
    uint64_t created, written;
    uint64_t expected; // the listing's size of a top-level file, else kAnySize
    FtFileReceiver rx;
};

struct Download {
    WorkerParams *w;
    const FtEntry *entry;         // the remote item asked for
    char item[MAX_PATH];          // its full remote path, named when a packet is unreadable
    WCHAR targetFinal[kFinalMax]; // the target folder with its links resolved
    Receiving rf;
    char swept[MAX_PATH];    // the last folder cleared of temporaries left by a killed run
    char resolved[MAX_PATH]; // the last folder found to lead below the target
    int owed;                // a packet was answered early: the Agent sends one more
    int mayAnswer;           // the packet in hand may be answered once its file is created
    int answered;            // it was, from inside its handling
    DWORD length;
    uint8_t packet[kMaxPacketSize];
    uint8_t plain[kFtChunkCipherMax + 16];
};

volatile LONG g_tempCounter;

// The download's boxes carry their captions without a side suffix: only the local
// computer is written to here.
int Retry(Download *d, UINT caption, const char *path)
{
    return FtLastErrorBox(d->w->dialog, caption, 0, path, MB_RETRYCANCEL | MB_ICONQUESTION) == IDRETRY;
}

int Queue(const uint8_t *packet, size_t size)
{
    int outOfMemory = 0;
    return size && SendPacketNow(packet, (DWORD)size, &outOfMemory);
}

// The main window ends the session as for a broken connection.
void ConnectionClosed(void) { UiPost(g_viewer.mainWindow, WM_CV_SOCKET, (WPARAM)g_session.socket, FD_CLOSE); }

int Answer(int kind)
{
    uint8_t packet[sizeof(SessPacketHeader) + 20];
    return Queue(packet, BuildFtAnswer(kind, packet, sizeof(packet)));
}

// A whole file that has just been created under its own name is answered at once, so
// the Agent reads and seals the next file while this one is opened and written: what
// could still fail (a write, the times, the handle's close) stops the copy at the next
// packet instead, and nothing was there before to keep.
int AnswerNow(Download *d)
{
    if (!d->mayAnswer)
        return 1;
    d->mayAnswer = 0;
    InterlockedExchange(&g_syncReply.full, 0);
    if (!Answer(FT_ANSWER_GO_ON))
        return 0;
    d->answered = d->owed = 1;
    return 1;
}

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
    // A new file under its own name went with its handle; the name may be another's now.
    if (rf->direct && rf->doomed)
        WriteLogF("Download: %s not finished; nothing is left of it.", rf->path);
    else if (!DeleteFileA(rf->temp) && GetLastError() != ERROR_FILE_NOT_FOUND)
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

int Aborted(const Download *d) { return d->w->abortEvent && FtAbortRaised(); }

// Where path leads once every link and junction on it is resolved ("\\?\C:\..."); 0 when it
// cannot be opened or the answer does not fit.
int FinalPath(const char *path, WCHAR out[kFinalMax])
{
    HANDLE h = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD n = GetFinalPathNameByHandleW(h, out, kFinalMax, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (n == 0 || n >= kFinalMax) {
        SetLastError(n ? ERROR_FILENAME_EXCED_RANGE : error);
        return 0;
    }
    return 1;
}

int Below(const WCHAR *path, const WCHAR *folder)
{
    const int n = lstrlenW(folder);
    if (lstrlenW(path) < n || CompareStringOrdinal(path, n, folder, n, TRUE) != CSTR_EQUAL)
        return 0;
    return path[n] == 0 || path[n] == L'\\' || (n > 0 && folder[n - 1] == L'\\');
}

// textId: IDS_FT_BAD_DOWNLOAD_PATH for a path leading out of the target, or
// IDS_FT_FOREIGN_DOWNLOAD_PATH for one that is not the item asked for.
int RefusePath(Download *d, const char *relative, const char *why, UINT textId = IDS_FT_BAD_DOWNLOAD_PATH)
{
    WriteLogF("Download: the Agent named \"%s\" (%s): refused, nothing written. The copy stops.", relative, why);
    Discard(&d->rf);
    FtPathBox(d->w->dialog, IDS_FT_CANNOT_CREATE_FILE, 0, textId, relative, MB_OK | MB_ICONSTOP);
    return 0;
}

// A link or junction, through which a name leads elsewhere; other reparse points, such as
// the placeholders of a cloud service's files and folders, stay where they are named.
int IsLink(const char *path)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(path, &fd);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    FindClose(h);
    return (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (fd.dwReserved0 == 0 || IsReparseTagNameSurrogate(fd.dwReserved0));
}

// local is the target joined with relative. Nothing on the way from the target down to it
// may be a link or junction, and the deepest part that exists must resolve below the target:
// otherwise what is written there lands outside the folder the operator chose. Without
// leaf the last part is left to the caller, which creates it anew (a name that exists,
// a link among them, fails that), and a folder resolved for the file before is not
// resolved again: each part on the way is still looked at.
int StaysInside(Download *d, const char *local, const char *relative, int leaf = 1)
{
    const size_t n = strlen(local), start = n - strlen(relative);
    char prefix[kFtPathField];
    size_t deepest = 0, stop = n;
    if (!leaf)
        while (stop > start && local[stop] != '\\')
            stop--;
    for (size_t end = start; end <= stop; end++) {
        if (end < stop && local[end] != '\\')
            continue;
        memcpy(prefix, local, end);
        prefix[end] = 0;
        const DWORD a = GetFileAttributesA(prefix);
        if (a == INVALID_FILE_ATTRIBUTES)
            break;
        if ((a & FILE_ATTRIBUTE_REPARSE_POINT) && IsLink(prefix))
            return RefusePath(d, relative, "a link or junction on the way");
        deepest = end;
    }
    if (deepest) {
        memcpy(prefix, local, deepest);
        prefix[deepest] = 0;
    } else {
        snprintf(prefix, sizeof(prefix), "%s", d->w->target);
    }
    if (!leaf && !strcmp(prefix, d->resolved))
        return 1;
    WCHAR final[kFinalMax];
    if (!FinalPath(prefix, final)) {
        const DWORD error = GetLastError();
        WriteLogF("Download: where %s leads cannot be read (error %lu). The copy stops.", prefix, error);
        Discard(&d->rf);
        SetLastError(error);
        FtLastErrorBox(d->w->dialog, IDS_FT_CANNOT_CREATE_FILE, 0, prefix, MB_OK | MB_ICONSTOP);
        return 0;
    }
    if (!Below(final, d->targetFinal)) {
        WriteLogF("Download: %s leads to %ls.", prefix, final);
        return RefusePath(d, relative, "it leads outside the target folder");
    }
    snprintf(d->resolved, sizeof(d->resolved), "%s", leaf ? "" : prefix);
    return 1;
}

void Damaged(Download *d, const char *path, const char *why)
{
    WriteLogF("Download: %s refused: %s. The copy stops.", path, why);
    Discard(&d->rf);
    FtPathBox(d->w->dialog, IDS_FT_CANNOT_WRITE_FILE, 0, IDS_FT_DAMAGED_DOWNLOAD, path, MB_OK | MB_ICONSTOP);
}

// The Agent sends a packet only after the answer to the one before; one that came earlier
// was dropped, and the file it belonged to lacks it.
int Overrun(Download *d)
{
    if (!InterlockedExchange(&g_syncReply.overrun, 0))
        return 0;
    Damaged(d, d->rf.file != INVALID_HANDLE_VALUE ? d->rf.path : d->item,
            "a packet came before the previous one was answered, and was lost");
    return 1;
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

// The old file's attributes again after a replace that failed: it stays as it was.
void Restore(const char *path, DWORD original)
{
    const DWORD a = original & kSettable;
    if (!SetFileAttributesA(path, a ? a : FILE_ATTRIBUTE_NORMAL))
        WriteLogF("Download: the attributes of %s cannot be restored (error %lu).", path, GetLastError());
}

// Times and attributes in one call on the open handle; read-only waits until the file is
// in place, as a read-only file may not be replaced or renamed over.
int SetBasic(Receiving *rf)
{
    FILE_BASIC_INFO info = {};
    info.CreationTime.QuadPart = (LONGLONG)rf->created;
    info.LastWriteTime.QuadPart = (LONGLONG)rf->written;
    const DWORD a = rf->attributes & kSettable & ~(DWORD)FILE_ATTRIBUTE_READONLY;
    info.FileAttributes = a ? a : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(rf->file, FileBasicInfo, &info, sizeof(info));
}

int Undoom(Download *d)
{
    Receiving *rf = &d->rf;
    while (rf->doomed && !Doom(rf->file, FALSE))
        if (!Retry(d, IDS_FT_CANNOT_WRITE_FILE, rf->path)) {
            Discard(rf);
            return 0;
        }
    return 1;
}

// A new file under its own name is whole: the name was free when it was created and has
// been held since, so nothing was there to keep or to ask about.
int FinishDirect(Download *d)
{
    Receiving *rf = &d->rf;
    if (!SetBasic(rf))
        WriteLogF("Download: the times of %s cannot be set (error %lu).", rf->path, GetLastError());
    if (!Undoom(d))
        return 0;
    CloseHandle(rf->file);
    rf->file = INVALID_HANDLE_VALUE;
    FtMeterFileDone();
    return (rf->attributes & FILE_ATTRIBUTE_READONLY) ? SetAttributes(d, rf->path, rf->attributes) : 1;
}

// The last chunk is in: the checks of the whole file, times, then the file in place of what
// was there, then attributes.
int Finish(Download *d)
{
    Receiving *rf = &d->rf;
    if (Aborted(d)) {
        Discard(rf);
        return 0;
    }
    if (Overrun(d))
        return 0;
    if (rf->expected != kAnySize && rf->rx.plainBytes != rf->expected) {
        char why[120];
        snprintf(why, sizeof(why), "%llu bytes arrived where the listing gave %llu",
                 (unsigned long long)rf->rx.plainBytes, (unsigned long long)rf->expected);
        Damaged(d, rf->path, why);
        return 0;
    }
    if (rf->direct)
        return FinishDirect(d);
    // A file that appeared while this one was under way is not replaced unasked.
    if (!rf->existed && GetFileAttributesA(rf->path) != INVALID_FILE_ATTRIBUTES) {
        WriteLogF("Download: %s appeared while it was being copied.", rf->path);
        const INT_PTR r = FtAskExisting(d->w->dialog, rf->path, rf->incoming);
        if (r != IDYES && r != IDC_FT_YES_TO_ALL) {
            Discard(rf);
            return 0;
        }
        if (r == IDC_FT_YES_TO_ALL)
            InterlockedExchange(&g_confirmEach, 0);
        rf->existed = 1;
    }
    if (!StaysInside(d, rf->path, rf->relative))
        return 0;
    if (!SetBasic(rf))
        WriteLogF("Download: the times of %s cannot be set (error %lu).", rf->path, GetLastError());
    if (!Undoom(d))
        return 0;
    CloseHandle(rf->file);
    rf->file = INVALID_HANDLE_VALUE;
    const DWORD old = GetFileAttributesA(rf->path);
    const int readOnly = old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY);
    if (!readOnly || SetAttributes(d, rf->path, old & ~(DWORD)FILE_ATTRIBUTE_READONLY)) {
        for (;;) {
            if (MoveFileExA(rf->temp, rf->path, MOVEFILE_REPLACE_EXISTING)) {
                FtMeterFileDone();
                return (rf->attributes & FILE_ATTRIBUTE_READONLY) ? SetAttributes(d, rf->path, rf->attributes) : 1;
            }
            if (!Retry(d, IDS_FT_CANNOT_DELETE, rf->path))
                break;
        }
        if (readOnly)
            Restore(rf->path, old);
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

// A file that comes whole in its first packet and has no name at the target is written
// under its own name at once, held by its handle: no temporary to rename, and no second
// look for the name. 0 when the name is taken (a link counts) or cannot be made, -1 when
// the answer could not be sent.
int CreateDirect(Download *d, const char *local)
{
    Receiving *rf = &d->rf;
    rf->file = CreateFileA(local, GENERIC_WRITE | DELETE, FILE_SHARE_READ, NULL, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (rf->file == INVALID_HANDLE_VALUE)
        return 0;
    rf->doomed = Doom(rf->file, TRUE);
    rf->direct = 1;
    snprintf(rf->temp, sizeof(rf->temp), "%s", local);
    if (!AnswerNow(d)) {
        Discard(rf); // the answer of stop that follows fails too, and ends the session
        return -1;
    }
    return 1;
}

int BeginFile(Download *d, const FtFileBegin *b, const char *local, uint32_t attributes)
{
    Receiving *rf = &d->rf;
    rf->existed = 0;
    rf->direct = 0;
    char folder[kFtPathField], last[kFtPathField];
    if (!FtParentPath(local, folder, last))
        return 0;
    Sweep(d, folder);
    const int direct = b->last ? CreateDirect(d, local) : 0;
    if (direct < 0 || (b->last && !direct && !StaysInside(d, local, b->path)))
        return 0;
    for (; !rf->direct;) {
        const DWORD old = GetFileAttributesA(local);
        if (old == INVALID_FILE_ATTRIBUTES)
            break;
        rf->existed = 1;
        if (old & FILE_ATTRIBUTE_DIRECTORY) {
            SetLastError(ERROR_ALREADY_EXISTS);
            if (!Retry(d, IDS_FT_CANNOT_CREATE_FILE, local))
                return 0;
            continue;
        }
        if (g_confirmEach) {
            const INT_PTR r = FtAskExisting(d->w->dialog, local, b->attributes);
            if (r != IDYES && r != IDC_FT_YES_TO_ALL)
                return 0;
            if (r == IDC_FT_YES_TO_ALL)
                InterlockedExchange(&g_confirmEach, 0);
        }
        break;
    }
    while (!rf->direct && !CreateTemp(d, folder))
        if (!Retry(d, IDS_FT_CANNOT_CREATE_FILE, local))
            return 0;
    snprintf(rf->path, sizeof(rf->path), "%s", local);
    snprintf(rf->relative, sizeof(rf->relative), "%s", b->path);
    rf->attributes = attributes;
    rf->incoming = b->attributes;
    rf->expected = d->entry->directory ? kAnySize : d->entry->size;
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
    if (!FtDownloadPathOk(b.path, &why))
        return RefusePath(d, b.path, why);
    if (!FtDownloadPathBelongs(b.path, d->entry->name, d->entry->directory != 0, &why))
        return RefusePath(d, b.path, why, IDS_FT_FOREIGN_DOWNLOAD_PATH);
    if (!d->entry->directory && b.directory)
        return RefusePath(d, b.path, "a folder where a file was asked for", IDS_FT_FOREIGN_DOWNLOAD_PATH);
    WorkerParams *w = d->w;
    char local[kFtPathField], remote[kFtPathField];
    if (!FtJoinPath(w->target, b.path, local) || !FtJoinPath(w->folder, b.path, remote)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        FtLastErrorBox(w->dialog, IDS_FT_CANNOT_CREATE_FILE, 0, b.path, MB_OK | MB_ICONSTOP);
        return 0;
    }
    // A file that comes whole looks at its own name when it is created.
    if (!StaysInside(d, local, b.path, b.directory || !b.last))
        return 0;
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

// A data packet in the middle of an open file is answered as soon as it is taken, so the
// Agent seals the next one while this one is opened and written; a failure then stops
// the file at the next packet, and the old file stays as it is.
int AnswerEarly(const Download *d)
{
    const SessPacketHeader *h = (const SessPacketHeader *)d->packet;
    const uint8_t *payload = d->packet + sizeof(*h);
    return h->dwType == PKT_FT_FILE_DATA && h->dwDataLen >= kFtFileDataHead && GetU32LE(payload) == 0 &&
           GetU32LE(payload + 4) == 0 && d->rf.file != INVALID_HANDLE_VALUE;
}

// After an early answer the Agent sends one more packet, which must hear stop when the
// copy ends before it is taken; otherwise the Agent waits for an answer nobody gives.
void AnswerOwed(Download *d)
{
    if (!d->owed)
        return;
    d->owed = 0;
    // After a whole file the Agent may end the item instead: then nothing is owed.
    HANDLE events[2] = {g_session.syncReplyEvent, d->w->replyEvent};
    const DWORD count = d->w->replyEvent ? 2 : 1;
    for (DWORD waited = 0; waited < kOwedWaitMs; waited += kPollMs) {
        if (InterlockedCompareExchange(&g_syncReply.full, 0, 0)) {
            InterlockedExchange(&g_syncReply.full, 0);
            Answer(FT_ANSWER_NO);
            return;
        }
        if (FtSessionGone())
            return;
        if (WaitForMultipleObjects(count, events, FALSE, kPollMs) == WAIT_OBJECT_0 + 1)
            return;
    }
    WriteLogF("Download: the packet after an answer did not come in %u s.", (unsigned)(kOwedWaitMs / 1000));
}

// The dialog went away: nothing half-written stays, a packet waiting is answered stop.
int Abort(Download *d)
{
    WriteLogF("Download: the progress dialog is gone; the copy ends at once.");
    Discard(&d->rf);
    if (InterlockedCompareExchange(&g_syncReply.full, 0, 0)) {
        InterlockedExchange(&g_syncReply.full, 0);
        d->owed = 0;
        Answer(FT_ANSWER_NO);
    }
    AnswerOwed(d);
    return 0;
}

// One item: 1 when it ended with its PKT_FT_ACK, 0 when the operation stops. *cancelled
// is set by a cancel, which takes effect at the next file or folder boundary.
int RunItem(Download *d, uint32_t index, int *cancelled)
{
    WorkerParams *w = d->w;
    const FtEntry *e = &w->selection.items[index].entry;
    d->entry = e;
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
    // In this order: the dialog gone, cancel, a packet, the item's end.
    enum { kAbort, kCancel, kPacket, kReply, kEvents };
    HANDLE events[kEvents] = {w->abortEvent, w->cancelEvent, g_session.syncReplyEvent, w->replyEvent};
    const DWORD first = w->abortEvent ? kAbort : kCancel;
    for (;;) {
        const DWORD r = WaitForMultipleObjects(kEvents - first, events + first, FALSE, kPollMs);
        if (r == WAIT_TIMEOUT) {
            if (FtSessionGone())
                return 0;
            continue;
        }
        // Teardown may have closed an event under the worker: waiting again would spin.
        if (r - WAIT_OBJECT_0 >= kEvents - first) {
            WriteLogF("Download: waiting for the Agent failed (error %lu); the copy ends.", GetLastError());
            Discard(&d->rf);
            return 0;
        }
        const DWORD which = r - WAIT_OBJECT_0 + first;
        if (which == kAbort)
            return Abort(d);
        if (which == kReply) {
            d->owed = 0; // the item ended after a file answered early
            return 1;
        }
        if (which == kCancel) {
            *cancelled = 1;
            continue;
        }
        if (!InterlockedCompareExchange(&g_syncReply.full, 0, 0))
            continue;
        // The buffer stays full until the answer: a packet that comes before it is marked.
        d->length = g_syncReply.length;
        memcpy(d->packet, g_syncReply.bytes, d->length);
        d->owed = 0;
        const SessPacketHeader *h = (const SessPacketHeader *)d->packet;
        int stop;
        if (Overrun(d)) {
            stop = 1;
        } else if (AnswerEarly(d)) {
            // Emptied before the answer leaves, or the Agent's next packet could find it full.
            InterlockedExchange(&g_syncReply.full, 0);
            if (!Answer(FT_ANSWER_GO_ON)) {
                Discard(&d->rf);
                ConnectionClosed();
                return 0;
            }
            d->owed = 1;
            // The dialog gone is seen at the next wait, which looks at it first.
            if (!Handle(d)) {
                Discard(&d->rf);
                AnswerOwed(d);
                return 0;
            }
            continue;
        } else if (*cancelled && h->dwType == PKT_FT_FILE_BEGIN && d->rf.file == INVALID_HANDLE_VALUE) {
            stop = 1; // nothing new begins after a cancel
        } else {
            d->mayAnswer = h->dwType == PKT_FT_FILE_BEGIN && !*cancelled;
            d->answered = 0;
            const int handled = Handle(d);
            d->mayAnswer = 0;
            if (d->answered) {
                // As after an early answer: a failure stops the copy at the next packet.
                if (!handled) {
                    Discard(&d->rf);
                    AnswerOwed(d);
                    return 0;
                }
                continue;
            }
            stop = !handled || (d->rf.file == INVALID_HANDLE_VALUE && *cancelled);
        }
        if (Aborted(d))
            return Abort(d);
        InterlockedExchange(&g_syncReply.full, 0);
        if (!stop && Overrun(d))
            stop = 1;
        if (!Answer(stop ? FT_ANSWER_NO : FT_ANSWER_GO_ON)) {
            Discard(&d->rf);
            ConnectionClosed();
            return 0;
        }
        if (stop) {
            Discard(&d->rf);
            return 0;
        }
    }
}

} // namespace

void FtDownloadWorker(WorkerParams *w)
{
    InterlockedExchange(&g_confirmEach, 1);
    Download *d = (Download *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Download));
    if (!d) {
        WriteLogF("No memory for the download's buffers: the copy does not start.");
        FtWorkerDone(w, 2);
        return;
    }
    d->w = w;
    d->rf.file = INVALID_HANDLE_VALUE;
    if (!FinalPath(w->target, d->targetFinal)) {
        const DWORD error = GetLastError();
        WriteLogF("Download: where %s leads cannot be read (error %lu): the copy does not start.", w->target, error);
        SetLastError(error);
        FtLastErrorBox(w->dialog, IDS_FT_CANNOT_CREATE_FILE, 0, w->target, MB_OK | MB_ICONSTOP);
        HeapFree(GetProcessHeap(), 0, d);
        FtWorkerDone(w, 2);
        return;
    }
    uint64_t total = 0;
    int exact = 1;
    for (uint32_t i = 0; i < w->selection.count; i++) {
        total += w->selection.items[i].entry.directory ? 0 : w->selection.items[i].entry.size;
        exact &= !w->selection.items[i].entry.directory; // a folder's size shows as it arrives
    }
    FtMeterBegin(total, exact);
    InterlockedExchange(&g_syncReply.full, 0);
    InterlockedExchange(&g_syncReply.overrun, 0);
    ResetEvent(g_session.syncReplyEvent);
    InterlockedExchange(&g_syncReply.open, 1);
    FtAckShortcutOpen(w->replyEvent);
    int cancelled = 0, ok = 1;
    for (uint32_t i = 0; ok && !cancelled && i < w->selection.count; i++)
        ok = WaitForSingleObject(w->cancelEvent, 0) != WAIT_OBJECT_0 && !Aborted(d) && RunItem(d, i, &cancelled);
    FtAckShortcutClose();
    InterlockedExchange(&g_syncReply.open, 0);
    InterlockedExchange(&g_syncReply.full, 0);
    Discard(&d->rf);
    HeapFree(GetProcessHeap(), 0, d);
    FtWorkerDone(w, ok && !cancelled ? 1 : 2);
}
