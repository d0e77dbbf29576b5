"""End to end: remote listings that never end, go silent or arrive damaged, against the
simulator's listing faults: the request dialog's Cancel and time limit, the tail of a
given-up listing dropped with one log line, the boxes, and a refresh that lists again;
a copy with no remote folder shown; an upload of a folder that cannot be read."""
import os
import shutil
import time

from harness import Agent, check, post, read_log, reg_set_defaults, run_case, start, stub_command, wait_until
from test_dialogs import close, control_text
from test_filetransfer import FRAME, LIST, WM_COMMAND, key, listings, names, panel, settled, wait_path
from test_ftchange import answer_box, confirm_delete, dialog, focus_item, wait_dialog, wait_no_dialog
from test_ftcopy import copy, go_local, wait_copied

IDOK, IDCANCEL, IDRETRY, IDC_ANIM = 1, 2, 4, 1004
IDM_FILE_TRANSFER, IDM_REFRESH_REMOTE = 40013, 40057
VK_F5 = 0x74
DROPPED = b'dropped, with what follows until the next listing'


def write(path, text='x'):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w') as f:
        f.write(text)


def start_viewer(ctx, addr, c, wait_ms=None):
    reg_set_defaults(Language=0)
    agent = Agent(ctx, addr, '--screen', '640x480x16', '--files', c)
    env = {'CORVID_TEST_REQUEST_WAIT_MS': str(wait_ms)} if wait_ms else None
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', env=env)
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def open_frame(ctx, addr):
    check(post(ctx, 'CORVIDS:TCP:' + addr, WM_COMMAND, IDM_FILE_TRANSFER), 'posting 40013')
    check(wait_until(lambda: stub_command(ctx, 'FIND=' + FRAME) == 0, 20), 'the file-transfer window did not open')


def refresh(ctx, agent, count):
    check(post(ctx, FRAME, WM_COMMAND, IDM_REFRESH_REMOTE), 'posting refresh')
    check(settled(agent, count), 'refresh %d was not answered' % count)


def case_endless_listing_cancelled_silent_agent_given_up(ctx):
    addr = '127.0.0.230'
    c = ctx.path('c')
    os.makedirs(os.path.join(c, 'alpha'))
    write(os.path.join(c, 'note.txt'))
    agent, viewer = start_viewer(ctx, addr, c, wait_ms=1500)
    # Ten entries a packet keep the list the stand-in reads short.
    check(agent.command('ft-split 10') == 'ok' and agent.command('ft-endless 50') == 'ok', 'arming ft-endless')
    open_frame(ctx, addr)
    wait_dialog(ctx, addr, IDC_ANIM, 'the listing dialog')
    # Past the time limit, but a listing that keeps coming is not given up.
    time.sleep(4)
    check(control_text(ctx, addr, IDC_ANIM) is not None, 'the listing was given up while it came')
    check(dialog(ctx, addr, IDCANCEL), 'pressing Cancel')
    wait_no_dialog(ctx, addr, IDC_ANIM, 'the cancelled listing dialog')
    view = panel(ctx, addr, 1)
    got = names(view)
    check(view[0] == 'C:\\' and got[:2] == ['alpha', 'endless-0000000002.dat'] and got[-1] == 'note.txt' and
          len(got) > 100, 'what came before the cancel, sorted: %s' % got[:4])
    time.sleep(1)  # the tail keeps coming
    refresh(ctx, agent, 2)
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['alpha', 'note.txt'], 20),
          'the refresh lists %s' % names(panel(ctx, addr, 1))[:4])
    stopped = [e for e in agent.events() if e.get('ev') == 'ft_endless_stopped']
    check(stopped and stopped[0]['packets'] > 50, 'the endless listing sent %s' % stopped)
    log = read_log(ctx)
    check(log.count(DROPPED) == 1 and b'listing packets were dropped before this listing' in log,
          'the tail was not dropped with one line: %d' % log.count(DROPPED))

    # A silent Agent: the box after the time limit, the list as it was, the late answer dropped.
    check(agent.command('stall') == 'ok', 'stall')
    check(post(ctx, FRAME, WM_COMMAND, IDM_REFRESH_REMOTE), 'posting refresh')
    text = answer_box(ctx, addr, IDOK, 'the silent Agent')
    check('has sent nothing for 2 seconds' in text, 'box %r' % text)
    check(names(panel(ctx, addr, 1)) == ['alpha', 'note.txt'], 'the list changed: %s' % names(panel(ctx, addr, 1)))
    check(agent.command('unstall') == 'ok', 'unstall')
    check(wait_until(lambda: len(listings(agent)) >= 3, 20), 'the late request was not answered')
    check(wait_until(lambda: read_log(ctx).count(DROPPED) == 2, 10), 'the late listing was not dropped')
    refresh(ctx, agent, 4)
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == ['alpha', 'note.txt'], 20), 'the last refresh')
    close(ctx, addr, viewer)


