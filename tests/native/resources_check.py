#!/usr/bin/env python3
"""Check of the program's generated resources.

Usage: resources_check.py [repo_root]

Runs the make_*.py generators into a temporary folder and reads what they wrote
with its own decoders: the toolbar strip (BMP), the connect animation (AVI, as
the Animate control walks it) and the icons (ICO). Also checks that every file
corvid.rc embeds is generated and listed as a build output, and that the
connect dialog keeps its ids. Prints "N passed, M failed"; exit 1 on failure.
"""

import os
import re
import struct
import subprocess
import sys
import tempfile

from checker import Checker

GENERATORS = ("make_icons.py", "make_bitmaps.py", "make_avi.py", "make_view.py", "make_colours.py")
TOOLBAR_SIZE = (270, 18)
TOOLBAR_CELL = 18
TOOLBAR_KEY = (255, 0, 255)
# Dialog units to pixels for 8-point MS Shell Dlg at 96 dpi (base units 6 x 13).
DLU_X, DLU_Y = 6 / 4, 13 / 8


def u32(data, off):
    return struct.unpack_from("<I", data, off)[0]


# ---------------------------------------------------------------------------
# BMP
# ---------------------------------------------------------------------------
def decode_bmp(chk, data, label):
    """Return (width, height, bits, rows of (r, g, b) top-down, palette) or None."""
    if not chk.check(len(data) >= 54 and data[:2] == b"BM", "%s: no BM header" % label):
        return None
    size, _, _, offbits = struct.unpack_from("<IHHI", data, 2)
    (bi_size, w, h, planes, bits, comp, image_size,
     _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    chk.check(size == len(data), "%s: bfSize %d, file %d" % (label, size, len(data)))
    ok = chk.check(bi_size == 40 and planes == 1 and comp == 0 and bits in (8, 24),
                   "%s: want a plain 8- or 24-bit BITMAPINFOHEADER, got size %d planes %d "
                   "bits %d compression %d" % (label, bi_size, planes, bits, comp))
    if not ok or not chk.check(w > 0 and h > 0, "%s: %d x %d is not bottom-up" % (label, w, h)):
        return None
    colours = (used or 256) if bits == 8 else 0
    chk.check(colours <= 256, "%s: %d palette entries" % (label, colours))
    chk.check(offbits == 54 + 4 * colours,
              "%s: pixels at %d, expected %d" % (label, offbits, 54 + 4 * colours))
    stride = (w * bits // 8 + 3) & ~3
    chk.check(image_size in (0, stride * h), "%s: biSizeImage %d, expected %d"
              % (label, image_size, stride * h))
    if not chk.check(offbits + stride * h == len(data),
                     "%s: %d bytes of pixels, expected %d" % (label, len(data) - offbits, stride * h)):
        return None
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(colours)]
    rows = []
    for y in range(h):
        base = offbits + (h - 1 - y) * stride
        if bits == 8:
            idx = data[base:base + w]
            if not chk.check(max(idx) < colours, "%s: row %d uses a colour outside the table" % (label, y)):
                return None
            rows.append([palette[i] for i in idx])
        else:
            rows.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x])
                         for x in range(w)])
    return w, h, bits, rows, palette


