"""End to end: the file-transfer window opened with command 40013 against the
simulator's file service: the remote list built from listings split over several
packets, remote and local navigation by the keys of the list, the edit and the combo,
and the file-transfer right."""
import os
import time

import subprocess

import struct

from harness import check, command_states, post, read_log, run_case, stub_command, wait_until, window_exists
from test_dialogs import close, open_viewer, viewer_class

WM_COMMAND, IDM_FILE_TRANSFER, IDM_FT_ROOT, IDM_AUTO_SCALE = 0x111, 40013, 40045, 40059
VK_BACK, VK_RETURN = 0x08, 0x0D
LIST, COMBO, EDIT = 206, 208, 209
FRAME = 'CORVID:FILETRANSFER'


def make_tree(root):
    """alpha/ (inner/ holding deep.txt, a.txt), beta/, and 20 files of growing sizes."""
    os.makedirs(os.path.join(root, 'alpha', 'inner'))
    os.makedirs(os.path.join(root, 'beta'))
    with open(os.path.join(root, 'alpha', 'a.txt'), 'w') as f:
        f.write('a' * 1536)
    with open(os.path.join(root, 'alpha', 'inner', 'deep.txt'), 'w') as f:
        f.write('deep')
    for i in range(20):
        with open(os.path.join(root, 'file%02d.dat' % i), 'wb') as f:
            f.write(b'x' * (i * 100))


def panel(ctx, addr, index):
    """(path, list rectangle, items as [name, size, type, modified, attributes, flags])."""
    out = ctx.path('ftlist.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'FTLIST=%s|%d' % (viewer_class(addr), index), 'OUT=ftlist.txt') != 0:
        return None
    with open(out, encoding='utf-8') as f:
        lines = f.read().split('\n')[:-1]
    return lines[0], [int(v) for v in lines[1].split()], [l.split('\t') for l in lines[2:]]


def names(view):
    return [item[0] for item in view[2]] if view else None


def key(ctx, addr, index, control, vk, char=0, text=None):
    spec = '%s|%d|%d|%d|%d' % (viewer_class(addr), index, control, vk, char)
    if text is not None:
        spec += '|' + text
    check(stub_command(ctx, 'FTKEY=' + spec) == 0, 'key %d to control %d of panel %d' % (vk, control, index))


def wait_path(ctx, addr, index, path, what):
    view = [None]

    def shown():
        view[0] = panel(ctx, addr, index)
        return view[0] is not None and view[0][0] == path
    check(wait_until(shown, 20), '%s: panel %d shows %s' % (what, index, view[0] and view[0][0]))
    return view[0]


def listings(agent):
    return [e for e in agent.events() if e.get('ev') == 'ft_listing']


def settled(agent, count):
    """The viewer asked count listings and the simulator answered each."""
    return wait_until(lambda: len(agent.packets('PKT_FT_LIST_DIR')) >= count and len(listings(agent)) >= count, 20)


def open_window(ctx, addr, agent):
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_FILE_TRANSFER), 'posting 40013')
    check(wait_until(lambda: stub_command(ctx, 'FIND=' + FRAME) == 0, 20), 'the file-transfer window did not open')
    check(settled(agent, 1), 'no first listing')


def selected(view):
    return [item[0] for item in view[2] if 'S' in item[5]]


