#!/usr/bin/env python3
"""Check of the program's generated resources. Usage: resources_check.py [repo_root]

Runs the make_*.py generators into a temporary folder and reads what they wrote with
its own decoders: toolbar strips and bitmaps (BMP), the connect animation (AVI, as the
Animate control walks it), icons (ICO) and the cursor (CUR). Also checks that every
file corvid.rc embeds is generated and listed as a build output, and that the dialogs
keep the controls the code looks up. Prints "N passed, M failed"; exit 1 on failure.
"""

import os
import re
import struct
import subprocess
import sys
import tempfile

from checker import Checker

GENERATORS = ("make_icons.py", "make_bitmaps.py", "make_avi.py", "make_view.py", "make_colours.py", "make_fticons.py")
# Image lists cut 18 x 18 cells out of the strips, masking with magenta.
TOOLBARS = {"toolbar.bmp": 15, "console_toolbar.bmp": 8, "ft_toolbar.bmp": 8, "ft_pad.bmp": 3}
TOOLBAR_CELL = 18
TOOLBAR_KEY = (255, 0, 255)
# Controls the code finds by id, per dialog.
DIALOGS = {
    "IDD_TIMED_BOX": ["IDC_BOX_ICON", "IDC_BOX_TEXT", "IDOK"],
    "IDD_PASSWORD": ["IDC_PWD_LABEL", "IDC_PWD_EDIT", "IDOK", "IDCANCEL"],
    "IDD_CONNECT": ["IDC_CONNECT_ANIM", "IDC_CONNECT_LABEL", "IDCANCEL"],
}
RESOURCE_IDS = {"IDD_TIMED_BOX": 102, "IDD_PASSWORD": 108, "IDB_TOOLBAR": 104, "IDB_CONSOLE_TOOLBAR": 127,
                "IDB_FT_TOOLBAR": 145, "IDB_FT_PAD": 139,
                "IDA_CONNECT": 105, "IDD_CONNECT": 106, "IDC_CONNECT_LABEL": 1003, "IDC_CONNECT_ANIM": 1004,
                "IDB_LOGO": 124, "IDI_FT_DRIVE_REMOVABLE": 140, "IDI_FT_DRIVE_FIXED": 141, "IDI_FT_DRIVE_CDROM": 142,
                "IDI_FT_DRIVE_RAM": 143, "IDI_FT_DRIVE_REMOTE": 148, "IDI_FT_DRAG_MANY": 167, "IDC_FT_NO_DROP": 168,
                "IDC_FT_DROP": 169}
# Images whose size and depth the code relies on: (width, height, bits).
IMAGE_SHAPES = {"drive_removable.ico": (16, 16, 8), "drive_fixed.ico": (16, 16, 8), "drive_cdrom.ico": (16, 16, 8),
                "drive_ram.ico": (16, 16, 8), "drive_remote.ico": (16, 16, 8), "drag_many.ico": (32, 32, 8),
                "drag_nodrop.cur": (32, 32, 32), "drag_drop.cur": (32, 32, 32)}
# Dialog units to pixels for 8-point MS Shell Dlg at 96 dpi (base units 6 x 13).
DLU_X, DLU_Y = 6 / 4, 13 / 8


def u32(data, off):
    return struct.unpack_from("<I", data, off)[0]


