// Path rules of the panels and the download path check. Pure; any thread.
#include "filetransfer/paths.h"

#include <cstring>

static int Refuse(const char **why, const char *text)
{
    *why = text;
    return 0;
}

static int IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

static char Upper(char c) { return c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c; }

int FtJoinPath(const char *left, const char *name, char out[kFtPathField])
{
    const size_t a = strnlen(left, kFtPathField), b = strnlen(name, kFtPathField);
    const int slash = a > 0 && left[a - 1] != '\\';
    if (a + slash + b > kFtPathMax)
        return 0;
    memmove(out, left, a);
    if (slash)
        out[a] = '\\';
    memmove(out + a + slash, name, b);
    out[a + slash + b] = 0;
    return 1;
}

int FtIsRoot(const char *path)
{
    return IsLetter(path[0]) && path[1] == ':' && (path[2] == 0 || (path[2] == '\\' && path[3] == 0));
}

int FtRootOf(const char *path, char out[kFtPathField])
{
    if (!IsLetter(path[0]) || path[1] != ':')
        return 0;
    out[0] = path[0];
    out[1] = ':';
    out[2] = '\\';
    out[3] = 0;
    return 1;
}

int FtParentPath(const char *path, char parent[kFtPathField], char last[kFtPathField])
{
    size_t n = strnlen(path, kFtPathField);
    if (n > kFtPathMax || !IsLetter(path[0]) || path[1] != ':' || FtIsRoot(path))
        return 0;
    while (n > 3 && path[n - 1] == '\\')
        n--;
    size_t cut = n;
    while (cut > 2 && path[cut - 1] != '\\')
        cut--;
    if (cut == n)
        return 0;
    char name[kFtPathField];
    memcpy(name, path + cut, n - cut);
    name[n - cut] = 0;
    // The parent keeps its backslash only when it is the root.
    const size_t keep = cut > 3 ? cut - 1 : cut;
    memmove(parent, path, keep);
    parent[keep] = 0;
    if (keep == 2) {
        parent[2] = '\\';
        parent[3] = 0;
    }
    memcpy(last, name, n - cut + 1);
    return 1;
}

static int IsTrimmed(char c) { return c == '\\' || c == '.'; }

// "." or "..".
static int IsDotStep(const char *name, size_t n)
{
    return (n == 1 && name[0] == '.') || (n == 2 && name[0] == '.' && name[1] == '.');
}

int FtCanonicaliseTyped(const char *typed, char out[kFtPathField], const char **why)
{
    *why = nullptr;
    char t[kFtPathField];
    size_t n = strnlen(typed, kFtPathMax);
    memcpy(t, typed, n);
    t[n] = 0;
    size_t from = 0;
    while (from < n && (t[from] == ' ' || t[from] == '\t'))
        from++;
    while (n > from && (t[n - 1] == ' ' || t[n - 1] == '\t'))
        n--;
    for (size_t i = from; i < n; i++)
        if (t[i] == '/')
            t[i] = '\\';
    while (from < n && IsTrimmed(t[from]))
        from++;
    // At the end only separators go, and a last name's dots and blanks as Windows drops
    // them; a last "." or ".." is a step like any other.
    const int bare = n > from && t[n - 1] != '\\';
    while (n > from && t[n - 1] == '\\')
        n--;
    size_t last = n;
    while (last > from && t[last - 1] != '\\')
        last--;
    if (bare && !IsDotStep(t + last, n - last)) {
        while (n > last && (t[n - 1] == '.' || t[n - 1] == ' '))
            n--;
        while (n > from && t[n - 1] == '\\')
            n--;
    }
    for (size_t i = from; i + 1 < n; i++)
        if (t[i] == '\\' && t[i + 1] == '\\')
            return Refuse(why, "two backslashes in a row");
    if (n - from < 2 || !IsLetter(t[from]) || t[from + 1] != ':' || (n - from > 2 && t[from + 2] != '\\'))
        return Refuse(why, "no drive letter A to Z with its colon");
    // Components after "X:\", with "." dropped and ".." going up.
    char r[kFtPathField] = {Upper(t[from]), ':', '\\', 0};
    size_t len = 3;
    for (size_t i = from + 3; i < n;) {
        size_t end = i;
        while (end < n && t[end] != '\\')
            end++;
        const size_t c = end - i;
        if (memchr(t + i, ':', c))
            return Refuse(why, "a colon after the drive");
        if (c == 2 && t[i] == '.' && t[i + 1] == '.') {
            while (len > 3 && r[len - 1] != '\\')
                len--;
            if (len > 3)
                len--;
        } else if (!(c == 1 && t[i] == '.')) {
            // One dot ending a name names the name itself ("Windows." is Windows); a run
            // of three or more dots is a name of its own.
            const size_t keep = c - (t[end - 1] == '.' && t[end - 2] != '.');
            const int slash = len > 3;
            if (len + slash + keep > kFtPathMax)
                return Refuse(why, "longer than 260 characters");
            if (slash)
                r[len++] = '\\';
            memcpy(r + len, t + i, keep);
            len += keep;
        }
        i = end + 1;
    }
    r[len] = 0;
    memcpy(out, r, len + 1);
    return 1;
}

