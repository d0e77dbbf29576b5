"""End to end: remote files given to another program, which droptarget.exe stands in for
(a registered drop target and a paster of CF_HDROP that hashes what it is given). A drag
out of the remote panel made with xdotool and a Ctrl+C pasted by it bring files equal to the
remote ones (SHA-256); a cancel during the drop's download gives nothing, and no temporary
folder stays."""
import glob
import os
import shutil
import subprocess

from harness import check, lang_string, post, read_log, run_case, start, wait_until, wine_run
from test_dialogs import close, control_text
from test_filetransfer import FRAME, WM_COMMAND, panel
from test_ftchange import answer_box, dialog, wait_dialog
from test_ftcopy import drag, open_copy_window, pattern, select_all, sha, write

IDCANCEL, IDC_LINE = 2, 1073
IDM_REFRESH_REMOTE, IDM_SELECT_ALL = 40057, 40041
TARGET_AT = (20, 330, 300, 200)  # over the local panel, below its first rows


def remote_tree(remote):
    write(os.path.join(remote, 'a.bin'), pattern(70000, 7))
    write(os.path.join(remote, 'tree', 'x.bin'), pattern(24577, 8))
    write(os.path.join(remote, 'tree', 'sub', 'empty.txt'), b'')
    write(os.path.join(remote, 'tree', 'sub', 'y.txt'), b'deep text')


def expected(remote, names):
    """{relative path: (size, sha256)} of the files under the named items."""
    out = {}
    for name in names:
        top = os.path.join(remote, name)
        paths = [top] if os.path.isfile(top) else [os.path.join(d, f) for d, _, fs in os.walk(top) for f in fs]
        for p in paths:
            out[os.path.relpath(p, remote).replace('/', '\\')] = (os.path.getsize(p), sha(p))
    return out


def report(path):
    """(dropped paths, {relative: (size, sha256)}, the 'nothing' line or None) of a report."""
    with open(path, encoding='utf-8') as f:
        lines = f.read().splitlines()
    paths = [l[5:] for l in lines if l.startswith('path ')]
    files = {}
    for l in lines:
        if l.startswith('file '):
            rel, size, digest = l[5:].split('\t')
            files[rel] = (int(size), digest)
    nothing = next((l for l in lines if l.startswith('nothing ')), None)
    return paths, files, nothing


def unix_path(win):
    drive, rest = win[0].lower(), win[2:].replace('\\', '/')
    return rest if drive == 'z' else os.path.join(os.environ['WINEPREFIX'], 'dosdevices', drive + ':') + rest


def outboxes(temp):
    return glob.glob(os.path.join(temp, 'CorvidOut-*'))


def start_target(ctx):
    shutil.copy2(os.path.join(ctx.bin, 'droptarget.exe'), ctx.dir)
    start(ctx, 'droptarget.exe', 'OUT=drop', 'AT=%d,%d,%d,%d' % TARGET_AT)
    check(wait_until(lambda: os.path.exists(ctx.path('drop.ready')), 20), 'the drop target did not start')


def first_row(ctx, addr):
    rect = panel(ctx, addr, 1)[1]
    return rect[0] + 40, rect[1] + 26  # under the column header


