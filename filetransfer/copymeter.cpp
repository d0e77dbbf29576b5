#include "filetransfer/copymeter.h"

#include <cstdio>
#include <cstring>

enum { kSettleMs = 500 };

void FtMeterStart(FtCopyMeter *m, uint64_t total, int exact, uint64_t nowMs)
{
    memset(m, 0, sizeof(*m));
    m->total = total;
    m->exact = exact;
    m->startMs = nowMs;
}

void FtMeterAdd(FtCopyMeter *m, uint64_t bytes)
{
    m->done += bytes;
    if (m->done > m->total)
        m->total = m->done;
}

uint64_t FtMeterRate(const FtCopyMeter *m, uint64_t nowMs)
{
    if (nowMs < m->startMs + kSettleMs)
        return 0;
    const uint64_t ms = nowMs - m->startMs;
    // done * 1000 overflows only past 18 PB; keep the order that does not lose precision.
    return m->done > UINT64_MAX / 1000 ? m->done / ms * 1000 : m->done * 1000 / ms;
}

int64_t FtMeterSecondsLeft(const FtCopyMeter *m, uint64_t nowMs)
{
    const uint64_t rate = FtMeterRate(m, nowMs);
    if (!m->exact || rate == 0)
        return -1;
    const uint64_t left = m->total - m->done;
    return (int64_t)((left + rate - 1) / rate);
}

uint32_t FtMeterPermille(const FtCopyMeter *m)
{
    if (m->total == 0)
        return m->exact ? 1000 : 0;
    const uint64_t d = m->done;
    return (uint32_t)(d > UINT64_MAX / 1000 ? d / (m->total / 1000) : d * 1000 / m->total);
}

void FtDurationText(int64_t seconds, char *out, size_t cap)
{
    if (!cap)
        return;
    if (seconds < 0) {
        out[0] = 0;
        return;
    }
    const long long h = seconds / 3600, mi = seconds / 60 % 60, s = seconds % 60;
    if (h)
        snprintf(out, cap, "%lld:%02lld:%02lld", h, mi, s);
    else
        snprintf(out, cap, "%lld:%02lld", mi, s);
}

void FtFillTemplate(const char *tmpl, const char *const *args, int n, char *out, size_t cap)
{
    if (!cap)
        return;
    size_t at = 0;
    for (const char *p = tmpl; *p && at + 1 < cap; p++) {
        const char *piece = nullptr;
        if (p[0] == '%' && p[1] == '%') {
            piece = "%";
            p++;
        } else if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
            const int k = p[1] - '1';
            piece = k < n && args[k] ? args[k] : "";
            p++;
        }
        if (!piece) {
            out[at++] = *p;
            continue;
        }
        for (; *piece && at + 1 < cap; piece++)
            out[at++] = *piece;
    }
    out[at] = 0;
}
