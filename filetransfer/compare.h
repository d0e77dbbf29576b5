// Compare panels: which items of one list to select against the other list, so that the
// selection marks what is missing on the other side or newer here. Pure; any thread.
#pragma once
#include <cstddef>

#include "filetransfer/messages.h"

// For each of mine[0..mineCount), select[i] = 1 to select, 0 to deselect. ".." is
// deselected; an item is deselected when other holds an item of the same kind (folder
// or file) whose name equals it ignoring case (FtCompareNames) and the item is a folder
// or was written no later than that one (high halves of the times compared signed, low
// halves unsigned); every other item is selected. Of several such namesakes the first
// in other decides. 0 when memory ran out (select untouched).
int FtCompareMarks(const FtEntry *const *mine, size_t mineCount, const FtEntry *const *other, size_t otherCount,
                   unsigned char *select);
