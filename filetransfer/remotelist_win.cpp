// The remote panel: its list built from the Agent's listing packets, and its
// navigation, each step one listing request under the request dialog. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "shell/log_win.h"
#include "shell/messages.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

enum { kIdle = 0, kAwaitHead = 1, kAwaitMore = 2 };
static int g_awaiting;  // where the listing asked for stands

// Every remote folder shows as the program's own folder does; asked once a listing.
static struct {
    int known, icon;
    char typeName[80];
} g_folder;

static FilePanel *Remote(void) { return &g_ft.panels[kFtRemote]; }

static void EndRequest(int result)
{
    g_awaiting = kIdle;
    if (g_ft.activeDialog)
        PostMessageA(g_ft.activeDialog, WM_CV_FT_REQUEST_DONE, (WPARAM)result, 0);
}

static void TakeHead(FilePanel *p, const FtListing *l)
{
    FtClearList(p);
    FtForgetProbeAnswers();
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

static void TakeEntries(FilePanel *p, const FtListing *l)
{
    const uint8_t *at = l->entries;
    size_t left = l->entriesLen;
    uint32_t skipped = 0;
    FtEntry e;
    while (FtNextEntry(&at, &left, &e, &skipped)) {
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
    }
    if (skipped)
        WriteLogF("Remote listing: %u entries with names that are not file names were left out.",
                  (unsigned)skipped);
}

void FtOnListingPacket(const SessPacketHeader *h, const uint8_t *payload)
{
    if (g_awaiting == kIdle || !g_ft.activeDialog) {
        WriteLogF("Listing packet type %u with no listing asked for: dropped.", (unsigned)h->dwType);
        return;
    }
    if (h->dwType == PKT_FT_DIR_LISTING_MORE && g_awaiting == kAwaitHead) {
        WriteLogF("PKT_FT_DIR_LISTING_MORE before its PKT_FT_DIR_LISTING: dropped.");
        return;
    }
    FtListing l;
    const char *why = NULL;
    const int head = h->dwType == PKT_FT_DIR_LISTING;
    if (!(head ? ParseFtListing(h, payload, &l, &why) : ParseFtListingMore(h, payload, &l, &why))) {
        // The rest of such a listing cannot be trusted either: the request ends.
        WriteLogF("Listing packet type %u of %u bytes refused: %s.", (unsigned)h->dwType, (unsigned)h->dwDataLen,
                  why ? why : "malformed");
        EndRequest(2);
        return;
    }
    if (why)
        WriteLogF("Listing packet type %u: %s.", (unsigned)h->dwType, why);
    FilePanel *p = Remote();
    if (head)
        TakeHead(p, &l);
    TakeEntries(p, &l);
    if (!l.complete) {
        g_awaiting = kAwaitMore;
        return;
    }
    FtSortList(p);
    EndRequest(1);
}

// One listing request; afterwards the named folder (or item 0) is selected.
static void List(uint32_t drive, const char *path, const char *select)
{
    FilePanel *p = Remote();
    // One request at a time: a control may still notify while the dialog runs.
    if (g_ft.activeDialog)
        return;
    g_awaiting = kAwaitHead;
    const int r = FtRunListRequest(g_ft.frame, drive, path);
    g_awaiting = kIdle;
    FtHoldRedraw(p, 0);
    if (r == 1)
        FtSelectNamed(p, select);
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
    if (d >= 0 && d < kFtDriveCount && d != Remote()->currentDrive && Remote()->drives[d].type)
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
