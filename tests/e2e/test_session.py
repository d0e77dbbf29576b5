"""End-to-end sessions of Corvid.exe under Wine against the Agent simulator: login and
the commands it enables, refusals and failures the operator sees, the session stamp,
the console's termination event and its records. One ctest entry per case."""
import re
import time

from harness import (Agent, check, command_states, console_records, dialog, end_viewer, lang_string, log_before_closing,
                     messages, post, read_log, reg_set_defaults, run_case, start, start_console, stop_console,
                     wait_until)

WM_CV_SET_STAMP = 0x400 + 70
IDOK, IDCANCEL = 1, 2
IDC_PWD_EDIT = 1007


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def login(ctx, addr, *agent_options, viewer_args=('PWD=secret',)):
    agent = Agent(ctx, addr, *agent_options)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, *viewer_args)
    return agent, viewer


def toolbar(ctx, addr):
    return {k: v[1] for k, v in command_states(ctx, viewer_class(addr)).items()}


def close_viewer(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def case_rights_enable_granted_commands_and_ctrl(ctx):
    reg_set_defaults(Language=0)
    addr = '127.0.0.11'
    agent, viewer = login(ctx, addr, '--rights', '14', viewer_args=('PWD=secret', 'SLOWNET', 'CTRL'))
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no client information after login')
    names = [p['name'] for p in agent.packets()]
    check(names == ['PKT_LOGIN', 'PKT_SESSION_STAMP', 'PKT_CLIENT_INFO'], 'opening sequence %s' % names)
    login_packet, client = agent.packets('PKT_LOGIN')[0], agent.packets('PKT_CLIENT_INFO')[0]
    check(login_packet['password_ok'] and login_packet['len'] == 88, 'login %s' % login_packet)
    check(client['version'] == 0x0322 and client['slownet'] == 1 and client['len'] == 12, 'client info %s' % client)
    check(abs(agent.packets('PKT_SESSION_STAMP')[0]['stamp'] - time.time()) < 600, 'stamp is the start time')
    states = {}
    check(wait_until(lambda: states.update(toolbar(ctx, addr)) or states.get(40002) == 'on,checked', 20),
          'CTRL with the control right enters control mode: %s' % states)
    # Remote control (bit 2): its switch, the message and the clipboard exchange; control
    # mode enables the Agent keys.
    for cmd in (40001, 40002, 40003, 40004, 40012, 40013, 40020, 40024):
        check(states[cmd].startswith('on'), '%d should be enabled: %s' % (cmd, states[cmd]))
    # Granted too, but one screen gives nothing to choose: still indeterminate.
    for cmd in (40060,):
        check(states[cmd] == 'grey', '%d should stay indeterminate: %s' % (cmd, states[cmd]))
    close_viewer(ctx, addr, viewer)


def case_without_control_right_ctrl_does_nothing(ctx):
    reg_set_defaults(Language=0)
    addr = '127.0.0.12'
    agent, viewer = login(ctx, addr, '--rights', '4', viewer_args=('PWD=secret', 'CTRL'))
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no client information after login')
    time.sleep(1)
    states = toolbar(ctx, addr)
    check(states[40001] == 'on', 'exit %s' % states[40001])
    for cmd in (40002, 40003, 40020, 40004, 40024):
        check(states[cmd] == 'grey', '%d should stay disabled: %s' % (cmd, states[cmd]))
    # A control-mode command sent from outside must not get around the missing right.
    post(ctx, viewer_class(addr), 0x111, 40002, 0)
    post(ctx, viewer_class(addr), 0x111, 40003, 0)
    time.sleep(1)
    check(toolbar(ctx, addr)[40002] == 'grey', 'control mode entered without the right')
    check(not agent.packets('PKT_SET_SWITCH'), 'switch sent without the right')
    close_viewer(ctx, addr, viewer)


def case_switch_command_sends_its_state(ctx):
    reg_set_defaults(Language=0)
    addr = '127.0.0.13'
    agent, viewer = login(ctx, addr, '--rights', '2')
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
    for _ in range(2):
        post(ctx, viewer_class(addr), 0x111, 40003, 0)
    check(agent.wait_packet('PKT_SET_SWITCH', 2), 'switch packets %s' % agent.packets('PKT_SET_SWITCH'))
    check([p['value'] for p in agent.packets('PKT_SET_SWITCH')] == [1, 0], 'switch values')
    close_viewer(ctx, addr, viewer)


def case_wrong_password_is_reported_and_ends(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    addr = '127.0.0.14'
    agent, viewer = login(ctx, addr, '--password', 'right', viewer_args=('PWD=wrong',))
    check(agent.wait_packet('PKT_LOGIN'), 'no login')
    t0 = time.time()
    viewer.wait(timeout=30)
    took = time.time() - t0
    stop_console(ctx, console)
    text = lang_string(ctx, 'en', 'IDS_LOGIN_BAD_PASSWORD')
    msgs = messages(ctx)
    check(len(msgs) == 1 and msgs[0]['text'] == text and msgs[0]['startup'] == '0', 'records %s' % msgs)
    check(msgs[0]['caption'] == b'Corvids 3.0 - [127.0.0.14]', 'caption %r' % msgs[0]['caption'])
    check(log_before_closing(ctx).endswith(text + b'\r\n'), 'log %r' % read_log(ctx)[-300:])
    check(2.5 < took < 10, 'the box stays 3 s, then the viewer ends (%.1f s)' % took)
    check(not agent.packets('PKT_SESSION_STAMP'), 'nothing follows a refused login')


def case_refused_connection_shows_string_28(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    viewer = start(ctx, 'Corvid.exe', 'TCP=127.0.0.15', 'PWD=x')  # nothing listens there
    viewer.wait(timeout=40)
    stop_console(ctx, console)
    expect = (b'TCP: ' + lang_string(ctx, 'en', 'IDS_CONNECT_FAILED') + b' 10061 - ' +
              lang_string(ctx, 'en', '10061'))
    msgs = messages(ctx)
    check(len(msgs) == 1 and msgs[0]['text'] == expect, 'records %s, want %r' % (msgs, expect))


def case_cancelling_the_connect_dialog_ends_quietly(ctx):
    import socket
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    addr = '127.0.0.16'
    # A listener that never accepts, with its queue filled: the viewer's connect hangs.
    listener = socket.socket()
    listener.bind((addr, 21560))
    listener.listen(0)
    fillers = []
    for _ in range(4):
        s = socket.socket()
        s.setblocking(False)
        try:
            s.connect((addr, 21560))
        except BlockingIOError:
            pass
        fillers.append(s)
    try:
        viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=x')
        check(wait_until(lambda: dialog(ctx, viewer_class(addr), IDCANCEL), 30), 'no connect dialog to cancel')
        viewer.wait(timeout=20)
    finally:
        for s in fillers + [listener]:
            s.close()
    stop_console(ctx, console)
    check(not messages(ctx), 'a cancel shows and sends nothing: %s' % messages(ctx))


def case_unknown_required_type_ends_optional_is_skipped(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    addr = '127.0.0.17'
    agent, viewer = login(ctx, addr)
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
    # Type 49 with dwRequired 0, then a desktop restart, in one write.
    optional49 = '31000000' + '02000000' + '00000000' + 'abcd'
    restart = '0d000000' + '00000000' + '01000000'
    check(agent.command('raw ' + optional49 + restart) == 'ok', 'raw')
    check(agent.wait_packet('PKT_CLIENT_INFO', 2), 'the restart after the skipped packet was not handled')
    check(viewer.poll() is None, 'an optional unknown packet must not end the session')
    check(agent.command('send 49 1 -') == 'ok', 'send')
    viewer.wait(timeout=30)
    stop_console(ctx, console)
    text = lang_string(ctx, 'en', 'IDS_RECEIVE_FAILED') + lang_string(ctx, 'en', 'IDS_UNKNOWN_REQUEST')
    msgs = [m for m in messages(ctx)]
    check(len(msgs) == 1 and msgs[0]['text'] == text, 'records %s' % msgs)
    closed = [r for r in console_records(ctx) if r['kind'] == 'CONN' and r['state'] == '0']
    check(len(closed) == 1 and closed[0]['address'] == addr, 'closed record %s' % closed)


def case_hostile_lengths_end_the_session_cleanly(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    addr = '127.0.0.18'
    agent, viewer = login(ctx, addr)
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
    # A screen information packet with 4 of its 12 bytes.
    check(agent.command('send 3 1 00040003') == 'ok', 'send')
    viewer.wait(timeout=30)
    agent2, viewer2 = login(ctx, '127.0.0.19')
    check(agent2.wait_packet('PKT_CLIENT_INFO'), 'no second login')
    # A header announcing far more than a packet may hold.
    check(agent2.command('raw 05000000fdffffff01000000') == 'ok', 'raw')
    viewer2.wait(timeout=30)
    stop_console(ctx, console)
    texts = [m['text'] for m in messages(ctx)]
    short = lang_string(ctx, 'en', 'IDS_PACKET_TOO_SHORT').replace(b'%u', b'(\\d+)')
    long_ = lang_string(ctx, 'en', 'IDS_PACKET_TOO_LONG').replace(b'%u', b'(\\d+)')
    check(len(texts) == 2, 'records %s' % texts)
    m1 = re.fullmatch(re.escape(short).replace(b'\\(\\\\d\\+\\)', b'(\\d+)'), texts[0])
    m2 = re.fullmatch(re.escape(long_).replace(b'\\(\\\\d\\+\\)', b'(\\d+)'), texts[1])
    check(m1 is not None and m1.groups() == (b'3', b'4', b'12'), 'short packet text %r' % texts[0])
    check(m2 is not None and m2.groups() == (b'5', b'4294967293', b'32768'), 'long packet text %r' % texts[1])


def case_session_stamp(ctx):
    reg_set_defaults(Language=0)
    addr = '127.0.0.20'
    agent, viewer = login(ctx, addr)
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
    check(post(ctx, viewer_class(addr), WM_CV_SET_STAMP, 0, 12345), 'post')
    check(agent.wait_packet('PKT_SESSION_STAMP', 2), 'a new stamp is sent while logged in')
    check(agent.packets('PKT_SESSION_STAMP')[1]['stamp'] == 12345, 'stamp value')
    check(viewer.poll() is None, 'a new stamp does not close the viewer')
    check(post(ctx, viewer_class(addr), WM_CV_SET_STAMP, 0, 12345), 'post')
    viewer.wait(timeout=20)
    check(len(agent.packets('PKT_SESSION_STAMP')) == 2, 'the repeated stamp is not sent again')


def case_termination_and_returned_password(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    addr = '127.0.0.21'
    agent, viewer = login(ctx, addr, '--password', 'typed-pw', viewer_args=('RETPWD',))
    # No PWD= on the command line: the prompt asks, the operator types.
    check(wait_until(lambda: dialog(ctx, viewer_class(addr), IDC_PWD_EDIT, 'typed-pw'), 30), 'no password prompt')
    check(dialog(ctx, viewer_class(addr), IDOK), 'OK')
    check(agent.wait_packet('PKT_CLIENT_INFO'), 'no login')
    check(wait_until(lambda: [r for r in console_records(ctx) if r['kind'] == 'CONN'], 10), 'no record')
    end_viewer(ctx, viewer_class(addr), viewer)
    stop_console(ctx, console)
    conns = [r for r in console_records(ctx) if r['kind'] == 'CONN']
    check(len(conns) == 2, 'records %s' % conns)
    up, down = conns
    check(up['state'] == '1' and up['protocol'] == '0' and up['address'] == addr, 'logged-in record %s' % up)
    check(up['pwdflag'] == '1' and up['password'] == b'typed-pw', 'returned password %s' % up)
    check(down['state'] == '0' and down['address'] == addr and down['pwdflag'] == '0' and down['password'] == b'',
          'closed record %s' % down)
    check(up['pid'] == down['pid'], 'same viewer')


def case_two_logins_use_different_keys(ctx):
    reg_set_defaults(Language=0)
    addr = '127.0.0.22'
    agent = Agent(ctx, addr)
    for _ in range(2):
        viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
        check(agent.wait_packet('PKT_CLIENT_INFO', len(agent.packets('PKT_CLIENT_INFO')) + 1), 'no login')
        close_viewer(ctx, addr, viewer)
    logins = agent.packets('PKT_LOGIN')
    check(len(logins) == 2 and all(l['password_ok'] for l in logins), 'logins %s' % logins)
    check(logins[0]['des_key'] != logins[1]['des_key'] and logins[0]['iv'] != logins[1]['iv'],
          'keys and IVs repeat across viewers: %s' % logins)


if __name__ == '__main__':
    run_case(globals())
