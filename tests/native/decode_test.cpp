// Screen parts into tile buffers: wire layouts, run-length records, hostile parts
// against a byte-at-a-time reference decoder, and publishing against per-pixel
// references. Every buffer is a heap block of exactly its size, so that ASan sees
// any access past it.
#include "desktop/decode.h"
#include "desktop/tiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// An exact-size heap copy: reading one byte past it is an ASan report.
struct Heap {
    std::unique_ptr<uint8_t[]> p;
    size_t n;
    explicit Heap(const Bytes &b) : p(new uint8_t[b.size()]), n(b.size())
    {
        if (n)
            memcpy(p.get(), b.data(), n);
    }
    Bytes Get() const { return Bytes(p.get(), p.get() + n); }
};

// The geometry rules written out again, independently of TileLayoutCompute.
TileGeometry Geometry(int width, int height, int depth)
{
    TileGeometry g = {};
    g.width = (uint16_t)width;
    g.height = (uint16_t)height;
    g.lineBytes = (uint32_t)(depth * width + 7) / 8;
    g.stride = (uint32_t)((depth * width + 31) / 8) / 4 * 4;
    g.size = g.stride * (uint32_t)height;
    return g;
}

Bytes Random(size_t n, std::mt19937 *rng)
{
    Bytes b(n);
    for (auto &v : b)
        v = (uint8_t)(*rng)();
    return b;
}

int Rle(const TileGeometry &g, Heap *tile, const Bytes &data, int B, int xorMode)
{
    Heap d(data);
    return ApplyRlePart(&g, tile->p.get(), d.p.get(), d.n, B, xorMode);
}

// Reference run-length decoder, one byte at a time: meaningful byte k of the tile
// lives at row k / lineBytes, column k % lineBytes. Same decisions as the real one:
// a record cut by the end of the data is dropped whole and ends the part; a record
// that runs past the tile writes what fits and ends the part.
int RefRle(const TileGeometry &g, Bytes *tile, const Bytes &d, int B, int xorMode)
{
    const size_t total = (size_t)g.height * g.lineBytes;
    size_t k = 0, off = 0;
    auto put = [&](uint8_t v) {
        if (k >= total)
            return false;
        uint8_t &t = (*tile)[k / g.lineBytes * g.stride + k % g.lineBytes];
        t = xorMode ? (uint8_t)(t ^ v) : v;
        k++;
        return true;
    };
    while (off < d.size()) {
        if (d[off] == 0) {
            if (d.size() - off < 3)
                return kPartAppliedShort;
            const size_t n = (size_t)(d[off + 1] | d[off + 2] << 8) * B;
            if (d.size() - off - 3 < n)
                return kPartAppliedShort;
            for (size_t i = 0; i < n; i++)
                if (!put(d[off + 3 + i]))
                    return kPartAppliedShort;
            off += 3 + n;
        } else {
            if (d.size() - off < (size_t)(2 + B))
                return kPartAppliedShort;
            const size_t n = (size_t)((d[off] & 0x7F) << 8 | d[off + 1]);
            for (size_t i = 0; i < n; i++)
                for (int b = 0; b < B; b++)
                    if (!put(d[off + 2 + b]))
                        return kPartAppliedShort;
            off += 2 + B;
        }
    }
    return kPartApplied;
}

void AddRepeat(Bytes *d, unsigned n, const Bytes &pixel)
{
    d->push_back((uint8_t)(0x80 | n >> 8));
    d->push_back((uint8_t)n);
    d->insert(d->end(), pixel.begin(), pixel.end());
}

void AddLiteral(Bytes *d, unsigned n, const Bytes &pixels)
{
    d->push_back(0);
    d->push_back((uint8_t)n);
    d->push_back((uint8_t)(n >> 8));
    d->insert(d->end(), pixels.begin(), pixels.end());
}

// ---- Tile address ----

