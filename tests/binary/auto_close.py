"""With Auto Close on (the default), the program exits by itself nine seconds
after start and leaves its settings behind.

    sandbox --inetd --xvfb -- python3 auto_close.py PATH/TO/quorvane
"""

import subprocess
import sys
import time

from quorvane_binary import Screen, check, fail, read_settings, require_sandbox, start, stop, \
    wait_for_window, write_settings

SERVER = "time-a-g.nist.gov"  # the sandbox's own time service answers for it


def main(binary):
    require_sandbox()
    # No AutoCloseQuorvane key: the box keeps the value it starts with.
    write_settings({"cboServers": SERVER})
    screen = Screen()

    started = time.monotonic()
    program = start(binary)
    try:
        check(wait_for_window(screen, program) is not None, "the window shows")
        try:
            status = program.wait(timeout=15)
        except subprocess.TimeoutExpired:
            fail("the program still runs 15 s after start")
        elapsed = time.monotonic() - started
    finally:
        stop(program)

    check(status == 0, "exit status 0 (got %d)" % status)
    check(8.5 <= elapsed <= 11, "it ended by itself after about nine seconds (%.2f s)" % elapsed)
    values = read_settings()
    check(values.get("AutoCloseQuorvane") == "1", "saved AutoCloseQuorvane=1 (%r)" % values)
    check(values.get("chkRun") == "0", "saved chkRun=0")
    check(values.get("cboServers") == SERVER, "saved cboServers=" + SERVER)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        fail("usage: auto_close.py PATH/TO/quorvane")
    main(sys.argv[1])
