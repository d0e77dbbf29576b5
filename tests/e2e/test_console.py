"""End-to-end remote console: the Agent simulator opens a text console on the viewer,
the console is read back from outside (the stand-in attaches to it), keys are typed
into it with xdotool, and the simulator logs what arrived."""
import os
import re
import struct
import subprocess
import time

from harness import (Agent, check, child_rect, command_states, end_viewer, find_windows_by_title, post, read_log,
                     reg_set_defaults, reg_settings, run_case, start, stub_command, wait_until)

WM_COMMAND = 0x111
IDM_REMOTE_CONTROL, IDM_SWITCH, IDM_PAD_FOLLOWS_CONSOLE = 40002, 40003, 40026
PAD = 'CORVID:CONSOLE:BUTTPAD'


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def title(addr):
    return 'Tessaly 3.34.1 Full-screen console - [%s]' % addr


def open_session(ctx, addr, **settings):
    reg_set_defaults(Language=0, **settings)
    agent = Agent(ctx, addr, '--fps', '0')
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def command(agent, line):
    answer = agent.command(line)
    check(answer == 'ok', '%s: %s' % (line, answer))


def read_console(ctx, addr):
    """{title, window, size, cursor, rows: [(text, attrs)]} of the viewer's console, or None."""
    out = ctx.path('console.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'CONSOLE=' + viewer_class(addr), 'OUT=console.txt') != 0:
        return None
    with open(out, 'rb') as f:
        lines = f.read().decode('latin-1').split('\n')
    c = {'title': lines[0][6:], 'window': tuple(int(v) for v in lines[1].split()[1:]),
         'size': tuple(int(v) for v in lines[2].split()[1:]), 'cursor': tuple(int(v) for v in lines[3].split()[1:])}
    c['rows'] = [tuple(l.rsplit('|', 1)) for l in lines[4:] if '|' in l]
    return c


def agent_screen(ctx, agent):
    path = ctx.path('agent-screen.txt')
    command(agent, 'console-dump ' + path)
    with open(path, 'rb') as f:
        return f.read().decode('latin-1').split('\n')[:-1]


def console_shows(ctx, addr, agent, timeout=10):
    """Waits until the console holds exactly the simulator's screen; returns it."""
    want = agent_screen(ctx, agent)
    got = wait_until(lambda: (lambda c: c if c and [t for t, _ in c['rows']] == want else None)(
        read_console(ctx, addr)), timeout, 0.3)
    if not got:
        c = read_console(ctx, addr)
        check(False, 'console %s instead of %s' % (c and [t for t, _ in c['rows']], want))
    return got


def console_windows(addr):
    """X windows of the console (xdotool takes a pattern)."""
    return find_windows_by_title('^' + re.escape(title(addr)) + '$')


def main_shown(ctx, addr):
    return child_rect(ctx, viewer_class(addr), '') is not None


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def case_console_opens_shows_the_screen_and_closes(ctx):
    addr = '127.0.0.140'
    agent, viewer = open_session(ctx, addr)
    t0 = time.time()
    command(agent, 'console-open 80 25 1e')
    check(wait_until(lambda: console_windows(addr), 15), 'no console window')
    c = console_shows(ctx, addr, agent)
    print('console shown after %.2f s' % (time.time() - t0))
    check(c['title'] == title(addr), 'title %r' % c['title'])
    check(c['size'] == (80, 25), 'size %s' % (c['size'],))
    check(c['cursor'][:2] == (2, 24), 'cursor %s' % (c['cursor'],))
    check(all(a == '001e' * 80 for _, a in c['rows']), 'colours %s' % c['rows'][0][1][:40])
    check(wait_until(lambda: not main_shown(ctx, addr), 5), 'the main window is still shown')
    check(wait_until(lambda: child_rect(ctx, PAD, '') is not None, 5), 'no button pad')
    # One row rewritten: exactly that row changes.
    before = [t for t, _ in c['rows']]
    command(agent, 'console-line 7   seven, indented')
    c = console_shows(ctx, addr, agent)
    after = [t for t, _ in c['rows']]
    check(after[7] == '  seven, indented'.ljust(80) and after[:7] + after[8:] == before[:7] + before[8:],
          'rows changed: %s' % [i for i in range(25) if after[i] != before[i]])
    # The cursor moves; size 0 with the same visibility is not applied.
    command(agent, 'console-cursor 10 3 50 1')
    check(wait_until(lambda: read_console(ctx, addr)['cursor'] == (10, 3, 50, 1), 5), 'cursor not moved')
    command(agent, 'console-cursor 11 3 0 1')
    check(wait_until(lambda: read_console(ctx, addr)['cursor'] == (11, 3, 50, 1), 5), 'cursor size 0 applied')
    command(agent, 'console-close')
    check(wait_until(lambda: not console_windows(addr), 10), 'the console stayed')
    check(wait_until(lambda: main_shown(ctx, addr), 5), 'the main window did not come back')
    check(child_rect(ctx, PAD, '') is None, 'the pad stayed')
    check(viewer.poll() is None, 'the viewer ended')
    close(ctx, addr, viewer)


def keys(agent):
    return [(p['vk'], p['flags']) for p in agent.packets('PKT_INPUT_EVENT') if p.get('code') == 1124]


def type_into_console(addr, *keystrokes):
    ids = console_windows(addr)
    check(ids, 'no console window to type into')
    subprocess.run(['xdotool', 'windowfocus', '--sync', ids[0]], check=True, timeout=30)
    for k in keystrokes:
        subprocess.run(['xdotool', 'key', '--delay', '50', k], check=True, timeout=30)


def open_console(ctx, addr, agent, geometry='80 25 7'):
    command(agent, 'console-open ' + geometry)
    check(wait_until(lambda: console_windows(addr), 15), 'no console window')
    c = console_shows(ctx, addr, agent)
    # The console shows the screen a moment before the viewer has put its pad beside it.
    check(wait_until(lambda: child_rect(ctx, PAD, '') is not None, 10), 'no button pad')
    return c


def case_keys_typed_in_the_console_reach_the_agent_in_control_mode_only(ctx):
    addr = '127.0.0.141'
    agent, viewer = open_session(ctx, addr)
    open_console(ctx, addr, agent)
    states = command_states(ctx, PAD)
    check([states.get(c, ('', ''))[1] for c in (40002, 40017, 40025, 40026)] == ['on', 'grey', 'on', 'on,checked'],
          'pad states %s' % states)
    type_into_console(addr, 'x', 'ctrl+c')  # view only: nothing may be sent
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_REMOTE_CONTROL)
    check(wait_until(lambda: pad_state(ctx, IDM_REMOTE_CONTROL) == 'on,checked', 10), 'control did not come on')
    check(pad_state(ctx, 40017) == 'on', 'left Ctrl button: %s' % pad_state(ctx, 40017))
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_SWITCH)
    check(wait_until(lambda: pad_state(ctx, IDM_SWITCH) == 'on,checked', 10), 'the switch is not shown on the pad')
    type_into_console(addr, 'a', 'ctrl+c', 'Up')
    # xdotool lets Ctrl go before C; a release sets bit 31, the cursor key bit 24.
    want = [(65, '0x001e0001'), (65, '0x801e0001'), (17, '0x001d0001'), (67, '0x002e0001'), (17, '0x801d0001'),
            (67, '0x802e0001'), (38, '0x01480001'), (38, '0x81480001')]
    check(wait_until(lambda: len(keys(agent)) >= len(want), 10), 'keys: %s' % keys(agent))
    check(keys(agent) == want, 'keys %s' % keys(agent))
    # The shell behind the console echoed them; Ctrl+C did not end the viewer.
    c = console_shows(ctx, addr, agent)
    check(any('> a^C' in t for t, _ in c['rows']), 'echo: %s' % [t for t, _ in c['rows']][-3:])
    check(viewer.poll() is None, 'Ctrl+C ended the viewer')
    close(ctx, addr, viewer)


