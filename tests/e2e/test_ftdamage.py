"""End to end: downloads that must not land where the operator did not choose, nor
replace a file with a damaged copy or one the operator did not see: links inside the
target folder, a packet sent before the viewer's answer, a file whose size is not the
listing's, and a file that appears at the target while it is being copied. Every old
file is compared by SHA-256 before and after."""
import os
import stat

from harness import check, run_case, wait_until
from test_dialogs import close, control_text
from test_ftchange import answer_box, focus_item, wait_dialog
from test_ftcopy import IDC_EXISTS_NOTE, IDC_PATH, IDCANCEL, IDYES, copy, existing_question, leftovers, \
    open_copy_window, pattern, sha, tree_files, wait_copied, write

IDOK = 1


def hashes(root):
    return {k: v[0] for k, v in tree_files(root)[0].items()}


def log_has(ctx, text):
    try:
        with open(ctx.path('Corvid.log'), 'rb') as f:
            return text in f.read().decode('cp1251', 'replace')
    except OSError:
        return False


def refused(ctx, addr, name, named, why):
    """Copies remote item name down and expects the box that names the path refused, before
    any question."""
    focus_item(ctx, addr, 1, name)
    copy(ctx, addr, 1)
    text = answer_box(ctx, addr, IDOK, named)
    check(named in text and why in text, 'the box for %s: %r' % (named, text))
    wait_copied(ctx, addr)


def case_links_inside_the_target_lead_nowhere(ctx):
    addr = '127.0.0.210'
    local, remote, outside = ctx.path('local'), ctx.path('remote'), ctx.path('outside')
    write(os.path.join(remote, 'f.bin'), pattern(70000, 1))
    write(os.path.join(remote, 'Link', 'payload.exe'), pattern(5000, 2))
    write(os.path.join(remote, 's.txt'), b'from the agent')
    write(os.path.join(outside, 'dir', 'old.txt'), b'outside, old')
    write(os.path.join(outside, 'secret.txt'), b'outside, secret')
    write(os.path.join(local, 'keep.txt'), b'inside, kept')
    os.symlink(os.path.join(outside, 'dir'), os.path.join(local, 'Link'))
    os.symlink(os.path.join(outside, 'secret.txt'), os.path.join(local, 's.txt'))
    before_out, before_in = hashes(outside), hashes(local)
    agent, viewer = open_copy_window(ctx, addr, remote, local)

    # A file asked for arrives under another name, through the link: refused.
    check(agent.command('ft-path Link\\f.bin') == 'ok', 'ft-path')
    refused(ctx, addr, 'f.bin', 'Link\\f.bin', 'not part of the item')
    # A folder whose name is a link in the target, and a file that is one.
    refused(ctx, addr, 'Link', 'Link', 'outside')
    refused(ctx, addr, 's.txt', 's.txt', 'outside')
    check(hashes(outside) == before_out, 'written outside: %s' % hashes(outside))
    check(hashes(local) == before_in and not leftovers(local), 'the target changed: %s' % os.listdir(local))
    check(not [e for e in agent.events() if e.get('ev') == 'ft_file_sent' and e.get('answer') == 'go_on'],
          'a file was taken whole')

    # The same file under its own name still arrives, inside.
    focus_item(ctx, addr, 1, 'f.bin')
    copy(ctx, addr, 1)
    wait_copied(ctx, addr)
    check(sha(os.path.join(local, 'f.bin')) == sha(os.path.join(remote, 'f.bin')), 'f.bin did not arrive')
    check(hashes(outside) == before_out, 'written outside: %s' % hashes(outside))
    close(ctx, addr, viewer)


