#!/usr/bin/env python3
"""Draws the main toolbar strip (bitmap 104), the console pad's (bitmap 127), the
file-transfer window's (bitmap 145) and its pad's (bitmap 139), and the logo window's
picture (bitmap 124) as 24-bit .bmp files (no image tools needed).
Usage: make_bitmaps.py OUTDIR

The background is magenta (255,0,255), the mask colour the toolbar's image list
is loaded with; no glyph uses it. The file is 24-bit, not palettized: the image
list cuts the mask out with raster operations, which on a palettized DIB work on
palette indices and turn the outlines into the key colour."""
import math
import os
import struct
import sys

CELL = 18
COUNT = 15

# Colours the glyphs are drawn with, by index.
PALETTE = [
    (255, 0, 255),    # 0 background: the transparency key
    (0, 0, 0),        # 1 outline
    (255, 255, 255),  # 2 white
    (128, 128, 128),  # 3 shadow
    (204, 32, 32),    # 4 red
    (120, 16, 16),    # 5 dark red
    (24, 56, 168),    # 6 dark blue
    (72, 144, 240),   # 7 screen blue
    (248, 216, 40),   # 8 yellow
    (216, 160, 40),   # 9 folder
    (32, 160, 48),    # 10 green
    (152, 96, 40),    # 11 brown
    (250, 206, 160),  # 12 skin
    (96, 100, 112),   # 13 steel
    (168, 172, 184),  # 14 light steel
]
BG, K, W, SH, RED, DRED, DBLUE, BLUE, YEL, FOLD, GRN, BRN, SKIN, STEEL, LSTEEL = range(len(PALETTE))
# Light fills are pure white: the greyed (indeterminate) look drops white pixels
# as well as the background, so outlines stay visible instead of a blot.
PAPER = W

# Pixel-art key shared by the hand-drawn glyphs.
ART = {'.': None, '#': K, 'o': W, 's': SKIN, 'p': PAPER, 'g': STEEL, 'l': LSTEEL,
       'b': BLUE, 'B': DBLUE, 'r': RED, 'R': DRED, 'y': YEL, 'f': FOLD, 'G': GRN, 'n': BRN}