def pad_state(ctx, command):
    return command_states(ctx, PAD).get(command, ('', ''))[1]


def pad_at(ctx):
    r = child_rect(ctx, PAD, '')
    return r and (r[0], r[1])


def case_the_pinned_pad_follows_the_console_and_a_second_start_reopens(ctx):
    addr = '127.0.0.142'
    agent, viewer = open_session(ctx, addr, ClipConTools=1, XConClip=360, YConClip=-7)
    c = open_console(ctx, addr, agent)
    x, y = c['window'][:2]
    check(wait_until(lambda: pad_at(ctx) == (x + 360, y - 7), 5), 'pad at %s, console at %s' % (pad_at(ctx), (x, y)))
    check(stub_command(ctx, 'MOVECONSOLE=%s|%d|%d' % (viewer_class(addr), 150, 120)) == 0, 'console not moved')
    t0 = time.time()
    check(wait_until(lambda: pad_at(ctx) == (150 + 360, 120 - 7), 5), 'pad stayed at %s' % (pad_at(ctx),))
    print('the pad followed after %.2f s' % (time.time() - t0))
    check(time.time() - t0 < 1.5, 'the pad took %.2f s' % (time.time() - t0))
    # Unpinned, the pad stays where it is; pinned again, it records its offset, clamped.
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_PAD_FOLLOWS_CONSOLE)
    check(wait_until(lambda: pad_state(ctx, IDM_PAD_FOLLOWS_CONSOLE) == 'on', 5), 'pinning stayed on')
    check(stub_command(ctx, 'MOVECONSOLE=%s|%d|%d' % (viewer_class(addr), 600, 130)) == 0, 'console not moved')
    time.sleep(1.2)  # two timer periods: an unpinned pad must not follow
    check(pad_at(ctx) == (510, 113), 'an unpinned pad moved to %s' % (pad_at(ctx),))
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_PAD_FOLLOWS_CONSOLE)
    # The offset (-90, -17) is clamped to (-20, -10).
    check(wait_until(lambda: pad_at(ctx) == (600 - 20, 130 - 10), 5), 'pinned again at %s' % (pad_at(ctx),))
    # A second start while open: closed and opened again at the new size.
    command(agent, 'console-line 0 before the second start')
    c = open_console(ctx, addr, agent, '60 20 2f')
    check(c['size'] == (60, 20) and c['rows'][0][1] == '002f' * 60, 'reopened as %s' % (c['size'],))
    check(not main_shown(ctx, addr), 'the main window is shown')
    check(len(console_windows(addr)) == 1, 'consoles: %s' % console_windows(addr))
    close(ctx, addr, viewer)
    s = reg_settings()
    check((s['XConClip'][1], s['YConClip'][1]) == (0xFFFFFFEC, 0xFFFFFFF6), 'offset saved as %s' % ((s['XConClip'], s['YConClip']),))


