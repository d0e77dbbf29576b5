// IconProbeFile: an empty file in the user's temporary folder, renamed to the extension
// of each remote file the list shows, so that the shell names that extension's icon and
// type without the file being here. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/sortorder.h"
#include "shell/log_win.h"

#include <cstdio>
#include <cstring>

// The shell's answers of one listing, by extension: a listing whose extensions
// alternate would otherwise rename the probe for nearly every entry.
static FtIconCache g_answers;

int FtCreateIconProbe(void)
{
    IconProbeFile *p = &g_ft.probe;
    memset(p, 0, sizeof(*p));
    char folder[MAX_PATH];
    const DWORD n = GetTempPathA(sizeof(folder), folder);
    HANDLE h = INVALID_HANDLE_VALUE;
    if (n && n < sizeof(folder) && GetTempFileNameA(folder, "Cvt", 0, p->path)) {
        h = CreateFileA(p->path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE, NULL);
        if (h == INVALID_HANDLE_VALUE)
            DeleteFileA(p->path); // the name GetTempFileName reserved
    }
    if (h == INVALID_HANDLE_VALUE) {
        WriteLog("Can't create temporary file");
        p->path[0] = 0;
        return 0;
    }
    CloseHandle(h);
    snprintf(p->base, sizeof(p->base), "%s", p->path);
    char *slash = strrchr(p->base, '\\'), *dot = strrchr(p->base, '.');
    if (dot && (!slash || dot > slash))
        *dot = 0;
    snprintf(p->extension, sizeof(p->extension), ".TMP");
    FtForgetProbeAnswers();
    return 1;
}

void FtDeleteIconProbe(void)
{
    if (g_ft.probe.path[0])
        DeleteFileA(g_ft.probe.path);
    g_ft.probe.path[0] = 0;
}

void FtForgetProbeAnswers(void) { g_answers.count = g_answers.next = 0; }

// Gives the probe the extension; 0 when it cannot be moved there.
static int Rename(const char *extension)
{
    IconProbeFile *p = &g_ft.probe;
    if (!p->path[0])
        return 0;
    if (FtCompareNames(extension, p->extension) == 0)
        return 1;
    char next[MAX_PATH];
    const int n = snprintf(next, sizeof(next), "%s%s", p->base, extension);
    if (n < 0 || n >= (int)sizeof(next) || !MoveFileA(p->path, next))
        return 0;
    snprintf(p->path, sizeof(p->path), "%s", next);
    snprintf(p->extension, sizeof(p->extension), "%s", extension);
    return 1;
}

int FtProbeIcon(const char *name, char *typeName, size_t cap)
{
    const char *extension = FtExtension(name);
    int icon = -1;
    if (FtCachedIcon(&g_answers, extension, &icon, typeName, cap))
        return icon;
    typeName[0] = 0;
    // A move that fails leaves the shell without an answer: no icon, no type name.
    if (strlen(extension) < MAX_PATH && Rename(extension))
        icon = FtShellIcon(g_ft.probe.path, typeName, cap);
    FtCacheIcon(&g_answers, extension, icon, typeName);
    return icon;
}
