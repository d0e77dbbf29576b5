// Paths dropped or pasted from outside the panels (Explorer's file lists), grouped by the
// folder that holds each: an upload sends each group's names from its own folder. Pure
// functions; the plan's memory is the caller's, freed with FtFreeDropPlan.
#pragma once
#include <cstdint>

#include "filetransfer/messages.h"

enum FtDropRefusal {
    kFtDropOk = 0,
    kFtDropNotFull, // no "X:\" nor "\\server\share\" in front
    kFtDropRoot,    // a drive or share itself: no name to copy
    kFtDropTooLong, // over 260 characters
    kFtDropBadName, // a name Windows does not give a file (".", "..", * ? " < > | : /, controls)
    kFtDropNoMemory,
};

// The folder holding a full path and its last name: C:\a\b.txt gives C:\a and b.txt,
// C:\b.txt gives C:\ and b.txt, \\srv\share\b.txt gives \\srv\share and b.txt. kFtDropOk
// or the refusal (folder and name then empty).
int FtSplitDropped(const char *path, char folder[kFtPathField], char name[kFtPathField]);

struct FtDropGroup {
    uint32_t first, count; // its names in the plan
    char folder[kFtPathField];
};

struct FtDropPlan {
    uint32_t count;              // names
    uint32_t *source;            // source[i]: the path the i-th name came from
    char (*names)[kFtPathField]; // one group's names after the other's
    uint32_t groups;
    FtDropGroup *group; // in the order their first path came
};

// Splits and groups n paths, keeping their order within each folder. kFtDropOk with the
// plan filled; otherwise the refusal, *bad the first path refused (n when memory ran
// out), and the plan empty.
int FtPlanDrop(const char *const *paths, uint32_t n, FtDropPlan *plan, uint32_t *bad);
void FtFreeDropPlan(FtDropPlan *plan);
