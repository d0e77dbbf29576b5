"""End-to-end remote console as full-screen programs use it: a start with the cursor
parked below the last row opens the console with the screen shown and the cursor hidden,
and cursor messages that park it again or bring it back are applied."""
import time

from harness import check, run_case, wait_until
from test_console import (PAD, child_rect, close, command, console_windows, open_session, packet_hex, read_console,
                          title)


def case_a_start_with_the_cursor_parked_off_the_screen_opens_the_console(ctx):
    addr = '127.0.0.176'
    agent, viewer = open_session(ctx, addr)
    text = 'parked cursor'.ljust(80).encode('latin-1')
    cells = ''.join(packet_hex(('<H', b), ('<H', 0x1f)) for b in text) + packet_hex(('<H', 0x20), ('<H', 0x07)) * 80 * 24
    head = packet_hex(('<h', 80), ('<h', 25), ('<h', 0), ('<h', 25), ('<I', 25), ('<I', 1), ('<I', 0))
    t0 = time.time()
    command(agent, 'send 22 1 ' + head + cells)
    check(wait_until(lambda: console_windows(addr), 15), 'no console for a start with the cursor below the last row')
    c = wait_until(lambda: (lambda c: c if c and c['rows'] and c['rows'][0][0].startswith('parked') else None)(
        read_console(ctx, addr)), 10, 0.3)
    check(c, 'the screen is not shown: %s' % (read_console(ctx, addr),))
    print('console shown after %.2f s' % (time.time() - t0))
    check(c['title'] == title(addr) and c['size'] == (80, 25), 'title %r size %s' % (c['title'], c['size']))
    check(c['rows'][0][1] == '001f' * 80 and c['rows'][1][1] == '0007' * 80, 'colours %s' % c['rows'][0][1][:16])
    check(c['cursor'][3] == 0, 'a parked cursor shows: %s' % (c['cursor'],))
    check(wait_until(lambda: child_rect(ctx, PAD, '') is not None, 10), 'no button pad')
    # Brought onto the screen it shows; parked again (size 0 with it) it hides where it was.
    command(agent, 'console-cursor 5 3 50 1')
    check(wait_until(lambda: read_console(ctx, addr)['cursor'] == (5, 3, 50, 1), 5),
          'cursor %s' % (read_console(ctx, addr)['cursor'],))
    command(agent, 'console-cursor 0 25 0 1')
    check(wait_until(lambda: read_console(ctx, addr)['cursor'] == (5, 3, 50, 0), 5),
          'cursor %s' % (read_console(ctx, addr)['cursor'],))
    check(viewer.poll() is None, 'the viewer ended')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
