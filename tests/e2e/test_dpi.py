"""End to end with the display at 144 DPI (text at 150 %), in a Wine world of its own:
the remote desktop stays pixel for pixel and a click lands on the remote pixel under the
pointer, while the viewer's own windows grow with the text. Screenshots of the main
window, the file-transfer window and three dialogs stay in the case's folder to be
looked at. Also the application manifest as the build embedded it."""
import contextlib
import os
import struct
import subprocess
import xml.etree.ElementTree as ET

from harness import (Agent, check, child_rect, cleanup, dialog, post, reg_set_defaults, run_case,
                     screenshot, start, start_console, stub_command, wait_until, wine_run)
from test_desktop import close, match_unscaled, viewer_class
from test_filetransfer import FRAME, open_window
from test_input import control_on, inputs, xdo

DPI = 144
WM_COMMAND, IDOK, IDCANCEL = 0x111, 1, 2
IDM_SEND_MESSAGE, IDM_SYSTEM_INFO, IDM_FT_NEW_FOLDER = 40004, 40010, 40035
MSG_TEXT, INFO_COMPUTER, FT_NAME = 1010, 1011, 1044
COMMON_CONTROLS_6 = 'amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.'


def scaled(px):
    return (px * DPI + 48) // 96


@contextlib.contextmanager
def world_at_dpi(ctx):
    """A second Wine world (display, prefix, wineserver) beside the suite's, its screen
    set to DPI; the suite's own world keeps 96 DPI. The prefix is kept for the next run."""
    env_script = os.path.join(ctx.source, 'tests', 'wine', 'wine-env.sh')
    state = os.path.normpath(os.path.join(os.path.dirname(ctx.dir), '..', 'wine-dpi'))
    saved = {k: os.environ.get(k) for k in ('WINEPREFIX', 'DISPLAY')}
    up = subprocess.run([env_script, 'up', state], capture_output=True, text=True, timeout=150)
    check(up.returncode == 0, 'the DPI world did not start: %s' % (up.stdout + up.stderr)[-800:])
    try:
        with open(os.path.join(state, 'env.sh')) as f:
            display = f.read().split('DISPLAY=')[1].split()[0]
        os.environ.update(WINEPREFIX=os.path.realpath(os.path.join(state, 'prefix')), DISPLAY=display)
        rc, _ = wine_run(['reg', 'add', r'HKCU\Control Panel\Desktop', '/v', 'LogPixels', '/t', 'REG_DWORD', '/d',
                          str(DPI), '/f'])
        check(rc == 0, 'LogPixels not set')
        yield
    except BaseException:
        # The suite's snapshot of a failure is taken on its own display, not this one.
        subprocess.run(['import', '-window', 'root', ctx.path('failure-screen-dpi.png')], timeout=30)
        raise
    finally:
        cleanup(ctx)  # the case's programs end in this world, before it goes
        subprocess.run([env_script, 'down', state], capture_output=True, timeout=60)
        for k, v in saved.items():
            if v is None:
                os.environ.pop(k, None)
            else:
                os.environ[k] = v


def open_viewer(ctx, addr):
    reg_set_defaults(Language=0, FrameMaximized=1, ShowRemoteCursor=0)
    agent = Agent(ctx, addr, '--fps', '0', '--screen', '1024x768x16', '--rights', '14', '--files', ctx.path('files'))
    start_console(ctx)
    viewer = start(ctx, 'Corvid.exe', 'TCP=' + addr, 'PWD=secret')
    check(agent.wait_packet('PKT_VIEW_GRID'), 'the viewer did not build its desktop')
    return agent, viewer


def keep_screen(ctx, name):
    subprocess.run(['import', '-silent', '-window', 'root', ctx.path(name + '.png')], timeout=60, check=True)


def case_desktop_and_clicks_stay_exact_at_144_dpi(ctx):
    addr = '127.0.0.190'
    os.makedirs(ctx.path('files'))
    with world_at_dpi(ctx):
        agent, viewer = open_viewer(ctx, addr)
        # The viewer read the DPI: its own toolbar lights are half as large again.
        light = child_rect(ctx, viewer_class(addr), 'CORVID:KEYBLIGHT')
        check(light and (light[2] - light[0], light[3] - light[1]) == (scaled(24), scaled(22)),
              'key light %s at %d DPI' % (light, DPI))
        module = ''
        if stub_command(ctx, 'MODULE=%s|comctl32.dll' % viewer_class(addr), 'OUT=module.txt') == 0:
            with open(ctx.path('module.txt')) as f:
                module = f.read()
        check(COMMON_CONTROLS_6 in module.lower(), 'the viewer runs with comctl32 %r' % module)
        match_unscaled(ctx, addr, agent, 'the desktop at %d DPI' % DPI)
        keep_screen(ctx, 'main')
        pad = control_on(ctx, addr, agent, 'CORVID:SQUAREPAD')
        for x, y in ((10, 20), (517, 389), (1023, 767)):
            before = len(inputs(agent, 'lup'))
            xdo('mousemove', pad[0] + x, pad[1] + y, 'click', 1)
            check(wait_until(lambda: len(inputs(agent, 'lup')) > before, 10), 'no click at %d, %d' % (x, y))
            down, up = inputs(agent, 'ldown')[-1], inputs(agent, 'lup')[-1]
            check((down['x'], down['y'], up['x'], up['y']) == (x, y, x, y),
                  'a click at %d, %d arrived at %s' % (x, y, (down['x'], down['y'], up['x'], up['y'])))
        close(ctx, addr, viewer)


