"""CPU time and context switches of the processes a desktop benchmark involves, read
from /proc, and the viewer's own stage timers (CORVID_PROFILE)."""
import os
import subprocess

TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pid):
    """User plus system time of a process, all its threads, in seconds (0 when gone)."""
    try:
        with open('/proc/%d/stat' % pid) as f:
            fields = f.read().rsplit(')', 1)[1].split()
    except OSError:
        return 0.0
    return (int(fields[11]) + int(fields[12])) / TICKS


def switches(pid):
    """Voluntary context switches of all threads of a process: each wait for the
    wineserver, another thread or the X server is one."""
    total = 0
    try:
        tasks = os.listdir('/proc/%d/task' % pid)
    except OSError:
        return 0
    for t in tasks:
        try:
            with open('/proc/%d/task/%s/status' % (pid, t)) as f:
                for line in f:
                    if line.startswith('voluntary_ctxt_switches:'):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def _pids(pattern):
    r = subprocess.run(['pgrep', '-f', pattern], capture_output=True, text=True)
    return [int(p) for p in r.stdout.split()]


def _environ(pid):
    try:
        with open('/proc/%d/environ' % pid, 'rb') as f:
            return dict(kv.split(b'=', 1) for kv in f.read().split(b'\0') if b'=' in kv)
    except OSError:
        return {}


def viewer_pid(addr):
    """The Windows process of the viewer for addr (not the short-lived wine launcher):
    the one of that command line with the most threads."""
    best, most = None, 0
    for pid in _pids('Corvid.exe TCP=' + addr + '( |$)'):
        try:
            n = len(os.listdir('/proc/%d/task' % pid))
        except OSError:
            continue
        if n > most:
            best, most = pid, n
    return best


def world_pids():
    """The wineserver of this Wine prefix and the Xvfb of this display."""
    prefix = os.environ.get('WINEPREFIX', '').encode()
    server = [p for p in _pids('wineserver') if _environ(p).get(b'WINEPREFIX') == prefix]
    display = os.environ.get('DISPLAY', '')
    xvfb = _pids('Xvfb %s ' % display) if display else []
    return {'wineserver': server[0] if server else None, 'Xvfb': xvfb[0] if xvfb else None}


def read_profile(path):
    """The viewer's stage figures as a dict of numbers ({} until the first write)."""
    try:
        with open(path) as f:
            return {k: int(v) for k, v in (line.split() for line in f if line.strip())}
    except (OSError, ValueError):
        return {}


def windows_path(path):
    """A Unix path as the Wine program sees it."""
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


class Sampler:
    """CPU seconds and switches of named processes, between start() and stop()."""

    def __init__(self, pids):
        self.pids = {k: v for k, v in pids.items() if v}

    def _read(self):
        return {k: (cpu_seconds(p), switches(p)) for k, p in self.pids.items()}

    def start(self):
        self.before = self._read()

    def stop(self):
        after = self._read()
        return {k: (after[k][0] - self.before[k][0], after[k][1] - self.before[k][1]) for k in self.pids}