class Strip:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[BG] * width for _ in range(height)]
        self.ox = 0  # left edge of the cell being drawn

    def cell(self, index):
        self.ox = index * CELL

    def put(self, x, y, c):
        if 0 <= x < CELL and 0 <= y < self.h:
            self.px[y][self.ox + x] = c

    def fill(self, x0, y0, x1, y1, c):
        """Filled rectangle, both corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def box(self, x0, y0, x1, y1, edge, inside=None):
        if inside is not None:
            self.fill(x0, y0, x1, y1, inside)
        for x in range(x0, x1 + 1):
            self.put(x, y0, edge)
            self.put(x, y1, edge)
        for y in range(y0, y1 + 1):
            self.put(x0, y, edge)
            self.put(x1, y, edge)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.put(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def art(self, x0, y0, rows):
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ART[ch] is not None:
                    self.put(x0 + dx, y0 + dy, ART[ch])


# 3x5 letters for the key caps.
FONT = {
    'C': ['###', '#..', '#..', '#..', '###'],
    't': ['.#.', '###', '.#.', '.#.', '.##'],
    'r': ['...', '#.#', '##.', '#..', '#..'],
    'l': ['#', '#', '#', '#', '#'],
    'A': ['.#.', '#.#', '###', '#.#', '#.#'],
}


def text(s, x, y, word):
    for ch in word:
        rows = FONT[ch]
        for dy, row in enumerate(rows):
            for dx, bit in enumerate(row):
                if bit == '#':
                    s.put(x + dx, y + dy, K)
        x += len(rows[0]) + 1


def monitor(s, x0, y0, w, h, screen=BLUE):
    """Monitor whose case spans x0..x0+w-1, y0..y0+h-1, with a stand below."""
    s.box(x0, y0, x0 + w - 1, y0 + h - 1, K, LSTEEL)
    s.fill(x0 + 2, y0 + 2, x0 + w - 3, y0 + h - 3, screen)
    mid = x0 + w // 2
    s.fill(mid - 1, y0 + h, mid, y0 + h, STEEL)
    s.fill(mid - 3, y0 + h + 1, mid + 2, y0 + h + 1, K)


def keycap(s, x0, y0, x1, y1):
    s.box(x0, y0, x1, y1, K, PAPER)
    s.fill(x0 + 1, y1 - 1, x1 - 1, y1 - 1, LSTEEL)  # front edge of the key


def draw_exit(s):
    for i in range(12):
        for t in (0, 1):
            s.put(3 + i + t, 3 + i, RED)
            s.put(14 - i - t, 3 + i, RED)
    for i in range(12):
        s.put(3 + i, 4 + i, DRED)
        s.put(14 - i, 4 + i, DRED)


def draw_remote_control(s):
    monitor(s, 1, 1, 16, 13)
    s.art(7, 4, [
        '#......',
        '##.....',
        '#o#....',
        '#oo#...',
        '#ooo#..',
        '#oooo#.',
        '#oo###.',
        '#.#o#..',
        '...#o#.',
        '....#..',
    ])


def draw_envelope(s):
    s.box(1, 4, 16, 14, K, PAPER)
    for i in range(7):
        s.put(2 + i, 5 + i, K)
        s.put(15 - i, 5 + i, K)
    s.line(2, 13, 6, 9, SH)
    s.line(15, 13, 11, 9, SH)


def draw_hand(s):
    s.art(1, 1, [
        '.......##.......',
        '...##.#ss###....',
        '..#ss##ss#ss#...',
        '..#ss##ss#ss#.#.',
        '...#ss#ss#ss##s#',
        '...#ss#ss#ss#ss#',
        '.##.#sssssss#ss#',
        '#ss##ssssssssss#',
        '#sss#sssssssss#.',
        '.#ssssssssssss#.',
        '..#sssssssssss#.',
        '..#ssssssssss#..',
        '...#sssssssss#..',
        '....#sssssss#...',
        '.....#ssssss#...',
        '.....#ssssss#...',
    ])


def draw_switch(s):
    # A toggle: green track with the knob at the "on" end.
    s.art(1, 5, [
        '....##########....',
        '..##GGGGGGG####...',
        '.#GGGGGGGG#pppp#..',
        '.#GGGGGGG#pppppp#.',
        '#GGGGGGGG#pppppp#.',
        '#GGGGGGGG#pppppp#.',
        '.#GGGGGGG#pppppp#.',
        '.#GGGGGGGG#pppp#..',
        '..##GGGGGGG####...',
        '....##########....',
    ])


def draw_full_screen(s):
    # A small screen with arrows pushing out to the four corners.
    s.box(6, 6, 11, 11, K, BLUE)
    head = ['####', '##..', '#.#.', '#..#']
    for dy, row in enumerate(head):
        for dx, ch in enumerate(row):
            if ch == '#':
                for x, y in ((1 + dx, 1 + dy), (16 - dx, 1 + dy), (1 + dx, 16 - dy), (16 - dx, 16 - dy)):
                    s.put(x, y, K)
    s.put(5, 5, K)
    s.put(12, 5, K)
    s.put(5, 12, K)
    s.put(12, 12, K)


def draw_gear(s):
    s.art(1, 1, [
        '......####......',
        '......#ll#......',
        '..###.#ll#.###..',
        '..#ll##ll##ll#..',
        '..#llllllllll#..',
        '..##llllllll##..',
        '####ll####ll####',
        '#llll#....#llll#',
        '#llll#....#llll#',
        '####ll####ll####',
        '..##llllllll##..',
        '..#llllllllll#..',
        '..#ll##ll##ll#..',
        '..###.#ll#.###..',
        '......#ll#......',
        '......####......',
    ])


def draw_ctrl(s):
    keycap(s, 0, 3, 17, 14)
    text(s, 2, 5, 'Ctrl')


def draw_alt(s):
    keycap(s, 2, 3, 15, 14)
    text(s, 4, 5, 'Alt')


def draw_windows_key(s):
    s.fill(2, 2, 8, 8, RED)
    s.fill(10, 2, 16, 8, GRN)
    s.fill(2, 10, 8, 16, DBLUE)
    s.fill(10, 10, 16, 16, YEL)


def draw_key_combination(s):
    keycap(s, 0, 4, 5, 13)
    keycap(s, 12, 4, 17, 13)
    s.fill(7, 8, 10, 9, K)   # a thick plus between the keys
    s.fill(8, 6, 9, 11, K)


def draw_clipboard(s):
    s.box(2, 2, 15, 17, K, BRN)
    s.box(4, 4, 13, 15, SH, PAPER)
    s.box(6, 0, 11, 3, K, LSTEEL)
    for y in (7, 9, 11, 13):
        s.fill(6, y, 11, y, STEEL)


def folder(s, x0, y0):
    s.fill(x0 + 1, y0, x0 + 3, y0, K)
    s.box(x0, y0 + 1, x0 + 6, y0 + 6, K, FOLD)
    s.fill(x0 + 1, y0 + 2, x0 + 5, y0 + 2, YEL)


def draw_file_transfer(s):
    folder(s, 0, 10)
    folder(s, 11, 10)
    s.fill(3, 3, 13, 3, GRN)                  # to the right
    s.art(11, 1, ['G..', 'GG.', 'GGG', 'GG.', 'G..'])
    s.fill(4, 7, 14, 7, DBLUE)                # and back
    s.art(2, 5, ['..B', '.BB', 'BBB', '.BB', '..B'])


def draw_auto_scale(s):
    cx = cy = 7.0
    for y in range(CELL):
        for x in range(CELL):
            r = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if r <= 4.6:
                s.put(x, y, BLUE if r <= 3.4 else K)
    s.put(5, 5, W)
    s.put(5, 6, W)
    s.put(6, 5, W)
    for i in range(6):
        s.fill(10 + i, 11 + i, 11 + i, 11 + i, BRN)
        s.put(12 + i, 11 + i, K)


def draw_screen_choice(s):
    monitor(s, 0, 1, 11, 9, screen=DBLUE)
    monitor(s, 6, 6, 12, 9)


DRAWERS = [draw_exit, draw_remote_control, draw_envelope, draw_hand, draw_switch,
           draw_full_screen, draw_gear, draw_ctrl, draw_alt, draw_windows_key,
           draw_key_combination, draw_clipboard, draw_file_transfer, draw_auto_scale,
           draw_screen_choice]


def bmp24(pixels, palette=None):
    """pixels: rows top-down of palette indices, or of (r, g, b) without a palette.
    Rows are stored bottom-up, 4-byte aligned."""
    h, w = len(pixels), len(pixels[0])
    stride = (w * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):
        for i in row:
            r, g, b = palette[i] if palette else i
            body += bytes((b, g, r))
        body += bytes(stride - 3 * w)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return struct.pack('<2sIHHI', b'BM', 54 + len(body), 0, 0, 54) + info + bytes(body)


def draw_follow_console(s):
    # A small pad pinned to the side of a console window.
    s.box(0, 2, 11, 15, K, K)
    s.fill(1, 4, 10, 14, DBLUE)
    s.art(2, 6, ['o..', '.o.', 'o..'])
    s.fill(6, 8, 8, 8, W)
    s.box(13, 4, 17, 13, K, LSTEEL)
    s.fill(12, 8, 12, 9, RED)


def draw_alt_enter(s):
    keycap(s, 0, 1, 10, 9)
    text(s, 2, 3, 'A')
    # The Enter key's bent arrow.
    s.fill(15, 8, 16, 15, K)
    s.fill(7, 14, 16, 15, K)
    s.art(4, 12, ['..#', '.##', '###', '.##', '..#'])


# The console pad's toolbar (bitmap 127): its own order of eight images.
CONSOLE_DRAWERS = [draw_exit, draw_remote_control, draw_switch, draw_follow_console,
                   draw_ctrl, draw_alt, draw_alt_enter, draw_file_transfer]


# The file-transfer window's toolbar (bitmap 145) and its pad's (bitmap 139).
def draw_up(s):
    folder(s, 2, 9)
    s.art(8, 1, ['...G...', '..GGG..', '.GGGGG.', 'GGGGGGG'])
    s.fill(10, 5, 12, 12, GRN)


def draw_new_folder(s):
    folder(s, 1, 8)
    folder(s, 2, 9)
    s.fill(13, 1, 13, 7, YEL)
    s.fill(10, 4, 16, 4, YEL)
    s.line(11, 2, 15, 6, YEL)
    s.line(15, 2, 11, 6, YEL)


def draw_properties(s):
    s.box(3, 1, 14, 16, K, PAPER)
    for y in (4, 7, 10, 13):
        s.fill(5, y, 7, y, BLUE)
        s.fill(9, y, 12, y, STEEL)


def draw_delete(s):
    for i in range(11):
        for t in (0, 1):
            s.put(3 + i + t, 4 + i, RED)
            s.put(14 - i + t, 4 + i, RED)


def draw_refresh(s):
    cx = cy = 8.5
    for y in range(CELL):
        for x in range(CELL):
            r = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if 4.2 <= r <= 6.2 and not (x > 9 and y < 7):
                s.put(x, y, GRN)
    s.art(9, 1, ['GGGG..', '.GGGG.', '..GGG.', '...GG.'])


def draw_root(s):
    s.box(1, 11, 16, 16, K, LSTEEL)
    s.fill(3, 13, 5, 14, GRN)
    s.art(5, 1, ['...G...', '..GGG..', '.GGGGG.', 'GGGGGGG'])
    s.fill(7, 5, 9, 9, GRN)


def draw_view(s):
    for y in (2, 7, 12):
        s.box(2, y, 5, y + 3, K, BLUE)
        s.fill(8, y + 1, 15, y + 2, STEEL)


def draw_back_to_desktop(s):
    monitor(s, 2, 2, 14, 11)


def draw_copy_right(s):
    s.fill(2, 8, 11, 9, GRN)
    s.art(10, 3, ['G.....', 'GG....', 'GGG...', 'GGGG..', 'GGGGG.', 'GGGGGG', 'GGGGG.', 'GGGG..', 'GGG...',
                  'GG....', 'G.....'][:11])
    s.box(0, 14, 17, 15, K, LSTEEL)


def draw_copy_left(s):
    s.fill(6, 8, 15, 9, DBLUE)
    s.art(1, 3, ['.....B', '....BB', '...BBB', '..BBBB', '.BBBBB', 'BBBBBB', '.BBBBB', '..BBBB', '...BBB',
                 '....BB', '.....B'])
    s.box(0, 14, 17, 15, K, LSTEEL)


def draw_compare(s):
    s.box(1, 2, 7, 15, K, PAPER)
    s.box(10, 2, 16, 15, K, PAPER)
    for y in (5, 8, 11):
        s.fill(3, y, 5, y, STEEL)
        s.fill(12, y, 14, y, RED if y == 8 else STEEL)


FT_DRAWERS = [draw_up, draw_new_folder, draw_properties, draw_delete, draw_refresh, draw_root, draw_view,
              draw_back_to_desktop]
FT_PAD_DRAWERS = [draw_copy_right, draw_copy_left, draw_compare]


def strip(drawers):
    s = Strip(CELL * len(drawers), CELL)
    for i, draw in enumerate(drawers):
        s.cell(i)
        draw(s)
    return s.px


def toolbar_strip():
    return strip(DRAWERS)


# ---------------------------------------------------------------------------
# The logo (bitmap 124): the name beside a raven on a branch against the moon,
# anti-aliased by filling shapes at 4 x 4 subsamples per pixel.
# ---------------------------------------------------------------------------
LOGO_W, LOGO_H = 324, 209
SS = 4  # subsamples per pixel along each axis


class Mask:
    """A coverage layer at SS x SS subsamples per pixel, filled by spans."""

    def __init__(self, dx=0, dy=0):
        self.dx, self.dy = dx, dy  # where the drawing's origin goes
        self.w, self.h = LOGO_W * SS, LOGO_H * SS
        self.rows = [bytearray(self.w) for _ in range(self.h)]

    def span(self, sy, x0, x1):
        """Sets subsamples of row sy whose centres lie in [x0, x1) (subsample units)."""
        a, b = max(0, math.ceil(x0 - 0.5)), min(self.w, math.ceil(x1 - 0.5))
        if 0 <= sy < self.h and a < b:
            self.rows[sy][a:b] = b'\x01' * (b - a)

    def polygon(self, pts):
        """Fills a polygon (pixel coordinates) by the non-zero rule."""
        p = [((x + self.dx) * SS, (y + self.dy) * SS) for x, y in pts]
        ys = [y for _, y in p]
        for sy in range(max(0, math.floor(min(ys))), min(self.h, math.ceil(max(ys)) + 1)):
            cy = sy + 0.5
            cross = []
            for (x0, y0), (x1, y1) in zip(p, p[1:] + p[:1]):
                if (y0 <= cy < y1) or (y1 <= cy < y0):
                    cross.append((x0 + (cy - y0) * (x1 - x0) / (y1 - y0), 1 if y1 > y0 else -1))
            cross.sort()
            wind = 0
            for i, (x, d) in enumerate(cross[:-1]):
                wind += d
                if wind:
                    self.span(sy, x, cross[i + 1][0])

    def ellipse(self, cx, cy, rx, ry, angle=0.0, steps=72):
        c, s = math.cos(angle), math.sin(angle)
        pts = []
        for i in range(steps):
            t = 2 * math.pi * i / steps
            x, y = rx * math.cos(t), ry * math.sin(t)
            pts.append((cx + x * c - y * s, cy + x * s + y * c))
        self.polygon(pts)

    def stroke(self, pts, width):
        """A polyline of the given width with round joins and ends."""
        r = width / 2
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            dx, dy = x1 - x0, y1 - y0
            n = math.hypot(dx, dy) or 1
            ox, oy = -dy / n * r, dx / n * r
            self.polygon([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy), (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)])
        for x, y in pts:
            self.ellipse(x, y, r, r, steps=24)

    def coverage(self):
        """Per pixel, the share of its subsamples set (0..1), rows top-down."""
        out = []
        for y in range(LOGO_H):
            acc = [0] * LOGO_W
            for row in self.rows[y * SS:(y + 1) * SS]:
                for x in range(LOGO_W):
                    acc[x] += sum(row[x * SS:(x + 1) * SS])
            out.append([a / (SS * SS) for a in acc])
        return out


def arc(cx, cy, rx, ry, a0, a1, steps=28):
    """Points of an elliptic arc, angles in degrees counter-clockwise from 3 o'clock."""
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * i / steps)),
             cy - ry * math.sin(math.radians(a0 + (a1 - a0) * i / steps))) for i in range(steps + 1)]


