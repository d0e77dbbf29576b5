"""End-to-end input forwarding: xdotool plays the operator on the Xvfb display; the
Agent simulator logs every input event the viewer sends, with decoded coordinates,
keys and flags. Also the toolbar extras that talk to the Agent: key buttons, the
level slider and the keyboard lights."""
import subprocess
import time

from harness import (Agent, check, child_rect, command_states, end_viewer, messages, post, read_log, reg_set_defaults,
                     run_case, screenshot, start, start_console, stop_console, stub_command, wait_until)

WM_COMMAND = 0x111
IDM_REMOTE_CONTROL, IDM_LEFT_CTRL, IDM_WIN_KEY = 40002, 40017, 40019


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def xdo(*args):
    subprocess.run(['xdotool'] + [str(a) for a in args], check=True, timeout=30)


def open_viewer(ctx, addr, *agent_options, auto_scale=0, show_cursor=0):
    reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=auto_scale, ShowRemoteCursor=show_cursor)
    agent = Agent(ctx, addr, '--fps', '0', *agent_options)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def inputs(agent, kind=None):
    return [p for p in agent.packets('PKT_INPUT_EVENT') if kind is None or p.get('input') == kind]


def keys(agent):
    return [p for p in agent.packets('PKT_INPUT_EVENT') if p.get('code') == 1124]


def control_on(ctx, addr, agent, view_child):
    """Focus the viewer by a click on its view, then switch remote control on."""
    rect = child_rect(ctx, viewer_class(addr), view_child)
    check(rect is not None, 'no %s' % view_child)
    xdo('mousemove', rect[0] + 5, rect[1] + 5, 'click', 1)
    time.sleep(0.5)
    check(inputs(agent) == [], 'events sent before control was switched on')
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_REMOTE_CONTROL)
    check(wait_until(lambda: command_states(ctx, viewer_class(addr)).get(IDM_REMOTE_CONTROL, ('', ''))[1]
                     .find('checked') >= 0, 10), 'remote control did not come on')
    return rect


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def case_click_and_drag_unscaled(ctx):
    addr = '127.0.0.80'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16')
    frame = child_rect(ctx, viewer_class(addr), 'CORVID:CLIENT')
    pad = control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
    # A click 10 px right of and 20 px below the pad's origin (hx = vy = 0).
    xdo('mousemove', pad[0] + 10, pad[1] + 20, 'click', 1)
    check(wait_until(lambda: len(inputs(agent, 'lup')) >= 1, 10), 'no button release arrived')
    down, up = inputs(agent, 'ldown')[-1], inputs(agent, 'lup')[-1]
    check((down['x'], down['y'], up['x'], up['y']) == (10, 20, 10, 20),
          'click at remote %s, %s' % ((down['x'], down['y']), (up['x'], up['y'])))
    check(down['wparam'] & 1 == 1, 'MK_LBUTTON in the press: %#x' % down['wparam'])
    # A drag that leaves the view to the right ends at x = W - 1 while the button is held.
    before = len(inputs(agent))
    xdo('mousemove', pad[0] + 100, pad[1] + 100, 'mousedown', 1)
    for x in range(pad[0] + 100, frame[2] + 200, 60):
        xdo('mousemove', x, pad[1] + 120)
    xdo('mouseup', 1)
    check(wait_until(lambda: len(inputs(agent, 'lup')) >= 2, 10), 'the drag did not end')
    drag = inputs(agent)[before:]
    moves = [(e['x'], e['y']) for e in drag if e['input'] == 'move']
    check(max(x for x, _ in moves) <= 1023, 'a move went past the screen: %s' % moves)
    # The visible frame is narrower than the screen only when scroll bars show; either way
    # the last positions stay on the screen and no position repeats.
    check(all(a != b for a, b in zip(moves, moves[1:])), 'a position was sent twice in a row: %s' % moves)
    check(drag[-1]['input'] == 'lup', 'last event %s' % drag[-1])
    # The same pixel reported again and again is sent once; the next pixel is sent.
    before = len(inputs(agent))
    for x in (5, 5, 5, 6):
        post(ctx, viewer_class(addr) + '>CORVID:SQUARE', 0x200, 0, (5 << 16) | x)
    check(wait_until(lambda: len(inputs(agent)) >= before + 2, 10), 'moves: %s' % inputs(agent)[before:])
    time.sleep(0.5)
    moves = inputs(agent)[before:]
    check(len(moves) == 2 and moves[1]['x'] == moves[0]['x'] + 1 and moves[0]['y'] == moves[1]['y'],
          'repeated moves: %s' % moves)
    # The wheel goes to the Agent without a position instead of scrolling the view.
    xdo('mousemove', pad[0] + 300, pad[1] + 300)
    xdo('click', 4)
    check(wait_until(lambda: inputs(agent, 'wheel'), 10), 'no wheel event')
    wheel = inputs(agent, 'wheel')[-1]
    check((wheel['delta'], wheel['x'], wheel['y']) == (120, 0, 0), 'wheel: %s' % wheel)
    close(ctx, addr, viewer)