def case_damaged_listing_box_and_copy_without_remote_folder(ctx):
    addr = '127.0.0.231'
    c, local = ctx.path('c'), ctx.path('local')
    files = ['a%d.txt' % i for i in range(5)]
    for n in files:
        write(os.path.join(c, n))
    write(os.path.join(local, 'up.txt'))
    agent, viewer = start_viewer(ctx, addr, c)
    # The first listing's head is damaged: the box, and no remote folder at all.
    check(agent.command('ft-split 10') == 'ok' and agent.command('ft-damaged') == 'ok', 'arming ft-damaged')
    open_frame(ctx, addr)
    text = answer_box(ctx, addr, IDOK, 'the damaged first listing')
    check('damaged folder listing' in text, 'box %r' % text)
    view = panel(ctx, addr, 1)
    check(not view[0].startswith('C:') and names(view) == [], 'the remote panel after it: %r %s' % (view[0], names(view)))
    # A copy then says why nothing happens.
    go_local(ctx, addr, local)
    focus_item(ctx, addr, 0, 'up.txt')
    key(ctx, addr, 0, LIST, VK_F5)
    text = answer_box(ctx, addr, IDOK, 'a copy with no remote folder')
    check('remote panel shows no folder' in text, 'box %r' % text)
    check(agent.packets('PKT_FT_FILE_BEGIN') == [], 'a file was sent')
    refresh(ctx, agent, 2)
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == files, 20), 'the refresh lists %s' % names(panel(ctx, addr, 1)))

    # Damaged in the middle: what came before it stays, the tail is dropped.
    check(agent.command('ft-split 2') == 'ok' and agent.command('ft-damaged') == 'ok', 'arming ft-damaged')
    check(post(ctx, FRAME, WM_COMMAND, IDM_REFRESH_REMOTE), 'posting refresh')
    answer_box(ctx, addr, IDOK, 'the listing damaged in its second packet')
    check(settled(agent, 3), 'the damaged listing was not sent')
    view = wait_path(ctx, addr, 1, 'C:\\', 'the damaged listing')
    check(names(view) == files[:2], 'the list keeps %s' % names(view))
    log = read_log(ctx)
    check(b'an entry count beyond the entries present' in log and log.count(DROPPED) == 1, 'the log')
    refresh(ctx, agent, 4)
    check(wait_until(lambda: names(panel(ctx, addr, 1)) == files, 20), 'the last refresh %s' % names(panel(ctx, addr, 1)))
    close(ctx, addr, viewer)


def case_upload_of_a_folder_that_cannot_be_read(ctx):
    addr = '127.0.0.232'
    c, local = ctx.path('c'), ctx.path('local')
    os.makedirs(c)
    write(os.path.join(local, 'sub', 'inner.txt'), 'inner')
    agent, viewer = start_viewer(ctx, addr, c)
    open_frame(ctx, addr)
    check(settled(agent, 1), 'no first listing')
    go_local(ctx, addr, local)
    focus_item(ctx, addr, 0, 'sub')
    # Gone since the listing: asked about, not sent empty.
    os.remove(os.path.join(local, 'sub', 'inner.txt'))
    os.rmdir(os.path.join(local, 'sub'))
    copy(ctx, addr, 0)
    text = answer_box(ctx, addr, IDCANCEL, 'the folder that went')
    check('sub' in text, 'box %r' % text)
    wait_copied(ctx, addr)
    check(not os.path.exists(os.path.join(c, 'sub')), 'the folder was sent empty')
    # Back again: Retry reads it.
    copy(ctx, addr, 0)
    text = [None]

    def asked():
        text[0] = control_text(ctx, addr, 0xFFFF)
        return text[0] is not None
    check(wait_until(asked, 20), 'no box for the folder that went')
    write(os.path.join(local, 'sub', 'inner.txt'), 'inner')
    check(dialog(ctx, addr, IDRETRY), 'Retry')
    wait_copied(ctx, addr)
    check(wait_until(lambda: os.path.exists(os.path.join(c, 'sub', 'inner.txt')), 20), 'the folder was not copied')
    with open(os.path.join(c, 'sub', 'inner.txt')) as f:
        check(f.read() == 'inner', 'the copied file')
    close(ctx, addr, viewer)