TEST(PartAddress, ColumnFirstThenRow)
{
    const uint8_t p[] = {5, 7, 0xAA};
    int row = -1, column = -1;
    ASSERT_TRUE(PartTileAddress(p, sizeof p, &row, &column));
    EXPECT_EQ(column, 5);
    EXPECT_EQ(row, 7);
    const uint8_t corner[] = {31, 31};
    ASSERT_TRUE(PartTileAddress(corner, 2, &row, &column));
    EXPECT_EQ(row, 31);
    EXPECT_EQ(column, 31);
}

TEST(PartAddress, RefusesShortPayloadsAndOutOfGridAddresses)
{
    int row = -1, column = -1;
    const Bytes bad[] = {{}, {3}, {32, 0}, {0, 32}, {255, 1}, {1, 255}, {255, 255}};
    for (const Bytes &b : bad) {
        Heap h(b);
        EXPECT_FALSE(PartTileAddress(h.p.get(), h.n, &row, &column)) << b.size();
    }
    EXPECT_EQ(row, -1);
    EXPECT_EQ(column, -1);
    EXPECT_FALSE(PartTileAddress(nullptr, 2, &row, &column));
}

// ---- XOR parts ----

TEST(XorPart, DeltaRowsSkipThePadding)
{
    // 25 pixels at 8 bits: 25 line bytes in a 28-byte stride; the delta has no padding.
    const TileGeometry g = Geometry(25, 3, 8);
    Heap tile(Bytes(g.size, 0x0F));
    Bytes delta(75);
    for (size_t i = 0; i < delta.size(); i++)
        delta[i] = (uint8_t)(i + 1);
    Heap d(delta);
    EXPECT_EQ(ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n), kPartApplied);
    const Bytes t = tile.Get();
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 25; c++)
            ASSERT_EQ(t[r * 28 + c], (uint8_t)(0x0F ^ (r * 25 + c + 1))) << r << "," << c;
        for (int c = 25; c < 28; c++)
            ASSERT_EQ(t[r * 28 + c], 0x0F) << "padding " << r << "," << c;
    }
}

TEST(XorPart, SameDeltaTwiceRestoresTheTile)
{
    std::mt19937 rng(11);
    for (int depth : {1, 4, 8, 16}) {
        for (int width : {1, 7, 25, 31, 32, 38}) {
            const TileGeometry g = Geometry(width, 5, depth);
            const Bytes before = Random(g.size, &rng);
            Heap tile(before);
            Heap d(Random((size_t)g.height * g.lineBytes, &rng));
            ASSERT_EQ(ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n), kPartApplied);
            EXPECT_NE(tile.Get(), before);
            ASSERT_EQ(ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n), kPartApplied);
            EXPECT_EQ(tile.Get(), before) << depth << " " << width;
        }
    }
}

TEST(XorPart, WrongLengthIsAppliedAsFarAsItGoes)
{
    std::mt19937 rng(12);
    for (int width : {25, 32}) { // with and without row padding
        const TileGeometry g = Geometry(width, 4, 8);
        const size_t full = (size_t)g.height * g.lineBytes;
        for (size_t len : {(size_t)0, (size_t)1, (size_t)width - 1, (size_t)width + 3, full - 1, full + 1, full + 500}) {
            const Bytes before = Random(g.size, &rng), delta = Random(len, &rng);
            Heap tile(before), d(delta);
            ASSERT_EQ(ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n), kPartAppliedShort) << len;
            Bytes want = before;
            for (size_t k = 0; k < len && k < full; k++)
                want[k / g.lineBytes * g.stride + k % g.lineBytes] ^= delta[k];
            EXPECT_EQ(tile.Get(), want) << width << " " << len;
        }
    }
}

// ---- Run-length records ----

