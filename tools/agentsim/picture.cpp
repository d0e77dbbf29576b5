// PPM reading and writing, cover scaling, and colour mapping for the simulated desktop.
#include "tools/agentsim/picture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "desktop/palette.h"

enum { kPpmSideMax = 65535 };

// Reads one decimal header field after blanks and '#' comments.
static int PpmField(const uint8_t *d, size_t len, size_t *off, uint32_t *v)
{
    size_t i = *off;
    for (;;) {
        while (i < len && (d[i] == ' ' || d[i] == '\t' || d[i] == '\n' || d[i] == '\r'))
            i++;
        if (i < len && d[i] == '#') {
            while (i < len && d[i] != '\n')
                i++;
            continue;
        }
        break;
    }
    if (i >= len || d[i] < '0' || d[i] > '9')
        return 0;
    uint32_t n = 0;
    while (i < len && d[i] >= '0' && d[i] <= '9') {
        n = n * 10 + (uint32_t)(d[i++] - '0');
        if (n > 0xFFFFFF)
            return 0;
    }
    *v = n;
    *off = i;
    return 1;
}

int PpmParse(const uint8_t *d, size_t len, SimPicture *pic, std::string *why)
{
    uint32_t w, h, maxval;
    size_t off = 2;
    if (len < 3 || d[0] != 'P' || d[1] != '6') {
        *why = "not a binary PPM (P6)";
        return 0;
    }
    if (!PpmField(d, len, &off, &w) || !PpmField(d, len, &off, &h) || !PpmField(d, len, &off, &maxval)) {
        *why = "bad PPM header";
        return 0;
    }
    if (w < 1 || h < 1 || w > kPpmSideMax || h > kPpmSideMax || maxval < 1 || maxval > 65535) {
        *why = "PPM size or maximum value out of range";
        return 0;
    }
    // Exactly one blank ends the header.
    if (off >= len) {
        *why = "PPM ends in its header";
        return 0;
    }
    off++;
    const size_t bytesPerSample = maxval > 255 ? 2 : 1;
    const size_t samples = (size_t)w * h * 3;
    if (len - off < samples * bytesPerSample) {
        *why = "PPM pixel data is short";
        return 0;
    }
    pic->width = (int)w;
    pic->height = (int)h;
    pic->rgb.resize(samples);
    for (size_t i = 0; i < samples; i++) {
        uint32_t s = bytesPerSample == 2 ? (uint32_t)d[off + 2 * i] << 8 | d[off + 2 * i + 1] : d[off + i];
        if (s > maxval)
            s = maxval;
        pic->rgb[i] = (uint8_t)((s * 255 + maxval / 2) / maxval);
    }
    return 1;
}

int PpmLoad(const char *path, SimPicture *pic, std::string *why)
{
    FILE *f = fopen(path, "rb");
    if (!f) {
        *why = std::string("cannot read ") + path + ": " + strerror(errno);
        return 0;
    }
    std::vector<uint8_t> data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        data.insert(data.end(), buf, buf + n);
    fclose(f);
    if (!PpmParse(data.data(), data.size(), pic, why)) {
        *why = std::string(path) + ": " + *why;
        return 0;
    }
    return 1;
}

void PpmFormat(const SimPicture *pic, std::vector<uint8_t> *out)
{
    char head[40];
    int n = snprintf(head, sizeof head, "P6\n%d %d\n255\n", pic->width, pic->height);
    out->assign(head, head + n);
    out->insert(out->end(), pic->rgb.begin(), pic->rgb.end());
}

int PpmSave(const char *path, const SimPicture *pic, std::string *why)
{
    std::vector<uint8_t> bytes;
    PpmFormat(pic, &bytes);
    FILE *f = fopen(path, "wb");
    if (!f) {
        *why = std::string("cannot write ") + path + ": " + strerror(errno);
        return 0;
    }
    int ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok &= fclose(f) == 0;
    if (!ok)
        *why = std::string("cannot write ") + path;
    return ok;
}

