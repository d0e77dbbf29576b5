// Editing of the Agent settings: node arrays, community names, and the checks of the
// password and node dialogs. Portable; user-interface thread.
#include "agentsettings/settings.h"

#include <cstdlib>
#include <cstring>

// Copies text cut to 127 characters into a block, the rest of the block zeroed.
static void FillBlock(char *block, const char *text)
{
    const size_t n = strnlen(text, kAsNodeMax);
    memcpy(block, text, n);
    memset(block + n, 0, kAsNodeBlock - n);
}

int AsSheetConfirmed(intptr_t, int applied) { return applied != 0; }

int AsNodeAppend(AsNodeArray *a, const char *text)
{
    const int32_t count = a->count > 0 ? a->count : 0;
    if (count >= (int32_t)kAsNodeCountMax)
        return 0;
    char(*grown)[kAsNodeBlock] = (char(*)[kAsNodeBlock])realloc(a->nodes, ((size_t)count + 1) * kAsNodeBlock);
    if (!grown)
        return 0;
    a->nodes = grown;
    FillBlock(a->nodes[count], text);
    a->count = count + 1;
    return 1;
}

int AsNodeReplace(AsNodeArray *a, int index, const char *text)
{
    if (index < 0 || index >= a->count || !a->nodes)
        return 0;
    // The new text may be the old block itself.
    char copy[kAsNodeBlock];
    const size_t n = strnlen(text, kAsNodeMax);
    memcpy(copy, text, n);
    copy[n] = 0;
    FillBlock(a->nodes[index], copy);
    return 1;
}

void AsNodeRemove(AsNodeArray *a, int index)
{
    if (index < 0 || index >= a->count || !a->nodes)
        return;
    memmove(a->nodes[index], a->nodes[index + 1], (size_t)(a->count - index - 1) * kAsNodeBlock);
    if (--a->count == 0) {
        free(a->nodes);
        a->nodes = nullptr;
    }
}

// The Russian names are code page 1251 bytes: "Администратор", "Управление рабочим
// столом и передача файлов", "Управление рабочим столом", "Обзор рабочего стола".
static const char *const kNames[2][kAsCommunities] = {
    {"Admin", "Desktop control and file transfer", "Desktop control", "Desktop view"},
    {"\xC0\xE4\xEC\xE8\xED\xE8\xF1\xF2\xF0\xE0\xF2\xEE\xF0",
     "\xD3\xEF\xF0\xE0\xE2\xEB\xE5\xED\xE8\xE5 \xF0\xE0\xE1\xEE\xF7\xE8\xEC \xF1\xF2\xEE\xEB\xEE\xEC \xE8 "
     "\xEF\xE5\xF0\xE5\xE4\xE0\xF7\xE0 \xF4\xE0\xE9\xEB\xEE\xE2",
     "\xD3\xEF\xF0\xE0\xE2\xEB\xE5\xED\xE8\xE5 \xF0\xE0\xE1\xEE\xF7\xE8\xEC \xF1\xF2\xEE\xEB\xEE\xEC",
     "\xCE\xE1\xE7\xEE\xF0 \xF0\xE0\xE1\xEE\xF7\xE5\xE3\xEE \xF1\xF2\xEE\xEB\xE0"},
};

const char *AsCommunityName(int index, int russian)
{
    if (index < 0 || index >= (int)kAsCommunities)
        return "";
    return kNames[russian ? 1 : 0][index];
}

int AsCommunityMissingPassword(const AgentSettings *s, int protocol)
{
    if (protocol < 0 || protocol >= (int)kAsProtocols)
        return -1;
    for (int c = 0; c < (int)kAsCommunities; c++) {
        const AsProtocolBlock *b = &s->communities[c].protocol[protocol];
        if (b->nodes.count > 0 && b->password[0] == 0)
            return c;
    }
    return -1;
}

int AsPasswordCharsOk(const char *password)
{
    for (const unsigned char *p = (const unsigned char *)password; *p; p++) {
        const unsigned char c = *p;
        const int ascii = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const int cyrillic = c == 0xA8 || c == 0xB8 || c >= 0xC0;
        if (!ascii && !cyrillic)
            return 0;
    }
    return 1;
}

static int IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

int AsIpxNodeTypingOk(const char *text)
{
    if (strcmp(text, "*") == 0)
        return 1;
    for (const char *p = text; *p; p++)
        if (!IsHexDigit(*p))
            return 0;
    return 1;
}

static int IsBlank(char c) { return c == ' ' || c == '\t'; }

void AsTrimBlanks(char *text)
{
    size_t n = strlen(text);
    while (n > 0 && IsBlank(text[n - 1]))
        n--;
    size_t start = 0;
    while (start < n && IsBlank(text[start]))
        start++;
    memmove(text, text + start, n - start);
    text[n - start] = 0;
}

void AsIpxNodeFinish(const char *typed, char out[kAsIpxNodeDigits + 1])
{
    const char *begin = typed;
    const char *end = typed + strlen(typed);
    while (begin < end && IsBlank(*begin))
        begin++;
    while (end > begin && IsBlank(end[-1]))
        end--;
    size_t n = (size_t)(end - begin);
    if (n > kAsIpxNodeDigits) {
        begin = end - kAsIpxNodeDigits;
        n = kAsIpxNodeDigits;
    }
    if (n == 0 || (n == 1 && *begin == '*')) {
        memcpy(out, begin, n);
        out[n] = 0;
        return;
    }
    const size_t pad = kAsIpxNodeDigits - n;
    memset(out, '0', pad);
    for (size_t i = 0; i < n; i++) {
        const char c = begin[i];
        out[pad + i] = c >= 'a' && c <= 'z' ? (char)(c - 'a' + 'A') : c;
    }
    out[kAsIpxNodeDigits] = 0;
}
