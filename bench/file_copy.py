"""Copy speed of Corvid.exe under Wine against the Agent simulator on loopback: a 256 MB
file downloaded and uploaded (MB/s), 2,000 files of 4 KB each way (files/s), beside the
single-core DES-CBC speed of this machine measured in the same run (the envelope bench,
OpenSSL underneath). The CPU seconds of the viewer, the wineserver and the simulator
during each copy tell where the time goes, also per MB. Last, a download through
wan_relay.py, 20 ms round trip: one 24 KB packet in flight per round trip bounds it.
Run inside the Wine world (see ./corvid bench)."""
import atexit
import os
import re
import shutil
import subprocess
import time

import benchargs  # makes the harness importable
from harness import Ctx, cleanup, stub_command  # noqa: E402
from test_dialogs import open_viewer, viewer_class  # noqa: E402
from test_filetransfer import LIST, key, names, open_window, panel, wait_path  # noqa: E402
from test_ftcopy import copy, go_local, select_all  # noqa: E402
from procstat import cpu_seconds, viewer_pid, world_pids  # noqa: E402
from wan_relay import Relay  # noqa: E402

BIG = 256 << 20
WAN, WAN_RTT_MS = 8 << 20, 20
SMALL, SMALL_SIZE = 2000, 4096


def copy_folders(ctx):
    """Both sides' folders in memory where the machine has a tmpfs: creating thousands of
    files on a disk whose inodes were freed by the last run costs the file system more
    than the copy, and Windows' NTFS has no such cost."""
    shm = '/dev/shm'
    if os.path.isdir(shm) and shutil.disk_usage(shm).free > (3 << 30):
        base = os.path.join(shm, 'corvid-bench-%d' % os.getpid())
        shutil.rmtree(base, ignore_errors=True)
        atexit.register(shutil.rmtree, base, True)
        print('copy: both folders in memory (%s)' % base)
        return os.path.join(base, 'remote'), os.path.join(base, 'local')
    print('copy: both folders on disk (no tmpfs with 3 GB free)')
    return ctx.path('remote'), ctx.path('local')


def des_speed(native_bin):
    out = subprocess.run([os.path.join(native_bin, 'envelope_bench')], capture_output=True, text=True).stdout
    seal = re.search(r'SealStreamChunk\s+([\d.]+)', out)
    opened = re.search(r'OpenStreamChunk\s+([\d.]+)', out)
    return float(seal.group(1)) if seal else 0.0, float(opened.group(1)) if opened else 0.0


class Clock:
    """Wall time and the CPU of the three processes that share the machine."""

    def __init__(self, pids):
        self.pids = pids
        self.cpu0 = [cpu_seconds(p) if p else 0.0 for p in pids]
        self.t0 = time.perf_counter()

    def stop(self):
        wall = time.perf_counter() - self.t0
        return wall, [cpu_seconds(p) - c if p else float('nan') for p, c in zip(self.pids, self.cpu0)]


def wait_for(fn, timeout=600):
    end = time.time() + timeout
    while time.time() < end:
        if fn():
            return True
        time.sleep(0.02)
    return False


def timed_copy(ctx, addr, index, pids, done):
    """F5 in panel index, Yes, then the clock until done() holds."""
    copy_started = [None]
    key(ctx, addr, index, LIST, 0x74)
    # The confirmation opens; Yes starts the clock.
    from test_ftchange import dialog, wait_dialog
    wait_dialog(ctx, addr, 1066, 'copy confirmation')
    clock = Clock(pids)
    dialog(ctx, addr, 6)
    ok = wait_for(done)
    wall, cpu = clock.stop()
    copy_started[0] = ok
    return ok, wall, cpu


