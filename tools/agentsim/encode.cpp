// Run-length records with the fewest bytes (a two-state shortest path over the
// pixels), XOR deltas, and the per-tile choice between the part types.
#include "tools/agentsim/encode.h"

#include <cstring>

#include "session/packet.h"

static int SamePixel(const uint8_t *a, const uint8_t *b, size_t B) { return a[0] == b[0] && (B == 1 || a[1] == b[1]); }

static void EmitRepeat(const uint8_t *pixel, size_t n, size_t B, std::vector<uint8_t> *out)
{
    while (n) {
        size_t k = n < (size_t)kRleRepeatMax ? n : (size_t)kRleRepeatMax;
        out->push_back((uint8_t)(0x80 | k >> 8)); // the high bit keeps a count under 256 from reading as a literal
        out->push_back((uint8_t)(k & 0xFF));
        out->insert(out->end(), pixel, pixel + B);
        n -= k;
    }
}

static void EmitLiteral(const uint8_t *pixels, size_t n, size_t B, std::vector<uint8_t> *out)
{
    while (n) {
        size_t k = n < (size_t)kRleLiteralMax ? n : (size_t)kRleLiteralMax;
        out->push_back(0);
        out->push_back((uint8_t)(k & 0xFF));
        out->push_back((uint8_t)(k >> 8));
        out->insert(out->end(), pixels, pixels + k * B);
        pixels += k * B;
        n -= k;
    }
}

size_t RleEncode(const uint8_t *pixels, size_t count, int bytesPerPixel, std::vector<uint8_t> *out)
{
    const size_t B = (size_t)bytesPerPixel, n = count, before = out->size();
    if (n == 0 || (B != 1 && B != 2))
        return 0;
    // run[i]: equal pixels from i on. closed[i] / open[i]: fewest bytes for pixels i..n-1
    // with no literal open / with a literal open (its header paid) at i.
    std::vector<uint32_t> run(n), closed(n + 1), open(n + 1);
    std::vector<uint8_t> repeatAt(n), closeAt(n + 1);
    run[n - 1] = 1;
    for (size_t i = n - 1; i-- > 0;)
        run[i] = SamePixel(pixels + i * B, pixels + (i + 1) * B, B) ? run[i + 1] + 1 : 1;
    closed[n] = open[n] = 0;
    closeAt[n] = 1;
    for (size_t i = n; i-- > 0;) {
        const uint32_t records = (run[i] + kRleRepeatMax - 1) / kRleRepeatMax;
        const uint32_t viaRepeat = records * (uint32_t)(2 + B) + closed[i + run[i]];
        const uint32_t viaLiteral = (uint32_t)(3 + B) + open[i + 1];
        repeatAt[i] = viaRepeat <= viaLiteral;
        closed[i] = repeatAt[i] ? viaRepeat : viaLiteral;
        const uint32_t extend = (uint32_t)B + open[i + 1];
        closeAt[i] = closed[i] < extend;
        open[i] = closeAt[i] ? closed[i] : extend;
    }
    size_t i = 0;
    while (i < n) {
        if (repeatAt[i]) {
            EmitRepeat(pixels + i * B, run[i], B, out);
            i += run[i];
            continue;
        }
        const size_t start = i++;
        while (i < n && !closeAt[i])
            i++;
        EmitLiteral(pixels + start * B, i - start, B, out);
    }
    return out->size() - before;
}

void TilePack(const TileGeometry *g, const uint8_t *bits, uint8_t *packed)
{
    for (uint32_t r = 0; r < g->height; r++)
        memcpy(packed + (size_t)r * g->lineBytes, bits + (size_t)r * g->stride, g->lineBytes);
}

size_t TilePartMax(const TileGeometry *g) { return 2 + (size_t)g->height * g->lineBytes; }

static void StartPart(TilePart *part, uint32_t type, int row, int column)
{
    part->type = type;
    part->payload.clear();
    part->payload.push_back((uint8_t)column);
    part->payload.push_back((uint8_t)row);
}

int TilePartBuild(const TileGeometry *g, int depth, int row, int column, const uint8_t *held, const uint8_t *want,
                  int first, TilePart *part)
{
    const size_t n = (size_t)g->height * g->lineBytes;
    std::vector<uint8_t> wantPacked(n), delta(n);
    TilePack(g, want, wantPacked.data());
    TilePack(g, held, delta.data());
    for (size_t i = 0; i < n; i++)
        delta[i] ^= wantPacked[i];

    if (depth == 8 || depth == 16) {
        const int B = depth / 8;
        const size_t pixels = n / (size_t)B;
        TilePart full;
        StartPart(&full, PKT_SCREEN_RLE_PART, row, column);
        RleEncode(wantPacked.data(), pixels, B, &full.payload);
        if (first && full.payload.size() <= kMaxPayloadSize) {
            *part = std::move(full);
            return 1;
        }
        TilePart xorRle;
        StartPart(&xorRle, PKT_SCREEN_XOR_RLE_PART, row, column);
        RleEncode(delta.data(), pixels, B, &xorRle.payload);
        // Ties go to the plainer form: the raw delta, then the delta's runs.
        const size_t raw = 2 + n, xs = xorRle.payload.size(), fs = full.payload.size();
        if (xs <= kMaxPayloadSize && xs < raw && xs <= fs) {
            *part = std::move(xorRle);
            return 1;
        }
        if (fs <= kMaxPayloadSize && fs < raw) {
            *part = std::move(full);
            return 1;
        }
    }
    if (2 + n > kMaxPayloadSize)
        return 0;
    StartPart(part, PKT_SCREEN_XOR_PART, row, column);
    part->payload.insert(part->payload.end(), delta.begin(), delta.end());
    return 1;
}
