"""Full-screen changes of a desktop pushed by the Agent simulator as fast as Corvid.exe
under Wine takes them: frames per second sustained over 10 s, the viewer's CPU time
per frame, and where one frame's time goes (the viewer's stage timers, its threads'
CPU, and the CPU of the simulator, the wineserver and the X server beside it).
Three runs: the tiles of a 1024 x 768 x 16 screen changing whole; the scaled view of a
1280 x 1024 x 16 screen, which the maximised window must shrink; and the tiles again with
one in ten changing per frame (--modes picks some). Run inside the Wine world (see
./corvid bench)."""
import time

import benchargs  # makes the harness importable
from harness import Agent, Ctx, child_rect, cleanup, reg_set_defaults, start, stub_command  # noqa: E402
from procstat import Sampler, read_profile, viewer_pid, windows_path, world_pids  # noqa: E402
from xscreen import ScreenWatch  # noqa: E402

STAGES = [('receive_read', 'reads'), ('decode', 'decode'), ('publish', 'publish'), ('batch', 'batches'),
          ('blit', 'of which blits'), ('stretch', 'of which stretches'), ('marker', 'cursor marker')]


MODES = {'unscaled': (0, 0), 'scaled': (1, 0), 'partial': (0, 10)}


def main():
    ap = benchargs.parser()
    ap.add_argument('--seconds', type=int, default=10)
    ap.add_argument('--modes', default='unscaled,scaled,partial')
    a = ap.parse_args()
    for mode in a.modes.split(','):
        run(a, *MODES[mode])


def run(a, scaled, partial):
    screen = '1280x1024x16' if scaled else '1024x768x16'
    ctx = Ctx('desktop_throughput', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=int(scaled))
        addr = '127.0.0.31'
        flood = ['--flood'] + (['--flood-share', str(partial)] if partial else [])
        agent = Agent(ctx, addr, '--screen', screen, *flood)
        profile = ctx.path('profile.txt')
        start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', env={'CORVID_PROFILE': windows_path(profile)})
        while not agent.packets('PKT_VIEW_GRID'):
            time.sleep(0.05)
        time.sleep(3)  # warm up: first full pictures, window layout
        pids = dict(world_pids(), viewer=viewer_pid(addr), simulator=agent.proc.pid)
        sampler = Sampler(pids)
        p0 = read_profile(profile)
        sampler.start()
        t0 = time.time()
        seen = len(agent.events())
        time.sleep(a.seconds)
        elapsed = time.time() - t0
        used = sampler.stop()
        time.sleep(0.6)  # the profile is written four times a second
        p1 = read_profile(profile)
        # Apart from the window above, as looking at the screen costs some CPU too.
        view = child_rect(ctx, 'CORVIDS:TCP:' + addr, 'CORVID:AUTOSCALES' if scaled else 'CORVID:SQUAREPAD')
        changes, looks = ScreenWatch().count_changes((view[0] + view[2]) // 2, (view[1] + view[3]) // 2, 2.0)
        d = {k: p1.get(k, 0) - p0.get(k, 0) for k in p1}
        rates = [e for e in agent.events()[seen:] if e.get('ev') == 'rate']
        frames = max(sum(e['frames'] for e in rates), 1)
        data = sum(e['bytes'] for e in rates)
        what = ('%s %s' % (screen, 'scaled' if scaled else 'unscaled')) + (', %d%% of the tiles' % partial
                                                                          if partial else ', full-screen')
        cpu = used.get('viewer', (0, 0))[0]
        print('desktop: %s changes under Wine: %.1f frames/s over %.0f s, %.1f MB/s on the wire, viewer CPU '
              '%.2f ms per frame (%.0f%% of one core)' %
              (what, frames / elapsed, elapsed, data / elapsed / 1e6, cpu * 1000 / frames, cpu * 100 / elapsed))
        if d:
            per = lambda v: v / frames  # noqa: E731
            tiles = d.get('tiles_shown', 0)
            print('  shown: %.1f batches/s, %.1f screens of tiles/s; the X screen changed %.0f times/s at the '
                  'centre of the view (looked at %.0f times/s); %.1f reads per frame of %.0f KB each' %
                  (d.get('batch_calls', 0) / elapsed, tiles / 1024 / elapsed, changes / 2.0, looks / 2.0,
                   per(d.get('receive_read_calls', 0)),
                   d.get('bytes_read', 0) / max(d.get('receive_read_calls', 1), 1) / 1024))
            print('  viewer stages, ms per frame (wall time inside each): ' +
                  ', '.join('%s %.2f' % (label, per(d.get(k + '_us', 0)) / 1000) for k, label in STAGES))
            print('  viewer threads, CPU ms per frame: ' +
                  ', '.join('%s %.2f' % (t, per(d.get('cpu_%s_us' % t, 0)) / 1000)
                            for t in ('ui', 'receive', 'network', 'send')))
        print('  beside it, CPU ms per frame: ' + ', '.join(
            '%s %.2f' % (k, used[k][0] * 1000 / frames) for k in ('simulator', 'wineserver', 'Xvfb') if k in used) +
              '; viewer context switches per frame: %.0f' % (used.get('viewer', (0, 0))[1] / frames))
        stub_command(ctx, 'TERMCLASS=CORVIDS:TCP:' + addr)
    finally:
        cleanup(ctx)


if __name__ == '__main__':
    main()
