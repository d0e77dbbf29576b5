"""End-to-end auxiliary windows: a message typed into the send-message dialog reaches the
Agent with its icon and time-out, and the next opening starts from that choice; an empty
or cancelled message sends nothing; the system-information dialog shows what the Agent
announced and counters that grow; a desktop restart closes it; the logo shows its
picture and closes itself or at a click.

The console stand-in fills the dialogs as an operator would (control texts and button
clicks) and reads their texts back; xdotool clicks on the test display."""
import os
import re
import struct
import subprocess
import sys
import time

from harness import (Agent, check, child_rect, command_states, dialog, end_viewer, lang_string, post, reg_set_defaults,
                     run_case, screenshot, start, stub_command, wait_until)

WM_COMMAND = 0x111
IDOK, IDCANCEL = 1, 2
IDM_SEND_MESSAGE, IDM_SYSTEM_INFO, IDM_LOGO = 40004, 40010, 40016
# Send message (template 126)
MSG_TEXT, MSG_ERROR, MSG_TIMEOUT, MSG_SECONDS = 1010, 1020, 1022, 1023
# System information (template 125)
INFO = {'access': 1008, 'version': 1009, 'os': 1010, 'computer': 1011, 'size': 1012, 'depth': 1013,
        'colours': 1014, 'sent': 1015, 'received': 1016, 'send_rate': 1030, 'receive_rate': 1031,
        'part_rate': 1032, 'decode': 1033}