def case_scaled_click_goes_to_remote_pixels(ctx):
    addr = '127.0.0.81'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16', auto_scale=1)
    scaled = control_on(ctx, addr, agent, 'CORVID:AUTOSCALES')
    s = (scaled[2] - scaled[0]) / 1024.0
    xdo('mousemove', scaled[0] + 100, scaled[1] + 50, 'click', 1)
    check(wait_until(lambda: inputs(agent, 'lup'), 10), 'no click arrived')
    e = inputs(agent, 'ldown')[-1]
    check((e['x'], e['y']) == (int(100 / s), int(50 / s)), 'click at %s, scale %.4f' % ((e['x'], e['y']), s))
    # Dragged past the left edge the unsigned reading gives a large x; y is untouched.
    xdo('mousemove', scaled[0] + 50, scaled[1] + 60, 'mousedown', 1)
    xdo('mousemove', scaled[0] - 1, scaled[1] + 60)
    xdo('mouseup', 1)
    check(wait_until(lambda: len(inputs(agent, 'lup')) >= 2, 10), 'the drag did not end')
    up = inputs(agent, 'lup')[-1]
    check((up['x'], up['y']) == (65535, int(60 / s)), 'release past the left edge at %s' % ((up['x'], up['y']),))
    close(ctx, addr, viewer)


