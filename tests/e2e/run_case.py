#!/usr/bin/python3
"""Runs the installed program once, as a new user would, and checks what it shows.

  run_case.py CASE PROGRAM [--shots DIR]

CASE is one of the names in CASES below. Runs only inside
tests/sandbox/sandbox --dbusmock --xvfb (plus --inetd for the cases whose
server answers): the program is the real one and may try to set the clock.

The program starts with a fresh settings folder holding only the settings the
case chooses, accessibility on and an AT-SPI bus of its own. The status line
is read through AT-SPI, its colour from the screen, and after the program has
closed itself its exit status, the settings it saved and the SetTime calls the
time-service mock received are checked. With --shots the window's picture is
kept as DIR/e2e-CASE.png. Prints one line per check and exits 1 if any failed.
"""

import configparser
import glob
import os
import re
import socket
import struct
import subprocess
import sys
import threading
import time
import zlib

from checks import check, failures

sys.dont_write_bytecode = True

HERE = os.path.dirname(os.path.realpath(__file__))
SANDBOX_TOOLS = os.path.join(HERE, '..', 'sandbox')

RED = 'red'
BLACK = 'black'
FAST_SERVER = 'time-a-g.nist.gov'

# server: the server chosen in the settings; listener: what answers on port 37
# besides inetd (None: nothing of ours); offset: how far the program's clock
# is behind; ntp: automatic sync in the time-service mock; tz: the zone.
CASES = {
    'good': dict(server=FAST_SERVER, listener=None, offset=30, ntp=False,
                 tz='Europe/London', status=r' Time Adjusted by (-?\d+) Sec', colour=BLACK,
                 settime=1, latest_result=3.0),
    'ntp_on': dict(server=FAST_SERVER, listener=None, offset=30, ntp=True,
                   tz='Europe/London', status=r' Cannot set Clock\.', colour=RED,
                   tooltip='automatic time synchronisation is on', settime=1,
                   latest_result=3.0),
    'silent': dict(server=FAST_SERVER, listener='silent', offset=0, ntp=False,
                   tz='Europe/London', status=r' No reply from Server\.', colour=RED, settime=0,
                   earliest_result=4.5, latest_result=8.0),
    # A failed connection may only be reported at the end of the 5 s wait.
    'refused': dict(server=FAST_SERVER, listener=None, offset=0, ntp=False, tz='Europe/London',
                    status=r' Cannot find Server\.', colour=RED, settime=0, latest_result=8.0),
    # Built in, but no name service in the sandbox knows it.
    'unknown_name': dict(server='time-c-g.nist.gov', listener=None, offset=0, ntp=False,
                         tz='Europe/London', status=r' Cannot find Server\.', colour=RED,
                         settime=0, latest_result=8.0),
}
RESULT_TEXTS = re.compile(r' (Time Adjusted by -?\d+ Sec|Cannot find Server\.|'
                          r'No reply from Server\.|Bad reply from Server\.|Cannot set Clock\.)$')

# Where the status line lies in the window, in pixels (from the window's layout).
STATUS_AT = (40, 176)
AUTO_CLOSE_SECS = 9


def die(message):
    print(f'run_case: {message}', file=sys.stderr)
    sys.exit(2)


def in_sandbox():
    with open('/proc/self/uid_map', encoding='ascii') as f:
        in_userns = all(line.split()[2] != '4294967295' for line in f)
    return in_userns and os.environ.get('QUORVANE_SANDBOX') == '1'


# --- buses ---------------------------------------------------------------------------------------

SESSION_BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir={dir}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def start_session_bus():
    """A session bus with the AT-SPI bus launcher on it, as a desktop session has.

    Configured here, without service directories: nothing on it starts by
    activation, and no session-bus package is needed."""
    config = os.path.join(os.environ['SANDBOX_DIR'], 'session-bus.conf')
    with open(config, 'w', encoding='utf-8') as f:
        f.write(SESSION_BUS_CONFIG.format(dir=os.environ['SANDBOX_DIR']))
    read_fd, write_fd = os.pipe()
    subprocess.Popen(['dbus-daemon', f'--config-file={config}', '--nofork',
                      f'--print-address={write_fd}'],
                     pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        address = f.readline().strip()
    if not address:
        die('dbus-daemon --session did not start')
    os.environ['DBUS_SESSION_BUS_ADDRESS'] = address
    subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'],
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Only once the launcher owns its name: otherwise the bus would activate
    # a second one for whoever asks first.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        reply = subprocess.run(
            ['dbus-send', '--session', '--print-reply=literal', '--dest=org.a11y.Bus',
             '/org/a11y/bus', 'org.a11y.Bus.GetAddress'],
            capture_output=True, text=True)
        if reply.returncode == 0 and reply.stdout.strip():
            return
        time.sleep(0.05)
    die('the AT-SPI bus did not come up')


