"""Host programs talking to voxa-sim as they would to a real module: pyserial on a PTY, a plain
socket on the TCP port. Run by ctest with VOXA_SIM pointing at the voxa-sim executable."""

import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import serial  # pyserial (Debian python3-serial)

VOXA_SIM = os.environ.get("VOXA_SIM", "voxa-sim")
VERS_REPLY = b"VOXA5-PLUS V1.4.0 WVGA \r>\r"


class Simulator:
    """voxa-sim in the background; its announcements are read from stderr."""

    def __init__(self, *args):
        self.state = tempfile.TemporaryDirectory(prefix="voxa-sim-state-")
        self.proc = subprocess.Popen(
            [VOXA_SIM, "--state", self.state.name, *args],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def announcement(self, pattern, timeout=10):
        """Reads stderr lines until one matches pattern; returns the match."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            line = self.proc.stderr.readline().decode()
            if not line:
                break
            m = re.search(pattern, line)
            if m:
                return m
        raise AssertionError(f"voxa-sim never said {pattern!r}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
        code = self.proc.wait(timeout=10)
        self.proc.stderr.close()
        self.state.cleanup()
        return code


def read_until(read, end, timeout=5):
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(end) and time.monotonic() < deadline:
        data += read()
    return data


class PtyHost(unittest.TestCase):
    def test_pyserial_sees_whole_start_up_and_gets_replies(self):
        folder = tempfile.TemporaryDirectory(prefix="voxa-pty-")
        self.addCleanup(folder.cleanup)
        link = os.path.join(folder.name, "voxa0")
        sim = Simulator("--com0", f"pty:{link}", "--fast")
        try:
            slave = sim.announcement(r"com0 on (/dev/pts/\d+) linked from").group(1)
            self.assertEqual(os.path.realpath(link), slave)
            # Nothing runs before the cable is plugged in: the first bytes are the prompt.
            time.sleep(0.3)
            port = serial.Serial(link, 115200, timeout=0.2)
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), b">\r")
            port.write(b"vers\r")
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), VERS_REPLY)
            port.close()
            # Another program opens the port later: the module is still on and answers.
            port = serial.Serial(link, 9600, timeout=0.2)
            port.write(b"vers\r")
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), VERS_REPLY)
            port.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)
        self.assertFalse(os.path.lexists(link), "the link outlives voxa-sim")


class TcpHost(unittest.TestCase):
    def test_socket_client_in_realtime_one_client_at_a_time(self):
        sim = Simulator("--com0", "tcp:0", "--realtime")
        try:
            port = int(sim.announcement(r"com0 on tcp 127\.0\.0\.1:(\d+)").group(1))
            start = time.monotonic()
            first = socket.create_connection(("127.0.0.1", port), timeout=5)
            self.assertEqual(read_until(lambda: first.recv(64), b">\r"), b">\r")
            # Realtime: the start-up takes its 1.2 s of wall time.
            self.assertGreater(time.monotonic() - start, 1.0)
            second = socket.create_connection(("127.0.0.1", port), timeout=5)
            self.assertEqual(second.recv(64), b"", "a second client must be refused")
            second.close()
            first.sendall(b"vers\r")
            self.assertEqual(read_until(lambda: first.recv(64), b">\r"), VERS_REPLY)
            first.close()
            # Once the first has gone, the next client is served.
            again = socket.create_connection(("127.0.0.1", port), timeout=5)
            again.sendall(b"vers\r")
            self.assertEqual(read_until(lambda: again.recv(64), b">\r"), VERS_REPLY)
            again.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