void PictureCover(const SimPicture *src, int width, int height, SimPicture *dst)
{
    // The visible part of the source has the target's aspect and is centred.
    const uint64_t sw = (uint64_t)src->width, sh = (uint64_t)src->height, W = (uint64_t)width, H = (uint64_t)height;
    uint64_t vw = sw, vh = sh;
    if (sw * H > sh * W)
        vw = sh * W / H;
    else
        vh = sw * H / W;
    if (vw < 1)
        vw = 1;
    if (vh < 1)
        vh = 1;
    const uint64_t x0 = (sw - vw) / 2, y0 = (sh - vh) / 2;
    dst->width = width;
    dst->height = height;
    dst->rgb.resize((size_t)W * H * 3);
    for (uint64_t y = 0; y < H; y++) {
        const uint64_t sy = y0 + (2 * y + 1) * vh / (2 * H);
        for (uint64_t x = 0; x < W; x++) {
            const uint64_t sx = x0 + (2 * x + 1) * vw / (2 * W);
            memcpy(&dst->rgb[(size_t)(y * W + x) * 3], &src->rgb[(size_t)(sy * sw + sx) * 3], 3);
        }
    }
}

void ColourMapInit(SimColourMap *m, int depth, const uint8_t *table)
{
    m->depth = depth;
    m->count = depth == 1 ? 2 : depth == 4 ? 16 : depth == 8 ? 256 : 0;
    memset(m->table, 0, sizeof m->table);
    if (table && m->count)
        memcpy(m->table, table, (size_t)m->count * 4);
    m->nearest.clear();
}

uint16_t ColourValue(SimColourMap *m, uint8_t r, uint8_t g, uint8_t b)
{
    if (!m->count)
        return (uint16_t)((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
    const uint32_t key = (uint32_t)r << 16 | (uint32_t)g << 8 | b;
    auto it = m->nearest.find(key);
    if (it != m->nearest.end())
        return it->second;
    uint32_t best = 0xFFFFFFFF;
    uint16_t value = 0;
    for (int i = 0; i < m->count; i++) {
        const uint8_t *e = m->table + 4 * i;
        const int dr = r - e[2], dg = g - e[1], db = b - e[0];
        const uint32_t dist = (uint32_t)(dr * dr + dg * dg + db * db);
        if (dist < best) {
            best = dist;
            value = (uint16_t)i;
        }
    }
    m->nearest[key] = value;
    return value;
}

void ColourOfValue(const SimColourMap *m, uint16_t value, uint8_t rgb[3])
{
    if (!m->count) {
        const uint8_t c[3] = {(uint8_t)(value >> 10 & 31), (uint8_t)(value >> 5 & 31), (uint8_t)(value & 31)};
        for (int i = 0; i < 3; i++)
            rgb[i] = (uint8_t)(c[i] << 3 | c[i] >> 2);
        return;
    }
    const uint8_t *e = m->table + 4 * (value < m->count ? value : 0);
    rgb[0] = e[2];
    rgb[1] = e[1];
    rgb[2] = e[0];
}

void CustomPaletteEntries(uint8_t entries[1024])
{
    // A 6x6x6 cube from white down, blue fastest, then greys from black up: index 0 is
    // white here and black in the default table, so an ignored palette is plain to see.
    static const uint8_t kLevel[6] = {255, 204, 153, 102, 51, 0};
    for (int i = 0; i < 216; i++) {
        uint8_t *e = entries + 4 * i;
        e[0] = kLevel[i / 36];
        e[1] = kLevel[i / 6 % 6];
        e[2] = kLevel[i % 6];
        e[3] = 0;
    }
    for (int i = 216; i < 256; i++) {
        uint8_t *e = entries + 4 * i;
        e[0] = e[1] = e[2] = (uint8_t)((i - 216) * 255 / 39);
        e[3] = 0;
    }
}

void DefaultPaletteEntries(uint8_t entries[1024])
{
    const uint8_t *t = DefaultColourTable(256);
    for (int i = 0; i < 256; i++) {
        entries[4 * i + 0] = t[4 * i + 2];
        entries[4 * i + 1] = t[4 * i + 1];
        entries[4 * i + 2] = t[4 * i + 0];
        entries[4 * i + 3] = 0;
    }
}
