"""Pictures of the viewer for the README, taken the way the end-to-end cases run it: the
Agent simulator serves a desktop, two folders and a text console, the viewer runs under
Wine on the display of a private Wine world, and each window is cropped from the display.

Run inside a Wine world (tests/wine/wine-env.sh run STATE python3 scripts/screenshots.py
...); `./corvid screenshots` builds, starts a 1024 x 768 world, runs this and stops it.
Every step waits for what it needs on screen or on the wire, not for a fixed time."""
import argparse
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, 'tests', 'e2e'))

from harness import (Agent, Ctx, check, child_rect, cleanup, crash_reports, lang_string,  # noqa: E402
                     reg_set_defaults, screenshot, snapshot, start, start_console, stub_command, wait_until)
from test_agentsettings import COMMUNITIES, NODES, act, control, open_sheet, turn_page  # noqa: E402
from test_console import console_shows, console_windows, title  # noqa: E402
from test_desktop import match_unscaled  # noqa: E402
from test_filetransfer import EDIT, FRAME, key, open_window, panel, wait_path  # noqa: E402

# An address none of the end-to-end cases uses.
ADDR = '127.0.0.200'
VIEWER = 'CORVIDS:TCP:' + ADDR
PAD = 'CORVID:CONSOLE:BUTTPAD'
IDCANCEL, VK_RETURN = 2, 0x0D
# Fixed file times (local 2024-11-05 and on), so the lists read the same run after run.
BASE_TIME = 1730799000

REMOTE_TREE = [('Logs', None, 0), ('Reports', None, 3600), ('Users', None, 7200),
               ('backup.cmd', 1450, 86400), ('inventory.csv', 48213, 90000), ('notes.txt', 3120, 93600)]
LOCAL_TREE = [('drivers', None, 0), ('patch-2024-11.zip', 2310455, 4000), ('release-notes.txt', 9876, 5000),
              ('setup.cmd', 612, 6000)]
CONSOLE_TEXT = r"""C:\Logs>dir /b
agent.log
backup-2024-11-04.log
backup-2024-11-05.log
updates.log

C:\Logs>type backup-2024-11-05.log
05.11.2024 02:00:01  Backup of C:\Users started
05.11.2024 02:14:37  1 284 files, 3.2 GB copied
05.11.2024 02:14:38  Backup finished without errors

C:\Logs>"""


def make_tree(root, entries):
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for name, size, _ in entries:
        path = os.path.join(root, name)
        if size is None:
            os.makedirs(path)
        else:
            with open(path, 'wb') as f:
                f.write(b'.' * size)
    for name, _, offset in entries:
        t = BASE_TIME + offset
        os.utime(os.path.join(root, name), (t, t))


def display_size():
    out = subprocess.run(['xdotool', 'getdisplaygeometry'], capture_output=True, text=True, timeout=30,
                         check=True).stdout.split()
    return int(out[0]), int(out[1])


def x_window_geometry(window_id):
    geo = {}
    out = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', window_id], capture_output=True, text=True,
                         timeout=30).stdout
    for line in out.split():
        k, _, v = line.partition('=')
        geo[k] = int(v)
    return geo['X'], geo['Y'], geo['X'] + geo['WIDTH'], geo['Y'] + geo['HEIGHT']


def x_window_rect(title):
    """(left, top, right, bottom) of the visible X window with exactly that title, or None."""
    ids = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', '^' + re.escape(title) + '$'],
                         capture_output=True, text=True, timeout=30).stdout.split()
    return x_window_geometry(ids[0]) if ids else None


def union(*rects):
    return (min(r[0] for r in rects), min(r[1] for r in rects), max(r[2] for r in rects), max(r[3] for r in rects))


def settled_pixels(left, top, w, h):
    """The pixels of the rectangle once two looks 0.3 s apart agree (painting is done)."""
    last = [screenshot(left, top, w, h)]

    def same():
        time.sleep(0.3)
        now = screenshot(left, top, w, h)
        done = now == last[0]
        last[0] = now
        return done
    check(wait_until(same, 15, 0), 'the picture at %dx%d+%d+%d did not settle' % (w, h, left, top))
    return last[0]


