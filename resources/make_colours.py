#!/usr/bin/env python3
"""Writes the default colour tables as raw RGBQUAD arrays (blue, green, red, 0).
Usage: make_colours.py OUTDIR

colours2.bin (RCDATA 256), colours16.bin (RCDATA 111) and colours256.bin (RCDATA 258)
are what a new desktop's bitmap headers carry until the Agent sends a palette."""
import os
import sys

TWO = [(0, 0, 0), (255, 255, 255)]

SIXTEEN = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (128, 128, 128),
    (192, 192, 192), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

FIRST_STATIC = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128),
    (128, 0, 128), (0, 128, 128), (192, 192, 192), (192, 220, 192), (164, 200, 240),
]
DARK = [(191, 0, 0), (0, 191, 0), (191, 191, 0), (0, 0, 191), (191, 0, 191), (0, 191, 191)]
LAST_STATIC = [
    (255, 251, 240), (160, 164, 164), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
LEVELS = (63, 95, 127, 159, 191, 223, 255)


def cube():
    """Red fastest, then green, then blue; the run starts at (63, 95, 63) and fills 230 slots."""
    every = [(r, g, b) for b in LEVELS for g in LEVELS for r in LEVELS]
    return every[7:7 + 230]


def two_fifty_six():
    table = FIRST_STATIC + DARK + cube() + LAST_STATIC
    assert len(table) == 256
    return table


def rgbquads(colours):
    return bytes(v for r, g, b in colours for v in (b, g, r, 0))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_colours.py OUTDIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for name, table in (("colours2.bin", TWO), ("colours16.bin", SIXTEEN), ("colours256.bin", two_fifty_six())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(rgbquads(table))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
