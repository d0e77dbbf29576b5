// The remote panel: its list built from the Agent's listing packets, at most one
// folder's worth, and its navigation, each step one listing request under the request
// dialog. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "lang/stringids.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

enum { kIdle = 0, kAwaitHead = 1, kAwaitMore = 2 };
// Entries one listing may add: about the most a Windows folder holds. An Agent that
// goes on past it is not listing a folder, and the list would grow without end.
enum { kListingMax = 200000 };
// How the listing handler ended the request, for the box shown after the dialog.
enum { kEndNone = 0, kEndDamaged = 1, kEndLimit = 2 };

static int g_awaiting;     // where the listing asked for stands
static int g_ended;        // kEnd*: set by the handler, read when the dialog is gone
static int g_headTaken;    // this request's head rebuilt the list
static int g_unsorted;     // the list holds entries not yet sorted
static uint32_t g_taken;   // entries of this listing in the list
static uint32_t g_dropped; // listing packets dropped since the last head taken

// Every remote folder shows as the program's own folder does; asked once a listing.
static struct {
    int known, icon;
    char typeName[80];
} g_folder;

static FilePanel *Remote(void) { return &g_ft.panels[kFtRemote]; }

static void EndRequest(int ended, int result)
{
    g_awaiting = kIdle;
    g_ended = ended;
    if (g_ft.activeDialog)
        PostMessageA(g_ft.activeDialog, WM_CV_FT_REQUEST_DONE, (WPARAM)result, 0);
}

// The rest of a listing nobody waits for any more (cancelled, silent too long, ended by
// a fault or the limit) keeps coming until the Agent is done with it: the first packet
// is logged and the others counted, so an endless stream costs two lines.
static void Drop(uint32_t type, const char *why)
{
    if (g_dropped++ == 0)
        WriteLogF("Listing packet type %u %s: dropped, with what follows until the next listing.", (unsigned)type, why);
}

static void TakeHead(FilePanel *p, const FtListing *l)
{
    FtClearList(p);
    FtForgetProbeAnswers();
    g_headTaken = 1;
    g_unsorted = 1;
    g_taken = 0;
    g_folder.known = 0;
    // Drawn again when the request ends, whatever its end.
    FtHoldRedraw(p, 1);
    for (int d = 0; d < kFtDriveCount; d++) {
        DriveSlot *s = &p->drives[d];
        s->number = (uint32_t)d;
        s->type = l->driveTypes[d];
        s->icon = s->type ? FtDriveIcon(s->type) : -1;
        snprintf(s->name, sizeof(s->name), "%c:", 'A' + d);
    }
    p->currentDrive = (int)l->currentDrive;
    p->freeBytes = l->freeBytes;
    snprintf(p->currentDirectory, sizeof(p->currentDirectory), "%s", l->path);
    snprintf(p->drives[p->currentDrive].path, sizeof(p->drives[0].path), "%s", l->path);
    FtRebuildDriveCombo(p);
    FtShowDirectory(p);
}

// 0 when the listing reached its limit: the rest is not taken.
static int TakeEntries(FilePanel *p, const FtListing *l)
{
    const uint8_t *at = l->entries;
    size_t left = l->entriesLen;
    uint32_t skipped = 0;
    FtEntry e;
    int room = 1;
    while (FtNextEntry(&at, &left, &e, &skipped)) {
        if (g_taken >= kListingMax) {
            WriteLogF("The remote listing goes on past %u entries: the rest is left out.", (unsigned)kListingMax);
            room = 0;
            break;
        }
        char typeName[80] = "";
        int icon = -1;
        if (strcmp(e.name, "..") == 0) {
        } else if (e.directory) {
            if (!g_folder.known) {
                g_folder.icon = FtShellIcon(g_viewer.moduleDirectory, g_folder.typeName, sizeof(g_folder.typeName));
                g_folder.known = 1;
            }
            icon = g_folder.icon;
            snprintf(typeName, sizeof(typeName), "%s", g_folder.typeName);
        } else {
            icon = FtProbeIcon(e.name, typeName, sizeof(typeName));
        }
        if (!FtAppendItem(p, &e, icon, typeName)) {
            WriteLogF("The remote list refused an item: the rest of the packet is dropped.");
            break;
        }
        g_taken++;
    }
    if (skipped)
        WriteLogF("Remote listing: %u entries with names that are not file names were left out.", (unsigned)skipped);
    return room;
}

void FtOnListingPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    const int head = h->dwType == PKT_FT_DIR_LISTING;
    if (g_awaiting == kIdle || !g_ft.activeDialog) {
        Drop(h->dwType, "with no listing asked for");
        return;
    }
    // The Agent answers every request in turn: MORE packets before a head are the tail
    // of a listing given up, and the answer starts with a head of its own.
    if (!head && g_awaiting == kAwaitHead) {
        Drop(h->dwType, "before the head of the listing asked for");
        return;
    }
    FtListing l;
    const char *why = NULL;
    if (!(head ? ParseFtListing(h, payload, &l, &why) : ParseFtListingMore(h, payload, &l, &why))) {
        // The rest of such a listing cannot be trusted either: the request ends.
        WriteLogF("Listing packet type %u of %u bytes refused: %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        EndRequest(kEndDamaged, 2);
        return;
    }
    if (why)
        WriteLogF("Listing packet type %u: %s.", (unsigned)h->dwType, why);
    FtRequestHeard();
    FilePanel *p = Remote();
    if (head) {
        if (g_awaiting == kAwaitMore)
            WriteLogF("A new PKT_FT_DIR_LISTING before the last one completed: the list starts again.");
        if (g_dropped > 1)
            WriteLogF("%u listing packets were dropped before this listing.", (unsigned)g_dropped);
        g_dropped = 0;
        TakeHead(p, &l);
    }
    if (!TakeEntries(p, &l)) {
        EndRequest(kEndLimit, 1);
        return;
    }
    if (!l.complete) {
        g_awaiting = kAwaitMore;
        return;
    }
    EndRequest(kEndNone, 1);
}

// One listing request; afterwards the named folder (or item 0) is selected.
static void List(uint32_t drive, const char *path, const char *select)
{
    FilePanel *p = Remote();
    // One request at a time: a control may still notify while the dialog runs.
    if (g_ft.activeDialog)
        return;
    g_awaiting = kAwaitHead;
    g_ended = kEndNone;
    g_headTaken = 0;
    const int r = FtRunListRequest(g_ft.frame, drive, path);
    // Cancelled, silent too long or refused: what still comes of this listing is dropped,
    // and the list keeps what it took, sorted.
    g_awaiting = kIdle;
    if (g_unsorted)
        FtSortList(p);
    g_unsorted = 0;
    FtHoldRedraw(p, 0);
    if (g_headTaken)
        FtSelectNamed(p, r == 1 ? select : NULL);
    if (!g_ft.frame) {
        // The window went with the session meanwhile.
    } else if (g_ended == kEndLimit)
        FtPathBox(g_ft.frame, IDS_FT_CANNOT_READ_FOLDER, IDS_FT_REMOTE_SUFFIX, IDS_FT_LISTING_LIMIT,
                  p->currentDirectory, MB_OK | MB_ICONWARNING);
    else if (g_ended == kEndDamaged)
        FtPathBox(g_ft.frame, IDS_FT_CANNOT_READ_FOLDER, IDS_FT_REMOTE_SUFFIX, IDS_FT_LISTING_DAMAGED,
                  p->currentDirectory, MB_OK | MB_ICONSTOP);
    FtUpdateStatus(p);
    FtUpdateCommands();
    FtFocusList(p);
}

static uint32_t CurrentDrive(void)
{
    const int d = Remote()->currentDrive;
    return d < 0 ? kFtNoDrive : (uint32_t)d;
}

void FtRemoteOpen(void)
{
    FilePanel *p = Remote();
    FileItem *f = FtFocusedItem(p);
    if (!f || !f->entry.directory)
        return;
    if (strcmp(f->entry.name, "..") == 0) {
        FtRemoteUp();
        return;
    }
    char next[kFtPathField];
    if (FtJoinPath(p->currentDirectory, f->entry.name, next))
        List(CurrentDrive(), next, NULL);
}

void FtRemoteUp(void)
{
    FilePanel *p = Remote();
    char parent[kFtPathField], last[kFtPathField];
    if (!FtIsRoot(p->currentDirectory) && FtParentPath(p->currentDirectory, parent, last))
        List(CurrentDrive(), parent, last);
}

void FtRemoteRoot(void)
{
    FilePanel *p = Remote();
    char root[kFtPathField];
    if (!FtIsRoot(p->currentDirectory) && FtRootOf(p->currentDirectory, root))
        List(CurrentDrive(), root, NULL);
}

void FtRemoteRefresh(void) { List(CurrentDrive(), "", NULL); }

void FtRemoteRefreshSelecting(const char *name) { List(CurrentDrive(), "", name); }

void FtRemoteDrivePicked(int d)
{
    // The current drive too: an empty path lists the folder the Agent holds on it.
    if (d >= 0 && d < kFtDriveCount && Remote()->drives[d].type)
        List((uint32_t)d, "", NULL);
}

int FtRemoteTyped(const char *typed)
{
    char path[kFtPathField];
    const char *why;
    if (!FtCanonicaliseTyped(typed, path, &why))
        return 0;
    const int d = path[0] - 'A';
    if (!Remote()->drives[d].type)
        return 0;
    List((uint32_t)d, path, NULL);
    return 1;
}
