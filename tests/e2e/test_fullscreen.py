"""End-to-end full-screen mode: offered only when the local screen (the 1280 x 1024 test
display) has the remote screen's size; entering covers the display with the remote
picture and asks the Agent for every tile; F12, the pad's button, a desktop restart and
Alt+F4 bring the main window back with the view and the tile range it had."""
import subprocess
import time

from harness import (Agent, check, child_rect, command_states, end_viewer, pixel_mismatches, post, read_ppm,
                     reg_set_defaults, run_case, save_ppm, screenshot, start, wait_until, window_exists)

WM_CLOSE, WM_KEYDOWN, WM_KEYUP, WM_COMMAND, WM_SYSCOMMAND = 0x10, 0x100, 0x101, 0x111, 0x112
SC_CLOSE, VK_END, VK_F12 = 0xF060, 0x23, 0x7B
IDM_FULL_SCREEN, IDM_LEAVE_FULL_SCREEN = 40006, 40023
SCREEN_W, SCREEN_H = 1280, 1024
FULL, PAD = 'CORVID:FULLSCREEN', 'CORVID:FULLSCRTBPAD'


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def open_desktop(ctx, addr, screen, *viewer_args, maximized=1, auto_scale=0):
    # No remote cursor marker: the pictures compare the screen alone.
    reg_set_defaults(Language=0, FrameMaximized=maximized, AutoScaleScreen=auto_scale, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', screen)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', *viewer_args)
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def full_screen_state(ctx, addr):
    """'on' or 'grey' when the menu item (if the menu is loaded) and the toolbar button
    agree, else both states."""
    menu, button = command_states(ctx, viewer_class(addr)).get(IDM_FULL_SCREEN, ('none', 'none'))
    return button if menu in ('none', button) else (menu, button)


def full_screen_rect(ctx):
    """The tile pad's rectangle while the full-screen window shows it, else None."""
    return child_rect(ctx, FULL, 'CORVID:SQUAREPAD')


def pad_toolbar_rect(ctx):
    return child_rect(ctx, PAD, 'ToolbarWindow32')


def main_shown(ctx, addr):
    return child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT') is not None


def ranges(agent):
    return [[p[k] for k in ('first_column', 'column_count', 'first_row', 'row_count')]
            for p in agent.packets('PKT_SCREEN_REFRESH_RECT')]


def key_events(agent):
    return [p for p in agent.packets('PKT_INPUT_EVENT') if 'vk' in p]


def expected_picture(ctx, agent):
    path = ctx.path('expected.ppm')
    check(agent.command('pause') == 'ok', 'pause')
    check(agent.command('wait-synced 30') == 'ok', 'the simulator did not finish sending the picture')
    check(agent.command('dump ' + path) == 'ok', 'dump')
    return read_ppm(path)


def enter(ctx, addr, agent):
    """Enters by the main window's command; returns once the display is covered."""
    before = len(ranges(agent))
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_FULL_SCREEN), 'post 40006')
    check(wait_until(lambda: full_screen_rect(ctx) == (0, 0, SCREEN_W, SCREEN_H), 20),
          'the full-screen window does not cover the display: %s' % (full_screen_rect(ctx),))
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 1), 'no tile range on entering')
    # The main window's own range, asked for as it was left before, may still be on its way.
    new = ranges(agent)[before:]
    check(new[-1:] == [[0, 32, 0, 32]] and new.count([0, 32, 0, 32]) == 1, 'ranges on entering: %s' % new)
    check(not main_shown(ctx, addr), 'the main window is still shown in full screen')


def left(ctx, addr):
    return full_screen_rect(ctx) is None and main_shown(ctx, addr)


def press_f12():
    subprocess.run(['xdotool', 'key', 'F12'], check=True, timeout=30)


def match_display(ctx, agent, what, mask=None):
    """Waits until the whole display shows the simulator's picture; mask is a
    rectangle (left, top, right, bottom) where differences are allowed (the pad)."""
    w, h, want = expected_picture(ctx, agent)
    check((w, h) == (SCREEN_W, SCREEN_H), 'remote screen %dx%d' % (w, h))
    outside = [0]

    def same():
        got = screenshot(0, 0, w, h)
        bad = 0
        for y in range(h):
            row = slice(y * w * 3, (y + 1) * w * 3)
            if got[row] == want[row]:
                continue
            for x in range(w):
                if got[(y * w + x) * 3:(y * w + x) * 3 + 3] != want[(y * w + x) * 3:(y * w + x) * 3 + 3] and not (
                        mask and mask[0] <= x < mask[2] and mask[1] <= y < mask[3]):
                    bad += 1
        outside[0] = bad
        if bad:
            save_ppm(ctx.path('shown.ppm'), w, h, got)
        return bad == 0
    check(wait_until(same, 30, 1.0), '%s: %d pixels differ (see shown.ppm and expected.ppm in %s)' %
          (what, outside[0], ctx.dir))


