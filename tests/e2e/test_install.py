"""End-to-end install of the shipped forms under Wine: the installer run silently, the
installed viewer logging in to the Agent simulator, silent removal, a newer version
over an older one, and the zip unpacked and run where it lands. One ctest entry per
case; the packages come from the win64 build (package/make_package.py)."""
import glob
import hashlib
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

from harness import Agent, check, end_viewer, reg_set_defaults, run_case, start, wait_until, wine_run

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'package'))
import make_package  # noqa: E402

DRIVE_C = os.path.join(os.environ.get('WINEPREFIX', ''), 'drive_c')
PRODUCT_DIR = os.path.join(DRIVE_C, 'Program Files', 'Corvid')
INSTALLED_EXE = r'C:\Program Files\Corvid\Corvid.exe'
FILES = sorted(make_package.SHIPPED + ('README.txt',))
# Per-machine shortcuts belong in the common Start menu; Wine's installer puts them in
# the user's, so either place counts, and both must be empty after removal.
START_MENUS = (os.path.join(DRIVE_C, 'ProgramData', 'Microsoft', 'Windows', 'Start Menu', 'Programs'),
               os.path.join(DRIVE_C, 'users', '*', 'AppData', 'Roaming', 'Microsoft', 'Windows', 'Start Menu',
                            'Programs'))
UNINSTALL_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'


def dist(ctx, kind, version=None):
    return make_package.artefact(os.path.join(ctx.bin, '..', 'dist'), version or make_package.product_version(),
                                 kind)


def win_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def msiexec(ctx, *args):
    """Runs msiexec, with a verbose log in the case's folder unless ctx.msiexec_log is
    false (the benchmark), and Wine's error messages kept; returns its exit code."""
    ctx.msiexec_runs = getattr(ctx, 'msiexec_runs', 0) + 1
    log = ctx.path('msiexec-%d.log' % ctx.msiexec_runs)
    logging = ['/l*v', win_path(log)] if getattr(ctx, 'msiexec_log', True) else []
    with open(log + '.err', 'wb') as err:
        rc = subprocess.run(['wine', 'msiexec'] + list(args) + logging, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=err, timeout=150,
                            env=dict(os.environ, WINEDEBUG='err+all,fixme-all')).returncode
    if rc:
        with open(log + '.err', 'rb') as f:
            print('msiexec %s ended with %d (log %s); Wine said: %s' % (' '.join(args), rc, log,
                                                                         f.read()[-2000:].decode('latin-1')))
    return rc


def products():
    """{product code: DisplayVersion} of every installed Corvid."""
    _, text = wine_run(['reg', 'query', UNINSTALL_KEY, '/s'])
    found, key, values = {}, None, {}
    for line in text.splitlines() + ['HKEY_END']:
        if line.startswith('HKEY'):
            if values.get('DisplayName') == 'Corvid':
                found[key.rsplit('\\', 1)[1]] = values.get('DisplayVersion')
            key, values = line.strip(), {}
        m = re.match(r'\s+(\w+)\s+REG_\w+\s+(.*)', line)
        if m:
            values[m.group(1)] = m.group(2).strip()
    return found


def shortcuts():
    return [p for d in START_MENUS for p in glob.glob(os.path.join(d, 'Corvid Help.lnk'))]


def remove_installs(ctx):
    """A clean machine for the case, whatever an earlier failed run left."""
    for code in products():
        msiexec(ctx, '/x', code, '/qn')
    shutil.rmtree(PRODUCT_DIR, ignore_errors=True)


def install(ctx, msi):
    rc = msiexec(ctx, '/i', win_path(msi), '/qn')
    check(rc == 0, 'msiexec /i %s ended with %d' % (os.path.basename(msi), rc))


def uninstall(ctx, msi):
    rc = msiexec(ctx, '/x', win_path(msi), '/qn')
    check(rc == 0, 'msiexec /x ended with %d' % rc)


def check_removed(version, keep):
    left = sorted(os.listdir(PRODUCT_DIR)) if os.path.isdir(PRODUCT_DIR) else None
    check(left == keep, 'left in Program Files\\Corvid after removal: %s' % left)
    check(not shortcuts(), 'Start-menu shortcut left: %s' % shortcuts())
    check(not products(), 'still registered: %s' % products())
    cache = os.path.join(DRIVE_C, 'windows', 'Installer', '{%s}' % make_package.product_code(version))
    check(not os.path.exists(cache), 'the installer cache of the product is left')


