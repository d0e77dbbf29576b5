"""Time from `msiexec /i` of the shipped installer to a logged-in session of the
installed viewer under Wine, against the Agent simulator on loopback; each run removes
the product again. Run inside the Wine world:
  wine-env.sh run STATE python3 bench/install_latency.py --bin build/win64/bin ..."""
import os
import statistics
import time

import benchargs  # makes the harness importable
from harness import Ctx, cleanup, reg_set_defaults  # noqa: E402
from test_install import INSTALLED_EXE, dist, install, log_in, remove_installs, uninstall  # noqa: E402


def main():
    ap = benchargs.parser()
    ap.add_argument('--runs', type=int, default=5)
    a = ap.parse_args()
    ctx = Ctx('install_latency', a.bin, a.work, a.source)
    ctx.msiexec_log = False
    try:
        reg_set_defaults(Language=0)
        remove_installs(ctx)
        msi = dist(ctx, 'msi')
        totals, installs = [], []
        for _ in range(a.runs):
            t0 = time.perf_counter()
            install(ctx, msi)
            installs.append(time.perf_counter() - t0)
            # The simulator's own start between the two is left out.
            totals.append(installs[-1] + log_in(ctx, INSTALLED_EXE, '127.0.0.205'))
            uninstall(ctx, msi)
            remove_installs(ctx)  # the log the viewer left
        print('install: msiexec /i to a logged-in session under Wine, %d runs: median %.2f s, min %.2f s, '
              'max %.2f s (msiexec alone: median %.2f s); zip %d bytes, msi %d bytes' %
              (len(totals), statistics.median(totals), min(totals), max(totals), statistics.median(installs),
               os.path.getsize(dist(ctx, 'zip')), os.path.getsize(msi)))
    finally:
        cleanup(ctx)


if __name__ == '__main__':
    main()