def case_an_agent_that_stops_reading_never_freezes_the_viewer(ctx):
    addr = '127.0.0.87'
    console = start_console(ctx)
    # Small buffers at both ends: the connection fills after a few kilobytes, as it does
    # on Windows, instead of the megabytes loopback takes here.
    reg_set_defaults(Language=0, FrameMaximized=1, AutoScaleScreen=0, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', '1024x768x16', '--rcvbuf', '4096')
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', env={'CORVID_TEST_SNDBUF': '4096'})
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
    # Wheel turns go out in control mode whatever window has the focus.
    wheel = 'POST=%s|0x20A|0x00780000|0' % viewer_class(addr)
    check(stub_command(ctx, wheel) == 0 and wait_until(lambda: inputs(agent, 'wheel'), 10), 'no wheel event')
    check(agent.command('stall') == 'ok', 'stall')
    # Far more than the queue and the sockets hold.
    check(stub_command(ctx, wheel + '|6000') == 0, 'post wheel turns')
    try:
        viewer.wait(timeout=60)
    except subprocess.TimeoutExpired:
        check(False, 'the viewer is still running a minute after its Agent stopped reading')
    stop_console(ctx, console)
    texts = [m['text'] for m in messages(ctx)]
    check(texts == [b'The Agent at %s has stopped taking what the viewer sends. The session ends.' % addr.encode()],
          'records %s' % texts)


def case_typed_keys_arrive_only_in_control_mode(ctx):
    addr = '127.0.0.82'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16')
    pad = child_rect(ctx, viewer_class(addr), 'CORVID:SQUAREPAD')
    xdo('mousemove', pad[0] + 5, pad[1] + 5, 'click', 1)
    xdo('type', 'x')
    time.sleep(0.5)
    check(keys(agent) == [], 'keys were sent with control off: %s' % keys(agent))
    control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
    xdo('key', 'a')
    xdo('key', 'alt+Tab')
    xdo('key', 'Right')
    check(wait_until(lambda: len(keys(agent)) >= 8, 10), 'keys arrived: %s' % keys(agent))
    got = [(k['vk'], k['scan'], k['extended'], k['up']) for k in keys(agent)]
    # xdotool lets Alt go before Tab.
    want = [(65, 0x1E, False, False), (65, 0x1E, False, True),
            (18, 0x38, False, False), (9, 0x0F, False, False), (18, 0x38, False, True), (9, 0x0F, False, True),
            (39, 0x4D, True, False), (39, 0x4D, True, True)]
    check(got[:8] == want, 'keys: %s' % got)
    tab = keys(agent)[3]
    check(tab['context'], 'Tab with Alt held has the context bit: %s' % tab['flags'])
    check(not keys(agent)[0]['previous'] and keys(agent)[1]['previous'], 'previous-state bits: %s' %
          [k['flags'] for k in keys(agent)[:2]])
    # The viewer kept Alt+Tab to itself: it is still the active window.
    states = command_states(ctx, viewer_class(addr))
    check('checked' not in states.get(40018, ('', ''))[1], 'left Alt left checked: %s' % (states.get(40018),))
    close(ctx, addr, viewer)


def case_switching_control_off_releases_a_latched_ctrl(ctx):
    addr = '127.0.0.83'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16')
    control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_LEFT_CTRL)
    check(wait_until(lambda: keys(agent), 10), 'the Ctrl button sent nothing')
    check(command_states(ctx, viewer_class(addr))[IDM_LEFT_CTRL][1].find('checked') >= 0, 'Ctrl button not checked')
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_WIN_KEY)
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_REMOTE_CONTROL)
    check(wait_until(lambda: len(keys(agent)) >= 4, 10), 'keys: %s' % keys(agent))
    got = [(k['vk'], k['flags']) for k in keys(agent)]
    check(got == [(17, '0x001d0001'), (91, '0x005b0001'), (91, '0x805b0001'), (17, '0xc01d0001')], 'keys: %s' % got)
    states = command_states(ctx, viewer_class(addr))
    check(states[IDM_LEFT_CTRL][1] == 'grey', 'Ctrl button after control off: %s' % (states[IDM_LEFT_CTRL],))
    # Buttons posted while control is off send nothing.
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_WIN_KEY)
    time.sleep(0.5)
    check(len(keys(agent)) == 4, 'a key button worked with control off')
    close(ctx, addr, viewer)


def case_slider_sends_its_level_once(ctx):
    addr = '127.0.0.84'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16', '--slider', '3')
    rect = child_rect(ctx, viewer_class(addr), 'msctls_trackbar32')
    check(rect is not None, 'no slider')
    left, top, right, bottom = rect
    cy = (top + bottom) // 2

    def at(level):
        # The thumb's channel runs inside the control with a margin of about 10 px.
        return left + 10 + level * (right - left - 20) // 7

    # Released where it started: nothing is sent.
    xdo('mousemove', at(3), cy, 'mousedown', 1)
    xdo('mouseup', 1)
    time.sleep(0.5)
    check(agent.packets('PKT_SET_LEVEL') == [], 'a level was sent without a change')
    xdo('mousemove', at(3), cy, 'mousedown', 1)
    for x in range(at(3), at(5) + 1, 3):
        xdo('mousemove', x, cy)
    xdo('mousemove', at(5), cy, 'mouseup', 1)
    check(agent.wait_packet('PKT_SET_LEVEL', 1, 10), 'no level sent')
    time.sleep(0.5)
    levels = [p.get('value', p.get('level')) for p in agent.packets('PKT_SET_LEVEL')]
    check(levels == [5], 'levels sent: %s' % levels)
    close(ctx, addr, viewer)


