"""Smoke run of the Agent simulator over real sockets, the way the end-to-end tests use it:
login and screen info, control commands, partial writes to a slow reader, hostile framing;
the desktop decoded here independently and compared with the dump; input, pointer packets
and screen choice; a delayed download. Usage: agentsim_smoke.py path/to/agentsim; exits
non-zero on a failure."""
import json
import os
import select
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

passed = failed = 0
CLIENT_INFO = struct.pack('<IIIHHIHH', 2, 12, 1, 1, 32, 1, 0x322, 0)
FULL_GRID = struct.pack('<III', 4, 4, 1) + bytes([0, 32, 0, 32])


def check(cond, what):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print('FAIL: ' + what)


def header(t, n, req=1):
    return struct.pack('<III', t, n, req)


def wait_until(pred, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        if pred():
            return True
        time.sleep(0.05)
    return False


def recv_exact(s, n):
    s.settimeout(5)
    buf = b''
    while len(buf) < n:
        chunk = s.recv(n - len(buf))
        if not chunk:
            break
        buf += chunk
    return buf


def recv_packet(s):
    t, n, req = struct.unpack('<III', recv_exact(s, 12))
    return t, req, recv_exact(s, n)


def read_log(path):
    with open(path, encoding='ascii') as f:
        return [json.loads(line) for line in f if line.strip()]


def read_file(path):
    with open(path, 'rb') as f:
        return f.read()


def viewer(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # A small window makes the simulator meet partial writes early.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.settimeout(10)
    s.connect(('127.0.0.1', port))
    return s


class Sim:
    """The simulator on free ports, with its control channel."""

    def __init__(self, exe, log, *options):
        self.proc = subprocess.Popen([exe, '--port', '0', '--control', 'any', '--log', log] + list(options),
                                     stdout=subprocess.PIPE, text=True)
        self.first = json.loads(self.proc.stdout.readline())
        self.port = self.first['port']
        self.s = socket.create_connection(('127.0.0.1', self.first['control']), timeout=10)
        self.f = self.s.makefile('rb')

    def cmd(self, line):
        self.s.sendall(line.encode('ascii') + b'\n')
        return self.f.readline().decode('ascii').rstrip('\n')


class DesktopViewer:
    """Reads the simulator's packets on a thread and keeps the tiles as the viewer would,
    decoded by its own reading of the part formats."""

    def __init__(self, port):
        self.s = viewer(port)
        self.lock = threading.Lock()
        self.types, self.others, self.bad = [], [], []
        self.last = time.time()
        self.geometry(0, 0, 0)
        self.s.settimeout(None)  # close() shuts the socket down to end the thread
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def geometry(self, w, h, depth):
        self.w, self.h, self.depth, self.palette = w, h, depth, None
        self.cols = [w // 32] * 31 + [w - 31 * (w // 32)]
        self.rows = [h // 32] * 31 + [h - 31 * (h // 32)]
        self.tiles = [[bytearray(self.rows[r] * ((depth * self.cols[c] + 7) // 8)) for c in range(32)]
                      for r in range(32)]

    def run(self):
        buf = b''
        while True:
            try:
                chunk = self.s.recv(65536)
            except OSError:
                chunk = b''
            if not chunk:
                return
            buf += chunk
            while len(buf) >= 12 and len(buf) >= 12 + struct.unpack_from('<I', buf, 4)[0]:
                t, n = struct.unpack_from('<II', buf)
                with self.lock:
                    self.packet(t, buf[12:12 + n])
                    self.last = time.time()
                buf = buf[12 + n:]

    def packet(self, t, p):
        self.types.append(t)
        if t == 3:
            w, h, planes, bpp = struct.unpack_from('<HHHH', p)
            self.geometry(w, h, planes * bpp)
        elif t == 9:
            self.palette = [tuple(p[4 * i:4 * i + 3]) for i in range(256)]
        if t not in (5, 7, 8):
            self.others.append((t, p))
            return
        c, r = p[0], p[1]
        tile = self.tiles[r][c]
        data = p[2:] if t == 5 else self.runs(p[2:])
        if len(data) != len(tile):
            self.bad.append((t, c, r, len(data), len(tile)))
        for i in range(min(len(data), len(tile))):
            tile[i] = data[i] if t == 8 else tile[i] ^ data[i]

    def runs(self, rec):
        b, out, i = self.depth // 8, bytearray(), 0
        while i < len(rec):
            if rec[i] == 0:
                n = rec[i + 1] | rec[i + 2] << 8
                out += rec[i + 3:i + 3 + n * b]
                i += 3 + n * b
            else:
                out += rec[i + 2:i + 2 + b] * ((rec[i] & 0x7F) << 8 | rec[i + 1])
                i += 2 + b
        return bytes(out)

    def picture(self):
        """The screen as binary PPM bytes, rows top-down (8 or 16 bits)."""
        with self.lock:
            out = bytearray(b'P6\n%d %d\n255\n' % (self.w, self.h))
            for r in range(32):
                for ty in range(self.rows[r]):
                    for c in range(32):
                        tw = self.cols[c]
                        line = (self.depth * tw + 7) // 8
                        row = self.tiles[r][c][(self.rows[r] - 1 - ty) * line:]  # lowest row first
                        for x in range(tw):
                            if self.depth == 8:
                                out += bytes(self.palette[row[x]])
                            else:
                                v = row[2 * x] | row[2 * x + 1] << 8
                                out += bytes(((v >> s & 31) << 3 | (v >> s & 31) >> 2) for s in (10, 5, 0))
            return bytes(out)

    def others_after(self, n, count):
        wait_until(lambda: len(self.others) >= n + count)
        with self.lock:
            return self.others[n:]

    def quiet(self, seconds=0.3):
        """Waits until nothing has arrived for a while."""
        return wait_until(lambda: time.time() - self.last >= seconds)

    def close(self):
        self.s.shutdown(socket.SHUT_RDWR)
        self.s.close()
        self.thread.join(2)


def session(sim, log):
    check(sim.first['ev'] == 'listening' and sim.port > 0, 'listening line: %r' % sim.first)
    check(sim.cmd('restart') == 'error no viewer', 'command without viewer refused')

    # Garbage envelope: opening fails, the answer is still a clean refusal.
    v = viewer(sim.port)
    v.sendall(header(0, 88) + bytes(range(7, 95)))
    reply = recv_packet(v)
    check(reply == (1, 1, struct.pack('<IHBIi16sII', 1, 791, 2, 10, -2, b'SMOKEBOX', 6, 5)),
          'login refused with status 1, the options in the reply: %r' % (reply,))

    # Client info arriving in single bytes still gets its screen info and palette.
    for b in CLIENT_INFO:
        v.sendall(bytes([b]))
    check(recv_packet(v) == (3, 1, struct.pack('<HHHHHBB', 320, 200, 1, 8, 8, 3, 2)),
          'screen info carries --screens and --current')
    t, req, p = recv_packet(v)
    check((t, len(p), p[:8]) == (9, 1024, bytes([255, 255, 255, 0, 255, 255, 204, 0])), 'custom palette at 8 bits')

    check(sim.cmd('send 49 1 -') == 'ok' and recv_packet(v) == (49, 1, b''), 'send with an empty payload')
    two = header(13, 0) + header(28, 8, 0) + struct.pack('<II', 640, 480)
    check(sim.cmd('raw ' + two.hex()) == 'ok' and recv_exact(v, len(two)) == two, 'raw bytes arrive unchanged')

    # A slow reader: far more than the socket buffers hold goes out in pieces.
    payload = bytes((i * 7) & 0xFF for i in range(32756))
    check(all(sim.cmd('send 17 1 ' + payload.hex()) == 'ok' for _ in range(24)), 'queue full-size packets')
    time.sleep(0.3)
    check(all(recv_packet(v) == (17, 1, payload) for _ in range(24)), 'all full-size packets intact')
    check(sim.cmd('close') == 'ok' and recv_exact(v, 1) == b'', 'close ends the connection')
    v.close()

    # Next connection: a hostile header ends it with a framing error.
    v = viewer(sim.port)
    v.sendall(header(5, 0xFFFFFFF5))
    check(recv_exact(v, 1) == b'', 'oversized packet closes the connection')
    v.close()

    # A short login is refused; the packets behind it are still read.
    v = viewer(sim.port)
    v.sendall(header(0, 10) + bytes(10) + header(47, 4) + struct.pack('<I', 12345))
    check(wait_until(lambda: any(e.get('stamp') == 12345 for e in read_log(log))), 'stamp logged after a short login')
    v.close()


def desktop(sim, log, dump):
    v = DesktopViewer(sim.port)

    def synced():
        return (sim.cmd('wait-synced 5') == 'ok' and v.quiet() and sim.cmd('dump ' + dump) == 'ok' and
                read_file(dump) == v.picture())

    v.s.sendall(CLIENT_INFO)
    time.sleep(0.4)
    with v.lock:
        check(v.types == [3, 9], 'screen info and palette, no parts before the view grid: %r' % v.types)
    v.s.sendall(FULL_GRID)
    check(sim.cmd('pause') == 'ok' and synced(), '8-bit dump equals the picture decoded here')
    check(len(set(read_file(dump)[15::3])) > 3, 'the demo is not one colour')

    # A restart to 16 bits: screen info again after the viewer's client information.
    check(sim.cmd('restart 256x192x16') == 'ok' and wait_until(lambda: 13 in v.types), 'restart sent')
    n = len(v.others)
    v.s.sendall(CLIENT_INFO + FULL_GRID)
    check(synced() and v.others_after(n, 1) == [(3, struct.pack('<HHHHHBB', 256, 192, 1, 16, 16, 3, 2))],
          '16-bit dump equals the picture')
    screen2 = read_file(dump)

    # Input events, checked in the log at the end.
    events = [(512, 0, 0x00C80064), (513, 1, 0x00C80064), (522, 0xFF880000, 0), (1124, 17, 0xC01D0001)]
    v.s.sendall(b''.join(header(10, 12) + struct.pack('<III', *e) for e in events))
    check(sim.cmd('wait-input 4 5') == 'ok', 'input events arrived')

    # Pointer and light packets, in order and byte for byte.
    n = len(v.others)
    for line in ('lights 1 0 7', 'cursor-std 4294967295', 'cursor-pos 10 20', 'cursor-shape 0 0 32 64 box'):
        check(sim.cmd(line) == 'ok', line)
    got = v.others_after(n, 4)
    check(got[:3] == [(11, bytes([1, 0, 7])), (14, b'\xff' * 4), (28, struct.pack('<II', 10, 20))] and
          [(t, len(p)) for t, p in got[3:]] == [(15, 261)], 'pointer packets: %r' % got[:3])

    # Screen 3 chosen: the picture changes and reaches the viewer in full; 4 is too many.
    v.s.sendall(header(58, 16, 0) + bytes([3]) + bytes(15))
    check(wait_until(lambda: any(e['ev'] == 'screen' and e['current'] == 3 for e in read_log(log))), 'screen 3 taken')
    check(synced() and read_file(dump) != screen2, 'screen 3 served and looks different from screen 2')
    v.s.sendall(header(58, 16, 0) + bytes([4]) + bytes(15))
    check(wait_until(lambda: any('screen 4 of 3' in e.get('what', '') for e in read_log(log))), 'screen 4 refused')
    v.close()
    check(not v.bad, 'every part covers its tile exactly: %r' % v.bad[:4])


def copying(exe, work):
    """A download through the socket loop: a delay holds the packet without holding the
    control channel, wait-files counts the file, a viewer gone mid-file is logged."""
    folder, log = os.path.join(work, 'c'), os.path.join(work, 'copy.jsonl')
    os.mkdir(folder)
    with open(os.path.join(folder, 'big.bin'), 'wb') as f:
        f.write(bytes(range(256)) * 300)
    sim = Sim(exe, log, '--files', folder)
    request = header(46, 554) + struct.pack('<II', 1, 0) + b'C:\\'.ljust(261, b'\0') + b'big.bin'.ljust(261, b'\0')
    request += bytes(24)
    go_on = header(40, 20) + bytes(20)
    try:
        v = viewer(sim.port)
        check(sim.cmd('ft-delay 2000') == 'ok', 'ft-delay taken')
        start = time.time()
        v.sendall(request)
        check(sim.cmd('ft-split 5') == 'ok', 'control answers while a packet is held')
        check(not select.select([v], [], [], 0)[0], 'nothing sent before the delay ran out')
        t, _, p = recv_packet(v)
        check(t == 43 and time.time() - start >= 2.0, 'the begin packet after the delay: %r' % t)
        check(sim.cmd('ft-delay 0') == 'ok', 'delay off')
        types = []
        while t != 42:
            v.sendall(go_on)
            t, _, p = recv_packet(v)
            types.append(t)
        check(types == [44, 44, 44, 42] and struct.unpack('<II', p) == (0, 1), 'chunks then the item ack: %r' % types)
        check(sim.cmd('wait-files 1 5') == 'ok', 'wait-files counts the file')
        v.sendall(request)
        check(recv_packet(v)[0] == 43, 'a second download begins')
        v.close()
        check(wait_until(lambda: any(e['ev'] == 'ft_download_stopped' for e in read_log(log))),
              'a viewer gone mid-file is logged')
        check(sim.cmd('quit') == 'ok' and sim.proc.wait(timeout=5) == 0, 'copy simulator exits cleanly')
    finally:
        if sim.proc.poll() is None:
            sim.proc.kill()
            sim.proc.wait()
    ev = read_log(log)
    sent = [e for e in ev if e['ev'] == 'ft_file_sent']
    check(len(sent) == 1 and sent[0]['size'] == 76800 and sent[0]['packets'] == 4, 'one file line: %r' % sent)
    check(not any(e['ev'] == 'sent' and e['type'] in (43, 44) for e in ev), 'no log line per chunk')


def main():
    work = tempfile.mkdtemp(prefix='agentsim-smoke-')
    log, dump = os.path.join(work, 'sim.jsonl'), os.path.join(work, 'dump.ppm')
    sim = Sim(sys.argv[1], log, '--computer', 'SMOKEBOX', '--rights', '6', '--slider', '5', '--os-minor', '-2',
              '--screen', '320x200x8', '--palette', 'custom', '--fps', '20', '--screens', '3', '--current', '2',
              '--sndbuf', '4096')
    try:
        session(sim, log)
        desktop(sim, log, dump)
        check(sim.cmd('quit') == 'ok' and sim.proc.wait(timeout=5) == 0, 'simulator exits cleanly')
        copying(sys.argv[1], work)
    finally:
        if sim.proc.poll() is None:
            sim.proc.kill()
            sim.proc.wait()

    ev = read_log(log)
    logins = [e for e in ev if e['ev'] == 'packet' and e['type'] == 0]
    check(len(logins) == 2 and logins[0]['open_ok'] is False and logins[0]['password'] is None and
          logins[0]['iv'] == bytes(range(7, 15)).hex(), 'garbage login logged: %r' % logins[:1])
    check(any(e['ev'] == 'error' and 'dwDataLen 10' in e['what'] for e in ev), 'short login error event')
    check(not any(e['ev'] == 'sent' and e['type'] in (5, 7, 8) for e in ev), 'no log line per part')
    inputs = [e for e in ev if e['ev'] == 'packet' and e['name'] == 'PKT_INPUT_EVENT']
    check([e['input'] for e in inputs] == ['move', 'ldown', 'wheel', 'key'], 'input names: %r' % inputs)
    if len(inputs) == 4:
        k = inputs[3]
        check((inputs[1]['x'], inputs[1]['y'], inputs[1]['wparam'], inputs[2]['delta']) == (100, 200, 1, -120) and
              (k['vk'], k['scan'], k['up'], k['previous'], k['extended'], k['flags']) ==
              (17, 0x1D, True, True, False, '0xc01d0001'), 'input fields: %r' % inputs[1:4])
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