MB_ICONERROR, NO_TIMEOUT = 16, 0xFFFFFFFF
GROUPED = re.compile(r'^\d{1,3}(?: \d{3})*$')


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def open_viewer(ctx, addr, *agent_options, language=0):
    reg_set_defaults(Language=language)
    agent = Agent(ctx, addr, '--screen', '640x480x16', *agent_options)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def control_text(ctx, addr, control):
    """Text of a control of the dialog the viewer shows, or None when there is none."""
    out = ctx.path('text.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'TEXT=%s|%d' % (viewer_class(addr), control), 'OUT=text.txt') != 0:
        return None
    with open(out, encoding='utf-8') as f:
        return f.read()


def open_dialog(ctx, addr, command, probe):
    check(post(ctx, viewer_class(addr), WM_COMMAND, command), 'posting %d' % command)
    check(wait_until(lambda: control_text(ctx, addr, probe) is not None, 20), 'dialog of %d did not open' % command)


def wait_closed(ctx, addr, probe, what):
    check(wait_until(lambda: control_text(ctx, addr, probe) is None, 20), '%s: the dialog stayed open' % what)


def send_message(ctx, addr, text, *clicks, seconds=None, button=IDOK):
    """Opens the dialog, types the text, clicks the given controls, fills the time-out
    box when told, and ends the dialog with button."""
    open_dialog(ctx, addr, IDM_SEND_MESSAGE, MSG_TEXT)
    check(dialog(ctx, viewer_class(addr), MSG_TEXT, text), 'typing the message')
    for control in clicks:
        check(dialog(ctx, viewer_class(addr), control), 'clicking %d' % control)
    if seconds is not None:
        check(dialog(ctx, viewer_class(addr), MSG_SECONDS, seconds), 'typing the time-out')
    check(dialog(ctx, viewer_class(addr), button), 'clicking %d' % button)
    wait_closed(ctx, addr, MSG_TEXT, 'button %d' % button)


def messages(agent):
    """(text, icon, time-out) of every PKT_SEND_MESSAGE, as the simulator opened it."""
    out = []
    for p in agent.packets('PKT_SEND_MESSAGE'):
        check(p['type'] == 19 and p['len'] == 592 and p['required'] == 1 and p.get('open_ok'), 'packet %s' % p)
        out.append((p['text'], p['icon'], p['timeout']))
    return out


def open_message_viewer(ctx, addr):
    agent, viewer = open_viewer(ctx, addr, '--fps', '0', '--rights', '2')
    check(wait_until(lambda: command_states(ctx, viewer_class(addr)).get(IDM_SEND_MESSAGE, ('', ''))[1] == 'on', 20),
          'the control right enables send message')
    return agent, viewer


def case_message_reaches_the_agent_and_its_choice_is_remembered(ctx):
    addr = '127.0.0.110'
    agent, viewer = open_message_viewer(ctx, addr)
    send_message(ctx, addr, 'Backup-at-18:00,please-log-off.', MSG_ERROR, MSG_TIMEOUT, seconds='30')
    check(agent.wait_packet('PKT_SEND_MESSAGE'), 'no PKT_SEND_MESSAGE arrived')
    # The next opening starts from the error icon and 30 s: OK alone sends them again.
    send_message(ctx, addr, 'Second')
    check(agent.wait_packet('PKT_SEND_MESSAGE', 2), 'the second message did not arrive')
    got = messages(agent)
    check(got == [('Backup-at-18:00,please-log-off.', MB_ICONERROR, 30), ('Second', MB_ICONERROR, 30)],
          'messages %s' % got)
    close(ctx, addr, viewer)


def case_empty_or_cancelled_message_sends_nothing(ctx):
    addr = '127.0.0.111'
    agent, viewer = open_message_viewer(ctx, addr)
    send_message(ctx, addr, '', MSG_ERROR, MSG_TIMEOUT, seconds='5')     # OK on an empty text
    send_message(ctx, addr, 'Not-this-one', button=IDCANCEL)
    # What the viewer sends is ordered: the last message is the only one.
    send_message(ctx, addr, 'Only-this')
    check(agent.wait_packet('PKT_SEND_MESSAGE'), 'no PKT_SEND_MESSAGE arrived')
    # An empty OK remembers nothing: the information icon and no time-out still hold.
    check(messages(agent) == [('Only-this', 64, NO_TIMEOUT)], 'messages %s' % messages(agent))
    close(ctx, addr, viewer)


def number(text):
    check(GROUPED.match(text or '') is not None, 'not digits grouped by threes: %r' % text)
    return int(text.replace(' ', ''))


def amount(text, unit):
    m = re.match(r'^([\d .]+) %s$' % re.escape(unit), text or '')
    check(m is not None, '%r is not an amount in %r' % (text, unit))
    return float(m.group(1).replace(' ', ''))


def case_system_information_shows_the_agent_facts_and_live_counters(ctx):
    addr = '127.0.0.112'
    # Russian, so that the library's texts must survive the way to the screen.
    agent, viewer = open_viewer(ctx, addr, '--fps', '10', '--rights', '14', '--computer', 'RAVEN-PC',
                                '--os-platform', '2', '--os-major', '6', '--os-minor', '1', '--agent-version', '784',
                                language=1)
    open_dialog(ctx, addr, IDM_SYSTEM_INFO, INFO['computer'])
    ru = lambda name: lang_string(ctx, 'ru', name).decode('cp1251')
    facts = {k: control_text(ctx, addr, INFO[k]) for k in ('access', 'version', 'os', 'computer', 'size', 'depth',
                                                            'colours')}
    want = {'access': ru('IDS_ACCESS_ADMIN'), 'version': '3.16', 'os': 'Windows 7/Server 2008 R2',
            'computer': 'RAVEN-PC', 'size': '640x480', 'depth': ru('IDS_DEPTH_16'), 'colours': ru('IDS_DEPTH_16')}
    check(facts == want, 'facts %s, expected %s' % (facts, want))
    first = number(control_text(ctx, addr, INFO['received']))
    # The counters and rates are refreshed every 3 s while the demo scene streams.
    check(wait_until(lambda: number(control_text(ctx, addr, INFO['received'])) > first, 15), 'received bytes grow')
    byte_unit = ru('IDS_STATS_BYTE_RATE').replace('%s ', '')
    check(amount(control_text(ctx, addr, INFO['receive_rate']), byte_unit) > 0, 'a receive rate')
    check(amount(control_text(ctx, addr, INFO['send_rate']), byte_unit) >= 0, 'a send rate')
    check(amount(control_text(ctx, addr, INFO['part_rate']), ru('IDS_STATS_PART_RATE').replace('%s ', '')) > 0,
          'screen parts per second')
    check(amount(control_text(ctx, addr, INFO['decode']), ru('IDS_STATS_DECODE_TIME').replace('%s ', '')) > 0,
          'decode time per part')
    number(control_text(ctx, addr, INFO['sent']))
    check(dialog(ctx, viewer_class(addr), IDOK), 'clicking OK')
    wait_closed(ctx, addr, INFO['computer'], 'OK')
    # A desktop restart takes the open dialog down with the desktop.
    open_dialog(ctx, addr, IDM_SYSTEM_INFO, INFO['computer'])
    check(agent.command('restart').startswith('ok'), 'restart')
    wait_closed(ctx, addr, INFO['computer'], 'a desktop restart')
    check(agent.wait_packet('PKT_VIEW_GRID', 2), 'the desktop is built again')
    close(ctx, addr, viewer)


def logo_picture(ctx):
    """The logo as its generator draws it: rows of RGB bytes, top-down."""
    subprocess.run([sys.executable, os.path.join(ctx.source, 'resources', 'make_bitmaps.py'), ctx.dir], check=True)
    with open(ctx.path('logo.bmp'), 'rb') as f:
        data = f.read()
    offset, = struct.unpack_from('<I', data, 10)
    w, h = struct.unpack_from('<ii', data, 18)
    stride = (w * 3 + 3) & ~3
    rows = []
    for y in range(h):
        row = data[offset + (h - 1 - y) * stride:offset + (h - 1 - y) * stride + 3 * w]
        rows.append(bytes(b for i in range(0, len(row), 3) for b in row[i:i + 3][::-1]))
    return w, h, rows


def logo_rect(ctx):
    return child_rect(ctx, 'CORVID:LOGO', '')


def logo_shown(ctx):
    return stub_command(ctx, 'FIND=CORVID:LOGO') == 0


def check_picture(ctx, rect):
    """The picture sits whole inside the window's frame. The window may be
    mapped a moment before it is painted, so the screen is looked at again
    for a few seconds before giving up."""
    w, h, rows = logo_picture(ctx)
    left, top, right, bottom = rect
    stride = 3 * (right - left)
    shot = b''

    def shows():
        nonlocal shot
        shot = screenshot(left, top, right - left, bottom - top)
        return any(all(shot[(dy + y) * stride + 3 * dx:(dy + y) * stride + 3 * (dx + w)] == rows[y]
                       for y in range(h))
                   for dy in range(bottom - top - h + 1) for dx in range(right - left - w + 1))

    if wait_until(shows, 5, 0.5):
        return
    save = ctx.path('logo-shown.ppm')
    with open(save, 'wb') as f:
        f.write(b'P6\n%d %d\n255\n' % (right - left, bottom - top) + shot)
    check(False, 'the logo window does not show bitmap 124 (screen saved as %s)' % save)


def case_logo_shows_its_picture_and_closes_at_a_click(ctx):
    # Its timer and its keys are the Wine unit tests' (logo_test.cpp).
    addr = '127.0.0.113'
    agent, viewer = open_viewer(ctx, addr, '--fps', '0')
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_LOGO), 'posting the logo command')
    check(wait_until(lambda: logo_shown(ctx), 20), 'the logo did not open')
    shown = time.time()
    rect = logo_rect(ctx)
    check(rect is not None, 'no logo rectangle')
    check_picture(ctx, rect)
    left, top, right, bottom = rect
    subprocess.run(['xdotool', 'mousemove', str((left + right) // 2), str((top + bottom) // 2), 'click', '1'],
                   check=True, timeout=30)
    check(wait_until(lambda: not logo_shown(ctx), 5), 'a click did not close the logo')
    check(time.time() - shown < 8, 'closed by the click, not by its timer')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
