"""End to end: files from another program onto the remote panel. A test program (tools/
dragsource) starts a real DoDragDrop of a CF_HDROP data object while xdotool carries the
pointer over the remote panel, or puts CF_HDROP on the clipboard for Ctrl+V; what arrives
at the simulator is compared byte for byte (SHA-256) with what was offered."""
import os
import shutil
import subprocess
import time

from harness import check, child_rect, lang_string, post, run_case, start, wait_until
from test_dialogs import close, control_text, open_viewer, viewer_class
from test_filetransfer import FRAME, WM_COMMAND, names, open_window, panel, wait_path
from test_ftchange import answer_box, dialog, wait_dialog
from test_ftcopy import IDC_CLEAR_READ_ONLY, IDC_LINE, IDC_SENTENCE, IDYES, events, pattern, sha, tree_files, wait_copied, \
    wine_path, write
from test_ftcopy import confirm as yes

IDC_FROM = 1060
IDM_FT_PASTE = 40070
DROPEFFECT_COPY = 1
DRAGDROP_S_DROP = 0x00040100
SOURCE = (40, 500, 120, 60)  # the test program's window, over the local panel


def offer(root):
    """Two files of one folder and a tree of another: two groups, three items."""
    write(os.path.join(root, 'one', 'a.bin'), pattern(70000, 1))
    write(os.path.join(root, 'one', 'b.txt'), b'')
    write(os.path.join(root, 'two', 'tree', 'c.bin'), pattern(24576, 2))
    write(os.path.join(root, 'two', 'tree', 'sub', 'd.bin'), pattern(49153, 3))
    os.makedirs(os.path.join(root, 'two', 'tree', 'empty'))
    return [os.path.join(root, 'one', 'a.bin'), os.path.join(root, 'one', 'b.txt'), os.path.join(root, 'two', 'tree')]


def dragsource(ctx, mode, files, *geometry):
    """The test program started and ready; (process, its result file)."""
    name = 'dragsource-%d.txt' % len(ctx.procs)
    args = [mode] + [str(g) for g in geometry] + [name] + [wine_path(f) for f in files]
    p = start(ctx, os.path.join(ctx.bin, 'dragsource.exe'), *args)
    out = ctx.path(name)
    check(wait_until(lambda: os.path.exists(out) and open(out).read().startswith('ready'), 30),
          'the test program did not start')
    return p, out


