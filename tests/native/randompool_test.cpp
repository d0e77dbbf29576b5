// The random pool against Python's known answers and a plain model: seeding,
// refusal, carries and the order in which output bytes are handed out.
#include "session/randompool.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/native/randompool_model.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Draw(RandomPool *p, size_t n)
{
    Bytes b(n);
    EXPECT_EQ(RandomPoolGenerate(p, b.data(), n), 0);
    return b;
}

// Bytes off .. off + n of the known zero-seeded stream.
Bytes Known(size_t off, size_t n)
{
    const Bytes all = ModelHex(kZeroSeedStreamHex);
    return Bytes(all.begin() + off, all.begin() + off + n);
}

Bytes Md5Of(const uint8_t *data, size_t len)
{
    uint8_t d[MD5_DIGEST_LENGTH];
    MD5(data, len, d);
    return Bytes(d, d + sizeof d);
}

TEST(RandomPoolKnownAnswer, ZeroSeedingMatchesPythonInOneDraw)
{
    RandomPool p;
    RandomPoolSeedZero(&p);
    EXPECT_EQ(p.needed, 0u);
    EXPECT_EQ(Draw(&p, 64), ModelHex(kZeroSeedStreamHex));
}

TEST(RandomPoolKnownAnswer, ModelAgreesWithPython)
{
    PoolModel m;
    m.SeedZero();
    EXPECT_EQ(m.Take(64), ModelHex(kZeroSeedStreamHex));
}