# The title's letters: strokes in a box one unit high (baseline at 1, x-height at
# 0.38), and the advance to the next letter.
TITLE_GLYPHS = {
    'C': (lambda: [arc(0.44, 0.5, 0.44, 0.5, 48, 312, 40)], 0.98),
    'o': (lambda: [arc(0.31, 0.69, 0.31, 0.31, 0, 360, 36)], 0.76),
    'r': (lambda: [[(0.04, 0.38), (0.04, 1.0)], arc(0.33, 0.66, 0.29, 0.27, 178, 80, 16)], 0.52),
    'v': (lambda: [[(0.0, 0.38), (0.29, 1.0), (0.58, 0.38)]], 0.72),
    'i': (lambda: [[(0.05, 0.38), (0.05, 1.0)]], 0.28),
    'd': (lambda: [arc(0.31, 0.69, 0.31, 0.31, 0, 360, 36), [(0.62, 0.0), (0.62, 1.0)]], 0.8),
}


def title(mask, text, x, top, size, width):
    for ch in text:
        strokes, advance = TITLE_GLYPHS[ch]
        for s in strokes():
            mask.stroke([(x + px * size, top + py * size) for px, py in s], width)
        if ch == 'i':
            mask.ellipse(x + 0.05 * size, top + 0.15 * size, width * 0.62, width * 0.62, steps=24)
        x += advance * size


