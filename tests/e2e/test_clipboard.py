"""End-to-end clipboard exchange: the X clipboard of the test display plays the local
side (Wine bridges it to the Windows clipboard), the Agent simulator the remote one."""
import hashlib
import struct
import subprocess
import time

from harness import Agent, check, end_viewer, post, read_log, reg_set_defaults, run_case, start, wait_until

WM_COMMAND, IDM_CLIPBOARD_EXCHANGE = 0x111, 40024


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def x_clipboard_set(data):
    # xclip stays behind to serve the selection: it must not hold this run's output open.
    subprocess.run(['xclip', '-selection', 'clipboard'], input=data, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=30)


def x_clipboard():
    # Wine 8's clipboard thread answers a request that reaches it just after it took the
    # selection, then waits with the answer still in its X buffer: that reader is never
    # told. An unanswered read is "not yet"; the next poll's request flushes the buffer.
    try:
        r = subprocess.run(['xclip', '-o', '-selection', 'clipboard', '-t', 'UTF8_STRING'], capture_output=True,
                           timeout=3)
    except subprocess.TimeoutExpired:
        return None
    return r.stdout if r.returncode == 0 else None


def open_session(ctx, addr):
    reg_set_defaults(Language=0)
    agent = Agent(ctx, addr, '--fps', '0')
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def switch(ctx, addr, agent, on):
    before = len(agent.packets('PKT_SET_CLIPBOARD_SYNC'))
    post(ctx, viewer_class(addr), WM_COMMAND, IDM_CLIPBOARD_EXCHANGE)
    check(agent.wait_packet('PKT_SET_CLIPBOARD_SYNC', before + 1), 'no PKT_SET_CLIPBOARD_SYNC')
    check(agent.packets('PKT_SET_CLIPBOARD_SYNC')[-1]['on'] == on, 'sync state')


def received(agent):
    return [e for e in agent.events() if e.get('ev') == 'clipboard']


def chunks(agent):
    return [(p['total'], p['index'], p['count'], p['length']) for p in agent.packets('PKT_CLIPBOARD_TEXT')]


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def case_local_text_goes_out_in_chunks_only_while_exchange_is_on(ctx):
    addr = '127.0.0.120'
    agent, viewer = open_session(ctx, addr)
    x_clipboard_set(b'copied while the exchange is off')
    time.sleep(2)
    check(chunks(agent) == [], 'sent while off: %s' % chunks(agent))
    switch(ctx, addr, agent, True)
    text = bytes(ord('a') + i % 26 for i in range(8193))
    x_clipboard_set(text)
    check(wait_until(lambda: received(agent), 20), 'the text did not reach the Agent')
    check(chunks(agent) == [(8193, 0, 2, 8192), (8193, 1, 2, 1)], 'chunks %s' % chunks(agent))
    got = received(agent)[0]
    check(got['length'] == 8193 and got['sha256'] == hashlib.sha256(text).hexdigest(), 'text %s' % got)
    switch(ctx, addr, agent, False)
    x_clipboard_set(b'copied after the exchange went off')
    time.sleep(2)
    check(len(chunks(agent)) == 2, 'sent after switching off: %s' % chunks(agent))
    close(ctx, addr, viewer)


def case_the_agents_text_lands_whole_and_is_not_sent_back(ctx):
    addr = '127.0.0.121'
    agent, viewer = open_session(ctx, addr)
    switch(ctx, addr, agent, True)
    lines = [('line %05d of the remote text, ' % i).encode() * 2 for i in range(300)]
    text = b'\r\n'.join(lines)[:20000]
    check(agent.command('clip ' + text.hex()) == 'ok', 'clip')
    want = text.replace(b'\r\n', b'\n')  # Wine hands X the text with bare line feeds
    check(wait_until(lambda: x_clipboard() == want, 20), 'the X clipboard has %r' % (x_clipboard() or b'')[:80])
    time.sleep(2)
    check(chunks(agent) == [], 'the Agent\'s own text was sent back: %s' % chunks(agent))
    close(ctx, addr, viewer)


def chunk_hex(total, index, count, data):
    return (struct.pack('<IIII', total, index, count, len(data)) + data).hex()


def case_switching_off_in_the_middle_drops_the_incoming_text(ctx):
    addr = '127.0.0.122'
    agent, viewer = open_session(ctx, addr)
    x_clipboard_set(b'before')
    switch(ctx, addr, agent, True)
    text = b'x' * 16385
    check(agent.command('send 17 1 ' + chunk_hex(16385, 0, 3, text[:8192])) == 'ok', 'chunk 0')
    switch(ctx, addr, agent, False)
    switch(ctx, addr, agent, True)
    for i in (1, 2):
        check(agent.command('send 17 1 ' + chunk_hex(16385, i, 3, text[8192 * i:8192 * (i + 1)])) == 'ok',
              'chunk %d' % i)
    check(wait_until(lambda: b'out of its place in the text' in read_log(ctx), 10), 'no log line for chunk 1')
    time.sleep(1)
    check(x_clipboard() != text, 'the dropped text reached the clipboard')
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
