// Splitting and grouping of paths dropped or pasted from outside the panels.
#include "filetransfer/dropfiles.h"

#include <cstdlib>
#include <cstring>

static int Sep(char c) { return c == '\\' || c == '/'; }

static int BadNameChar(unsigned char c) { return c < 32 || strchr("*?\"<>|:/\\", c) != NULL; }

// Length of the part no name may be cut from: "X:\" or "\\server\share"; 0 for anything else.
static size_t RootLength(const char *p)
{
    const unsigned char d = (unsigned char)p[0];
    if (((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z')) && p[1] == ':' && p[2] == '\\')
        return 3;
    if (p[0] != '\\' || p[1] != '\\')
        return 0;
    // "\\?\" and "\\.\" name devices and raw paths, not shares.
    size_t i = 2, server = 0, share = 0;
    for (; p[i] && !Sep(p[i]); i++)
        server++;
    if (!server || p[i] != '\\' || (server == 1 && (p[2] == '?' || p[2] == '.')))
        return 0;
    for (i++; p[i] && !Sep(p[i]); i++)
        share++;
    return share ? i : 0;
}

int FtSplitDropped(const char *path, char folder[kFtPathField], char name[kFtPathField])
{
    folder[0] = name[0] = 0;
    const size_t n = strlen(path);
    if (n > kFtPathMax)
        return kFtDropTooLong;
    const size_t root = RootLength(path);
    if (!root)
        return kFtDropNotFull;
    if (n <= root || (n == root + 1 && path[root] == '\\'))
        return kFtDropRoot;
    const char *last = strrchr(path, '\\');
    const char *nameAt = last + 1;
    if (!*nameAt || !strcmp(nameAt, ".") || !strcmp(nameAt, ".."))
        return kFtDropBadName;
    for (const char *c = nameAt; *c; c++)
        if (BadNameChar((unsigned char)*c))
            return kFtDropBadName;
    // A drive's root keeps its backslash; any other folder loses it.
    size_t folderLength = (size_t)(last - path);
    if (folderLength < root)
        folderLength = root;
    if (folderLength > root && path[folderLength - 1] == '\\')
        return kFtDropBadName; // two backslashes in a row
    memcpy(folder, path, folderLength);
    folder[folderLength] = 0;
    strcpy(name, nameAt);
    return kFtDropOk;
}

static int SameFolder(const char *a, const char *b)
{
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (x >= 'a' && x <= 'z')
            x = (char)(x - 32);
        if (y >= 'a' && y <= 'z')
            y = (char)(y - 32);
        if (x != y)
            return 0;
        if (!x)
            return 1;
    }
}

void FtFreeDropPlan(FtDropPlan *plan)
{
    free(plan->source);
    free(plan->names);
    free(plan->group);
    memset(plan, 0, sizeof(*plan));
}

int FtPlanDrop(const char *const *paths, uint32_t n, FtDropPlan *plan, uint32_t *bad)
{
    memset(plan, 0, sizeof(*plan));
    *bad = n;
    uint32_t *groupOf = (uint32_t *)malloc(((size_t)n + 1) * sizeof(uint32_t));
    plan->source = (uint32_t *)malloc(((size_t)n + 1) * sizeof(uint32_t));
    plan->names = (char(*)[kFtPathField])malloc(((size_t)n + 1) * kFtPathField);
    plan->group = (FtDropGroup *)malloc(((size_t)n + 1) * sizeof(FtDropGroup));
    if (!groupOf || !plan->source || !plan->names || !plan->group) {
        free(groupOf);
        FtFreeDropPlan(plan);
        return kFtDropNoMemory;
    }
    // First each path's group, then the names laid out group by group.
    uint32_t last = 0;
    for (uint32_t i = 0; i < n; i++) {
        char folder[kFtPathField], name[kFtPathField];
        const int r = FtSplitDropped(paths[i], folder, name);
        if (r != kFtDropOk) {
            *bad = i;
            free(groupOf);
            FtFreeDropPlan(plan);
            return r;
        }
        // Explorer's lists come from one folder: the group of the path before is tried first.
        uint32_t g = plan->groups;
        if (plan->groups && SameFolder(plan->group[last].folder, folder))
            g = last;
        else
            for (uint32_t k = 0; k < plan->groups; k++)
                if (SameFolder(plan->group[k].folder, folder)) {
                    g = k;
                    break;
                }
        if (g == plan->groups) {
            FtDropGroup *made = &plan->group[plan->groups++];
            made->first = made->count = 0;
            strcpy(made->folder, folder);
        }
        plan->group[g].count++;
        groupOf[i] = last = g;
    }
    for (uint32_t g = 1; g < plan->groups; g++)
        plan->group[g].first = plan->group[g - 1].first + plan->group[g - 1].count;
    uint32_t *filled = (uint32_t *)calloc((size_t)plan->groups + 1, sizeof(uint32_t));
    if (!filled) {
        free(groupOf);
        FtFreeDropPlan(plan);
        return kFtDropNoMemory;
    }
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t g = groupOf[i];
        const uint32_t at = plan->group[g].first + filled[g]++;
        char folder[kFtPathField];
        FtSplitDropped(paths[i], folder, plan->names[at]);
        plan->source[at] = i;
    }
    free(filled);
    free(groupOf);
    plan->count = n;
    return kFtDropOk;
}
