#!/usr/bin/env python3
"""The shipped forms of the win64 build: Corvid-VERSION-win64.zip (a folder to unpack
anywhere) and Corvid-VERSION-win64.msi (a per-machine installer made with wixl from
corvid.wxs). Both hold the same stripped files and README.txt. The version is the
ProductVersion of resources/corvid.rc unless --version names another (the tests build
an older installer this way).
  make_package.py --bin build/win64/bin --out build/win64/dist [--version V] [--only zip|msi]"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import uuid
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
# What a user needs beside each other; the test programs and the console stand-in stay out.
SHIPPED = ('Corvid.exe', 'cvresen.dll', 'cvresru.dll', 'LLkbd.dll', 'kbdhook.dll', 'Tlyhlpru.chm')
# Fixed for all versions: it is how a newer installer finds the older product to remove.
UPGRADE_CODE = 'e0fc10eb-58ab-481c-83ef-c633e594da46'


def product_version(source=SOURCE):
    with open(os.path.join(source, 'resources', 'corvid.rc'), encoding='ascii') as f:
        m = re.search(r'VALUE\s+"ProductVersion",\s*"(\d+\.\d+\.\d+)"', f.read())
    if not m:
        sys.exit('make_package: no ProductVersion in resources/corvid.rc')
    return m.group(1)


def product_code(version):
    """One product code per version, the same on every build of it."""
    return str(uuid.uuid5(uuid.UUID(UPGRADE_CODE), 'Corvid ' + version)).upper()


def artefact(out, version, kind):
    return os.path.join(out, 'Corvid-%s-win64.%s' % (version, kind))


def stage(bin_dir, folder, version, strip):
    os.makedirs(folder)
    for name in SHIPPED:
        target = os.path.join(folder, name)
        shutil.copy2(os.path.join(bin_dir, name), target)
        if name.endswith(('.exe', '.dll')):
            # strip stamps the header with the time it runs unless told a time: keep the
            # linker's, so the same build always packs the same bytes.
            env = dict(os.environ, SOURCE_DATE_EPOCH=str(link_time(target)))
            subprocess.run([strip, '--strip-all', '--preserve-dates', target], check=True, env=env)
    readme = os.path.join(folder, 'README.txt')
    with open(os.path.join(HERE, 'README.txt'), encoding='ascii') as f:
        text = f.read().replace('@VERSION@', version)
    with open(readme, 'w', encoding='ascii', newline='\r\n') as f:
        f.write(text)
    shutil.copystat(os.path.join(HERE, 'README.txt'), readme)


def link_time(path):
    """TimeDateStamp of a PE file's header."""
    with open(path, 'rb') as f:
        head = f.read(4096)
    pe = struct.unpack_from('<I', head, 0x3C)[0]
    return struct.unpack_from('<I', head, pe + 8)[0]


def make_zip(folder, path, top):
    tmp = path + '.tmp'
    with zipfile.ZipFile(tmp, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(os.listdir(folder)):
            z.write(os.path.join(folder, name), top + '/' + name)
    os.replace(tmp, path)


def make_msi(scratch, top, path, version):
    # wixl looks files up relative to its working folder and refuses absolute names.
    tmp = path + '.tmp'
    subprocess.run(['wixl', '-a', 'x64', '-o', os.path.abspath(tmp),
                    '-D', 'Version=' + version, '-D', 'ProductCode=' + product_code(version),
                    '-D', 'UpgradeCode=' + UPGRADE_CODE, '-D', 'StageDir=' + top, '-D', 'IconFile=corvid.ico',
                    os.path.join(HERE, 'corvid.wxs')], cwd=scratch, check=True)
    os.replace(tmp, path)


def build(bin_dir, out, version=None, only=None, strip='x86_64-w64-mingw32-strip', icon=None):
    """Writes the artefacts into out; returns their paths."""
    version = version or product_version()
    icon = icon or os.path.join(bin_dir, '..', 'resources', 'corvid.ico')
    os.makedirs(out, exist_ok=True)
    made = []
    with tempfile.TemporaryDirectory(dir=out) as scratch:
        top = 'Corvid-' + version
        folder = os.path.join(scratch, top)
        stage(bin_dir, folder, version, strip)
        if only in (None, 'zip'):
            made.append(artefact(out, version, 'zip'))
            make_zip(folder, made[-1], top)
        if only in (None, 'msi'):
            made.append(artefact(out, version, 'msi'))
            shutil.copy(icon, os.path.join(scratch, 'corvid.ico'))
            make_msi(scratch, top, made[-1], version)
    return made


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--bin', required=True, help='bin folder of the win64 build')
    ap.add_argument('--out', required=True)
    ap.add_argument('--version')
    ap.add_argument('--only', choices=('zip', 'msi'))
    ap.add_argument('--strip', default='x86_64-w64-mingw32-strip')
    ap.add_argument('--icon', help='the product icon (default: BIN/../resources/corvid.ico)')
    a = ap.parse_args()
    for path in build(a.bin, a.out, a.version, a.only, a.strip, a.icon):
        print('%s: %d bytes' % (path, os.path.getsize(path)))


if __name__ == '__main__':
    main()
