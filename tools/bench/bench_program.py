#!/usr/bin/python3
"""Start-up, peak memory and CPU time of the whole program, next to a minimal Qt window.

  bench_program.py PROGRAM MINIMAL [RUNS]

Run by tools/bench-program inside tests/sandbox --mock under xvfb-run, never
outside: PROGRAM is the real program, which sets the clock when its server
says so. The Time Protocol server on port 37 is this script's own, so that it
can tell when the program's first synchronisation starts and ends.

  start-up   RUNS times each, alternating: PROGRAM from exec to the end of its
             first synchronisation (the server has answered and the program
             has closed the connection after reading the reply), against
             MINIMAL --label from exec to "shown" on its standard output (its
             window, with one line of text, is shown and its event loop runs):
             any Qt program here pays for drawing text at all.
  empty      MINIMAL without --label, the same window without text, timed and
             measured alike. Shown for comparison only.
  memory     peak resident set (ru_maxrss) of PROGRAM over a whole unattended
             run (start, synchronise with a server 30 s ahead, so the clock is
             set through the time-service mock, count down, close itself)
             against MINIMAL --label's whole run; 3 runs each, medians.
  CPU        user + system time of a whole unattended run against a server that
             never answers (5 s wait, then the countdown to the automatic
             close) as a share of its wall time; 3 runs, median.
"""

import os
import selectors
import socket
import statistics
import struct
import subprocess
import sys
import time

TIME_PROTOCOL_EPOCH = 2208988800  # seconds from 1900 to 1970
AHEAD = 30  # the server's time is this far ahead of the machine's
# Against the window with one line of text; the CPU share of wall time.
TARGETS = {'start-up': 1.3, 'memory': 1.25, 'cpu': 0.02}


def in_sandbox():
    """Whether this runs in a user namespace of its own, where setting the clock fails."""
    with open('/proc/self/uid_map', encoding='ascii') as f:
        return all(line.split()[2] != '4294967295' for line in f)


def write_settings():
    folder = os.path.join(os.environ['XDG_CONFIG_HOME'], 'Quorvane')
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, 'SaveFormSettings.ini'), 'w', encoding='utf-8') as f:
        f.write('[Values]\nAutoCloseQuorvane=1\nchkRun=0\ncboServers=time-a-g.nist.gov\n')


class MapWatch:
    """Tells when a window is mapped on the display: the moment a window shows,
    whatever program it belongs to."""

    def __init__(self):
        from Xlib import X, display
        self.map_notify = X.MapNotify
        self.display = display.Display()
        self.display.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.display.sync()

    def fileno(self):
        return self.display.fileno()

    def first_map(self):
        """The moment of the first window mapping among the events that have come."""
        first = None
        while self.display.pending_events():
            if self.display.next_event().type == self.map_notify and first is None:
                first = time.monotonic()
        return first


