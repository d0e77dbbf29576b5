// Column texts of the panels. Pure; any thread.
#include "filetransfer/displaytext.h"

#include <cstdio>
#include <cstring>

void FtSizeText(const FtEntry *e, char out[kFtCellText])
{
    if (e->directory)
        out[0] = 0;
    else
        snprintf(out, kFtCellText, "%llu", (unsigned long long)e->size);
}

void FtModifiedText(const FtEntry *e, const FtLocalTime *t, char out[kFtCellText])
{
    if (strcmp(e->name, "..") == 0)
        out[0] = 0;
    else
        snprintf(out, kFtCellText, "%02d.%02d.%02d  %02d:%02d", t->day, t->month, t->year % 100, t->hour, t->minute);
}

void FtAttributeText(uint32_t attributes, char out[kFtCellText])
{
    size_t n = 0;
    if (attributes & kFtAttrArchive)
        out[n++] = 'A';
    if (attributes & kFtAttrHidden)
        out[n++] = 'H';
    if (attributes & kFtAttrSystem)
        out[n++] = 'S';
    if (attributes & kFtAttrReadOnly)
        out[n++] = 'R';
    out[n] = 0;
}

int FtFileTimeToUtc(uint64_t fileTime, FtLocalTime *t)
{
    const uint64_t minutes = fileTime / 600000000ull; // since 1 January 1601
    int64_t days = (int64_t)(minutes / 1440);
    if (days > 3074323) // past 31 December 9999
        return 0;
    t->hour = (int)(minutes % 1440 / 60);
    t->minute = (int)(minutes % 60);
    // Civil date from days since 1601-01-01 (a 400-year cycle starts there).
    int year = 1601 + (int)(days / 146097) * 400;
    days %= 146097;
    for (;;) {
        const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (days < 365 + leap)
            break;
        days -= 365 + leap;
        year++;
    }
    const int leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static const int kMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (days >= kMonth[month] + (month == 1 ? leap : 0)) {
        days -= kMonth[month] + (month == 1 ? leap : 0);
        month++;
    }
    t->year = year;
    t->month = month + 1;
    t->day = (int)days + 1;
    return 1;
}