// Irregular draw sizes cross block edges at every offset; ordering or carry
// faults show up as a mismatch somewhere in the 10,000 bytes.
TEST(RandomPoolModel, IrregularChunksMatchModel)
{
    static const size_t kSizes[] = {1, 3, 16, 17, 5, 0, 31, 2, 15, 33, 64, 7, 11, 48, 9, 1, 1, 100};
    const uint8_t seeds[][40] = {{0}, {0x5a, 0x01, 0xff}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
    const size_t seedLens[] = {0, 3, 40};
    for (int s = 0; s < 3; s++) {
        SCOPED_TRACE(s);
        RandomPool p;
        PoolModel m;
        RandomPoolSeedZero(&p);
        m.SeedZero();
        if (seedLens[s]) {
            RandomPoolUpdate(&p, seeds[s], seedLens[s]);
            m.Update(seeds[s], seedLens[s]);
        }
        size_t total = 0;
        for (size_t i = 0; total < 10000; i++) {
            size_t n = kSizes[i % (sizeof kSizes / sizeof kSizes[0])];
            ASSERT_EQ(Draw(&p, n), m.Take(n)) << "at byte " << total;
            total += n;
        }
    }
}

TEST(RandomPoolModel, UpdateBetweenDrawsKeepsUnusedBytes)
{
    // An update changes the counter but not the block already computed.
    RandomPool p;
    RandomPoolSeedZero(&p);
    Bytes first = Draw(&p, 5);
    const uint8_t extra[] = {9, 9, 9};
    RandomPoolUpdate(&p, extra, sizeof extra);
    Bytes rest = Draw(&p, 11);
    EXPECT_EQ(first, Known(0, 5));
    EXPECT_EQ(rest, Known(5, 11));

    PoolModel m;
    m.SeedZero();
    m.Take(16);
    m.Update(extra, sizeof extra);
    EXPECT_EQ(Draw(&p, 40), m.Take(40));
}

TEST(RandomPoolSeeding, RefusesUntil256BytesArrive)
{
    RandomPool p;
    RandomPoolInit(&p);
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(RandomPoolGenerate(&p, out, 0), kRandomNeedRandom);
    const uint8_t z = 0;
    for (int i = 0; i < 255; i++)
        RandomPoolUpdate(&p, &z, 1);
    EXPECT_EQ(p.needed, 1u);
    EXPECT_EQ(RandomPoolGenerate(&p, out, sizeof out), 0x0408);
    for (uint8_t b : out)
        EXPECT_EQ(b, 0xEE);
    RandomPoolUpdate(&p, &z, 1);
    EXPECT_EQ(RandomPoolGenerate(&p, out, sizeof out), 0);
    EXPECT_EQ(Bytes(out, out + 4), Known(0, 4));
}

TEST(RandomPoolSeeding, BlocksCountByLengthAndStopAtZero)
{
    RandomPool p;
    RandomPoolInit(&p);
    uint8_t block[300] = {0};
    RandomPoolUpdate(&p, block, 100);
    EXPECT_EQ(p.needed, 156u);
    RandomPoolUpdate(&p, block, 0); // digest still added, nothing counted
    EXPECT_EQ(p.needed, 156u);
    RandomPoolUpdate(&p, block, 155);
    EXPECT_EQ(p.needed, 1u);
    RandomPoolUpdate(&p, block, 300);
    EXPECT_EQ(p.needed, 0u);
    RandomPoolUpdate(&p, block, 1);
    EXPECT_EQ(p.needed, 0u);

    // Same total in different blocks is a different state: each block is hashed.
    RandomPool q;
    RandomPoolInit(&q);
    RandomPoolUpdate(&q, block, 256);
    EXPECT_EQ(q.needed, 0u);
    EXPECT_NE(memcmp(p.state, q.state, 16), 0);
}

// Counter increments after each output block, table-driven: before, after.
TEST(RandomPoolCarry, IncrementPropagatesAndWraps)
{
    struct Case {
        uint8_t before[16], after[16];
    };
    const Case cases[] = {
        {{0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}, {0}},
        {{0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
         {0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xfe},
         {0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xff}},
        {{0, 0, 0, 0, 0, 0, 0, 0x7f, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
         {0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x01}},
    };
    for (const Case &c : cases) {
        RandomPool p;
        RandomPoolInit(&p);
        p.needed = 0;
        memcpy(p.state, c.before, 16);
        uint8_t b;
        ASSERT_EQ(RandomPoolGenerate(&p, &b, 1), 0);
        EXPECT_EQ(Bytes(p.state, p.state + 16), Bytes(c.after, c.after + 16));
        // The block comes from the counter before the increment.
        EXPECT_EQ(Bytes(p.output, p.output + 16), Md5Of(c.before, 16));
        EXPECT_EQ(b, p.output[0]);
        EXPECT_EQ(p.available, 15u);
    }
}

TEST(RandomPoolCarry, UpdateAddsDigestWithFullCarryAndDropsTheTop)
{
    const uint8_t block[] = {'c', 'o', 'r', 'v', 'i', 'd'};
    const Bytes d = Md5Of(block, sizeof block);

    // Counter = 2^128 - digest: the sum carries through every byte and out of byte 0.
    RandomPool p;
    RandomPoolInit(&p);
    int borrow = 0;
    for (int i = 15; i >= 0; i--) {
        int v = 0 - d[i] - borrow;
        borrow = v < 0;
        p.state[i] = (uint8_t)(v + (borrow ? 256 : 0));
    }
    RandomPoolUpdate(&p, block, sizeof block);
    EXPECT_EQ(Bytes(p.state, p.state + 16), Bytes(16, 0));

    // All ones plus digest = digest - 1 (mod 2^128).
    memset(p.state, 0xff, 16);
    RandomPoolUpdate(&p, block, sizeof block);
    Bytes want = d;
    for (int i = 15; i >= 0; i--)
        if (want[i]-- != 0)
            break;
    EXPECT_EQ(Bytes(p.state, p.state + 16), want);

    // Byte 0 alone overflowing loses its carry, the rest untouched by it.
    RandomPoolInit(&p);
    p.state[0] = (uint8_t)(0x100 - d[0]);
    RandomPoolUpdate(&p, block, sizeof block);
    want = d;
    want[0] = 0;
    EXPECT_EQ(Bytes(p.state, p.state + 16), want);
}

TEST(RandomPoolGenerate, HandsOutTheLastAvailableBytes)
{
    RandomPool p;
    RandomPoolInit(&p);
    p.needed = 0;
    for (int i = 0; i < 16; i++)
        p.output[i] = (uint8_t)(0xa0 + i);
    p.available = 3;
    uint8_t out[5];
    ASSERT_EQ(RandomPoolGenerate(&p, out, 2), 0);
    EXPECT_EQ(out[0], 0xad);
    EXPECT_EQ(out[1], 0xae);
    EXPECT_EQ(p.available, 1u);
    const uint8_t zero[16] = {0};
    ASSERT_EQ(RandomPoolGenerate(&p, out, 5), 0);
    EXPECT_EQ(out[0], 0xaf);
    const Bytes fresh = Md5Of(zero, 16);
    EXPECT_EQ(Bytes(out + 1, out + 5), Bytes(fresh.begin(), fresh.begin() + 4));
    EXPECT_EQ(p.available, 12u);
    EXPECT_EQ(p.state[15], 1);

    // A whole block drawn exactly leaves nothing over and no extra block made.
    p.available = 0;
    uint8_t block[16];
    ASSERT_EQ(RandomPoolGenerate(&p, block, 16), 0);
    EXPECT_EQ(p.available, 0u);
    EXPECT_EQ(p.state[15], 2);
    ASSERT_EQ(RandomPoolGenerate(&p, nullptr, 0), 0);
    EXPECT_EQ(p.state[15], 2);
}

} // namespace
