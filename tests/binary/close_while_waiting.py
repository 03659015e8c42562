"""Closing the window while the first synchronisation still waits for the
server ends the program at once, after saving its settings.

    sandbox --xvfb -- python3 close_while_waiting.py PATH/TO/quorvane

A server on 127.0.0.1:37 accepts the connection and never answers, so the
synchronisation would wait its full five seconds.
"""

import socket
import subprocess
import sys
import threading
import time

from quorvane_binary import Screen, check, fail, read_settings, require_sandbox, start, stop, \
    wait_for, wait_for_window, write_settings


class SilentServer:
    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 37))
        self.connections = []
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            connection, _ = self.listener.accept()
            self.connections.append(connection)

    def waiting_clients(self):
        """Connections the client still holds open."""
        count = 0
        for connection in list(self.connections):
            try:
                if connection.recv(1, socket.MSG_PEEK | socket.MSG_DONTWAIT) == b"":
                    continue  # closed by the client
            except BlockingIOError:
                pass
            count += 1
        return count


def main(binary):
    require_sandbox()
    server = SilentServer()
    write_settings({"cboServers": "time-a-g.nist.gov", "AutoCloseQuorvane": "0"})
    screen = Screen()

    program = start(binary)
    try:
        window = wait_for_window(screen, program)
        check(window is not None, "the window shows")
        mapped = time.monotonic()
        check("WM_DELETE_WINDOW" in screen.protocols(window),
              "the window takes WM_DELETE_WINDOW")
        check(wait_for(server.waiting_clients, 3), "the program connects to the server")
        time.sleep(max(0.0, mapped + 1.0 - time.monotonic()))
        check(program.poll() is None and server.waiting_clients() == 1,
              "a second after the window showed, the synchronisation still waits")

        screen.ask_to_close(window)
        asked = time.monotonic()
        try:
            status = program.wait(timeout=4)
        except subprocess.TimeoutExpired:
            fail("the program still runs 4 s after its window was closed")
        took = time.monotonic() - asked
    finally:
        stop(program)

    check(took < 1.0, "it ended at once (%.2f s after the close)" % took)
    check(status == 0, "exit status 0 (got %d)" % status)
    values = read_settings()
    check(values.get("AutoCloseQuorvane") == "0", "saved AutoCloseQuorvane=0 (%r)" % values)
    check(values.get("cboServers") == "time-a-g.nist.gov", "saved cboServers")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        fail("usage: close_while_waiting.py PATH/TO/quorvane")
    main(sys.argv[1])