def capture(out_dir, name, rect):
    """Saves the part of the display inside rect (clipped to the display) as NAME.png once
    it has settled, without time stamps, and shrinks the file losslessly."""
    sw, sh = display_size()
    left, top, right, bottom = max(rect[0], 0), max(rect[1], 0), min(rect[2], sw), min(rect[3], sh)
    check(right > left and bottom > top, '%s: nothing of %s is on the display' % (name, rect))
    w, h = right - left, bottom - top
    rgb = settled_pixels(left, top, w, h)
    path = os.path.join(out_dir, name + '.png')
    subprocess.run(['convert', '-size', '%dx%d' % (w, h), '-depth', '8', 'rgb:-', '-strip',
                    '-define', 'png:exclude-chunks=date,time', path], input=rgb, check=True, timeout=60)
    subprocess.run(['optipng', '-quiet', '-o5', '-strip', 'all', path], check=True, timeout=300)
    print('%s: %dx%d, %d bytes' % (os.path.relpath(path), w, h, os.path.getsize(path)))


def raise_x_window(rect, x_class):
    """Puts the X window of that class and rectangle on top: Wine stacks a window owned
    across processes (the console's button pad) below its owner."""
    ids = subprocess.run(['xdotool', 'search', '--onlyvisible', '--class', '^' + re.escape(x_class) + '$'],
                         capture_output=True, text=True, timeout=30).stdout.split()
    for i in ids:
        if x_window_geometry(i) == rect:
            subprocess.run(['xdotool', 'windowraise', i], check=True, timeout=30)
            return
    check(False, 'no %s window at %s' % (x_class, rect))


def shoot_desktop(ctx, out_dir, remote):
    """The main window with the simulator's demo desktop filling its view exactly."""
    reg_set_defaults(Language=0, FrameMaximized=0, ShowRemoteCursor=0)
    agent = Agent(ctx, ADDR, '--fps', '0', '--screen', '640x480x16', '--files', remote)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + ADDR, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    # The remote screen is made as large as the view inside its frame's edge, so that no
    # scroll bar or margin shows.
    frame = child_rect(ctx, VIEWER, 'CORVID:CLIENT')
    pad = wait_until(lambda: child_rect(ctx, VIEWER, 'CORVID:SQUAREPAD'), 10)
    check(frame and pad, 'no desktop view')
    edge_x, edge_y = pad[0] - frame[0], pad[1] - frame[1]
    w, h = frame[2] - frame[0] - 2 * edge_x, frame[3] - frame[1] - 2 * edge_y
    check(agent.command('restart %dx%dx16' % (w, h)) == 'ok', 'restart')
    check(agent.wait_packet('PKT_VIEW_GRID', 2), 'the viewer did not rebuild its desktop')
    check(wait_until(lambda: (lambda r: r and (r[2] - r[0], r[3] - r[1]) == (w, h))(
        child_rect(ctx, VIEWER, 'CORVID:SQUAREPAD')), 20), 'the view did not take the new size')
    match_unscaled(ctx, ADDR, agent, 'desktop')
    check(agent.command('resume') == 'ok', 'resume')
    capture(out_dir, 'desktop', child_rect(ctx, VIEWER, ''))
    return agent, viewer


def shoot_agent_settings(ctx, out_dir, agent):
    open_sheet(ctx, ADDR, agent)
    turn_page(ctx, ADDR, 1, COMMUNITIES)
    # The first community picked: its password button and its nodes come alive.
    act(ctx, ADDR, 'PICK', COMMUNITIES, 0)
    check(wait_until(lambda: (control(ctx, ADDR, NODES) or (0, 0, [], ''))[2], 10), 'no nodes for the community')
    caption = lang_string(ctx, 'en', 'IDS_AS_CAPTION').decode('ascii')
    rect = wait_until(lambda: x_window_rect(caption), 10)
    check(rect, 'no %s window on the display' % caption)
    capture(out_dir, 'agent-settings', rect)
    check(stub_command(ctx, 'DIALOG=%s|%d' % (VIEWER, IDCANCEL)) == 0, 'cancelling the sheet')
    check(wait_until(lambda: control(ctx, ADDR, COMMUNITIES) is None, 10), 'the sheet stayed open')