def crop(rgb, width, left, top, w, h):
    return b''.join(rgb[((top + y) * width + left) * 3:((top + y) * width + left + w) * 3] for y in range(h))


def match_frame(ctx, addr, agent, what):
    """The unscaled view in the main window shows the picture where the frame shows the
    tile pad (the scroll bars and the client edge left out)."""
    w, h, want = expected_picture(ctx, agent)
    got = [b'', None]

    def same():
        frame = child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT')
        pad = child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD')
        if not frame or not pad:
            return False
        left, top = max(frame[0] + 2, pad[0], 0), max(frame[1] + 2, pad[1], 0)
        right, bottom = min(frame[2] - 24, pad[2], SCREEN_W), min(frame[3] - 24, pad[3], SCREEN_H)
        got[1] = (left, top, right, bottom, pad)
        shown = screenshot(left, top, right - left, bottom - top)
        got[0] = shown
        return shown == crop(want, w, left - pad[0], top - pad[1], right - left, bottom - top)
    check(wait_until(same, 30, 0.5), '%s: the frame does not show the picture (area and pad %s)' % (what, got[1]))


# --- cases -----------------------------------------------------------------------------

def case_not_offered_for_a_smaller_remote_screen(ctx):
    addr = '127.0.0.66'
    agent, viewer = open_desktop(ctx, addr, '1024x768x16')
    check(agent.command('wait-synced 30') == 'ok', 'picture not sent')
    check(full_screen_state(ctx, addr) == 'grey', 'command 40006: %s' % (full_screen_state(ctx, addr),))
    # Sent from outside anyway, the command changes nothing.
    before = len(ranges(agent))
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_FULL_SCREEN), 'post')
    time.sleep(2)
    check(full_screen_rect(ctx) is None and main_shown(ctx, addr), 'full screen was entered')
    check(len(ranges(agent)) == before, 'a tile range was sent: %s' % ranges(agent)[before:])
    close(ctx, addr, viewer)


