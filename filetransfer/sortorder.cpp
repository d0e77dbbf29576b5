// Sort order of the panels. Every key ends in the name, so equal keys never make the
// order depend on the sort routine (a compare that answers +1 both ways breaks sorts).
#include "filetransfer/sortorder.h"

#include <cstring>

namespace {

// Code page 1251 in the order of the system's case-insensitive string comparison:
// punctuation and symbols, digits, Latin, Cyrillic. One entry per letter or sign, both
// cases together; Ё stands right after Е and shares its place in the first comparison. The apostrophe, the hyphen, the
// soft hyphen and control characters count only when all else is equal, as in the
// system's word sort.
// The table keeps its own layout.
// clang-format off
const char *const kOrder[] = {
    " ", "\xA0", "!", "\"", "#", "$", "%", "&", "(", ")", "*", ",", ".", "/", ":", ";", "?", "@", "[", "\\",
    "]", "^", "_", "`", "{", "|", "}", "~", "\x91", "\x92", "\x82", "\x93", "\x94", "\x84", "\xAB", "\xBB",
    "\x8B", "\x9B", "\x96", "\x97", "\x85", "\x86", "\x87", "\x95", "\x89", "\xA6", "\xA7", "\xA9", "\xAE",
    "\xB0", "\xB6", "\xB7", "\xB9", "\x99", "\xA4", "\x88", "\xAC", "\xB1", "\x98", "+", "<", "=", ">",
    // digits, one by one as the system's string comparison takes them
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "Aa", "Bb", "Cc", "Dd", "Ee", "Ff", "Gg", "Hh", "Ii", "Jj", "Kk", "Ll", "Mm", "Nn", "Oo", "Pp", "Qq", "Rr",
    "Ss", "Tt", "Uu", "Vv", "Ww", "Xx", "Yy", "Zz", "\xB5",
    "\xC0\xE0", "\xC1\xE1", "\xC2\xE2", "\xC3\xE3", "\xA5\xB4", "\xC4\xE4", "\x80\x90", "\x81\x83",
    "\xC5\xE5", "\xA8\xB8", "\xAA\xBA", "\xC6\xE6", "\xC7\xE7", "\xBD\xBE", "\xC8\xE8", "\xB2\xB3",
    "\xAF\xBF", "\xC9\xE9", "\xA3\xBC", "\xCA\xEA", "\xCB\xEB", "\x8A\x9A", "\xCC\xEC", "\xCD\xED",
    "\x8C\x9C", "\xCE\xEE", "\xCF\xEF", "\xD0\xF0", "\xD1\xF1", "\xD2\xF2", "\x8E\x9E", "\x8D\x9D",
    "\xD3\xF3", "\xA1\xA2", "\xD4\xF4", "\xD5\xF5", "\xD6\xF6", "\xD7\xF7", "\x8F\x9F", "\xD8\xF8",
    "\xD9\xF9", "\xDA\xFA", "\xDB\xFB", "\xDC\xFC", "\xDD\xFD", "\xDE\xFE", "\xDF\xFF",
};
// clang-format on

struct Collation {
    unsigned short rank[256];    // a place of its own for each letter or sign, cases folded
    unsigned short primary[256]; // 0: left out of the first comparison
};

Collation Build(void)
{
    Collation c = {};
    unsigned short next = 1;
    for (const char *entry : kOrder) {
        const unsigned short at = next++;
        for (const unsigned char *p = (const unsigned char *)entry; *p; p++)
            c.rank[*p] = c.primary[*p] = at;
    }
    c.primary[0xA8] = c.primary[0xB8] = c.rank[0xC5];
    // The rest (the word sort's ignorables) rank after everything, each byte apart.
    for (int b = 1; b < 256; b++)
        if (!c.rank[b])
            c.rank[b] = next++;
    return c;
}

const Collation &Table(void)
{
    static const Collation c = Build();
    return c;
}

// The next sign of the first comparison from *p, 0 at the end of the name.
int Next(const Collation &t, const unsigned char **p, unsigned *weight)
{
    while (**p && !t.primary[**p])
        (*p)++;
    if (!**p)
        return 0;
    *weight = t.primary[*(*p)++];
    return 1;
}

// Signs by their place with Ё as Е; what is left out not counted.
int ComparePrimary(const Collation &t, const unsigned char *x, const unsigned char *y)
{
    for (;;) {
        unsigned a, b;
        const int more = Next(t, &x, &a), moreB = Next(t, &y, &b);
        if (!more || !moreB)
            return more - moreB;
        if (a != b)
            return a < b ? -1 : 1;
    }
}

// Sign by sign by their own places: skipping the word sort's ignorables breaks the ties
// of Ё and Е, keeping them tells apart the rest.
int CompareRanks(const Collation &t, const unsigned char *x, const unsigned char *y, int skip)
{
    for (;;) {
        while (skip && *x && !t.primary[*x])
            x++;
        while (skip && *y && !t.primary[*y])
            y++;
        if (!*x || !*y)
            return (*x != 0) - (*y != 0);
        if (t.rank[*x] != t.rank[*y])
            return t.rank[*x] < t.rank[*y] ? -1 : 1;
        x++;
        y++;
    }
}

} // namespace

int FtCompareNames(const char *a, const char *b)
{
    const Collation &t = Table();
    const unsigned char *x = (const unsigned char *)a, *y = (const unsigned char *)b;
    int c = ComparePrimary(t, x, y);
    if (!c)
        c = CompareRanks(t, x, y, 1);
    if (!c)
        c = CompareRanks(t, x, y, 0);
    return c;
}

static int IsUp(const FtEntry *e) { return strcmp(e->name, "..") == 0; }

static const char *Extension(const char *name)
{
    const char *dot = strrchr(name, '.');
    return dot ? dot : "";
}

static int Sign(uint64_t a, uint64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

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
    case FT_SORT_EXTENSION:
        c = FtCompareNames(Extension(a->name), Extension(b->name));
        break;
    case FT_SORT_MODIFIED:
        c = -Sign(a->written, b->written);
        break;
    case FT_SORT_ATTRIBUTES:
        c = Sign(a->attributes & 0x27, b->attributes & 0x27);
        break;
    default:
        break;
    }
    if (c)
        return c;
    c = FtCompareNames(a->name, b->name);
    if (c)
        return c;
    c = strcmp(a->name, b->name);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}
