// Digit grouping and the error text layout. Portable, no state.
#include "ui/textformat.h"

#include <cstdio>
#include <cstring>

int GroupDigits(const char *text, char *out, size_t cap)
{
    if (cap == 0)
        return 0;
    out[0] = 0;
    size_t n = strlen(text);
    size_t need = n + (n ? (n - 1) / 3 : 0);
    if (need >= cap)
        return 0;
    size_t r = n % 3;
    size_t o = 0;
    for (size_t p = 0; p < n; p++) {
        if (p > 0 && p % 3 == r)
            out[o++] = ' ';
        out[o++] = text[p];
    }
    out[o] = 0;
    return 1;
}

enum { kErrorTextReserve = 14 };

size_t FormatErrorText(int code, const char *text, char *out, size_t cap)
{
    if (cap == 0)
        return 0;
    if (!text) {
        snprintf(out, cap, "%d - ", code);
        return strlen(out);
    }
    size_t n = strlen(text);
    if (cap >= n + kErrorTextReserve) {
        // snprintf cuts a fifteen-character prefix's last text byte rather than overrun.
        snprintf(out, cap, "%d - %s", code, text);
        return strlen(out);
    }
    memset(out, 0, cap);
    snprintf(out, cap, "%d - ", code);
    size_t used = strlen(out);
    size_t take = cap > kErrorTextReserve ? cap - kErrorTextReserve : 0;
    // The reserve assumes a prefix of at most 13 characters; "-2147483648 - " has 14.
    if (take > cap - 1 - used)
        take = cap - 1 - used;
    memcpy(out + used, text, take);
    return used + take;
}
