"""Memory of Corvid.exe under Wine over an hour of use, compressed: the Agent simulator
floods full-screen changes of 1024 x 768 x 16 (--flood) as fast as the viewer takes
them, and an hour-equivalent is 3,600 of them (one a second for an hour; --frames to
change it). The viewer's resident set and private resident memory are sampled at the
start, every --every frames and at the end; memory is flat when the end is within
--flat-mb of the value after warm-up (the first tenth of the frames). Run inside the
Wine world (see ./corvid bench)."""
import re
import time

import benchargs  # makes the harness importable
from harness import Agent, Ctx, cleanup, reg_set_defaults, start, stub_command  # noqa: E402
from procstat import viewer_pid  # noqa: E402


def memory_mb(pid):
    """(resident, private resident) in MB."""
    with open('/proc/%d/status' % pid) as f:
        rss = int(re.search(r'^VmRSS:\s+(\d+) kB', f.read(), re.M).group(1))
    with open('/proc/%d/smaps_rollup' % pid) as f:
        text = f.read()
    private = sum(int(v) for v in re.findall(r'^Private_(?:Clean|Dirty):\s+(\d+) kB', text, re.M))
    return rss / 1024, private / 1024


def main():
    ap = benchargs.parser()
    ap.add_argument('--frames', type=int, default=3600)
    ap.add_argument('--every', type=int, default=300)
    ap.add_argument('--flat-mb', type=float, default=4.0)
    a = ap.parse_args()
    ctx = Ctx('memory_flood', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0, FrameMaximized=1)
        addr = '127.0.0.36'
        agent = Agent(ctx, addr, '--screen', '1024x768x16', '--flood')
        viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        end = time.time() + 60
        while not agent.packets('PKT_VIEW_GRID') and time.time() < end:
            time.sleep(0.1)
        pid = viewer_pid(addr)
        if not pid:
            print('memory: the viewer did not start')
            return
        samples = [(0, memory_mb(pid))]  # (frames, (resident, private))
        frames, seen, t0 = 0, 0, time.time()
        warm = max(a.frames // 10, 1)
        steady = None
        next_sample = a.every
        while frames < a.frames and viewer.poll() is None:
            time.sleep(0.5)
            events = agent.events()
            frames += sum(e['frames'] for e in events[seen:] if e.get('ev') == 'rate')
            seen = len(events)
            if steady is None and frames >= warm:
                steady = memory_mb(pid)
            if frames >= next_sample:
                samples.append((frames, memory_mb(pid)))
                next_sample = (frames // a.every + 1) * a.every
        elapsed = time.time() - t0
        if viewer.poll() is not None:
            print('memory: the viewer ended after %d frames' % frames)
            return
        if samples[-1][0] != frames:
            samples.append((frames, memory_mb(pid)))
        steady = steady or samples[-1][1]
        start_mb, end_mb = samples[0][1], samples[-1][1]
        peak = tuple(max(s[1][i] for s in samples) for i in range(2))
        flat = abs(end_mb[0] - steady[0]) <= a.flat_mb and abs(end_mb[1] - steady[1]) <= a.flat_mb
        print('memory: %d full-screen changes of 1024x768x16 under Wine (%.1f h at one a second) in %.0f s: '
              'resident %.1f MB at start, %.1f MB peak, %.1f MB at the end (%.1f MB after warm-up); '
              'private %.1f / %.1f / %.1f MB (%.1f after warm-up): %s' %
              (frames, frames / 3600, elapsed, start_mb[0], peak[0], end_mb[0], steady[0],
               start_mb[1], peak[1], end_mb[1], steady[1],
               'flat' if flat else 'NOT flat (more than %.0f MB from the value after warm-up)' % a.flat_mb))
        print('memory: samples (frames: resident/private MB) ' +
              ', '.join('%d: %.1f/%.1f' % (n, m[0], m[1]) for n, m in samples))
        stub_command(ctx, 'TERMCLASS=CORVIDS:TCP:' + addr)
    finally:
        cleanup(ctx)


if __name__ == '__main__':
    main()
