"""End to end: the file-transfer commands that change files, on both panels against
the simulator's file service: new folder (F7), rename by label editing (F2) and the
properties dialog toggling read-only, checked on the wire and on disk."""
import os
import stat

from harness import check, post, read_log, run_case, stub_command, wait_until
from test_dialogs import close, control_text, open_viewer, viewer_class
from test_filetransfer import (EDIT, FRAME, LIST, WM_COMMAND, key, listings, names, open_window, panel, selected,
                               settled, wait_path)

VK_RETURN, VK_HOME, VK_DOWN, VK_F2, VK_F7 = 0x0D, 0x24, 0x28, 0x71, 0x76
IDOK, IDC_NAME, IDC_READ_ONLY = 1, 1044, 1049
IDM_PROPERTIES = 40036


def dialog(ctx, addr, control, text=None):
    spec = '%s|%d' % (viewer_class(addr), control) + ('' if text is None else '|' + text)
    return stub_command(ctx, 'DIALOG=' + spec) == 0


def control_state(ctx, addr, control):
    out = ctx.path('control.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'CONTROL=%s|%d' % (viewer_class(addr), control), 'OUT=control.txt') != 0:
        return None
    with open(out, encoding='utf-8') as f:
        return f.read().split()


def wait_dialog(ctx, addr, control, what):
    check(wait_until(lambda: control_text(ctx, addr, control) is not None, 20), '%s did not open' % what)


def wait_no_dialog(ctx, addr, control, what):
    check(wait_until(lambda: control_text(ctx, addr, control) is None, 20), '%s stayed open' % what)


def focus_item(ctx, addr, index, name):
    """Home, then Down until name is the one selected item of the panel's list."""
    key(ctx, addr, index, LIST, VK_HOME)
    for _ in range(40):
        if wait_until(lambda: selected(panel(ctx, addr, index)) != [], 5) and \
                selected(panel(ctx, addr, index)) == [name]:
            return
        before = selected(panel(ctx, addr, index))
        key(ctx, addr, index, LIST, VK_DOWN)
        wait_until(lambda: selected(panel(ctx, addr, index)) != before, 5)
    check(False, 'panel %d: %s cannot be selected (%s)' % (index, name, names(panel(ctx, addr, index))))


def new_folder(ctx, addr, index, typed):
    key(ctx, addr, index, LIST, VK_F7)
    wait_dialog(ctx, addr, IDC_NAME, 'new folder')
    check(dialog(ctx, addr, IDC_NAME, typed) and dialog(ctx, addr, IDOK), 'filling the new-folder dialog')
    wait_no_dialog(ctx, addr, IDC_NAME, 'new folder')


def rename(ctx, addr, index, old, typed):
    focus_item(ctx, addr, index, old)
    key(ctx, addr, index, LIST, VK_F2)
    check(wait_until(lambda: stub_command(ctx, 'FTLABEL=%s|%d|%s' % (viewer_class(addr), index, typed)) == 0, 20),
          'no label edit for %s' % old)


def toggle_read_only(ctx, addr, index, name, was):
    focus_item(ctx, addr, index, name)
    check(post(ctx, FRAME, WM_COMMAND, IDM_PROPERTIES), 'posting properties')
    wait_dialog(ctx, addr, IDC_READ_ONLY, 'properties')
    check(control_text(ctx, addr, IDC_NAME) == name, 'properties of %s' % control_text(ctx, addr, IDC_NAME))
    state = control_state(ctx, addr, IDC_READ_ONLY)
    check(state[:2] == ['1', '1' if was else '0'], 'read-only box %s' % state)
    check(dialog(ctx, addr, IDC_READ_ONLY) and dialog(ctx, addr, IDOK), 'toggling read-only')
    wait_no_dialog(ctx, addr, IDC_READ_ONLY, 'properties')


def answer_box(ctx, addr, button, what):
    """The message box now shown (its text, id 0xFFFF) answered with button; its text."""
    text = [None]

    def shown():
        text[0] = control_text(ctx, addr, 0xFFFF)
        return text[0] is not None
    check(wait_until(shown, 20), 'no message box: %s' % what)
    check(dialog(ctx, addr, button), 'answering the box: %s' % what)
    wait_no_dialog(ctx, addr, 0xFFFF, 'the box: %s' % what)
    return text[0]


def attributes_of(ctx, addr, index, name):
    for item in panel(ctx, addr, index)[2]:
        if item[0] == name:
            return item[4]
    return None


def results(agent, op):
    return [e for e in agent.events() if e.get('ev') == 'ft_result' and e.get('op') == op]


def case_remote_new_folder_rename_and_read_only(ctx):
    addr = '127.0.0.160'
    c = ctx.path('c')
    os.makedirs(os.path.join(c, 'keep'))
    with open(os.path.join(c, 'note.txt'), 'w') as f:
        f.write('note')
    agent, viewer = open_viewer(ctx, addr, '--files', c)
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'first listing')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['keep', 'note.txt'], 20), 'list %s' % names(panel(ctx, addr, 1)))

    # Separators around the name are dropped; the panel is listed again with it selected.
    new_folder(ctx, addr, 1, 'made\\')
    check(agent.wait_packet('PKT_FT_CREATE_DIR'), 'no PKT_FT_CREATE_DIR')
    check(agent.packets('PKT_FT_CREATE_DIR')[0]['path'] == 'C:\\made', 'create %s' % agent.packets('PKT_FT_CREATE_DIR'))
    check(wait_until(lambda: os.path.isdir(os.path.join(c, 'made')), 10), 'the folder is not on disk')
    check(settled(agent, 2), 'no listing after the new folder')
    check(wait_until(lambda: selected(panel(ctx, addr, 1)) == ['made'], 10), 'selected %s' % selected(panel(ctx, addr, 1)))
    # A name that would leave the folder is refused before anything is sent.
    key(ctx, addr, 1, LIST, VK_F7)
    wait_dialog(ctx, addr, IDC_NAME, 'new folder')
    check(dialog(ctx, addr, IDC_NAME, '..\\escape') and dialog(ctx, addr, IDOK), 'filling the new-folder dialog')
    check('..\\escape' in answer_box(ctx, addr, IDOK, 'a name outside the folder'), 'the box names the refused name')
    check(len(agent.packets('PKT_FT_CREATE_DIR')) == 1 and not os.path.exists(ctx.path('escape')),
          'a name outside the folder was sent')

    # Rename by label editing, with the directory flag for a folder.
    rename(ctx, addr, 1, 'keep', 'kept')
    check(agent.wait_packet('PKT_FT_RENAME'), 'no PKT_FT_RENAME')
    req = agent.packets('PKT_FT_RENAME')[0]
    check((req['old_path'], req['new_path'], req['directory']) == ('C:\\keep', 'C:\\kept', 1), 'rename %s' % req)
    check(wait_until(lambda: 'kept' in names(panel(ctx, addr, 1)), 10), 'renamed item %s' % names(panel(ctx, addr, 1)))
    check(os.path.isdir(os.path.join(c, 'kept')) and not os.path.exists(os.path.join(c, 'keep')), 'rename on disk')
    # Only the case changed: nothing is sent.
    rename(ctx, addr, 1, 'note.txt', 'NOTE.TXT')
    # The Agent refuses a rename onto an existing name: its text is shown, the name kept.
    rename(ctx, addr, 1, 'note.txt', 'kept')
    check('already exists' in answer_box(ctx, addr, IDOK, 'the refused rename'), 'the Agent\'s text is not shown')
    check(len(results(agent, 'rename')) == 2 and 'note.txt' in names(panel(ctx, addr, 1)), 'the name changed')

    # Properties: read-only on, then off again.
    toggle_read_only(ctx, addr, 1, 'note.txt', False)
    check(wait_until(lambda: len(results(agent, 'set_attributes')) == 1, 20), 'no set-attributes result')
    req = agent.packets('PKT_FT_SET_ATTRIBUTES')[0]
    check(req['path'] == 'C:\\note.txt' and req['attributes'] & 1, 'set attributes %s' % req)
    check(wait_until(lambda: 'R' in (attributes_of(ctx, addr, 1, 'note.txt') or ''), 10), 'R not shown')
    toggle_read_only(ctx, addr, 1, 'note.txt', True)
    check(wait_until(lambda: len(results(agent, 'set_attributes')) == 2, 20), 'no second result')
    check(not agent.packets('PKT_FT_SET_ATTRIBUTES')[1]['attributes'] & 1, 'read-only not cleared')
    check(wait_until(lambda: 'R' not in attributes_of(ctx, addr, 1, 'note.txt'), 10), 'R still shown')
    check(len(agent.packets('PKT_FT_RENAME')) == 2, 'a case-only rename was sent')
    close(ctx, addr, viewer)


