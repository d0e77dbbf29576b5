#include "filetransfer/selectiontext.h"

#include <cstdio>
#include <cstring>

int FtSelectionSentence(uint32_t folders, uint32_t files, const char *name, const FtSentencePieces *t, char *out,
                        size_t cap)
{
    if (cap == 0)
        return 0;
    out[0] = 0;
    const uint64_t total = (uint64_t)folders + files;
    if (total == 0)
        return 0;
    if (total == 1 && files == 1)
        snprintf(out, cap, "%s\"%s\"", t->oneFile, name);
    else if (total == 1)
        snprintf(out, cap, "%s\"%s\"%s", t->oneFolder, name, t->folderTree);
    else
        snprintf(out, cap, "%llu %s", (unsigned long long)total,
                 folders == 0 ? t->files
                 : files == 0 ? t->folders
                              : t->items);
    return 1;
}

void FtAttributeNames(uint32_t attributes, const char *readOnly, const char *hidden, const char *system, char *out,
                      size_t cap)
{
    if (cap == 0)
        return;
    snprintf(out, cap, "%s%s%s%s%s", (attributes & 1) ? readOnly : "", (attributes & 1) ? "  " : "",
             (attributes & 2) ? hidden : "", (attributes & 2) ? "  " : "", (attributes & 4) ? system : "");
}

uint32_t FtSelectionRoom(uint32_t room, size_t itemSize)
{
    const uint32_t grown = room < 16 ? 16 : room > UINT32_MAX / 2 ? UINT32_MAX : room * 2;
    if (grown == room || itemSize == 0 || grown > SIZE_MAX / itemSize)
        return 0;
    return grown;
}