def caption_clear_below(ctx, rect):
    """The panel caption's lowest row is plain: its text is not cut off at the bottom."""
    w = rect[2] - rect[0]
    row = screenshot(rect[0], rect[3] - 1, w, 1)
    return len({row[i:i + 3] for i in range(0, len(row), 3)}) == 1


def case_own_windows_grow_with_the_text_at_144_dpi(ctx):
    addr = '127.0.0.191'
    os.makedirs(os.path.join(ctx.path('files'), 'a-folder-with-a-long-name'))
    with world_at_dpi(ctx):
        agent, viewer = open_viewer(ctx, addr)
        for command, probe, name in ((IDM_SYSTEM_INFO, INFO_COMPUTER, 'system-information'),
                                     (IDM_SEND_MESSAGE, MSG_TEXT, 'send-message')):
            check(post(ctx, viewer_class(addr), WM_COMMAND, command), 'posting %d' % command)
            check(wait_until(lambda: stub_command(ctx, 'TEXT=%s|%d' % (viewer_class(addr), probe), 'OUT=t.txt') == 0,
                             20), '%s did not open' % name)
            keep_screen(ctx, name)
            button = IDCANCEL if command == IDM_SEND_MESSAGE else IDOK
            check(dialog(ctx, viewer_class(addr), button), 'closing ' + name)
        open_window(ctx, addr, agent)
        caption = child_rect(ctx, FRAME, 'Static')
        check(caption and caption[3] - caption[1] == scaled(16), 'panel caption %s at %d DPI' % (caption, DPI))
        check(wait_until(lambda: caption_clear_below(ctx, caption), 10), 'the panel caption is cut off at the bottom')
        keep_screen(ctx, 'file-transfer')
        check(post(ctx, FRAME, WM_COMMAND, IDM_FT_NEW_FOLDER), 'posting new folder')
        check(wait_until(lambda: stub_command(ctx, 'TEXT=%s|%d' % (viewer_class(addr), FT_NAME), 'OUT=t.txt') == 0,
                         20), 'the new-folder dialog did not open')
        keep_screen(ctx, 'new-folder')
        check(dialog(ctx, viewer_class(addr), IDCANCEL), 'cancelling the new folder')
        close(ctx, addr, viewer)


# ---- the manifest --------------------------------------------------------------------

def manifests(exe):
    """[(name id, language, bytes)] of the RT_MANIFEST resources of a PE file."""
    with open(exe, 'rb') as f:
        data = f.read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    check(data[pe:pe + 4] == b'PE\0\0', 'not a PE file')
    sections, opt_size = struct.unpack_from('<H', data, pe + 6)[0], struct.unpack_from('<H', data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from('<H', data, opt)[0]
    rsrc_rva = struct.unpack_from('<I', data, opt + (112 if magic == 0x20B else 96) + 2 * 8)[0]
    table = [struct.unpack_from('<IIII', data, opt + opt_size + 40 * i + 8) for i in range(sections)]

    def at(rva):
        for vsize, va, rsize, raw in table:
            if va <= rva < va + max(vsize, rsize):
                return raw + rva - va
        raise AssertionError('RVA %#x outside the sections' % rva)
    base = at(rsrc_rva)

    def entries(off):
        named, ids = struct.unpack_from('<HH', data, base + off + 12)
        return [struct.unpack_from('<II', data, base + off + 16 + 8 * i) for i in range(named + ids)]
    out = []
    for type_id, sub in entries(0):
        if type_id != 24:
            continue
        for name, langs in entries(sub & 0x7FFFFFFF):
            for lang, leaf in entries(langs & 0x7FFFFFFF):
                rva, size = struct.unpack_from('<II', data, base + leaf)
                out.append((name, lang, data[at(rva):at(rva) + size]))
    return out


def case_manifest_asks_for_common_controls_6_and_system_dpi(ctx):
    found = manifests(ctx.path('Corvid.exe'))
    # One manifest, as resource 1: a second one (a toolchain's default) would leave the
    # loader to pick.
    check([n for n, _, _ in found] == [1], 'manifest resources %s' % [(n, lang) for n, lang, _ in found])
    root = ET.fromstring(found[0][2])
    ns = {'v1': 'urn:schemas-microsoft-com:asm.v1', 'v3': 'urn:schemas-microsoft-com:asm.v3',
          'c': 'urn:schemas-microsoft-com:compatibility.v1'}
    deps = [a.attrib for a in root.findall('v1:dependency/v1:dependentAssembly/v1:assemblyIdentity', ns)]
    check([(d.get('name'), d.get('version'), d.get('publicKeyToken'), d.get('processorArchitecture')) for d in deps] ==
          [('Microsoft.Windows.Common-Controls', '6.0.0.0', '6595b64144ccf1df', '*')], 'dependencies %s' % deps)
    level = root.findall('v3:trustInfo/v3:security/v3:requestedPrivileges/v3:requestedExecutionLevel', ns)
    check([(e.get('level'), e.get('uiAccess')) for e in level] == [('asInvoker', 'false')], 'execution level')
    systems = {e.get('Id') for e in root.findall('c:compatibility/c:application/c:supportedOS', ns)}
    check(systems == {'{e2011457-1546-43c5-a5fe-008deee3d3f0}', '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}',
                      '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}', '{1f676c76-80e1-4239-95bb-83d0f6d0da78}',
                      '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}, 'supported systems %s' % systems)
    # System aware only: the layout is scaled once, at start-up, and nothing answers a
    # change of DPI while the program runs.
    settings = root.findall('v3:application/v3:windowsSettings/*', ns)
    check([(e.tag, e.text) for e in settings] == [('{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware',
                                                   'true')], 'DPI settings %s' % [(e.tag, e.text) for e in settings])


if __name__ == '__main__':
    run_case(globals())
