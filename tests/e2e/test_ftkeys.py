"""End to end: the file-transfer window's Alt keys, clicks and drive picks as the operator
makes them with xdotool on the test display: a click on a caption or on a panel's empty
space takes the keys there, Alt+F1 and Alt+F2 drop a panel's drive list, Alt+Enter shows
properties, a double click opens only the item under the pointer, and picking the remote
panel's current drive again asks the Agent for that drive's folder."""
import os
import subprocess
import time

from harness import check, screenshot, run_case, wait_until
from test_dialogs import close, control_text, open_viewer, viewer_class
from test_filetransfer import LIST, names, open_window, panel
from test_ftwindow import COMBO, focus, xkeys

IDC_FT_NAME, IDCANCEL = 1044, 2


def click(x, y, repeat=1):
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', '--repeat', str(repeat), '--delay', '80', '1'],
                   check=True, timeout=30)


def case_alt_keys_clicks_and_the_current_drive(ctx):
    addr = '127.0.0.100'
    c, d = ctx.path('c'), ctx.path('d')
    for folder in ('alpha', 'beta'):
        os.makedirs(os.path.join(c, folder))
    os.makedirs(d)
    with open(os.path.join(c, 'file.txt'), 'w') as f:
        f.write('x')
    agent, viewer = open_viewer(ctx, addr, '--files', c, '--files2', d)
    open_window(ctx, addr, agent)
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['alpha', 'beta', 'file.txt'], 20),
          'remote list %s' % names(panel(ctx, addr, 1)))
    check(wait_until(lambda: (panel(ctx, addr, 0) or ('',))[0] == 'C:\\', 20), 'the local panel did not list C:\\')
    lists = [panel(ctx, addr, i)[1] for i in (0, 1)]
    click((lists[0][0] + lists[0][2]) // 2, lists[0][1] + 40)
    check(wait_until(lambda: focus(ctx, addr)[0] == (0, LIST), 10), 'the click did not focus the local list')
    captions = focus(ctx, addr)[1]
    requests = lambda: agent.packets('PKT_FT_LIST_DIR')
    asked = len(requests())

    def expect(where, what):
        check(wait_until(lambda: focus(ctx, addr)[0] == where, 10), '%s: focus on %s, expected %s'
              % (what, focus(ctx, addr)[0], where))

    # The remote caption, then the gap between the local drive combo and edit.
    click((captions[1][0] + captions[1][2]) // 2, (captions[1][1] + captions[1][3]) // 2)
    expect((1, LIST), 'click on the remote caption')
    click(captions[0][0] - 1 + 61, captions[0][1] - 1 + 22)
    expect((0, LIST), 'click between the local combo and edit')

    # Alt+F1 and Alt+F2 from a list: that panel's drive list drops over its list's top.
    strip = lambda index: screenshot(lists[index][0] + 4, lists[index][1] + 4, 40, 10)
    closed = [strip(0), strip(1)]
    for keys, index, back in (('alt+F1', 0, 'shift+Tab'), ('alt+F2', 1, None)):
        xkeys(keys)
        expect((index, COMBO), keys)
        check(wait_until(lambda: strip(index) != closed[index], 10), '%s: no drive list dropped' % keys)
        xkeys('Escape')
        check(wait_until(lambda: strip(index) == closed[index], 10), '%s: Escape left the drive list open' % keys)
        if back:
            xkeys(back)
            expect((index, LIST), back)
    time.sleep(0.5)
    check(len(requests()) == asked, 'opening and closing the drive lists asked %s' % requests()[asked:])

    # The current drive picked again, by its letter and with the mouse in the dropped
    # list: each time one request for the Agent's folder on it.
    def pick(how, *action):
        nonlocal asked
        for a in action:
            a()
        check(wait_until(lambda: len(requests()) > asked, 10), '%s: picking C: again asked nothing' % how)
        time.sleep(0.5)
        check([(r['drive'], r['path']) for r in requests()[asked:]] == [(2, '')],
              '%s: picking C: again asked %s' % (how, requests()[asked:]))
        asked += 1
        check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['alpha', 'beta', 'file.txt'], 10),
              '%s: after picking C: again the remote list is %s' % (how, names(panel(ctx, addr, 1))))
    pick('the letter', lambda: xkeys('c'))
    combo = (captions[1][0] - 1 + 30, captions[1][1] - 1 + 26)
    pick('the mouse', lambda: click(*combo),
         lambda: check(wait_until(lambda: strip(1) != closed[1], 10), 'a click on the combo dropped nothing'),
         lambda: click(lists[1][0] + 20, lists[1][1] + 8))

    # Alt+Enter on the remote list's focused folder shows its properties.
    expect((1, LIST), 'the listing of C:')
    xkeys('alt+Return')
    check(wait_until(lambda: control_text(ctx, addr, IDC_FT_NAME) == 'alpha', 10),
          'Alt+Enter showed %r' % control_text(ctx, addr, IDC_FT_NAME))
    xkeys('Escape')
    check(wait_until(lambda: control_text(ctx, addr, IDC_FT_NAME) is None, 10), 'the properties stayed open')

    # A double click below the items opens nothing; on the first item, that folder.
    rect = lists[1]
    click((rect[0] + rect[2]) // 2, rect[3] - 20, repeat=2)
    time.sleep(1.0)
    check(len(requests()) == asked and panel(ctx, addr, 1)[0] == 'C:\\',
          'a double click on empty space asked %s' % requests()[asked:])
    click(rect[0] + 30, rect[1] + 30, repeat=2)
    check(wait_until(lambda: (panel(ctx, addr, 1) or ('',))[0] == 'C:\\alpha', 10),
          'a double click on alpha: path %s' % (panel(ctx, addr, 1) or ('',))[0])
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
