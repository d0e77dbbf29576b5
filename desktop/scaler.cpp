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
    free(p->average);
    free(p->widen);
    memset(p, 0, sizeof(*p));
}

// n view positions over m screen positions; the last entry is m.
static void Spans(int32_t *starts, int32_t n, int32_t m)
{
    for (int32_t i = 0; i <= n; i++)
        starts[i] = (int32_t)((int64_t)i * m / n);
}

int ScaledPictureInit(ScaledPicture *p, int32_t srcWidth, int32_t srcHeight, int32_t width, int32_t height)
{
    memset(p, 0, sizeof(*p));
    if (srcWidth <= 0 || srcHeight <= 0 || width <= 0 || height <= 0 || width > kMaxScreenSide * 4 ||
        height > kMaxScreenSide * 4)
        return 0;
    p->pixels = (uint32_t *)calloc((size_t)width * height, sizeof(uint32_t));
    p->xs = (int32_t *)malloc(((size_t)width + 1) * sizeof(int32_t));
    p->ys = (int32_t *)malloc(((size_t)height + 1) * sizeof(int32_t));
    p->sums = (uint32_t *)malloc((size_t)width * 3 * sizeof(uint32_t));
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
    // Packed sums hold 21 bits a channel: up to 67,650 pixels of 31 under one shown pixel.
    const int64_t spanW = (srcWidth + width - 1) / width + 1, spanH = (srcHeight + height - 1) / height + 1;
    p->packable = spanW * spanH * 31 < (1 << 21);
    // Averages by multiplying: a division per channel and pixel would cost more than the sums.
    p->largest = (int32_t)(spanW * spanH);
    p->average = (uint64_t *)malloc(((size_t)p->largest + 1) * sizeof(uint64_t));
    p->widen = (uint64_t *)malloc(((size_t)p->largest + 1) * sizeof(uint64_t));
    if (!p->average || !p->widen) {
        ScaledPictureFree(p);
        return 0;
    }
    p->average[0] = p->widen[0] = 0;
    for (int32_t n = 1; n <= p->largest; n++) {
        p->average[n] = ((uint64_t)1 << 32) / (uint64_t)n;
        p->widen[n] = (((uint64_t)255 << 32) + 31 * (uint64_t)n / 2) / (31 * (uint64_t)n);
    }
    return 1;
}

static inline int32_t SpanEnd(const int32_t *starts, int32_t i) { return starts[i + 1] > starts[i] ? starts[i + 1] : starts[i] + 1; }

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
// and widened to 8 bits only once per shown pixel.
static void AddRow16(const ScaledPicture *p, const uint8_t *row, int32_t i0, int32_t i1)
{
    uint64_t *s = (uint64_t *)p->sums;
    for (int32_t i = i0; i < i1; i++, s++) {
        const int32_t x1 = SpanEnd(p->xs, i);
        uint64_t acc = 0;
        for (int32_t x = p->xs[i]; x < x1; x++) {
            const uint64_t v = (uint64_t)row[2 * x] | (uint64_t)row[2 * x + 1] << 8;
            acc += (v & 0x1F) | (v & 0x3E0) << 16 | (v & 0x7C00) << 32;
        }
        *s += acc;
    }
}

// Rounded sum * factor / 2^32, where factor stands for a division by a pixel count.
static inline uint32_t Scale32(uint64_t sum, uint64_t factor) { return (uint32_t)((sum * factor + (1u << 31)) >> 32); }

// One screen row of any depth as red, green, blue triples, added into the view
// columns [i0, i1).
static void AddRow(const ScaledPicture *p, int depth, const uint8_t *row, const uint8_t *colours, int32_t i0,
                   int32_t i1)
{
    uint32_t *s = p->sums;
    for (int32_t i = i0; i < i1; i++, s += 3) {
        const int32_t x1 = SpanEnd(p->xs, i);
        for (int32_t x = p->xs[i]; x < x1; x++) {
            uint32_t r, g, b;
            if (depth == 16) {
                const uint32_t v = (uint32_t)row[2 * x] | (uint32_t)row[2 * x + 1] << 8;
                r = (v >> 10) & 31;
                g = (v >> 5) & 31;
                b = v & 31;
                r = r << 3 | r >> 2;
                g = g << 3 | g >> 2;
                b = b << 3 | b >> 2;
            } else {
                uint32_t index;
                if (depth == 8)
                    index = row[x];
                else if (depth == 4)
                    index = (uint32_t)(row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
                else
                    index = (uint32_t)(row[x / 8] >> (7 - x % 8)) & 1;
                const uint8_t *e = colours + 4 * index;
                r = e[2];
                g = e[1];
                b = e[0];
            }
            s[0] += r;
            s[1] += g;
            s[2] += b;
        }
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
        memset(p->sums, 0, (size_t)(i1 - i0) * 3 * sizeof(uint32_t));
        const int32_t y0 = p->ys[j], y1 = SpanEnd(p->ys, j);
        for (int32_t y = y0; y < y1; y++) {
            const uint8_t *row = frameBits + (size_t)(p->srcHeight - 1 - y) * layout->frameStride;
            if (packed)
                AddRow16(p, row, i0, i1);
            else
                AddRow(p, depth, row, colours, i0, i1);
        }
        const uint32_t rows = (uint32_t)(y1 - y0);
        uint32_t *out = p->pixels + (size_t)(p->height - 1 - j) * p->width;
        for (int32_t i = i0; i < i1; i++) {
            const uint32_t n = rows * (uint32_t)(SpanEnd(p->xs, i) - p->xs[i]);
            if (packed) {
                const uint64_t a = ((const uint64_t *)p->sums)[i - i0], f = p->widen[n];
                out[i] = Scale32(a >> 42, f) << 16 | Scale32(a >> 21 & 0x1FFFFF, f) << 8 | Scale32(a & 0x1FFFFF, f);
            } else {
                const uint32_t *s = p->sums + 3 * (i - i0);
                const uint64_t f = p->average[n];
                out[i] = Scale32(s[0], f) << 16 | Scale32(s[1], f) << 8 | Scale32(s[2], f);
            }
        }
    }
    *drawn = ViewRect{i0, j0, i1, j1};
}
