// Sort order of the panels. Every key ends in the name, so equal keys never make the
// order depend on the sort routine (a compare that answers +1 both ways breaks sorts).
#include "filetransfer/sortorder.h"

#include <cstring>

static unsigned Fold(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 'A';
    if (c >= 0xE0)  // Cyrillic small letters of code page 1251
        return c - 0x20;
    if (c == 0xB8)  // small io
        return 0xA8;
    return c;
}

int FtCompareNames(const char *a, const char *b)
{
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    for (;; x++, y++) {
        const unsigned fx = Fold(*x), fy = Fold(*y);
        if (fx != fy)
            return fx < fy ? -1 : 1;
        if (!*x)
            return 0;
    }
}

static int IsUp(const FtEntry *e)
{
    return strcmp(e->name, "..") == 0;
}

static const char *Extension(const char *name)
{
    const char *dot = strrchr(name, '.');
    return dot ? dot : "";
}

static int Sign(uint64_t a, uint64_t b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

int FtCompareItems(const FtEntry *a, const FtEntry *b, int key)
{
    const int da = a->directory != 0, db = b->directory != 0;
    if (da != db)
        return da ? -1 : 1;
    const int ua = IsUp(a), ub = IsUp(b);
    if (ua != ub)
        return ua ? -1 : 1;
    int c = 0;
    switch (key) {
    case FT_SORT_SIZE: {
        // High halves as signed, low halves unsigned, larger first.
        const int32_t ha = (int32_t)(a->size >> 32), hb = (int32_t)(b->size >> 32);
        c = ha != hb ? (ha > hb ? -1 : 1) : -Sign((uint32_t)a->size, (uint32_t)b->size);
        break;
    }
    case FT_SORT_EXTENSION: c = FtCompareNames(Extension(a->name), Extension(b->name)); break;
    case FT_SORT_MODIFIED: c = -Sign(a->written, b->written); break;
    case FT_SORT_ATTRIBUTES: c = Sign(a->attributes & 0x27, b->attributes & 0x27); break;
    default: break;
    }
    if (c)
        return c;
    c = FtCompareNames(a->name, b->name);
    if (c)
        return c;
    c = strcmp(a->name, b->name);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}