# 5 x 7 capitals for the small lines.
SMALL = {
    'A': ['.###.', '#...#', '#...#', '#####', '#...#', '#...#', '#...#'],
    'D': ['####.', '#...#', '#...#', '#...#', '#...#', '#...#', '####.'],
    'E': ['#####', '#....', '#....', '####.', '#....', '#....', '#####'],
    'I': ['.###.', '..#..', '..#..', '..#..', '..#..', '..#..', '.###.'],
    'M': ['#...#', '##.##', '#.#.#', '#.#.#', '#...#', '#...#', '#...#'],
    'N': ['#...#', '##..#', '#.#.#', '#..##', '#...#', '#...#', '#...#'],
    'O': ['.###.', '#...#', '#...#', '#...#', '#...#', '#...#', '.###.'],
    'R': ['####.', '#...#', '#...#', '####.', '#.#..', '#..#.', '#...#'],
    'S': ['.####', '#....', '#....', '.###.', '....#', '....#', '####.'],
    'T': ['#####', '..#..', '..#..', '..#..', '..#..', '..#..', '..#..'],
    'V': ['#...#', '#...#', '#...#', '#...#', '#...#', '.#.#.', '..#..'],
    'W': ['#...#', '#...#', '#...#', '#.#.#', '#.#.#', '##.##', '#...#'],
    '3': ['####.', '....#', '....#', '.###.', '....#', '....#', '####.'],
    '4': ['...#.', '..##.', '.#.#.', '#..#.', '#####', '...#.', '...#.'],
    '.': ['.....', '.....', '.....', '.....', '.....', '.##..', '.##..'],
    ' ': ['.....'] * 7,
}