def case_local_new_folder_rename_and_read_only(ctx):
    addr = '127.0.0.161'
    local = os.path.abspath(ctx.path('local'))
    os.makedirs(os.path.join(local, 'keep'))
    with open(os.path.join(local, 'note.txt'), 'w') as f:
        f.write('note')
    os.makedirs(ctx.path('remote'))
    agent, viewer = open_viewer(ctx, addr, '--files', ctx.path('remote'))
    open_window(ctx, addr, agent)
    wine_path = 'Z:' + local.replace('/', '\\')
    check(wait_until(lambda: (panel(ctx, addr, 0) or ('',))[0] == 'C:\\', 20), 'local panel starts at C:\\')
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, wine_path)
    wait_path(ctx, addr, 0, wine_path, 'typed local path')

    new_folder(ctx, addr, 0, '/fresh/')
    check(wait_until(lambda: os.path.isdir(os.path.join(local, 'fresh')), 10), 'the local folder is not on disk')
    check(wait_until(lambda: selected(panel(ctx, addr, 0)) == ['fresh'], 10), 'selected %s' % selected(panel(ctx, addr, 0)))

    rename(ctx, addr, 0, 'note.txt', 'renamed.txt')
    check(wait_until(lambda: os.path.isfile(os.path.join(local, 'renamed.txt')), 10), 'not renamed on disk')
    check(not os.path.exists(os.path.join(local, 'note.txt')), 'the old name is still there')
    check(wait_until(lambda: 'renamed.txt' in names(panel(ctx, addr, 0)), 10), 'list %s' % names(panel(ctx, addr, 0)))
    # A failed move asks Retry/Cancel; Cancel keeps the old name.
    rename(ctx, addr, 0, 'renamed.txt', 'fresh')
    answer_box(ctx, addr, 2, 'the failed local rename')
    check(os.path.isfile(os.path.join(local, 'renamed.txt')) and 'renamed.txt' in names(panel(ctx, addr, 0)),
          'the failed rename changed the name')
    # A name holding a folder separator never moves the item out of its folder.
    rename(ctx, addr, 0, 'fresh', '..\\outside')
    answer_box(ctx, addr, IDOK, 'a rename out of the folder')
    check(os.path.isdir(os.path.join(local, 'fresh')) and not os.path.exists(ctx.path('outside')),
          'the folder left its place')

    path = os.path.join(local, 'renamed.txt')
    toggle_read_only(ctx, addr, 0, 'renamed.txt', False)
    check(wait_until(lambda: not os.stat(path).st_mode & stat.S_IWUSR, 10), 'read-only not set on disk')
    check(wait_until(lambda: 'R' in (attributes_of(ctx, addr, 0, 'renamed.txt') or ''), 10), 'R not shown')
    toggle_read_only(ctx, addr, 0, 'renamed.txt', True)
    check(wait_until(lambda: os.stat(path).st_mode & stat.S_IWUSR, 10), 'read-only not cleared on disk')
    check(not agent.packets('PKT_FT_CREATE_DIR') and not agent.packets('PKT_FT_RENAME')
          and not agent.packets('PKT_FT_SET_ATTRIBUTES'), 'local changes asked the Agent')
    close(ctx, addr, viewer)