def log_in(ctx, exe, addr):
    """Starts the viewer at exe against a fresh simulator, waits for the processed login
    and closes it; returns the seconds from the start to the login."""
    agent = Agent(ctx, addr)
    t0 = time.perf_counter()
    viewer = start(ctx, exe, 'TCP=' + addr, 'PWD=secret', stderr_path=ctx.path('corvid-%s.err' % addr))
    check(agent.wait_packet('PKT_CLIENT_INFO', timeout=40), 'no login from %s: %s' % (exe, agent.packets()))
    took = time.perf_counter() - t0
    check(agent.packets('PKT_LOGIN')[0]['password_ok'], 'login %s' % agent.packets('PKT_LOGIN'))
    end_viewer(ctx, 'CORVIDS:TCP:' + addr, viewer)
    agent.stop()
    ctx.agents.remove(agent)
    return took


def sha(path):
    with open(path, 'rb') as f:
        return hashlib.sha256(f.read()).hexdigest()


def zip_contents(path):
    with zipfile.ZipFile(path) as z:
        return {n: hashlib.sha256(z.read(n)).hexdigest() for n in z.namelist()}


def case_msi_installs_logs_in_and_uninstalls(ctx):
    reg_set_defaults(Language=0)
    remove_installs(ctx)
    version = make_package.product_version()
    msi = dist(ctx, 'msi')
    t0 = time.perf_counter()
    install(ctx, msi)
    installed = time.perf_counter() - t0
    # What landed is what the zip holds, byte for byte: the same staged files.
    packed = zip_contents(dist(ctx, 'zip'))
    landed = {'Corvid-%s/%s' % (version, n): sha(os.path.join(PRODUCT_DIR, n)) for n in os.listdir(PRODUCT_DIR)}
    check(landed == packed, 'installed %s, zip %s' % (sorted(landed), sorted(packed)))
    check(products() == {'{%s}' % make_package.product_code(version): version}, 'registered %s' % products())
    links = shortcuts()
    check(len(links) == 1, 'Start-menu shortcuts %s' % links)
    with open(links[0], 'rb') as f:
        target = f.read()
    check(b'Tlyhlpru.chm' in target or 'Tlyhlpru.chm'.encode('utf-16-le') in target, 'the shortcut opens the help')
    took = log_in(ctx, INSTALLED_EXE, '127.0.0.200')
    print('msiexec /i to a logged-in session: %.1f s (install %.1f s, start to login %.1f s)' %
          (installed + took, installed, took))
    check(os.path.getsize(os.path.join(PRODUCT_DIR, 'Corvid.log')) > 0, 'the viewer logs beside itself')
    uninstall(ctx, msi)
    # The log is the user's record and stays, so does the folder holding it.
    check_removed(version, ['Corvid.log'])
    shutil.rmtree(PRODUCT_DIR)


def older(version):
    a, b, c = (int(x) for x in version.split('.'))
    return '%d.%d.%d' % ((a, b, c - 1) if c else (a, b - 1, 0) if b else (a - 1, 0, 0))


def case_newer_version_replaces_older(ctx):
    remove_installs(ctx)
    version = make_package.product_version()
    old = older(version)
    old_msi = make_package.build(ctx.bin, ctx.dir, version=old, only='msi')[0]
    install(ctx, old_msi)
    check(products() == {'{%s}' % make_package.product_code(old): old}, 'registered %s' % products())
    install(ctx, dist(ctx, 'msi'))
    check(products() == {'{%s}' % make_package.product_code(version): version}, 'after the upgrade %s' % products())
    check(sorted(os.listdir(PRODUCT_DIR)) == FILES, 'installed %s' % os.listdir(PRODUCT_DIR))
    # The older one over the newer is refused and changes nothing.
    check(msiexec(ctx, '/i', win_path(old_msi), '/qn') != 0, 'an older version installed over a newer one')
    check(products() == {'{%s}' % make_package.product_code(version): version}, 'after the refusal %s' % products())
    uninstall(ctx, dist(ctx, 'msi'))
    check_removed(version, None)


def case_zip_unpacked_logs_in(ctx):
    reg_set_defaults(Language=0)
    version = make_package.product_version()
    with zipfile.ZipFile(dist(ctx, 'zip')) as z:
        check(sorted(z.namelist()) == ['Corvid-%s/%s' % (version, n) for n in FILES], 'zip %s' % z.namelist())
        z.extractall(ctx.path('unpacked'))
    folder = ctx.path(os.path.join('unpacked', 'Corvid-' + version))
    with open(os.path.join(folder, 'README.txt'), 'rb') as f:
        readme = f.read()
    check(readme.startswith(b'Corvid %s ' % version.encode()) and b'\n' not in readme.replace(b'\r\n', b''),
          'README.txt names the version and ends its lines in CR LF')
    log_in(ctx, os.path.join(folder, 'Corvid.exe'), '127.0.0.201')
    check(wait_until(lambda: os.path.exists(os.path.join(folder, 'Corvid.log'))), 'no log beside the unpacked viewer')


if __name__ == '__main__':
    run_case(globals())
