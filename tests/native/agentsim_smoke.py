"""Smoke run of the Agent simulator over real sockets: login refusal, screen info,
control commands, partial writes to a slow reader, hostile framing and the JSON log.
    python3 agentsim_smoke.py path/to/agentsim
Prints "N passed, M failed"; exits non-zero on any failure."""
import json
import os
import socket
import struct
import subprocess
import sys
import tempfile
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
    print('%d passed, %d failed' % (passed, failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