def packet_hex(*fields):
    return ''.join(struct.pack(f, v).hex() for f, v in fields)


def case_console_packets_with_bad_geometry_are_refused(ctx):
    addr = '127.0.0.143'
    agent, viewer = open_session(ctx, addr)
    blank = '2000' + '0700'

    def start(w, h, cx=0, cy=0, cells=None):
        n = w * h if cells is None else cells
        return packet_hex(('<h', w), ('<h', h), ('<h', cx), ('<h', cy), ('<I', 25), ('<I', 1), ('<I', 0)) + blank * n

    def line(row, count, cells=None):
        return packet_hex(('<h', row), ('<h', count)) + blank * (count if cells is None else cells)

    hostile = [(22, start(89, 89)), (22, start(0, 25)), (22, start(-80, -25)), (22, start(80, 25, cells=80 * 25 - 1)),
               (22, '00'), (24, line(0, 80))]
    for t, payload in hostile:  # no console yet: none may open
        command(agent, 'send %d 1 %s' % (t, payload))
    c = open_console(ctx, addr, agent)
    before = [t for t, _ in c['rows']]
    hostile = [(24, line(25, 80)), (24, line(-1, 80)), (24, line(98, 80)), (24, line(0, 79)), (24, line(0, 81)),
               (24, line(0, 80, 79)), (24, '0000'), (23, '0000'), (22, start(89, 89))]
    for t, payload in hostile:
        command(agent, 'send %d 1 %s' % (t, payload))
    command(agent, 'console-line 3 still taken')
    c = console_shows(ctx, addr, agent)
    check([t for t, _ in c['rows']][:3] + [t for t, _ in c['rows']][4:] == before[:3] + before[4:], 'rows changed')
    check(c['cursor'][:2] == (2, 24) and c['size'] == (80, 25), 'cursor %s size %s' % (c['cursor'], c['size']))
    refused = read_log(ctx).count(b'refused:')
    check(refused == 15, 'refusals logged: %d\n%s' % (refused, read_log(ctx).decode('latin-1')[-2000:]))
    check(viewer.poll() is None, 'the viewer ended')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
