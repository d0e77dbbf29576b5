"""End to end: the download answers a chunk in the middle of a file before it opens and
writes it. A chunk that then fails to open still fails its file: the old file stays, no
partial one is left, the Agent hears stop at its next packet, and the next copy on the
same connection arrives whole."""
import os

from harness import check, run_case, wait_until
from test_dialogs import close
from test_ftchange import answer_box, focus_item
from test_ftcopy import IDYES, copy, events, existing_question, leftovers, open_copy_window, pattern, sha, \
    wait_copied, write

IDOK = 1


def case_a_chunk_that_fails_after_its_answer_keeps_the_old_file(ctx):
    addr = '127.0.0.193'
    local, remote = ctx.path('local'), ctx.path('remote')
    write(os.path.join(remote, 'old.bin'), pattern(5 * 24576 + 100, 7))
    write(os.path.join(remote, 'new.bin'), pattern(4 * 24576, 8))
    write(os.path.join(local, 'old.bin'), b'the old file')
    kept = sha(os.path.join(local, 'old.bin'))
    agent, viewer = open_copy_window(ctx, addr, remote, local)

    # Over an old file, and where nothing was: the second packet does not open.
    for name, old in (('old.bin', True), ('new.bin', False)):
        check(agent.command('ft-ragged') == 'ok', 'ft-ragged')
        focus_item(ctx, addr, 1, name)
        copy(ctx, addr, 1)
        if old:
            existing_question(ctx, addr, IDYES)
        text = answer_box(ctx, addr, IDOK, 'the chunk that does not open')
        check(name in text and 'damaged' in text, 'box %r' % text)
        wait_copied(ctx, addr)
        check(not leftovers(local), 'a partial file stayed: %s' % os.listdir(local))
        stopped = events(agent, 'ft_download_stopped')
        check(stopped and stopped[-1]['relative'] == name and stopped[-1]['bytes'] == 3 * 24576,
              'the Agent was not stopped at the packet after: %s' % stopped)
    check(sha(os.path.join(local, 'old.bin')) == kept, 'old.bin was replaced')
    check(not os.path.exists(os.path.join(local, 'new.bin')), 'new.bin was left behind')
    check(not [e for e in events(agent, 'ft_file_sent') if e.get('answer') == 'go_on'], 'a file was taken whole')

    # Nothing is owed on the connection: the same file comes whole now.
    focus_item(ctx, addr, 1, 'new.bin')
    copy(ctx, addr, 1)
    wait_copied(ctx, addr)
    check(wait_until(lambda: os.path.exists(os.path.join(local, 'new.bin')), 10), 'new.bin did not arrive')
    check(sha(os.path.join(local, 'new.bin')) == sha(os.path.join(remote, 'new.bin')), 'new.bin differs')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