def sandbox_tool(name, *args):
    return subprocess.run([os.path.join(SANDBOX_TOOLS, name), *args], check=True,
                          capture_output=True, text=True).stdout


# --- port 37 -------------------------------------------------------------------------------------

SILENT_SERVER = r"""
import selectors, socket, sys, time
listeners = []
for family, address in ((socket.AF_INET, '127.0.0.1'), (socket.AF_INET6, '::1')):
    s = socket.socket(family, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind((address, 37))
    s.listen(8)
    listeners.append(s)
print('ready', flush=True)
held = []
selector = selectors.DefaultSelector()
for s in listeners:
    selector.register(s, selectors.EVENT_READ)
while True:
    for key, _ in selector.select():
        held.append(key.fileobj.accept()[0])
        print(time.monotonic(), flush=True)
"""


class SilentServer:
    """Accepts connections on port 37 and never answers.

    A process of its own, so that the moments it accepts are taken at once
    and not whenever this one's AT-SPI calls let a thread run."""

    def __init__(self):
        self.proc = subprocess.Popen(['/usr/bin/python3', '-c', SILENT_SERVER],
                                     stdout=subprocess.PIPE, text=True)
        if self.proc.stdout.readline().strip() != 'ready':
            die('the silent server did not start')
        self.accepted = []
        threading.Thread(target=self.collect, daemon=True).start()

    def collect(self):
        for line in self.proc.stdout:
            self.accepted.append(float(line))


def port_37_open(host):
    try:
        with socket.create_connection((host, 37), timeout=1):
            return True
    except OSError:
        return False


# --- the screen ----------------------------------------------------------------------------------

def grab(x, y, width, height):
    """The screen's pixels in the rectangle, as rows of (r, g, b)."""
    from Xlib import X, display
    d = display.Display()
    try:
        root = d.screen().root
        image = root.get_image(x, y, width, height, X.ZPixmap, 0xFFFFFFFF)
        data = image.data
    finally:
        d.close()
    if isinstance(data, str):
        data = data.encode('latin-1')
    # 24-bit depth comes as 32-bit little-endian pixels: blue, green, red, unused.
    stride = len(data) // height
    return [[(data[row * stride + 4 * col + 2], data[row * stride + 4 * col + 1],
              data[row * stride + 4 * col]) for col in range(width)] for row in range(height)]


def write_png(path, rows):
    height, width = len(rows), len(rows[0])
    raw = b''.join(b'\0' + bytes(c for pixel in row for c in pixel) for row in rows)

    def chunk(kind, body):
        return (struct.pack('>I', len(body)) + kind + body +
                struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF))

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' +
                chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


def text_colour(rows):
    """RED or BLACK by the text's fully inked pixels (red 255,0,0 or black); None if
    neither shows."""
    red = dark = 0
    for row in rows:
        for r, g, b in row:
            if r >= 200 and g <= 60 and b <= 60:
                red += 1
            elif max(r, g, b) <= 60:
                dark += 1
    if red >= 10 and dark <= red // 20:
        return RED, red, dark
    if dark >= 10 and red <= dark // 20:
        return BLACK, red, dark
    return None, red, dark


# --- the window through AT-SPI -------------------------------------------------------------------

