"""Time from the operator's refresh of a file-transfer panel to its list of 10,000
entries sorted and painted, under Wine: the remote panel against the Agent simulator
(its listing split over many packets) and the local panel on a folder of this
computer. The console stand-in sends the refresh command to the window (sent, so it
returns when the list is built), has the panel painted and reads the clock around
both, in one process.
Run inside the Wine world:  wine-env.sh run STATE python3 bench/ft_listing.py ..."""
import os
import shutil
import statistics

import benchargs  # makes the harness importable
from harness import Agent, Ctx, check, cleanup, post, reg_set_defaults, start, stub_command, wait_until  # noqa: E402

ENTRIES = 10000
EXTENSIONS = ('txt', 'dat', 'doc', 'log', 'bin', 'jpg', 'zip', 'htm', 'ini', 'csv', 'xml', 'bmp')
WM_COMMAND, IDM_FILE_TRANSFER, REFRESH_LOCAL, REFRESH_REMOTE = 0x111, 40013, 40056, 40057
VK_RETURN, EDIT = 0x0D, 209


def fill(folder):
    os.makedirs(folder)
    for i in range(ENTRIES):
        # Names in no particular order, extensions alternating: the list has to sort them.
        with open(os.path.join(folder, 'f%05d.%s' % ((i * 7919) % ENTRIES, EXTENSIONS[i % len(EXTENSIONS)])),
                  'w') as f:
            f.write('x' * (i % 97))


def send(ctx, viewer_class, command, panel):
    """(milliseconds, items of the panel's list) of one command sent to the window."""
    out = ctx.path('fttime.txt')
    if os.path.exists(out):
        os.remove(out)
    check(stub_command(ctx, 'FTTIME=%s|%d|%d' % (viewer_class, command, panel), 'OUT=fttime.txt') == 0,
          'FTTIME did not run')
    with open(out) as f:
        ms, items = f.read().split()
    return float(ms), int(items)


def timed(ctx, viewer_class, command, panel, runs, entries=ENTRIES):
    times = []
    for _ in range(runs):
        ms, items = send(ctx, viewer_class, command, panel)
        check(items >= entries, 'panel %d lists %d items' % (panel, items))
        times.append(ms)
    times.sort()
    return times


def open_remote_listing(ctx, addr, remote, entries, timeout, before_window=None):
    """A viewer at addr with its file-transfer window open and the remote panel holding
    remote's listing: (the simulator, the viewer's window class, the listing's packets).
    before_window, when given, is called once the desktop is up."""
    agent = Agent(ctx, addr, '--screen', '640x480x16', '--files', remote)
    start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    viewer_class = 'CORVIDS:TCP:' + addr
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    if before_window:
        before_window()
    check(post(ctx, viewer_class, WM_COMMAND, IDM_FILE_TRANSFER), 'posting 40013')
    check(wait_until(lambda: any(e.get('ev') == 'ft_listing' for e in agent.events()), timeout), 'no first listing')
    packets = [e for e in agent.events() if e.get('ev') == 'ft_listing'][0]['packets']
    # Command 0 does nothing: it tells when the first listing is in.
    check(wait_until(lambda: send(ctx, viewer_class, 0, 1)[1] >= entries, timeout), 'the first listing is not in')
    return agent, viewer_class, packets


def report(side, extra, times):
    print('file transfer: %s refresh to a sorted, painted list of %d entries%s under Wine, %d runs: '
          'median %.0f ms, min %.0f ms, max %.0f ms' % (side, ENTRIES, extra, len(times), statistics.median(times),
                                                       times[0], times[-1]))


def main():
    ap = benchargs.parser()
    ap.add_argument('--runs', type=int, default=5)
    a = ap.parse_args()
    ctx = Ctx('ft_listing', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0)
        remote, local = ctx.path('remote'), os.path.abspath(ctx.path('local'))
        fill(remote)
        fill(local)
        agent, viewer_class, packets = open_remote_listing(ctx, '127.0.0.31', remote, ENTRIES, 120)
        report('remote', ' in %d listing packets' % packets, timed(ctx, viewer_class, REFRESH_REMOTE, 1, a.runs))
        # The local panel goes to the folder of 10,000 files.
        wine_path = 'Z:' + local.replace('/', '\\')
        check(stub_command(ctx, 'FTKEY=%s|0|%d|%d|0|%s' % (viewer_class, EDIT, VK_RETURN, wine_path)) == 0,
              'typing the local path')
        check(wait_until(lambda: send(ctx, viewer_class, 0, 0)[1] >= ENTRIES, 120), 'the local folder is not listed')
        report('local', '', timed(ctx, viewer_class, REFRESH_LOCAL, 0, a.runs))
        stub_command(ctx, 'TERMCLASS=' + viewer_class)
    finally:
        cleanup(ctx)
        for folder in ('remote', 'local'):
            shutil.rmtree(ctx.path(folder), ignore_errors=True)


if __name__ == '__main__':
    main()
