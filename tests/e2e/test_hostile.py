"""End-to-end hostile Agent: the viewer under Wine takes thousands of malformed packets
of every type it reads without crashing or growing, and still rebuilds and shows the
desktop exactly afterwards; packets that must end the session end it with a message."""
import re
import subprocess
import time

from harness import Agent, check, child_rect, lang_string, messages, reg_set_defaults, run_case, start, start_console, \
    stop_console, wait_until
from test_clipboard import switch
from test_desktop import close, match_unscaled, viewer_class

# Kinds left out of the stream (agentsim `hostile` names), none.
SKIP = []
CRASH = re.compile(rb'Unhandled exception|Unhandled page fault')
# Resident growth allowed over a stream and a rebuild at the first screen size: the
# stream's screens (up to 2048 x 2048 x 16) are gone by then, while a packet copy kept
# per packet or a desktop kept per rebuild would show far above it.
GROWTH_LIMIT_MB = 24
# While the stream is worked off: one 2048 x 2048 x 16 desktop (tiles and frame) is
# 16 MB; a second one alive at once would still fit.
PEAK_LIMIT_MB = 64


def viewer_pid(addr):
    r = subprocess.run(['pgrep', '-f', 'Corvid.exe TCP=' + addr + '( |$)'], capture_output=True, text=True)
    pids = [int(p) for p in r.stdout.split()]
    check(len(pids) == 1, 'viewer process for %s: %s' % (addr, pids))
    return pids[0]


def resident_mb(pid, viewer):
    try:
        with open('/proc/%d/status' % pid) as f:
            kb = re.search(r'^VmRSS:\s+(\d+) kB', f.read(), re.M)
    except FileNotFoundError:
        kb = None
    check(kb is not None and viewer.poll() is None, 'the viewer ended')
    return int(kb.group(1)) / 1024


def check_no_crash(ctx, what):
    with open(ctx.path('viewer.err'), 'rb') as f:
        err = f.read()
    m = CRASH.search(err)
    check(m is None, '%s: the viewer crashed: %r' % (what, err[max(0, m.start() - 200):m.end() + 800] if m else b''))