def case_a_lost_packet_a_wrong_size_or_a_new_file_keep_what_was_there(ctx):
    addr = '127.0.0.211'
    local, remote = ctx.path('local'), ctx.path('remote')
    write(os.path.join(remote, 'e.bin'), pattern(50152, 3))
    write(os.path.join(remote, 'g.bin'), pattern(10000, 4))
    write(os.path.join(remote, 'n.bin'), pattern(3 << 20, 5))
    write(os.path.join(remote, 'r.bin'), pattern(3 << 20, 6))
    for name in ('e.bin', 'g.bin', 'r.bin'):
        write(os.path.join(local, name), b'the old ' + name.encode())
    os.chmod(os.path.join(local, 'r.bin'), 0o444)
    old = {n: sha(os.path.join(local, n)) for n in ('e.bin', 'g.bin', 'r.bin')}
    agent, viewer = open_copy_window(ctx, addr, remote, local)

    # The second packet comes before the answer to the first: it is lost, so the file is
    # damaged and the old one stays. The question about the old file comes first only when
    # the worker took the first packet before the second arrived.
    check(agent.command('ft-early') == 'ok', 'ft-early')
    focus_item(ctx, addr, 1, 'e.bin')
    copy(ctx, addr, 1)
    check(wait_until(lambda: log_has(ctx, 'before the previous one was answered'), 20), 'the early packet was not seen')
    check(wait_until(lambda: control_text(ctx, addr, IDC_EXISTS_NOTE) is not None or
                     control_text(ctx, addr, 0xFFFF) is not None, 20), 'neither a question nor a box')
    if control_text(ctx, addr, IDC_EXISTS_NOTE) is not None:
        existing_question(ctx, addr, IDYES)
    text = answer_box(ctx, addr, IDOK, 'the lost packet')
    check('e.bin' in text and 'damaged' in text, 'box %r' % text)
    wait_copied(ctx, addr)
    check(sha(os.path.join(local, 'e.bin')) == old['e.bin'] and not leftovers(local), 'e.bin was replaced')

    # The file grew after it was listed: what arrives is not what was chosen.
    with open(os.path.join(remote, 'g.bin'), 'ab') as f:
        f.write(b'grown')
    focus_item(ctx, addr, 1, 'g.bin')
    copy(ctx, addr, 1)
    existing_question(ctx, addr, IDYES)
    text = answer_box(ctx, addr, IDOK, 'the wrong size')
    check('g.bin' in text and 'damaged' in text, 'box %r' % text)
    wait_copied(ctx, addr)
    check(sha(os.path.join(local, 'g.bin')) == old['g.bin'] and not leftovers(local), 'g.bin was replaced')
    check(log_has(ctx, '10005 bytes arrived where the listing gave 10000'), 'the sizes were not logged')

    # A file saved at the target while the copy runs is asked about; Cancel keeps it.
    check(agent.command('ft-delay 20') == 'ok', 'ft-delay')
    focus_item(ctx, addr, 1, 'n.bin')
    copy(ctx, addr, 1)
    check(wait_until(lambda: leftovers(local), 20), 'no download under way')
    check(agent.command('stall') == 'ok', 'stall')
    write(os.path.join(local, 'n.bin'), b'saved meanwhile')
    check(agent.command('unstall') == 'ok', 'unstall')
    wait_dialog(ctx, addr, IDC_EXISTS_NOTE, 'the question about the new file')
    check(control_text(ctx, addr, IDC_PATH).endswith('\\n.bin'), 'asked about %s' % control_text(ctx, addr, IDC_PATH))
    existing_question(ctx, addr, IDCANCEL)
    wait_copied(ctx, addr)
    with open(os.path.join(local, 'n.bin'), 'rb') as f:
        check(f.read() == b'saved meanwhile' and not leftovers(local), 'the new file was replaced')

    # The replace of a read-only file fails (its temporary is gone): the old file stays as
    # it was, read-only too.
    focus_item(ctx, addr, 1, 'r.bin')
    copy(ctx, addr, 1)
    existing_question(ctx, addr, IDYES)
    check(wait_until(lambda: leftovers(local), 20), 'no download under way')
    check(agent.command('stall') == 'ok', 'stall')
    for name in leftovers(local):
        os.remove(os.path.join(local, name))
    check(agent.command('unstall') == 'ok', 'unstall')
    text = answer_box(ctx, addr, IDCANCEL, 'the failed replace')
    check('r.bin' in text, 'box %r' % text)
    wait_copied(ctx, addr)
    check(sha(os.path.join(local, 'r.bin')) == old['r.bin'], 'r.bin changed')
    check(not os.stat(os.path.join(local, 'r.bin')).st_mode & stat.S_IWUSR, 'r.bin lost its read-only bit')
    check(agent.command('ft-delay 0') == 'ok', 'ft-delay 0')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