// A device name whatever its extension: the part before the first dot, blanks at its end
// dropped as Windows drops them, any case. COM and LPT take 0 to 9 and the superscript
// digits of the ANSI code page.
static int IsDeviceName(const char *name, size_t len)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t stem = 0;
    while (stem < len && name[stem] != '.')
        stem++;
    while (stem > 0 && name[stem - 1] == ' ')
        stem--;
    char up[8];
    if (stem >= sizeof up)
        return 0;
    for (size_t i = 0; i < stem; i++)
        up[i] = Upper(name[i]);
    up[stem] = 0;
    for (const char *d : kDevices)
        if (!strcmp(up, d))
            return 1;
    const unsigned char digit = (unsigned char)up[3];
    return stem == 4 && (!memcmp(up, "COM", 3) || !memcmp(up, "LPT", 3)) &&
           ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3);
}

int FtDownloadPathOk(const char *relative, const char **why)
{
    *why = nullptr;
    const size_t n = strnlen(relative, kFtPathField);
    if (n == 0)
        return Refuse(why, "an empty path");
    if (n > kFtPathMax)
        return Refuse(why, "a path over 260 characters");
    if (relative[0] == '\\')
        return Refuse(why, "an absolute path");
    for (size_t i = 0; i < n; i++) {
        const unsigned char c = (unsigned char)relative[i];
        if (c == ':')
            return Refuse(why, "a drive or stream name (a colon)");
        if (c < 32 || strchr("<>\"/|?*", c))
            return Refuse(why, "a character Windows refuses in names");
    }
    for (size_t i = 0; i <= n;) {
        size_t end = i;
        while (end < n && relative[end] != '\\')
            end++;
        const char *name = relative + i;
        const size_t c = end - i;
        if (c == 0)
            return Refuse(why, "an empty component");
        if ((c == 1 && name[0] == '.') || (c == 2 && name[0] == '.' && name[1] == '.'))
            return Refuse(why, "a . or .. component");
        if (name[c - 1] == '.' || name[c - 1] == ' ')
            return Refuse(why, "a name ending in a dot or blank");
        if (IsDeviceName(name, c))
            return Refuse(why, "a device name");
        i = end + 1;
    }
    return 1;
}

int FtTypedName(const char *typed, char out[kFtPathField], const char **why)
{
    *why = nullptr;
    out[0] = 0;
    size_t n = strnlen(typed, kFtPathField + 1);
    if (n > kFtPathMax)
        return Refuse(why, "a name over 260 characters");
    size_t b = 0;
    while (b < n && strchr(" \\/", typed[b]))
        b++;
    while (n > b && strchr(" \\/", typed[n - 1]))
        n--;
    if (n == b)
        return 0;
    memcpy(out, typed + b, n - b);
    out[n - b] = 0;
    if (strchr(out, '\\') || strchr(out, '/'))
        return Refuse(why, "a name holding a folder separator");
    if (!FtDownloadPathOk(out, why))
        return 0;
    return 1;
}

// ASCII letters in either case; other bytes as they are.
static int SameName(const char *a, const char *b, size_t n)
{
    for (size_t i = 0; i < n; i++)
        if (Upper(a[i]) != Upper(b[i]))
            return 0;
    return 1;
}

int FtDownloadPathBelongs(const char *relative, const char *item, int folder, const char **why)
{
    *why = nullptr;
    const size_t n = strnlen(relative, kFtPathField), m = strnlen(item, kFtPathField);
    if (n < m || !SameName(relative, item, m) || (n > m && !(folder && relative[m] == '\\')))
        return Refuse(why, folder ? "not inside the folder asked for" : "not the file asked for");
    return 1;
}
