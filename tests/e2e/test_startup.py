"""End-to-end start-up of Corvid.exe under Wine: settings on first start, the log, the
records the console stand-in receives, one viewer per host, and the termination
event. Run through ctest (one entry per case)."""
import os
import re
import time

from harness import (Agent, check, console_records, lang_string, messages, read_log, reg_delete_settings,
                     reg_set_defaults, reg_settings, run_case, run_viewer, start, start_console, stop_console,
                     stub_command, wait_until, window_exists, wine_run, find_windows_by_title, DEFAULTS)

STAMP = rb'\d\d/\d\d/\d{4} \S+ \d\d:\d\d:\d\d '


def case_first_start_creates_settings(ctx):
    reg_delete_settings()
    run_viewer(ctx)  # empty command line: loads the settings, then ends silently
    values = reg_settings()
    check(set(values) == set(DEFAULTS), 'values: %s' % sorted(values))
    for name, value in DEFAULTS.items():
        check(values[name] == ('REG_DWORD', value), '%s = %s' % (name, values[name]))
    check(read_log(ctx) == b'', 'an empty command line logs nothing')


def case_language_five_reads_as_russian_and_stays(ctx):
    reg_set_defaults(Language=5)
    run_viewer(ctx, 'NOTARGET')
    check(reg_settings()['Language'] == ('REG_DWORD', 5), 'Language was written back')
    log = read_log(ctx)
    text = lang_string(ctx, 'ru', 'IDS_NO_TARGET')
    check(re.fullmatch(STAMP + re.escape(text) + rb'\r\n', log) is not None, 'log: %r' % log)
    # The Russian day name proves the active language is 1.
    day = log.split(b' ')[1]
    check(day in [bytes(d, 'cp1251') for d in ('Вс', 'Пн', 'Вт', 'Ср', 'Чт', 'Пт', 'Сб')], 'day %r' % day)


