"""End to end: the file-transfer window's panels as the operator moves between them
with Ctrl+Tab (typed with xdotool on the test display), and compare panels selecting
in each list what the other side lacks or holds older (file times set in the
simulator's folder and in a local folder)."""
import os
import subprocess

from harness import check, post, screenshot, stub_command, run_case, wait_until
from test_dialogs import close, open_viewer, viewer_class
from test_filetransfer import FRAME, LIST, key, names, open_window, panel, selected, settled, wait_path

WM_COMMAND, IDM_FT_REFRESH = 0x111, 40038
VK_RETURN, VK_F9 = 0x0D, 0x78
EDIT, COMBO = 209, 208


def focus(ctx, addr):
    """((panel, control) holding the focus or None, [caption rectangles of panels 0 and 1])."""
    out = ctx.path('ftfocus.txt')
    if os.path.exists(out):
        os.remove(out)
    check(stub_command(ctx, 'FTFOCUS=' + viewer_class(addr), 'OUT=ftfocus.txt') == 0, 'FTFOCUS did not run')
    with open(out) as f:
        lines = f.read().split('\n')
    where = None if lines[0] == 'none' else tuple(int(v) for v in lines[0].split())
    return where, [[int(v) for v in line.split()] for line in lines[1:3]]


def caption_colours(rects):
    """Background colour at the right end of each caption, where no text is drawn."""
    out = []
    for left, top, right, bottom in rects:
        out.append(screenshot(right - 4, (top + bottom) // 2, 1, 1))
    return out


def xkeys(*keys):
    for k in keys:
        subprocess.run(['xdotool', 'key', '--delay', '50', k], check=True, timeout=30)


def case_ctrl_tab_moves_between_the_panels(ctx):
    addr = '127.0.0.164'
    os.makedirs(ctx.path('c'))
    agent, viewer = open_viewer(ctx, addr, '--files', ctx.path('c'))
    open_window(ctx, addr, agent)
    check(wait_until(lambda: (panel(ctx, addr, 0) or ('',))[0] == 'C:\\', 20), 'the local panel did not list C:\\')
    # A click on the local list gives the window the keyboard of the display.
    rect = panel(ctx, addr, 0)[1]
    subprocess.run(['xdotool', 'mousemove', str((rect[0] + rect[2]) // 2), str(rect[1] + 40), 'click', '1'],
                   check=True, timeout=30)
    check(wait_until(lambda: focus(ctx, addr)[0] == (0, LIST), 10), 'the click did not focus the local list: %s'
          % (focus(ctx, addr)[0],))
    rects = focus(ctx, addr)[1]
    local_active = caption_colours(rects)
    check(local_active[0] != local_active[1], 'both captions look alike: %s' % local_active)

    # Ctrl+Tab from each of the three controls lands in the other panel's list and moves
    # the active caption's colours; Shift+Tab and Tab reach the edit and the drive combo.
    steps = [('ctrl+Tab', (1, LIST)), ('shift+Tab', (1, EDIT)), ('ctrl+Tab', (0, LIST)), ('Tab', (0, COMBO)),
             ('ctrl+Tab', (1, LIST))]
    for keys, where in steps:
        xkeys(keys)
        check(wait_until(lambda: focus(ctx, addr)[0] == where, 10), '%s: focus on %s, expected %s'
              % (keys, focus(ctx, addr)[0], where))
        colours = caption_colours(rects)
        active = where[0]
        check(colours[active] == local_active[0] and colours[1 - active] == local_active[1],
              '%s: captions %s, the active one should be panel %d' % (keys, colours, active))
    # The frame's refresh goes to the active panel: the remote one asks the Agent.
    check(post(ctx, FRAME, WM_COMMAND, IDM_FT_REFRESH), 'posting refresh')
    check(settled(agent, 2), 'the refresh of the active remote panel sent no request')
    close(ctx, addr, viewer)


def make_side(root, files, folders, times):
    for name in folders:
        os.makedirs(os.path.join(root, name))
    for name in files:
        path = os.path.join(root, name)
        with open(path, 'w') as f:
            f.write(name)
        os.utime(path, (times[name], times[name]))


def case_compare_selects_what_is_missing_or_newer(ctx):
    addr = '127.0.0.165'
    base = 1500000000
    # Remote: the simulator's drive C:.
    remote, local = ctx.path('remote'), os.path.abspath(ctx.path('local'))
    make_side(remote, ['older.txt', 'same.txt', 'local-newer.txt', 'remote-only.txt', 'CASE.TXT'],
              ['both', 'remote-only-dir', 'kind'],
              {'older.txt': base + 7200, 'same.txt': base, 'local-newer.txt': base, 'remote-only.txt': base,
               'CASE.TXT': base + 60})
    make_side(local, ['older.txt', 'same.txt', 'local-newer.txt', 'local-only.txt', 'case.txt', 'kind'],
              ['both', 'local-only-dir'],
              {'older.txt': base, 'same.txt': base, 'local-newer.txt': base + 3600, 'local-only.txt': base,
               'case.txt': base + 60, 'kind': base})
    agent, viewer = open_viewer(ctx, addr, '--files', remote)
    open_window(ctx, addr, agent)
    check(wait_until(lambda: len(names(panel(ctx, addr, 1)) or []) == 8, 20),
          'remote list %s' % names(panel(ctx, addr, 1)))
    wine_path = 'Z:' + local.replace('/', '\\')
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, wine_path)
    wait_path(ctx, addr, 0, wine_path, 'typed local path')
    check(len(names(panel(ctx, addr, 0))) == 9, 'local list %s' % names(panel(ctx, addr, 0)))

    key(ctx, addr, 1, LIST, VK_F9)
    want_local = ['local-only-dir', 'kind', 'local-newer.txt', 'local-only.txt']
    want_remote = ['kind', 'remote-only-dir', 'older.txt', 'remote-only.txt']

    def marks():
        return sorted(selected(panel(ctx, addr, 0))), sorted(selected(panel(ctx, addr, 1)))
    check(wait_until(lambda: marks() == (sorted(want_local), sorted(want_remote)), 10),
          'compare selected %s, expected %s' % (marks(), (sorted(want_local), sorted(want_remote))))
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
