// The temporary folders of remote files given to other programs: naming and the rule of
// what start-up may remove. Pure.
#include "filetransfer/outbox.h"

#include <cstdio>
#include <cstring>

const char kFtOutboxPattern[] = "CorvidOut-*";

static const char kPrefix[] = "CorvidOut-";

int FtOutboxName(uint32_t pid, uint32_t serial, char *out, size_t cap)
{
    const int n = snprintf(out, cap, "%s%lu-%lu", kPrefix, (unsigned long)pid, (unsigned long)serial);
    return n > 0 && (size_t)n < cap;
}

// A decimal number within 32 bits, without sign or leading zero; the end in *end.
static int Number(const char *s, uint32_t *out, const char **end)
{
    if (*s < '0' || *s > '9' || (s[0] == '0' && s[1] >= '0' && s[1] <= '9'))
        return 0;
    uint64_t v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + (uint64_t)(*s++ - '0');
        if (v > 0xFFFFFFFFu)
            return 0;
    }
    *out = (uint32_t)v;
    *end = s;
    return 1;
}

int FtOutboxParse(const char *name, uint32_t *pid, uint32_t *serial)
{
    const size_t n = sizeof(kPrefix) - 1;
    const char *s;
    if (!name || strncmp(name, kPrefix, n) != 0 || !Number(name + n, pid, &s) || *s != '-' ||
        !Number(s + 1, serial, &s))
        return 0;
    return *s == 0;
}

int FtOutboxStale(int ownerRunning, uint64_t ownerStarted, uint64_t folderCreated)
{
    if (!ownerRunning)
        return 1;
    return ownerStarted && folderCreated && ownerStarted > folderCreated;
}