def find_window(pyatspi, pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name.lower() != 'quorvane':
            continue
        try:
            if app.get_process_id() != pid:
                continue
        except Exception:
            continue
        for window in app:
            if window is not None:
                return window
    return None


def extents(pyatspi, accessible):
    e = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return e.x, e.y, e.width, e.height


def find_status(pyatspi, window):
    """The status label and the part of it that shows on screen.

    The panel runs on under the auto-close panel, which lies in front of it,
    and past the window's right and bottom edges."""
    wx, wy, ww, wh = extents(pyatspi, window)
    labels = [(child, extents(pyatspi, child)) for child in window
              if child is not None and child.getRole() == pyatspi.ROLE_LABEL]
    for child, (x, y, w, h) in labels:
        if (x - wx, y - wy) != STATUS_AT:
            continue
        right, bottom = min(x + w, wx + ww), min(y + h, wy + wh)
        for _, (ox, oy, _, _) in labels:
            if oy == y and x < ox < right:
                right = ox
        # Inside the sunken frame.
        return child, (x + 3, y + 3, right - x - 6, bottom - y - 4)
    return None, None


# --- the case ------------------------------------------------------------------------------------

def write_settings(server):
    folder = os.path.join(os.environ['XDG_CONFIG_HOME'], 'Quorvane')
    if os.path.exists(folder):
        die(f'{folder} exists: the settings folder is not fresh')
    os.makedirs(folder)
    path = os.path.join(folder, 'SaveFormSettings.ini')
    with open(path, 'w', encoding='utf-8') as f:
        f.write(f'[Values]\nAutoCloseQuorvane=1\nchkRun=0\ncboServers={server}\n')
    return path


def program_environment(case):
    env = dict(os.environ)
    env.update(QT_ACCESSIBILITY='1', QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', TZ=case['tz'],
               LC_ALL='C.UTF-8', LANG='C.UTF-8')
    env.pop('QT_QPA_PLATFORM', None)  # what a desktop session has: xcb from DISPLAY
    if case['offset']:
        libs = glob.glob('/usr/lib/*/faketime/libfaketime.so.1')
        if not libs:
            die('libfaketime not found (install faketime)')
        # Only the wall clock runs slow; timers keep real time.
        env.update(LD_PRELOAD=libs[0], FAKETIME=f'-{case["offset"]}s',
                   FAKETIME_DONT_FAKE_MONOTONIC='1')
    return env


def run(name, program, shots):
    case = CASES[name]
    import pyatspi  # only once the session bus exists

    settings = write_settings(case['server'])
    if case['ntp']:
        sandbox_tool('timedated-ntp', 'on')
    sandbox_tool('settime-calls', '--clear')
    server = SilentServer() if case['listener'] == 'silent' else None
    if name == 'refused' and port_37_open('127.0.0.1'):
        die('something answers on port 37; the refused case needs it closed')
    if name == 'unknown_name':
        try:
            socket.getaddrinfo(case['server'], 37)
            die(f'{case["server"]} resolves in the sandbox')
        except socket.gaierror:
            pass

    started, started_wall = time.monotonic(), time.time()
    proc = subprocess.Popen([program], env=program_environment(case), stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    output = []
    threading.Thread(target=lambda: output.extend(proc.stdout), daemon=True).start()

    status = seen = seen_wall = None
    texts = []
    tooltip = ''
    colour = counts = None
    window_rows = None
    status_box = None
    window = None
    errors = []
    while proc.poll() is None and time.monotonic() - started < 20:
        try:
            if window is None:
                window = find_window(pyatspi, proc.pid)
            if window is not None and status is None:
                status, status_box = find_status(pyatspi, window)
            if status is not None:
                text = status.name
                if not texts or texts[-1][1] != text:
                    texts.append((round(time.monotonic() - started, 2), text))
                if RESULT_TEXTS.match(text):
                    if seen is None:
                        seen, seen_wall = time.monotonic(), time.time()
                    tooltip = status.description
                    # The label is repainted when the event loop next runs.
                    if time.monotonic() - seen > 0.2:
                        x, y, w, h = status_box
                        colour, *counts = text_colour(grab(x, y, w, h))
                        if colour is not None or time.monotonic() - seen > 2:
                            wx, wy, ww, wh = extents(pyatspi, window)
                            window_rows = grab(wx, wy, ww, wh)
                            break
        except Exception as e:
            # The window may be half built or closing under our feet.
            errors.append(repr(e))
            if proc.poll() is not None:
                break
            if len(errors) > 50:
                raise
        time.sleep(0.05)

    try:
        rc = proc.wait(timeout=max(1, AUTO_CLOSE_SECS + 8 - (time.monotonic() - started)))
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = proc.wait()
    ended = time.monotonic() - started
    if server is not None:
        server.proc.kill()
        server.proc.wait()

    print(f'# status texts seen (seconds after start): {texts}')
    if errors:
        print(f'# {len(errors)} AT-SPI errors while reading, the first: {errors[0]}')
    if output:
        print('# program output:\n#   ' + '#   '.join(line.decode(errors='replace')
                                                  for line in output[-20:]))
    if shots and window_rows:
        write_png(os.path.join(shots, f'e2e-{name}.png'), window_rows)

    final = texts[-1][1] if texts else None
    match = re.fullmatch(case['status'], final or '')
    check('status line', match is not None, f'{final!r}, expected {case["status"]!r}')
    if match and match.groups():
        offset = int(match.group(1))
        # The server's second may tick over between its reading and ours.
        check('offset', case['offset'] - 1 <= offset <= case['offset'] + 1,
              f'{offset} Sec, clock {case["offset"]} s slow')
    check('status colour', colour == case['colour'],
          f'{colour} (red/dark pixels {counts}), expected {case["colour"]}')
    if 'tooltip' in case:
        check('tooltip', case['tooltip'] in tooltip, repr(tooltip))
    if seen is not None:
        after = seen - started
        low = case.get('earliest_result', 0)
        check('result time', low <= after <= case['latest_result'],
              f'{after:.2f} s after start, expected {low}..{case["latest_result"]}')
        if server is not None and server.accepted:
            waited = seen - server.accepted[0]
            # The 5 s count from the query's start, which comes before the
            # accept by the name lookup and the connection: under load that
            # can take a few tenths of a second.
            check('reply wait', 4.0 <= waited <= 6.5, f'{waited:.2f} s after the server accepted')
    if server is not None:
        check('server contacted', len(server.accepted) == 1, f'{len(server.accepted)} connections')

    check('exit status', rc == 0, str(rc))
    check('closed by itself', AUTO_CLOSE_SECS - 1 <= ended <= AUTO_CLOSE_SECS + 4,
          f'after {ended:.2f} s')

    saved = configparser.ConfigParser()
    saved.optionxform = str
    saved.read(settings, encoding='utf-8')
    values = dict(saved['Values']) if saved.has_section('Values') else {}
    expected = {'AutoCloseQuorvane': '1', 'chkRun': '0', 'cboServers': case['server']}
    check('saved settings', values == expected and saved.sections() == ['Values'],
          f'{saved.sections()} {values}')

    calls = [line.split() for line in sandbox_tool('settime-calls').splitlines()]
    check('SetTime calls', len(calls) == case['settime'], str(calls))
    if case['settime'] == 1 and len(calls) == 1:
        _, usec, relative, interactive = calls[0]
        usec = int(usec)
        check('SetTime flags', (relative, interactive) == ('false', 'true'),
              f'relative {relative}, interactive {interactive}')
        check('SetTime whole second', usec % 1000000 == 0, str(usec))
        # The server's second, not the program's slow clock: the whole
        # second of a moment between the program's start and its result.
        sent = usec // 1000000
        check('SetTime real time', seen_wall is not None and started_wall - 1 < sent <= seen_wall,
              f'{sent}, started {started_wall:.2f}, result at {seen_wall}')

    return 1 if failures else 0


def main(argv):
    if len(argv) not in (2, 4) or argv[0] not in CASES or (len(argv) == 4 and argv[2] != '--shots'):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if not in_sandbox():
        die('runs only inside tests/sandbox/sandbox: the program may try to set the clock')
    name, program = argv[0], os.path.abspath(argv[1])
    shots = argv[3] if len(argv) == 4 else None
    if not os.access(program, os.X_OK):
        die(f'{program} is not an executable program')
    # Xvfb starts afresh whenever its last client leaves, and refuses
    # connections meanwhile; the bus launcher is such a client.
    from Xlib import display
    keep_server = display.Display()
    start_session_bus()
    try:
        return run(name, program, shots)
    finally:
        keep_server.close()


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