class Server:
    """Port 37 on 127.0.0.1 (where the sandbox puts time-a-g.nist.gov)."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(('127.0.0.1', 37))
        self.listener.listen(8)

    def serve_one(self, proc, answer, limit, watch=None):
        """Serves the first connection; returns (mapped, accepted, closed) monotonic
        times (None where it did not happen) once the client has closed, the process
        has ended or the limit has passed. Mapped needs a MapWatch."""
        mapped = accepted = closed = None
        selector = selectors.DefaultSelector()
        selector.register(self.listener, selectors.EVENT_READ)
        if watch is not None:
            watch.first_map()  # forget older events
            selector.register(watch, selectors.EVENT_READ)
        held = []
        deadline = time.monotonic() + limit
        while closed is None and time.monotonic() < deadline and not ended(proc):
            for key, _ in selector.select(timeout=0.05):
                if key.fileobj is watch:
                    mapped = mapped or watch.first_map()
                elif key.fileobj is self.listener:
                    connection, _ = self.listener.accept()
                    if accepted is None:
                        accepted = time.monotonic()
                    held.append(connection)
                    if answer:
                        now = int(time.time()) + AHEAD + TIME_PROTOCOL_EPOCH
                        connection.sendall(struct.pack('>I', now))
                        selector.register(connection, selectors.EVENT_READ)
                elif not key.fileobj.recv(64):
                    closed = time.monotonic()
                    selector.unregister(key.fileobj)
        selector.close()
        for connection in held:
            connection.close()
        return mapped, accepted, closed


def ended(proc):
    """Whether the process has ended, leaving it to be reaped with its usage."""
    return os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None


def environment():
    env = dict(os.environ, TZ='Europe/London', LC_ALL='C.UTF-8', LANG='C.UTF-8')
    for name in ('QT_ACCESSIBILITY', 'QT_LINUX_ACCESSIBILITY_ALWAYS_ON', 'LD_PRELOAD'):
        env.pop(name, None)
    return env


def reap(proc):
    """Waits for the process; returns (status, user + system seconds, peak RSS KiB)."""
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def startup_program(program, server, watch):
    started = time.monotonic()
    proc = subprocess.Popen(program, env=environment(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    mapped, accepted, closed = server.serve_one(proc, answer=True, limit=15, watch=watch)
    proc.terminate()
    reap(proc)
    if closed is None or mapped is None:
        sys.exit('bench: the program did not show and finish its first synchronisation')
    return mapped - started, accepted - started, closed - started


def startup_minimal(minimal, watch):
    """Returns the moments (since exec) of "shown" and of the window's mapping.
    MINIMAL is the command: the program and its arguments."""
    watch.first_map()  # forget older events
    started = time.monotonic()
    proc = subprocess.Popen(minimal, env=environment(), stdout=subprocess.PIPE)
    selector = selectors.DefaultSelector()
    selector.register(proc.stdout, selectors.EVENT_READ)
    selector.register(watch, selectors.EVENT_READ)
    line = shown = mapped = None
    deadline = started + 15
    while (line is None or mapped is None) and time.monotonic() < deadline:
        for key, _ in selector.select(timeout=0.05):
            if key.fileobj is watch:
                mapped = mapped or watch.first_map()
            elif line is None:
                line = proc.stdout.readline()
                shown = time.monotonic()
                selector.unregister(proc.stdout)
    selector.close()
    proc.stdout.close()
    status, _, _ = reap(proc)
    if line is None or line.strip() != b'shown' or status != 0 or mapped is None:
        sys.exit(f'bench: the minimal window failed ({line!r}, status {status}, '
                 f'mapped {mapped})')
    return shown - started, mapped - started


def resident_split(pid):
    """Resident KiB now: (private anonymous, file-backed: libraries and fonts)."""
    fields = {}
    with open(f'/proc/{pid}/status', encoding='ascii') as f:
        for line in f:
            key, _, value = line.partition(':')
            fields[key] = value.split()[0] if value.split() else '0'
    return int(fields.get('RssAnon', 0)), int(fields.get('RssFile', 0))


def whole_run(command, server=None, answer=True, split_at=None):
    """Runs COMMAND, the program and its arguments. Returns wall seconds, CPU
    seconds, peak resident KiB and, with split_at, resident_split() that many
    seconds after the start."""
    started = time.monotonic()
    proc = subprocess.Popen(command, env=environment(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    if server is not None:
        server.serve_one(proc, answer=answer, limit=20)
    split = None
    if split_at is not None:
        time.sleep(max(0, started + split_at - time.monotonic()))
        if not ended(proc):
            split = resident_split(proc.pid)
    status, cpu, peak = reap(proc)
    wall = time.monotonic() - started
    if status != 0:
        sys.exit(f'bench: {command[0]} ended with status {status}')
    return wall, cpu, peak, split


def settime_calls():
    """The SetTime calls the sandbox's time-service mock has received."""
    import dbus
    bus = dbus.bus.BusConnection(os.environ['DBUS_SYSTEM_BUS_ADDRESS'])
    try:
        timedated = bus.get_object('org.freedesktop.timedate1', '/org/freedesktop/timedate1')
        return timedated.GetMethodCalls('SetTime', dbus_interface='org.freedesktop.DBus.Mock')
    finally:
        bus.close()


def row(figure, value, target='', verdict=''):
    print(f'{figure:<58} {value:>12}  {target:<10} {verdict}'.rstrip(), flush=True)


def target_row(what, program, labelled):
    """The program's ratio to the window with one line of text, against its target."""
    ratio = program / labelled
    row(f'  the program\'s {what} ratio to it', f'{ratio:.2f}x', f'<= {TARGETS[what]}x',
        verdict(ratio, TARGETS[what]))


