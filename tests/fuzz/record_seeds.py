"""Records seed corpora for the fuzz entries from the Agent simulator: logs in as a viewer
would, has the simulator serve its desktop at every depth and send every pointer and
keyboard packet and clipboard texts of 0, 1, 8192, 8193 and 20000 bytes, and writes each
packet received (header and payload) as a seed of the entry that parses it. The decode
seeds carry the screen in front of the packet, the framer seeds a stretch of the raw
stream behind a cut-pattern byte, the clipboard seeds all the chunks of one text (and
again in the entry's compact form, heads only), the agentsettings seeds the whole answer
to PKT_GET_AGENT_SETTINGS at Agent versions 783, 786, 787 and 791 behind the entry's
version byte, and each of its packets on its own; the console seeds each console packet
of the simulator (with the echo of typed keys) on its own and all of them as one stream.
Usage: record_seeds.py AGENTSIM OUTDIR [ENVELOPE_SEEDS]   (e.g. tests/fuzz/corpus)"""
import json
import os
import shutil
import socket
import struct
import subprocess
import sys
import threading
import time

CLIENT_INFO = struct.pack('<IIIHHIHH', 2, 12, 1, 1, 32, 1, 0x322, 0)
FULL_GRID = struct.pack('<III', 4, 4, 1) + bytes([0, 32, 0, 32])
GARBAGE_LOGIN = struct.pack('<III', 0, 88, 1) + bytes(range(7, 95))
DEPTH_INDEX = {1: 0, 4: 1, 8: 2, 16: 3}
PART_NAMES = {5: 'xor', 7: 'xorrle', 8: 'rle'}
SCREENS = ['320x200x8', '256x192x16', '200x150x4', '330x250x1', '100x75x16', '1024x768x8', '40x36x4',
           '1920x1080x16']
POINTER_COMMANDS = ['lights 1 0 2', 'lights 255 255 255', 'cursor-std 0', 'cursor-std 14', 'cursor-std 15',
                    'cursor-std 4294967295', 'cursor-shape 0 0 32 64 arrow', 'cursor-shape 31 31 32 64 box',
                    'cursor-shape 1 1 16 32 box', 'cursor-shape 0 0 255 255', 'cursor-shape 0 0 17 2',
                    'cursor-pos 0 0', 'cursor-pos 1023 767', 'cursor-pos 4294967295 65536']
CLIP_COMMANDS = ['clip -', 'clip-random 1 1', 'clip-random 8192 2', 'clip-random 8193 3', 'clip-random 20000 4']
PARTS_PER_SCREEN = 2  # of each part type, away from the edges


class Sim:
    def __init__(self, exe, *options):
        self.proc = subprocess.Popen([exe, '--port', '0', '--control', 'any'] + list(options),
                                     stdout=subprocess.PIPE, text=True)
        first = json.loads(self.proc.stdout.readline())
        self.port = first['port']
        self.s = socket.create_connection(('127.0.0.1', first['control']), timeout=10)
        self.f = self.s.makefile('rb')

    def cmd(self, line):
        self.s.sendall(line.encode('ascii') + b'\n')
        answer = self.f.readline().decode('ascii').rstrip('\n')
        if answer != 'ok':
            raise RuntimeError('%s: %s' % (line, answer))

    def stop(self):
        self.proc.kill()
        self.proc.wait()


class Viewer:
    """Keeps every packet and the raw stream, read on a thread."""

    def __init__(self, port):
        self.s = socket.create_connection(('127.0.0.1', port), timeout=10)
        self.s.settimeout(None)
        self.lock = threading.Lock()
        self.raw = bytearray()
        self.packets = []  # (header + payload bytes, screen as (w, h, depth) or None)
        self.screen = None
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        buf = b''
        while True:
            try:
                chunk = self.s.recv(65536)
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            with self.lock:
                self.raw += chunk
                while len(buf) >= 12 and len(buf) >= 12 + struct.unpack_from('<I', buf, 4)[0]:
                    t, n = struct.unpack_from('<II', buf)
                    if t == 3:
                        w, h, planes, bpp = struct.unpack_from('<HHHH', buf, 12)
                        self.screen = (w, h, planes * bpp)
                    self.packets.append((buf[:12 + n], self.screen))
                    buf = buf[12 + n:]

    def wait_count(self, n, timeout=5.0):
        end = time.time() + timeout
        while time.time() < end:
            with self.lock:
                if len(self.packets) >= n:
                    return
            time.sleep(0.02)
        raise RuntimeError('only %d of %d packets arrived' % (len(self.packets), n))

    def send(self, b):
        self.s.sendall(b)


