"""End to end: answers to command 40012 that cannot be edited and sent back as they are (too
many nodes, a refused packet, never finished) are told to the operator, send nothing, and
give the command back."""
import re
import time

from harness import Agent, check, command_states, dialog, lang_string, post, reg_set_defaults, run_case, start, \
    wait_until
from test_agentsettings import IDM_AGENT_SETTINGS, IDOK, SETTINGS_PACKETS, SWITCH_B, WM_COMMAND, command_back, \
    control
from test_dialogs import close, control_text, viewer_class

BOX_TEXT = 1000
WAIT_MS = 3000


def expected(ctx, name, value=0):
    return re.sub(rb'%u', b'%d' % value, lang_string(ctx, 'en', name)).decode('ascii')


def answer(ctx, addr, agent, fault, box):
    """Asks with 40012 for an answer with fault; the box shown must read box, and the
    command is enabled again while it shows."""
    asked = len(agent.packets('PKT_GET_AGENT_SETTINGS'))
    check(agent.command('settings-answer ' + fault) == 'ok', fault)
    check(post(ctx, viewer_class(addr), WM_COMMAND, IDM_AGENT_SETTINGS), 'posting 40012')
    check(agent.wait_packet('PKT_GET_AGENT_SETTINGS', asked + 1), '%s: no settings request' % fault)
    check(wait_until(lambda: control_text(ctx, addr, BOX_TEXT) is not None, 20), '%s: no box' % fault)
    shown = control_text(ctx, addr, BOX_TEXT)
    check(shown == box, '%s: the box reads %r, expected %r' % (fault, shown, box))
    if fault != 'refused':
        command_back(ctx, addr)
    check(dialog(ctx, viewer_class(addr), IDOK), '%s: closing the box' % fault)


def case_answers_that_cannot_go_back_are_told_and_give_the_command_back(ctx):
    addr = '127.0.0.181'
    reg_set_defaults(Language=0)
    agent = Agent(ctx, addr, '--screen', '640x480x16', '--fps', '0')
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret', env={'CORVID_TEST_SETTINGS_WAIT_MS': str(WAIT_MS)})
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')

    # Over 100,000 nodes: given up at once, no sheet.
    answer(ctx, addr, agent, 'overfull', expected(ctx, 'IDS_AS_TOO_MANY_NODES', 100000))
    check(control(ctx, addr, SWITCH_B) is None, 'a sheet opened on the given-up answer')

    # A refused node-lists packet: the sheet shows what came, and OK sends nothing.
    answer(ctx, addr, agent, 'refused', expected(ctx, 'IDS_AS_INCOMPLETE'))
    check(wait_until(lambda: control(ctx, addr, SWITCH_B) is not None, 20), 'the sheet did not open')
    check(command_states(ctx, viewer_class(addr))[IDM_AGENT_SETTINGS][1] == 'grey', '40012 enabled under the sheet')
    check(dialog(ctx, viewer_class(addr), IDOK), 'pressing OK')
    command_back(ctx, addr)

    # Never finished: told after the wait, not only logged.
    t0 = time.time()
    answer(ctx, addr, agent, 'unfinished', expected(ctx, 'IDS_AS_NO_ANSWER', WAIT_MS // 1000))
    check(time.time() - t0 >= WAIT_MS / 1000 - 0.5, 'given up before the wait was over')
    check(control(ctx, addr, SWITCH_B) is None, 'a sheet opened on the unfinished answer')

    time.sleep(1)
    sent = [p['name'] for p in agent.packets() if p['name'] in SETTINGS_PACKETS]
    check(not sent, 'settings went back to the Agent: %s' % sent)
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