def comparison_rows(program, labelled, empty):
    """The program's and the window with text's ratios to the empty window."""
    row('  the program\'s ratio to it', f'{program / empty:.2f}x')
    row('  the window with text\'s ratio to it', f'{labelled / empty:.2f}x')


def verdict(value, limit):
    return 'met' if value <= limit else f'MISSED by {(value / limit - 1) * 100:.0f} %'


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    if not in_sandbox():
        sys.exit('bench: runs only inside tests/sandbox: the program may set the clock')
    program = [os.path.abspath(argv[0])]
    empty = [os.path.abspath(argv[1])]
    labelled = empty + ['--label']
    runs = int(argv[2]) if len(argv) == 3 else 10

    # Xvfb starts afresh whenever its last client leaves and refuses
    # connections meanwhile: one client stays for the whole benchmark.
    from Xlib import display
    keep_server = display.Display()

    write_settings()
    server = Server()

    # Start-up; one unmeasured run of each first, to warm the caches.
    watch = MapWatch()
    startup_program(program, server, watch)
    startup_minimal(labelled, watch)
    startup_minimal(empty, watch)
    program_times, labelled_times, empty_times = [], [], []
    for _ in range(runs):
        program_times.append(startup_program(program, server, watch))
        labelled_times.append(startup_minimal(labelled, watch))
        empty_times.append(startup_minimal(empty, watch))

    def ms(times, index):
        return statistics.median(t[index] for t in times) * 1000

    row(f'start-up to end of first synchronisation, median of {runs}',
        f'{ms(program_times, 2):.1f} ms')
    row('  window mapped on the display', f'{ms(program_times, 0):.1f} ms')
    row('  server contacted', f'{ms(program_times, 1):.1f} ms')
    row(f'Qt window with one line of text until shown, median of {runs}',
        f'{ms(labelled_times, 0):.1f} ms')
    row('  window mapped on the display', f'{ms(labelled_times, 1):.1f} ms')
    target_row('start-up', ms(program_times, 2), ms(labelled_times, 0))
    row(f'for comparison: empty Qt window until shown, median of {runs}',
        f'{ms(empty_times, 0):.1f} ms')
    row('  window mapped on the display', f'{ms(empty_times, 1):.1f} ms')
    comparison_rows(ms(program_times, 2), ms(labelled_times, 0), ms(empty_times, 0))

    # Peak memory over whole runs.
    calls_before = len(settime_calls())
    program_runs = [whole_run(program, server, answer=True, split_at=3) for _ in range(3)]
    program_peaks = [r[2] for r in program_runs]
    if len(settime_calls()) <= calls_before:
        sys.exit('bench: the program did not set the clock during its whole runs')
    labelled_peaks = [whole_run(labelled)[2] for _ in range(3)]
    empty_peaks = [whole_run(empty)[2] for _ in range(3)]
    program_kib, labelled_kib = statistics.median(program_peaks), statistics.median(labelled_peaks)
    empty_kib = statistics.median(empty_peaks)
    row('peak resident memory, whole run, median of 3', f'{program_kib / 1024:.1f} MiB')
    splits = [r[3] for r in program_runs if r[3]]
    if splits:
        anon, files = splits[len(splits) // 2]
        row('  private (anonymous) / file-backed, 3 s after start',
            f'{anon / 1024:.1f} / {files / 1024:.1f} MiB')
    row('Qt window with one line of text, peak, median of 3', f'{labelled_kib / 1024:.1f} MiB')
    target_row('memory', program_kib, labelled_kib)
    row('for comparison: empty Qt window, peak, median of 3', f'{empty_kib / 1024:.1f} MiB')
    comparison_rows(program_kib, labelled_kib, empty_kib)

    # CPU time of whole unattended runs against a silent server.
    silent = [whole_run(program, server, answer=False) for _ in range(3)]
    shares = sorted(silent, key=lambda r: r[1] / r[0])
    wall, cpu, _, _ = shares[1]
    row('unattended run, silent server: wall time (median run)', f'{wall:.2f} s')
    row('  CPU time (user + system)', f'{cpu:.3f} s')
    row('  CPU share of wall time', f'{cpu / wall * 100:.2f} %',
        f'< {TARGETS["cpu"] * 100:.0f} %', verdict(cpu / wall, TARGETS['cpu']))
    keep_server.close()
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
