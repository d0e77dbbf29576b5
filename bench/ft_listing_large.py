"""A remote folder of 200,000 entries, the most one listing may hold, under Wine: the time
from the operator's refresh to the sorted, painted list (the console stand-in sends the
command and has the panel painted, as in ft_listing.py), and the viewer's memory before
the file-transfer window opens and with the list held, beside the bytes of the listing.
Run inside the Wine world:  wine-env.sh run STATE python3 bench/ft_listing_large.py ..."""
import os
import shutil
import statistics

import benchargs  # makes the harness importable
from harness import Ctx, check, cleanup, reg_set_defaults, stub_command  # noqa: E402
from ft_listing import EXTENSIONS, REFRESH_REMOTE, open_remote_listing, timed
from memory_flood import memory_mb
from procstat import viewer_pid

ENTRIES = 200000


def fill(folder):
    os.makedirs(folder)
    for i in range(ENTRIES):
        # Empty files, names in no particular order: the list has to sort them.
        name = 'file%06d.%s' % ((i * 7919) % ENTRIES, EXTENSIONS[i % len(EXTENSIONS)])
        os.close(os.open(os.path.join(folder, name), os.O_CREAT | os.O_WRONLY, 0o644))


def main():
    ap = benchargs.parser()
    ap.add_argument('--runs', type=int, default=3)
    a = ap.parse_args()
    ctx = Ctx('ft_listing_large', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0)
        remote = ctx.path('remote')
        fill(remote)
        addr = '127.0.0.32'
        before = []

        def measure():
            pid = viewer_pid(addr)
            check(pid, 'no viewer process')
            before.append((pid, memory_mb(pid)))
        agent, viewer_class, packets = open_remote_listing(ctx, addr, remote, ENTRIES, 600, measure)
        pid, before = before[0]
        sent = sum(e['len'] + 12 for e in agent.events()
                   if e.get('ev') == 'sent' and e.get('name') in ('PKT_FT_DIR_LISTING', 'PKT_FT_DIR_LISTING_MORE'))
        times = timed(ctx, viewer_class, REFRESH_REMOTE, 1, a.runs, ENTRIES)
        held = memory_mb(pid)
        print('file transfer: remote refresh to a sorted, painted list of %d entries in %d listing packets under '
              'Wine, %d runs: median %.1f s, min %.1f s, max %.1f s' %
              (ENTRIES, packets, len(times), statistics.median(times) / 1000, times[0] / 1000,
               times[-1] / 1000))
        print('file transfer: memory with the list of %d entries held: resident %.0f MB (%+.0f MB), private '
              '%.0f MB (%+.0f MB) against the viewer before the window opened; the listing is %.1f MB on the wire' %
              (ENTRIES, held[0], held[0] - before[0], held[1], held[1] - before[1], sent / 1e6))
        stub_command(ctx, 'TERMCLASS=' + viewer_class)
    finally:
        cleanup(ctx)
        shutil.rmtree(ctx.path('remote'), ignore_errors=True)


if __name__ == '__main__':
    main()
