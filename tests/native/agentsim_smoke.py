"""Smoke run of the Agent simulator over real sockets: login refusal, screen info,
control commands, partial writes to a slow reader, hostile framing and the JSON log;
then the desktop, decoded here independently and compared with the simulator's dump.
    python3 agentsim_smoke.py path/to/agentsim
Prints "N passed, M failed"; exits non-zero on any failure."""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

passed = 0
failed = 0


def check(cond, what):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print('FAIL: ' + what)


def header(t, n, req):
    return struct.pack('<III', t, n, req)


def recv_exact(s, n, timeout=5.0):
    s.settimeout(timeout)
    buf = b''
    while len(buf) < n:
        chunk = s.recv(n - len(buf))
        if not chunk:
            break
        buf += chunk
    return buf


def recv_packet(s):
    h = recv_exact(s, 12)
    if len(h) < 12:
        return None
    t, n, req = struct.unpack('<III', h)
    return t, req, recv_exact(s, n)


class Control:
    def __init__(self, port):
        self.s = socket.create_connection(('127.0.0.1', port), timeout=10)
        self.f = self.s.makefile('rb')

    def cmd(self, line):
        self.s.sendall(line.encode('ascii') + b'\n')
        return self.f.readline().decode('ascii').rstrip('\n')


def read_log(path):
    with open(path, encoding='ascii') as f:
        return [json.loads(line) for line in f if line.strip()]


def wait_log(path, pred, timeout=5.0):
    end = time.time() + timeout
    while time.time() < end:
        for ev in read_log(path):
            if pred(ev):
                return ev
        time.sleep(0.05)
    return None


def viewer(port):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    # A small window makes the simulator meet partial writes early.
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    s.settimeout(10)
    s.connect(('127.0.0.1', port))
    return s


