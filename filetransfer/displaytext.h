// The texts of the list columns Size, Modified and Attributes, for both panels. Pure;
// the caller owns the buffer (at least 32 bytes each).
#pragma once
#include <cstddef>
#include <cstdint>

#include "filetransfer/messages.h"

enum { kFtCellText = 32 };

// A file's size in decimal digits without separators; empty for a folder.
void FtSizeText(const FtEntry *e, char out[kFtCellText]);

// A local time already converted by the system's time-zone rules.
struct FtLocalTime {
    int year, month, day, hour, minute;
};
// "dd.mm.yy  hh:mm" (two blanks before the hour, the year modulo 100); empty for "..".
// Fields out of their ranges are printed as they are, never past the buffer.
void FtModifiedText(const FtEntry *e, const FtLocalTime *t, char out[kFtCellText]);

// "A", "H", "S", "R" for archive, hidden, system, read-only, in this order.
void FtAttributeText(uint32_t attributes, char out[kFtCellText]);

// A FILETIME as UTC calendar time (for the simulator and tests; the viewer converts
// to local time with the system). 0 for a time past the year 9999.
int FtFileTimeToUtc(uint64_t fileTime, FtLocalTime *t);
