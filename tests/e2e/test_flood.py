"""End-to-end floods: thousands of sound packets of one kind sent back to back, under
Windows' quota of posted messages. During each the viewer's window answers within a
second and its resident memory stays near its start; afterwards a restart is answered
with the exact picture."""
import os
import re
import statistics
import time

from harness import Agent, check, post, read_log, reg_set_defaults, run_case, start, wait_until
from test_desktop import close, match_unscaled, viewer_class
from test_filetransfer import FRAME, open_window
from test_hostile import check_no_crash, resident_mb, viewer_pid

SCREEN = '1024x768x16'
PROBE_MS = 1000  # the longest a probe may wait for the window's answer
GROWTH_MB = 20
# The viewer's test hook logs its post peak since the last report on this message.
POST_REPORT = 0x8000 + 0x3F00
REPORTED = re.compile(rb'Posted messages outstanding at most since the last report: (\d+)\.')


def open_viewer(ctx, addr, *agent_options):
    # The marker of the remote pointer would cover pixels of the picture compared.
    reg_set_defaults(Language=0, FrameMaximized=1, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', SCREEN, *agent_options)
    # Control mode: cursor shapes are only applied in it.
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', 'CTRL', stderr_path=ctx.path('viewer.err'),
                   env={'CORVID_TEST_POST_REPORT': '1'})
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    check(agent.command('wait-synced 30') == 'ok', 'first picture')
    return agent, viewer


def post_peak(ctx, addr):
    """The viewer's post peak since the last call (the first call starts the count)."""
    seen = len(REPORTED.findall(read_log(ctx)))
    check(post(ctx, viewer_class(addr), POST_REPORT), 'posting the report message')
    check(wait_until(lambda: len(REPORTED.findall(read_log(ctx))) > seen, 30), 'no post report')
    return int(REPORTED.findall(read_log(ctx))[-1])


def rebuilt_after_last(agent):
    """Whether client information answered the last flood or restart and a view grid
    followed: restarts in a row are answered once, after the last."""
    events = agent.events()
    floods = [i for i, e in enumerate(events) if e.get('ev') == 'flood' and e.get('kind') == 'restart' or
              e.get('ev') == 'sent' and e.get('name') == 'PKT_DESKTOP_RESTART']
    names = [e.get('name') for e in events[floods[-1] + 1:] if e.get('ev') == 'packet'] if floods else []
    return 'PKT_CLIENT_INFO' in names and 'PKT_VIEW_GRID' in names[names.index('PKT_CLIENT_INFO') + 1:]


def probes(path):
    try:
        with open(path) as f:
            return [line.strip() for line in f if line.strip()]
    except FileNotFoundError:
        return []


def flood(ctx, addr, agent, viewer, start_mb, window, kind, count, worked_off):
    """One flood with a probe running on window; start_mb is the resident set at the start."""
    pid = viewer_pid(addr)
    post_peak(ctx, addr)
    out = ctx.path('probe-%s.txt' % kind)
    prober = start(ctx, 'tallydesk-stub.exe', 'PROBE=%s|100000|50' % window, 'OUT=' + os.path.basename(out))
    check(wait_until(lambda: probes(out), 30), 'the probe did not start')
    peak = [resident_mb(pid, viewer)]
    t0 = time.time()
    reply = agent.command('flood %s %d' % (kind, count), timeout=300)
    sent = time.time() - t0
    check(reply == 'ok %d' % count, '%s flood: %s' % (kind, reply))
    # The viewer answers a restart once it has read all before it: the flood is read then.
    if kind != 'restart':
        check(agent.command('restart') == 'ok', '%s flood: restart' % kind)

    def settled():
        peak[0] = max(peak[0], resident_mb(pid, viewer))
        return worked_off()
    check(wait_until(settled, 120, 0.2), '%s flood: not worked off' % kind)
    worked = time.time() - t0
    # What the last packets posted is still being taken: a few probes more.
    seen = len(probes(out))
    check(wait_until(lambda: len(probes(out)) >= seen + 5, 30), '%s flood: the probe stopped' % kind)
    peak[0] = max(peak[0], resident_mb(pid, viewer))
    prober.kill()
    prober.wait()
    check(viewer.poll() is None, '%s flood: the viewer ended' % kind)
    check_no_crash(ctx, '%s flood' % kind)
    answers = probes(out)
    ms = [float(a) if a not in ('timeout', 'gone') else float('inf') for a in answers]
    posts = post_peak(ctx, addr)
    print('%s x %d: sent in %.2f s, worked off in %.2f s; %d probes, max %.1f ms, median %.1f ms; '
          'resident %.1f MB at the start, %.1f MB at most; posts outstanding at most %d' %
          (kind, count, sent, worked, len(ms), max(ms), statistics.median(ms), start_mb, peak[0], posts))
    slow = [a for a, t in zip(answers, ms) if t >= PROBE_MS]
    check(not slow, '%s flood: %d of %d probes answered late or not: %s' % (kind, len(slow), len(ms), slow[:5]))
    check(peak[0] - start_mb < GROWTH_MB, '%s flood: resident set reached %.1f MB from %.1f MB' %
          (kind, peak[0], start_mb))
    check(posts < 10000, '%s flood: %d posts outstanding' % (kind, posts))


def case_desktop_floods_leave_the_window_answering_and_the_picture_exact(ctx):
    addr = '127.0.0.245'
    agent, viewer = open_viewer(ctx, addr)
    start_mb = resident_mb(viewer_pid(addr), viewer)
    for kind, count in [('cursor-pos', 20000), ('cursor-shape', 3000), ('palette', 3000), ('lights', 3000),
                        ('restart', 2000)]:
        flood(ctx, addr, agent, viewer, start_mb, viewer_class(addr), kind, count, lambda: rebuilt_after_last(agent))
    # Restarts in a row are answered once, after the last: the rebuild for this one
    # shows the picture exactly.
    check(agent.command('restart ' + SCREEN) == 'ok', 'restart')
    check(wait_until(lambda: rebuilt_after_last(agent), 60, 0.5), 'the viewer did not rebuild after the floods')
    match_unscaled(ctx, addr, agent, 'after the floods')
    close(ctx, addr, viewer)
    check_no_crash(ctx, 'at the end')


def case_unasked_file_transfer_replies_with_the_frame_open(ctx):
    addr = '127.0.0.246'
    remote = ctx.path('c')
    os.makedirs(remote)
    agent, viewer = open_viewer(ctx, addr, '--files', remote)
    open_window(ctx, addr, agent)
    start_mb = resident_mb(viewer_pid(addr), viewer)
    flood(ctx, addr, agent, viewer, start_mb, FRAME, 'ft-replies', 20000, lambda: rebuilt_after_last(agent))
    check(b'File-transfer result type 35 with no such request open: dropped.' in read_log(ctx),
          'the unasked results were not logged as dropped')
    close(ctx, addr, viewer)
    check_no_crash(ctx, 'at the end')


if __name__ == '__main__':
    run_case(globals())
