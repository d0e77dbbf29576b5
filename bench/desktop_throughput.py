"""Full-screen changes of a 1024 x 768 x 16 desktop pushed by the Agent simulator as
fast as Corvid.exe under Wine takes them: frames per second sustained over 10 s, and
the viewer's CPU time per frame. BENCH_SCALED=1 measures the scaled view instead of the
tiles. Run inside the Wine world (see ./corvid bench)."""
import argparse
import json
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from harness import Agent, Ctx, cleanup, reg_set_defaults, start, stub_command  # noqa: E402

TICKS = os.sysconf('SC_CLK_TCK')


def cpu_seconds(pid):
    with open('/proc/%d/stat' % pid) as f:
        fields = f.read().rsplit(')', 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS


def viewer_pid(addr):
    r = subprocess.run(['pgrep', '-f', 'Corvid.exe TCP=' + addr], capture_output=True, text=True)
    pids = [int(p) for p in r.stdout.split()]
    return pids[0] if pids else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--bin', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('--source', required=True)
    ap.add_argument('--seconds', type=int, default=10)
    a = ap.parse_args()
    ctx = Ctx('desktop_throughput', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=int(os.environ.get("BENCH_SCALED", "0")))
        addr = '127.0.0.31'
        agent = Agent(ctx, addr, '--screen', '1024x768x16', '--flood')
        start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        while not agent.packets('PKT_VIEW_GRID'):
            time.sleep(0.05)
        time.sleep(3)  # warm up: first full pictures, window layout
        pid = viewer_pid(addr)
        cpu0 = cpu_seconds(pid) if pid else 0.0
        t0 = time.time()
        seen = len(agent.events())
        time.sleep(a.seconds)
        elapsed = time.time() - t0
        cpu1 = cpu_seconds(pid) if pid else 0.0
        rates = [e for e in agent.events()[seen:] if e.get('ev') == 'rate']
        frames = sum(e['frames'] for e in rates)
        data = sum(e['bytes'] for e in rates)
        fps = frames / elapsed
        print('desktop: 1024x768x16 full-screen changes under Wine: %.1f frames/s over %.0f s, %.1f MB/s on the wire, '
              'viewer CPU %.1f ms per frame (%.0f%% of one core)' %
              (fps, elapsed, data / elapsed / 1e6, (cpu1 - cpu0) * 1000 / max(frames, 1),
               (cpu1 - cpu0) * 100 / elapsed))
        stub_command(ctx, 'TERMCLASS=CORVIDS:TCP:' + addr)
    finally:
        cleanup(ctx)


if __name__ == '__main__':
    main()
