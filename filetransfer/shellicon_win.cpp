// The shell's icons and type names of the panels' items, and the answers kept by
// extension: the shell takes milliseconds a file, so a folder of thousands asks it
// once per extension, except where the icon comes from the file itself. UI thread only.
#include "filetransfer/panel_win.h"
#include "filetransfer/sortorder.h"

#include <cstdio>
#include <cstring>
#include <shellapi.h>

int FtShellIcon(const char *path, char *typeName, size_t cap)
{
    SHFILEINFOA sfi = {};
    if (!SHGetFileInfoA(path, 0, &sfi, sizeof(sfi), SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_TYPENAME)) {
        typeName[0] = 0;
        return -1;
    }
    snprintf(typeName, cap, "%s", sfi.szTypeName);
    return sfi.iIcon;
}

const char *FtExtension(const char *name)
{
    const char *dot = strrchr(name, '.');
    return dot ? dot : "";
}

int FtCachedIcon(const FtIconCache *c, const char *extension, int *icon, char *typeName, size_t cap)
{
    for (int i = 0; i < c->count; i++)
        if (FtCompareNames(c->answers[i].extension, extension) == 0) {
            *icon = c->answers[i].icon;
            snprintf(typeName, cap, "%s", c->answers[i].typeName);
            return 1;
        }
    return 0;
}

void FtCacheIcon(FtIconCache *c, const char *extension, int icon, const char *typeName)
{
    if (strlen(extension) >= sizeof(c->answers[0].extension))
        return;
    FtIconAnswer *a = &c->answers[c->next];
    c->next = (c->next + 1) % kFtIconCacheSize;
    if (c->count < kFtIconCacheSize)
        c->count++;
    snprintf(a->extension, sizeof(a->extension), "%s", extension);
    a->icon = icon;
    snprintf(a->typeName, sizeof(a->typeName), "%s", typeName);
}

// The class's icon is the file's own ("%1", as for programs and icon files) or comes
// from an icon handler (as for shortcuts).
static int IconFromFile(const char *extension)
{
    char cls[MAX_PATH] = "";
    LONG len = sizeof(cls);
    if (!extension[0] || RegQueryValueA(HKEY_CLASSES_ROOT, extension, cls, &len) != ERROR_SUCCESS || !cls[0])
        return 0;
    char key[MAX_PATH + 32], icon[MAX_PATH] = "";
    snprintf(key, sizeof(key), "%s\\shellex\\IconHandler", cls);
    HKEY h;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, &h) == ERROR_SUCCESS) {
        RegCloseKey(h);
        return 1;
    }
    snprintf(key, sizeof(key), "%s\\DefaultIcon", cls);
    len = sizeof(icon);
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key, icon, &len) != ERROR_SUCCESS)
        return 0;
    const char *v = icon;
    while (*v == '"' || *v == ' ')
        v++;
    return strncmp(v, "%1", 2) == 0;
}

int FtLocalFileIcon(FtIconCache *c, const char *path, const char *name, char *typeName, size_t cap)
{
    const char *extension = FtExtension(name);
    int icon;
    if (FtCachedIcon(c, extension, &icon, typeName, cap))
        return icon;
    icon = FtShellIcon(path, typeName, cap);
    // A class whose icon is the file's own is asked for every file of it.
    if (!IconFromFile(extension))
        FtCacheIcon(c, extension, icon, typeName);
    return icon;
}
