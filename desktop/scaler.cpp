// Area averaging onto the scaled view. A view column covers the screen columns from
// xs[i] up to xs[i + 1] (at least one), and so for rows; every screen pixel counts
// once, so a whole picture costs one pass over the screen.
#include "desktop/scaler.h"

#include <cstdlib>
#include <cstring>

void ScaledPictureFree(ScaledPicture *p)
{
    free(p->pixels);
    free(p->xs);
    free(p->ys);
    free(p->sums);
    memset(p, 0, sizeof(*p));
}

// n view positions over m screen positions; the last entry is m.
static void Spans(int32_t *starts, int32_t n, int32_t m)
{
    for (int32_t i = 0; i <= n; i++)
        starts[i] = (int32_t)((int64_t)i * m / n);
}

// With m = ceil(2^(k + l) / d), 2^l >= d and every x below 2^k, x * m / 2^(k + l) lies
// less than 1/d above x / d, so both have the same floor. k is raised to make the
// shift at least 64; m fits 64 bits for d of 2 or more and x below 2^62.
static ScaleDivisor MakeDivisor(uint64_t d, uint64_t largest)
{
    uint32_t l = 0, k = 0;
    while (((uint64_t)1 << l) < d)
        l++;
    while ((largest >> k) != 0)
        k++;
    if (k + l < 64)
        k = 64 - l;
    const unsigned __int128 one = 1, m = ((one << (k + l)) + d - 1) / d;
    return ScaleDivisor{(uint64_t)m, k + l - 64, d / 2};
}

// A shown channel: x (a channel's sum, weighted and biased) over a divisor, exactly.
static inline uint32_t Average(uint64_t x, uint64_t multiplier, uint32_t shift)
{
    return (uint32_t)((uint64_t)(((unsigned __int128)x * multiplier) >> 64) >> shift);
}

int ScaledPictureInit(ScaledPicture *p, int32_t srcWidth, int32_t srcHeight, int32_t width, int32_t height)
{
    memset(p, 0, sizeof(*p));
    if (srcWidth <= 0 || srcHeight <= 0 || width <= 0 || height <= 0 || srcWidth > kMaxScreenSide ||
        srcHeight > kMaxScreenSide || width > kMaxScreenSide * 4 || height > kMaxScreenSide * 4)
        return 0;
    p->pixels = (uint32_t *)calloc((size_t)width * height, sizeof(uint32_t));
    p->xs = (int32_t *)malloc(((size_t)width + 1) * sizeof(int32_t));
    p->ys = (int32_t *)malloc(((size_t)height + 1) * sizeof(int32_t));
    p->sums = (uint64_t *)malloc((size_t)width * 3 * sizeof(uint64_t));
    if (!p->pixels || !p->xs || !p->ys || !p->sums) {
        ScaledPictureFree(p);
        return 0;
    }
    p->width = width;
    p->height = height;
    p->srcWidth = srcWidth;
    p->srcHeight = srcHeight;
    Spans(p->xs, width, srcWidth);
    Spans(p->ys, height, srcHeight);
    // Spans are the floor or the ceiling of screen over view, and 1 when enlarging.
    p->shortX = srcWidth > width ? srcWidth / width : 1;
    p->shortY = srcHeight > height ? srcHeight / height : 1;
    // Packed sums hold 21 bits a channel: up to 67,650 pixels of 31 under one shown pixel.
    p->packable = (int64_t)(p->shortX + 1) * (p->shortY + 1) * 31 < (1 << 21);
    // A shown channel is the average rounded half up: (2 * sum + n) / 2n for colour
    // tables; 5-bit channels widen exactly, (510 * sum + 31n) / 62n. A division per
    // channel and pixel would cost more than the sums, so each is a multiplication.
    for (int k = 0; k < 4; k++) {
        const uint64_t n = (uint64_t)(p->shortY + k / 2) * (uint64_t)(p->shortX + k % 2);
        p->divisors[0][k] = MakeDivisor(2 * n, 511 * n);
        p->divisors[1][k] = MakeDivisor(62 * n, 15841 * n);
    }
    return 1;
}

static inline int32_t SpanEnd(const int32_t *starts, int32_t i)
{
    return starts[i + 1] > starts[i] ? starts[i + 1] : starts[i] + 1;
}

// The view positions [*from, *to) whose spans meet the screen positions [lo, hi).
static void Covering(const int32_t *starts, int32_t n, int32_t lo, int32_t hi, int32_t *from, int32_t *to)
{
    int32_t a = 0, b = n;
    while (a < n && SpanEnd(starts, a) <= lo)
        a++;
    while (b > a && starts[b - 1] >= hi)
        b--;
    *from = a;
    *to = b;
}

// At 16 bits the 5-bit channels are summed packed in one 64-bit word, 21 bits apiece,
// and widened to 8 bits only once per shown pixel. The first row of a span stores.
static void AddRow16(const ScaledPicture *p, const uint8_t *row, int32_t i0, int32_t i1, int first)
{
    uint64_t *s = p->sums;
    for (int32_t i = i0; i < i1; i++, s++) {
        const int32_t x1 = SpanEnd(p->xs, i);
        uint64_t acc = 0;
        for (int32_t x = p->xs[i]; x < x1; x++) {
            const uint64_t v = (uint64_t)row[2 * x] | (uint64_t)row[2 * x + 1] << 8;
            acc += (v & 0x1F) | (v & 0x3E0) << 16 | (v & 0x7C00) << 32;
        }
        *s = first ? acc : *s + acc;
    }
}