def decode_bmp(chk, data, label):
    """Return (width, height, bits, rows of (r, g, b) top-down) or None."""
    if not chk.check(len(data) >= 54 and data[:2] == b"BM", "%s: no BM header" % label):
        return None
    size, _, _, offbits = struct.unpack_from("<IHHI", data, 2)
    bi_size, w, h, planes, bits, comp, _, _, _, used, _ = struct.unpack_from("<IiiHHIIiiII", data, 14)
    if not chk.check(size == len(data) and bi_size == 40 and planes == 1 and comp == 0 and bits in (8, 24)
                     and w > 0 and h > 0, "%s: want a plain bottom-up 8- or 24-bit DIB of bfSize %d, got %r"
                     % (label, len(data), (size, bi_size, w, h, planes, bits, comp))):
        return None
    colours = (used or 256) if bits == 8 else 0
    stride = (w * bits // 8 + 3) & ~3
    if not chk.check(colours <= 256 and offbits == 54 + 4 * colours and offbits + stride * h == len(data),
                     "%s: %d colours, pixels at %d, file %d bytes" % (label, colours, offbits, len(data))):
        return None
    palette = [(data[54 + 4 * i + 2], data[54 + 4 * i + 1], data[54 + 4 * i]) for i in range(colours)]
    rows = []
    for y in range(h):
        base = offbits + (h - 1 - y) * stride
        if bits == 24:
            rows.append([tuple(data[base + 3 * x:base + 3 * x + 3][::-1]) for x in range(w)])
        elif chk.check(max(data[base:base + w]) < colours, "%s: row %d uses a colour outside the table" % (label, y)):
            rows.append([palette[i] for i in data[base:base + w]])
        else:
            return None
    return w, h, bits, rows


def check_toolbar(chk, data, label, count):
    got = decode_bmp(chk, data, label)
    # 24 bits: on a palettized DIB the mask's raster operations combine palette
    # indices, and outlines would come out in the key colour.
    if got is None or not chk.check(got[:3] == (count * TOOLBAR_CELL, TOOLBAR_CELL, 24),
                                    "%s: %r, expected %d x %d at 24 bits"
                                    % (label, got[:3], count * TOOLBAR_CELL, TOOLBAR_CELL)):
        return
    for i in range(count):
        ink = sum(1 for row in got[3] for p in row[i * TOOLBAR_CELL:(i + 1) * TOOLBAR_CELL] if p != TOOLBAR_KEY)
        # A glyph must be visible and must leave the key colour for the button face.
        chk.check(30 <= ink <= TOOLBAR_CELL * TOOLBAR_CELL - 20, "%s: image %d has %d drawn pixels" % (label, i, ink))


def parse_chunks(chk, data, start, end, label):
    """RIFF chunks laid end to end in data[start:end], each padded to an even size:
    (fourcc, offset, size, form type or None, children)."""
    out, pos = [], start
    while pos < end:
        if not chk.check(end - pos >= 8 and u32(data, pos + 4) <= end - pos - 8,
                         "%s: chunk at %d runs past its parent" % (label, pos)):
            return out
        fourcc, size = data[pos:pos + 4], u32(data, pos + 4)
        if fourcc in (b"RIFF", b"LIST"):
            out.append((fourcc, pos, size, data[pos + 8:pos + 12],
                        parse_chunks(chk, data, pos + 12, pos + 8 + size, label)))
        else:
            out.append((fourcc, pos, size, None, []))
        pos += 8 + size + (size & 1)
    chk.check(pos == end, "%s: padding runs past the parent at %d" % (label, pos))
    return out


def one(chk, chunks, fourcc, form, label):
    found = [c for c in chunks if c[0] == fourcc and c[3] == form]
    chk.check(len(found) == 1, "%s: %d %r %r chunks, expected one" % (label, len(found), fourcc, form))
    return found[0] if found else None


def check_avi(chk, data, label="connect.avi"):
    """Check an AVI the way the Animate control reads it; returns (width, height) or None."""
    if not chk.check(len(data) >= 12 and data[:4] == b"RIFF" and data[8:12] == b"AVI "
                     and u32(data, 4) + 8 == len(data), "%s: not a whole RIFF 'AVI ' file" % label):
        return None
    riff = parse_chunks(chk, data, 0, len(data), label)[0]
    hdrl, movi = one(chk, riff[4], b"LIST", b"hdrl", label), one(chk, riff[4], b"LIST", b"movi", label)
    idx1 = one(chk, riff[4], b"idx1", None, label)
    if not (hdrl and movi and idx1):
        return None
    avih, strl = one(chk, hdrl[4], b"avih", None, label), one(chk, hdrl[4], b"LIST", b"strl", label)
    strh, strf = (one(chk, strl[4], b"strh", None, label), one(chk, strl[4], b"strf", None, label)) if strl else (0, 0)
    if not (avih and strh and strf) or not chk.check(avih[2] >= 56 and strh[2] >= 56 and strf[2] >= 40,
                                                     "%s: a header chunk is too short" % label):
        return None
    _, _, _, flags, total, _, streams, suggested, width, height = struct.unpack_from("<10I", data, avih[1] + 8)
    kind, handler, _, _, _, _, _, _, _, length, s_suggested = struct.unpack_from("<4s4sIHHIIIIII", data, strh[1] + 8)
    bi_size, bw, bh, planes, bits, comp = struct.unpack_from("<IiiHHI", data, strf[1] + 8)
    colours = struct.unpack_from("<I", data, strf[1] + 8 + 32)[0] or 256
    # One silent video stream in a format the control decodes without a codec.
    chk.check(streams == 1 and flags & 0x10 and kind == b"vids" and handler in (b"DIB ", b"RLE ", b"\0\0\0\0"),
              "%s: streams %d, flags %#x, stream %r handler %r" % (label, streams, flags, kind, handler))
    chk.check(bi_size == 40 and planes == 1 and bits == 8 and comp in (0, 1) and (bw, bh) == (width, height)
              and strf[2] == 40 + 4 * colours, "%s: frames must be 8-bit BI_RGB or BI_RLE8 of the avih size"
              % label)
    frames = movi[4]
    chk.check(all(f[0] in (b"00db", b"00dc") and f[3] is None for f in frames),
              "%s: movi holds chunks other than frames" % label)
    chk.check(total == len(frames) == length, "%s: avih says %d frames, strh %d, movi holds %d"
              % (label, total, length, len(frames)))
    if comp == 0:
        chk.check(all(f[2] == ((bw + 3) & ~3) * bh for f in frames), "%s: a frame of the wrong size" % label)
    biggest = max((f[2] for f in frames), default=0)
    chk.check(suggested >= biggest and s_suggested >= biggest, "%s: suggested buffer sizes %d / %d below %d"
              % (label, suggested, s_suggested, biggest))
    # idx1: one 16-byte entry per frame, offsets from the 'movi' form type.
    chk.check(idx1[2] == 16 * len(frames), "%s: idx1 has %d bytes for %d frames" % (label, idx1[2], len(frames)))
    for i, f in enumerate(frames[:idx1[2] // 16]):
        ckid, _, off, size = struct.unpack_from("<4sIII", data, idx1[1] + 8 + 16 * i)
        if not chk.check((movi[1] + 8 + off, ckid, size) == (f[1], f[0], f[2]),
                         "%s: idx1 entry %d does not match frame at %d" % (label, i, f[1])):
            break
    return width, height


def check_icon(chk, data, label):
    """ICO (type 1) or CUR (type 2): each image a BITMAPINFOHEADER, XOR bits and AND mask.
    Returns (width, height, bits) of the first image, or None."""
    cursor = label.endswith(".cur")
    if not chk.check(len(data) >= 6 and struct.unpack_from("<HH", data) == (0, 2 if cursor else 1),
                     "%s: not a %s file" % (label, "CUR" if cursor else "ICO")):
        return
    count = struct.unpack_from("<H", data, 4)[0]
    if not chk.check(count >= 1 and len(data) >= 6 + 16 * count, "%s: %d images, directory cut short" % (label, count)):
        return
    first = None
    for i in range(count):
        w, h, _, _, _, dir_bits, size, off = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        w, h = w or 256, h or 256
        if not chk.check(off >= 6 + 16 * count and size <= len(data) - off and len(data) - off >= 40,
                         "%s: image %d at %d + %d outside the file" % (label, i, off, size)):
            continue
        bi_size, bw, bh, planes, bits = struct.unpack_from("<IiiHH", data, off)
        # A cursor's directory holds the hot spot where an icon's holds the depth.
        chk.check(bi_size == 40 and (bw, bh, planes) == (w, 2 * h, 1) and (cursor or bits == dir_bits),
                  "%s: image %d header %d x %d (%d bits) disagrees with its directory" % (label, i, bw, bh, bits))
        colours = (1 << bits) if bits <= 8 else 0
        want = 40 + 4 * colours + ((w * bits + 31) // 32) * 4 * h + ((w + 31) // 32) * 4 * h
        chk.check(size == want, "%s: image %d is %d bytes, expected %d" % (label, i, size, want))
        first = first or (w, h, bits)
    return first


def check_script(chk, root, out):
    """Returns the animation control's size in dialog units, or None."""
    def read(*path):
        with open(os.path.join(root, *path), encoding="latin-1") as f:
            return f.read()
    rc, cmake = read("resources", "corvid.rc"), read("cmake", "win64.cmake")
    ids = {k: int(v) for k, v in re.findall(r"#define\s+(\w+)\s+(\d+)", read("resources", "resource.h"))}
    embedded = re.findall(r'^\s*\w+\s+(?:ICON|BITMAP|AVI|CURSOR|RCDATA)\s+"([^"]+)"', rc, re.M)
    chk.check(len(embedded) >= 4, "corvid.rc: embeds only %s" % embedded)
    for name in embedded:
        chk.check(os.path.exists(os.path.join(out, name)), "corvid.rc embeds %s, which no generator writes" % name)
        chk.check("${CMAKE_BINARY_DIR}/resources/" + name in cmake,
                  "cmake/win64.cmake does not list %s as a generated resource" % name)
    for name, value in RESOURCE_IDS.items():
        chk.check(ids.get(name) == value, "resource.h: %s is %s, expected %d" % (name, ids.get(name), value))
    # The control looks the animation up under the resource type "AVI".
    chk.check(re.search(r'^\s*IDA_CONNECT\s+AVI\s+"connect\.avi"', rc, re.M) is not None,
              "corvid.rc: animation 105 is not an AVI resource")
    bodies = {m.group(1): m.group(2) for m in re.finditer(r"^\s*(\w+)\s+DIALOGEX?\b(.*?)^END", rc, re.M | re.S)}
    for dialog, controls in DIALOGS.items():
        body = bodies.get(dialog, "")
        missing = [c for c in controls if not re.search(r"\b%s\s*," % c, body)]
        chk.check(body and not missing, "corvid.rc: dialog %s lacks %s" % (dialog, missing or "itself"))
    anim = re.search(r'CONTROL\s+"[^"]*"\s*,\s*IDC_CONNECT_ANIM\s*,\s*"SysAnimate32"\s*,([^,]*),'
                     r'\s*\d+\s*,\s*\d+\s*,\s*(\d+)\s*,\s*(\d+)', bodies.get("IDD_CONNECT", ""), re.I)
    chk.check(anim is not None and "ACS_CENTER" in anim.group(1) and "ACS_TRANSPARENT" in anim.group(1),
              "corvid.rc: dialog 106 lacks a centred, transparent SysAnimate32 control 1004")
    return (int(anim.group(2)), int(anim.group(3))) if anim else None


def self_test(chk, avi):
    """Damaged files must be refused, so a parse slip cannot pass them."""
    idx1, avih = avi.index(b"idx1") + 8, avi.index(b"avih") + 8
    for what, data in [("cut short", avi[:-10]), ("codec", avi.replace(b"DIB ", b"cvid", 1)),
                       ("frame count", avi[:avih + 16] + struct.pack("<I", u32(avi, avih + 16) + 1) + avi[avih + 20:]),
                       ("idx1 offset", avi[:idx1 + 24] + struct.pack("<I", u32(avi, idx1 + 24) + 2) + avi[idx1 + 28:])]:
        inner = Checker(quiet=True)
        check_avi(inner, data)
        chk.check(inner.failed > 0, "self-test: AVI with a bad %s accepted" % what)


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.normpath(
        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    chk = Checker()
    with tempfile.TemporaryDirectory() as out:
        for script in GENERATORS:
            subprocess.run([sys.executable, os.path.join(root, "resources", script), out], check=True)

        def read(name):
            path = os.path.join(out, name)
            if not chk.check(os.path.exists(path), "%s was not generated" % name):
                return b""
            with open(path, "rb") as f:
                return f.read()

        for name, count in TOOLBARS.items():
            check_toolbar(chk, read(name), name, count)
        got = decode_bmp(chk, read("viewpattern.bmp"), "viewpattern.bmp")
        chk.check(got and got[:3] == (32, 32, 8),
                  "viewpattern.bmp: %r, expected 32 x 32 at 8 bits" % ((got or ())[:3],))
        # The logo window's client area is the bitmap's size; a blank picture is a slip.
        got = decode_bmp(chk, read("logo.bmp"), "logo.bmp")
        chk.check(got and got[:3] == (324, 209, 24) and len({p for row in got[3] for p in row}) > 64,
                  "logo.bmp: %r, expected a drawn 324 x 209 picture at 24 bits" % ((got or ())[:3],))
        for name in sorted(os.listdir(out)):
            if name.endswith((".ico", ".cur")):
                shape = check_icon(chk, read(name), name)
                if name in IMAGE_SHAPES:
                    chk.check(shape == IMAGE_SHAPES[name], "%s: %r, expected %r" % (name, shape, IMAGE_SHAPES[name]))
        for name in IMAGE_SHAPES:
            chk.check(os.path.exists(os.path.join(out, name)), "%s was not generated" % name)
        check_avi(chk, read("delete.avi"), "delete.avi")
        avi = read("connect.avi")
        size = check_avi(chk, avi)
        area = check_script(chk, root, out)
        if size and area:
            chk.check(size[0] <= area[0] * DLU_X and size[1] <= area[1] * DLU_Y,
                      "connect.avi (%d x %d) is larger than its control (%d x %d dialog units)" % (size + area))
        if size:
            self_test(chk, avi)
    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
