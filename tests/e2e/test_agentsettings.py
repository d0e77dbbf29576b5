"""End to end: the Agent's settings fetched with command 40012, edited in the sheet as an
operator would, and sent back exactly; Cancel sends nothing; the page rules."""
import copy
import os
import time

from harness import check, command_states, dialog, post, run_case, stub_command, wait_until
from test_dialogs import close, control_text, open_viewer, viewer_class

WM_COMMAND, IDM_AGENT_SETTINGS = 0x111, 40012
IDOK, IDCANCEL = 1, 2
SWITCH_B, TEXT, NUMBER, FLAG = 1026, 1067, 1068, 1069
IN_USE, COMMUNITIES, PASSWORD_BUTTON, NODES, ADD_NODE = 1034, 1035, 1036, 1037, 1038
LIST, ADD_ENTRY = 1041, 1042
NODE_TEXT, PASSWORD, CONFIRM = 1041, 1007, 1043
MSGBOX_TEXT = 0xFFFF
SETTINGS_PACKETS = ('PKT_AGENT_SETTINGS_COMMON', 'PKT_AGENT_SETTINGS_STRING', 'PKT_AGENT_SETTINGS_FLAG',
                    'PKT_AGENT_SETTINGS_NODE_LISTS', 'PKT_AGENT_SETTINGS_COMMUNITIES')


def open_session(ctx, addr, *options):
    return open_viewer(ctx, addr, '--fps', '0', *options)


def control(ctx, addr, control_id):
    """(enabled, checked, list-box lines, window class) of a control of the dialog the
    viewer shows on top, or None when there is none."""
    out = ctx.path('control.txt')
    if os.path.exists(out):
        os.remove(out)
    if stub_command(ctx, 'CONTROL=%s|%d' % (viewer_class(addr), control_id), 'OUT=control.txt') != 0:
        return None
    with open(out, encoding='utf-8') as f:
        lines = f.read().split('\n')[:-1]
    enabled, checked, cls = lines[0].split()
    return enabled == '1', checked == '1', lines[1:], cls


def act(ctx, addr, what, *args):
    check(stub_command(ctx, '%s=%s' % (what, '|'.join([viewer_class(addr)] + [str(a) for a in args]))) == 0,
          '%s %s' % (what, args))


def click(ctx, addr, control_id):
    check(dialog(ctx, viewer_class(addr), control_id), 'clicking %d' % control_id)


def open_sheet(ctx, addr, agent):
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_AGENT_SETTINGS), 'posting 40012')
    check(agent.wait_packet('PKT_GET_AGENT_SETTINGS'), 'no settings request')
    check(wait_until(lambda: control(ctx, addr, SWITCH_B) is not None, 20), 'the sheet did not open')
    check(command_states(ctx, viewer_class(addr))[IDM_AGENT_SETTINGS][1] == 'grey', '40012 stays enabled meanwhile')
    return [e for e in agent.events() if e.get('ev') == 'agent_settings_sent'][-1]


def turn_page(ctx, addr, index, probe):
    act(ctx, addr, 'PAGE', index)
    check(wait_until(lambda: control(ctx, addr, probe) is not None, 10), 'page %d did not show' % index)


def wait_dialog(ctx, addr, probe, what):
    """Waits for the dialog whose control probe is an edit box (the page below has list
    boxes and buttons of the same numbers)."""
    check(wait_until(lambda: (control(ctx, addr, probe) or (0, 0, 0, ''))[3] == 'Edit', 10), '%s did not open' % what)


def settings_back(agent):
    back = [e for e in agent.events() if e.get('ev') == 'agent_settings']
    return back[-1] if back else None


def command_back(ctx, addr):
    check(wait_until(lambda: command_states(ctx, viewer_class(addr)).get(IDM_AGENT_SETTINGS, ('', ''))[1] == 'on', 10),
          '40012 was not enabled again')


def fields(settings):
    return {k: settings[k] for k in ('common', 'text', 'number', 'flag', 'lists', 'communities')}


def case_confirmed_unchanged_goes_back_exactly(ctx):
    addr = '127.0.0.130'
    agent, viewer = open_session(ctx, addr)
    sent = open_sheet(ctx, addr, agent)
    click(ctx, addr, IDOK)
    check(wait_until(lambda: settings_back(agent) is not None, 20), 'nothing came back')
    back = settings_back(agent)
    check(back['same_as_sent'], 'the settings changed on the way: %s\nsent %s' % (back, sent))
    check(fields(back) == fields(sent), 'the logged settings differ')
    check(not [e for e in agent.events() if e.get('ev') == 'error'], 'the Agent found faults')
    command_back(ctx, addr)
    close(ctx, addr, viewer)