def small_text(mask, text, x, y, spacing=1):
    for ch in text:
        for dy, row in enumerate(SMALL[ch]):
            for dx, bit in enumerate(row):
                if bit == '#':
                    mask.polygon([(x + dx, y + dy), (x + dx + 1, y + dy), (x + dx + 1, y + dy + 1), (x + dx, y + dy + 1)])
        x += 5 + spacing
    return x


def raven(mask):
    """A raven perched on the branch, facing left toward the title."""
    mask.ellipse(250, 106, 34, 20, math.radians(32))                # body
    mask.ellipse(220, 74, 13.5, 13.5)                               # head
    mask.polygon([(208, 80), (228, 62), (246, 88), (236, 112), (214, 100)])  # neck
    mask.polygon([(209, 69), (194, 71), (180, 78), (193, 81), (208, 84)])    # heavy beak
    mask.polygon([(212, 84), (207, 96), (215, 91), (214, 101), (223, 94)])   # ruffled throat
    mask.polygon([(272, 118), (312, 146), (307, 153), (300, 150), (294, 157), (262, 132)])  # wedge tail
    for x0, x1 in ((246, 243), (258, 257)):                         # legs and toes
        mask.stroke([(x0, 122), (x1, 140)], 3.2)
        mask.stroke([(x1 - 6, 141), (x1 + 5, 141)], 2.4)


