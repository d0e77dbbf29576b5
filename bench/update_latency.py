"""Update latency: from the Agent simulator writing the last part of a change to the
changed pixels being on the X screen. The simulator fills a rectangle with a new colour
(control: fill) and logs when the round's last byte left its socket; the X screen is
watched through DAMAGE for the colour at points inside the rectangle. One tile in the
middle and the whole screen, each in the unscaled and the scaled view, on a still
1024 x 768 x 16 desktop. Run inside the Wine world (see ./corvid bench)."""
import json
import os
import random
import time

import benchargs  # makes the harness importable
from harness import Agent, Ctx, child_rect, cleanup, reg_set_defaults, start, stub_command, wait_until  # noqa: E402
from xscreen import ScreenWatch  # noqa: E402

# Colours a 5-5-5 screen holds exactly, far apart from each other and from the demo.
COLOURS = ['f80000', '00f800', '0000f8', 'f8f800', 'f800f8', '00f8f8']


class EventTail:
    """The simulator's JSON log read on from where it was last read."""

    def __init__(self, path):
        self.f = open(path, encoding='ascii')

    def find(self, kind, key, value, timeout=10.0):
        end = time.monotonic() + timeout
        buf = ''
        while time.monotonic() < end:
            line = self.f.readline()
            if not line or not line.endswith('\n'):
                buf += line
                time.sleep(0.005)
                continue
            e = json.loads(buf + line)
            buf = ''
            if e.get('ev') == kind and e.get(key) == value:
                return e
        return None


def measure(agent, tail, watch, rect, points, samples):
    times = []
    for i in range(samples):
        colour = COLOURS[i % len(COLOURS)]
        rgb = tuple(int(colour[k:k + 2], 16) for k in (0, 2, 4))
        # The watch starts before the reply is read: the pixels may land first.
        agent.sock.sendall(('fill %d %d %d %d %s\n' % (rect + (colour,))).encode('ascii'))
        seen = watch.wait_for(points, rgb)
        reply = agent.reader.readline().split()
        if seen is None or len(reply) != 2 or reply[0] != 'ok':
            raise SystemExit('latency: change %d did not reach the screen (%s)' % (i, reply))
        sent = tail.find('change_sent', 'id', int(reply[1]))
        if sent is None or not sent['parts']:
            raise SystemExit('latency: change %d was not sent' % i)
        times.append((seen - float(sent['t'])) * 1000)
        time.sleep(random.uniform(0.03, 0.06))  # out of step with the viewer's timers
    if os.environ.get('LATENCY_DEBUG'):
        print(' '.join('%.1f' % t for t in times))
    times.sort()
    return times[len(times) // 2], times[max(0, int(len(times) * 0.99) - 1)], times[-1]


def session(a, scaled):
    W, H = (1280, 1024) if scaled else (1024, 768)
    tile = (15 * W // 32, 15 * H // 32, W // 32, H // 32)  # column 15, row 15
    tile_points = [(tile[0] + tile[2] // 2, tile[1] + tile[3] // 2)]
    full_points = [(W * fx // 100, H * fy // 100) for fx, fy in ((15, 15), (85, 15), (50, 50), (15, 85), (85, 85))]
    name = 'update_latency_%s' % ('scaled' if scaled else 'unscaled')
    ctx = Ctx(name, a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=1 if scaled else 0)
        addr = '127.0.0.33'
        agent = Agent(ctx, addr, '--screen', '%dx%dx16' % (W, H), '--fps', '0')
        viewer_class = 'CORVIDS:TCP:' + addr
        start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        if not agent.wait_packet('PKT_VIEW_GRID'):
            raise SystemExit('latency: the viewer did not build its desktop')
        if agent.command('wait-synced 30') != 'ok':
            raise SystemExit('latency: the first picture did not arrive')
        view = child_rect(ctx, viewer_class, 'CORVID:AUTOSCALES' if scaled else 'CORVID:SQUAREPAD')
        if not view:
            raise SystemExit('latency: no view')
        sx = (view[2] - view[0]) / W if scaled else 1.0
        sy = (view[3] - view[1]) / H if scaled else 1.0

        def on_screen(points):
            return [(view[0] + int(x * sx), view[1] + int(y * sy)) for x, y in points]

        time.sleep(1)
        tail = EventTail(agent.log)
        watch = ScreenWatch()
        what = ('%dx%d scaled to %dx%d' % (W, H, view[2] - view[0], view[3] - view[1]) if scaled else
                '%dx%d unscaled' % (W, H))
        for label, rect, points, samples in (('one tile', tile, tile_points, a.samples),
                                             ('full screen', (0, 0, W, H), full_points, a.samples // 2)):
            med, p99, top = measure(agent, tail, watch, rect, on_screen(points), samples)
            print('latency: %s, %s: last part sent to pixels on the X screen, %d changes: median %.1f ms, '
                  '99th percentile %.1f ms, max %.1f ms' % (what, label, samples, med, p99, top))
        stub_command(ctx, 'TERMCLASS=' + viewer_class)
        wait_until(lambda: all(p.poll() is not None for p in ctx.procs), 15)
    finally:
        cleanup(ctx)


def main():
    ap = benchargs.parser()
    ap.add_argument('--samples', type=int, default=200)
    a = ap.parse_args()
    random.seed(1)
    for scaled in (False, True):
        session(a, scaled)


if __name__ == '__main__':
    main()
