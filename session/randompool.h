// The MD5-based random generator behind every session key and IV. One pool per
// process; callers on more than one thread go through the envelope's lock.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kRandomNeedRandom = 0x0408 };

struct RandomPool {
    uint32_t needed;    // bytes of seed still wanted before output is allowed (starts at 256)
    uint8_t state[16];  // 128-bit big-endian counter
    uint32_t available; // unused bytes at the end of output
    uint8_t output[16]; // MD5 of the state before its last increment
};

void RandomPoolInit(RandomPool *pool);
// Adds MD5(block) to the state; needed drops by len, not below 0.
void RandomPoolUpdate(RandomPool *pool, const uint8_t *block, size_t len);
// Returns 0 on success, kRandomNeedRandom while the pool is not fully seeded.
int RandomPoolGenerate(RandomPool *pool, uint8_t *out, size_t n);
// The classic seeding: 256 updates with one zero byte each (deterministic).
void RandomPoolSeedZero(RandomPool *pool);
