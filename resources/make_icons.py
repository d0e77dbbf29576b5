#!/usr/bin/env python3
"""Draws the program's own icons as 32x32 32-bit .ico files (no image tools needed).
Usage: make_icons.py OUTDIR"""
import struct
import sys
import os

SIZE = 32


def ico(pixels):
    """pixels: rows top-down of (r, g, b, a), any size up to 255 x 255."""
    h, w = len(pixels), len(pixels[0])
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    # Alpha decides; the mask still has to be there, rows padded to 32 bits.
    mask_row = ((w + 31) // 32) * 4
    and_mask = bytearray()
    for row in reversed(pixels):
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits |= 1 << (mask_row * 8 - 1 - x)
        and_mask += bits.to_bytes(mask_row, 'big')
    header = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(and_mask)
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', w, h, 0, 0, 1, 32, len(image), 22) + image


def canvas(colour=(0, 0, 0, 0), w=SIZE, h=SIZE):
    return [[colour] * w for _ in range(h)]


def fill(px, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(px), y1)):
        for x in range(max(0, x0), min(len(px[0]), x1)):
            px[y][x] = colour


def corvid_icon():
    # A monitor with a dark bird's head on it: the viewer of a remote screen.
    px = canvas()
    fill(px, 2, 4, 30, 24, (40, 40, 48, 255))
    fill(px, 4, 6, 28, 22, (70, 130, 200, 255))
    fill(px, 12, 24, 20, 27, (40, 40, 48, 255))
    fill(px, 8, 27, 24, 29, (40, 40, 48, 255))
    for y in range(9, 20):
        for x in range(9, 23):
            dx, dy = x - 14, y - 14
            if dx * dx + dy * dy <= 20:
                px[y][x] = (20, 20, 24, 255)
    for i in range(6):
        fill(px, 18 + i, 13 + i // 2, 19 + i, 15, (230, 180, 40, 255))
    px[12][13] = (255, 255, 255, 255)
    return px


def password_icon():
    # A key.
    px = canvas()
    gold = (210, 160, 30, 255)
    dark = (120, 80, 10, 255)
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - 10, y - 16
            d = dx * dx + dy * dy
            if d <= 49:
                px[y][x] = dark if d >= 36 else gold
            if d <= 6:
                px[y][x] = (0, 0, 0, 0)
    fill(px, 16, 14, 30, 19, gold)
    fill(px, 22, 19, 25, 24, gold)
    fill(px, 27, 19, 30, 22, gold)
    return px


# Keyboard lights, 24 x 22: a lamp in a bezel, lit or dark, one colour per light.
LIGHT_COLOURS = [(40, 210, 60), (250, 200, 30), (60, 150, 255)]


def light_icon(index, lit):
    px = canvas(w=24, h=22)
    on = LIGHT_COLOURS[index]
    off = tuple(c // 5 + 30 for c in on)
    for y in range(22):
        for x in range(24):
            dx, dy = x + 0.5 - 12, y + 0.5 - 11
            d = dx * dx + dy * dy
            if d <= 72:
                px[y][x] = (60, 60, 64, 255)
            if d <= 49:
                px[y][x] = (on if lit else off) + (255,)
    if lit:
        fill(px, 9, 7, 12, 9, (255, 255, 255, 255))
    return px


# Marker of the remote pointer, 11 x 19: a white arrow outlined in black.
MARKER = [
    '#..........', '##.........', '#o#........', '#oo#.......', '#ooo#......', '#oooo#.....',
    '#ooooo#....', '#oooooo#...', '#ooooooo#..', '#oooooooo#.', '#ooooo#####', '#oo#oo#....',
    '#o#.#oo#...', '##..#oo#...', '#....#oo#..', '.....#oo#..', '......#oo#.', '......#oo#.',
    '.......##..']


def marker_icon():
    colours = {'.': (0, 0, 0, 0), '#': (0, 0, 0, 255), 'o': (255, 255, 255, 255)}
    return [[colours[c] for c in row] for row in MARKER]


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    icons = [('corvid.ico', corvid_icon()), ('password.ico', password_icon()), ('marker.ico', marker_icon())]
    for i in range(3):
        icons.append(('light%d_on.ico' % i, light_icon(i, True)))
        icons.append(('light%d_off.ico' % i, light_icon(i, False)))
    for name, px in icons:
        with open(os.path.join(out, name), 'wb') as f:
            f.write(ico(px))


if __name__ == '__main__':
    main()