VK_F8 = 0x77
IDYES, IDRETRY, IDC_ATTRIBUTE_NAMES, IDC_YES_TO_ALL, IDC_SENTENCE = 6, 4, 1054, 1056, 1059
IDM_SELECT_ALL = 40041


def confirm_delete(ctx, addr, index, sentence):
    key(ctx, addr, index, LIST, VK_F8)
    wait_dialog(ctx, addr, IDC_SENTENCE, 'delete confirmation')
    check(control_text(ctx, addr, IDC_SENTENCE) == sentence, 'sentence %r' % control_text(ctx, addr, IDC_SENTENCE))
    check(dialog(ctx, addr, IDYES), 'confirming the delete')


def protected_question(ctx, addr, button, path):
    """Answers the protected-item question 153; the path it named."""
    wait_dialog(ctx, addr, IDC_ATTRIBUTE_NAMES, 'protected-item question')
    asked = control_text(ctx, addr, IDC_NAME)
    check(path is None or asked == path, 'question about %r' % asked)
    check(control_text(ctx, addr, IDC_ATTRIBUTE_NAMES) == 'Read-only  ', 'attribute names %r'
          % control_text(ctx, addr, IDC_ATTRIBUTE_NAMES))
    check(dialog(ctx, addr, button), 'answering the question')
    check(wait_until(lambda: control_text(ctx, addr, IDC_NAME) != asked, 20), 'the question stayed')
    return asked