def case_enter_shows_the_remote_screen_and_f12_leaves(ctx):
    addr = '127.0.0.61'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20),
          'command 40006 not offered: %s' % (full_screen_state(ctx, addr),))
    # Scrolled first, so that leaving must put the tile pad back where it was.
    before = len(ranges(agent))
    post(ctx, viewer_class(addr), WM_KEYDOWN, VK_END, 0)  # to the bottom
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', before + 1), 'no range after scrolling')
    time.sleep(1)
    stored = ranges(agent)[-1]
    check(stored != [0, 32, 0, 32] and stored[2] > 0, 'scrolled range %s' % stored)
    pad_before = child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD')
    check(pad_before and pad_before[1] < child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT')[1], 'not scrolled')

    enter(ctx, addr, agent)
    bar = pad_toolbar_rect(ctx)
    check(bar is not None and SCREEN_W - 60 <= bar[0] and bar[2] <= SCREEN_W and 10 <= bar[1] < 60,
          'pad toolbar at %s' % (bar,))
    match_display(ctx, agent, 'full screen', mask=(SCREEN_W - 62, 8, SCREEN_W, 80))

    inputs = len(agent.packets('PKT_INPUT_EVENT'))
    refreshes = len(ranges(agent))
    press_f12()
    check(wait_until(lambda: left(ctx, addr), 20), 'F12 did not leave full screen')
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', refreshes + 1), 'the stored range was not sent again')
    time.sleep(1)
    check(ranges(agent)[refreshes:] == [stored], 'ranges on leaving: %s' % ranges(agent)[refreshes:])
    check(len(agent.packets('PKT_INPUT_EVENT')) == inputs, 'F12 reached the Agent')
    check(child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD') == pad_before,
          'tile pad at %s, was %s' % (child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD'), pad_before))
    match_frame(ctx, addr, agent, 'after leaving')
    close(ctx, addr, viewer)


def case_leaving_by_the_pad_button_restores_the_scaled_view(ctx):
    addr = '127.0.0.62'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16', maximized=0, auto_scale=1)
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    check(agent.command('wait-synced 30') == 'ok', 'picture not sent')
    scaled = wait_until(lambda: child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES'), 20)
    check(scaled and scaled[2] - scaled[0] < SCREEN_W, 'scaled view %s' % (scaled,))
    sw, sh = scaled[2] - scaled[0], scaled[3] - scaled[1]
    time.sleep(1)
    picture = screenshot(scaled[0], scaled[1], sw, sh)
    check(ranges(agent)[-1:] in ([], [[0, 32, 0, 32]]), 'scaled range %s' % ranges(agent)[-1:])

    enter(ctx, addr, agent)
    check(child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES') is None, 'scaled view shown in full screen')
    match_display(ctx, agent, 'full screen from the scaled view', mask=(SCREEN_W - 62, 8, SCREEN_W, 80))
    # A click on the pad's button (after the separator), as the user leaves.
    bar = pad_toolbar_rect(ctx)
    refreshes = len(ranges(agent))
    subprocess.run(['xdotool', 'mousemove', str(bar[0] + 20), str(bar[1] + 12), 'click', '1'], check=True, timeout=30)
    check(wait_until(lambda: left(ctx, addr), 20), 'the pad button did not leave full screen')
    check(agent.wait_packet('PKT_SCREEN_REFRESH_RECT', refreshes + 1), 'the stored range was not sent again')
    check(ranges(agent)[refreshes:] == [[0, 32, 0, 32]], 'ranges on leaving: %s' % ranges(agent)[refreshes:])
    check(child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD') is None, 'tile pad shown in the scaled view')
    check(child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES') == scaled,
          'scaled view at %s, was %s' % (child_rect(ctx, viewer_class(addr), 'CORVID:AUTOSCALES'), scaled))
    # Repainted whole rather than tile by tile, the halftone stretch may round the edges
    # of shapes differently: compared by the average difference, which a tile pad at 1:1
    # or an unpainted view would raise far above this bound.
    shown, diff = [b''], [0.0]

    def same():
        shown[0] = screenshot(scaled[0], scaled[1], sw, sh)
        diff[0] = sum(abs(a - b) for a, b in zip(shown[0], picture)) / len(picture)
        return diff[0] < 3
    if not wait_until(same, 20, 0.5):
        save_ppm(ctx.path('before.ppm'), sw, sh, picture)
        save_ppm(ctx.path('after.ppm'), sw, sh, shown[0])
        check(False, 'the scaled view does not show the picture again: %d pixels differ, by %.1f on average '
              '(see before.ppm and after.ppm in %s)' % (pixel_mismatches(shown[0], picture), diff[0], ctx.dir))
    close(ctx, addr, viewer)


def case_desktop_restart_leaves_full_screen(ctx):
    addr = '127.0.0.63'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    enter(ctx, addr, agent)
    # Same size: the rebuilt desktop is offered full screen again, and its new tile pad
    # is the one that goes full screen.
    check(agent.command('restart') == 'ok', 'restart')
    check(agent.wait_packet('PKT_VIEW_GRID', 2), 'no new desktop after the restart')
    check(wait_until(lambda: left(ctx, addr), 20), 'the restart did not leave full screen')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered again')
    enter(ctx, addr, agent)
    match_display(ctx, agent, 'full screen after a restart', mask=(SCREEN_W - 62, 8, SCREEN_W, 80))
    # A smaller screen: left, and no longer offered.
    check(agent.command('restart 1024x768x16') == 'ok', 'restart')
    check(agent.wait_packet('PKT_VIEW_GRID', 3), 'no new desktop after the second restart')
    check(wait_until(lambda: left(ctx, addr), 20), 'the second restart did not leave full screen')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'grey', 20),
          'command 40006 after the restart to 1024x768: %s' % (full_screen_state(ctx, addr),))
    match_frame(ctx, addr, agent, 'after the restart to 1024x768')
    check(viewer.poll() is None and window_exists(ctx, FULL), 'the viewer or its full-screen window is gone')
    close(ctx, addr, viewer)


def case_closing_the_pad_keeps_full_screen(ctx):
    addr = '127.0.0.64'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    enter(ctx, addr, agent)
    check(wait_until(lambda: pad_toolbar_rect(ctx) is not None, 10), 'no pad')
    check(post(ctx, PAD, WM_SYSCOMMAND, SC_CLOSE, 0), 'post SC_CLOSE')
    check(wait_until(lambda: pad_toolbar_rect(ctx) is None, 10), 'the pad is still shown')
    time.sleep(1)
    check(full_screen_rect(ctx) == (0, 0, SCREEN_W, SCREEN_H) and not main_shown(ctx, addr), 'full screen was left')
    # Without the pad nothing of the viewer's own covers the remote picture.
    match_display(ctx, agent, 'full screen without the pad')
    inputs, shown = len(agent.packets('PKT_INPUT_EVENT')), len(ranges(agent))
    press_f12()
    # Left once the main window has asked for its own range again.
    check(wait_until(lambda: left(ctx, addr) and len(ranges(agent)) > shown, 20),
          'F12 did not leave full screen after the pad was closed')
    check(len(agent.packets('PKT_INPUT_EVENT')) == inputs, 'F12 reached the Agent')
    # Entered again, the pad is back; F12 released while the pad has the focus leaves too.
    enter(ctx, addr, agent)
    check(wait_until(lambda: pad_toolbar_rect(ctx) is not None, 10), 'the pad is not shown again')
    check(post(ctx, PAD, WM_KEYUP, VK_F12, 0xC0580001), 'post F12 to the pad')
    check(wait_until(lambda: left(ctx, addr), 20), 'F12 in the pad did not leave full screen')
    close(ctx, addr, viewer)


def case_alt_f4_in_full_screen_leaves_and_keeps_the_window(ctx):
    addr = '127.0.0.65'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    enter(ctx, addr, agent)
    # Alt+F4 (the hook is not installed) closes the focused full-screen window.
    check(post(ctx, FULL, WM_CLOSE, 0, 0), 'post WM_CLOSE')
    check(wait_until(lambda: left(ctx, addr), 20), 'WM_CLOSE did not leave full screen')
    check(window_exists(ctx, FULL) and viewer.poll() is None, 'the full-screen window was destroyed')
    check(post(ctx, PAD, WM_CLOSE, 0, 0), 'post WM_CLOSE to the pad')
    time.sleep(1)
    check(window_exists(ctx, PAD), 'the pad was destroyed')
    enter(ctx, addr, agent)
    match_display(ctx, agent, 'full screen entered again', mask=(SCREEN_W - 62, 8, SCREEN_W, 80))
    press_f12()
    check(wait_until(lambda: left(ctx, addr), 20), 'F12 did not leave full screen')
    close(ctx, addr, viewer)


def case_pad_is_dragged_by_its_toolbar(ctx):
    addr = '127.0.0.67'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    enter(ctx, addr, agent)
    bar = pad_toolbar_rect(ctx)
    check(bar is not None, 'no pad')

    def xdo(*args):
        subprocess.run(['xdotool'] + [str(a) for a in args], check=True, timeout=30)
    # Pressed on the separator, beside the button: the pad follows the pointer exactly.
    xdo('mousemove', bar[0] + 3, bar[1] + 12)
    time.sleep(0.3)
    xdo('mousedown', 1)
    time.sleep(0.3)
    for i in range(1, 11):
        xdo('mousemove', bar[0] + 3 - 20 * i, bar[1] + 12 + 10 * i)
        time.sleep(0.05)
    xdo('mouseup', 1)
    moved = (bar[0] - 200, bar[1] + 100, bar[2] - 200, bar[3] + 100)
    check(wait_until(lambda: pad_toolbar_rect(ctx) == moved, 10),
          'pad toolbar at %s after the drag, expected %s' % (pad_toolbar_rect(ctx), moved))
    check(full_screen_rect(ctx) == (0, 0, SCREEN_W, SCREEN_H), 'the drag left full screen')
    # The focus went back to the full-screen window, where F12 is heard.
    inputs = len(agent.packets('PKT_INPUT_EVENT'))
    press_f12()
    check(wait_until(lambda: left(ctx, addr), 20), 'F12 did not leave full screen after the drag')
    check(len(agent.packets('PKT_INPUT_EVENT')) == inputs, 'F12 reached the Agent')
    close(ctx, addr, viewer)


# With remote control on, the full-screen window holds the keyboard hook: other keys go
# to the Agent, F12 is consumed (press and release) and leaves.
def case_f12_with_control_and_the_hook(ctx):
    addr = '127.0.0.68'
    agent, viewer = open_desktop(ctx, addr, '1280x1024x16', 'CTRL')
    check(wait_until(lambda: full_screen_state(ctx, addr) == 'on', 20), 'command 40006 not offered')
    check(wait_until(lambda: command_states(ctx, viewer_class(addr)).get(40002, ('', ''))[1] == 'on,checked', 20),
          'remote control is not on')
    enter(ctx, addr, agent)
    keys = len(key_events(agent))
    subprocess.run(['xdotool', 'key', 'a'], check=True, timeout=30)
    check(wait_until(lambda: len(key_events(agent)) >= keys + 2, 20), 'keys do not reach the Agent in full screen')
    check([e['vk'] for e in key_events(agent)[keys:]] == [65, 65], 'keys %s' % key_events(agent)[keys:])
    check(full_screen_rect(ctx) is not None, 'a key left full screen')
    keys = len(key_events(agent))
    press_f12()
    check(wait_until(lambda: left(ctx, addr), 20), 'F12 did not leave full screen')
    time.sleep(1)
    check(len(key_events(agent)) == keys, 'F12 reached the Agent: %s' % key_events(agent)[keys:])
    # Back in the main window, keys go to the Agent from there.
    subprocess.run(['xdotool', 'key', 'b'], check=True, timeout=30)
    check(wait_until(lambda: len(key_events(agent)) >= keys + 2, 20), 'keys do not reach the Agent after leaving')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
