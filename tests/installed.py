# The installed program as its users run it: at logon until it closes itself,
# and ended by its close box, logout (SIGTERM), Ctrl+C (SIGINT) and a closed
# terminal (SIGHUP) while it waits for a server. Runs in tests/sandbox --inetd
# --mock, under xvfb-run.
import glob, os, shutil, signal, subprocess, sys, time
import dbus
from Xlib import X, Xatom, display, protocol

config, screen, failed = os.environ["XDG_CONFIG_HOME"] + "/Quorvane", display.Display(), []
prefix = os.environ["HOME"] + "/usr"
subprocess.run(["cmake", "--install", sys.argv[1], "--prefix", prefix], check=True,
               stdout=subprocess.DEVNULL)


def check(what, ok):
    print(("ok: " if ok else "FAILED: ") + what)
    failed.extend([] if ok else [what])


def run(saved, ending=None, **env):
    """Runs the program to its end: its exit status, seconds, stderr and saved values."""
    shutil.rmtree(os.path.dirname(config), ignore_errors=True)  # autostart entry too
    os.makedirs(config)
    with open(config + "/SaveFormSettings.ini", "w") as f:
        f.write("[Values]\n" + saved)
    program = subprocess.Popen([prefix + "/bin/quorvane"], stderr=subprocess.PIPE, text=True,
                               env=dict(os.environ, **env))
    began = time.monotonic()
    while ending and not window():
        time.sleep(0.05)
    if ending:
        time.sleep(1)
        began = time.monotonic()
        ending(program)
    journal = program.communicate(timeout=30)[1]
    with open(config + "/SaveFormSettings.ini") as f:
        values = sorted(line.strip() for line in f if "=" in line)
    return program.returncode, time.monotonic() - began, journal, values


def window():
    for w in screen.screen().root.query_tree().children:
        name = w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
        if name and name.value == b" Quorvane v3.0.2" and w.get_attributes().map_state:
            return w


def close_box(program):
    shown, atom = window(), screen.intern_atom
    shown.send_event(protocol.event.ClientMessage(window=shown, client_type=atom(
        "WM_PROTOCOLS"), data=(32, [atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
    screen.flush()


check("the menu entry is valid", subprocess.run(
    ["desktop-file-validate", prefix + "/share/applications/quorvane.desktop"]).returncode == 0)

# At logon, the clock 30 s slow: the time service is asked once, for the
# server's instant, and the program closes itself, registered to start again.
slow = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")[0]
status, took, journal, values = run("cboServers=time-a-g.nist.gov\nchkRun=1",
                                    LD_PRELOAD=slow, FAKETIME="-30")
calls = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"]).get_object(
    "org.freedesktop.timedate1", "/org/freedesktop/timedate1").GetMethodCalls(
    "SetTime", dbus_interface="org.freedesktop.DBus.Mock")
check(f"closes itself after 9 s: {status}, {took:.1f} s", status == 0 and 9 <= took <= 18)
check("one line: " + journal, journal == "time-a-g.nist.gov: Time Adjusted by 30 Sec\n")
check(f"one SetTime, for the server's instant: {calls}", len(calls) == 1 and
      abs(calls[0][1][0] / 1e6 - calls[0][0] - 0.5) < 1.5 and not calls[0][1][1])
check(f"kept: {values}", values == ["AutoCloseQuorvane=1", "cboServers=time-a-g.nist.gov",
                                    "chkRun=1"])
with open(os.environ["XDG_CONFIG_HOME"] + "/autostart/quorvane.desktop") as f:
    check("it starts at logon", f'Exec="{prefix}/bin/quorvane"\n' in f.read())

# Nothing saved: the first synchronisation waits 5 s for the empty name.
for name, ending in (("close box", close_box), ("SIGTERM", lambda p: p.terminate()),
                     ("SIGINT", lambda p: p.send_signal(signal.SIGINT)),
                     ("SIGHUP", lambda p: p.send_signal(signal.SIGHUP))):
    status, took, journal, values = run("", ending)
    check(f"{name}: ends at once, saying nothing, keeping {values}: {status}, {took:.2f} s",
          status == 0 and took < 1 and journal == "" and
          values == ["AutoCloseQuorvane=1", "cboServers=", "chkRun=0"])
sys.exit(bool(failed))
