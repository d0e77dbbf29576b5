// Scene drawing for the simulated desktop. The demo is a desktop with icons, two
// windows, a taskbar, a bouncing box and a frame counter in seven-segment digits, laid
// out in proportion to the screen, so each frame changes some tiles and keeps most.
#include "tools/agentsim/scene.h"

#include <algorithm>
#include <cstring>

namespace {

struct Canvas {
    int w, h;
    uint16_t *px;
    SimColourMap *colours;
};

struct Rgb {
    uint8_t r, g, b;
};

void Fill(Canvas *c, int x, int y, int w, int h, uint16_t v)
{
    int x1 = x + w, y1 = y + h;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (x1 > c->w)
        x1 = c->w;
    if (y1 > c->h)
        y1 = c->h;
    for (int yy = y; yy < y1; yy++)
        for (int xx = x; xx < x1; xx++)
            c->px[(size_t)yy * c->w + xx] = v;
}

void FillRgb(Canvas *c, int x, int y, int w, int h, Rgb k)
{
    Fill(c, x, y, w, h, ColourValue(c->colours, k.r, k.g, k.b));
}

int Max(int a, int b) { return a > b ? a : b; }

// Deterministic scatter for line lengths and bar heights.
uint32_t Hash(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    return v ^ (v >> 16);
}

// Back and forth over 0..span.
int Bounce(uint64_t t, int span)
{
    if (span <= 0)
        return 0;
    int p = (int)(t % (uint64_t)(2 * span));
    return p > span ? 2 * span - p : p;
}

void Window(Canvas *c, int x, int y, int w, int h, Rgb title, Rgb client)
{
    const int th = Max(c->h / 40, 3);
    FillRgb(c, x, y, w, h, Rgb{192, 192, 192});
    FillRgb(c, x + 2, y + 2, w - 4, th, title);
    FillRgb(c, x + w - 2 - th, y + 2, th, th, Rgb{192, 192, 192}); // close box
    FillRgb(c, x + 2, y + 4 + th, w - 4, h - 6 - th, client);
}

void Digit(Canvas *c, int x, int y, int dw, int dh, int digit, Rgb on)
{
    // Segments a..g as bits 0..6.
    static const uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const int t = Max(dh / 8, 1), half = dh / 2;
    const int rect[7][4] = {
        {0, 0, dw, t},           {dw - t, 0, t, half}, {dw - t, half, t, dh - half}, {0, dh - t, dw, t},
        {0, half, t, dh - half}, {0, 0, t, half},      {0, half - t / 2, dw, t},
    };
    for (int s = 0; s < 7; s++)
        if (kSegments[digit] >> s & 1)
            FillRgb(c, x + rect[s][0], y + rect[s][1], rect[s][2], rect[s][3], on);
}

void Demo(Canvas *c, uint32_t frame, int screen)
{
    const int W = c->w, H = c->h, tb = Max(H / 20, 6);
    const int desk = H - tb > 1 ? H - tb : 1;
    // Background in twelve bands from deep blue to teal on screen 1; the other screens
    // turn the channels round (red, then green, then blue again with the next one).
    for (int band = 0; band < 12; band++) {
        const int y0 = band * desk / 12, y1 = (band + 1) * desk / 12;
        const uint8_t k[3] = {(uint8_t)(16 + band * 2), (uint8_t)(56 + band * 6), (uint8_t)(112 + band * 4)};
        const int turn = (screen - 1) % 3;
        FillRgb(c, 0, y0, W, y1 - y0, Rgb{k[(3 - turn) % 3], k[(4 - turn) % 3], k[(5 - turn) % 3]});
    }
    const int icon = Max(W / 32, 4);
    for (int i = 0; i < 4; i++) {
        const int y = H / 20 + i * (H / 8);
        FillRgb(c, W / 64, y, icon, icon, Rgb{255, 255, 255});
        FillRgb(c, W / 64 + icon / 4, y + icon / 4, icon / 2, icon / 2, Rgb{0, 0, 255});
    }
    const int w1x = W * 12 / 100, w1y = H * 10 / 100, w1w = W * 46 / 100, w1h = H * 48 / 100;
    Window(c, w1x, w1y, w1w, w1h, Rgb{0, 0, 128}, Rgb{255, 255, 255});
    const int lineH = Max(H / 60, 3), top = w1y + 8 + Max(H / 40, 3);
    for (int k = 0; top + (k + 1) * lineH < w1y + w1h - 4; k++) {
        const int len = (int)(Hash((uint32_t)k) % 60 + 30) * (w1w - 16) / 100;
        FillRgb(c, w1x + 8, top + k * lineH, len, lineH / 2 + 1, Rgb{64, 64, 64});
    }
    const int w2x = W * 50 / 100, w2y = H * 34 / 100, w2w = W * 42 / 100, w2h = H * 44 / 100;
    Window(c, w2x, w2y, w2w, w2h, Rgb{128, 0, 0}, Rgb{255, 255, 224});
    const int bars = 8, barW = Max(w2w / (2 * bars + 1), 1), base = w2y + w2h - 8;
    for (int k = 0; k < bars; k++) {
        const int bh = (int)(Hash((uint32_t)k + 100) % 70 + 10) * (w2h - 16) / 100;
        FillRgb(c, w2x + barW * (2 * k + 1), base - bh, barW, bh, Rgb{0, 96, 224});
    }
    // The bouncing box, over the windows.
    const int bw = Max(W / 10, 2), bh = Max(H / 10, 2);
    const int bx = Bounce((uint64_t)frame * (uint64_t)Max(W / 128, 1), W - bw);
    const int by = Bounce((uint64_t)frame * (uint64_t)Max(H / 160, 1), desk - bh);
    FillRgb(c, bx, by, bw, bh, Rgb{0, 0, 0});
    FillRgb(c, bx + 2, by + 2, bw - 4, bh - 4, Rgb{255, 128, 0});
    // Taskbar with a start button and the frame counter as a clock; colours chosen so
    // bars and digits stay visible in the 2- and 16-colour tables.
    FillRgb(c, 0, H - tb, W, tb, Rgb{192, 192, 192});
    FillRgb(c, 0, H - tb, W, 1, Rgb{255, 255, 255});
    FillRgb(c, 2, H - tb + 2, tb * 3, tb - 4, Rgb{0, 128, 0});
    const int dh = tb - 6, dw = Max(dh / 2, 3), cells = 6;
    const int cx = W - cells * (dw + 2) - 6, cy = H - tb + 3;
    FillRgb(c, cx - 2, cy - 1, cells * (dw + 2) + 2, dh + 2, Rgb{0, 0, 0});
    uint32_t n = frame;
    for (int k = cells - 1; k >= 0; k--, n /= 10)
        Digit(c, cx + k * (dw + 2), cy, dw, dh, (int)(n % 10), Rgb{64, 255, 64});
}

// The screen number in white digits on black at the top right.
void ScreenBadge(Canvas *c, int screen)
{
    const int dh = Max(c->h / 6, 8), dw = Max(dh / 2, 4);
    const int cells = screen >= 100 ? 3 : screen >= 10 ? 2 : 1;
    const int bw = cells * (dw + 4) + 4, x = c->w - bw - 4, y = 4;
    FillRgb(c, x, y, bw, dh + 8, Rgb{0, 0, 0});
    int n = screen;
    for (int k = cells - 1; k >= 0; k--, n /= 10)
        Digit(c, x + 4 + k * (dw + 4), y + 4, dw, dh, n % 10, Rgb{255, 255, 255});
}

// Alternating noise and a moving gradient: no tile survives from one frame to the next.
// Noise on even frames, gradients on odd ones, in the cell [x0, x1) x [y0, y1).
void FloodCell(Canvas *c, uint32_t frame, int depth, int x0, int y0, int x1, int y1, uint32_t seed)
{
    const uint32_t mask = depth >= 16 ? 0x7FFF : (1u << depth) - 1;
    uint32_t state = Hash(seed) | 1;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            uint32_t v;
            if (frame % 2 == 0) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                v = state;
            } else if (depth >= 16) {
                v = (uint32_t)((x + frame) & 31) << 10 | (uint32_t)(y & 31) << 5 | (uint32_t)((x + y + frame) & 31);
            } else {
                v = (uint32_t)(x + 3 * y + 7 * frame) >> 2;
            }
            c->px[(size_t)y * c->w + x] = (uint16_t)(v & mask);
        }
}

