"""End to end: copying files and folder trees both ways between the viewer's folders and
the simulator's, compared byte for byte (SHA-256) with their times and attributes; the
existing-file questions on both sides; cancel, damaged and hostile downloads and a
killed viewer, none of which may cost the file that was there before."""
import hashlib
import os
import signal
import stat

from harness import check, post, read_log, run_case, wait_until
from test_dialogs import close, control_text, open_viewer
from test_filetransfer import EDIT, FRAME, LIST, WM_COMMAND, key, names, open_window, panel, selected, wait_path
from test_ftchange import answer_box, dialog, focus_item, wait_dialog, wait_no_dialog

VK_RETURN, VK_F5 = 0x0D, 0x74
IDYES, IDCANCEL, IDC_YES_TO_ALL = 6, 2, 1056
IDC_SENTENCE, IDC_PATH, IDC_EXISTS_NOTE, IDC_CLEAR_READ_ONLY, IDC_LINE = 1059, 1062, 1065, 1066, 1073
IDM_SELECT_ALL, IDM_REFRESH_LOCAL, IDM_REFRESH_REMOTE = 40041, 40056, 40057
SIZES = (0, 1, 24575, 24576, 24577, 49152)


def sha(path):
    h = hashlib.sha256()
    with open(path, 'rb') as f:
        for block in iter(lambda: f.read(1 << 20), b''):
            h.update(block)
    return h.hexdigest()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def pattern(n, seed=0):
    return bytes((i * 131 + seed + i // 997) & 0xFF for i in range(n))


def tree_files(root):
    """{relative path: (sha256, mtime in whole seconds)} of every file, and the folders."""
    files, folders = {}, set()
    for d, subs, fs in os.walk(root):
        for s in subs:
            folders.add(os.path.relpath(os.path.join(d, s), root))
        for f in fs:
            p = os.path.join(d, f)
            files[os.path.relpath(p, root)] = (sha(p), int(os.stat(p).st_mtime))
    return files, folders


def leftovers(folder):
    return [n for n in os.listdir(folder) if n.startswith('~corvid')]


def wine_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def go_local(ctx, addr, folder):
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, wine_path(folder))
    wait_path(ctx, addr, 0, wine_path(folder), 'typed local path')


def copy(ctx, addr, index, sentence=None, clear_read_only=None):
    """F5 in panel index's list, the confirmation answered Yes."""
    key(ctx, addr, index, LIST, VK_F5)
    wait_dialog(ctx, addr, IDC_CLEAR_READ_ONLY, 'copy confirmation')
    if sentence is not None:
        check(control_text(ctx, addr, IDC_SENTENCE) == sentence, 'sentence %r' % control_text(ctx, addr, IDC_SENTENCE))
    if clear_read_only is not None:
        from test_ftchange import control_state
        if (control_state(ctx, addr, IDC_CLEAR_READ_ONLY)[1] == '1') != clear_read_only:
            check(dialog(ctx, addr, IDC_CLEAR_READ_ONLY), 'toggling the read-only option')
    check(dialog(ctx, addr, IDYES), 'confirming the copy')
    wait_no_dialog(ctx, addr, IDC_CLEAR_READ_ONLY, 'copy confirmation')


def wait_copied(ctx, addr, timeout=120):
    check(wait_until(lambda: control_text(ctx, addr, IDC_LINE) is None, timeout), 'the copy did not end')


def select_all(ctx, addr, index, count):
    key(ctx, addr, index, LIST, 0x24)  # Home: the panel becomes the active one
    check(post(ctx, FRAME, WM_COMMAND, IDM_SELECT_ALL), 'select all')
    check(wait_until(lambda: len(selected(panel(ctx, addr, index))) == count, 10),
          'selected %s' % selected(panel(ctx, addr, index)))


def existing_question(ctx, addr, button):
    """Answers the existing-file question 166; the path it named."""
    wait_dialog(ctx, addr, IDC_EXISTS_NOTE, 'existing-file question')
    asked = control_text(ctx, addr, IDC_PATH)
    check(dialog(ctx, addr, button), 'answering the existing-file question')
    check(wait_until(lambda: control_text(ctx, addr, IDC_EXISTS_NOTE) is None or
                     control_text(ctx, addr, IDC_PATH) != asked, 20), 'the question stayed')
    return asked