def check_toolbar(chk, data):
    label = "toolbar.bmp"
    got = decode_bmp(chk, data, label)
    if got is None:
        return
    w, h, bits, rows, palette = got
    if not chk.check((w, h) == TOOLBAR_SIZE, "%s: %d x %d, expected %s" % (label, w, h, TOOLBAR_SIZE)):
        return
    # The image list masks with raster operations, which on a palettized DIB
    # combine palette indices: outlines would come out in the key colour.
    chk.check(bits == 24, "%s: %d bits per pixel, must be 24" % (label, bits))
    cells = []
    for i in range(w // TOOLBAR_CELL):
        cell = [row[i * TOOLBAR_CELL:(i + 1) * TOOLBAR_CELL] for row in rows]
        ink = sum(1 for row in cell for p in row if p != TOOLBAR_KEY)
        # A glyph must be visible and must leave background for the button face.
        chk.check(30 <= ink <= TOOLBAR_CELL * TOOLBAR_CELL - 20,
                  "%s: image %d has %d drawn pixels" % (label, i, ink))
        cells.append(cell)
    chk.check(len({str(c) for c in cells}) == len(cells), "%s: two images are identical" % label)


# ---------------------------------------------------------------------------
# AVI
# ---------------------------------------------------------------------------
class Chunk:
    def __init__(self, fourcc, offset, size, form=None, children=None):
        self.fourcc, self.offset, self.size = fourcc, offset, size
        self.form, self.children = form, children or []

    def find(self, fourcc=None, form=None):
        return [c for c in self.children
                if (fourcc is None or c.fourcc == fourcc) and (form is None or c.form == form)]


def parse_chunks(chk, data, start, end, label):
    """Chunks laid end to end in data[start:end], each padded to an even size."""
    out = []
    pos = start
    while pos < end:
        if not chk.check(end - pos >= 8, "%s: %d stray bytes at %d" % (label, end - pos, pos)):
            return out
        fourcc, size = data[pos:pos + 4], u32(data, pos + 4)
        body = pos + 8
        if not chk.check(size <= end - body, "%s: chunk %r at %d runs %d bytes past its parent"
                         % (label, fourcc, pos, size - (end - body))):
            return out
        if fourcc in (b"RIFF", b"LIST"):
            if not chk.check(size >= 4, "%s: %r at %d too short" % (label, fourcc, pos)):
                return out
            kids = parse_chunks(chk, data, body + 4, body + size, label)
            out.append(Chunk(fourcc, pos, size, data[body:body + 4], kids))
        else:
            out.append(Chunk(fourcc, pos, size))
        pos = body + size + (size & 1)
    chk.check(pos == end, "%s: padding runs past the parent at %d" % (label, pos))
    return out


def one(chk, items, what, label):
    chk.check(len(items) == 1, "%s: %d %s, expected one" % (label, len(items), what))
    return items[0] if items else None


def check_avi(chk, data, label="connect.avi"):
    """Check an AVI the way the Animate control reads it; returns the frame count."""
    failed_before = chk.failed
    if not chk.check(len(data) >= 12 and data[:4] == b"RIFF" and data[8:12] == b"AVI ",
                     "%s: not a RIFF 'AVI ' file" % label):
        return 0
    chk.check(u32(data, 4) + 8 == len(data), "%s: RIFF size %d + 8, file %d"
              % (label, u32(data, 4), len(data)))
    top = parse_chunks(chk, data, 0, min(len(data), u32(data, 4) + 8), label)
    riff = one(chk, top, "RIFF chunks", label)
    if riff is None:
        return 0
    hdrl = one(chk, riff.find(b"LIST", b"hdrl"), "hdrl lists", label)
    movi = one(chk, riff.find(b"LIST", b"movi"), "movi lists", label)
    idx1 = one(chk, riff.find(b"idx1"), "idx1 chunks", label)
    if not (hdrl and movi and idx1):
        return 0
    avih = one(chk, hdrl.find(b"avih"), "avih chunks", label)
    # Only one stream: the control plays silent video only.
    strl = one(chk, hdrl.find(b"LIST", b"strl"), "strl lists", label)
    if not (avih and strl) or not chk.check(avih.size >= 56, "%s: avih too short" % label):
        return 0
    (us_per_frame, _, _, flags, total, _, streams, suggested,
     width, height) = struct.unpack_from("<10I", data, avih.offset + 8)
    chk.check(streams == 1, "%s: %d streams" % (label, streams))
    chk.check(flags & 0x10, "%s: AVIF_HASINDEX not set" % label)
    strh = one(chk, strl.find(b"strh"), "strh chunks", label)
    strf = one(chk, strl.find(b"strf"), "strf chunks", label)
    if not (strh and strf) or not chk.check(strh.size >= 56 and strf.size >= 40,
                                            "%s: strh or strf too short" % label):
        return 0
    (kind, handler, _, _, _, _, scale, rate, _, length,
     s_suggested) = struct.unpack_from("<4s4sIHHIIIIII", data, strh.offset + 8)
    chk.check(kind == b"vids", "%s: stream type %r" % (label, kind))
    # Anything else needs a codec the control may not find.
    chk.check(handler in (b"DIB ", b"RLE ", b"\0\0\0\0"), "%s: handler %r" % (label, handler))
    chk.check(scale > 0 and rate > 0 and abs(us_per_frame - 1e6 * scale / rate) < 1,
              "%s: %d us per frame disagrees with rate %d / scale %d" % (label, us_per_frame, rate, scale))
    (bi_size, bw, bh, planes, bits, comp, image_size,
     _, _, used, _) = struct.unpack_from("<IiiHHIIiiII", data, strf.offset + 8)
    chk.check(bi_size == 40 and planes == 1 and bits == 8 and comp in (0, 1),
              "%s: frames must be 8-bit BI_RGB or BI_RLE8 (bits %d, compression %d)" % (label, bits, comp))
    chk.check((bw, bh) == (width, height), "%s: strf %d x %d, avih %d x %d" % (label, bw, bh, width, height))
    colours = used or 256
    chk.check(strf.size == 40 + 4 * colours, "%s: strf holds %d bytes for %d colours"
              % (label, strf.size, colours))
    frames = movi.children
    chk.check(all(f.fourcc in (b"00db", b"00dc") and f.form is None for f in frames),
              "%s: movi holds chunks other than frames: %s" % (label, sorted({f.fourcc for f in frames})))
    chk.check(total == len(frames) == length, "%s: avih says %d frames, strh %d, movi holds %d"
              % (label, total, length, len(frames)))
    stride = (bw + 3) & ~3
    if comp == 0:
        bad = [i for i, f in enumerate(frames) if f.size != stride * bh]
        chk.check(not bad, "%s: frames %s are not %d bytes" % (label, bad, stride * bh))
        chk.check(image_size in (0, stride * bh), "%s: biSizeImage %d" % (label, image_size))
    biggest = max((f.size for f in frames), default=0)
    chk.check(suggested >= biggest and s_suggested >= biggest,
              "%s: suggested buffer sizes %d / %d below the largest frame %d"
              % (label, suggested, s_suggested, biggest))
    # idx1: one 16-byte entry per frame, offsets from the 'movi' form type.
    n = idx1.size // 16
    chk.check(idx1.size % 16 == 0 and n == len(frames), "%s: idx1 has %d bytes for %d frames"
              % (label, idx1.size, len(frames)))
    base = movi.offset + 8
    for i in range(min(n, len(frames))):
        ckid, iflags, off, size = struct.unpack_from("<4sIII", data, idx1.offset + 8 + 16 * i)
        f = frames[i]
        if not chk.check(base + off == f.offset and ckid == f.fourcc and size == f.size,
                         "%s: idx1 entry %d (%r at +%d, %d bytes) does not match frame at %d"
                         % (label, i, ckid, off, size, f.offset)):
            break
    if comp == 0 and frames and chk.failed == failed_before:
        check_avi_pictures(chk, data, frames, strf, colours, bw, bh, label)
    return len(frames)


def check_avi_pictures(chk, data, frames, strf, colours, w, h, label):
    """The control makes the first frame's top-left pixel transparent in every frame."""
    pal_off = strf.offset + 8 + 40
    palette = [data[pal_off + 4 * i:pal_off + 4 * i + 3] for i in range(colours)]
    stride = (w + 3) & ~3

    def pixel(f, x, y):  # top-down coordinates, rows stored bottom-up
        return palette[data[f.offset + 8 + (h - 1 - y) * stride + x]]

    key = pixel(frames[0], 0, 0)
    corners = [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)]
    chk.check(all(pixel(f, x, y) == key for f in frames for x, y in corners),
              "%s: frame corners are not all the transparent background" % label)
    chk.check(palette.count(key) == 1, "%s: the background colour is in the palette twice" % label)
    distinct = len({data[f.offset + 8:f.offset + 8 + f.size] for f in frames})
    chk.check(distinct >= len(frames) // 2, "%s: only %d distinct frames" % (label, distinct))


# ---------------------------------------------------------------------------
# ICO
# ---------------------------------------------------------------------------
def check_ico(chk, data, label):
    if not chk.check(len(data) >= 6, "%s: too short" % label):
        return
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    chk.check(reserved == 0 and kind == 1 and count >= 1,
              "%s: header %d %d %d" % (label, reserved, kind, count))
    if not chk.check(len(data) >= 6 + 16 * count, "%s: directory cut short" % label):
        return
    for i in range(count):
        w, h, _, _, planes, bits, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        if not chk.check(off >= 6 + 16 * count and size <= len(data) - off,
                         "%s: image %d at %d + %d outside the file" % (label, i, off, size)):
            continue
        bi_size, bw, bh, bplanes, bbits = struct.unpack_from("<IiiHH", data, off)
        chk.check(bi_size == 40 and bw == w and bh == 2 * h and bplanes == 1 and bbits == bits,
                  "%s: image %d header %d x %d (%d bits) disagrees with %d x %d (%d bits)"
                  % (label, i, bw, bh, bbits, w, h, bits))
        xor = ((w * bits + 31) // 32) * 4 * h
        mask = ((w + 31) // 32) * 4 * h
        colours = (1 << bits) if bits <= 8 else 0
        chk.check(size == 40 + 4 * colours + xor + mask,
                  "%s: image %d is %d bytes, expected %d" % (label, i, size, 40 + 4 * colours + xor + mask))


# ---------------------------------------------------------------------------
# The resource script and the build
# ---------------------------------------------------------------------------
def check_script(chk, root, out):
    with open(os.path.join(root, "resources", "corvid.rc"), encoding="latin-1") as f:
        rc = f.read()
    with open(os.path.join(root, "resources", "resource.h"), encoding="latin-1") as f:
        ids = {k: int(v) for k, v in re.findall(r"#define\s+(\w+)\s+(\d+)", f.read())}
    with open(os.path.join(root, "cmake", "win64.cmake"), encoding="latin-1") as f:
        cmake = f.read()
    embedded = re.findall(r'^\s*\w+\s+(?:ICON|BITMAP|AVI|CURSOR)\s+"([^"]+)"', rc, re.M)
    chk.check(len(embedded) >= 4, "corvid.rc: embeds only %s" % embedded)
    for name in embedded:
        chk.check(os.path.exists(os.path.join(out, name)), "corvid.rc embeds %s, which no generator writes" % name)
        chk.check("${CMAKE_BINARY_DIR}/resources/" + name in cmake,
                  "cmake/win64.cmake does not list %s as a generated resource" % name)
    want = {"IDB_TOOLBAR": 104, "IDA_CONNECT": 105, "IDD_CONNECT": 106,
            "IDC_CONNECT_LABEL": 1003, "IDC_CONNECT_ANIM": 1004}
    for name, value in want.items():
        chk.check(ids.get(name) == value, "resource.h: %s is %s, expected %d" % (name, ids.get(name), value))
    # The control looks the animation up under the resource type "AVI".
    chk.check(re.search(r'^\s*IDA_CONNECT\s+AVI\s+"connect\.avi"', rc, re.M) is not None,
              "corvid.rc: animation 105 is not an AVI resource")
    m = re.search(r"^\s*IDD_CONNECT\s+DIALOGEX?\s+\d+\s*,\s*\d+\s*,\s*(\d+)\s*,\s*(\d+)(.*?)^END",
                  rc, re.M | re.S)
    if not chk.check(m is not None, "corvid.rc: dialog IDD_CONNECT missing"):
        return None
    body = m.group(3)
    anim = re.search(r'CONTROL\s+"[^"]*"\s*,\s*IDC_CONNECT_ANIM\s*,\s*"SysAnimate32"\s*,([^,]*),'
                     r'\s*\d+\s*,\s*\d+\s*,\s*(\d+)\s*,\s*(\d+)', body, re.I)
    chk.check(anim is not None and "ACS_CENTER" in anim.group(1) and "ACS_TRANSPARENT" in anim.group(1),
              "corvid.rc: dialog 106 lacks a centred, transparent SysAnimate32 control 1004")
    chk.check(re.search(r"\bIDC_CONNECT_LABEL\b", body) is not None, "corvid.rc: dialog 106 lacks label 1003")
    chk.check(re.search(r"\bIDCANCEL\b", body) is not None, "corvid.rc: dialog 106 lacks the cancel button")
    return (int(anim.group(2)), int(anim.group(3))) if anim else None


def run_generators(root, out):
    for script in GENERATORS:
        subprocess.run([sys.executable, os.path.join(root, "resources", script), out], check=True)


def self_test(chk, avi, bmp):
    """Damaged files must be refused, so a parse slip cannot pass them."""
    riff_size = u32(avi, 4)
    movi = avi.index(b"movi") - 8
    idx1 = avi.index(b"idx1")
    avih = avi.index(b"avih") + 8
    damaged = {
        "truncated": avi[:-10],
        "RIFF size": avi[:4] + struct.pack("<I", riff_size + 2) + avi[8:],
        "frame count": avi[:avih + 16] + struct.pack("<I", u32(avi, avih + 16) + 1) + avi[avih + 20:],
        "idx1 offset": avi[:idx1 + 8 + 16 + 8] + struct.pack("<I", u32(avi, idx1 + 8 + 16 + 8) + 2)
        + avi[idx1 + 8 + 16 + 12:],
        "JUNK in movi": (avi[:4] + struct.pack("<I", riff_size + 12) + avi[8:movi + 4]
                         + struct.pack("<I", u32(avi, movi + 4) + 12) + avi[movi + 8:movi + 12]
                         + b"JUNK" + struct.pack("<I", 4) + b"\0" * 4 + avi[movi + 12:]),
        "compressed": avi.replace(b"DIB ", b"cvid", 1),
    }
    for what, data in damaged.items():
        inner = Checker(quiet=True)
        check_avi(inner, data)
        chk.check(inner.failed > 0, "self-test: AVI with a bad %s accepted" % what)
    clean = Checker(quiet=True)
    check_avi(clean, avi)
    chk.check(clean.failed == 0, "self-test: the generated AVI is refused")
    for what, data in {"size": bmp[:-4], "width": bmp[:18] + struct.pack("<i", 269) + bmp[22:]}.items():
        inner = Checker(quiet=True)
        check_toolbar(inner, data)
        chk.check(inner.failed > 0, "self-test: BMP with a bad %s accepted" % what)


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.normpath(
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    chk = Checker()
    with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
        run_generators(root, a)
        run_generators(root, b)
        names = sorted(os.listdir(a))
        chk.check(names == sorted(os.listdir(b)), "generators wrote different file sets")
        for name in names:
            with open(os.path.join(a, name), "rb") as fa, open(os.path.join(b, name), "rb") as fb:
                chk.check(fa.read() == fb.read(), "%s differs between two runs" % name)

        def read(name):
            path = os.path.join(a, name)
            if not chk.check(os.path.exists(path), "%s was not generated" % name):
                return b""
            with open(path, "rb") as f:
                return f.read()

        bmp, avi = read("toolbar.bmp"), read("connect.avi")
        check_toolbar(chk, bmp)
        check_avi(chk, avi)
        for name in names:
            if name.endswith(".ico"):
                check_ico(chk, read(name), name)
        area = check_script(chk, root, a)
        if area and len(avi) > 64:
            w, h = u32(avi, 64), u32(avi, 68)  # avih width and height
            chk.check(w <= area[0] * DLU_X and h <= area[1] * DLU_Y,
                      "connect.avi (%d x %d) is larger than its control (%d x %d dialog units)"
                      % (w, h, area[0], area[1]))
        if avi and bmp:
            self_test(chk, avi, bmp)
    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
