#!/usr/bin/env python3
"""Draws the program's own icons as 32x32 32-bit .ico files (no image tools needed).
Usage: make_icons.py OUTDIR"""
import struct
import sys
import os

SIZE = 32


def ico(pixels):
    """pixels: rows top-down of (r, g, b, a)."""
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    and_mask = bytes(4 * SIZE)  # alpha decides; the mask rows are 32 bits wide
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + bytes(xor) + and_mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 32, len(image), 22) + image


def canvas(colour=(0, 0, 0, 0)):
    return [[colour] * SIZE for _ in range(SIZE)]


def fill(px, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(SIZE, y1)):
        for x in range(max(0, x0), min(SIZE, x1)):
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


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, px in (('corvid.ico', corvid_icon()), ('password.ico', password_icon())):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(ico(px))


if __name__ == '__main__':
    main()
