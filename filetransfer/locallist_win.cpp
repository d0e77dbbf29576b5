// The local panel: drives, the listing of a folder of this computer and its
// navigation. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/paths.h"
#include "shell/state.h"

#include <cstdio>
#include <cstring>

static FilePanel *Local(void) { return &g_ft.panels[kFtLocal]; }

// Drive icon index by drive type: removable, fixed, remote, CD-ROM, RAM disk.
int FtDriveIcon(uint32_t type)
{
    switch (type) {
    case 2:
        return 0;
    case 3:
        return 1;
    case 5:
        return 2;
    case 6:
        return 3;
    case 4:
        return 4;
    }
    return -1;
}

static int DirectoryExists(const char *path)
{
    char was[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof(was), was);
    const int ok = SetCurrentDirectoryA(path) != 0;
    if (n && n < sizeof(was))
        SetCurrentDirectoryA(was);
    return ok;
}

void FtSelectLocalDrive(int d)
{
    FilePanel *p = Local();
    for (int i = 0; i < kFtDriveCount; i++) {
        DriveSlot *s = &p->drives[i];
        char root[4] = {(char)('A' + i), ':', '\\', 0};
        s->number = (uint32_t)i;
        snprintf(s->name, sizeof(s->name), "%c:", 'A' + i);
        const UINT type = GetDriveTypeA(root);
        s->type = type >= 2 && type <= 6 ? type : 0;
        s->icon = s->type ? FtDriveIcon(s->type) : -1;
        if (d == -1 && s->type == DRIVE_FIXED)
            d = i;
    }
    if (d >= 0 && d < kFtDriveCount && !p->drives[d].type)
        for (int i = 0; i < kFtDriveCount; i++)
            if (p->drives[i].type == DRIVE_FIXED) {
                d = i;
                break;
            }
    if (d < 0 || d >= kFtDriveCount || !p->drives[d].type)
        for (d = 0; d < kFtDriveCount && !p->drives[d].type; d++) {
        }
    p->currentDrive = d < kFtDriveCount ? d : -1;
    FtRebuildDriveCombo(p);
    if (p->currentDrive < 0) {
        p->currentDirectory[0] = 0;
        return;
    }
    HCURSOR was = SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_WAIT));
    DriveSlot *s = &p->drives[d];
    if (!s->path[0] || !DirectoryExists(s->path))
        snprintf(s->path, sizeof(s->path), "%c:\\", 'A' + d);
    snprintf(p->currentDirectory, sizeof(p->currentDirectory), "%s", s->path);
    ULARGE_INTEGER avail;
    if (GetDiskFreeSpaceExA(p->currentDirectory, &avail, NULL, NULL))
        p->freeBytes = avail.QuadPart;
    else {
        p->freeBytes = 0;
        SetLastError(0);
    }
    SetCursor(was);
}

void FtListLocal(const char *name)
{
    FilePanel *p = Local();
    FtClearList(p);
    if (p->currentDrive < 0)
        return;
    HCURSOR was = SetCursor(LoadCursorA(NULL, (LPCSTR)IDC_WAIT));
    char pattern[MAX_PATH + 8];
    if (!FtJoinPath(p->currentDirectory, "*.*", pattern)) {
        SetCursor(was);
        return;
    }
    static FtIconCache icons; // the shell's answers of this listing
    icons.count = icons.next = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    FtHoldRedraw(p, 1);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(fd.cFileName, ".") == 0)
                continue;
            FtEntry e = {};
            e.directory = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
            e.attributes = fd.dwFileAttributes;
            e.created = (uint64_t)fd.ftCreationTime.dwHighDateTime << 32 | fd.ftCreationTime.dwLowDateTime;
            e.accessed = (uint64_t)fd.ftLastAccessTime.dwHighDateTime << 32 | fd.ftLastAccessTime.dwLowDateTime;
            e.written = (uint64_t)fd.ftLastWriteTime.dwHighDateTime << 32 | fd.ftLastWriteTime.dwLowDateTime;
            e.size = (uint64_t)fd.nFileSizeHigh << 32 | fd.nFileSizeLow;
            snprintf(e.name, sizeof(e.name), "%s", fd.cFileName);
            char typeName[80] = "", full[kFtPathField];
            int icon = -1;
            if (strcmp(e.name, "..") != 0 && FtJoinPath(p->currentDirectory, e.name, full))
                icon = e.directory ? FtShellIcon(full, typeName, sizeof(typeName))
                                   : FtLocalFileIcon(&icons, full, e.name, typeName, sizeof(typeName));
            if (!FtAppendItem(p, &e, icon, typeName))
                break;
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    FtSortList(p);
    FtHoldRedraw(p, 0);
    FtSelectNamed(p, name);
    SetCursor(was);
}

static void Show(const char *select)
{
    FilePanel *p = Local();
    FtSelectLocalDrive(p->currentDrive);
    FtListLocal(select);
    FtShowDirectory(p);
    FtUpdateCommands();
}

static DriveSlot *CurrentSlot(void)
{
    FilePanel *p = Local();
    return p->currentDrive >= 0 && p->currentDrive < kFtDriveCount ? &p->drives[p->currentDrive] : NULL;
}

void FtLocalOpen(void)
{
    FilePanel *p = Local();
    FileItem *f = FtFocusedItem(p);
    DriveSlot *s = CurrentSlot();
    if (!f || !f->entry.directory || !s)
        return;
    if (strcmp(f->entry.name, "..") == 0) {
        FtLocalUp();
        return;
    }
    char next[kFtPathField];
    if (!FtJoinPath(p->currentDirectory, f->entry.name, next))
        return;
    snprintf(s->path, sizeof(s->path), "%s", next);
    Show(NULL);
}

void FtLocalUp(void)
{
    FilePanel *p = Local();
    DriveSlot *s = CurrentSlot();
    char parent[kFtPathField], last[kFtPathField];
    if (!s || FtIsRoot(p->currentDirectory) || !FtParentPath(p->currentDirectory, parent, last))
        return;
    snprintf(s->path, sizeof(s->path), "%s", parent);
    Show(last);
}

void FtLocalRoot(void)
{
    FilePanel *p = Local();
    DriveSlot *s = CurrentSlot();
    char root[kFtPathField];
    if (!s || FtIsRoot(p->currentDirectory) || !FtRootOf(p->currentDirectory, root))
        return;
    snprintf(s->path, sizeof(s->path), "%s", root);
    Show(NULL);
}

void FtLocalRefresh(void) { Show(NULL); }

void FtLocalRefreshSelecting(const char *name) { Show(name); }

void FtLocalDrivePicked(int d)
{
    FilePanel *p = Local();
    if (d == p->currentDrive)
        return;
    p->currentDrive = d;
    Show(NULL);
}

int FtLocalTyped(const char *typed)
{
    char path[kFtPathField];
    const char *why;
    if (!FtCanonicaliseTyped(typed, path, &why) || !DirectoryExists(path))
        return 0;
    FilePanel *p = Local();
    const int d = path[0] - 'A';
    snprintf(p->drives[d].path, sizeof(p->drives[d].path), "%s", path);
    p->currentDrive = d;
    Show(NULL);
    FtFocusList(p);
    return 1;
}