def answers(agent):
    return [p['answer'] for p in agent.packets('PKT_FT_ANSWER')]


def case_remote_delete_tree_read_only_and_yes_to_all(ctx):
    addr = '127.0.0.162'
    c = ctx.path('c')
    os.makedirs(os.path.join(c, 'tree', 'sub'))
    os.makedirs(os.path.join(c, 'locked'))
    for rel in ('tree/a.txt', 'tree/sub/deep.txt', 'ro1.txt', 'locked/ro2.txt', 'locked/ro3.txt', 'locked/ro4.txt',
                'x1.txt', 'x2.txt', 'x3.txt'):
        with open(os.path.join(c, rel), 'w') as f:
            f.write(rel)
    agent, viewer = open_viewer(ctx, addr, '--files', c)
    for rel in ('ro1.txt', 'locked\\ro2.txt', 'locked\\ro3.txt', 'locked\\ro4.txt'):
        check(agent.command('ft-attr 33 C:\\' + rel) == 'ok', 'ft-attr ' + rel)
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'first listing')
    check(wait_until(lambda: len(names(panel(ctx, addr, 1))) == 6, 20), 'list %s' % names(panel(ctx, addr, 1)))

    # A folder goes as one item; the Agent deletes its tree.
    focus_item(ctx, addr, 1, 'tree')
    confirm_delete(ctx, addr, 1, 'The folder "tree" with everything in it')
    check(agent.wait_packet('PKT_FT_DELETE'), 'no PKT_FT_DELETE')
    d = agent.packets('PKT_FT_DELETE')[0]
    check((d['path'], d['directory'], d['first'], d['last']) == ('C:\\tree', 1, 1, 1), 'delete %s' % d)
    check(wait_until(lambda: not os.path.exists(os.path.join(c, 'tree')), 20), 'the tree is still on disk')
    check(wait_until(lambda: 'tree' not in names(panel(ctx, addr, 1)), 20), 'not refreshed %s' % names(panel(ctx, addr, 1)))

    # A read-only file: the Agent asks, Yes deletes it.
    focus_item(ctx, addr, 1, 'ro1.txt')
    confirm_delete(ctx, addr, 1, 'The file "ro1.txt"')
    protected_question(ctx, addr, IDYES, 'C:\\ro1.txt')
    check(wait_until(lambda: not os.path.exists(os.path.join(c, 'ro1.txt')), 20), 'ro1.txt is still on disk')
    check(answers(agent) == ['yes'], 'answers %s' % answers(agent))

    # Three read-only files in a folder: Yes to all after the first question.
    focus_item(ctx, addr, 1, 'locked')
    confirm_delete(ctx, addr, 1, 'The folder "locked" with everything in it')
    protected_question(ctx, addr, IDC_YES_TO_ALL, 'C:\\locked\\ro2.txt')
    check(wait_until(lambda: not os.path.exists(os.path.join(c, 'locked')), 20), 'locked is still on disk')
    check(answers(agent) == ['yes', 'yes_to_all'], 'answers %s' % answers(agent))
    check(len([e for e in agent.events() if e.get('ev') == 'ft_question']) == 2, 'asked again after Yes to all')

    # Three items: first only with the first, last only with the third; an error of
    # kind 1 on the first is retried.
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['x1.txt', 'x2.txt', 'x3.txt'], 20),
          'list %s' % names(panel(ctx, addr, 1)))
    check(post(ctx, FRAME, WM_COMMAND, IDM_SELECT_ALL), 'select all')
    check(wait_until(lambda: len(selected(panel(ctx, addr, 1))) == 3, 10), 'selected %s' % selected(panel(ctx, addr, 1)))
    check(agent.command('ft-error 1') == 'ok', 'arming an error')
    confirm_delete(ctx, addr, 1, '3 files')
    text = answer_box(ctx, addr, IDRETRY, 'the error of kind 1')
    check(text.startswith('C:\\x1.txt\n') and 'Injected' in text, 'error box %r' % text)
    check(wait_until(lambda: not any(os.path.exists(os.path.join(c, 'x%d.txt' % i)) for i in (1, 2, 3)), 20),
          'left %s' % os.listdir(c))
    flags = [(d['path'], d['first'], d['last']) for d in agent.packets('PKT_FT_DELETE')[3:]]
    check(flags == [('C:\\x1.txt', 1, 0), ('C:\\x2.txt', 0, 0), ('C:\\x3.txt', 0, 1)], 'flags %s' % flags)
    check(answers(agent) == ['yes', 'yes_to_all', 'yes'], 'answers %s' % answers(agent))
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == [], 20), 'not refreshed %s' % names(panel(ctx, addr, 1)))

    # An error of a kind the viewer does not know is refused: stop, nothing deleted.
    with open(os.path.join(c, 'y.txt'), 'w') as f:
        f.write('y')
    check(post(ctx, FRAME, WM_COMMAND, 40057), 'refresh')
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['y.txt'], 20), 'list %s' % names(panel(ctx, addr, 1)))
    focus_item(ctx, addr, 1, 'y.txt')
    check(agent.command('ft-error 9') == 'ok', 'arming an unknown error')
    confirm_delete(ctx, addr, 1, 'The file "y.txt"')
    check(wait_until(lambda: answers(agent)[3:] == ['no'], 20), 'answers %s' % answers(agent))
    check(wait_until(lambda: b'error kind over 7' in read_log(ctx), 20), 'the refusal was not logged')
    check(wait_until(lambda: len(listings(agent)) >= 7, 20), 'no refresh after the stop')
    check(os.path.exists(os.path.join(c, 'y.txt')) and names(panel(ctx, addr, 1)) == ['y.txt'], 'y.txt went')
    close(ctx, addr, viewer)


