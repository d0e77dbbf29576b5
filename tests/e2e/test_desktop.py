"""End-to-end remote desktop: the viewer under Wine shows what the Agent simulator
serves, pixel for pixel, at every supported depth, scaled and unscaled; it tells the
Agent which tiles it shows; and it rebuilds the view when the remote screen changes."""
import struct
import subprocess
import time

from harness import (Agent, check, child_rect, end_viewer, messages, pixel_mismatches, post, read_log, read_ppm,
                     reg_set_defaults, run_case, save_ppm, screenshot, start, start_console, stop_console, wait_until)

WM_KEYDOWN, WM_SYSCOMMAND, SC_MINIMIZE, SC_RESTORE, VK_NEXT = 0x100, 0x112, 0xF020, 0xF120, 0x22


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def open_desktop(ctx, addr, *agent_options, maximized=1, auto_scale=0):
    # The remote-pointer marker would cover pixels of the picture compared.
    reg_set_defaults(Language=0, FrameMaximized=maximized, AutoScaleScreen=auto_scale, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', *agent_options)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def expected_picture(ctx, agent):
    """The pixels the simulator has sent, once everything visible has gone out."""
    path = ctx.path('expected.ppm')
    check(agent.command('pause') == 'ok', 'pause')
    check(agent.command('wait-synced 30') == 'ok', 'the simulator did not finish sending the picture')
    check(agent.command('dump ' + path) == 'ok', 'dump')
    return read_ppm(path)


def shown_picture(ctx, addr, child, w, h):
    """The pixels of the child window, or None while it is not shown."""
    rect = child_rect(ctx, viewer_class(addr), child)
    return screenshot(rect[0], rect[1], w, h) if rect else None


def match_unscaled(ctx, addr, agent, what):
    """Waits until the tile pad shows exactly the simulator's picture. A view grid sent
    after the picture was taken (a layout settling after a rebuild) makes the simulator
    send more of it, so the picture is taken again."""
    grids = [len(agent.packets('PKT_VIEW_GRID'))]
    w, h, want = expected_picture(ctx, agent)
    got = [b'']

    def same():
        nonlocal w, h, want
        if len(agent.packets('PKT_VIEW_GRID')) != grids[0]:
            grids[0] = len(agent.packets('PKT_VIEW_GRID'))
            w, h, want = expected_picture(ctx, agent)
        got[0] = shown_picture(ctx, addr, 'CORVID:SQUAREPAD', w, h)
        return got[0] == want
    if not wait_until(same, 30, 0.5):
        check(got[0] is not None, '%s: no CORVID:SQUAREPAD window is shown' % what)
        save_ppm(ctx.path('shown.ppm'), w, h, got[0])
        subprocess.run(['import', '-silent', '-window', 'root', ctx.path('display.png')], timeout=60)
        check(False, '%s: %d of %d pixels differ (see shown.ppm, expected.ppm and display.png in %s); pad at %s' %
              (what, pixel_mismatches(got[0], want), w * h, ctx.dir,
               child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD')))


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def case_unscaled_16_bits(ctx):
    addr = '127.0.0.51'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1024x768x16')
    match_unscaled(ctx, addr, agent, '16 bits')
    close(ctx, addr, viewer)


def case_unscaled_8_bits_custom_palette(ctx):
    addr = '127.0.0.52'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1000x700x8', '--palette', 'custom')
    match_unscaled(ctx, addr, agent, '8 bits')
    close(ctx, addr, viewer)


def case_unscaled_4_bits(ctx):
    addr = '127.0.0.53'
    agent, viewer = open_desktop(ctx, addr, '--screen', '800x600x4')  # tiles 25 pixels wide
    match_unscaled(ctx, addr, agent, '4 bits')
    close(ctx, addr, viewer)


def case_unscaled_1_bit(ctx):
    addr = '127.0.0.54'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1000x740x1')  # tiles 31 pixels wide
    match_unscaled(ctx, addr, agent, '1 bit')
    close(ctx, addr, viewer)


def case_scaled_view_matches_a_reference_stretch(ctx):
    addr = '127.0.0.55'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1024x768x16', maximized=0, auto_scale=1)
    W, H, full = expected_picture(ctx, agent)
    check(wait_until(lambda: child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES'), 20), 'no scaled view')
    frame = child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT')
    scaled = child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES')
    sw, sh = scaled[2] - scaled[0], scaled[3] - scaled[1]
    check(sw < W and abs(sw / sh - W / H) < 0.01, 'scaled size %dx%d inside frame %s' % (sw, sh, frame))
    check(agent.packets('PKT_SCREEN_REFRESH_RECT')[-1:] == [] or
          [agent.packets('PKT_SCREEN_REFRESH_RECT')[-1][k] for k in
           ('first_column', 'column_count', 'first_row', 'row_count')] == [0, 32, 0, 32], 'scaled range')
    # Reference: each shown pixel is the average of the remote pixels it covers.
    def reference():
        out = bytearray()
        for y in range(sh):
            y0, y1 = y * H // sh, max(y * H // sh + 1, (y + 1) * H // sh)
            for x in range(sw):
                x0, x1 = x * W // sw, max(x * W // sw + 1, (x + 1) * W // sw)
                for ch in range(3):
                    total = n = 0
                    for yy in range(y0, y1, max(1, (y1 - y0) // 2)):
                        for xx in range(x0, x1, max(1, (x1 - x0) // 2)):
                            total += full[(yy * W + xx) * 3 + ch]
                            n += 1
                    out.append(total // n)
        return bytes(out)
    ref = reference()
    diff = [0.0]

    def close_enough():
        got = screenshot(scaled[0], scaled[1], sw, sh)
        save_ppm(ctx.path('scaled.ppm'), sw, sh, got)
        save_ppm(ctx.path('reference.ppm'), sw, sh, ref)
        diff[0] = sum(abs(a - b) for a, b in zip(got, ref)) / len(ref)
        return diff[0] < 12
    check(wait_until(close_enough, 30, 1.0), 'scaled view differs from the reference by %.1f on average' % diff[0])
    close(ctx, addr, viewer)


def range_of(packet):
    return [packet[k] for k in ('first_column', 'column_count', 'first_row', 'row_count')]


def expected_range(W, H, hx, vy, cx, cy):
    """The visible tile range rule, written out independently."""
    def axis(size, off, client):
        t = size // 32
        edges = [t * (i + 1) for i in range(31)] + [size]
        limit = min(off + client, size)
        first = next((i for i, e in enumerate(edges) if e > off), 31)
        last = next((i for i, e in enumerate(edges) if e >= limit), 32)
        count = last - first + (1 if limit > off else 0)
        return first, min(count, 32 - first)
    fc, cc = axis(W, hx, cx)
    fr, rc = axis(H, vy, cy)
    return [fc, cc, fr, rc]


def case_visible_range_follows_size_scroll_and_minimise(ctx):
    addr = '127.0.0.56'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1600x1200x16', maximized=0)
    frame = child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT')
    check(frame is not None, 'no view frame')
    # Both bars are shown on a 1600 x 1200 screen; the client area is the frame less them.
    time.sleep(2)  # the layout after the build sends a range only when it differs
    grid = agent.packets('PKT_VIEW_GRID')[0]
    check(range_of(grid)[0] == 0 and range_of(grid)[2] == 0, 'view grid %s' % grid)
    refreshes = agent.packets('PKT_SCREEN_REFRESH_RECT')
    last = range_of(refreshes[-1]) if refreshes else range_of(grid)
    check(last[0] == 0 and last[2] == 0 and 0 < last[1] < 32 and 0 < last[3] < 32, 'first range %s' % last)
    before = len(agent.packets('PKT_SCREEN_REFRESH_RECT'))
    post(ctx, viewer_class(addr), WM_KEYDOWN, VK_NEXT, 0)  # Page Down scrolls a tenth of the range
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 1), 'no range after scrolling')
    scrolled = range_of(agent.packets('PKT_SCREEN_REFRESH_RECT')[-1])
    check(scrolled[2] > 0 and scrolled[0] == 0, 'scrolled range %s' % scrolled)
    before = len(agent.packets('PKT_SCREEN_REFRESH_RECT'))
    post(ctx, viewer_class(addr), WM_SYSCOMMAND, SC_MINIMIZE, 0)
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 1), 'no range after minimising')
    check(range_of(agent.packets('PKT_SCREEN_REFRESH_RECT')[-1]) == [0, 0, 0, 0], 'minimised range')
    post(ctx, viewer_class(addr), WM_SYSCOMMAND, SC_RESTORE, 0)
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 2), 'no range after restoring')
    check(range_of(agent.packets('PKT_SCREEN_REFRESH_RECT')[-1]) == scrolled, 'restored range')
    close(ctx, addr, viewer)


def case_restart_with_a_new_size_rebuilds_the_view(ctx):
    addr = '127.0.0.57'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1024x768x16')
    match_unscaled(ctx, addr, agent, 'before the restart')
    check(agent.command('restart 800x600x8') == 'ok', 'restart')
    check(agent.wait_packet('PKT_VIEW_GRID', 2), 'no new view grid after the restart')
    check(len(agent.packets('PKT_CLIENT_INFO')) == 2, 'client information is sent again')
    match_unscaled(ctx, addr, agent, 'after the restart')
    close(ctx, addr, viewer)


def case_parts_racing_a_restart_are_survived(ctx):
    addr = '127.0.0.60'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1024x768x16')
    match_unscaled(ctx, addr, agent, 'before the restart')
    # A desktop restart followed at once by screen parts the viewer may meet while it
    # tears its desktop down, and by parts for tiles that do not exist.
    restart = '0d000000' + '00000000' + '01000000'
    xor = '05000000' + '02060000' + '01000000' + '0000' + 'ff' * 1536
    outside = '05000000' + '04000000' + '01000000' + '2020ffff'
    for n in range(2, 5):
        check(agent.command('raw ' + restart + xor * 40 + outside) == 'ok', 'raw')
        check(agent.wait_packet('PKT_VIEW_GRID', n), 'the desktop was not rebuilt after restart %d' % (n - 1))
    check(viewer.poll() is None, 'the viewer ended')
    check(agent.command('resume') == 'ok', 'resume')
    match_unscaled(ctx, addr, agent, 'after the restarts')
    close(ctx, addr, viewer)


def case_a_second_login_reply_is_ignored_and_a_huge_screen_refused(ctx):
    addr = '127.0.0.69'
    agent, viewer = open_desktop(ctx, addr, '--screen', '1600x1200x16', maximized=0)
    console = start_console(ctx)
    # Accepted, no rights: taken as it is, it would wipe the running session's facts.
    reply = struct.pack('<IHBIi16sII', 0, 0x310, 2, 5, 1, b'OTHER', 0, 0)
    check(agent.command('send 1 1 ' + reply.hex()) == 'ok', 'send')
    check(wait_until(lambda: b'PKT_LOGIN_REPLY of 39 bytes after the login was accepted: ignored.' in read_log(ctx),
                     20), 'no log line for the second login reply')
    before = len(agent.packets('PKT_SCREEN_REFRESH_RECT'))
    post(ctx, viewer_class(addr), WM_KEYDOWN, VK_NEXT, 0)  # scrolls only while the desktop is active
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 1), 'the desktop is no longer active')
    # 65,535 pixels a side would ask for gigabytes: refused before anything is allocated.
    huge = struct.pack('<HHHHHBB', 65535, 65535, 1, 16, 16, 1, 1)
    check(agent.command('send 3 1 ' + huge.hex()) == 'ok', 'send')
    viewer.wait(timeout=30)
    stop_console(ctx, console)
    texts = [m['text'] for m in messages(ctx)]
    check(len(texts) == 1 and b'65535 x 65535 pixels at 16 bits' in texts[0], 'records %s' % texts)


def case_screens_that_cannot_be_shown_end_the_session_with_a_message(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    for addr, screen in (('127.0.0.58', '31x600x16'), ('127.0.0.59', '640x480x24')):
        agent = Agent(ctx, addr, '--screen', screen)
        viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
        viewer.wait(timeout=30)
        check(not agent.packets('PKT_VIEW_GRID'), 'no desktop is built for %s' % screen)
    stop_console(ctx, console)
    texts = [m['text'] for m in messages(ctx)]
    check(len(texts) == 2 and all(t.startswith(b'The remote screen of ') for t in texts), 'records %s' % texts)
    check(b'31 x 600 pixels at 16' in texts[0] and b'640 x 480 pixels at 24' in texts[1], 'texts %s' % texts)


if __name__ == '__main__':
    run_case(globals())
