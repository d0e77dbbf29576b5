"""End-to-end scaled view after it was hidden: a screen change that arrives while the
unscaled view, full screen or the console shows instead is in the scaled view's picture
when it comes back, pixel for pixel as the simulator's picture averages down."""
import subprocess
import time

from harness import (Agent, check, child_rect, end_viewer, post, read_ppm, reg_set_defaults, run_case, save_ppm,
                     screenshot, start, wait_until)

WM_COMMAND, IDM_FULL_SCREEN, IDM_AUTO_SCALE = 0x111, 40006, 40059
W, H = 1280, 1024  # the test display's size, so that full screen is offered
FILL = (64, 64, 320, 256)  # inside the unscaled view of the restored main window


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def expected_scaled(ctx, agent, sw, sh, box):
    """The simulator's picture averaged onto the view pixels of box (view coordinates)."""
    path = ctx.path('expected.ppm')
    check(agent.command('wait-synced 30') == 'ok', 'the simulator did not finish sending the picture')
    check(agent.command('dump ' + path) == 'ok', 'dump')
    w, h, full = read_ppm(path)
    check((w, h) == (W, H), 'remote screen %dx%d' % (w, h))
    out = bytearray()
    for y in range(box[1], box[3]):
        y0, y1 = y * H // sh, max(y * H // sh + 1, (y + 1) * H // sh)
        for x in range(box[0], box[2]):
            x0, x1 = x * W // sw, max(x * W // sw + 1, (x + 1) * W // sw)
            n = (y1 - y0) * (x1 - x0)
            for ch in range(3):
                total = sum(full[(yy * W + xx) * 3 + ch] for yy in range(y0, y1) for xx in range(x0, x1))
                out.append((2 * total + n) // (2 * n))
    return bytes(out)


def match_scaled(ctx, addr, agent, scaled, what):
    """Waits until the scaled view, where the fill and its edges lie, shows the average
    of the simulator's picture; the 16-bit channels widen to within 3 of it."""
    check(wait_until(lambda: child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES') == scaled, 20),
          '%s: the scaled view is not back at %s' % (what, scaled))
    sw, sh = scaled[2] - scaled[0], scaled[3] - scaled[1]
    box = ((FILL[0] - 16) * sw // W, (FILL[1] - 16) * sh // H, (FILL[0] + FILL[2] + 16) * sw // W,
           (FILL[1] + FILL[3] + 16) * sh // H)
    bw, bh = box[2] - box[0], box[3] - box[1]
    want = expected_scaled(ctx, agent, sw, sh, box)
    got, bad = [b''], [0]

    def same():
        got[0] = screenshot(scaled[0] + box[0], scaled[1] + box[1], bw, bh)
        bad[0] = sum(1 for i in range(0, len(want), 3) if max(abs(got[0][i + k] - want[i + k]) for k in range(3)) > 3)
        return bad[0] == 0
    if not wait_until(same, 10, 0.5):
        save_ppm(ctx.path('shown.ppm'), bw, bh, got[0])
        save_ppm(ctx.path('want.ppm'), bw, bh, want)
        check(False, '%s: %d of %d pixels of the scaled view are stale (see shown.ppm and want.ppm in %s)' %
              (what, bad[0], bw * bh, ctx.dir))


def fill(ctx, agent, rgb, where, what):
    """Changes the simulator's screen and waits until the shown presentation has it."""
    check(agent.command('fill %d %d %d %d %s' % (FILL + (rgb,))).startswith('ok'), 'fill')
    check(agent.command('wait-synced 30') == 'ok', '%s: the change was not sent' % what)
    if where is None:  # the scaled view is compared next, or nothing of the viewer is shown
        time.sleep(1.0)
        return
    x, y = where[0] + FILL[0] + FILL[2] // 2, where[1] + FILL[1] + FILL[3] // 2
    colour = bytes.fromhex(rgb)
    check(wait_until(lambda: screenshot(x, y, 1, 1) == colour, 10), '%s: the change is not shown' % what)


def case_changes_made_while_hidden_are_in_the_scaled_view(ctx):
    addr = '127.0.0.192'
    reg_set_defaults(Language=0, FrameMaximized=0, AutoScaleScreen=1, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', '%dx%dx16' % (W, H))
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    check(agent.command('pause') == 'ok', 'pause')
    main = viewer_class(addr)
    scaled = wait_until(lambda: child_rect(ctx, main, 'CORVID:AUTOSCALES'), 20)
    check(scaled and scaled[2] - scaled[0] < W, 'scaled view %s' % (scaled,))
    fill(ctx, agent, 'ff0000', None, 'scaled')
    match_scaled(ctx, addr, agent, scaled, 'at the start')

    # Auto-scale off, a change on the tile pad, auto-scale on at the same size.
    check(post(ctx, main, WM_COMMAND, IDM_AUTO_SCALE), 'post 40059')
    pad = wait_until(lambda: child_rect(ctx, main, 'CORVID:SQUAREPAD'), 10)
    check(pad, 'the tile pad is not shown')
    fill(ctx, agent, '00ff00', pad, 'unscaled')
    check(post(ctx, main, WM_COMMAND, IDM_AUTO_SCALE), 'post 40059')
    match_scaled(ctx, addr, agent, scaled, 'auto-scale off and on')

    # Full screen entered from the scaled view, a change, F12.
    check(post(ctx, main, WM_COMMAND, IDM_FULL_SCREEN), 'post 40006')
    check(wait_until(lambda: child_rect(ctx, 'CORVID:FULLSCREEN', 'CORVID:SQUAREPAD') == (0, 0, W, H), 20),
          'full screen not entered')
    fill(ctx, agent, '0000ff', (0, 0), 'full screen')
    subprocess.run(['xdotool', 'key', 'F12'], check=True, timeout=30)
    match_scaled(ctx, addr, agent, scaled, 'full screen left')

    # The console puts the main window away; a change; the console closes.
    check(agent.command('console-open 80 25 7') == 'ok', 'console-open')
    check(wait_until(lambda: child_rect(ctx, main, 'CORVID:CLIENT') is None, 15), 'the main window stayed')
    fill(ctx, agent, 'ffff00', None, 'console')
    check(agent.command('console-close') == 'ok', 'console-close')
    check(wait_until(lambda: child_rect(ctx, main, 'CORVID:CLIENT') is not None, 15), 'the main window is not back')
    match_scaled(ctx, addr, agent, scaled, 'console closed')
    end_viewer(ctx, main, viewer)


if __name__ == '__main__':
    run_case(globals())
