#!/usr/bin/env python3
"""Draws the connect animation (AVI resource 105), the delete animation (157, a page
falling into a bin) and the copy animation (164, a page flying from one folder to
another) as uncompressed 8-bit AVIs.
Usage: make_avi.py OUTDIR

The Animate control plays only uncompressed or RLE8 video without sound, and it
counts every chunk inside 'movi' as a frame, so 'movi' holds the '00db' frames
and nothing else. With ACS_TRANSPARENT the control treats the colour of the
first frame's top-left pixel as transparent, so that pixel is background."""
import os
import struct
import sys

WIDTH, HEIGHT = 48, 32
FRAMES = 16
FPS = 10

PALETTE = [
    (192, 192, 192),  # 0 background (transparent in the control)
    (0, 0, 0),        # 1 outline
    (216, 216, 220),  # 2 case
    (24, 56, 168),    # 3 screen, idle
    (96, 176, 255),   # 4 screen, receiving
    (112, 112, 120),  # 5 stand, cable
    (248, 200, 0),    # 6 request packet
    (32, 176, 64),    # 7 reply packet
    (248, 248, 248),  # 8 screen highlight
]
BG, K, CASE, SCREEN, LIT, CABLE, REQUEST, REPLY, SHINE = range(len(PALETTE))

LEFT_PC, RIGHT_PC = 1, 31   # left edges of the two computers (16 px wide)
CABLE_Y = 26
HALF = FRAMES // 2          # frames of each leg of the trip


def blank():
    return [[BG] * WIDTH for _ in range(HEIGHT)]


def fill(px, x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(HEIGHT, y1 + 1)):
        for x in range(max(0, x0), min(WIDTH, x1 + 1)):
            px[y][x] = c


def computer(px, x0, lit):
    fill(px, x0, 3, x0 + 15, 16, K)
    fill(px, x0 + 1, 4, x0 + 14, 15, CASE)
    fill(px, x0 + 2, 5, x0 + 13, 13, K)
    fill(px, x0 + 3, 6, x0 + 12, 12, LIT if lit else SCREEN)
    fill(px, x0 + 4, 7, x0 + 6, 7, SHINE)
    fill(px, x0 + 4, 8, x0 + 4, 9, SHINE)
    fill(px, x0 + 7, 17, x0 + 8, 18, CABLE)       # neck
    fill(px, x0 + 3, 19, x0 + 12, 20, K)          # base
    fill(px, x0 + 7, 21, x0 + 8, CABLE_Y, CABLE)  # lead down to the cable


def frame(n):
    """Frames 0..7 carry a request from left to right, 8..15 a reply back."""
    px = blank()
    leg, step = divmod(n, HALF)
    start, end = LEFT_PC + 8, RIGHT_PC + 7
    fill(px, start, CABLE_Y - 1, end, CABLE_Y, CABLE)
    # A screen lights up while the packet arrives at it.
    computer(px, LEFT_PC, lit=(leg == 1 and step >= HALF - 2))
    computer(px, RIGHT_PC, lit=(leg == 0 and step >= HALF - 2))
    t = step / (HALF - 1)
    x = round(start + (end - start) * (t if leg == 0 else 1 - t))
    fill(px, x - 2, CABLE_Y - 3, x + 2, CABLE_Y + 2, K)
    fill(px, x - 1, CABLE_Y - 2, x + 1, CABLE_Y + 1, REQUEST if leg == 0 else REPLY)
    return px


def delete_frame(n):
    """A page drops from the top left into the bin on the right, then the bin lid shuts."""
    px = blank()
    fill(px, 30, 12, 43, 29, K)                 # bin
    fill(px, 31, 13, 42, 28, CASE)
    for x in (33, 36, 39):
        fill(px, x, 15, x, 26, CABLE)
    t = n / (FRAMES - 1)
    x, y = round(2 + 30 * t), round(2 + 8 * t * t)
    if n < FRAMES - 3:                          # the page, until it is in
        fill(px, x, y, x + 9, y + 11, K)
        fill(px, x + 1, y + 1, x + 8, y + 10, SHINE)
        for row in (y + 3, y + 5, y + 7):
            fill(px, x + 2, row, x + 7, row, SCREEN)
    lid = 10 if n >= FRAMES - 3 else 8
    fill(px, 29, lid, 44, lid + 1, K)
    return px


