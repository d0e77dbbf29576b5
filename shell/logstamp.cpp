// Time stamp of a log line. Portable; no state.
#include "shell/logstamp.h"

#include <cstdio>

// Russian short names as Windows-1251 bytes: Вс Пн Вт Ср Чт Пт Сб.
static const char *const kDayNames[2][7] = {
    {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"},
    {"\xC2\xF1", "\xCF\xED", "\xC2\xF2", "\xD1\xF0", "\xD7\xF2", "\xCF\xF2", "\xD1\xE1"},
};

int FormatLogStamp(char *out, size_t cap, const LogTime *t, int language)
{
    int lang = language == 0 ? 0 : 1;
    int wd = t->weekday >= 0 && t->weekday < 7 ? t->weekday : 0;
    int n = snprintf(out, cap, "%02d/%02d/%d %s %02d:%02d:%02d ", t->day, t->month, t->year, kDayNames[lang][wd],
                     t->hour, t->minute, t->second);
    if (n < 0 || cap == 0)
        return 0;
    return (size_t)n < cap ? n : (int)cap - 1;
}
