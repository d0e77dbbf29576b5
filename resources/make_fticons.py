#!/usr/bin/env python3
"""Draws the file-transfer window's icons and cursors (no image tools needed):
the drive icons 140 (removable), 141 (fixed), 142 (CD-ROM), 143 (RAM disk) and
148 (remote), 16 x 16 with 8-bit colour and a mask, for the panels' drive combos;
icon 167, 32 x 32, under the drag image of several items; cursors 168 (no drop
here) and 169 (drop here), 32 x 32, shown while items are dragged.
Usage: make_fticons.py OUTDIR"""
import os
import struct
import sys

# Pictures are rows of characters; '.' is transparent, the rest index this table.
COLOURS = {
    'k': (0, 0, 0), 'w': (255, 255, 255), 'g': (128, 128, 128), 'l': (192, 192, 192),
    'd': (64, 64, 72), 'G': (32, 176, 48), 'b': (40, 80, 200), 'B': (120, 170, 240),
    'y': (240, 200, 40), 'r': (208, 40, 40), 'c': (200, 220, 240), 'p': (150, 90, 200),
}
ORDER = sorted(COLOURS)


def ico8(rows):
    """An ICO of one 8-bit image with a 256-entry palette and its AND mask."""
    h, w = len(rows), len(rows[0])
    palette = [COLOURS[c] for c in ORDER] + [(0, 0, 0)] * (256 - len(ORDER))
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    stride = (w + 3) & ~3
    xor = b''.join(bytes(ORDER.index(c) if c != '.' else 0 for c in row).ljust(stride, b'\0')
                   for row in reversed(rows))
    mask_row = ((w + 31) // 32) * 4
    mask = b''.join(sum(1 << (mask_row * 8 - 1 - x) for x, c in enumerate(row) if c == '.')
                    .to_bytes(mask_row, 'big') for row in reversed(rows))
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = header + table + xor + mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 8, len(image), 22) + image


def cur32(rows, hot):
    """A CUR of one 32-bit image (alpha from '.'), hot spot (x, y)."""
    h, w = len(rows), len(rows[0])
    xor = b''.join(bytes((0, 0, 0, 0)) if c == '.' else bytes(COLOURS[c][::-1]) + b'\xff'
                   for row in reversed(rows) for c in row)
    mask_row = ((w + 31) // 32) * 4
    mask = b''.join(sum(1 << (mask_row * 8 - 1 - x) for x, c in enumerate(row) if c == '.')
                    .to_bytes(mask_row, 'big') for row in reversed(rows))
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, hot[0], hot[1], len(image), 22) + image


def grid(w, h):
    return [['.'] * w for _ in range(h)]


def box(px, x0, y0, x1, y1, fill, edge='k'):
    """Filled rectangle [x0, x1) x [y0, y1) with a one-pixel edge."""
    for y in range(y0, y1):
        for x in range(x0, x1):
            px[y][x] = edge if x in (x0, x1 - 1) or y in (y0, y1 - 1) else fill


def rows(px):
    return [''.join(r) for r in px]


def drive_body(px, y0=6, y1=13):
    box(px, 1, y0, 15, y1, 'l')
    for x in range(2, 14):
        px[y1 - 2][x] = 'g'


def removable():
    px = grid(16, 16)
    drive_body(px)
    for x in range(4, 12):  # the slot
        px[8][x] = 'k'
    px[10][12] = 'G'
    return rows(px)


def fixed():
    px = grid(16, 16)
    drive_body(px)
    px[10][12] = px[10][11] = 'G'  # the busy light
    return rows(px)


def cdrom():
    px = grid(16, 16)
    for y in range(16):
        for x in range(16):
            d = (x - 7.5) ** 2 + (y - 7.5) ** 2
            if d <= 56:
                px[y][x] = 'k' if d > 42 else ('w' if d < 4 else 'c')
            if 4 <= d <= 7:
                px[y][x] = 'g'
    for x, y in ((4, 4), (5, 4), (4, 5), (10, 11), (11, 10)):
        px[y][x] = 'B'
    return rows(px)


def ramdisk():
    px = grid(16, 16)
    box(px, 1, 4, 15, 12, 'G', 'd')
    for x in range(3, 13, 3):
        box(px, x, 6, x + 2, 10, 'd', 'd')  # memory chips
    for x in range(2, 14, 2):
        px[12][x] = px[13][x] = 'y'         # contacts
    return rows(px)


def remote():
    px = grid(16, 16)
    drive_body(px, 2, 9)
    px[6][12] = 'G'
    for y in range(9, 13):  # the cable to the network
        px[y][7] = px[y][8] = 'k'
    for x in range(1, 15):
        px[13][x] = px[14][x] = 'b'
    return rows(px)


def many_items():
    """Several pages stacked: what a drag of more than one item carries."""
    px = grid(32, 32)
    for i, (x, y) in enumerate(((10, 2), (6, 6), (2, 10))):
        box(px, x, y, x + 18, y + 20, 'w')
        for line in range(y + 5, y + 18, 3):
            for xx in range(x + 3, x + 14):
                px[line][xx] = 'B' if i == 2 else 'g'
    return rows(px)


ARROW = [
    'k..........', 'kk.........', 'kwk........', 'kwwk.......', 'kwwwk......', 'kwwwwk.....',
    'kwwwwwk....', 'kwwwwwwk...', 'kwwwwwwwk..', 'kwwwwwwwwk.', 'kwwwwwkkkkk', 'kwwkwwk....',
    'kwk.kwwk...', 'kk..kwwk...', 'k....kwwk..', '.....kwwk..', '......kk...']


def arrow_cursor(drop):
    px = grid(32, 32)
    for y, line in enumerate(ARROW):
        for x, c in enumerate(line):
            if c != '.':
                px[y][x] = c
    if drop:
        # A page with a plus: the items land here.
        box(px, 12, 14, 26, 30, 'w')
        for i in range(-3, 4):
            px[22][19 + i] = px[22 + i][19] = 'G'
    else:
        # A barred circle: no place to drop.
        for y in range(14, 31):
            for x in range(10, 27):
                d = (x - 18) ** 2 + (y - 22) ** 2
                if 36 <= d <= 64:
                    px[y][x] = 'r'
                if d < 36 and abs((x - 18) + (y - 22)) <= 1:
                    px[y][x] = 'r'
    return rows(px)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        'drive_removable.ico': ico8(removable()), 'drive_fixed.ico': ico8(fixed()),
        'drive_cdrom.ico': ico8(cdrom()), 'drive_ram.ico': ico8(ramdisk()), 'drive_remote.ico': ico8(remote()),
        'drag_many.ico': ico8(many_items()),
        'drag_nodrop.cur': cur32(arrow_cursor(False), (0, 0)), 'drag_drop.cur': cur32(arrow_cursor(True), (0, 0)),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)


if __name__ == '__main__':
    main()