// One screen row of any depth as red, green, blue triples (5-bit channels at 16 bits),
// added into the view columns [i0, i1).
static void AddRow(const ScaledPicture *p, int depth, const uint8_t *row, const uint8_t *colours, int32_t i0,
                   int32_t i1, int first)
{
    uint64_t *s = p->sums;
    for (int32_t i = i0; i < i1; i++, s += 3) {
        const int32_t x1 = SpanEnd(p->xs, i);
        uint32_t r = 0, g = 0, b = 0; // at most 255 * 16,384
        for (int32_t x = p->xs[i]; x < x1; x++) {
            if (depth == 16) {
                const uint32_t v = (uint32_t)row[2 * x] | (uint32_t)row[2 * x + 1] << 8;
                r += (v >> 10) & 31;
                g += (v >> 5) & 31;
                b += v & 31;
            } else {
                uint32_t index;
                if (depth == 8)
                    index = row[x];
                else if (depth == 4)
                    index = (uint32_t)(row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
                else
                    index = (uint32_t)(row[x / 8] >> (7 - x % 8)) & 1;
                const uint8_t *e = colours + 4 * index;
                r += e[2];
                g += e[1];
                b += e[0];
            }
        }
        s[0] = first ? r : s[0] + r;
        s[1] = first ? g : s[1] + g;
        s[2] = first ? b : s[2] + b;
    }
}

// The shown pixels [i0, i1) of one view row from its sums. Locals throughout: the
// stores into the picture could otherwise alias the spans and divisors.
static void FinishRow(const ScaledPicture *p, int depth, int longRow, uint32_t *out, int32_t i0, int32_t i1)
{
    const int32_t *xs = p->xs, shortX = p->shortX;
    const uint64_t *sums = p->sums;
    const ScaleDivisor *d = p->divisors[depth == 16] + 2 * longRow;
    const uint64_t m0 = d[0].multiplier, m1 = d[1].multiplier, b0 = d[0].bias, b1 = d[1].bias;
    const uint32_t s0 = d[0].shift, s1 = d[1].shift;
    if (depth == 16 && p->packable) {
        for (int32_t i = i0; i < i1; i++) {
            const int longer = xs[i + 1] - xs[i] > shortX;
            const uint64_t m = longer ? m1 : m0, b = longer ? b1 : b0, a = sums[i - i0];
            const uint32_t sh = longer ? s1 : s0;
            out[i] = Average(510 * (a >> 42) + b, m, sh) << 16 | Average(510 * (a >> 21 & 0x1FFFFF) + b, m, sh) << 8 |
                     Average(510 * (a & 0x1FFFFF) + b, m, sh);
        }
        return;
    }
    const uint64_t w = depth == 16 ? 510 : 2;
    for (int32_t i = i0; i < i1; i++) {
        const int longer = xs[i + 1] - xs[i] > shortX;
        const uint64_t m = longer ? m1 : m0, b = longer ? b1 : b0, *s = sums + 3 * (i - i0);
        const uint32_t sh = longer ? s1 : s0;
        out[i] = Average(w * s[0] + b, m, sh) << 16 | Average(w * s[1] + b, m, sh) << 8 | Average(w * s[2] + b, m, sh);
    }
}

void ScaledPictureDraw(ScaledPicture *p, const TileLayout *layout, const uint8_t *frameBits, const uint8_t *colours,
                       int32_t left, int32_t top, int32_t right, int32_t bottom, ViewRect *drawn)
{
    *drawn = ViewRect{0, 0, 0, 0};
    const int depth = layout->depth;
    if (!p->pixels || !frameBits || layout->width != p->srcWidth || layout->height != p->srcHeight ||
        (depth != 16 && (depth < 1 || !colours)))
        return;
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (right > p->srcWidth)
        right = p->srcWidth;
    if (bottom > p->srcHeight)
        bottom = p->srcHeight;
    if (left >= right || top >= bottom)
        return;
    int32_t i0, i1, j0, j1;
    Covering(p->xs, p->width, left, right, &i0, &i1);
    Covering(p->ys, p->height, top, bottom, &j0, &j1);
    if (i0 >= i1 || j0 >= j1)
        return;
    const int packed = depth == 16 && p->packable;
    for (int32_t j = j0; j < j1; j++) {
        const int32_t y0 = p->ys[j], y1 = SpanEnd(p->ys, j);
        for (int32_t y = y0; y < y1; y++) {
            const uint8_t *row = frameBits + (size_t)(p->srcHeight - 1 - y) * layout->frameStride;
            if (packed)
                AddRow16(p, row, i0, i1, y == y0);
            else
                AddRow(p, depth, row, colours, i0, i1, y == y0);
        }
        FinishRow(p, depth, y1 - y0 > p->shortY, p->pixels + (size_t)(p->height - 1 - j) * p->width, i0, i1);
    }
    *drawn = ViewRect{i0, j0, i1, j1};
}