TEST(RlePart, RepeatCountIsFifteenBitsHighByteFirst)
{
    const TileGeometry g = Geometry(32, 24, 8); // 768 bytes, no padding
    Heap tile(Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &tile, {0x80, 0x05, 0x42}, 1, 0), kPartApplied);
    Bytes want(g.size, 0xEE);
    std::fill(want.begin(), want.begin() + 5, 0x42);
    EXPECT_EQ(tile.Get(), want);

    Heap big(Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &big, {0x81, 0x00, 0x07}, 1, 0), kPartApplied);
    want.assign(g.size, 0xEE);
    std::fill(want.begin(), want.begin() + 256, 0x07);
    EXPECT_EQ(big.Get(), want);
}

TEST(RlePart, LiteralCountIsLittleEndianAndMayBeZero)
{
    const TileGeometry g = Geometry(32, 24, 8);
    Bytes data = {0x00, 0x00, 0x00}; // writes nothing
    Bytes lit(260);
    for (size_t i = 0; i < lit.size(); i++)
        lit[i] = (uint8_t)(i * 7 + 1);
    AddLiteral(&data, 260, lit); // count bytes 0x04 0x01
    ASSERT_EQ(data[4], 0x04);
    ASSERT_EQ(data[5], 0x01);
    data.push_back(0x00);
    data.push_back(0x00);
    data.push_back(0x00);
    AddRepeat(&data, 2, {0x99});
    Heap tile(Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &tile, data, 1, 0), kPartApplied);
    Bytes want(g.size, 0xEE);
    std::copy(lit.begin(), lit.end(), want.begin());
    want[260] = want[261] = 0x99;
    EXPECT_EQ(tile.Get(), want);
}

TEST(RlePart, RunContinuesOnTheNextRowPastThePadding)
{
    const TileGeometry g = Geometry(25, 4, 8); // stride 28
    ASSERT_EQ(g.stride, 28u);
    Heap tile(Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &tile, {0x80, 30, 0x5A}, 1, 0), kPartApplied);
    Bytes want(g.size, 0xEE);
    std::fill(want.begin(), want.begin() + 25, 0x5A);
    std::fill(want.begin() + 28, want.begin() + 33, 0x5A);
    EXPECT_EQ(tile.Get(), want);

    // A literal across the same boundary, then a repeat that carries on after it.
    Heap lit(Bytes(g.size, 0xEE));
    Bytes px(27);
    for (size_t i = 0; i < px.size(); i++)
        px[i] = (uint8_t)(i + 1);
    Bytes data;
    AddLiteral(&data, 27, px);
    AddRepeat(&data, 3, {0x77});
    EXPECT_EQ(Rle(g, &lit, data, 1, 0), kPartApplied);
    want.assign(g.size, 0xEE);
    for (int i = 0; i < 25; i++)
        want[i] = (uint8_t)(i + 1);
    want[28] = 26;
    want[29] = 27;
    want[30] = want[31] = want[32] = 0x77;
    EXPECT_EQ(lit.Get(), want);
}