def case_remote_listing_split_and_navigation(ctx):
    addr = '127.0.0.150'
    c, d = ctx.path('c'), ctx.path('d')
    make_tree(c)
    os.makedirs(os.path.join(d, 'only-on-d'))
    agent, viewer = open_viewer(ctx, addr, '--files', c, '--files2', d, '--ft-split', '7')
    open_window(ctx, addr, agent)
    first = agent.packets('PKT_FT_LIST_DIR')[0]
    check(first['drive'] == 0xFFFFFFFF and first['path'] == '', 'first request %s' % first)
    check(listings(agent)[0]['packets'] >= 3, 'the listing was not split: %s' % listings(agent)[0])
    expect = ['alpha', 'beta'] + ['file%02d.dat' % i for i in range(20)]
    view = wait_path(ctx, addr, 1, 'C:\\', 'first listing')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == expect, 20),
          'remote list %s' % names(panel(ctx, addr, 1)))
    view = panel(ctx, addr, 1)
    sizes = {item[0]: item[1] for item in view[2]}
    check(sizes['alpha'] == '' and sizes['file19.dat'] == '1900' and sizes['file00.dat'] == '0', 'sizes %s' % sizes)
    check(all(len(item[3]) == 15 and item[3][8:10] == '  ' for item in view[2]), 'modified %s' % view[2][0])
    check(selected(view) == ['alpha'] and 'F' in view[2][0][5], 'item 0 selected and focused: %s' % view[2][0])

    # Enter on the focused folder opens it; ".." leads the listing below the root.
    key(ctx, addr, 1, LIST, VK_RETURN, 13)
    check(settled(agent, 2), 'Enter sent no listing request')
    check(agent.packets('PKT_FT_LIST_DIR')[1]['path'] == 'C:\\alpha', 'open %s' % agent.packets('PKT_FT_LIST_DIR')[1])
    view = wait_path(ctx, addr, 1, 'C:\\alpha', 'Enter')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['..', 'inner', 'a.txt'], 10),
          'alpha holds %s' % names(panel(ctx, addr, 1)))
    # Up (Backspace) selects the folder that was left.
    key(ctx, addr, 1, LIST, VK_BACK)
    check(settled(agent, 3), 'Backspace sent no listing request')
    wait_path(ctx, addr, 1, 'C:\\', 'up')
    check(wait_until(lambda: selected(panel(ctx, addr, 1)) == ['alpha'], 10),
          'up selects the folder left: %s' % selected(panel(ctx, addr, 1)))

    # A typed path is canonicalised; two backslashes are refused without a request.
    key(ctx, addr, 1, EDIT, VK_RETURN, 0, 'c:/alpha/inner/')
    check(settled(agent, 4), 'the typed path sent no request')
    check(agent.packets('PKT_FT_LIST_DIR')[3]['path'] == 'C:\\alpha\\inner', 'typed %s' % agent.packets('PKT_FT_LIST_DIR')[3])
    wait_path(ctx, addr, 1, 'C:\\alpha\\inner', 'typed path')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['..', 'deep.txt'], 10), 'inner %s' % names(panel(ctx, addr, 1)))
    key(ctx, addr, 1, EDIT, VK_RETURN, 0, 'C:\\\\alpha')
    wait_path(ctx, addr, 1, 'C:\\alpha\\inner', 'refused typed path')
    key(ctx, addr, 1, EDIT, VK_RETURN, 0, 'Q:\\')
    wait_path(ctx, addr, 1, 'C:\\alpha\\inner', 'typed path on a drive the Agent lacks')

    # Root from the frame's command, once the remote panel is the active one.
    rect = panel(ctx, addr, 1)[1]
    subprocess.run(['xdotool', 'mousemove', str((rect[0] + rect[2]) // 2), str(rect[3] - 10), 'click', '1'],
                   check=True, timeout=30)
    # A click on the list's empty space clears its selection, after the activation that
    # the click's mouse activation brought.
    check(wait_until(lambda: selected(panel(ctx, addr, 1)) == [], 10),
          'the click did not reach the remote list: %s' % selected(panel(ctx, addr, 1)))
    check(post(ctx, FRAME, WM_COMMAND, IDM_FT_ROOT), 'posting root')
    check(settled(agent, 5), 'root sent no request')
    check(agent.packets('PKT_FT_LIST_DIR')[4]['path'] == 'C:\\', 'root %s' % agent.packets('PKT_FT_LIST_DIR')[4])
    wait_path(ctx, addr, 1, 'C:\\', 'root')

    # A drive letter typed in the combo: D: with an empty path; a letter without a drive
    # does nothing.
    key(ctx, addr, 1, COMBO, ord('Q'), ord('q'))
    key(ctx, addr, 1, COMBO, ord('D'), ord('d'))
    check(settled(agent, 6), 'the drive letter sent no request')
    req = agent.packets('PKT_FT_LIST_DIR')[5]
    check(req['drive'] == 3 and req['path'] == '', 'drive letter %s' % req)
    wait_path(ctx, addr, 1, 'D:\\', 'drive letter')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['only-on-d'], 10), 'D: %s' % names(panel(ctx, addr, 1)))
    check(len(agent.packets('PKT_FT_LIST_DIR')) == 6, 'extra requests %s' % agent.packets('PKT_FT_LIST_DIR'))
    close(ctx, addr, viewer)


