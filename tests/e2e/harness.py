"""Helpers of the end-to-end tests: a fresh copy of the program folder per case, the
console stand-in, the registry of the private Wine prefix, and the windows on the
test display. Every case runs inside the Wine world of tests/wine/wine-env.sh."""
import argparse
import fcntl
import json
import os
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback

SETTINGS_KEY = r'HKCU\Software\Vantor\Corvids'
PROGRAM_FILES = ('Corvid.exe', 'cvresen.dll', 'cvresru.dll', 'LLkbd.dll', 'kbdhook.dll', 'tallydesk-stub.exe')
# Copied when the build made it.
OPTIONAL_FILES = ('Tlyhlpru.chm',)


class Ctx:
    def __init__(self, case, bin_dir, work, source):
        self.case = case
        self.bin = bin_dir
        self.source = source
        self.dir = os.path.join(work, case)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        for name in PROGRAM_FILES:
            shutil.copy2(os.path.join(bin_dir, name), self.dir)
        for name in OPTIONAL_FILES:
            if os.path.exists(os.path.join(bin_dir, name)):
                shutil.copy2(os.path.join(bin_dir, name), self.dir)
        self.procs = []
        self.agents = []
        self.stderr_paths = []
        self.helper_errors = []  # non-empty standard error of the programs wine_run ran
        self.wine_runs = 0
        self.stub_servers = {}
        self.native_bin = os.environ.get('CORVID_NATIVE_BIN', os.path.join(os.path.dirname(work), 'bin'))

    def path(self, name):
        return os.path.join(self.dir, name)