class DesktopViewer:
    """Reads the simulator's packets on a thread and keeps the tiles as the viewer would,
    decoded by its own reading of the part formats."""

    def __init__(self, port):
        self.s = viewer(port)
        self.lock = threading.Lock()
        self.types = []       # every packet type received, in order
        self.parts = []       # (type, column, row) of every screen part
        self.bad = []         # parts whose data does not cover their tile exactly
        self.last = time.time()
        self.received = 0     # payload bytes of screen parts
        self.geometry(0, 0, 0)
        self.stop = False
        self.hold = False     # stop reading, as a slow viewer would
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def geometry(self, w, h, depth):
        self.w, self.h, self.depth = w, h, depth
        self.palette = None
        tw, th = w // 32, h // 32
        self.cols = [tw] * 31 + [w - 31 * tw]
        self.rows = [th] * 31 + [h - 31 * th]
        self.tiles = [[bytearray(self.rows[r] * ((depth * self.cols[c] + 7) // 8)) for c in range(32)]
                      for r in range(32)]

    def run(self):
        self.s.settimeout(0.2)
        buf = b''
        while not self.stop:
            if self.hold:
                time.sleep(0.05)
                continue
            try:
                chunk = self.s.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            if not chunk:
                return
            buf += chunk
            while len(buf) >= 12:
                t, n, _ = struct.unpack_from('<III', buf, 0)
                if len(buf) < 12 + n:
                    break
                with self.lock:
                    self.packet(t, buf[12:12 + n])
                    self.last = time.time()
                buf = buf[12 + n:]

    def packet(self, t, p):
        self.types.append(t)
        if t == 3:
            w, h, planes, bpp = struct.unpack_from('<HHHH', p, 0)
            self.geometry(w, h, planes * bpp)
        elif t == 9:
            self.palette = [tuple(p[4 * i:4 * i + 3]) for i in range(256)]
        elif t in (5, 7, 8):
            c, r = p[0], p[1]
            self.parts.append((t, c, r))
            self.received += 12 + len(p)
            tile = self.tiles[r][c]
            data = p[2:] if t == 5 else self.runs(p[2:])
            if len(data) != len(tile):
                self.bad.append((t, c, r, len(data), len(tile)))
            for i in range(min(len(data), len(tile))):
                tile[i] = data[i] if t == 8 else tile[i] ^ data[i]

    def runs(self, rec):
        b = self.depth // 8
        out = bytearray()
        i = 0
        while i < len(rec):
            if rec[i] == 0:
                n = rec[i + 1] | rec[i + 2] << 8
                out += rec[i + 3:i + 3 + n * b]
                i += 3 + n * b
            else:
                n = (rec[i] & 0x7F) << 8 | rec[i + 1]
                out += rec[i + 2:i + 2 + b] * n
                i += 2 + b
        return bytes(out)

    def picture(self):
        """The screen as binary PPM bytes, rows top-down."""
        with self.lock:
            out = bytearray(b'P6\n%d %d\n255\n' % (self.w, self.h))
            for r in range(32):
                for ty in range(self.rows[r]):
                    for c in range(32):
                        tile, tw = self.tiles[r][c], self.cols[c]
                        line = (self.depth * tw + 7) // 8
                        row = tile[(self.rows[r] - 1 - ty) * line:]  # lowest row first
                        for x in range(tw):
                            if self.depth == 8:
                                out += bytes(self.palette[row[x]])
                            else:
                                v = row[2 * x] | row[2 * x + 1] << 8
                                out += bytes(((v >> s & 31) << 3 | (v >> s & 31) >> 2) for s in (10, 5, 0))
            return bytes(out)

    def send(self, t, payload):
        self.s.sendall(header(t, len(payload), 1) + payload)

    def quiet(self, seconds=0.3, timeout=5.0):
        """Waits until nothing has arrived for a while."""
        end = time.time() + timeout
        while time.time() < end:
            with self.lock:
                if time.time() - self.last >= seconds:
                    return True
            time.sleep(0.05)
        return False

    def close(self):
        self.stop = True
        self.s.close()
        self.thread.join(2)


def read_file(path):
    with open(path, 'rb') as f:
        return f.read()


def desktop(exe, work):
    log = os.path.join(work, 'desk.jsonl')
    sim = subprocess.Popen([exe, '--port', '0', '--control', 'any', '--log', log, '--screen', '320x200x8',
                            '--palette', 'custom', '--fps', '20'],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        first = json.loads(sim.stdout.readline())
        ctl = Control(first['control'])
        v = DesktopViewer(first['port'])
        client_info = struct.pack('<HHIHH', 1, 32, 0, 0x322, 0)
        v.send(2, client_info)
        time.sleep(0.4)
        with v.lock:
            check(v.types == [3, 9] and v.palette[0] == (255, 255, 255) and v.palette[1] == (255, 255, 204),
                  'screen info and the custom palette, no parts before the view grid: %r' % v.types)
        check(ctl.cmd('sent-tiles') == 'ok 0', 'nothing sent before the view grid')

        v.send(4, bytes([0, 32, 0, 32]))
        check(ctl.cmd('pause') == 'ok', 'pause')
        check(ctl.cmd('wait-synced 5') == 'ok', 'wait-synced after the view grid')
        check(v.quiet(), 'the stream settles once paused')
        dump, frame = os.path.join(work, 'dump.ppm'), os.path.join(work, 'frame.ppm')
        check(ctl.cmd('dump ' + dump) == 'ok' and ctl.cmd('frame ' + frame) == 'ok', 'dump and frame')
        pic = v.picture()
        check(read_file(dump) == pic, '8-bit dump equals the picture decoded here')
        check(read_file(frame) == pic, 'the frame is what the viewer holds once synced')
        check(len(set(pic[15::3])) > 3, 'the demo is not one colour')
        with v.lock:
            check(len(v.parts) == len({(c, r) for _, c, r in v.parts}), 'one part per tile while paused')
            check(any(t == 8 for t, _, _ in v.parts), 'first parts replace tiles')

        # Minimised: nothing flows; a small range: only its tiles.
        v.send(6, bytes([0, 0, 0, 0]))
        ctl.cmd('sent-tiles')
        check(ctl.cmd('resume') == 'ok', 'resume')
        time.sleep(0.5)
        check(ctl.cmd('sent-tiles') == 'ok 0', 'no parts for a minimised viewer')
        with v.lock:
            before = len(v.parts)
        v.send(6, bytes([28, 4, 28, 4]))
        time.sleep(0.5)
        with v.lock:
            late = v.parts[before:]
        check(late and all(c >= 28 and r >= 28 for _, c, r in late), 'only the visible range: %r' % late[:8])
        check(any(t == 7 for t, _, _ in late), 'changes go as run-length deltas')
        v.send(6, bytes([0, 32, 0, 32]))
        ctl.cmd('pause')
        check(ctl.cmd('wait-synced 5') == 'ok' and v.quiet(), 'synced again on the whole screen')
        check(ctl.cmd('dump ' + dump) == 'ok' and read_file(dump) == v.picture(), 'stale tiles caught up')

        # A restart to 16 bits: screen info again after the viewer's client information.
        check(ctl.cmd('restart 64x32x16') == 'ok', 'restart with a new screen')
        end = time.time() + 5
        while 13 not in v.types and time.time() < end:
            time.sleep(0.05)
        v.send(2, client_info)
        v.send(4, bytes([0, 32, 0, 32]))
        check(ctl.cmd('wait-synced 5') == 'ok' and v.quiet(), 'synced at 16 bits')
        check(v.w == 64 and v.depth == 16 and v.types[-1] in (7, 8), 'new geometry served')
        check(ctl.cmd('dump ' + dump) == 'ok' and read_file(dump) == v.picture(), '16-bit dump equals the picture')
        check(ctl.cmd('dump /nonexistent/dir/x.ppm').startswith('error cannot write'), 'unwritable dump refused')
        v.close()
        check(not v.bad, 'every part covers its tile exactly: %r' % v.bad[:4])
        check(ctl.cmd('quit') == 'ok' and sim.wait(timeout=5) == 0, 'desktop run ends cleanly')

        ev = read_log(log)
        grids = [e for e in ev if e['ev'] == 'packet' and e['type'] in (4, 6)]
        check(grids and grids[0]['name'] == 'PKT_VIEW_GRID' and
              (grids[0]['first_column'], grids[0]['column_count'], grids[0]['first_row'], grids[0]['row_count'])
              == (0, 32, 0, 32), 'view grid logged with its fields')
        check(not any(e['ev'] == 'sent' and e['type'] in (5, 7, 8) for e in ev), 'no line per part')
        summaries = [e for e in ev if e['ev'] == 'parts']
        check(summaries and all(e['count'] == sum(e['by_type'].values()) for e in summaries),
              'per-second part summaries: %r' % summaries[:2])
        check(any(e['ev'] == 'rate' and e['frames'] > 0 for e in ev), 'rate lines count frames')
        check(any(e['ev'] == 'desktop' and e['depth'] == 16 and e['served'] for e in ev), 'desktop event')
    finally:
        if sim.poll() is None:
            sim.kill()
            sim.wait()

    # Flood: full-screen frames as fast as they are read, counted each second. A viewer
    # that stops reading gets the newest frame afterwards, not a backlog.
    log = os.path.join(work, 'flood.jsonl')
    sim = subprocess.Popen([exe, '--port', '0', '--control', 'any', '--log', log, '--screen', '128x64x16',
                            '--flood', '--once', '--sndbuf', '4096'],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        first = json.loads(sim.stdout.readline())
        ctl = Control(first['control'])
        v = DesktopViewer(first['port'])
        v.hold = True
        v.send(2, struct.pack('<HHIHH', 1, 32, 0, 0x322, 0))
        v.send(4, bytes([0, 32, 0, 32]))
        time.sleep(1.0)
        check(ctl.cmd('pause') == 'ok', 'pause the flood')
        v.hold = False
        check(ctl.cmd('wait-synced 5') == 'ok' and v.quiet(), 'a held viewer catches up')
        frame = 128 * 64 * 2 + 1024 * 14
        check(0 < v.received < 64 * 1024 + 4 * frame, 'frames skipped, not queued: %d bytes' % v.received)
        dump = os.path.join(work, 'flood.ppm')
        check(ctl.cmd('dump ' + dump) == 'ok' and read_file(dump) == v.picture(), 'flood dump equals the picture')
        check(ctl.cmd('resume') == 'ok', 'resume the flood')
        rate = wait_log(log, lambda e: e['ev'] == 'rate' and e['frames'] >= 2, timeout=5)
        check(rate is not None and rate['bytes'] > 2 * 128 * 64 * 2, 'flood rate: %r' % (rate,))
        check(not v.bad, 'every flood part covers its tile')
        v.close()
        check(sim.wait(timeout=5) == 0, 'flood run ends with the connection')
    finally:
        if sim.poll() is None:
            sim.kill()
            sim.wait()


def main():
    exe = sys.argv[1]
    work = tempfile.mkdtemp(prefix='agentsim-smoke-')
    log = os.path.join(work, 'sim.jsonl')
    sim = subprocess.Popen([exe, '--port', '0', '--control', 'any', '--log', log,
                            '--computer', 'SMOKEBOX', '--rights', '6', '--slider', '5',
                            '--os-minor', '-2', '--screen', '800x600x8', '--screens', '3',
                            '--sndbuf', '4096'],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        first = json.loads(sim.stdout.readline())
        check(first['ev'] == 'listening' and first['port'] > 0 and first['control'] > 0,
              'listening line reports both ports: %r' % first)
        port, cport = first['port'], first['control']
        ctl = Control(cport)

        check(ctl.cmd('restart') == 'error no viewer', 'command without viewer refused')

        # Garbage envelope: opening fails, the answer is still a clean refusal.
        v = viewer(port)
        v.sendall(header(0, 88, 1) + bytes(range(7, 95)))
        t, req, p = recv_packet(v)
        check((t, req, len(p)) == (1, 1, 39), 'login reply header')
        status, ver, plat, major, minor = struct.unpack_from('<IHBIi', p, 0)
        check((status, ver, plat, major, minor) == (1, 791, 2, 10, -2), 'login reply fields')
        check(p[15:31] == b'SMOKEBOX' + bytes(8), 'computer name field zero-filled')
        check(struct.unpack_from('<II', p, 31) == (6, 5), 'rights and slider')
        check(ctl.cmd('wait-login 5') == 'ok', 'wait-login sees the answered login')
        check(ctl.cmd('wait-login 0') == 'error timeout', 'wait-login reports each login once')

        # Client info arriving in single bytes still gets its screen info.
        for b in header(2, 12, 1) + struct.pack('<HHIHH', 1, 32, 1, 0x322, 0):
            v.sendall(bytes([b]))
        t, req, p = recv_packet(v)
        check((t, req) == (3, 1) and p == struct.pack('<HHHHHBB', 800, 600, 1, 8, 8, 3, 1),
              'screen info reply: %r' % (p,))
        t, req, p = recv_packet(v)
        check((t, req, len(p)) == (9, 1, 1024) and p[4:8] == bytes([128, 0, 0, 0]) and
              p[36:40] == bytes([164, 200, 240, 0]), 'default palette follows at 8 bits')

        check(ctl.cmd('send 49 1 -') == 'ok', 'send with empty payload')
        check(recv_packet(v) == (49, 1, b''), 'type 49 packet arrives')
        two = header(13, 0, 1) + header(28, 8, 0) + struct.pack('<II', 640, 480)
        check(ctl.cmd('raw ' + two.hex()) == 'ok', 'raw two packets')
        check(recv_exact(v, len(two)) == two, 'raw bytes arrive unchanged')

        for bad, why in (('send 1 2 -', 'required'), ('send 99999999999 1 -', 'type'),
                         ('raw abc', 'odd'), ('raw zz', 'hex'), ('send 1 1', 'takes'),
                         ('frobnicate', 'unknown'), ('raw -', 'at least')):
            r = ctl.cmd(bad)
            check(r.startswith('error ') and why in r, '%s -> %s' % (bad, r))

        # A slow reader: far more than the socket buffers hold goes out in pieces.
        payload = bytes((i * 7) & 0xFF for i in range(32756))
        for _ in range(24):
            check(ctl.cmd('send 17 1 ' + payload.hex()) == 'ok', 'queue a full-size packet')
        time.sleep(0.3)
        got = [recv_packet(v) for _ in range(24)]
        check(all(g == (17, 1, payload) for g in got), 'all full-size packets intact')

        check(ctl.cmd('close') == 'ok', 'close')
        v.settimeout(5)
        check(v.recv(1) == b'', 'viewer sees the connection end')
        v.close()
        check(wait_log(log, lambda e: e['ev'] == 'closed' and e['reason'] == 'control') is not None,
              'closed event with reason control')

        # Next connection: a hostile header ends it with a framing error.
        v = viewer(port)
        check(wait_log(log, lambda e: e['ev'] == 'accept' and e.get('connection') == 2) is not None,
              'second connection accepted')
        v.sendall(header(5, 0xFFFFFFF5, 1))
        v.settimeout(5)
        check(v.recv(1) == b'', 'oversized packet closes the connection')
        v.close()
        check(wait_log(log, lambda e: e['ev'] == 'closed' and e['reason'] == 'framing') is not None,
              'closed event with reason framing')

        # A short login is refused without an answer; later packets still work.
        v = viewer(port)
        v.sendall(header(0, 10, 1) + bytes(10) + header(47, 4, 1) + struct.pack('<I', 12345))
        check(wait_log(log, lambda e: e.get('name') == 'PKT_SESSION_STAMP' and e.get('stamp') == 12345)
              is not None, 'session stamp logged after a short login')
        v.settimeout(0.3)
        try:
            extra = v.recv(1)
        except socket.timeout:
            extra = None
        check(extra is None, 'short login not answered')
        v.close()

        ev = read_log(log)
        logins = [e for e in ev if e['ev'] == 'packet' and e['type'] == 0]
        check(len(logins) == 2, 'two logins logged')
        check(logins[0]['open_ok'] is False and logins[0]['password_ok'] is False and
              logins[0]['password'] is None and logins[0]['iv'] == bytes(range(7, 15)).hex(),
              'garbage login decoded: %r' % logins[0])
        check(any(e['ev'] == 'error' and 'dwDataLen 10' in e['what'] for e in ev), 'short login error event')
        ci = [e for e in ev if e.get('name') == 'PKT_CLIENT_INFO']
        check(len(ci) == 1 and (ci[0]['planes'], ci[0]['bpp'], ci[0]['slownet'], ci[0]['version']) ==
              (1, 32, 1, 0x322), 'client info decoded')
        check(sum(1 for e in ev if e['ev'] == 'sent' and e['type'] == 17) == 24, 'sent events logged')
        check(any(e['ev'] == 'sent_raw' and e['len'] == len(two) for e in ev), 'raw send logged')

        check(ctl.cmd('quit') == 'ok', 'quit')
        check(sim.wait(timeout=5) == 0, 'simulator exits cleanly')
    finally:
        if sim.poll() is None:
            sim.kill()
            sim.wait()
    desktop(exe, work)
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