// With a share, the frame starts as the last one and only cells of a 32 x 32 grid
// picked by a hash of the frame change, so about share% of the tiles differ.
void Flood(Canvas *c, uint32_t frame, int depth, int share, std::vector<uint16_t> *last)
{
    if (!share) {
        frame %= kSimFloodCycle;
        FloodCell(c, frame, depth, 0, 0, c->w, c->h, frame + 1);
    } else if (last->size() != (size_t)c->w * c->h) {
        FloodCell(c, frame, depth, 0, 0, c->w, c->h, frame + 1);
    } else {
        std::copy(last->begin(), last->end(), c->px);
        const int cw = c->w / 32, ch = c->h / 32;
        for (int r = 0; r < 32; r++)
            for (int k = 0; k < 32; k++) {
                const uint32_t cell = (uint32_t)(r * 32 + k);
                if (Hash(frame * 1024 + cell) % 100 >= (uint32_t)share)
                    continue;
                const int x1 = k == 31 ? c->w : (k + 1) * cw, y1 = r == 31 ? c->h : (r + 1) * ch;
                FloodCell(c, frame, depth, k * cw, r * ch, x1, y1, frame * 1024 + cell + 1);
            }
    }
    last->assign(c->px, c->px + (size_t)c->w * c->h);
}

} // namespace

