// Live session statistics for the system-information dialog: send and receive rates,
// screen parts per second and the mean decode time per part, over the last few
// seconds, from samples of the session's running counters. Portable; the caller owns
// the structure (UI thread).
#pragma once
#include <cstdint>

// Running counters as the session keeps them; each may wrap around 2^32.
struct SessionCounters {
    uint32_t bytesSent, bytesReceived, parts, decodeMicros;
};

enum { kStatsSamples = 16 };

struct SessionStats {
    uint32_t windowMs;             // how far back the rates look
    uint32_t times[kStatsSamples]; // millisecond ticks, wrapping
    SessionCounters at[kStatsSamples];
    int count, newest;
};

void StatsInit(SessionStats *s, uint32_t windowMs);
// Adds a sample taken at nowMs (a tick count that may wrap).
void StatsAdd(SessionStats *s, uint32_t nowMs, const SessionCounters *c);

struct SessionRates {
    double sentPerSecond, receivedPerSecond, partsPerSecond;
    double microsPerPart; // 0 when no part was decoded
};

// Rates between the newest sample and the oldest one still inside the window (the one
// just before it when none is). Returns 0 while fewer than two samples, or no time,
// lie between them.
int StatsRates(const SessionStats *s, SessionRates *r);