def case_no_target_reports_string_9(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    t = run_viewer(ctx, 'TCP=255.255.255.255', 'TCP=some.host.name', 'SPX=0000000G:000000000001')
    stop_console(ctx, console)
    text = lang_string(ctx, 'en', 'IDS_NO_TARGET')
    msgs = messages(ctx)
    check(len(msgs) == 1, 'records: %s' % msgs)
    check(msgs[0]['startup'] == '1', 'flag %s' % msgs[0]['startup'])
    check(msgs[0]['caption'] == b'Corvids 3.0', 'caption %r' % msgs[0]['caption'])
    check(msgs[0]['text'] == text, 'text %r' % msgs[0]['text'])
    check(int(msgs[0]['pid']) > 0, 'pid')
    check(read_log(ctx).endswith(text + b'\r\n'), 'log %r' % read_log(ctx))
    check(t < 10, 'no box is shown, so the viewer ends at once (took %.1f s)' % t)


def case_russian_report_is_windows_1251(ctx):
    reg_set_defaults(Language=1)
    console = start_console(ctx)
    run_viewer(ctx, 'PWD=secret')
    stop_console(ctx, console)
    msgs = messages(ctx)
    check(len(msgs) == 1 and msgs[0]['text'] == lang_string(ctx, 'ru', 'IDS_NO_TARGET'), 'records %s' % msgs)


def case_one_viewer_per_host(ctx):
    reg_set_defaults(Language=0)
    Agent(ctx, '127.0.0.41')
    Agent(ctx, '127.0.0.34')
    first = start(ctx, 'Corvid.exe', 'TCP=127.0.0.41', 'PWD=secret')
    check(wait_until(lambda: window_exists(ctx, 'CORVIDS:TCP:127.0.0.41'), 30), 'first viewer has no window')
    # The Windows window exists before Wine has mapped and named its X window.
    check(wait_until(lambda: find_windows_by_title(r'^Tessaly 3\.34\.1 - \[127\.0\.0\.41\]$'), 10),
          'main title not on the display')
    t = run_viewer(ctx, 'tcp=127.0.0.41', 'PWD=secret', timeout=20)
    check(first.poll() is None, 'the first viewer ended')
    other = start(ctx, 'Corvid.exe', 'TCP=127.0.0.042', 'PWD=secret')  # 042 is octal: 127.0.0.34
    check(wait_until(lambda: window_exists(ctx, 'CORVIDS:TCP:127.0.0.34'), 30), 'second host has no viewer')
    check(first.poll() is None and other.poll() is None, 'both viewers run side by side')
    for cls, proc in (('CORVIDS:TCP:127.0.0.41', first), ('CORVIDS:TCP:127.0.0.34', other)):
        check(stub_command(ctx, 'TERMCLASS=' + cls) == 0, 'no termination event for ' + cls)
        proc.wait(timeout=20)
    check(t < 10, 'second start for the same host took %.1f s' % t)


def case_spx_without_ipx_is_reported(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    t = run_viewer(ctx, 'spx=0000abcd:00112233aabb', 'PWD=x')
    stop_console(ctx, console)
    text = b'SPX: ' + lang_string(ctx, 'en', 'IDS_NO_STREAM_PROVIDER')
    check(read_log(ctx).endswith(text + b'\r\n'), 'log %r' % read_log(ctx))
    check(not messages(ctx), 'provider failures are not sent to the console')
    check(4.5 < t < 15, 'the box closes itself after 5 s (viewer took %.1f s)' % t)


def case_termination_event_closes_viewer(ctx):
    reg_set_defaults(Language=0, SaveOnExit=1, XConClip=1)
    console = start_console(ctx)
    viewer = start(ctx, 'Corvid.exe', 'TCP=10.9.8.7', 'CTRL')
    check(wait_until(lambda: window_exists(ctx, 'CORVIDS:TCP:10.9.8.7'), 30), 'viewer has no window')
    check(stub_command(ctx, 'TERMCLASS=CORVIDS:TCP:10.9.8.7') == 0, 'event not set')
    viewer.wait(timeout=20)
    stop_console(ctx, console)
    # No socket existed, so no closed-state record; SaveOnExit saved all values.
    check(not [r for r in console_records(ctx) if r['kind'] in ('CONN', 'MSG')], 'records %s' % console_records(ctx))
    check(reg_settings()['XConClip'] == ('REG_DWORD', 1), 'settings saved at exit')


def case_two_viewers_report_at_once(ctx):
    reg_set_defaults(Language=0)
    console = start_console(ctx)
    a = start(ctx, 'Corvid.exe', 'NOTARGET')
    b = start(ctx, 'Corvid.exe', 'ALSO-NOTARGET')
    a.wait(timeout=30)
    b.wait(timeout=30)
    stop_console(ctx, console)
    msgs = messages(ctx)
    check(len(msgs) == 2, 'records %s' % msgs)
    check(msgs[0]['pid'] != msgs[1]['pid'], 'each record carries its own process id')
    check(all(m['startup'] == '1' and m['caption'] == b'Corvids 3.0' for m in msgs), 'records %s' % msgs)


def case_missing_language_library(ctx):
    reg_set_defaults(Language=0)
    os.remove(ctx.path('cvresru.dll'))
    console = start_console(ctx)
    run_viewer(ctx, 'TCP=127.0.0.1')
    stop_console(ctx, console)
    check(re.fullmatch(STAMP + rb'Dynamic link library cvresru\.dll not found\.\r\n', read_log(ctx)) is not None,
          'log %r' % read_log(ctx))
    check(not messages(ctx), 'nothing else is shown or sent')


def case_old_windows_is_refused(ctx):
    reg_set_defaults(Language=0)
    key = r'HKCU\Software\Wine\AppDefaults\Corvid.exe'
    wine_run(['reg', 'add', key, '/v', 'Version', '/d', 'nt351', '/f'])
    try:
        console = start_console(ctx)
        t = run_viewer(ctx, 'TCP=127.0.0.1')
        stop_console(ctx, console)
    finally:
        wine_run(['reg', 'delete', key, '/f'])
    msgs = messages(ctx)
    check(len(msgs) == 1 and msgs[0]['startup'] == '0', 'records %s' % msgs)
    check(msgs[0]['text'] == lang_string(ctx, 'en', 'IDS_NT_TOO_OLD'), 'text %r' % msgs[0]['text'])
    check(4.5 < t < 15, 'the refusal box closes itself after 5 s (viewer took %.1f s)' % t)


if __name__ == '__main__':
    run_case(globals())