def case_local_listing_and_navigation(ctx):
    addr = '127.0.0.151'
    local = os.path.abspath(ctx.path('local'))
    make_tree(local)
    os.makedirs(ctx.path('remote-empty'))
    agent, viewer = open_viewer(ctx, addr, '--files', ctx.path('remote-empty'))
    open_window(ctx, addr, agent)
    check(wait_until(lambda: (panel(ctx, addr, 0) or ('',))[0] == 'C:\\', 20), 'local panel starts at C:\\')
    check('windows' in [n.lower() for n in names(panel(ctx, addr, 0))], 'C:\\ lists %s' % names(panel(ctx, addr, 0)))
    wine_path = 'Z:' + local.replace('/', '\\')
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, local)  # slashes and no drive: refused
    wait_path(ctx, addr, 0, 'C:\\', 'a path without a drive')
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, wine_path + '\\')
    view = wait_path(ctx, addr, 0, wine_path, 'typed local path')
    expect = ['alpha', 'beta'] + ['file%02d.dat' % i for i in range(20)]
    check(names(view)[0] == '..' and names(view)[1:] == expect, 'local list %s' % names(view))
    sizes = {item[0]: item[1] for item in view[2]}
    check(sizes['file07.dat'] == '700' and sizes['..'] == '' and view[2][0][3] == '', 'sizes %s' % sizes)
    check(selected(view) == ['..'], 'item 0 selected: %s' % selected(view))
    # Enter on ".." goes up and selects the folder left; Enter on a folder opens it.
    key(ctx, addr, 0, LIST, VK_RETURN, 13)
    parent = wine_path.rsplit('\\', 1)[0]
    view = wait_path(ctx, addr, 0, parent, 'Enter on ..')
    check(selected(view) == ['local'], 'up selects %s' % selected(view))
    key(ctx, addr, 0, LIST, VK_RETURN, 13)
    wait_path(ctx, addr, 0, wine_path, 'Enter on a folder')
    check(len(agent.packets('PKT_FT_LIST_DIR')) == 1, 'local navigation asked the Agent')
    close(ctx, addr, viewer)


def case_without_the_right_nothing_opens(ctx):
    addr = '127.0.0.152'
    os.makedirs(ctx.path('c'))
    agent, viewer = open_viewer(ctx, addr, '--files', ctx.path('c'), '--rights', '2')
    def button(cmd):
        return command_states(ctx, viewer_class(addr)).get(cmd, ('', ''))[1]
    check(wait_until(lambda: button(40002).startswith('on'), 20), 'the control right was not applied')
    check(button(IDM_FILE_TRANSFER) == 'grey', '40013 %s' % button(IDM_FILE_TRANSFER))
    before = button(IDM_AUTO_SCALE)
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_FILE_TRANSFER)
    # Posted after 40013, the auto-scale toggle shows when 40013 has been handled.
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_AUTO_SCALE)
    check(wait_until(lambda: button(IDM_AUTO_SCALE) != before, 10), 'the viewer did not handle the posted commands')
    check(stub_command(ctx, 'FIND=' + FRAME) != 0, 'the window opened without the right')
    check(not agent.packets('PKT_FT_LIST_DIR'), 'a listing was asked without the right')
    close(ctx, addr, viewer)