def case_keyboard_lights_follow_the_agent(ctx):
    addr = '127.0.0.85'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16')
    light = child_rect(ctx, viewer_class(addr), 'CORVID:KEYBLIGHT')
    check(light is not None, 'no key light')
    lit = [(40, 210, 60), (250, 200, 30), (60, 150, 255)]

    def shown():
        px = screenshot(light[0], light[1], 72, 22)
        return [tuple(px[(11 * 72 + 24 * i + 12) * 3:(11 * 72 + 24 * i + 12) * 3 + 3]) for i in range(3)]
    check(all(c != lit[i] for i, c in enumerate(shown())), 'a light is lit at start: %s' % shown())
    check(agent.command('lights 1 0 2') == 'ok', 'lights')
    check(wait_until(lambda: [c == lit[i] for i, c in enumerate(shown())] == [True, False, True], 10),
          'lights shown: %s' % shown())
    close(ctx, addr, viewer)


def case_remote_cursor_marker_follows_and_hostile_cursors_are_refused(ctx):
    addr = '127.0.0.86'
    agent, viewer = open_viewer(ctx, addr, '--screen', '1024x768x16', show_cursor=1)
    pad = control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
    check(agent.command('cursor-pos 200 100') == 'ok', 'cursor-pos')
    check(wait_until(lambda: child_rect(ctx, viewer_class(addr), 'CORVID:REMOTE:CURSOR') ==
                     (pad[0] + 200, pad[1] + 100, pad[0] + 211, pad[1] + 119), 10),
          'marker at %s, pad at %s' % (child_rect(ctx, viewer_class(addr), 'CORVID:REMOTE:CURSOR'), pad))
    # The marker shows the arrow over the remote picture: its tip is black, beside it the screen.
    tip = screenshot(pad[0] + 200, pad[1] + 100, 1, 1)
    check(tip == b'\x00\x00\x00', 'marker tip %s' % tip.hex())
    # Clicks on the marker reach the screen beneath it.
    xdo('mousemove', pad[0] + 203, pad[1] + 108, 'click', 1)
    check(wait_until(lambda: inputs(agent, 'lup'), 10), 'a click on the marker was lost')
    check((inputs(agent, 'ldown')[-1]['x'], inputs(agent, 'ldown')[-1]['y']) == (203, 108), 'click on the marker')
    # Standard index beyond the table, a shape larger than its masks, short packets:
    # logged and dropped, the session goes on.
    for line in ('cursor-std 15', 'cursor-std 4294967295', 'cursor-shape 0 0 255 255', 'cursor-shape 1 1 32 64',
                 'raw 0e00000002000000000000000000', 'raw 1c000000040000000000000000000000'):
        check(agent.command(line) == 'ok', line)
    check(agent.command('cursor-pos 10 20') == 'ok', 'cursor-pos')
    check(wait_until(lambda: child_rect(ctx, viewer_class(addr), 'CORVID:REMOTE:CURSOR') ==
                     (pad[0] + 10, pad[1] + 20, pad[0] + 21, pad[1] + 39), 10),
          'the viewer stopped following: marker at %s' % (child_rect(ctx, viewer_class(addr), 'CORVID:REMOTE:CURSOR'),))
    log = read_log(ctx)
    check(b'PKT_CURSOR_STANDARD 15 is not a standard cursor' in log, 'no log line for index 15')
    check(b'PKT_CURSOR_SHAPE of 255 x 127 does not fit' in log, 'no log line for the oversized shape')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