def shoot_console(ctx, out_dir, agent):
    """The console with its button pad, which sits on the console's title bar."""
    lines = ctx.path('console.txt')
    with open(lines, 'w') as f:
        f.write(CONSOLE_TEXT + '\n')
    check(agent.command('console-open 80 25 1f ' + lines) == 'ok', 'console-open')
    check(wait_until(lambda: console_windows(ADDR), 15), 'no console window')
    # A blinking cursor would make every run's picture differ.
    row = CONSOLE_TEXT.count('\n')
    check(agent.command('console-cursor %d %d 25 0' % (len('C:\\Logs>'), row)) == 'ok', 'console-cursor')
    console_shows(ctx, ADDR, agent)

    def console_and_pad():
        c, p = x_window_rect(title(ADDR)), child_rect(ctx, PAD, '')
        return (c, p) if c and p else None
    check(wait_until(console_and_pad, 10), 'the console or its button pad is not shown')
    # Moved down so that the pad, which rides above the console's top edge, shows whole.
    c, p = console_and_pad()
    dx, dy = p[0] - c[0], p[1] - c[1]
    check(stub_command(ctx, 'MOVECONSOLE=%s|%d|%d' % (VIEWER, 0, max(0, -dy))) == 0, 'moving the console')
    check(wait_until(lambda: (lambda cp: cp and cp[0][1] == max(0, -dy) and
                              (cp[1][0] - cp[0][0], cp[1][1] - cp[0][1]) == (dx, dy))(console_and_pad()), 10),
          'the pad did not follow the console: %s' % (console_and_pad(),))
    c, p = console_and_pad()
    raise_x_window(p, 'corvid.exe')
    capture(out_dir, 'console', union(c, p))
    check(agent.command('console-close') == 'ok', 'console-close')
    check(wait_until(lambda: not console_windows(ADDR), 10), 'the console stayed')


def shoot_file_transfer(ctx, out_dir, agent):
    open_window(ctx, ADDR, agent)
    local = 'C:\\Updates'
    key(ctx, ADDR, 0, EDIT, VK_RETURN, 0, local)
    wait_path(ctx, ADDR, 0, local, 'the local folder')
    want_local = ['..'] + [n for n, _, _ in LOCAL_TREE]
    want_remote = [n for n, _, _ in REMOTE_TREE]
    check(wait_until(lambda: [i[0] for i in panel(ctx, ADDR, 0)[2]] == want_local and
                     [i[0] for i in panel(ctx, ADDR, 1)[2]] == want_remote, 20),
          'the panels show %s and %s' % (panel(ctx, ADDR, 0), panel(ctx, ADDR, 1)))
    capture(out_dir, 'file-transfer', child_rect(ctx, FRAME, ''))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument('--bin', default=os.path.join(SOURCE, 'build', 'win64', 'bin'))
    ap.add_argument('--native-bin', default=os.path.join(SOURCE, 'build', 'native', 'bin'))
    ap.add_argument('--work', default=os.path.join(SOURCE, 'build', 'screenshots', 'work'))
    ap.add_argument('--out', default=os.path.join(SOURCE, 'docs', 'images'))
    a = ap.parse_args()
    check('WINEPREFIX' in os.environ and 'DISPLAY' in os.environ,
          'run inside a Wine world (tests/wine/wine-env.sh run STATE ...), or use ./corvid screenshots')
    for tool in ('convert', 'optipng', 'xdotool', 'wine'):
        check(shutil.which(tool), '%s is missing (./corvid screenshots installs it)' % tool)
    os.makedirs(a.out, exist_ok=True)
    # Taken in turns with the end-to-end cases: they share loopback ports and the processor.
    lock = open(os.path.join(tempfile.gettempdir(), 'corvid-e2e.lock'), 'w')
    fcntl.flock(lock, fcntl.LOCK_EX)
    t0 = time.time()
    ctx = Ctx('screenshots', a.bin, a.work, SOURCE)
    ctx.native_bin = a.native_bin
    remote = ctx.path('remote')
    make_tree(remote, REMOTE_TREE)
    prefix = os.environ['WINEPREFIX']
    make_tree(os.path.join(prefix, 'drive_c', 'Updates'), LOCAL_TREE)
    try:
        start_console(ctx)
        agent, viewer = shoot_desktop(ctx, a.out, remote)
        shoot_agent_settings(ctx, a.out, agent)
        shoot_console(ctx, a.out, agent)
        shoot_file_transfer(ctx, a.out, agent)
        stub_command(ctx, 'TERMCLASS=' + VIEWER)
        viewer.wait(timeout=30)
    except BaseException:
        snapshot(ctx)
        sys.stderr.write('the display and the processes as it failed: %s\n' % ctx.path('failure-*'))
        raise
    finally:
        cleanup(ctx)
    crashes = crash_reports(ctx)
    check(not crashes, 'the viewer crashed: %s' % '\n'.join(crashes))
    print('pictures taken in %.1f s' % (time.time() - t0))


if __name__ == '__main__':
    main()