def drag_to(ctx, paths, target):
    """Presses on the test program's window, carries the pointer to target and lets go;
    the program's result: (DoDragDrop's result, the effect chosen, the effects shown)."""
    p, out = dragsource(ctx, 'drag', paths, *SOURCE)
    x, y = SOURCE[0] + SOURCE[2] // 2, SOURCE[1] + SOURCE[3] // 2
    args = ['xdotool', 'mousemove', str(x), str(y), 'sleep', '0.3', 'mousedown', '1', 'sleep', '0.3']
    for k in range(1, 9):
        args += ['mousemove', str(x + (target[0] - x) * k // 8), str(y + (target[1] - y) * k // 8), 'sleep', '0.1']
    subprocess.run(args + ['sleep', '0.5', 'mouseup', '1'], check=True, timeout=30)
    dropped = time.time()
    check(wait_until(lambda: open(out).read().startswith('hr='), 20), 'DoDragDrop did not end')
    p.wait(timeout=20)
    fields = dict(f.split('=') for f in open(out).read().split())
    return int(fields['hr'], 16), int(fields['effect']), fields['feedback'], dropped


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def confirm(ctx, addr, what):
    """The copy confirmation of a drop or paste: its sentence and source, answered Yes."""
    wait_dialog(ctx, addr, IDC_CLEAR_READ_ONLY, 'copy confirmation of the ' + what)
    shown = time.time()
    sentence, source = control_text(ctx, addr, IDC_SENTENCE), control_text(ctx, addr, IDC_FROM)
    yes(ctx, addr)
    return sentence, source, shown


def arrived(agent, remote, offered, base):
    """Every offered file is in remote with the same bytes, as the simulator logged it."""
    received = {e['path']: e['sha256'] for e in events(agent, 'ft_file_received')}
    for path in offered:
        if os.path.isdir(path):
            sent, folders = tree_files(path)
            got, got_folders = tree_files(os.path.join(remote, os.path.basename(path)))
            check({k: v[0] for k, v in got.items()} == {k: v[0] for k, v in sent.items()} and folders == got_folders,
                  'tree %s: %s' % (path, sorted(set(sent) ^ set(got))))
            for rel, (digest, _) in sent.items():
                check(received.get(base + os.path.basename(path) + '\\' + rel.replace('/', '\\')) == digest,
                      'logged %s' % rel)
        else:
            name = os.path.basename(path)
            check(sha(os.path.join(remote, name)) == sha(path) == received.get(base + name), 'file %s' % name)


def case_files_and_a_tree_dropped_from_two_folders_arrive_whole(ctx):
    addr = '127.0.0.101'
    remote = ctx.path('remote')
    os.makedirs(remote)
    offered = offer(ctx.path('explorer'))
    agent, viewer = open_viewer(ctx, addr, '--files', remote)
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'first listing')

    # Dropped on the local panel: nothing, and the source sees no copy.
    hr, effect, feedback, _ = drag_to(ctx, offered, centre(panel(ctx, addr, 0)[1]))
    check(effect == 0 and feedback.split(',')[-1] == '0', 'local drop: effect %d, cursor %s' % (effect, feedback))
    check(control_text(ctx, addr, IDC_CLEAR_READ_ONLY) is None, 'a drop on the local panel asked to copy')

    hr, effect, feedback, dropped = drag_to(ctx, offered, centre(panel(ctx, addr, 1)[1]))
    check(hr == DRAGDROP_S_DROP and effect == DROPEFFECT_COPY, 'hr %08x effect %d' % (hr, effect))
    check(feedback.split(',')[-1] == str(DROPEFFECT_COPY), 'the cursor over the remote panel: %s' % feedback)
    sentence, source, shown = confirm(ctx, addr, 'drop')
    check(sentence == '3 ' + lang_string(ctx, 'en', 'IDS_FT_ITEMS').decode(), 'sentence %r' % sentence)
    check(source.endswith('\\one and 1 more folder(s)'), 'source %r' % source)
    check(wait_until(lambda: agent.packets('PKT_FT_FILE_BEGIN'), 20, 0.02), 'nothing was sent')
    first = time.time()
    wait_copied(ctx, addr)
    arrived(agent, remote, offered, 'C:\\')
    check(sum(1 for p in agent.packets('PKT_FT_FILE_BEGIN') if p['first']) == 1, 'first flags')
    check(wait_until(lambda: 'tree' in names(panel(ctx, addr, 1)), 20), 'the remote panel was not refreshed')
    print('drop of 3 items: dialog %.2f s after the drop, first packet %.2f s after Yes' % (shown - dropped,
                                                                                            first - shown))
    close(ctx, addr, viewer)


def case_files_copied_in_explorer_are_pasted_with_ctrl_v_and_a_running_copy_takes_no_drop(ctx):
    addr = '127.0.0.102'
    remote = ctx.path('remote')
    os.makedirs(remote)
    offered = offer(ctx.path('explorer'))
    agent, viewer = open_viewer(ctx, addr, '--files', remote)
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'first listing')

    # Paste (the frame's menu, as the context menu sends it) with no files to paste.
    check(post(ctx, FRAME, WM_COMMAND, IDM_FT_PASTE), 'posting Paste')
    text = answer_box(ctx, addr, 1, 'paste without files')
    check(text == lang_string(ctx, 'en', 'IDS_FT_PASTE_NO_FILES').decode(), 'box %r' % text)

    source, _ = dragsource(ctx, 'clip', offered)
    x, y = centre(panel(ctx, addr, 1)[1])
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', '1', 'sleep', '0.3', 'key', 'ctrl+v'],
                   check=True, timeout=30)
    sentence, _, _ = confirm(ctx, addr, 'paste')
    check(sentence == '3 ' + lang_string(ctx, 'en', 'IDS_FT_ITEMS').decode(), 'sentence %r' % sentence)
    wait_copied(ctx, addr)
    arrived(agent, remote, offered, 'C:\\')

    # While a copy runs, the remote panel shows no-drop and takes nothing.
    for name in os.listdir(remote):
        shutil.rmtree(os.path.join(remote, name)) if os.path.isdir(os.path.join(remote, name)) else \
            os.remove(os.path.join(remote, name))
    check(agent.command('ft-delay 300') == 'ok', 'ft-delay')
    check(post(ctx, FRAME, WM_COMMAND, IDM_FT_PASTE), 'posting Paste')
    confirm(ctx, addr, 'second paste')
    check(wait_until(lambda: control_text(ctx, addr, IDC_LINE) is not None, 20), 'the copy did not start')
    hr, effect, feedback, _ = drag_to(ctx, offered[:1], centre(panel(ctx, addr, 1)[1]))
    check(effect == 0 and feedback.split(',')[-1] == '0', 'drop during a copy: effect %d, cursor %s' % (effect, feedback))
    check(agent.command('ft-delay 0') == 'ok', 'ft-delay 0')
    wait_copied(ctx, addr)
    check(control_text(ctx, addr, IDC_CLEAR_READ_ONLY) is None, 'the drop during the copy asked to copy')
    check([e['path'] for e in events(agent, 'ft_file_received')].count('C:\\a.bin') == 2, 'the drop was sent')
    post(ctx, 'CORVID:DRAGSOURCE', 0x10)  # WM_CLOSE
    source.wait(timeout=20)
    close(ctx, addr, viewer)


def case_without_the_right_a_drop_is_refused_and_nothing_is_sent(ctx):
    addr = '127.0.0.103'
    remote = ctx.path('remote')
    os.makedirs(remote)
    offered = offer(ctx.path('explorer'))
    agent, viewer = open_viewer(ctx, addr, '--files', remote, '--rights', '10')
    main = child_rect(ctx, viewer_class(addr), '')
    check(main is not None, 'no main window')
    hr, effect, feedback, _ = drag_to(ctx, offered, centre(main))
    check(effect == 0 and feedback.split(',')[-1] == '0', 'effect %d, cursor %s' % (effect, feedback))
    time.sleep(1)
    check(not [p for p in agent.packets() if p['name'].startswith('PKT_FT_')], 'file-transfer packets were sent')
    check(not os.listdir(remote), 'remote holds %s' % os.listdir(remote))
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
