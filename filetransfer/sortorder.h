// The order of both panels' lists: folders before files, ".." first, then by the
// panel's sort key. Pure; any thread.
#pragma once
#include <cstdint>

#include "filetransfer/messages.h"

// Sort keys, one per list column.
enum FtSortKey {
    FT_SORT_NAME = 0,
    FT_SORT_SIZE = 1,       // larger first
    FT_SORT_EXTENSION = 2,  // from the last dot, then by name
    FT_SORT_MODIFIED = 3,   // newer first
    FT_SORT_ATTRIBUTES = 4, // read-only, hidden, system, archive as a number, smaller first
};

// Case-insensitive comparison of ANSI names: ASCII letters and the Cyrillic letters of
// code page 1251 fold to one case, then bytes compare unsigned.
int FtCompareNames(const char *a, const char *b);

// Negative when a comes first. A total order, so that any sort routine may use it: items
// equal by their key fall back to the name, then to the bytes of the name; an item
// compares 0 only with one of the same kind and name.
int FtCompareItems(const FtEntry *a, const FtEntry *b, int key);
