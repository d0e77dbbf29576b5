"""End to end: the Agent's questions during and after a copy, one box at a time and every one
answered, so the next listing is served; and a file-transfer window closed in the middle of a
download, which must stop its worker before the next download starts."""
import os

from harness import check, post, read_log, run_case, stub_command, wait_until
from test_dialogs import close, control_text
from test_filetransfer import FRAME, WM_COMMAND, names, open_window, panel, wait_path
from test_ftchange import dialog, focus_item, wait_dialog
from test_ftcopy import (IDC_EXISTS_NOTE, IDYES, IDM_REFRESH_REMOTE, content, copy, events, existing_question,
                         go_local, leftovers, open_copy_window, pattern, sha, wait_copied, wait_partial, write)

WM_CLOSE = 0x10
EXTRA = b'while another question is open: answered with stop'


def refresh_shows(ctx, addr, agent, remote, name):
    """A new remote file, then Refresh: the simulator serves the listing and the panel shows it."""
    write(os.path.join(remote, name), name.encode())
    before = len(events(agent, 'ft_listing'))
    check(post(ctx, FRAME, WM_COMMAND, IDM_REFRESH_REMOTE), 'posting refresh')
    check(wait_until(lambda: len(events(agent, 'ft_listing')) > before, 20),
          'the listing after the questions was not served: %s' % [e for e in agent.events() if e.get('ev') == 'error'][-3:])
    check(wait_until(lambda: name in (names(panel(ctx, addr, 1)) or []), 20), 'refresh %s' % names(panel(ctx, addr, 1)))


def case_a_flood_of_questions_and_one_after_the_copy_are_all_answered(ctx):
    addr = '127.0.0.220'
    local, remote = ctx.path('local'), ctx.path('remote')
    write(os.path.join(remote, 'q.bin'), pattern(70000, 1))
    os.makedirs(local)
    agent, viewer = open_copy_window(ctx, addr, remote, local)

    # 3,000 questions before the file: one box, every other one answered stop at once.
    check(agent.command('ft-questions 3000') == 'ok', 'ft-questions')
    focus_item(ctx, addr, 1, 'q.bin')
    copy(ctx, addr, 1)
    wait_dialog(ctx, addr, IDC_EXISTS_NOTE, 'the first question')
    check(wait_until(lambda: read_log(ctx).count(EXTRA) >= 2999, 90),
          'extra questions answered: %d' % read_log(ctx).count(EXTRA))
    check(dialog(ctx, addr, IDYES), 'answering the first question')
    check(wait_until(lambda: events(agent, 'ft_questions_answered'), 30), 'not every question was answered')
    e = events(agent, 'ft_questions_answered')[0]
    check((e['count'], e['yes'], e['no'], e['yes_to_all'], e['go_on']) == (3000, 1, 2999, 0, 0), 'answers %s' % e)
    wait_copied(ctx, addr)  # the stops end the copy
    check(read_log(ctx).count(EXTRA) == 2999, 'extra stops: %d' % read_log(ctx).count(EXTRA))
    check(not os.path.exists(os.path.join(local, 'q.bin')) and not leftovers(local), 'left %s' % os.listdir(local))
    refresh_shows(ctx, addr, agent, remote, 'after.txt')

    # A question with no operation open is answered with stop too, and the next listing comes.
    check(agent.command('ft-questions 1 now') == 'ok', 'ft-questions now')
    check(wait_until(lambda: len(events(agent, 'ft_questions_answered')) == 2, 20), 'the late question was not answered')
    e = events(agent, 'ft_questions_answered')[1]
    check((e['count'], e['no']) == (1, 1), 'answer %s' % e)
    check(b'PKT_FT_CONFIRM_OVERWRITE with no operation open: answered with stop' in read_log(ctx), 'not logged')
    refresh_shows(ctx, addr, agent, remote, 'later.txt')
    close(ctx, addr, viewer)


def close_frame(ctx):
    check(post(ctx, FRAME, WM_CLOSE), 'posting WM_CLOSE to the frame')
    check(wait_until(lambda: stub_command(ctx, 'FIND=' + FRAME) != 0, 20), 'the frame did not close')


def case_a_window_closed_during_a_download_stops_it_and_the_next_download_is_whole(ctx):
    addr = '127.0.0.221'
    local, remote = ctx.path('local'), ctx.path('remote')
    write(os.path.join(remote, 'big.bin'), os.urandom(20 << 20))
    write(os.path.join(remote, 'next.bin'), pattern(300000, 6))
    write(os.path.join(local, 'big.bin'), b'the old big.bin')
    agent, viewer = open_copy_window(ctx, addr, remote, local)
    # Closed while the worker's own question is up: the box goes with it, the Agent hears stop.
    focus_item(ctx, addr, 1, 'big.bin')
    copy(ctx, addr, 1)
    wait_dialog(ctx, addr, IDC_EXISTS_NOTE, 'the existing-file question')
    close_frame(ctx)
    check(wait_until(lambda: control_text(ctx, addr, IDC_EXISTS_NOTE) is None, 20), 'the question outlived its window')
    check(wait_until(lambda: events(agent, 'ft_download_stopped'), 20), 'the Agent was not told to stop')
    check(content(local, 'big.bin') == b'the old big.bin' and not leftovers(local), 'left %s' % os.listdir(local))

    # Closed in the middle of the data: the download stops at once.
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'listing of the window opened again')
    go_local(ctx, addr, local)
    check(agent.command('ft-delay 5') == 'ok', 'ft-delay')
    focus_item(ctx, addr, 1, 'big.bin')
    copy(ctx, addr, 1)
    existing_question(ctx, addr, IDYES)

    wait_partial(local)
    close_frame(ctx)
    # The Agent hears stop, the partial file goes, the old one stays.
    check(wait_until(lambda: len(events(agent, 'ft_download_stopped')) == 2, 20), 'the Agent was not told to stop')
    check(wait_until(lambda: not leftovers(local), 20), 'left %s' % leftovers(local))
    check(content(local, 'big.bin') == b'the old big.bin', 'the old big.bin was touched')
    check(b'has not ended' not in read_log(ctx), 'the worker outlived its dialog')

    check(agent.command('ft-delay 0') == 'ok', 'ft-delay 0')
    open_window(ctx, addr, agent)
    wait_path(ctx, addr, 1, 'C:\\', 'listing of the window opened again')
    go_local(ctx, addr, local)
    focus_item(ctx, addr, 1, 'next.bin')
    copy(ctx, addr, 1)
    wait_copied(ctx, addr)
    check(os.path.exists(os.path.join(local, 'next.bin')) and sha(os.path.join(local, 'next.bin')) ==
          sha(os.path.join(remote, 'next.bin')), 'next.bin did not arrive whole')
    check(content(local, 'big.bin') == b'the old big.bin' and not leftovers(local), 'left %s' % os.listdir(local))
    sent = events(agent, 'ft_file_sent')
    check([e['relative'] for e in sent] == ['next.bin'] and sent[0]['answer'] == 'go_on', 'sent %s' % sent)
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
