// Wording of network errors. Portable.
#include "session/neterror.h"

#include <cstdio>
#include <cstring>

static size_t Append(char *out, size_t cap, size_t len, const char *s)
{
    if (len + 1 >= cap)
        return len;
    size_t room = cap - 1 - len;
    size_t n = strlen(s);
    if (n > room)
        n = room;
    memcpy(out + len, s, n);
    out[len + n] = 0;
    return len + n;
}

size_t ComposeNetError(char *out, size_t cap, const char *protocolName, const char *text, int code,
                       const char *codeText)
{
    if (cap == 0)
        return 0;
    out[0] = 0;
    char piece[32];
    snprintf(piece, sizeof(piece), "%s: ", protocolName);
    size_t len = Append(out, cap, 0, piece);
    len = Append(out, cap, len, text);
    if (code != 0) {
        snprintf(piece, sizeof(piece), " %d - ", code);
        len = Append(out, cap, len, piece);
        len = Append(out, cap, len, codeText ? codeText : "");
    }
    return len;
}
