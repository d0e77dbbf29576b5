"""End-to-end menus: switching the interface language while the viewer runs keeps what
the session enabled and greyed and saves the choice at once; the remote screen is chosen
from the numbered screen items or the toolbar's drop-down only when there is more than
one and the session may control the remote computer.

Another process cannot read the viewer's menu under Wine (GetMenu answers nothing
across processes), so the menu's states are checked through what they decide: the
viewer refuses a command whose menu item is greyed. The check marks themselves are
covered by the Wine unit tests (tests/wine/language_test.cpp)."""
from harness import (Agent, check, command_states, end_viewer, post, reg_set, reg_set_defaults, reg_settings, run_case,
                     start, wait_until, window_exists)

WM_COMMAND, WM_CHAR = 0x111, 0x102
IDM_REMOTE_CONTROL, IDM_AGENT_KEYS = 40002, 40020
IDM_LANG_ENGLISH, IDM_LANG_RUSSIAN = 40028, 40029
IDM_AUTO_SCALE, IDM_SCREEN_CHOICE, IDM_SCREEN_FIRST = 40059, 40060, 41000
RIGHT_CONTROL, RIGHT_FILES, RIGHT_SETTINGS = 2, 4, 8
MENU_CLASS = '#32768'  # the system's pop-up menu windows


def viewer_class(addr):
    return 'CORVIDS:TCP:' + addr


def open_desktop(ctx, addr, *agent_options, **settings):
    reg_set_defaults(**settings)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', '800x600x16', *agent_options)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def toolbar(ctx, addr):
    return {k: v[1] for k, v in command_states(ctx, viewer_class(addr)).items()}


def wait_button(ctx, addr, command, want, what):
    seen = {}
    check(wait_until(lambda: seen.update(toolbar(ctx, addr)) or seen.get(command) == want, 20),
          '%s: button %d is %s, not %s' % (what, command, seen.get(command), want))


def send_command(ctx, addr, command):
    check(post(ctx, viewer_class(addr), WM_COMMAND, command), 'posting %d' % command)


def setting(name):
    return reg_settings().get(name, (None, None))[1]


def close(ctx, addr, viewer):
    end_viewer(ctx, viewer_class(addr), viewer)


def agent_errors(agent):
    return [e for e in agent.events() if e.get('ev') == 'error']


def case_language_switch_keeps_what_the_session_enabled_and_greyed(ctx):
    addr = '127.0.0.70'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_CONTROL), Language=0, SaveOnExit=1)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on', 'the control right')
    before = toolbar(ctx, addr)
    send_command(ctx, addr, IDM_LANG_RUSSIAN)
    check(wait_until(lambda: setting('Language') == 1, 20), 'the new language is saved at once')
    check(toolbar(ctx, addr) == before, 'the toolbar is left as it was')
    # Agent keys are greyed while control mode is off, in the old menu and so in the
    # new one: posted, the command is refused.
    send_command(ctx, addr, IDM_AGENT_KEYS)
    # Remote control was enabled by the login; the new menu's template has it greyed.
    send_command(ctx, addr, IDM_REMOTE_CONTROL)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on,checked', 'enabled item after the switch')
    check(not wait_until(lambda: agent.packets('PKT_AGENT_KEYS'), 2), 'a greyed item stayed greyed: nothing sent')
    # Back to English with control mode on: the agent keys, enabled at run time, work.
    send_command(ctx, addr, IDM_LANG_ENGLISH)
    check(wait_until(lambda: setting('Language') == 0, 20), 'English is saved at once')
    send_command(ctx, addr, IDM_AGENT_KEYS)
    check(agent.wait_packet('PKT_AGENT_KEYS'), 'item enabled at run time stays enabled after the switch')
    close(ctx, addr, viewer)


def case_choosing_the_active_language_does_nothing(ctx):
    addr = '127.0.0.71'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_CONTROL), Language=1, SaveOnExit=1)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on', 'the control right')
    reg_set('XConClip', 123)  # a save by the viewer would put its own 360 back
    send_command(ctx, addr, IDM_LANG_RUSSIAN)
    send_command(ctx, addr, IDM_REMOTE_CONTROL)  # handled after the language command
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on,checked', 'sync')
    check(setting('XConClip') == 123 and setting('Language') == 1, 'nothing was saved: %s' % reg_settings())
    send_command(ctx, addr, IDM_LANG_ENGLISH)
    check(wait_until(lambda: setting('Language') == 0, 20), 'a real switch saves')
    check(setting('XConClip') == 360, 'all settings are saved: %s' % reg_settings())
    close(ctx, addr, viewer)


