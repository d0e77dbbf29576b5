#!/usr/bin/env python3
"""Check of the help file Tlyhlpru.chm and its sources.

Usage: help_check.py repo_root [--chm path/to/Tlyhlpru.chm]

help/topics.txt lists every topic the viewer opens ("Page.htm" or "Page.htm#anchor").
Checked here:
  - each listed page exists in help/, is named in the project's [FILES] and holds
    <a name="anchor"> for its anchor; every page and every TOC and index link of
    help/ resolves;
  - every topic literal ("Xxx.htm" or "Xxx.htm#yyy") in the program's sources is
    listed in topics.txt;
  - with --chm: the ITSF directory, walked here by its own reader, holds every page
    of [FILES] with its size, and each page taken out of the archive by chmls
    (which decompresses it) equals its source, so the anchors are in the chm too.
Prints "N passed, M failed"; exit 1 on failure.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

from checker import Checker

PROJECT = "Tlyhlpru.hhp"
TOPIC_LITERAL = re.compile(r'"([A-Za-z0-9_]+\.htm(?:#[A-Za-z0-9_]+)?)"')
ANCHOR = re.compile(r'<a\s+name\s*=\s*"([^"]+)"', re.IGNORECASE)
SITEMAP_LOCAL = re.compile(r'<param\s+name="Local"\s+value="([^"]+)"', re.IGNORECASE)
HREF = re.compile(r'<a\s+href="([^"]+)"', re.IGNORECASE)
SOURCE_DIRS = ("shell", "session", "desktop", "filetransfer", "console", "agentsettings", "ui", "hooks")


def read_topics(path):
    topics = []
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                topics.append(line)
    return topics


def split_topic(topic):
    page, _, anchor = topic.partition("#")
    return page, anchor or None


def read_project(path):
    """Return (options dict, list of [FILES])."""
    options, files, section = {}, [], None
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
            elif section == "OPTIONS" and "=" in line:
                key, _, value = line.partition("=")
                options[key.strip()] = value.strip()
            elif section == "FILES":
                files.append(line)
    return options, files


def anchors_of(data):
    return set(ANCHOR.findall(data.decode("utf-8", "replace")))


def check_link(chk, help_dir, pages, target, where):
    page, anchor = split_topic(target)
    if not chk.check(page in pages, "%s links to %s, which is not a page of the project" % (where, target)):
        return
    if anchor:
        with open(os.path.join(help_dir, page), "rb") as f:
            chk.check(anchor in anchors_of(f.read()), "%s links to %s: no such anchor" % (where, target))


def check_sources(chk, root, topics):
    help_dir = os.path.join(root, "help")
    options, files = read_project(os.path.join(help_dir, PROJECT))
    chk.check(options.get("Compiled file") == "Tlyhlpru.chm", "the project does not compile Tlyhlpru.chm")
    chk.check(len(files) == len(set(f.lower() for f in files)), "[FILES] names a file twice")
    for name in files:
        chk.check(os.path.isfile(os.path.join(help_dir, name)), "[FILES] names %s, which is missing" % name)
    pages = set(f for f in files if f.endswith(".htm"))
    on_disk = set(f for f in os.listdir(help_dir) if f.endswith(".htm"))
    chk.check(on_disk == pages, "pages in help/ and in [FILES] differ: %s" % sorted(on_disk ^ pages))
    chk.check(options.get("Default topic") in pages, "the default topic is not a page")

    chk.check(len(topics) == len(set(topics)), "topics.txt lists a topic twice")
    for topic in topics:
        chk.check(TOPIC_LITERAL.fullmatch('"%s"' % topic) is not None, "topics.txt: malformed topic %r" % topic)
        check_link(chk, help_dir, pages, topic, "topics.txt")

    for page in sorted(pages):
        with open(os.path.join(help_dir, page), "rb") as f:
            data = f.read()
        text = data.decode("utf-8", "replace")
        chk.check(re.search(r"<title>[^<]+</title>", text) is not None, "%s has no title" % page)
        for href in HREF.findall(text):
            if "://" not in href:
                check_link(chk, help_dir, pages, href, page)
    for sitemap in (options.get("Contents file"), options.get("Index file")):
        if not chk.check(sitemap and os.path.isfile(os.path.join(help_dir, sitemap)),
                         "the project's contents or index file is missing"):
            continue
        with open(os.path.join(help_dir, sitemap), encoding="ascii") as f:
            links = SITEMAP_LOCAL.findall(f.read())
        chk.check(len(links) > 0, "%s has no entries" % sitemap)
        for target in links:
            check_link(chk, help_dir, pages, target, sitemap)

    listed = set(topics)
    used = 0
    for top in SOURCE_DIRS:
        base = os.path.join(root, top)
        for folder, _, names in os.walk(base):
            for name in names:
                if not name.endswith((".cpp", ".h")):
                    continue
                with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as f:
                    for literal in TOPIC_LITERAL.findall(f.read()):
                        used += 1
                        chk.check(literal in listed, "%s uses help topic %s, not in help/topics.txt"
                                  % (os.path.relpath(os.path.join(folder, name), root), literal))
    chk.check(used >= len(topics), "the sources name fewer topics than topics.txt lists")
    return files


# ---------------------------------------------------------------------------
# ITSF (compiled HTML Help) directory
# ---------------------------------------------------------------------------
def encint(data, off):
    """Big-endian base-128 integer, high bit = more bytes follow."""
    value = 0
    while True:
        if off >= len(data):
            raise ValueError("ENCINT runs off the chunk")
        b = data[off]
        off += 1
        value = (value << 7) | (b & 0x7F)
        if not b & 0x80:
            return value, off


def chm_directory(data):
    """Return {name: (section, offset, length)} from the PMGL listing chunks."""
    if len(data) < 0x60 or data[:4] != b"ITSF":
        raise ValueError("no ITSF header")
    version, header_len = struct.unpack_from("<II", data, 4)
    if version not in (2, 3):
        raise ValueError("ITSF version %d" % version)
    dir_off, dir_len = struct.unpack_from("<QQ", data, 0x48)
    if dir_off + 0x54 > len(data) or data[dir_off:dir_off + 4] != b"ITSP":
        raise ValueError("no ITSP directory header")
    itsp_len, = struct.unpack_from("<I", data, dir_off + 8)
    chunk_size, = struct.unpack_from("<I", data, dir_off + 0x10)
    first_pmgl, last_pmgl = struct.unpack_from("<iI", data, dir_off + 0x20)
    chunk_count, = struct.unpack_from("<I", data, dir_off + 0x2C)
    chunks = dir_off + itsp_len
    if chunk_size < 20 or chunks + chunk_count * chunk_size > len(data):
        raise ValueError("directory chunks run past the file")
    entries, index, seen = {}, first_pmgl, set()
    while index != -1:
        if not 0 <= index < chunk_count or index in seen:
            raise ValueError("bad PMGL chain at chunk %d" % index)
        seen.add(index)
        chunk = data[chunks + index * chunk_size:chunks + (index + 1) * chunk_size]
        if chunk[:4] != b"PMGL":
            raise ValueError("chunk %d is not a PMGL listing" % index)
        free, = struct.unpack_from("<I", chunk, 4)
        nxt, = struct.unpack_from("<i", chunk, 16)
        off, end = 20, chunk_size - free
        while off < end:
            n, off = encint(chunk, off)
            name = chunk[off:off + n].decode("utf-8")
            off += n
            section, off = encint(chunk, off)
            offset, off = encint(chunk, off)
            length, off = encint(chunk, off)
            entries[name] = (section, offset, length)
        index = nxt
    return entries


def check_chm(chk, root, chm, files):
    help_dir = os.path.join(root, "help")
    if not chk.check(os.path.isfile(chm), "%s was not built" % chm):
        return
    with open(chm, "rb") as f:
        data = f.read()
    try:
        entries = chm_directory(data)
    except (ValueError, struct.error, UnicodeDecodeError) as e:
        chk.check(False, "%s: %s" % (chm, e))
        return
    lower = {name.lower(): name for name in entries}
    for name in files:
        key = "/" + name.lower()
        if not chk.check(key in lower, "%s is not in the compiled help file" % name):
            continue
        size = os.path.getsize(os.path.join(help_dir, name))
        chk.check(entries[lower[key]][2] == size, "%s: %d bytes in the chm, %d in help/"
                  % (name, entries[lower[key]][2], size))
    chk.check("/#SYSTEM" in entries and "/#TOPICS" in entries, "the chm lacks #SYSTEM or #TOPICS")

    chmls = shutil.which("chmls")
    if not chk.check(chmls is not None, "chmls (package fp-utils) is needed to read the pages back"):
        return
    with tempfile.TemporaryDirectory() as tmp:
        for name in files:
            if not name.endswith(".htm") or "/" + name.lower() not in lower:
                continue
            out = os.path.join(tmp, name)
            subprocess.run([chmls, "extract", chm, lower["/" + name.lower()], out],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            if not chk.check(os.path.isfile(out), "%s could not be read back from the chm" % name):
                continue
            with open(out, "rb") as a, open(os.path.join(help_dir, name), "rb") as b:
                chk.check(a.read() == b.read(), "%s in the chm differs from its source" % name)


def encint_bytes(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def self_test(chk):
    """The directory reader against hand-made ENCINTs and a hand-made archive."""
    chk.check(encint(b"\x05", 0) == (5, 1), "self-test: ENCINT 5")
    chk.check(encint(b"\x81\x00", 0) == (128, 2), "self-test: ENCINT 128")
    chk.check(encint(b"\x82\x80\x01", 0) == (0x8001, 3), "self-test: ENCINT 0x8001")
    chunk_size = 64
    listing = b""
    for name, sec, off, ln in ((b"/a.htm", 1, 0, 300), (b"/#SYSTEM", 0, 10, 2)):
        listing += encint_bytes(len(name)) + name + encint_bytes(sec) + encint_bytes(off) + encint_bytes(ln)
    chunk = b"PMGL" + struct.pack("<IIii", chunk_size - 20 - len(listing), 0, -1, -1) + listing
    chunk += b"\0" * (chunk_size - len(chunk))
    itsp = struct.pack("<4sIIIIIIiIiiI", b"ITSP", 1, 0x54, 10, chunk_size, 2, 1, -1, 0, 0, -1, 1)
    itsp += b"\0" * (0x54 - len(itsp))
    header = b"ITSF" + struct.pack("<II", 3, 0x60) + b"\0" * (0x48 - 12)
    header += struct.pack("<QQ", 0x60, len(itsp) + chunk_size) + b"\0" * 8
    good = header + itsp + chunk
    entries = chm_directory(good)
    chk.check(entries == {"/a.htm": (1, 0, 300), "/#SYSTEM": (0, 10, 2)}, "self-test: entries %r" % entries)
    for label, at, patch in (("damaged chunk", 0x60 + 0x54, b"XXXX"), ("chunk count", 0x60 + 0x2C, b"\x09\0\0\0"),
                             ("PMGL chain", 0x60 + 0x54 + 16, b"\0\0\0\0")):
        broken = bytearray(good)
        broken[at:at + len(patch)] = patch
        try:
            chm_directory(bytes(broken))
            chk.check(False, "self-test: %s was accepted" % label)
        except ValueError:
            chk.check(True, "")


def main(argv):
    args = argv[1:]
    chm = None
    if "--chm" in args:
        i = args.index("--chm")
        chm = args[i + 1]
        del args[i:i + 2]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), "..", ".."))
    chk = Checker()
    self_test(chk)
    topics = read_topics(os.path.join(root, "help", "topics.txt"))
    chk.check(len(topics) > 0, "topics.txt lists no topic")
    files = check_sources(chk, root, topics)
    if chm:
        check_chm(chk, root, chm, files)
    print("%d passed, %d failed" % (chk.passed, chk.failed))
    return 1 if chk.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