def case_a_drag_out_brings_the_files_and_a_cancel_brings_nothing(ctx):
    addr = '127.0.0.106'
    local, remote = ctx.path('local'), ctx.path('remote')
    remote_tree(remote)
    os.makedirs(local)
    agent, viewer = open_copy_window(ctx, addr, remote, local)
    start_target(ctx)
    target = (TARGET_AT[0] + TARGET_AT[2] // 2, TARGET_AT[1] + TARGET_AT[3] // 2)

    # The drop downloads the selection into a folder of its own; the target reads it there.
    select_all(ctx, addr, 1, 2)
    drag(first_row(ctx, addr), target)
    check(wait_until(lambda: os.path.exists(ctx.path('drop.1')), 60), 'the drop target was given nothing')
    paths, files, nothing = report(ctx.path('drop.1'))
    check(nothing is None, 'the drop failed: %s' % nothing)
    check(files == expected(remote, ['a.bin', 'tree']), 'the files differ: %s' % files)
    folders = {os.path.dirname(unix_path(p)) for p in paths}
    check(len(paths) == 2 and len(folders) == 1, 'dropped paths %s' % paths)
    folder = folders.pop()
    check(os.path.basename(folder).startswith('CorvidOut-'), 'dropped from %s' % folder)
    temp = os.path.dirname(folder)
    check(wait_until(lambda: not os.path.exists(folder), 20), 'the temporary folder stayed: %s' % folder)
    check(not os.listdir(local), 'the local panel\'s folder got %s' % os.listdir(local))

    # A cancel during the download: the target gets nothing, and nothing stays behind.
    write(os.path.join(remote, 'big.bin'), pattern(4 << 20, 9))
    check(post(ctx, FRAME, WM_COMMAND, IDM_REFRESH_REMOTE), 'refresh')
    check(wait_until(lambda: len(panel(ctx, addr, 1)[2]) == 3, 20), 'big.bin is not listed')
    check(agent.command('ft-delay 20') == 'ok', 'ft-delay')
    select_all(ctx, addr, 1, 3)
    drag(first_row(ctx, addr), target)
    wait_dialog(ctx, addr, IDC_LINE, 'the progress of the drop\'s download')
    check(wait_until(lambda: outboxes(temp), 10), 'no temporary folder during the download')
    check(dialog(ctx, addr, IDCANCEL), 'cancelling the download')
    check(wait_until(lambda: os.path.exists(ctx.path('drop.2')), 60), 'the drop did not end')
    paths, files, nothing = report(ctx.path('drop.2'))
    check(nothing is not None and not paths and not files, 'a cancelled drop gave %s %s' % (paths, files))
    check(wait_until(lambda: not outboxes(temp), 10), 'temporary folders stayed: %s' % outboxes(temp))
    check(agent.command('ft-delay 0') == 'ok', 'ft-delay 0')
    close(ctx, addr, viewer)


def case_ctrl_c_on_remote_items_is_pasted_as_their_files(ctx):
    addr = '127.0.0.107'
    local, remote = ctx.path('local'), ctx.path('remote')
    remote_tree(remote)
    os.makedirs(local)
    # What an ended viewer left goes at the start; a folder not named as the viewer names
    # its own stays.
    users = os.path.join(os.environ['WINEPREFIX'], 'drive_c', 'users', '*')
    temps = glob.glob(os.path.join(users, 'Temp')) + glob.glob(os.path.join(users, 'AppData', 'Local', 'Temp'))
    check(len(temps) == 1, 'temporary folders %s' % temps)
    write(os.path.join(temps[0], 'CorvidOut-4000000000-7', 'sub', 'left.bin'), b'left')
    write(os.path.join(temps[0], 'CorvidOut-07-1', 'kept.bin'), b'kept')
    agent, viewer = open_copy_window(ctx, addr, remote, local)
    check(not os.path.exists(os.path.join(temps[0], 'CorvidOut-4000000000-7')), 'an ended viewer\'s folder stayed')
    check(os.path.exists(os.path.join(temps[0], 'CorvidOut-07-1', 'kept.bin')), 'a foreign folder was removed')
    shutil.rmtree(os.path.join(temps[0], 'CorvidOut-07-1'))
    # A click on the list's empty space gives the window the keyboard of the display (one on
    # an item could start a rename); then both items are selected.
    rect = panel(ctx, addr, 1)[1]
    subprocess.run(['xdotool', 'mousemove', str((rect[0] + rect[2]) // 2), str(rect[3] - 30), 'click', '1'],
                   check=True, timeout=30)
    select_all(ctx, addr, 1, 2)
    subprocess.run(['xdotool', 'key', '--delay', '50', 'ctrl+c'], check=True, timeout=30)
    check(wait_until(lambda: b'Copy to the clipboard: 2 remote items' in read_log(ctx), 10),
          'Ctrl+C put nothing on the clipboard')
    check(not [e for e in agent.events() if e.get('ev') == 'ft_file_sent'], 'Ctrl+C downloaded before the paste')
    # Pasted back into the remote panel, they would come down only to go up again.
    subprocess.run(['xdotool', 'key', '--delay', '50', 'ctrl+v'], check=True, timeout=30)
    text = answer_box(ctx, addr, 1, 'paste of its own items')
    check(text == lang_string(ctx, 'en', 'IDS_FT_PASTE_OWN_ITEMS').decode(), 'box %r' % text)
    check(not [e for e in agent.events() if e.get('ev') == 'ft_file_sent'], 'the paste of own items downloaded')
    shutil.copy2(os.path.join(ctx.bin, 'droptarget.exe'), ctx.dir)
    rc, _ = wine_run(['droptarget.exe', 'PASTE', 'OUT=paste.txt'], cwd=ctx.dir, timeout=120)
    check(rc == 0 and os.path.exists(ctx.path('paste.txt')), 'the paste did not run (%d)' % rc)
    paths, files, nothing = report(ctx.path('paste.txt'))
    check(nothing is None, 'the paste failed: %s' % nothing)
    check(files == expected(remote, ['a.bin', 'tree']), 'the pasted files differ: %s' % files)
    close(ctx, addr, viewer)
    # At its end the viewer takes its items off the clipboard and removes their folder.
    folder = os.path.dirname(unix_path(paths[0]))
    check(os.path.samefile(os.path.dirname(folder), temps[0]), 'pasted from %s' % folder)
    check(not os.path.exists(folder), 'the temporary folder stayed after the viewer: %s' % folder)


if __name__ == '__main__':
    run_case(globals())
