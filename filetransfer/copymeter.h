// The copy's progress figures: bytes done of the total, the rate and the time left, and
// the line the progress dialog shows them in. Pure; the caller passes the clock and
// the language library's texts.
#pragma once
#include <cstddef>
#include <cstdint>

struct FtCopyMeter {
    uint64_t total;   // bytes expected; raised when more arrives than expected
    int exact;        // 0 while folders of unknown size are still to come
    uint64_t done;    // bytes copied
    uint32_t files;   // files finished
    uint64_t startMs; // the clock when the copy began
};

void FtMeterStart(FtCopyMeter *m, uint64_t total, int exact, uint64_t nowMs);
void FtMeterAdd(FtCopyMeter *m, uint64_t bytes);

// Bytes per second over the whole copy so far; 0 until half a second has gone by.
uint64_t FtMeterRate(const FtCopyMeter *m, uint64_t nowMs);
// Whole seconds left (rounded up) at the rate so far; -1 when that cannot be told yet.
int64_t FtMeterSecondsLeft(const FtCopyMeter *m, uint64_t nowMs);
// The bar's position, 0..1000.
uint32_t FtMeterPermille(const FtCopyMeter *m);

// "0:07", "59:59", "1:00:00"; seconds below 0 give "".
void FtDurationText(int64_t seconds, char *out, size_t cap);

// tmpl with %1..%9 replaced by args[0..n-1] (a missing one by nothing) and %% by %.
// Always terminated, cut at cap.
void FtFillTemplate(const char *tmpl, const char *const *args, int n, char *out, size_t cap);