int SceneInit(SimScene *s, const SimOptions *opt, std::string *why)
{
    s->kind = opt->scene;
    s->flood = opt->flood;
    s->floodShare = opt->floodShare < 100 ? opt->floodShare : 0;
    memcpy(s->solid, opt->solid, 3);
    s->screen = opt->screenCurrent;
    s->picture = SimPicture{0, 0, {}};
    s->covered = SimPicture{0, 0, {}};
    s->fillOn = 0;
    s->floodLast.clear();
    if (s->kind == kSimSceneFile && !s->flood)
        return PpmLoad(opt->scenePath, &s->picture, why);
    return 1;
}

int SceneAnimated(const SimScene *s) { return s->flood || s->kind == kSimSceneDemo; }

static void DrawScene(SimScene *s, uint32_t frame, Canvas *c)
{
    const int screen = s->screen ? s->screen : 1;
    if (s->flood) {
        Flood(c, frame, c->colours->depth, s->floodShare, &s->floodLast);
        return;
    }
    if (s->kind == kSimSceneSolid) {
        FillRgb(c, 0, 0, c->w, c->h, Rgb{s->solid[0], s->solid[1], s->solid[2]});
    } else if (s->kind == kSimSceneFile) {
        if (s->covered.width != c->w || s->covered.height != c->h)
            PictureCover(&s->picture, c->w, c->h, &s->covered);
        const uint8_t *p = s->covered.rgb.data();
        for (size_t i = 0; i < (size_t)c->w * c->h; i++, p += 3)
            c->px[i] = ColourValue(c->colours, p[0], p[1], p[2]);
    } else {
        Demo(c, frame, screen);
    }
    if (screen > 1)
        ScreenBadge(c, screen);
}

void SceneRender(SimScene *s, uint32_t frame, int width, int height, SimColourMap *colours,
                 std::vector<uint16_t> *pixels)
{
    pixels->assign((size_t)width * height, 0);
    Canvas c = {width, height, pixels->data(), colours};
    DrawScene(s, frame, &c);
    if (s->fillOn)
        FillRgb(&c, s->fill[0], s->fill[1], s->fill[2], s->fill[3], Rgb{s->fillRgb[0], s->fillRgb[1], s->fillRgb[2]});
}