def write(outdir, entry, name, data):
    folder = os.path.join(outdir, entry)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def record(exe, outdir):
    sim = Sim(exe, '--screen', SCREENS[0], '--palette', 'custom', '--fps', '10', '--computer', 'FIFTEEN-CHARS-X',
              '--rights', '14', '--slider', '7', '--os-minor', '-2', '--screens', '3', '--current', '2')
    try:
        v = Viewer(sim.port)
        v.send(GARBAGE_LOGIN)
        v.wait_count(1)
        for i, screen in enumerate(SCREENS):
            if i:
                sim.cmd('restart ' + screen)
                time.sleep(0.2)
            v.send(CLIENT_INFO + FULL_GRID)
            time.sleep(1.0)
        sim.cmd('pause')
        for line in POINTER_COMMANDS:
            sim.cmd(line)
        time.sleep(0.5)
        with v.lock:
            framer_end = len(v.raw)  # the framer seeds end before the clipboard texts
        for line in CLIP_COMMANDS:
            sim.cmd(line)
        time.sleep(0.5)
    finally:
        sim.stop()
    with v.lock:
        packets, raw = list(v.packets), bytes(v.raw[:framer_end])

    kept = {}
    texts = []  # the chunks of each clipboard text, in order
    for packet, screen in packets:
        t = struct.unpack_from('<I', packet)[0]
        if t == 1:
            write(outdir, 'login', 'reply-refused', packet)
        elif t in (3, 9):
            write(outdir, 'screeninfo', '%s-%dx%dx%d' % ('info' if t == 3 else 'palette', *screen), packet)
        elif t == 17:
            total, index = struct.unpack_from('<II', packet, 12)
            if index == 0:
                texts.append([total, b'', b''])
            texts[-1][1] += packet
            # The entry's compact form: dwRequired 0 and the head alone, the bytes made up.
            texts[-1][2] += packet[:8] + struct.pack('<I', 0) + packet[12:28]
        elif t in (11, 14, 15, 28):
            n = kept[t] = kept.get(t, 0) + 1
            write(outdir, 'pointer', '%d-%d' % (t, n), packet)
        elif t in PART_NAMES:
            w, h, depth = screen
            # The first parts of each kind, and one for the right or top edge and the corner.
            where = 'corner' if packet[12] == packet[13] == 31 else 'edge' if 31 in packet[12:14] else 'inner'
            key = (t, screen, where)
            n = kept[key] = kept.get(key, 0) + 1
            if n > (PARTS_PER_SCREEN if where == 'inner' else 1):
                continue
            prefix = bytes([DEPTH_INDEX[depth]]) + struct.pack('<HH', w - 32, h - 32)
            write(outdir, 'decode', '%s-%dx%dx%d-c%dr%d' % (PART_NAMES[t], w, h, depth, packet[12], packet[13]),
                  prefix + packet)
    for total, chunks, heads in texts:
        write(outdir, 'clipboard', 'text-%d' % total, chunks)
        write(outdir, 'clipboard', 'heads-%d' % total, heads)
    # The framer: stretches of the stream as it came, each with another way of cutting it.
    for cut, at in enumerate((0, len(raw) // 3, len(raw) // 2, len(raw) - 4000)):
        write(outdir, 'framer', 'stream-%d' % cut, bytes([cut]) + raw[max(at, 0):max(at, 0) + 8191])
    write(outdir, 'framer', 'oversize', bytes([5]) + raw[:100] + struct.pack('<III', 5, 0xFFFFFFF5, 1))


def record_settings(exe, outdir):
    """The simulator's settings at each version gate; the entry reads version 780 + byte % 16."""
    for version in (783, 786, 787, 791):
        sim = Sim(exe, '--agent-version', str(version))
        try:
            v = Viewer(sim.port)
            v.send(struct.pack('<III', 25, 0, 1))
            end = time.time() + 10
            while time.time() < end:
                with v.lock:
                    done = any(p[:4] == struct.pack('<I', 27) and p[12:16] == struct.pack('<I', 1)
                               for p, _ in v.packets)
                if done:
                    break
                time.sleep(0.02)
            else:
                raise RuntimeError('no last communities packet at version %d' % version)
        finally:
            sim.stop()
        with v.lock:
            packets = [p for p, _ in v.packets]
        write(outdir, 'agentsettings', 'answer-%d' % version, bytes([version - 780]) + b''.join(packets))
        if version == 791:
            for i, p in enumerate(packets):
                write(outdir, 'agentsettings', 'packet-%d-type%d' % (i, struct.unpack_from('<I', p)[0]),
                      bytes([version - 780]) + p)


CONSOLE_COMMANDS = ['console-open 80 25 7', 'console-line 7 a line of text', 'console-cursor 10 3 50 1',
                    'console-cursor 10 3 0 1', 'console-open 80 99 1f', 'console-open 1 1 7',
                    'console-open 7920 1 4f', 'console-open 40 10 2e', 'console-line 9 last row', 'console-close']


def record_console(exe, outdir):
    """The console packets of the simulator, each on its own and all as one stream, with
    the echo of a few typed keys (key events sent as a viewer would)."""
    sim = Sim(exe)
    try:
        v = Viewer(sim.port)
        for line in CONSOLE_COMMANDS[:4]:
            sim.cmd(line)
        for vk, scan in ((0x41, 0x1E), (0x0D, 0x1C)):
            for up in (0, 1):
                flags = 1 | scan << 16 | (0x80000000 if up else 0)
                v.send(struct.pack('<IIIIII', 10, 12, 1, 1124, vk, flags))
        time.sleep(0.5)
        for line in CONSOLE_COMMANDS[4:]:
            sim.cmd(line)
        v.wait_count(len(CONSOLE_COMMANDS) + 4)
        time.sleep(0.3)
    finally:
        sim.stop()
    with v.lock:
        packets = [p for p, _ in v.packets if struct.unpack_from('<I', p)[0] in (21, 22, 23, 24)]
    for i, p in enumerate(packets):
        write(outdir, 'console', 'packet-%02d-type%d' % (i, struct.unpack_from('<I', p)[0]), p)
    write(outdir, 'console', 'stream', b''.join(packets))


def ft_packet(t, payload):
    return struct.pack('<III', t, len(payload), 1) + payload


def ft_path(text):
    return text.encode('ascii').ljust(261, b'\0')


def record_files(exe, outdir):
    """The file service's answers, each packet a seed, and a listing's packets together."""
    import tempfile
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp, 'c')
        os.makedirs(os.path.join(root, 'tree', 'sub'))
        for i in range(9):
            with open(os.path.join(root, 'file %d.txt' % i), 'w') as f:
                f.write('x' * i)
        for name in ('tree/a.txt', 'tree/sub/b.txt', 'readonly.txt'):
            with open(os.path.join(root, name), 'w') as f:
                f.write('data')
        sim = Sim(exe, '--files', root, '--ft-split', '4')
        try:
            sim.cmd('ft-attr 1 C:\\readonly.txt')
            v = Viewer(sim.port)
            requests = [
                ft_packet(29, struct.pack('<I', 0xFFFFFFFF) + ft_path('')),
                ft_packet(29, struct.pack('<I', 2) + ft_path('C:\\tree')),
                ft_packet(32, struct.pack('<I', 3) + ft_path('C:\\tree\\a.txt')),
                ft_packet(34, ft_path('C:\\file 1.txt') + ft_path('C:\\renamed.txt') + struct.pack('<I', 0)),
                ft_packet(34, ft_path('C:\\none') + ft_path('C:\\x') + struct.pack('<I', 0)),
                ft_packet(36, ft_path('C:\\new folder')),
                ft_packet(36, ft_path('C:\\..\\escape')),
                ft_packet(38, struct.pack('<IIII', 0, 1, 1, 1) + ft_path('C:\\readonly.txt')),
                ft_packet(40, struct.pack('<IIIII', 1, 0, 0, 0, 0)),
            ]
            for r in requests:
                v.send(r)
                time.sleep(0.2)
            sim.cmd('ft-error 3')
            v.send(ft_packet(38, struct.pack('<IIII', 1, 1, 1, 16) + ft_path('C:\\tree')))
            time.sleep(0.2)
            v.send(ft_packet(40, struct.pack('<IIIII', 0, 0, 0, 0, 1)))
            time.sleep(0.3)
        finally:
            sim.stop()
        with v.lock:
            packets = [p for p, _ in v.packets]
    listing = b''
    for i, p in enumerate(packets):
        t = struct.unpack_from('<I', p)[0]
        write(outdir, 'filetransfer', 'packet-%02d-type%d' % (i, t), p)
        if t in (30, 31):
            listing += p
    write(outdir, 'filetransfer', 'listing-stream', listing)
    # A download's shapes: a folder, a file of 0 bytes (head and the padding block), a full
    # first chunk with a data packet behind it, an abort.
    def begin(directory, path, n, last):
        return ft_packet(43, struct.pack('<I', directory) + ft_path(path) +
                         struct.pack('<IQQIII', 0x20, 1, 2, 1, last, n) + bytes(range(256)) * (n // 256) +
                         bytes(n % 256))
    def data(abort, last, n):
        return ft_packet(44, struct.pack('<III', abort, last, n) + bytes(n))
    write(outdir, 'filetransfer', 'download-folder', begin(1, 'sub\\dir', 0, 1))
    write(outdir, 'filetransfer', 'download-empty', begin(0, 'empty.txt', 80, 1))
    write(outdir, 'filetransfer', 'download-chunks', begin(0, 'sub\\big.bin', 72 + 24576, 0) + data(0, 1, 8))
    write(outdir, 'filetransfer', 'download-abort', data(1, 1, 0))


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__)
        return 2
    exe, outdir = sys.argv[1], sys.argv[2]
    # Every entry but the envelope's, whose seeds envelope_seeds seals.
    here = os.path.dirname(os.path.abspath(__file__))
    for entry in sorted(f[:-len('_fuzz.cpp')] for f in os.listdir(here) if f.endswith('_fuzz.cpp')):
        if entry != 'envelope':
            shutil.rmtree(os.path.join(outdir, entry), ignore_errors=True)
    record(exe, outdir)
    record_settings(exe, outdir)
    record_files(exe, outdir)
    record_console(exe, outdir)
    # A second Agent with the defaults gives a plainer login reply.
    sim = Sim(exe)
    try:
        v = Viewer(sim.port)
        v.send(GARBAGE_LOGIN)
        v.wait_count(1)
        with v.lock:
            write(outdir, 'login', 'reply-defaults', v.packets[0][0])
    finally:
        sim.stop()
    if len(sys.argv) == 4:
        shutil.rmtree(os.path.join(outdir, 'envelope'), ignore_errors=True)
        os.makedirs(os.path.join(outdir, 'envelope'))
        subprocess.run([sys.argv[3], os.path.join(outdir, 'envelope')], check=True)
    for entry in sorted(os.listdir(outdir)):
        print('%-10s %3d seeds' % (entry, len(os.listdir(os.path.join(outdir, entry)))))
    return 0


if __name__ == '__main__':
    sys.exit(main())
