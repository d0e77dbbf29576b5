// Windowed session statistics. Portable, no state of its own.
#include "ui/sessionstats.h"

#include <cstring>

void StatsInit(SessionStats *s, uint32_t windowMs)
{
    memset(s, 0, sizeof(*s));
    s->windowMs = windowMs;
    s->newest = -1;
}

void StatsAdd(SessionStats *s, uint32_t nowMs, const SessionCounters *c)
{
    s->newest = (s->newest + 1) % kStatsSamples;
    s->times[s->newest] = nowMs;
    s->at[s->newest] = *c;
    if (s->count < kStatsSamples)
        s->count++;
}

int StatsRates(const SessionStats *s, SessionRates *r)
{
    memset(r, 0, sizeof(*r));
    if (s->count < 2)
        return 0;
    const uint32_t now = s->times[s->newest];
    // Walk back to the oldest sample inside the window, keeping at least one step.
    int oldest = (s->newest - 1 + kStatsSamples) % kStatsSamples;
    for (int k = 2; k < s->count; k++) {
        const int i = (s->newest - k + kStatsSamples) % kStatsSamples;
        if (now - s->times[i] > s->windowMs) // unsigned: right across a wrap of the tick
            break;
        oldest = i;
    }
    const uint32_t ms = now - s->times[oldest];
    if (ms == 0)
        return 0;
    const SessionCounters *a = &s->at[oldest], *b = &s->at[s->newest];
    const double seconds = ms / 1000.0;
    const uint32_t parts = b->parts - a->parts;
    r->sentPerSecond = (uint32_t)(b->bytesSent - a->bytesSent) / seconds;
    r->receivedPerSecond = (uint32_t)(b->bytesReceived - a->bytesReceived) / seconds;
    r->partsPerSecond = parts / seconds;
    r->microsPerPart = parts ? (double)(uint32_t)(b->decodeMicros - a->decodeMicros) / parts : 0.0;
    return 1;
}