def case_language_switch_without_save_on_exit_is_not_stored(ctx):
    addr = '127.0.0.72'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_CONTROL), Language=0, SaveOnExit=0)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on', 'the control right')
    send_command(ctx, addr, IDM_LANG_RUSSIAN)
    send_command(ctx, addr, IDM_REMOTE_CONTROL)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on,checked', 'enabled item after the switch')
    close(ctx, addr, viewer)
    check(setting('Language') == 0, 'not saved: %s' % reg_settings())


def no_choice(ctx, addr, agent, sync_command, sync_state):
    """Asks for the drop-down and for screens by command; nothing may open or be sent."""
    send_command(ctx, addr, IDM_SCREEN_CHOICE)
    for n in (0, 1, 2):
        send_command(ctx, addr, IDM_SCREEN_FIRST + n)
    send_command(ctx, addr, sync_command)
    wait_button(ctx, addr, sync_command, sync_state, 'sync')
    check(not window_exists(ctx, MENU_CLASS), 'no screen menu opens')
    check(not wait_until(lambda: agent.packets('PKT_SELECT_SCREEN'), 2),
          'no screen is chosen: %s' % agent.packets('PKT_SELECT_SCREEN'))
    check(toolbar(ctx, addr).get(IDM_SCREEN_CHOICE) == 'grey', 'the screen button stays indeterminate')


def case_one_screen_offers_no_choice(ctx):
    addr = '127.0.0.73'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_CONTROL), '--screens', '1', Language=0)
    wait_button(ctx, addr, IDM_REMOTE_CONTROL, 'on', 'the control right')
    no_choice(ctx, addr, agent, IDM_REMOTE_CONTROL, 'on,checked')
    close(ctx, addr, viewer)


def case_without_the_control_right_no_screen_is_chosen(ctx):
    addr = '127.0.0.74'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_FILES | RIGHT_SETTINGS), '--screens', '3',
                                 Language=0)
    no_choice(ctx, addr, agent, IDM_AUTO_SCALE, 'on,checked')
    close(ctx, addr, viewer)


def case_three_screens_are_chosen_by_item_and_drop_down(ctx):
    addr = '127.0.0.75'
    agent, viewer = open_desktop(ctx, addr, '--rights', str(RIGHT_CONTROL), '--screens', '3', Language=0)
    wait_button(ctx, addr, IDM_SCREEN_CHOICE, 'on', 'three screens and the control right')
    send_command(ctx, addr, IDM_SCREEN_FIRST + 3)  # a fourth screen of three: refused
    send_command(ctx, addr, IDM_SCREEN_FIRST + 1)
    check(agent.wait_packet('PKT_SELECT_SCREEN'), 'no PKT_SELECT_SCREEN for item 2')
    first = agent.packets('PKT_SELECT_SCREEN')[0]
    check(first['screen'] == 2 and first['len'] == 16 and first['applied'], 'packet %s' % first)
    check(first['payload'] == '02' + '00' * 15, 'payload %s' % first['payload'])
    # The drop-down under the button lists the items; its mnemonic "&3" picks the third.
    send_command(ctx, addr, IDM_SCREEN_CHOICE)
    check(wait_until(lambda: window_exists(ctx, MENU_CLASS), 20), 'the screen menu did not open')
    check(post(ctx, MENU_CLASS, WM_CHAR, ord('3')), 'typing 3 in the menu')
    check(agent.wait_packet('PKT_SELECT_SCREEN', 2), 'no PKT_SELECT_SCREEN from the drop-down')
    check(wait_until(lambda: not window_exists(ctx, MENU_CLASS), 20), 'the menu closes after the choice')
    screens = [p['screen'] for p in agent.packets('PKT_SELECT_SCREEN')]
    check(screens == [2, 3], 'screens chosen %s' % screens)
    check(not agent_errors(agent), 'the simulator found faults: %s' % agent_errors(agent))
    close(ctx, addr, viewer)


if __name__ == '__main__':
    run_case(globals())