def case_local_delete_of_a_folder_holding_read_only_files(ctx):
    addr = '127.0.0.163'
    local = os.path.abspath(ctx.path('local'))
    doomed = os.path.join(local, 'doomed')
    os.makedirs(os.path.join(doomed, 'sub'))
    os.makedirs(os.path.join(local, 'kept'))
    for rel in ('doomed/ro1.txt', 'doomed/sub/ro2.txt', 'doomed/sub/ro3.txt', 'doomed/plain.txt', 'kept/k.txt',
                'kept/ro.txt'):
        with open(os.path.join(local, rel), 'w') as f:
            f.write(rel)
        if '/ro' in rel:
            os.chmod(os.path.join(local, rel), 0o444)
    os.makedirs(ctx.path('remote'))
    agent, viewer = open_viewer(ctx, addr, '--files', ctx.path('remote'))
    open_window(ctx, addr, agent)
    wine_path = 'Z:' + local.replace('/', '\\')
    check(wait_until(lambda: (panel(ctx, addr, 0) or ('',))[0] == 'C:\\', 20), 'local panel starts at C:\\')
    key(ctx, addr, 0, EDIT, VK_RETURN, 0, wine_path)
    wait_path(ctx, addr, 0, wine_path, 'typed local path')
    # Cancel at the question stops the operation; the protected file and its folder stay.
    focus_item(ctx, addr, 0, 'kept')
    confirm_delete(ctx, addr, 0, 'The folder "kept" with everything in it')
    protected_question(ctx, addr, 2, wine_path + '\\kept\\ro.txt')
    wait_no_dialog(ctx, addr, 1062, 'the progress dialog after Cancel')
    check('ro.txt' in os.listdir(os.path.join(local, 'kept')), 'kept holds %s' % os.listdir(os.path.join(local, 'kept')))
    focus_item(ctx, addr, 0, 'doomed')
    confirm_delete(ctx, addr, 0, 'The folder "doomed" with everything in it')
    # Each protected file is asked about until Yes to all.
    first = protected_question(ctx, addr, IDYES, None)
    second = protected_question(ctx, addr, IDC_YES_TO_ALL, None)
    check(first != second and first.startswith(wine_path + '\\doomed\\'), 'questions %r %r' % (first, second))
    check(wait_until(lambda: not os.path.exists(doomed), 20), 'doomed is still on disk: %s' % list(os.walk(doomed)))
    check(os.path.isfile(os.path.join(local, 'kept', 'ro.txt')), 'a folder beside it went too')
    check(wait_until(lambda: names(panel(ctx, addr, 0)) == ['..', 'kept'], 20), 'not refreshed %s' % names(panel(ctx, addr, 0)))
    check(not agent.packets('PKT_FT_DELETE'), 'a local delete asked the Agent')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