def case_operator_edits_change_exactly_those_fields(ctx):
    addr = '127.0.0.131'
    agent, viewer = open_session(ctx, addr)
    sent = open_sheet(ctx, addr, agent)
    want = copy.deepcopy(fields(sent))
    # Common page: switch B flipped.
    before = control(ctx, addr, SWITCH_B)[1]
    click(ctx, addr, SWITCH_B)
    check(wait_until(lambda: control(ctx, addr, SWITCH_B)[1] != before, 5), 'switch B did not change')
    want['common'][7] = 0 if before else 1
    # TCP/IP page: a node for the first community and a new password for it.
    turn_page(ctx, addr, 1, COMMUNITIES)
    act(ctx, addr, 'PICK', COMMUNITIES, 0)
    check(wait_until(lambda: control(ctx, addr, ADD_NODE)[0], 5), 'picking a community did not enable Add')
    click(ctx, addr, ADD_NODE)
    wait_dialog(ctx, addr, NODE_TEXT, 'the new-node dialog')
    check(dialog(ctx, viewer_class(addr), NODE_TEXT, 'pc-new.example'), 'typing the node')
    click(ctx, addr, IDOK)
    check(wait_until(lambda: 'pc-new.example' in (control(ctx, addr, NODES) or (0, 0, [], ''))[2], 10),
          'the node did not appear in the list')
    want['communities'][0][0]['nodes'].append('pc-new.example')
    click(ctx, addr, PASSWORD_BUTTON)
    wait_dialog(ctx, addr, PASSWORD, 'the password dialog')
    check(dialog(ctx, viewer_class(addr), PASSWORD, 'Fresh_Pass7'), 'typing the password')
    check(dialog(ctx, viewer_class(addr), CONFIRM, 'Fresh_Pass7'), 'typing the confirmation')
    click(ctx, addr, IDOK)
    check(wait_until(lambda: control_text(ctx, addr, PASSWORD) is None, 10), 'the password dialog stayed open')
    want['communities'][0][0]['password'] = 'Fresh_Pass7'
    # IPX/SPX page: a key that is not a hexadecimal digit has no effect; the node is
    # padded with zeros.
    turn_page(ctx, addr, 2, COMMUNITIES)
    act(ctx, addr, 'PICK', COMMUNITIES, 3)
    check(wait_until(lambda: control(ctx, addr, ADD_NODE)[0], 5), 'picking a community did not enable Add')
    click(ctx, addr, ADD_NODE)
    wait_dialog(ctx, addr, NODE_TEXT, 'the new IPX/SPX node dialog')
    act(ctx, addr, 'CHARS', NODE_TEXT, 'agbc')
    check(wait_until(lambda: control_text(ctx, addr, NODE_TEXT) == 'ABC', 5),
          'typing a, g, b, c left %r' % control_text(ctx, addr, NODE_TEXT))
    click(ctx, addr, IDOK)
    check(wait_until(lambda: '000000000ABC' in (control(ctx, addr, NODES) or (0, 0, [], ''))[2], 10),
          'the IPX/SPX node did not appear padded')
    want['communities'][3][1]['nodes'].append('000000000ABC')
    click(ctx, addr, IDOK)
    check(wait_until(lambda: settings_back(agent) is not None, 20), 'nothing came back')
    back = fields(settings_back(agent))
    for key in want:
        check(back[key] == want[key], '%s came back as %s, expected %s' % (key, back[key], want[key]))
    command_back(ctx, addr)
    close(ctx, addr, viewer)


def case_cancel_sends_nothing_and_enables_the_command(ctx):
    addr = '127.0.0.132'
    agent, viewer = open_session(ctx, addr)
    open_sheet(ctx, addr, agent)
    click(ctx, addr, SWITCH_B)
    click(ctx, addr, IDCANCEL)
    command_back(ctx, addr)
    time.sleep(1)
    check(not [p for p in agent.packets() if p['name'] in SETTINGS_PACKETS], 'Cancel sent settings')
    # A second session starts from what the Agent sends again.
    open_sheet(ctx, addr, agent)
    click(ctx, addr, IDCANCEL)
    command_back(ctx, addr)
    close(ctx, addr, viewer)


def case_a_community_with_nodes_needs_a_password(ctx):
    addr = '127.0.0.133'
    agent, viewer = open_session(ctx, addr, '--settings-blank-password', '2')
    open_sheet(ctx, addr, agent)
    turn_page(ctx, addr, 1, COMMUNITIES)
    # Communities are not in use on this page, and leaving it is refused all the same.
    act(ctx, addr, 'PAGE', 2)
    check(wait_until(lambda: control_text(ctx, addr, MSGBOX_TEXT) is not None, 10), 'no refusal when leaving the page')
    text = control_text(ctx, addr, MSGBOX_TEXT)
    check('"Desktop control"' in text and 'no password' in text, 'refusal text %r' % text)
    click(ctx, addr, IDOK)
    check(wait_until(lambda: control(ctx, addr, IN_USE) is not None, 10), 'the page did not stay')
    click(ctx, addr, IDCANCEL)
    command_back(ctx, addr)
    close(ctx, addr, viewer)


def case_older_agents_grey_what_they_do_not_take(ctx):
    addr = '127.0.0.134'
    agent, viewer = open_session(ctx, addr, '--agent-version', '786')
    open_sheet(ctx, addr, agent)
    check(control(ctx, addr, TEXT)[0] and control(ctx, addr, NUMBER)[0], 'text and number are for 784 on')
    check(not control(ctx, addr, FLAG)[0], 'the flag is for 791 on')
    turn_page(ctx, addr, 1, LIST)
    check(not control(ctx, addr, LIST)[0] and not control(ctx, addr, ADD_ENTRY)[0],
          'the node list and its Add button are for 787 on')
    click(ctx, addr, IDOK)
    check(wait_until(lambda: settings_back(agent) is not None, 20), 'nothing came back')
    names = [p['name'] for p in agent.packets() if p['name'] in SETTINGS_PACKETS]
    check('PKT_AGENT_SETTINGS_NODE_LISTS' not in names and 'PKT_AGENT_SETTINGS_FLAG' not in names and
          'PKT_AGENT_SETTINGS_STRING' in names, 'packets sent to a 786 Agent: %s' % names)
    command_back(ctx, addr)
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
