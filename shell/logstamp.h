// Time stamp of a log line and the log's size limit. Portable; no state.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kLogStampMax = 40 };
const uint64_t kLogSizeLimit = 10000000;

struct LogTime {
    int day, month, year, weekday; // weekday 0 = Sunday
    int hour, minute, second;
};

// "%02d/%02d/%d %s %02d:%02d:%02d " with the short day name of the language (0 English,
// 1 Russian as Windows-1251 bytes). Returns the length written.
int FormatLogStamp(char *out, size_t cap, const LogTime *t, int language);

// A log larger than the limit is emptied before the next line.
inline int LogNeedsTruncation(uint64_t size) { return size > kLogSizeLimit; }
