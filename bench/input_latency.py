"""Latency from an X input event to the PKT_INPUT_EVENT arriving at the Agent
simulator: pointer moves made with XTest (what xdotool uses) over the viewer's tile
pad, with remote control on. For each event the simulator is first asked to answer
once it has received one more input event (wait-input), then the X event is made;
the answer ends the clock, so each figure includes a loopback round trip.
Three conditions: an idle desktop, and the simulator's --flood of full-screen changes
shown unscaled (1024 x 768) and scaled (1280 x 1024 shrunk into the maximised window),
where tile announcements compete with input for the viewer's thread (--conditions picks
some). Run inside the Wine world (see ./corvid bench)."""
import ctypes
import subprocess
import time

import benchargs  # makes the harness importable
from harness import (Agent, Ctx, child_rect, cleanup, command_states, post, reg_set_defaults, start,  # noqa: E402
                     stub_command, wait_until)


CONDITIONS = {'idle': (0, 0), 'flood': (1, 0), 'flood-scaled': (1, 1)}


def main():
    ap = benchargs.parser()
    ap.add_argument('--events', type=int, default=1000)
    ap.add_argument('--conditions', default='idle,flood,flood-scaled')
    a = ap.parse_args()
    for name in a.conditions.split(','):
        run(a, name, *CONDITIONS[name])


def run(a, name, flood, scaled):
    ctx = Ctx('input_latency', a.bin, a.work, a.source)
    x11 = ctypes.CDLL('libX11.so.6')
    xtst = ctypes.CDLL('libXtst.so.6')
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(None)
    try:
        reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=scaled)
        addr = '127.0.0.32'
        screen = '1280x1024x16' if scaled else '1024x768x16'
        agent = Agent(ctx, addr, '--screen', screen, *(['--flood'] if flood else ['--fps', '0']))
        viewer_class = 'CORVIDS:TCP:' + addr
        start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        if not agent.wait_packet('PKT_VIEW_GRID'):
            raise SystemExit('input: the viewer did not build its desktop')
        pad = child_rect(ctx, viewer_class, 'CORVID:AUTOSCALES' if scaled else 'CORVID:SQUAREPAD')
        subprocess.run(['xdotool', 'mousemove', str(pad[0] + 5), str(pad[1] + 5), 'click', '1'], check=True)
        post(ctx, viewer_class, 0x111, 40002)
        wait_until(lambda: 'checked' in command_states(ctx, viewer_class).get(40002, ('', ''))[1], 10)
        time.sleep(1)
        seen = len(agent.packets('PKT_INPUT_EVENT'))
        times = []
        for i in range(a.events):
            seen += 1
            agent.sock.sendall(('wait-input %d 5\n' % seen).encode('ascii'))
            x, y = pad[0] + 100 + (i % 2), pad[1] + 100
            t0 = time.perf_counter()
            xtst.XTestFakeMotionEvent(display, -1, x, y, 0)
            x11.XFlush(display)
            reply = agent.reader.readline().strip()
            if reply != 'ok':
                raise SystemExit('input: event %d did not arrive (%s)' % (i, reply))
            times.append(time.perf_counter() - t0)
        times.sort()
        med = times[len(times) // 2] * 1000
        p99 = times[int(len(times) * 0.99) - 1] * 1000
        what = {'idle': 'idle %s' % screen, 'flood': 'under --flood, %s unscaled' % screen,
                'flood-scaled': 'under --flood, %s scaled' % screen}[name]
        print('input: X pointer event to PKT_INPUT_EVENT at the simulator under Wine, %s, %d events: median %.2f ms, '
              '99th percentile %.2f ms, max %.2f ms (targets under --flood: median 5 ms, 99th percentile 20 ms)' %
              (what, len(times), med, p99, times[-1] * 1000))
        stub_command(ctx, 'TERMCLASS=' + viewer_class)
    finally:
        x11.XCloseDisplay(display)
        cleanup(ctx)


if __name__ == '__main__':
    main()