TEST(RlePart, SixteenBitPixelsKeepTheirByteOrder)
{
    const TileGeometry g = Geometry(5, 2, 16); // 10 line bytes, stride 12
    ASSERT_EQ(g.stride, 12u);
    Heap tile(Bytes(g.size, 0xEE));
    Bytes data;
    AddRepeat(&data, 3, {0x34, 0x12});
    AddLiteral(&data, 3, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    AddRepeat(&data, 2, {0xCD, 0xAB});
    EXPECT_EQ(Rle(g, &tile, data, 2, 0), kPartApplied);
    const Bytes want = {0x34, 0x12, 0x34, 0x12, 0x34, 0x12, 0x01, 0x02, 0x03, 0x04, 0xEE, 0xEE,
                        0x05, 0x06, 0xCD, 0xAB, 0xCD, 0xAB, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(tile.Get(), want);
}

TEST(RlePart, XorModeCombinesWithWhatIsThere)
{
    const TileGeometry g = Geometry(5, 2, 16);
    Bytes start(g.size);
    for (size_t i = 0; i < start.size(); i++)
        start[i] = (uint8_t)(i * 13);
    Heap tile(start);
    Bytes data;
    AddRepeat(&data, 4, {0xFF, 0x0F});
    AddLiteral(&data, 1, {0x80, 0x01});
    EXPECT_EQ(Rle(g, &tile, data, 2, 1), kPartApplied);
    Bytes want = start;
    for (int i = 0; i < 8; i += 2) {
        want[i] ^= 0xFF;
        want[i + 1] ^= 0x0F;
    }
    want[8] ^= 0x80;
    want[9] ^= 0x01;
    EXPECT_EQ(tile.Get(), want);
    // The same part again undoes it.
    EXPECT_EQ(Rle(g, &tile, data, 2, 1), kPartApplied);
    EXPECT_EQ(tile.Get(), start);
}

TEST(RlePart, RecordsPastTheDataEndThePartThere)
{
    const struct {
        const char *what;
        Bytes tail;
        int B;
    } cases[] = {
        {"literal header cut after the type", {0x00}, 1},
        {"literal header cut inside the count", {0x00, 0x05}, 1},
        {"literal with fewer pixels than counted", {0x00, 0x05, 0x00, 1, 2, 3, 4}, 1},
        {"literal at 16 bits with an odd byte short", {0x00, 0x02, 0x00, 1, 2, 3}, 2},
        {"huge literal count", {0x00, 0xFF, 0xFF, 1, 2}, 1},
        {"repeat without its pixel", {0x80, 0x05}, 1},
        {"repeat with half a 16-bit pixel", {0x80, 0x05, 0x22}, 2},
        {"lone repeat type byte", {0x85}, 1},
    };
    for (const auto &c : cases) {
        const TileGeometry g = Geometry(25, 4, 8 * c.B);
        Bytes data;
        AddRepeat(&data, 3, c.B == 2 ? Bytes{0x11, 0x11} : Bytes{0x11});
        data.insert(data.end(), c.tail.begin(), c.tail.end());
        const Bytes start(g.size, 0xEE);
        Heap tile(start);
        EXPECT_EQ(Rle(g, &tile, data, c.B, 0), kPartAppliedShort) << c.what;
        // The whole records before the cut stay applied; the cut record writes nothing.
        Bytes want = start;
        std::fill(want.begin(), want.begin() + 3 * c.B, 0x11);
        EXPECT_EQ(tile.Get(), want) << c.what;
    }
}

TEST(RlePart, RecordsPastTheTileStopAtItsLastByte)
{
    for (int B : {1, 2}) {
        const TileGeometry g = Geometry(7, 3, 8 * B); // padded rows
        const Bytes pixel = B == 2 ? Bytes{0x12, 0x34} : Bytes{0x12};
        const Bytes start(g.size, 0xEE);
        Bytes want = start;
        for (int r = 0; r < 3; r++)
            for (uint32_t c = 0; c < g.lineBytes; c++)
                want[r * g.stride + c] = pixel[c % B];

        Heap huge(start);
        EXPECT_EQ(Rle(g, &huge, {0xFF, 0xFF, pixel[0], pixel[B - 1]}, B, 0), kPartAppliedShort);
        EXPECT_EQ(huge.Get(), want) << B;

        // Exactly full, then one more pixel.
        Bytes data;
        AddRepeat(&data, 21, pixel);
        Heap exact(start);
        EXPECT_EQ(Rle(g, &exact, data, B, 0), kPartApplied);
        EXPECT_EQ(exact.Get(), want);
        AddLiteral(&data, 1, pixel);
        Heap over(start);
        EXPECT_EQ(Rle(g, &over, data, B, 0), kPartAppliedShort);
        EXPECT_EQ(over.Get(), want);

        // Zero-count records after a full tile write nothing and are not an overrun.
        data.resize(data.size() - 3 - B);
        data.insert(data.end(), {0x00, 0x00, 0x00, 0x80, 0x00});
        data.insert(data.end(), pixel.begin(), pixel.end());
        Heap zeros(start);
        EXPECT_EQ(Rle(g, &zeros, data, B, 0), kPartApplied);
        EXPECT_EQ(zeros.Get(), want);
    }
}

TEST(RlePart, ManyEmptyRecordsEndWithTheData)
{
    // 0x80 0x00 repeats nothing; 20000 of them must simply be read through.
    const TileGeometry g = Geometry(32, 24, 8);
    Bytes data;
    for (int i = 0; i < 20000; i++)
        AddRepeat(&data, 0, {0x33});
    Heap tile(Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &tile, data, 1, 0), kPartApplied);
    EXPECT_EQ(tile.Get(), Bytes(g.size, 0xEE));
    EXPECT_EQ(Rle(g, &tile, {}, 1, 0), kPartApplied); // no records at all
}

TEST(RlePart, RefusesPixelSizesItCannotPlace)
{
    const TileGeometry g = Geometry(32, 24, 8);
    Heap tile(Bytes(g.size, 0xEE));
    for (int B : {0, 3, 4, -1})
        EXPECT_EQ(Rle(g, &tile, {0x80, 0x05, 1, 2, 3, 4}, B, 0), kPartDropped) << B;
    // Two-byte pixels in rows of an odd byte count would straddle rows.
    const TileGeometry odd = Geometry(25, 4, 8);
    Heap t2(Bytes(odd.size, 0xEE));
    EXPECT_EQ(Rle(odd, &t2, {0x80, 0x05, 1, 2}, 2, 0), kPartDropped);
    EXPECT_EQ(t2.Get(), Bytes(odd.size, 0xEE));
    EXPECT_EQ(tile.Get(), Bytes(g.size, 0xEE));
}

// Random well-formed parts against the reference, on odd widths with padding.
Bytes RandomRecords(std::mt19937 *rng, size_t pixels, int B)
{
    Bytes d;
    size_t made = 0;
    while (made < pixels) {
        const unsigned kind = (*rng)() % 8;
        unsigned n;
        if (kind < 4) {
            n = (*rng)() % 12; // short runs, including 0
            AddRepeat(&d, n, Random(B, rng));
        } else if (kind < 5) {
            n = (*rng)() % 400; // long runs, often across several rows
            AddRepeat(&d, n, Random(B, rng));
        } else {
            n = (*rng)() % (kind == 7 ? 120 : 9);
            AddLiteral(&d, n, Random((size_t)n * B, rng));
        }
        made += n;
    }
    return d;
}

TEST(RlePart, RandomPartsMatchTheReference)
{
    std::mt19937 rng(2024);
    for (int B : {1, 2}) {
        for (int width : {1, 3, 7, 25, 31, 33, 38, 64}) {
            for (int trial = 0; trial < 30; trial++) {
                const TileGeometry g = Geometry(width, 1 + (int)(rng() % 30), 8 * B);
                // Parts that cover about half, all, or more than the tile.
                const size_t pixels = (size_t)g.width * g.height * (1 + trial % 3) / 2;
                const Bytes data = RandomRecords(&rng, pixels, B);
                const Bytes start = Random(g.size, &rng);
                for (int xorMode : {0, 1}) {
                    Bytes want = start;
                    const int wantRc = RefRle(g, &want, data, B, xorMode);
                    Heap tile(start);
                    ASSERT_EQ(Rle(g, &tile, data, B, xorMode), wantRc) << B << " " << width << " " << trial;
                    ASSERT_EQ(tile.Get(), want) << B << " " << width << " " << trial << " xor " << xorMode;
                }
            }
        }
    }
}

TEST(RlePart, RandomBytesMatchTheReference)
{
    // Arbitrary bytes are records too; cut or overlong ones must be handled alike.
    std::mt19937 rng(77);
    for (int trial = 0; trial < 3000; trial++) {
        const int B = 1 + trial % 2;
        const TileGeometry g = Geometry(1 + (int)(rng() % 40), 1 + (int)(rng() % 12), 8 * B);
        Bytes data = Random(rng() % 64, &rng);
        for (auto &v : data) // keep counts small often enough to reach the tile's end
            if (rng() % 3 == 0)
                v &= 0x81;
        const Bytes start = Random(g.size, &rng);
        Bytes want = start;
        const int xorMode = (trial / 2) % 2;
        const int wantRc = RefRle(g, &want, data, B, xorMode);
        Heap tile(start);
        ASSERT_EQ(Rle(g, &tile, data, B, xorMode), wantRc) << trial;
        ASSERT_EQ(tile.Get(), want) << trial;
    }
}

// ---- Publishing ----

// Pixel access in a DIB row: most significant bits first at 1 and 4 bits.
unsigned GetPixel(const uint8_t *row, int x, int depth)
{
    switch (depth) {
    case 1:
        return row[x / 8] >> (7 - x % 8) & 1;
    case 4:
        return row[x / 2] >> (x % 2 ? 0 : 4) & 0xF;
    case 8:
        return row[x];
    default:
        return (unsigned)(row[2 * x] | row[2 * x + 1] << 8);
    }
}

void SetPixel(uint8_t *row, int x, int depth, unsigned v)
{
    switch (depth) {
    case 1: {
        const uint8_t bit = (uint8_t)(0x80 >> (x % 8));
        row[x / 8] = (uint8_t)(v ? row[x / 8] | bit : row[x / 8] & ~bit);
        break;
    }
    case 4: {
        const int shift = x % 2 ? 0 : 4;
        row[x / 2] = (uint8_t)((row[x / 2] & ~(0xF << shift)) | (v & 0xF) << shift);
        break;
    }
    case 8:
        row[x] = (uint8_t)v;
        break;
    default:
        row[2 * x] = (uint8_t)v;
        row[2 * x + 1] = (uint8_t)(v >> 8);
    }
}

// Tile pixel (px, py), py from the tile's top, into the expected frame.
void RefPublish(const TileLayout &l, int r, int c, const Bytes &tile, Bytes *frame)
{
    const TileGeometry &g = l.tiles[r][c];
    for (int py = 0; py < g.height; py++) {
        const uint8_t *src = &tile[(size_t)(g.height - 1 - py) * g.stride];
        uint8_t *dst = &(*frame)[(size_t)(l.height - 1 - (g.y + py)) * l.frameStride];
        for (int px = 0; px < g.width; px++)
            SetPixel(dst, g.x + px, l.depth, GetPixel(src, px, l.depth));
    }
}

struct Screen {
    TileLayout l;
    std::vector<Heap> tiles;
    std::unique_ptr<Heap> frame;
};

void MakeScreen(Screen *s, int W, int H, int depth, std::mt19937 *rng)
{
    ASSERT_TRUE(TileLayoutCompute(&s->l, W, H, depth));
    for (int t = 0; t < kTileCount; t++)
        s->tiles.emplace_back(Random(s->l.tiles[t / 32][t % 32].size, rng));
    s->frame.reset(new Heap(Random((size_t)H * s->l.frameStride, rng)));
}

TEST(Publish, WholeScreensMatchThePerPixelReference)
{
    std::mt19937 rng(5);
    const struct {
        int W, H, depth;
    } cases[] = {
        {1030, 775, 16}, {100, 70, 8}, {800, 600, 4}, // 25-pixel tiles at 4 bits
        {1000, 64, 1},                                // 31-pixel tiles at 1 bit
        {100, 70, 1}, {97, 33, 4},                    // tiles inside one byte
    };
    for (const auto &c : cases) {
        Screen s;
        MakeScreen(&s, c.W, c.H, c.depth, &rng);
        Bytes want = s.frame->Get();
        for (int t = 0; t < kTileCount; t++) {
            PublishTile(&s.l, t / 32, t % 32, s.tiles[t].p.get(), s.frame->p.get());
            RefPublish(s.l, t / 32, t % 32, s.tiles[t].Get(), &want);
        }
        // Padding bits at the end of each frame row keep what they held.
        EXPECT_EQ(s.frame->Get(), want) << c.W << "x" << c.H << "@" << c.depth;
    }
}

TEST(Publish, OneTileLeavesItsNeighboursAlone)
{
    std::mt19937 rng(6);
    const struct {
        int W, H, depth;
    } cases[] = {{800, 96, 4}, {1000, 64, 1}, {100, 70, 1}, {97, 33, 4}, {1030, 80, 16}, {100, 70, 8}};
    for (const auto &c : cases) {
        Screen s;
        MakeScreen(&s, c.W, c.H, c.depth, &rng);
        for (const int t : {0, 1, 32 * 7 + 13, 30, 31, 32 * 31, 32 * 31 + 5, kTileCount - 1}) {
            const Bytes before = s.frame->Get();
            Bytes want = before;
            PublishTile(&s.l, t / 32, t % 32, s.tiles[t].p.get(), s.frame->p.get());
            RefPublish(s.l, t / 32, t % 32, s.tiles[t].Get(), &want);
            ASSERT_EQ(s.frame->Get(), want) << c.W << "@" << c.depth << " tile " << t;
        }
    }
}

TEST(Publish, RowsLandBottomUp)
{
    // 64 x 64 at 8 bits: tiles of 2 x 2. Tile (0, 0) is the top-left corner: its buffer's
    // first row is its lower row, frame row H - 2 from the bottom.
    TileLayout l;
    ASSERT_TRUE(TileLayoutCompute(&l, 64, 64, 8));
    Heap frame(Bytes((size_t)64 * l.frameStride, 0));
    Heap tile(Bytes{1, 2, 0, 0, 3, 4, 0, 0});
    PublishTile(&l, 0, 0, tile.p.get(), frame.p.get());
    const Bytes f = frame.Get();
    EXPECT_EQ(f[62 * 64 + 0], 1);
    EXPECT_EQ(f[62 * 64 + 1], 2);
    EXPECT_EQ(f[63 * 64 + 0], 3);
    EXPECT_EQ(f[63 * 64 + 1], 4);
    // Row 31 starts at the frame's first row, column 31 at byte 62.
    Heap last(Bytes{5, 6, 0, 0, 7, 8, 0, 0});
    PublishTile(&l, 31, 31, last.p.get(), frame.p.get());
    EXPECT_EQ(frame.Get()[0 * 64 + 62], 5);
    EXPECT_EQ(frame.Get()[1 * 64 + 63], 8);
}

// The path a screen part takes: address, decode into its tile, publish.
TEST(Publish, RlePartEndToEnd)
{
    std::mt19937 rng(9);
    Screen s;
    MakeScreen(&s, 800, 600, 8, &rng);
    const Bytes payload = [] {
        Bytes p = {3, 30}; // column 3, row 30
        AddRepeat(&p, 25 * 18, {0x41});
        return p;
    }();
    Heap wire(payload);
    int row, column;
    ASSERT_TRUE(PartTileAddress(wire.p.get(), wire.n, &row, &column));
    Heap &tile = s.tiles[row * 32 + column];
    const TileGeometry &g = s.l.tiles[row][column];
    ASSERT_EQ(ApplyRlePart(&g, tile.p.get(), wire.p.get() + 2, wire.n - 2, 1, 0), kPartApplied);
    PublishTile(&s.l, row, column, tile.p.get(), s.frame->p.get());
    const Bytes f = s.frame->Get();
    // Tile (30, 3) covers x 75..99 and y 540..557: frame rows 42..59 from the bottom.
    for (int y = 540; y < 558; y++)
        for (int x = 75; x < 100; x++)
            ASSERT_EQ(f[(size_t)(599 - y) * 800 + x], 0x41) << x << "," << y;
}

} // namespace