def folder(px, x0, y0):
    fill(px, x0, y0, x0 + 5, y0 + 2, K)            # tab
    fill(px, x0, y0 + 2, x0 + 13, y0 + 12, K)
    fill(px, x0 + 1, y0 + 3, x0 + 12, y0 + 11, REQUEST)


def copy_frame(n):
    """A page rises out of the left folder, flies over and sinks into the right one."""
    px = blank()
    folder(px, 1, 17)
    folder(px, 33, 17)
    t = n / (FRAMES - 1)
    x = round(3 + 30 * t)
    y = round(16 - 14 * (1 - (2 * t - 1) ** 2))  # an arc between the folders
    fill(px, x, y, x + 9, y + 11, K)
    fill(px, x + 1, y + 1, x + 8, y + 10, SHINE)
    for row in (y + 3, y + 5, y + 7):
        fill(px, x + 2, row, x + 7, row, SCREEN)
    # The folders' fronts stay over the page as it goes in and out.
    for x0 in (1, 33):
        fill(px, x0, 22, x0 + 13, 29, K)
        fill(px, x0 + 1, 23, x0 + 12, 28, REQUEST)
    return px


def dib_rows(px):
    """Bottom-up rows, each padded to a multiple of 4 bytes."""
    stride = (WIDTH + 3) & ~3
    return b''.join(bytes(row) + bytes(stride - WIDTH) for row in reversed(px))


def chunk(fourcc, data):
    pad = b'\0' if len(data) % 2 else b''
    return fourcc + struct.pack('<I', len(data)) + data + pad


def riff_list(kind, form, body):
    return kind + struct.pack('<I', 4 + len(body)) + form + body


def avi(frames):
    size = len(frames[0])
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    table += bytes(4 * (256 - len(PALETTE)))
    bih = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8, 0, size, 0, 0, 256, 0)
    avih = struct.pack('<14I',
                       1000000 // FPS,   # microseconds per frame
                       size * FPS,       # max bytes per second
                       0,                # padding granularity
                       0x10,             # AVIF_HASINDEX
                       len(frames), 0, 1, size,
                       WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh',
                       b'vids', b'DIB ', 0, 0, 0, 0,
                       1, FPS,           # scale, rate: FPS frames per second
                       0, len(frames), size,
                       0xFFFFFFFF,       # default quality
                       0,                # sample size: frames vary
                       0, 0, WIDTH, HEIGHT)
    hdrl = riff_list(b'LIST', b'hdrl',
                     chunk(b'avih', avih)
                     + riff_list(b'LIST', b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + table)))
    movi_body = b''
    index = b''
    for data in frames:
        # idx1 offsets count from the 'movi' form type, as the AVI format has it.
        index += struct.pack('<4sIII', b'00db', 0x10, 4 + len(movi_body), len(data))
        movi_body += chunk(b'00db', data)
    movi = riff_list(b'LIST', b'movi', movi_body)
    return riff_list(b'RIFF', b'AVI ', hdrl + movi + chunk(b'idx1', index))


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    frames = [dib_rows(frame(n)) for n in range(FRAMES)]
    with open(os.path.join(out, 'connect.avi'), 'wb') as f:
        f.write(avi(frames))
    with open(os.path.join(out, 'delete.avi'), 'wb') as f:
        f.write(avi([dib_rows(delete_frame(n)) for n in range(FRAMES)]))
    with open(os.path.join(out, 'copy.avi'), 'wb') as f:
        f.write(avi([dib_rows(copy_frame(n)) for n in range(FRAMES)]))


if __name__ == '__main__':
    main()
