#!/usr/bin/env python3
"""Draws the view's own images: bitmap 138 (the view frame's 32 x 32 background pattern,
8 bits) and cursor 115 (the closed hand of the hand tool). Usage: make_view.py OUTDIR"""
import os
import struct
import sys

SIZE = 32


def pattern_bmp():
    # A quiet two-tone diagonal weave, so that an empty frame reads as "no picture".
    palette = [(0x80, 0x80, 0x80), (0x90, 0x90, 0x90)] + [(0, 0, 0)] * 254
    rows = []
    for y in range(SIZE):
        row = bytes(1 if ((x + y) // 4) % 2 else 0 for x in range(SIZE))
        rows.append(row)
    pixels = b''.join(reversed(rows))  # bottom-up
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + len(header) + len(table)
    return b'BM' + struct.pack('<IHHI', offset + len(pixels), 0, 0, offset) + header + table + pixels


def hand_cursor():
    # A closed hand: knuckles on top, palm below, dark outline, hot spot in the middle.
    shape = [
        '..........................',
        '..........................',
        '..........................',
        '.........XX.XX.XX.........',
        '........XooXooXooXX.......',
        '........XooXooXooXoX......',
        '.......XXoooooooooooX.....',
        '......XooXoooooooooooX....',
        '......XoooooooooooooooX...',
        '.......XooooooooooooooX...',
        '........XoooooooooooooX...',
        '........XooooooooooooX....',
        '.........XoooooooooooX....',
        '..........XooooooooooX....',
        '..........XoooooooooX.....',
        '...........XXXXXXXXX......',
    ]
    img = [[(0, 0, 0, 0)] * SIZE for _ in range(SIZE)]
    for y, line in enumerate(shape):
        for x, ch in enumerate(line):
            if ch == 'X':
                img[y + 6][x + 3] = (0, 0, 0, 255)
            elif ch == 'o':
                img[y + 6][x + 3] = (255, 255, 255, 255)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(img) for (r, g, b, a) in row)
    mask = b''.join(
        b''.join(struct.pack('>I', sum((1 << (31 - x)) for x in range(SIZE) if row[x][3] == 0)) for _ in [0])
        for row in reversed(img))
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    hot_x, hot_y = 16, 16
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, hot_x, hot_y, len(image), 22) + image


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'viewpattern.bmp'), 'wb') as f:
        f.write(pattern_bmp())
    with open(os.path.join(out, 'handdrag.cur'), 'wb') as f:
        f.write(hand_cursor())


if __name__ == '__main__':
    main()
