"""Shared pieces of the tests that run the shipped program on a virtual display.

They run only inside tests/sandbox/sandbox (with --xvfb): there the program's
attempts to set the clock fail, and the X display is the sandbox's own Xvfb.
"""

import configparser
import os
import subprocess
import sys
import time

from Xlib import X, Xatom, display, protocol

TITLE = " Quorvane v3.0.2"


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)
    print("ok: " + message)


def require_sandbox():
    # The program really tries to set the clock: go on only where the kernel
    # refuses that, in a user namespace of our own.
    with open("/proc/self/uid_map") as f:
        count = f.read().split()[2]
    if count == "4294967295" or "DISPLAY" not in os.environ:
        fail("run this through tests/sandbox/sandbox --xvfb")


def settings_path():
    return os.path.join(os.environ["XDG_CONFIG_HOME"], "Quorvane", "SaveFormSettings.ini")


def write_settings(values):
    os.makedirs(os.path.dirname(settings_path()), exist_ok=True)
    with open(settings_path(), "w") as f:
        f.write("[Values]\n")
        for key, value in values.items():
            f.write("%s=%s\n" % (key, value))


def read_settings():
    parser = configparser.ConfigParser(interpolation=None)
    parser.optionxform = str  # keys are case-sensitive
    if not parser.read(settings_path()) or not parser.has_section("Values"):
        return {}
    return dict(parser.items("Values"))


def start(binary):
    return subprocess.Popen([binary], stdin=subprocess.DEVNULL)


def stop(program):
    """Kills the program if a failed check left it running."""
    if program.poll() is None:
        program.kill()
        program.wait()


def wait_for(predicate, timeout, interval=0.05):
    """Polls predicate until it returns something true; None after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def wait_for_window(screen, program, timeout=10):
    """The program's mapped window; None if it ends or the window never shows."""
    found = wait_for(lambda: screen.mapped_window() or program.poll() is not None, timeout)
    return found if found is not None and found is not True else None


class Screen:
    def __init__(self):
        self.display = display.Display()
        self.root = self.display.screen().root
        self.net_wm_name = self.display.intern_atom("_NET_WM_NAME")
        self.utf8_string = self.display.intern_atom("UTF8_STRING")

    def title(self, window):
        prop = window.get_full_property(self.net_wm_name, self.utf8_string)
        if prop is None:
            prop = window.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
        if prop is None:
            return None
        value = prop.value
        return value.decode("utf-8", "replace") if isinstance(value, bytes) else value

    def mapped_window(self, title=TITLE):
        """The viewable top-level window with that title, or None."""
        for window in self.root.query_tree().children:
            try:
                if (window.get_attributes().map_state == X.IsViewable
                        and self.title(window) == title):
                    return window
            except Exception:  # the window went away while we looked
                continue
        return None

    def protocols(self, window):
        atoms = window.get_wm_protocols() or []
        return [self.display.get_atom_name(a) for a in atoms]

    def ask_to_close(self, window):
        """What a window manager sends when the user clicks the close box."""
        wm_protocols = self.display.intern_atom("WM_PROTOCOLS")
        wm_delete = self.display.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(
            window=window, client_type=wm_protocols,
            data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event, event_mask=X.NoEventMask)
        self.display.flush()
