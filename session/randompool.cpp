// The MD5-based random generator of the RSAREF design: a 128-bit counter whose
// MD5 is handed out block by block. No lock here; the envelope serialises callers.
#include "session/randompool.h"

#ifndef OPENSSL_SUPPRESS_DEPRECATED
#define OPENSSL_SUPPRESS_DEPRECATED
#endif
#include <openssl/md5.h>

#include <cstring>

void RandomPoolInit(RandomPool *pool)
{
    pool->needed = 256;
    memset(pool->state, 0, sizeof pool->state);
    pool->available = 0;
    memset(pool->output, 0, sizeof pool->output);
}

void RandomPoolUpdate(RandomPool *pool, const uint8_t *block, size_t len)
{
    static const uint8_t kNone = 0;
    uint8_t digest[MD5_DIGEST_LENGTH];
    MD5(block ? block : &kNone, block ? len : 0, digest);

    // Big-endian add modulo 2^128: what carries out of byte 0 is dropped.
    unsigned carry = 0;
    for (int i = 15; i >= 0; i--) {
        carry += (unsigned)pool->state[i] + digest[i];
        pool->state[i] = (uint8_t)carry;
        carry >>= 8;
    }
    pool->needed = len < pool->needed ? pool->needed - (uint32_t)len : 0;
    memset(digest, 0, sizeof digest);
}

int RandomPoolGenerate(RandomPool *pool, uint8_t *out, size_t n)
{
    if (pool->needed != 0)
        return kRandomNeedRandom;
    if (n == 0)
        return 0;
    size_t available = pool->available <= 16 ? pool->available : 0;
    while (n > available) {
        // The unused bytes sit at the end of the block.
        memcpy(out, pool->output + (16 - available), available);
        out += available;
        n -= available;
        MD5(pool->state, sizeof pool->state, pool->output);
        available = 16;
        for (int i = 15; i >= 0; i--)
            if (++pool->state[i] != 0)
                break;
    }
    memcpy(out, pool->output + (16 - available), n);
    pool->available = (uint32_t)(available - n);
    return 0;
}

void RandomPoolSeedZero(RandomPool *pool)
{
    static const uint8_t kZero = 0;
    RandomPoolInit(pool);
    while (pool->needed != 0)
        RandomPoolUpdate(pool, &kZero, 1);
}