def run_case(module_globals):
    ap = argparse.ArgumentParser()
    ap.add_argument('case')
    ap.add_argument('--bin', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--source', required=True)
    a = ap.parse_args()
    fn = module_globals.get('case_' + a.case)
    if fn is None:
        sys.exit('no case ' + a.case)
    # Cases use fixed loopback addresses and ports: two suites on one machine (a
    # repeated run beside a developer's) take turns case by case.
    lock = open(os.path.join(tempfile.gettempdir(), 'corvid-e2e.lock'), 'w')
    fcntl.flock(lock, fcntl.LOCK_EX)
    ctx = Ctx(a.case, a.bin, a.work, a.source)
    current_case[0] = ctx
    passed = False
    failure = ''
    try:
        fn(ctx)
        passed = True
    except BaseException:
        failure = traceback.format_exc()
        snapshot(ctx)
        raise
    finally:
        cleanup(ctx)
        count_starts(ctx)
        crashes = crash_reports(ctx)
        if crashes:
            sys.stderr.write('\n'.join(crashes) + '\n')
        if crashes or not passed:
            keep_failed(ctx, failure + '\n'.join(crashes))
    check(not crashes, 'a viewer crashed (see above)')
    print('case %s passed' % a.case)


def snapshot(ctx):
    """The screen and the processes as the case failed, before its programs are ended: a
    dialog nobody answered or a program that never started shows here."""
    try:
        subprocess.run(['import', '-window', 'root', ctx.path('failure-screen.png')], timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(ctx.path('failure-ps.txt'), 'w') as f:
            # How each program the case started has ended so far (None: still running).
            for p in ctx.procs:
                f.write('started %s: exit %s\n' % (' '.join(p.args), p.poll()))
            f.flush()
            subprocess.run(['ps', '-eo', 'pid,stat,etime,time,args'], stdout=f, stderr=subprocess.DEVNULL, timeout=30)
        # A program that hangs is only understood from where its threads wait.
        if any(p.poll() is None for p in ctx.procs):
            bt = subprocess.run(['winedbg', '--command', 'bt all'], cwd=ctx.dir, stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120).stdout
            with open(ctx.path('failure-bt.txt'), 'wb') as f:
                f.write(bt)
            stacks = viewer_stacks(ctx, bt.decode('latin-1'))
            if stacks:
                # Printed as well: a CI run keeps only what the case printed.
                sys.stderr.write('where the viewer\'s threads were:\n' + stacks)
    except (OSError, subprocess.SubprocessError):
        pass


BT_THREAD = re.compile(r'^Backtracing for thread (\w+) in process \w+ \((.*)\):')
BT_FRAME = re.compile(r'^\s*(?:=>)?\d+ 0x([0-9a-f]+) (?:in (\S+) \(\+0x([0-9a-f]+)\)|(\w+)[+(])')


def viewer_stacks(ctx, bt):
    """The threads of every Corvid.exe in a winedbg "bt all", one line each, innermost
    first, the viewer's own frames named from its debugging information."""
    threads, current = [], None
    for line in bt.splitlines():
        m = BT_THREAD.match(line)
        if m:
            current = [m.group(1)] if m.group(2).lower().endswith('corvid.exe') else None
            if current:
                threads.append(current)
            continue
        m = current is not None and BT_FRAME.match(line)
        if m:
            current.append(('0x' + m.group(1)) if m.group(2) == 'corvid' else (m.group(4) or m.group(2) or '?'))
    addresses = sorted({f for t in threads for f in t[1:] if f.startswith('0x')})
    names = {}
    if addresses:
        try:
            out = subprocess.run(['x86_64-w64-mingw32-addr2line', '-f', '-s', '-e', os.path.join(ctx.bin, 'Corvid.exe')]
                                 + addresses, capture_output=True, text=True, timeout=60).stdout.split('\n')
            for i, a in enumerate(addresses):
                names[a] = '%s (%s)' % (out[2 * i], out[2 * i + 1])
        except (OSError, subprocess.SubprocessError, IndexError):
            pass
    return ''.join('  thread %s: %s\n' % (t[0], ' < '.join(names.get(f, f) for f in t[1:]
                                                           if f not in ('BaseThreadInitThunk', 'RtlUserThreadStart',
                                                                        '__wine_pop_frame')))
                   for t in threads)


def keep_failed(ctx, why):
    """A failed case's folder is kept apart, with why it failed, so that a later run of
    the case (a repeated suite) does not wipe what it left."""
    kept = '%s.failed-%s' % (ctx.dir, time.strftime('%Y%m%d-%H%M%S'))
    shutil.copytree(ctx.dir, kept, symlinks=True, ignore=shutil.ignore_patterns('*.exe', '*.dll', '*.chm'))
    with open(os.path.join(kept, 'failure.txt'), 'w') as f:
        f.write(why)
    sys.stderr.write('the case folder is kept as %s\n' % kept)
    # Printed too, since a CI run keeps only what the case printed; of the helpers run to
    # their end, the last few that said anything.
    errors = [p for p in ctx.stderr_paths + ctx.helper_errors[-6:] if os.path.exists(p) and os.path.getsize(p)]
    for path, encoding in [(ctx.path('Corvid.log'), 'cp1251')] + [(p, 'latin-1') for p in errors]:
        try:
            with open(path, 'rb') as f:
                tail = f.read().decode(encoding, 'replace').splitlines()[-8:]
        except OSError:
            continue
        if tail:
            sys.stderr.write('the end of %s:\n' % os.path.basename(path) + ''.join('  %s\n' % l for l in tail))


CRASH_TEXT = re.compile(rb'Unhandled exception|Unhandled page fault')
# Wine's loader failing to place the shared user data page before the program runs: the
# program then ends at once with exit code 1 (see tests/wine/wine-env.sh).
LOADER_FAILURE = b'failed to map the shared user data'
current_case = [None]  # the Ctx of the case this process runs
wine_starts = {'starts': 0, 'loader_failures': 0}  # wine_run's, counted as they end


def count_starts(ctx):
    """How many Wine programs the case started and how often Wine's loader failed, in
    wine-starts.txt of its folder and as a line of the world's starts.log (wine-env.sh
    down adds them up)."""
    starts, failures = wine_starts['starts'] + len(ctx.procs), wine_starts['loader_failures']
    for path in ctx.stderr_paths:
        try:
            with open(path, 'rb') as f:
                failures += LOADER_FAILURE in f.read()
        except OSError:
            pass
    line = '%s starts=%d loader_failures=%d\n' % (ctx.case, starts, failures)
    paths = [ctx.path('wine-starts.txt')]
    if os.environ.get('CORVID_WINE_STATE'):
        paths.append(os.path.join(os.environ['CORVID_WINE_STATE'], 'starts.log'))
    for path in paths:
        try:
            with open(path, 'a') as f:
                f.write(line)
        except OSError:
            pass
    if failures:
        sys.stderr.write('Wine\'s loader failed to map the shared user data %d times over %d starts\n'
                         % (failures, starts))


def crash_reports(ctx):
    """What Wine printed for every viewer of the case that crashed, whatever the case
    itself checked."""
    out = []
    for path in ctx.stderr_paths:
        try:
            with open(path, 'rb') as f:
                err = f.read()
        except FileNotFoundError:
            continue
        m = CRASH_TEXT.search(err)
        if m:
            out.append('%s: %s' % (path, err[max(0, m.start() - 200):m.end() + 1500].decode('latin-1')))
    return out


def cleanup(ctx):
    for agent in ctx.agents:
        agent.stop()
    if any(p.poll() is None for p in ctx.procs):
        stub_command(ctx, 'STOP')
    for server in ctx.stub_servers.values():
        server.close()
    ctx.stub_servers.clear()
    for p in ctx.procs:
        try:
            p.wait(timeout=10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()


def check(cond, what):
    if not cond:
        raise AssertionError(what)


def wait_until(fn, timeout=10.0, step=0.1):
    end = time.time() + timeout
    while True:
        v = fn()
        if v or time.time() > end:
            return v
        time.sleep(step)


# --- processes ---------------------------------------------------------------------

def stderr_name(ctx, exe, n, kind=''):
    """<program>-<n>.err in the case folder (the viewer's are corvid-N.err); the
    programs wine_run ran to their end are <program>-run-<n>.err."""
    stem = os.path.splitext(os.path.basename(exe))[0].lower()
    return ctx.path('%s-%s%d.err' % (stem, kind, n))


def start(ctx, exe, *args, stderr_path=None, env=None):
    """stderr_path keeps the program's standard error, where Wine reports a crash; every
    program's is kept (by default as stderr_name), and looked at when the case ends."""
    stderr_path = stderr_path or stderr_name(ctx, exe, len(ctx.procs))
    ctx.stderr_paths.append(stderr_path)
    if exe == 'Corvid.exe':  # Windows' own quota of posted messages, which Wine lacks
        env = dict({'CORVID_TEST_POST_LIMIT': '10000'}, **(env or {}))
    err = open(stderr_path, 'wb')
    p = subprocess.Popen(['wine', exe] + list(args), cwd=ctx.dir, stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=err, env=wine_env(env))
    err.close()  # the child holds its own copy
    ctx.procs.append(p)
    return p


def run_viewer(ctx, *args, timeout=30):
    """Runs the viewer to its end; returns the seconds it took."""
    t0 = time.time()
    p = start(ctx, 'Corvid.exe', *args)
    p.wait(timeout=timeout)
    return time.time() - t0


last_wine_error = ['']  # standard error of the last wine_run, for failure texts


def wine_env(extra=None):
    """The programs of a case report Wine's own errors: a program that ends early
    without a word is otherwise beyond explaining."""
    return dict(os.environ, WINEDEBUG='-all,err+all', **(extra or {}))


def wine_run(args, cwd=None, timeout=60):
    """Runs a Wine program to its end; returns (exit code, stdout text). Output goes
    through files, not pipes: a Wine service started on the way could hold a pipe
    open long after the program has ended. Standard error that is not empty is kept
    in the case folder, with the command and its exit code."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        r = subprocess.run(['wine'] + list(args), cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                           stderr=err, timeout=timeout, env=wine_env())
        out.seek(0)
        err.seek(0)
        text = err.read()
        last_wine_error[0] = text.decode('latin-1')
        keep_helper_error(args, r.returncode, text)
        return r.returncode, out.read().decode('latin-1')


def keep_helper_error(args, rc, text):
    wine_starts['starts'] += 1
    wine_starts['loader_failures'] += LOADER_FAILURE in text
    ctx = current_case[0]
    if ctx is None:
        return
    ctx.wine_runs += 1
    if text:
        path = stderr_name(ctx, args[0], ctx.wine_runs, 'run-')
        with open(path, 'wb') as f:
            f.write(b'wine %s: exit %d\n' % (' '.join(args).encode('latin-1', 'replace'), rc) + text)
        ctx.helper_errors.append(path)


class StubServer:
    """One tallydesk-stub.exe SERVE per case and Wine world: a command costs a line each
    way instead of a program start."""

    def __init__(self, ctx):
        self.path = stderr_name(ctx, 'tallydesk-stub.exe', len(ctx.stderr_paths), 'serve-')
        ctx.stderr_paths.append(self.path)
        with open(self.path, 'wb') as err:
            self.proc = subprocess.Popen(['wine', 'tallydesk-stub.exe', 'SERVE'], cwd=ctx.dir, stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE, stderr=err, env=wine_env())
        wine_starts['starts'] += 1
        self.pending = b''

    def run(self, args, timeout):
        self.proc.stdin.write(subprocess.list2cmdline(args).encode('utf-8') + b'\n')
        self.proc.stdin.flush()
        end = time.time() + timeout
        fd = self.proc.stdout.fileno()
        while b'\n' not in self.pending:
            left = end - time.time()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                self.proc.kill()
                raise subprocess.TimeoutExpired(['tallydesk-stub.exe'] + list(args), timeout)
            chunk = os.read(fd, 4096)
            check(chunk, 'the stand-in\'s command server ended (see %s)' % self.path)
            self.pending += chunk
        line, self.pending = self.pending.split(b'\n', 1)
        return int(line)

    def close(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()


def stub_command(ctx, *args, timeout=30):
    key = (os.environ.get('WINEPREFIX'), os.environ.get('DISPLAY'))
    server = ctx.stub_servers.get(key)
    if server is None or server.proc.poll() is not None:
        server = ctx.stub_servers[key] = StubServer(ctx)
    return server.run(args, timeout)


def end_viewer(ctx, window_class, viewer, timeout=30):
    """Sets the termination event of the viewer owning that window and waits for it to
    end; a viewer that stays is a failure, recorded with where its threads wait."""
    check(stub_command(ctx, 'TERMCLASS=' + window_class) == 0, 'no termination event for ' + window_class)
    try:
        viewer.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        check(False, 'the viewer did not end within %d s of its termination event' % timeout)


def start_console(ctx):
    log = ctx.path('tallydesk.log')
    if os.path.exists(log):
        os.remove(log)
    p = start(ctx, 'tallydesk-stub.exe', 'LOG=tallydesk.log')
    check(wait_until(lambda: any(r['kind'] == 'READY' for r in console_records(ctx)), 20),
          'console stand-in did not start')
    return p


def stop_console(ctx, p):
    stub_command(ctx, 'STOP')
    p.wait(timeout=20)


def window_exists(ctx, window_class):
    return stub_command(ctx, 'FIND=' + window_class) == 0


def unescape(text):
    """The stand-in writes bytes outside printable ASCII as \\xNN."""
    out = bytearray()
    i = 0
    while i < len(text):
        if text.startswith('\\x', i):
            out.append(int(text[i + 2:i + 4], 16))
            i += 4
        else:
            out += text[i].encode('ascii')
            i += 1
    return bytes(out)


def console_records(ctx):
    recs = []
    try:
        with open(ctx.path('tallydesk.log'), encoding='ascii') as f:
            text = f.read()
    except FileNotFoundError:
        return recs
    lines = text[:text.rfind('\n') + 1].splitlines()  # the stand-in may be mid-line
    for line in lines:
        kind, _, rest = line.partition(' ')
        rec = {'kind': kind}
        for m in re.finditer(r'(\w+)=("(?:[^"\\]|\\.)*"|\S+)', rest):
            v = m.group(2)
            rec[m.group(1)] = unescape(v[1:-1]) if v.startswith('"') else v
        recs.append(rec)
    return recs


def messages(ctx):
    return [r for r in console_records(ctx) if r['kind'] == 'MSG']


# --- registry ----------------------------------------------------------------------

def reg_delete_settings():
    stub_command(current_case[0], 'REGDEL')


def reg_set(name, value):
    # A viewer of the previous case may still be saving its settings on the way out;
    # a write that loses that race is tried again.
    for attempt in range(5):
        if stub_command(current_case[0], 'REGSET=%s|%d' % (name, value)) == 0:
            return
        time.sleep(0.5)
    check(False, 'setting %s could not be written' % name)


def reg_settings():
    _, text = wine_run(['reg', 'query', SETTINGS_KEY])
    values = {}
    for line in text.splitlines():
        m = re.match(r'\s+(\w+)\s+(REG_\w+)\s+(\S+)', line)
        if m:
            values[m.group(1)] = (m.group(2), int(m.group(3), 16) if m.group(3).startswith('0x') else m.group(3))
    return values


DEFAULTS = {'Language': 1, 'SaveOnExit': 1, 'LogFileSize': 40, 'FrameMaximized': 0, 'ShowRemoteCursor': 1,
            'ClipConTools': 1, 'XConClip': 360, 'YConClip': 0xFFFFFFF9, 'AutoScaleScreen': 0}


def reg_set_defaults(**changes):
    reg_delete_settings()
    for name, value in DEFAULTS.items():
        reg_set(name, changes.get(name, value) & 0xFFFFFFFF)


# --- language texts ----------------------------------------------------------------

def lang_string(ctx, lang, name):
    """Text of a string id (by its IDS_ name) in cvres<lang>.rc, as the viewer's bytes."""
    ids = {}
    with open(os.path.join(ctx.source, 'lang', 'stringids.h'), encoding='ascii') as f:
        for m in re.finditer(r'#define\s+(IDS_\w+)\s+(\d+)', f.read()):
            ids[m.group(1)] = m.group(2)
    enc = 'cp1251' if lang == 'ru' else 'ascii'
    with open(os.path.join(ctx.source, 'lang', 'cvres%s.rc' % lang), encoding=enc) as f:
        rc = f.read()
    number = name if name.isdigit() else ids[name]
    m = re.search(r'^\s*(?:%s|%s)\s*,\s*"((?:[^"]|"")*)"' % (name, number), rc, re.M)
    check(m is not None, 'no %s in %s' % (name, lang))
    return m.group(1).replace('""', '"').replace('\\\\', '\\').encode('cp1251')


def read_log(ctx):
    try:
        with open(ctx.path('Corvid.log'), 'rb') as f:
            return f.read()
    except FileNotFoundError:
        return b''


CLOSING_LINES = re.compile(rb"(?:[^\r\n]*(?:The viewer is closing\.|The session's threads have ended\.|"
                           rb"At most \d+ posted messages were outstanding at once\.)\r\n)+\Z")


def log_before_closing(ctx):
    """The log without the lines the viewer writes while it closes."""
    return CLOSING_LINES.sub(b'', read_log(ctx))


# --- the display -------------------------------------------------------------------

def find_windows_by_title(pattern):
    r = subprocess.run(['xdotool', 'search', '--name', pattern], capture_output=True, text=True, timeout=30)
    return r.stdout.split()


# --- the Agent simulator -----------------------------------------------------------

class Agent:
    """The Agent simulator on addr:21560, its JSON log and its control channel."""

    def __init__(self, ctx, addr, *options):
        self.ctx = ctx
        self.addr = addr
        self.log = ctx.path('agent-%s.jsonl' % addr)
        exe = os.path.join(ctx.native_bin, 'agentsim')
        self.proc = subprocess.Popen([exe, '--listen', addr, '--port', '21560', '--control', 'any',
                                      '--log', self.log] + list(options),
                                     stdout=subprocess.PIPE, stderr=open(self.log + '.err', 'w'), text=True)
        line = self.proc.stdout.readline()
        if not line:
            with open(self.log + '.err') as f:
                check(False, 'agent did not start: %s' % f.read()[-500:])
        first = json.loads(line)
        check(first.get('ev') == 'listening', 'agent did not start: %s' % first)
        self.control_port = first['control']
        self.sock = socket.create_connection((addr, self.control_port), timeout=60)
        self.reader = self.sock.makefile('r', encoding='ascii')
        ctx.agents.append(self)

    def command(self, line, timeout=60):
        self.sock.settimeout(timeout)
        self.sock.sendall((line + '\n').encode('ascii'))
        return self.reader.readline().strip()

    def events(self):
        try:
            with open(self.log, encoding='ascii') as f:
                text = f.read()
        except FileNotFoundError:
            return []
        # The simulator may be in the middle of its last line.
        return [json.loads(l) for l in text[:text.rfind('\n') + 1].splitlines() if l.strip()]

    def packets(self, name=None):
        return [e for e in self.events() if e.get('ev') == 'packet' and (name is None or e['name'] == name)]

    def wait_packet(self, name, count=1, timeout=30):
        return wait_until(lambda: len(self.packets(name)) >= count, timeout)

    def stop(self):
        try:
            self.command('quit', timeout=10)
        except OSError:
            pass
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        self.sock.close()


def dialog(ctx, viewer_class, control_id, text=None):
    spec = '%s|%d' % (viewer_class, control_id) + ('|' + text if text is not None else '')
    return stub_command(ctx, 'DIALOG=' + spec) == 0


def post(ctx, window_class, msg, wparam=0, lparam=0):
    return stub_command(ctx, 'POST=%s|%d|%d|%d' % (window_class, msg, wparam, lparam)) == 0


def command_states(ctx, window_class):
    """{command: (menu state, toolbar state)} as the stand-in reads them."""
    out = ctx.path('state.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'STATE=' + window_class, 'OUT=state.txt') != 0:
        return {}
    states = {}
    with open(out) as f:
        for line in f:
            m = re.match(r'(\d+) menu=(\S+) toolbar=(\S+)', line)
            if m:
                states[int(m.group(1))] = (m.group(2), m.group(3))
    return states


# --- pictures ----------------------------------------------------------------------

def read_ppm(path):
    """(width, height, RGB bytes) of a binary PPM (P6, maxval 255)."""
    with open(path, 'rb') as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b'#':
            pos = data.index(b'\n', pos) + 1
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    check(fields[0] == b'P6' and fields[3] == b'255', 'not a P6 picture: %s' % path)
    w, h = int(fields[1]), int(fields[2])
    return w, h, data[pos + 1:pos + 1 + w * h * 3]


def screenshot(x, y, w, h):
    """RGB bytes of a w x h rectangle of the test display."""
    r = subprocess.run(['import', '-silent', '-window', 'root', '-crop', '%dx%d+%d+%d' % (w, h, x, y),
                        '-depth', '8', 'rgb:-'], capture_output=True, timeout=60)
    check(r.returncode == 0 and len(r.stdout) == w * h * 3, 'screenshot failed: %s' % r.stderr[-300:])
    return r.stdout


def save_ppm(path, w, h, rgb):
    with open(path, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (w, h) + rgb)


def child_rect(ctx, main_class, child_class):
    """Screen rectangle (left, top, right, bottom) of a visible child window, or None
    when there is none. A stand-in that did not run is a failure of its own."""
    out = ctx.path('rect.txt')
    if os.path.exists(out):
        os.remove(out)
    rc = stub_command(ctx, 'RECT=%s|%s' % (main_class, child_class), 'OUT=rect.txt')
    try:
        with open(out) as f:
            text = f.read().split()
    except FileNotFoundError:
        raise AssertionError('tallydesk-stub RECT did not run (exit %d): %s' % (rc, last_wine_error[0][-500:]))
    return None if text == ['none'] else tuple(int(v) for v in text)


def pixel_mismatches(a, b):
    """Count of differing pixels of two RGB byte strings of the same size."""
    return sum(1 for i in range(0, len(a), 3) if a[i:i + 3] != b[i:i + 3])