def listing_payload(path, names, count=None, complete=1):
    head = struct.pack('<26I', *([0, 0, 3] + [0] * 23)) + struct.pack('<IQ', 2, 1 << 40)
    head += path.encode('ascii').ljust(261, b'\0')
    entries = b''.join(struct.pack('<IIQQQQ', 0, 32, 0, 0, 0, 5) + n.encode() + b'\0' for n in names)
    return head + struct.pack('<II', complete, len(names) if count is None else count) + entries


def case_unasked_packets_are_dropped_and_the_window_goes_on(ctx):
    addr = '127.0.0.153'
    c = ctx.path('c')
    make_tree(c)
    agent, viewer = open_viewer(ctx, addr, '--files', c, '--ft-split', '5')
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'first listing')
    check(wait_until(lambda: len(names(panel(ctx, addr, 1))) == 22, 20), 'first list %s' % names(panel(ctx, addr, 1)))
    for packet in (listing_payload('C:\\fake', ['planted.txt']),            # no listing asked for
                   listing_payload('C:\\fake', ['x'], count=1000),           # and a count past its entries
                   struct.pack('<II', 1, 1) + b'more.txt'.ljust(48, b'\0')):  # a continuation alone
        check(agent.command('send %d 1 %s' % (30 if len(packet) > 300 else 31, packet.hex())) == 'ok', 'send')
    for t, payload in ((42, struct.pack('<II', 0, 1)), (39, struct.pack('<I', 1) + b'C:\\x\0'),
                       (43, bytes(297)), (44, bytes(12)), (33, struct.pack('<I', 0) + b'no\0'),
                       (41, struct.pack('<I', 9) + bytes(261) + b'text\0')):
        check(agent.command('send %d 1 %s' % (t, payload.hex())) == 'ok', 'send %d' % t)
    # The three listing packets in a row are one line: a stream of them would be thousands.
    # The two questions and the two download packets are answered with stop, so that the
    # Agent does not wait on.
    check(wait_until(lambda: read_log(ctx).count(b'dropped') + read_log(ctx).count(b'answered with stop') >= 7, 20),
          'drops logged: %s' % read_log(ctx)[-600:])
    log = read_log(ctx)
    check(log.count(b'no listing asked for') == 1 and b'no download open: answered with stop' in log and
          log.count(b'no operation open') == 3 and log.count(b'no operation open: answered with stop') == 2 and
          b'no such request open' in log,
          'log %s' % log[-800:])
    view = panel(ctx, addr, 1)
    check(view[0] == 'C:\\' and 'planted.txt' not in names(view) and len(names(view)) == 22, 'list changed %s' % (view,))
    # The window goes on: a refresh lists the folder again.
    with open(os.path.join(c, 'added.txt'), 'w') as f:
        f.write('new')
    check(post(ctx, FRAME, WM_COMMAND, 40057), 'posting refresh')
    check(settled(agent, 2), 'the refresh sent no request')
    check(wait_until(lambda: 'added.txt' in (names(panel(ctx, addr, 1)) or []), 20), 'refresh %s' % names(panel(ctx, addr, 1)))
    # With the window closed a question still gets its stop, or the Agent would wait on.
    stops = len([p for p in agent.packets('PKT_FT_ANSWER') if p.get('answer') == 'no'])
    check(post(ctx, FRAME, 0x0010), 'closing the window')  # WM_CLOSE
    check(wait_until(lambda: not window_exists(ctx, FRAME), 10), 'the window did not close')
    check(agent.command('send 45 1 %s' % (struct.pack('<I', 0) + b'C:\\late.txt\0').hex()) == 'ok', 'send 45')
    check(wait_until(lambda: len([p for p in agent.packets('PKT_FT_ANSWER') if p.get('answer') == 'no']) > stops, 10),
          'the question after the window was not answered')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