def swap_for_link(folder, target):
    shutil.rmtree(folder)
    os.symlink(target, folder)


def case_folder_swapped_for_a_link_after_listing_is_not_followed(ctx):
    addr = '127.0.0.233'
    c, local, precious = ctx.path('c'), ctx.path('local'), ctx.path('precious')
    os.makedirs(c)
    for name in ('gone', 'up'):
        write(os.path.join(local, name, 'old.txt'))
    write(os.path.join(precious, 'keep.txt'), 'keep')
    agent, viewer = start_viewer(ctx, addr, c)
    open_frame(ctx, addr)
    check(settled(agent, 1), 'no first listing')
    go_local(ctx, addr, local)
    # Listed as folders; links by the time the operation reaches them.
    focus_item(ctx, addr, 0, 'up')
    swap_for_link(os.path.join(local, 'up'), precious)
    copy(ctx, addr, 0)
    wait_copied(ctx, addr)
    check(wait_until(lambda: os.path.isdir(os.path.join(c, 'up')), 20), 'the folder did not go')
    check(os.listdir(os.path.join(c, 'up')) == [], 'the link was followed: %s' % os.listdir(os.path.join(c, 'up')))
    focus_item(ctx, addr, 0, 'gone')
    swap_for_link(os.path.join(local, 'gone'), precious)
    confirm_delete(ctx, addr, 0, 'The folder "gone" with everything in it')
    # Windows removes a link to a folder as a folder; Wine cannot, and says so.
    link = os.path.join(local, 'gone')
    check(wait_until(lambda: not os.path.lexists(link) or control_text(ctx, addr, 0xFFFF) is not None, 20),
          'the delete did not end')
    if os.path.lexists(link):
        answer_box(ctx, addr, IDCANCEL, 'the link Wine cannot remove')
    check(os.listdir(precious) == ['keep.txt'], 'the delete followed the link: %s' % os.listdir(precious))
    close(ctx, addr, viewer)


def items(ctx, addr, index):
    """The item count of a panel's list, read without reading the items."""
    out = ctx.path('fttime.txt')
    if os.path.exists(out):
        os.remove(out)
    check(stub_command(ctx, 'FTTIME=CORVIDS:TCP:%s|0|%d' % (addr, index), 'OUT=fttime.txt') == 0, 'FTTIME')
    with open(out) as f:
        return int(f.read().split()[1])


def case_listing_stops_at_200000_entries(ctx):
    addr = '127.0.0.234'
    c = ctx.path('c')
    write(os.path.join(c, 'note.txt'))
    agent, viewer = start_viewer(ctx, addr, c)
    check(agent.command('ft-split 1000') == 'ok' and agent.command('ft-endless 0') == 'ok', 'arming ft-endless')
    open_frame(ctx, addr)
    check(wait_until(lambda: control_text(ctx, addr, 0xFFFF) is not None, 150), 'no box at the limit')
    text = answer_box(ctx, addr, IDOK, 'the limit')
    check(text.startswith('C:\\\n') and 'more than 200,000 files and folders' in text, 'box %r' % text)
    check(items(ctx, addr, 1) == 200000, 'the list holds %d' % items(ctx, addr, 1))
    check(b'goes on past 200000 entries' in read_log(ctx), 'the limit is not logged')
    refresh(ctx, agent, 2)
    check(wait_until(lambda: items(ctx, addr, 1) == 1, 30), 'the refresh lists %d' % items(ctx, addr, 1))
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
