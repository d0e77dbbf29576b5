"""End-to-end console flood: thousands of console starts of mixed sizes, with lines and
cursors between them, under Windows' quota of posted messages. The viewer keeps answering
its window, does not grow, opens one console for the lot and shows exactly the last
screen; a stop gives the main window back, and a start just after it still opens."""
import time

from harness import Agent, check, end_viewer, read_log, reg_set_defaults, run_case, start, wait_until
from test_console import command, console_shows, console_windows, main_shown, read_console, viewer_class
from test_hostile import resident_mb, viewer_pid

PROBE_MS = 1000  # the longest the window may take to answer during a flood
GROWTH_MB = 20


def burst_attr(n):
    return 0x10 * (1 + n % 7) | 0x0F


def starts(agent, n, sizes):
    reply = agent.command('console-starts %d %s' % (n, sizes), timeout=120)
    check(reply == 'ok %d' % n, 'console-starts: %s' % reply)


def probe_times(ctx):
    try:
        with open(ctx.path('probe.txt')) as f:
            return [l.strip() for l in f if l.strip()]
    except FileNotFoundError:
        return []


def case_a_flood_of_console_starts_leaves_the_viewer_answering_and_shows_the_last_screen(ctx):
    addr = '127.0.0.242'
    reg_set_defaults(Language=0)
    agent = Agent(ctx, addr, '--fps', '0')
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', env={'CORVID_TEST_POST_LIMIT': '10000'})
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    pid = viewer_pid(addr)
    time.sleep(1)
    before = resident_mb(pid, viewer)
    peak = [before]
    # The window is timed every 50 ms from before the flood until after it is worked off.
    probe = start(ctx, 'tallydesk-stub.exe', 'PROBE=%s|200|50' % viewer_class(addr), 'OUT=probe.txt')
    check(wait_until(lambda: len(probe_times(ctx)) >= 2, 20), 'the probe did not start')
    t0 = time.time()
    starts(agent, 2500, '1x1,80x25,1x1,40x10')
    command(agent, 'console-line 0 between the bursts')
    command(agent, 'console-cursor 0 0 10 1')
    # The last start (2,499 of the second burst) is 66 x 30.
    starts(agent, 2500, '1x1,1x1,1x1,66x30')
    command(agent, 'console-line 5 after the bursts')
    command(agent, 'console-cursor 10 7 50 1')
    sent = time.time() - t0

    def shown():
        peak[0] = max(peak[0], resident_mb(pid, viewer))
        c = read_console(ctx, addr)
        return c if c and c['size'] == (66, 30) and c['cursor'] == (10, 7, 50, 1) else None
    check(wait_until(shown, 30, 0.2), 'the last start is not shown: %s' % read_console(ctx, addr))
    c = console_shows(ctx, addr, agent)
    worked_off = time.time() - t0
    rows = [t for t, _ in c['rows']]
    check(rows[0].startswith('Start 2499 ') and rows[5] == 'after the bursts'.ljust(66), 'rows %s' % rows[:6])
    check(all(a == '%04x' % burst_attr(2499) * 66 for _, a in c['rows']), 'colours %s' % c['rows'][0][1][:40])
    check(len(console_windows(addr)) == 1, 'consoles: %s' % console_windows(addr))
    check(not main_shown(ctx, addr), 'the main window is shown beside the console')
    probe.wait(timeout=60)
    times = probe_times(ctx)
    slow = [t for t in times if t == 'timeout' or float(t) > PROBE_MS]
    after = resident_mb(pid, viewer)

    # A stop gives the window back; a start right after it opens when the gap has passed.
    command(agent, 'console-close')
    check(wait_until(lambda: not console_windows(addr), 10), 'the console stayed')
    check(wait_until(lambda: main_shown(ctx, addr), 5), 'the main window did not come back')
    starts(agent, 3, '20x5')
    c = wait_until(lambda: (lambda c: c if c and c['size'] == (20, 5) else None)(read_console(ctx, addr)), 10, 0.2)
    check(c, 'a start after the stop did not open: %s' % read_console(ctx, addr))
    console_shows(ctx, addr, agent)
    command(agent, 'console-close')
    check(wait_until(lambda: main_shown(ctx, addr), 10), 'the main window did not come back the second time')
    check(viewer.poll() is None, 'the viewer ended')

    log = read_log(ctx)
    opened = log.count(b'Remote console of ')
    refused = log.count(b'posts outstanding, the limit')
    print('5,000 starts sent in %.2f s, worked off after %.2f s; consoles opened %d; probe: %d answers, '
          'longest %s ms; resident %.1f MB before, %.1f MB at most, %.1f MB after' %
          (sent, worked_off, opened, len(times), max((t for t in times if t != 'timeout'), key=float, default='-'),
           before, peak[0], after))
    check(not slow, 'the window answered slowly: %s' % slow)
    check(len(times) >= 10, 'probe answers: %s' % times)
    check(refused == 0, 'posts refused at the limit')
    check(opened == 2, 'consoles opened: %d' % opened)
    check(max(peak[0], after) - before < GROWTH_MB, 'resident set grew from %.1f to %.1f MB' % (before, peak[0]))
    end_viewer(ctx, viewer_class(addr), viewer)


if __name__ == '__main__':
    run_case(globals())
