// Screen parts into tile buffers: wire layouts, run-length records, hostile parts
// against a byte-at-a-time reference decoder, and publishing against per-pixel
// references. Every buffer is a heap block of exactly its size, so that ASan sees
// any access past it.
#include "desktop/decode.h"
#include "desktop/tiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <set>
#include <utility>
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

// Where meaningful byte k of a tile lives: row k / lineBytes, column k % lineBytes.
size_t At(const TileGeometry &g, size_t k) { return k / g.lineBytes * g.stride + k % g.lineBytes; }

int Rle(const TileGeometry &g, Heap *tile, const Bytes &data, int B, int xorMode)
{
    Heap d(data);
    return ApplyRlePart(&g, tile->p.get(), d.p.get(), d.n, B, xorMode);
}

// Reference run-length decoder, one byte at a time. Same decisions as the real one:
// a record cut by the end of the data is dropped whole and ends the part; a record
// that runs past the tile writes what fits and ends the part.
int RefRle(const TileGeometry &g, Bytes *tile, const Bytes &d, int B, int xorMode)
{
    const size_t total = (size_t)g.height * g.lineBytes;
    size_t k = 0, off = 0;
    auto put = [&](uint8_t v) {
        if (k >= total)
            return false;
        uint8_t &t = (*tile)[At(g, k++)];
        t = xorMode ? (uint8_t)(t ^ v) : v;
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

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Times(size_t n, const Bytes &pixel)
{
    Bytes out;
    for (size_t i = 0; i < n; i++)
        out.insert(out.end(), pixel.begin(), pixel.end());
    return out;
}

Bytes Count(size_t n) // 1, 2, 3, ...
{
    Bytes out(n);
    std::iota(out.begin(), out.end(), 1);
    return out;
}

// Repeat record: count high byte first with the top bit set.
Bytes Repeat(unsigned n, const Bytes &pixel) { return Cat({{(uint8_t)(0x80 | n >> 8), (uint8_t)n}, pixel}); }

// Literal record: 0, count low byte first, n pixels of B bytes.
Bytes Literal(const Bytes &pixels, int B = 1)
{
    const size_t n = pixels.size() / B;
    return Cat({{0, (uint8_t)n, (uint8_t)(n >> 8)}, pixels});
}

TEST(PartAddress, ColumnFirstThenRowInsideTheGrid)
{
    int row = -1, column = -1;
    const uint8_t p[] = {5, 7, 0xAA}, corner[] = {31, 31};
    ASSERT_TRUE(PartTileAddress(p, sizeof p, &row, &column));
    EXPECT_EQ(std::make_pair(column, row), std::make_pair(5, 7));
    ASSERT_TRUE(PartTileAddress(corner, 2, &row, &column));
    EXPECT_EQ(std::make_pair(column, row), std::make_pair(31, 31));
    row = column = -1;
    for (const Bytes &b : {Bytes{}, Bytes{3}, Bytes{32, 0}, Bytes{0, 32}, Bytes{255, 1}, Bytes{1, 255}}) {
        Heap h(b);
        EXPECT_FALSE(PartTileAddress(h.p.get(), h.n, &row, &column)) << b.size();
    }
    EXPECT_FALSE(PartTileAddress(nullptr, 2, &row, &column));
    EXPECT_EQ(row, -1);
    EXPECT_EQ(column, -1);
}

// The delta has no row padding; one of the wrong length is applied as far as both go,
// and the same delta twice restores the tile.
TEST(XorPart, DeltaOfAnyLengthSkipsThePadding)
{
    std::mt19937 rng(12);
    for (int depth : {1, 4, 8, 16}) {
        for (int width : {1, 7, 25, 31, 32, 38}) {
            const TileGeometry g = Geometry(width, 4, depth);
            const size_t full = (size_t)g.height * g.lineBytes;
            for (size_t len : {(size_t)0, (size_t)1, (size_t)g.lineBytes + 3, full - 1, full, full + 1, full + 500}) {
                SCOPED_TRACE(testing::Message() << depth << " " << width << " " << len);
                const Bytes before = Random(g.size, &rng), delta = Random(len, &rng);
                Heap tile(before), d(delta);
                const int rc = len == full ? kPartApplied : kPartAppliedShort;
                ASSERT_EQ(ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n), rc);
                Bytes want = before;
                for (size_t k = 0; k < len && k < full; k++)
                    want[At(g, k)] ^= delta[k];
                EXPECT_EQ(tile.Get(), want);
                ApplyXorPart(&g, tile.p.get(), d.p.get(), d.n);
                EXPECT_EQ(tile.Get(), before);
            }
        }
    }
}

// Known answers and hostile parts: the result, and what lands in the tile's meaningful
// bytes from the start (the rest keeps 0xEE). In XOR mode the same part twice restores.
TEST(RlePart, Records)
{
    const Bytes lit260 = Times(26, Count(10)), p1 = {0x12}, p2 = {0x12, 0x34}, x1 = {0x11}, x2 = {0x11, 0x11};
    const Bytes full1 = Repeat(21, p1), full2 = Repeat(21, p2), three1 = Repeat(3, x1), three2 = Repeat(3, x2);
    const int ok = kPartApplied, cut = kPartAppliedShort;
    const struct {
        const char *what;
        int width, height, B, xorMode;
        Bytes data;
        int rc;
        Bytes written;
    } cases[] = {
        {"repeat 0x80 0x05", 32, 24, 1, 0, {0x80, 0x05, 0x42}, ok, Times(5, {0x42})},
        {"repeat count high byte first: 0x81 0x00", 32, 24, 1, 0, {0x81, 0x00, 0x07}, ok, Times(256, {0x07})},
        // 260 is sent as 0x04 0x01.
        {"literal count low byte first, 0-count literals", 32, 24, 1, 0,
         Cat({{0, 0, 0}, {0, 0x04, 0x01}, lit260, {0, 0, 0}, Repeat(2, {0x99})}), ok, Cat({lit260, {0x99, 0x99}})},
        // 25 pixels at 8 bits: 25 meaningful bytes in a 28-byte stride.
        {"repeat wraps a 25-pixel row over its padding", 25, 4, 1, 0, {0x80, 30, 0x5A}, ok, Times(30, {0x5A})},
        {"literal wraps, a repeat carries on", 25, 4, 1, 0, Cat({Literal(Count(27)), Repeat(3, {0x77})}), ok,
         Cat({Count(27), Times(3, {0x77})})},
        {"16-bit pixels keep their byte order", 5, 2, 2, 0,
         Cat({Repeat(3, {0x34, 0x12}), Literal(Count(6), 2), Repeat(2, {0xCD, 0xAB})}), ok,
         Cat({Times(3, {0x34, 0x12}), Count(6), Times(2, {0xCD, 0xAB})})},
        {"XOR mode", 5, 2, 2, 1, Cat({Repeat(4, {0xFF, 0x0F}), Literal({0x80, 0x01}, 2)}), ok,
         Cat({Times(4, {0xFF, 0x0F}), {0x80, 0x01}})},
        // A record cut by the end of the data writes nothing; the records before it stay.
        {"literal header cut after the type", 25, 4, 1, 0, Cat({three1, {0x00}}), cut, Times(3, x1)},
        {"literal header cut inside the count", 25, 4, 1, 0, Cat({three1, {0x00, 0x05}}), cut, Times(3, x1)},
        {"literal with fewer pixels than counted", 25, 4, 1, 0, Cat({three1, {0, 5, 0, 1, 2, 3, 4}}), cut,
         Times(3, x1)},
        {"literal at 16 bits with an odd byte short", 25, 4, 2, 0, Cat({three2, {0, 2, 0, 1, 2, 3}}), cut,
         Times(3, x2)},
        {"huge literal count", 25, 4, 1, 0, Cat({three1, {0x00, 0xFF, 0xFF, 1, 2}}), cut, Times(3, x1)},
        {"repeat without its pixel", 25, 4, 1, 0, Cat({three1, {0x80, 0x05}}), cut, Times(3, x1)},
        {"repeat with half a 16-bit pixel", 25, 4, 2, 0, Cat({three2, {0x80, 0x05, 0x22}}), cut, Times(3, x2)},
        {"lone repeat type byte", 25, 4, 1, 0, Cat({three1, {0x85}}), cut, Times(3, x1)},
        // Records past the tile (21 pixels in padded rows) write what fits.
        {"huge repeat", 7, 3, 1, 0, Cat({{0xFF, 0xFF}, p1}), cut, Times(21, p1)},
        {"huge 16-bit repeat", 7, 3, 2, 0, Cat({{0xFF, 0xFF}, p2}), cut, Times(21, p2)},
        {"exactly full", 7, 3, 1, 0, full1, ok, Times(21, p1)},
        {"exactly full at 16 bits", 7, 3, 2, 0, full2, ok, Times(21, p2)},
        {"one pixel more", 7, 3, 1, 0, Cat({full1, Literal(p1)}), cut, Times(21, p1)},
        {"one 16-bit pixel more", 7, 3, 2, 0, Cat({full2, Literal(p2, 2)}), cut, Times(21, p2)},
        // Zero-count records after a full tile write nothing and are not an overrun.
        {"0-count records after a full tile", 7, 3, 1, 0, Cat({full1, {0, 0, 0}, Repeat(0, p1)}), ok, Times(21, p1)},
        {"0-count 16-bit records after a full tile", 7, 3, 2, 0, Cat({full2, {0, 0, 0}, Repeat(0, p2)}), ok,
         Times(21, p2)},
        // Counts that never add up to anything are simply read through.
        {"20000 empty repeats 0x80 0x00", 32, 24, 1, 0, Times(20000, Repeat(0, {0x33})), ok, {}},
        {"no records at all", 32, 24, 1, 0, {}, ok, {}},
    };
    for (const auto &c : cases) {
        const TileGeometry g = Geometry(c.width, c.height, 8 * c.B);
        const Bytes start(g.size, 0xEE);
        Bytes want = start;
        for (size_t k = 0; k < c.written.size(); k++)
            want[At(g, k)] = c.xorMode ? (uint8_t)(0xEE ^ c.written[k]) : c.written[k];
        Heap tile(start);
        EXPECT_EQ(Rle(g, &tile, c.data, c.B, c.xorMode), c.rc) << c.what;
        EXPECT_EQ(tile.Get(), want) << c.what;
        if (c.xorMode) {
            EXPECT_EQ(Rle(g, &tile, c.data, c.B, 1), c.rc);
            EXPECT_EQ(tile.Get(), start) << c.what;
        }
    }
}

TEST(RlePart, RefusesPixelSizesItCannotPlace)
{
    const TileGeometry g = Geometry(32, 24, 8);
    Heap tile(Bytes(g.size, 0xEE));
    for (int B : {0, 3, 4, -1})
        EXPECT_EQ(Rle(g, &tile, {0x80, 0x05, 1, 2, 3, 4}, B, 0), kPartDropped) << B;
    EXPECT_EQ(tile.Get(), Bytes(g.size, 0xEE));
    // Two-byte pixels in rows of an odd byte count would straddle rows.
    const TileGeometry odd = Geometry(25, 4, 8);
    Heap t2(Bytes(odd.size, 0xEE));
    EXPECT_EQ(Rle(odd, &t2, {0x80, 0x05, 1, 2}, 2, 0), kPartDropped);
    EXPECT_EQ(t2.Get(), Bytes(odd.size, 0xEE));
}

// Well-formed random records on odd widths with padding, then arbitrary bytes (records
// too, cut or overlong), both against the reference.
Bytes RandomRecords(std::mt19937 *rng, size_t pixels, int B)
{
    Bytes d;
    for (size_t made = 0; made < pixels;) {
        const unsigned kind = (*rng)() % 8;
        // Short runs including 0, long runs across several rows, short and long literals.
        const unsigned n = (*rng)() % (kind < 4 ? 12 : kind < 5 ? 400 : kind == 7 ? 120 : 9);
        const Bytes part = kind < 5 ? Repeat(n, Random(B, rng)) : Literal(Random((size_t)n * B, rng), B);
        d.insert(d.end(), part.begin(), part.end());
        made += n;
    }
    return d;
}

void ExpectAsReference(const TileGeometry &g, const Bytes &data, int B, int xorMode, std::mt19937 *rng)
{
    const Bytes start = Random(g.size, rng);
    Bytes want = start;
    const int wantRc = RefRle(g, &want, data, B, xorMode);
    Heap tile(start);
    ASSERT_EQ(Rle(g, &tile, data, B, xorMode), wantRc);
    ASSERT_EQ(tile.Get(), want);
}

TEST(RlePart, RandomPartsMatchTheReference)
{
    std::mt19937 rng(2024);
    for (int B : {1, 2}) {
        for (int width : {1, 3, 7, 25, 31, 33, 38, 64}) {
            for (int trial = 0; trial < 30; trial++) {
                SCOPED_TRACE(testing::Message() << B << " " << width << " " << trial);
                const TileGeometry g = Geometry(width, 1 + (int)(rng() % 30), 8 * B);
                // Parts that cover about half, all, or more than the tile.
                const Bytes data = RandomRecords(&rng, (size_t)g.width * g.height * (1 + trial % 3) / 2, B);
                ASSERT_NO_FATAL_FAILURE(ExpectAsReference(g, data, B, 0, &rng));
                ASSERT_NO_FATAL_FAILURE(ExpectAsReference(g, data, B, 1, &rng));
            }
        }
    }
    for (int trial = 0; trial < 3000; trial++) {
        SCOPED_TRACE(trial);
        const int B = 1 + trial % 2;
        const TileGeometry g = Geometry(1 + (int)(rng() % 40), 1 + (int)(rng() % 12), 8 * B);
        Bytes data = Random(rng() % 64, &rng);
        for (auto &v : data) // keep counts small often enough to reach the tile's end
            if (rng() % 3 == 0)
                v &= 0x81;
        ASSERT_NO_FATAL_FAILURE(ExpectAsReference(g, data, B, (trial / 2) % 2, &rng));
    }
}

// Pixel access in a DIB row: most significant bits first at 1 and 4 bits.
unsigned GetPixel(const uint8_t *row, int x, int depth)
{
    if (depth >= 8)
        return depth == 8 ? row[x] : (unsigned)(row[2 * x] | row[2 * x + 1] << 8);
    const int perByte = 8 / depth;
    return row[x / perByte] >> (perByte - 1 - x % perByte) * depth & ((1 << depth) - 1);
}

void SetPixel(uint8_t *row, int x, int depth, unsigned v)
{
    if (depth >= 8) {
        row[depth / 8 * x] = (uint8_t)v;
        if (depth == 16)
            row[2 * x + 1] = (uint8_t)(v >> 8);
        return;
    }
    const int perByte = 8 / depth, shift = (perByte - 1 - x % perByte) * depth, mask = (1 << depth) - 1;
    row[x / perByte] = (uint8_t)((row[x / perByte] & ~(mask << shift)) | (v & mask) << shift);
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

// Every tile against the per-pixel reference; after the probed tiles the whole frame
// is compared, so a tile that writes over a neighbour shows before the neighbour is done.
TEST(Publish, TilesMatchThePerPixelReference)
{
    std::mt19937 rng(5);
    const struct {
        int W, H, depth;
    } cases[] = {
        {1030, 775, 16}, {100, 70, 8}, {800, 600, 4}, // 25-pixel tiles at 4 bits
        {1000, 64, 1},                                // 31-pixel tiles at 1 bit
        {100, 70, 1},    {97, 33, 4},                 // tiles starting inside a byte
    };
    const std::set<int> probes = {0, 1, 30, 31, 32 * 7 + 13, 32 * 31, 32 * 31 + 5, kTileCount - 1};
    for (const auto &c : cases) {
        Screen s;
        MakeScreen(&s, c.W, c.H, c.depth, &rng);
        Bytes want = s.frame->Get();
        for (int t = 0; t < kTileCount; t++) {
            PublishTile(&s.l, t / 32, t % 32, s.tiles[t].p.get(), s.frame->p.get());
            RefPublish(s.l, t / 32, t % 32, s.tiles[t].Get(), &want);
            // Padding bits at the end of each frame row keep what they held.
            if (probes.count(t)) {
                ASSERT_EQ(s.frame->Get(), want) << c.W << "x" << c.H << "@" << c.depth << " tile " << t;
            }
        }
    }
}

// The path a screen part takes: address, decode into its tile, publish; rows land
// bottom-up.
TEST(Publish, RlePartEndToEnd)
{
    std::mt19937 rng(9);
    Screen s;
    MakeScreen(&s, 800, 600, 8, &rng);
    Heap wire(Cat({{3, 30}, Repeat(25 * 18, {0x41})})); // column 3, row 30
    int row, column;
    ASSERT_TRUE(PartTileAddress(wire.p.get(), wire.n, &row, &column));
    Heap &tile = s.tiles[row * 32 + column];
    ASSERT_EQ(ApplyRlePart(&s.l.tiles[row][column], tile.p.get(), wire.p.get() + 2, wire.n - 2, 1, 0), kPartApplied);
    PublishTile(&s.l, row, column, tile.p.get(), s.frame->p.get());
    const Bytes f = s.frame->Get();
    // Tile (30, 3) covers x 75..99 and y 540..557: frame rows 42..59 from the bottom.
    for (int y = 540; y < 558; y++)
        for (int x = 75; x < 100; x++)
            ASSERT_EQ(f[(size_t)(599 - y) * 800 + x], 0x41) << x << "," << y;
}

} // namespace
