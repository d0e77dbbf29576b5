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

// Names of code page 1251 in the system's case-insensitive order: punctuation and
// symbols first, then digits, Latin, then Cyrillic letters (Ё with Е);
// the apostrophe and hyphen count only between names equal without them. A total order:
// 0 only for names equal ignoring case, which is how the compare command and rename
// tell namesakes.
int FtCompareNames(const char *a, const char *b);

// Negative when a comes first. A total order, so that any sort routine may use it: items
// equal by their key fall back to the name, then to the bytes of the name; an item
// compares 0 only with one of the same kind and name.
int FtCompareItems(const FtEntry *a, const FtEntry *b, int key);
