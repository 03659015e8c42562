# The installed program as its users run it: at logon until it closes itself,
# and ended by its close box, logout (SIGTERM), Ctrl+C (SIGINT) and a closed
# terminal (SIGHUP) while it waits for a server; its options, a second start,
# its listing. Runs in tests/sandbox --inetd --mock, under xvfb-run.
import glob, os, shutil, signal, subprocess, sys, time
import dbus
import xml.etree.ElementTree as ET
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
    while ending and not windows():
        time.sleep(0.05)
    if ending:
        time.sleep(1)
        began = time.monotonic()
        ending(program)
    journal = program.communicate(timeout=30)[1]
    with open(config + "/SaveFormSettings.ini") as f:
        values = sorted(line.strip() for line in f if "=" in line)
    return program.returncode, time.monotonic() - began, journal, values


def windows():
    return [w for w in screen.screen().root.query_tree().children
            if (name := w.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)) and
            name.value == f" Quorvane v{sys.argv[2]}".encode() and w.get_attributes().map_state]


def close_box(program):
    shown, atom = windows()[0], screen.intern_atom
    shown.send_event(protocol.event.ClientMessage(window=shown, client_type=atom(
        "WM_PROTOCOLS"), data=(32, [atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0])))
    screen.flush()


def set_time_calls():
    return dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"]).get_object(
        "org.freedesktop.timedate1", "/org/freedesktop/timedate1").GetMethodCalls(
        "SetTime", dbus_interface="org.freedesktop.DBus.Mock")


listing = prefix + "/share/metainfo/org.quorvane.Quorvane.metainfo.xml"
check("the listing's menu entry is valid", subprocess.run(["desktop-file-validate", prefix +
      "/share/applications/" + ET.parse(listing).find("launchable").text]).returncode == 0)
lint = subprocess.run(["appstreamcli", "validate", "--no-net", listing], capture_output=True,
                      text=True).stdout
check("the listing is valid: " + lint.strip(),
      "Validation was successful" in lint and "W:" not in lint)

# Options answer without a display (over SSH), a mistaken one opens no window; none saves.
shutil.rmtree(os.path.dirname(config), ignore_errors=True)
newest = ET.parse(listing).find("releases/release").get("version")
for args, status, out, err in (
        (["--help"], 0, "-v, --version", ""), (["-h"], 0, "-h, --help", ""),
        (["--version"], 0, f"quorvane {newest}\n", ""), (["-v"], 0, f"quorvane {newest}\n", ""),
        (["-platform", "offscreen", "--now"], 2, "", "quorvane: unknown argument '--now'; "
         "run 'quorvane --help' for the options\n"), (["--now"], 2, "", "quorvane: unknown "
         "argument '--now'; run 'quorvane --help' for the options\n")):
    done = subprocess.run([prefix + "/bin/quorvane", *args], capture_output=True, text=True,
                          env={k: v for k, v in os.environ.items() if k != "DISPLAY"}, timeout=20)
    check(f"{args}: {done.returncode}, {done.stdout!r}, {done.stderr!r}",
          done.returncode == status and out in done.stdout and (out or not done.stdout) and
          done.stderr == err and not os.path.exists(os.path.dirname(config)))

# At logon, the clock 30 s slow: the time service is asked once, for the
# server's instant, and the program closes itself, registered to start again.
slow = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")[0]
status, took, journal, values = run("cboServers=time-a-g.nist.gov\nchkRun=1",
                                    LD_PRELOAD=slow, FAKETIME="-30")
calls = set_time_calls()
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

# A second start in the same session shows the first one's window, stops its
# countdown and ends, neither synchronising nor saving.
session = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address"],
                         capture_output=True, text=True).stdout.strip()
chosen = "cboServers=time-a-g.nist.gov"


def second_start(first):
    second = subprocess.run([prefix + "/bin/quorvane"], capture_output=True, text=True,
                            env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=session), timeout=20)
    with open(config + "/SaveFormSettings.ini") as f:
        check(f"second start: ends at once, one window, nothing saved: {second}",
              second.returncode == 0 and second.stderr == "" and len(windows()) == 1 and
              f.read() == "[Values]\n" + chosen)
    time.sleep(10)
    check("the first one stopped its countdown", first.poll() is None)
    close_box(first)


status, took, journal, values = run(chosen, second_start, DBUS_SESSION_BUS_ADDRESS=session,
                                    LD_PRELOAD=slow, FAKETIME="-30")
check(f"one synchronisation: {status}, {journal}, {set_time_calls()[1:]}", status == 0 and
      journal == "time-a-g.nist.gov: Time Adjusted by 30 Sec\n" and len(set_time_calls()) == 2)
sys.exit(bool(failed))