def main():
    ap = benchargs.parser()
    a = ap.parse_args()
    ctx = Ctx('file_copy', a.bin, a.work, a.source)
    try:
        seal, opened = des_speed(ctx.native_bin)
        print('copy: single-core DES-CBC through the envelope: seal %.1f MiB/s, open %.1f MiB/s' % (seal, opened))
        remote, local = copy_folders(ctx)
        os.makedirs(os.path.join(remote, 'many'))
        os.makedirs(os.path.join(local, 'up', 'many'))
        with open(os.path.join(remote, 'big.bin'), 'wb') as f:
            block = os.urandom(1 << 20)
            for _ in range(BIG >> 20):
                f.write(block)
        with open(os.path.join(local, 'up', 'big-up.bin'), 'wb') as f:
            for _ in range(BIG >> 20):
                f.write(block)
        for i in range(SMALL):
            for root in (os.path.join(remote, 'many'), os.path.join(local, 'up', 'many')):
                with open(os.path.join(root, 'f%04d.bin' % i), 'wb') as f:
                    f.write(block[i:i + SMALL_SIZE])
        addr = '127.0.0.32'
        agent, viewer = open_viewer(ctx, addr, '--files', remote)
        open_window(ctx, addr, agent)
        wait_path(ctx, addr, 1, 'C:\\', 'first listing')
        go_local(ctx, addr, local)
        pids = [viewer_pid(addr), world_pids()['wineserver'], agent.proc.pid]
        labels = 'viewer %.1f s, wineserver %.1f s, simulator %.1f s of CPU'

        def report(what, ok, wall, cpu, amount):
            if not ok:
                print('copy: %s did not finish' % what)
                return
            print('copy: %s in %.1f s: %s; %s' % (what, wall, amount(wall), labels % tuple(cpu)))
            if what.startswith('256 MB'):
                print('copy: %s CPU per MB: viewer %.1f ms, wineserver %.1f ms, simulator %.1f ms' %
                      ((what,) + tuple(c * 1000 / (BIG / 1e6) for c in cpu)))

        # Download of one big file, then of 2,000 small ones.
        from test_ftchange import focus_item
        focus_item(ctx, addr, 1, 'big.bin')
        target = os.path.join(local, 'big.bin')
        ok, wall, cpu = timed_copy(ctx, addr, 1, pids, lambda: os.path.exists(target) and os.path.getsize(target) == BIG)
        report('256 MB download', ok, wall, cpu, lambda w: '%.1f MB/s' % (BIG / 1e6 / w))
        focus_item(ctx, addr, 1, 'many')
        many = os.path.join(local, 'many')
        ok, wall, cpu = timed_copy(ctx, addr, 1, pids,
                                   lambda: os.path.isdir(many) and len(os.listdir(many)) == SMALL and
                                   not [n for n in os.listdir(many) if n.startswith('~')])
        report('2,000 files of 4 KB downloaded', ok, wall, cpu, lambda w: '%.0f files/s' % (SMALL / w))

        # Uploads of the same from the local folder "up".
        go_local(ctx, addr, os.path.join(local, 'up'))
        focus_item(ctx, addr, 0, 'big-up.bin')
        up = os.path.join(remote, 'big-up.bin')
        ok, wall, cpu = timed_copy(ctx, addr, 0, pids, lambda: os.path.exists(up) and os.path.getsize(up) == BIG)
        report('256 MB upload', ok, wall, cpu, lambda w: '%.1f MB/s' % (BIG / 1e6 / w))
        focus_item(ctx, addr, 0, 'many')
        check_dir = os.path.join(remote, 'many-up')
        os.rename(os.path.join(remote, 'many'), check_dir)  # the upload lands in a fresh folder
        many = os.path.join(remote, 'many')
        ok, wall, cpu = timed_copy(ctx, addr, 0, pids,
                                   lambda: os.path.isdir(many) and
                                   len([n for n in os.listdir(many) if n.endswith('.bin')]) == SMALL)
        report('2,000 files of 4 KB uploaded', ok, wall, cpu, lambda w: '%.0f files/s' % (SMALL / w))
        stub_command(ctx, 'TERMCLASS=' + viewer_class(addr))
        wan_download(ctx, remote, local, report)
    finally:
        cleanup(ctx)


def wan_download(ctx, remote, local, report):
    """The viewer at the relay's address, the simulator behind it."""
    from harness import Agent, start
    from test_ftchange import focus_item
    with open(os.path.join(remote, 'wan.bin'), 'wb') as f:
        f.write(os.urandom(WAN))
    agent_addr, addr = '127.0.0.198', '127.0.0.199'
    agent = Agent(ctx, agent_addr, '--screen', '640x480x16', '--files', remote)
    relay = Relay(addr, agent_addr, rtt_ms=WAN_RTT_MS)
    try:
        start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        if not agent.wait_packet('PKT_VIEW_GRID'):
            print('copy: no session through the relay')
            return
        open_window(ctx, addr, agent)
        wait_path(ctx, addr, 1, 'C:\\', 'first listing')
        go_local(ctx, addr, local)
        pids = [viewer_pid(addr), world_pids()['wineserver'], agent.proc.pid]
        focus_item(ctx, addr, 1, 'wan.bin')
        target = os.path.join(local, 'wan.bin')
        ok, wall, cpu = timed_copy(ctx, addr, 1, pids, lambda: os.path.exists(target) and os.path.getsize(target) == WAN)
        report('8 MB download through a %d ms round trip' % WAN_RTT_MS, ok, wall, cpu,
               lambda w: '%.2f MB/s (at most %.2f: 24 KB per round trip)' %
               (WAN / 1e6 / w, 24576 / 1e6 / (WAN_RTT_MS / 1000.0)))
        stub_command(ctx, 'TERMCLASS=' + viewer_class(addr))
    finally:
        relay.stop()


if __name__ == '__main__':
    main()