def wing(mask):
    mask.polygon([(230, 88), (256, 88), (282, 106), (304, 134), (306, 142), (290, 136), (284, 140),
                  (270, 130), (242, 118)])


def branch(mask):
    mask.stroke([(196, 146), (240, 143), (280, 140), (324, 134)], 6.5)
    mask.stroke([(286, 139), (300, 150), (312, 153)], 3.0)


def blend(px, cov, colour):
    for y, row in enumerate(cov):
        line = px[y]
        for x, a in enumerate(row):
            if a:
                r, g, b = line[x]
                line[x] = (round(r + (colour[0] - r) * a), round(g + (colour[1] - g) * a),
                           round(b + (colour[2] - b) * a))


def glow(px, cx, cy, r, colour, strength):
    """A soft halo that fades out over r pixels beyond the disc's edge."""
    for y in range(LOGO_H):
        for x in range(LOGO_W):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d < r * 2:
                a = strength * max(0.0, 1 - d / (2 * r)) ** 2
                p = px[y][x]
                px[y][x] = tuple(round(p[i] + (colour[i] - p[i]) * a) for i in range(3))


def logo():
    """The logo window's picture, rows top-down of (r, g, b)."""
    top, bottom = (16, 22, 36), (40, 54, 82)
    px = [[tuple(round(top[i] + (bottom[i] - top[i]) * y / (LOGO_H - 1)) for i in range(3))] * LOGO_W
          for y in range(LOGO_H)]
    # The scene is drawn in its own coordinates and moved right of the title.
    sx, sy = 8, 8
    moon = (236, 224, 184)
    glow(px, 254 + sx, 82 + sy, 54, moon, 0.35)
    layers = []
    m = Mask(sx, sy)
    m.ellipse(254, 82, 54, 54, steps=120)
    layers.append((m, moon))
    for draw, colour in ((branch, (46, 36, 30)), (raven, (10, 12, 18)), (wing, (30, 36, 52))):
        m = Mask(sx, sy)
        draw(m)
        layers.append((m, colour))
    m = Mask(sx, sy)
    m.ellipse(216, 71, 1.7, 1.7, steps=16)
    layers.append((m, (210, 214, 224)))                             # the eye
    m = Mask(0, sy)
    title(m, 'Corvid', 20, 74, 40, 4.6)
    layers.append((m, (240, 242, 247)))
    m = Mask(0, sy)
    m.polygon([(21, 126), (182, 126), (182, 128), (21, 128)])
    layers.append((m, (214, 172, 84)))
    m = Mask(0, sy)
    small_text(m, 'REMOTE ADMINISTRATION', 21, 138)
    small_text(m, 'VIEWER  VERSION 3.34', 21, 152)
    layers.append((m, (150, 166, 196)))
    for mask, colour in layers:
        blend(px, mask.coverage(), colour)
    return px


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'toolbar.bmp'), 'wb') as f:
        f.write(bmp24(toolbar_strip(), PALETTE))
    with open(os.path.join(out, 'console_toolbar.bmp'), 'wb') as f:
        f.write(bmp24(strip(CONSOLE_DRAWERS), PALETTE))
    with open(os.path.join(out, 'ft_toolbar.bmp'), 'wb') as f:
        f.write(bmp24(strip(FT_DRAWERS), PALETTE))
    with open(os.path.join(out, 'ft_pad.bmp'), 'wb') as f:
        f.write(bmp24(strip(FT_PAD_DRAWERS), PALETTE))
    with open(os.path.join(out, 'logo.bmp'), 'wb') as f:
        f.write(bmp24(logo()))


if __name__ == '__main__':
    main()
