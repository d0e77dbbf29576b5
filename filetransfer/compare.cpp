// Compare panels. The other list is sorted once by folded name, so each item is looked
// up by binary search: two lists of ten thousand entries stay well under a second.
#include "filetransfer/compare.h"

#include "filetransfer/sortorder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

struct Keyed {
    const FtEntry *e;
    size_t order; // place in the other list: the first namesake decides
};

static int ByKind(const FtEntry *a, const FtEntry *b)
{
    const int c = FtCompareNames(a->name, b->name);
    if (c)
        return c;
    return (a->directory != 0) - (b->directory != 0);
}

static int CompareKeyed(const void *x, const void *y)
{
    const Keyed *a = (const Keyed *)x, *b = (const Keyed *)y;
    const int c = ByKind(a->e, b->e);
    if (c)
        return c;
    return a->order < b->order ? -1 : a->order > b->order ? 1 : 0;
}

// Last-write times as two 32-bit halves: the high one signed, the low one unsigned.
static int NotLater(uint64_t mine, uint64_t theirs)
{
    const int32_t hm = (int32_t)(uint32_t)(mine >> 32), ht = (int32_t)(uint32_t)(theirs >> 32);
    if (hm != ht)
        return hm < ht;
    return (uint32_t)mine <= (uint32_t)theirs;
}

int FtCompareMarks(const FtEntry *const *mine, size_t mineCount, const FtEntry *const *other, size_t otherCount,
                   unsigned char *select)
{
    Keyed *index = NULL;
    if (otherCount) {
        if (otherCount > SIZE_MAX / sizeof(Keyed))
            return 0;
        index = (Keyed *)malloc(otherCount * sizeof(Keyed));
        if (!index)
            return 0;
        for (size_t i = 0; i < otherCount; i++)
            index[i] = Keyed{other[i], i};
        qsort(index, otherCount, sizeof(Keyed), CompareKeyed);
    }
    for (size_t i = 0; i < mineCount; i++) {
        const FtEntry *e = mine[i];
        if (strcmp(e->name, "..") == 0) {
            select[i] = 0;
            continue;
        }
        // The first entry of the run of namesakes of the same kind.
        size_t lo = 0, hi = otherCount;
        while (lo < hi) {
            const size_t mid = lo + (hi - lo) / 2;
            if (ByKind(index[mid].e, e) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        const int found = lo < otherCount && ByKind(index[lo].e, e) == 0;
        select[i] = !(found && (e->directory || NotLater(e->written, index[lo].e->written)));
    }
    free(index);
    return 1;
}