def open_session(ctx, addr, screen):
    # The marker of the remote pointer would cover pixels of the picture compared.
    reg_set_defaults(Language=0, FrameMaximized=1, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', screen)
    # Control mode: cursor shapes are only applied in it.
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', 'CTRL', stderr_path=ctx.path('viewer.err'))
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def rebuilt(agent):
    """Whether the viewer has answered the last restart sent with client information and
    then sent a view grid: the view built for that answer. Restarts in a row may be
    answered once, after the last."""
    events = agent.events()
    restarts = [i for i, e in enumerate(events) if e.get('ev') == 'sent' and e.get('name') == 'PKT_DESKTOP_RESTART']
    if not restarts:
        return False
    names = [e.get('name') for e in events[restarts[-1] + 1:] if e.get('ev') == 'packet']
    return 'PKT_CLIENT_INFO' in names and 'PKT_VIEW_GRID' in names[names.index('PKT_CLIENT_INFO') + 1:]


def survive(ctx, addr, seed, count, screen):
    agent, viewer = open_session(ctx, addr, screen)
    check(agent.command('wait-synced 30') == 'ok', 'first picture')
    # Clipboard chunks are only collected while the exchange is on.
    switch(ctx, addr, agent, True)
    pid = viewer_pid(addr)
    time.sleep(1)
    before = resident_mb(pid, viewer)
    t0 = time.time()
    reply = agent.command(' '.join(['hostile', str(seed), str(count)] + ([','.join(SKIP)] if SKIP else [])),
                          timeout=120)
    check(reply == 'ok %d' % count, 'hostile stream: %s' % reply)
    streamed = time.time() - t0
    summary = [e for e in agent.events() if e.get('ev') == 'hostile'][-1]
    check(viewer.poll() is None, 'the viewer ended during the stream')
    check_no_crash(ctx, 'after the stream')
    # A restart to the first screen. The viewer answers each restart with client
    # information, and builds a view for the latest screen information it has; the
    # view built after the answer to this restart shows the picture exactly.
    # A console the stream opened gives the window back at its stop.
    check(agent.command('console-close') == 'ok', 'console stop')
    check(wait_until(lambda: child_rect(ctx, viewer_class(addr), '') is not None, 20), 'the main window is not back')
    check(agent.command('restart ' + screen) == 'ok', 'restart')
    peak = [before]

    def done():
        peak[0] = max(peak[0], resident_mb(pid, viewer))
        return rebuilt(agent)
    check(wait_until(done, 90, 0.5), 'the viewer did not rebuild after the restart')
    caught_up = time.time() - t0
    match_unscaled(ctx, addr, agent, 'after the hostile stream')
    after = resident_mb(pid, viewer)
    check(viewer.poll() is None, 'the viewer ended after the restart')
    check_no_crash(ctx, 'after the restart')
    check(not agent.packets('PKT_CLIPBOARD_TEXT'), 'the Agent\'s clipboard texts were sent back')
    print('seed %d: %d packets (%d bytes) survived, by type %s; stream %.1f s, rebuilt after %.1f s; '
          'resident %.1f MB before, %.1f MB at most, %.1f MB after' %
          (seed, summary['packets'], summary['bytes'], summary['by_type'], streamed, caught_up, before, peak[0], after))
    check(after - before < GROWTH_LIMIT_MB, 'resident set grew from %.1f to %.1f MB' % (before, after))
    check(peak[0] - before < PEAK_LIMIT_MB, 'resident set reached %.1f MB from %.1f MB' % (peak[0], before))
    close(ctx, addr, viewer)
    check_no_crash(ctx, 'at the end')


def case_seed_1_at_16_bits(ctx):
    survive(ctx, '127.0.0.90', 1, 20000, '1024x768x16')


def case_seed_2_at_8_bits(ctx):
    survive(ctx, '127.0.0.91', 2, 20000, '1000x700x8')


def case_seed_3_at_4_bits(ctx):
    survive(ctx, '127.0.0.92', 3, 20000, '800x600x4')


def grid_on_connection(agent, number):
    accepted = False
    for e in agent.events():
        if e.get('ev') == 'accept':
            accepted = e['connection'] == number
        elif accepted and e.get('ev') == 'packet' and e['name'] == 'PKT_VIEW_GRID':
            return True
    return False


def fatal(ctx, addr, kinds):
    """Each kind after a little noise: the viewer ends by itself with its message, whole."""
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    agent = Agent(ctx, addr, '--fps', '0')
    for n, (kind, _) in enumerate(kinds):
        # A short login reply can only end a session that is not logged in yet: the
        # simulator answers the next login with it.
        at_login = kind == 'short-login'
        if at_login:
            check(agent.command('hostile-fatal ' + kind) == 'ok', kind)
        viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', stderr_path=ctx.path('viewer.err'))
        if not at_login:
            check(wait_until(lambda: grid_on_connection(agent, n + 1), 30), '%s: no desktop' % kind)
            # No screens or restarts in the noise: the window builds from the last screen
            # information received, and the answer to a restart would replace the fatal one.
            skip = ','.join(SKIP + ['3', '13'])
            check(agent.command('hostile %d 200 %s' % (100 + n, skip)) == 'ok 200', '%s: noise' % kind)
            check(agent.command('hostile-fatal ' + kind) == 'ok', kind)
        viewer.wait(timeout=60)
        check_no_crash(ctx, kind)
    stop_console(ctx, console)
    texts = [m['text'] for m in messages(ctx)]
    want = [text for _, text in kinds]
    check(texts == want, 'messages:\n%s\nexpected:\n%s' % ('\n'.join(map(repr, texts)), '\n'.join(map(repr, want))))


def formatted(ctx, name, *values):
    text = lang_string(ctx, 'en', name)
    for v in values:
        text = re.sub(rb'%[ud]', b'%d' % v, text, count=1)
    return text


def case_fatal_packets_end_the_session_with_their_message(ctx):
    fatal(ctx, '127.0.0.93', [
        ('unknown-required', formatted(ctx, 'IDS_RECEIVE_FAILED') + formatted(ctx, 'IDS_UNKNOWN_REQUEST')),
        ('short-login', formatted(ctx, 'IDS_PACKET_TOO_SHORT', 1, 38, 39)),
        ('short-screen', formatted(ctx, 'IDS_PACKET_TOO_SHORT', 3, 11, 12)),
        ('too-long', formatted(ctx, 'IDS_PACKET_TOO_LONG', 5, 32757, 32768)),
    ])


def case_fatal_screens_end_the_session_with_their_message(ctx):
    fatal(ctx, '127.0.0.94', [
        ('screen-narrow', formatted(ctx, 'IDS_SCREEN_UNSUPPORTED', 31, 600, 16)),
        ('screen-depth', formatted(ctx, 'IDS_SCREEN_UNSUPPORTED', 640, 480, 24)),
        ('screen-huge', formatted(ctx, 'IDS_SCREEN_UNSUPPORTED', 65535, 65535, 16)),
    ])


if __name__ == '__main__':
    run_case(globals())
