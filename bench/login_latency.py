"""Time from starting Corvid.exe under Wine to its processed login reply, against the
Agent simulator on loopback. The viewer sends PKT_CLIENT_INFO as the last step of
processing an accepted login reply, so its arrival at the simulator ends the clock.
Run inside the Wine world:  wine-env.sh run STATE python3 bench/login_latency.py ..."""
import statistics
import time

import benchargs  # makes the harness importable
from harness import Agent, Ctx, cleanup, reg_set_defaults, start, stub_command  # noqa: E402


def main():
    ap = benchargs.parser()
    ap.add_argument('--runs', type=int, default=10)
    a = ap.parse_args()
    ctx = Ctx('login_latency', a.bin, a.work, a.source)
    try:
        reg_set_defaults(Language=0)
        addr = '127.0.0.30'
        agent = Agent(ctx, addr)
        times = []
        for i in range(a.runs):
            t0 = time.perf_counter()
            viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
            while len(agent.packets('PKT_CLIENT_INFO')) <= i:
                time.sleep(0.002)
            times.append(time.perf_counter() - t0)
            stub_command(ctx, 'TERMCLASS=CORVIDS:TCP:' + addr)
            viewer.wait(timeout=30)
        times.sort()
        print('login: process start to processed login reply under Wine, %d runs: '
              'median %.0f ms, min %.0f ms, max %.0f ms' % (len(times), statistics.median(times) * 1000,
                                                           times[0] * 1000, times[-1] * 1000))
    finally:
        cleanup(ctx)


if __name__ == '__main__':
    main()
