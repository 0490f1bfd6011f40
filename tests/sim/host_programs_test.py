"""Host programs talking to voxa-sim as they would to a real module: pyserial on a PTY, a plain
socket on the TCP port. Run by ctest with VOXA_SIM pointing at the voxa-sim executable."""

import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import serial  # pyserial (Debian python3-serial)

VOXA_SIM = os.environ.get("VOXA_SIM", "voxa-sim")
# What a module without a card and with an erased flash says first.
START = b":No .BIN file in flash or on SD card\r>\r"
START_LF = START.replace(b"\r", b"\n")
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


def pty_link(test):
    """A path for voxa-sim's PTY link in a folder removed after the test."""
    folder = tempfile.TemporaryDirectory(prefix="voxa-pty-")
    test.addCleanup(folder.cleanup)
    return os.path.join(folder.name, "voxa0")


class PtyHost(unittest.TestCase):
    def test_pyserial_sees_whole_start_up_and_gets_replies(self):
        link = pty_link(self)
        sim = Simulator("--com0", f"pty:{link}", "--fast")
        try:
            slave = sim.announcement(r"com0 on (/dev/pts/\d+) linked from").group(1)
            self.assertEqual(os.path.realpath(link), slave)
            # Nothing runs before the cable is plugged in: the first bytes are the start-up output.
            time.sleep(0.3)
            port = serial.Serial(link, 115200, timeout=0.2)
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), START)
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


# A line the module answers with its prompt alone: output stays well below input, so the
# host's writing is limited by the line towards the module, not by the replies.
QUIET_LINE = b"sb 1" + b" " * 100 + b"\r"
RATE = 115200
BYTE_S = 10 / RATE

# A host that floods the port and is then killed without reading or closing anything.
FLOODER = """
import sys, serial
port = serial.Serial(sys.argv[1], 115200)
line = sys.argv[2].encode() + b"\\r"
port.write(line)
port.flush()
sys.stdout.write("writing\\n"); sys.stdout.flush()
port.write(line * 20000)
"""


class PtyLine(unittest.TestCase):
    def test_a_fast_writer_waits_for_the_wire_and_a_killed_host_leaves_nothing_behind(self):
        link = pty_link(self)
        sim = Simulator("--com0", f"pty:{link}", "--realtime")
        try:
            sim.announcement(r"com0 on (/dev/pts/\d+)")
            port = serial.Serial(link, RATE, timeout=0.5)
            # A fresh state: the first start-up writes both settings copies (about 2.3 s).
            self.assertEqual(read_until(lambda: port.read(64), b">\r", timeout=5), START)
            data = QUIET_LINE * 440  # 46 KB: 4 s on the wire
            start = time.monotonic()
            port.write(data)
            took = time.monotonic() - start
            # The kernel holds a few kilobytes; everything else has to cross the line first.
            self.assertGreater(took, (len(data) - 16384) * BYTE_S * 0.8)
            port.close()

            flooder = subprocess.Popen([sys.executable, "-c", FLOODER, link, QUIET_LINE[:-1].decode()],
                                       stdout=subprocess.PIPE)
            self.assertEqual(flooder.stdout.readline(), b"writing\n")
            time.sleep(0.5)  # the flood is blocked on the line
            flooder.kill()
            flooder.wait()
            flooder.stdout.close()
            # The next host is answered at once, not after the dead host's backlog.
            port = serial.Serial(link, RATE, timeout=0.2)
            start = time.monotonic()
            port.write(b"\rvers\r")
            reply = read_until(lambda: port.read(max(1, port.in_waiting)), VERS_REPLY, timeout=5)
            self.assertTrue(reply.endswith(VERS_REPLY), reply[-200:])
            # Milliseconds when the machine is idle; the dead host's backlog would take minutes.
            self.assertLess(time.monotonic() - start, 3.0)
            port.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)


class PtyFlowControl(unittest.TestCase):
    def test_a_chart_sender_that_obeys_xoff_is_paused_and_loses_nothing(self):
        # Sets arrive faster than a full-screen chart scrolls them: the module's XOFF must
        # hold the host's backlog in the pty's buffer, not just its next writes.
        link = pty_link(self)
        log = os.path.join(os.path.dirname(link), "traffic.log")
        # In real time: with --fast, a host that the machine's load holds up for a moment lets
        # virtual time run past the transfer's time-out, and the module rightly gives up.
        sim = Simulator("--com0", f"pty:{link}", "--log", log)
        try:
            sim.announcement(r"com0 on (/dev/pts/\d+)")
            port = serial.Serial(link, RATE, xonxoff=True, timeout=0.5)
            self.assertEqual(read_until(lambda: port.read(64), b">\r", timeout=10), START)
            port.write(b"cd 0 0 0 799 479 3 1 0 1000 000 3 F00 3 0F0 3 00F 3 FF0\r")
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), b">\r")
            sets = 1500
            port.write(b"bcv 0 %d\r" % sets)
            self.assertEqual(read_until(lambda: port.read(2), b">\r"), b">\r")
            port.write(b"".join(struct.pack("<4H", i % 1000, i * 3 % 1000, i * 7 % 1000,
                                            0xFFFF if i % 50 == 0 else i * 11 % 1000)
                                for i in range(sets)))
            self.assertEqual(read_until(lambda: port.read(64), b">\r", timeout=60), b">\r")
            port.write(b"vers\r")
            self.assertEqual(read_until(lambda: port.read(64), b">\r"), VERS_REPLY)
            port.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)
        with open(log, encoding="latin-1") as f:
            sent = [line.split("out  ", 1)[1].strip() for line in f if " com0 out  " in line]
        self.assertIn("\\x13", sent)
        self.assertIn("\\x11", sent)


class PipeHost(unittest.TestCase):
    def run_piped(self, data, *args):
        state = tempfile.TemporaryDirectory(prefix="voxa-sim-state-")
        self.addCleanup(state.cleanup)
        return subprocess.run([VOXA_SIM, "--state", state.name, "--fast", *args], input=data,
                              capture_output=True, timeout=60)

    def test_piped_lines_are_answered_whole(self):
        done = self.run_piped(b"vers\rf?\r")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith(START_LF + b"VOXA5-PLUS V1.4.0 WVGA \n>\n"), done.stdout)
        self.assertTrue(done.stdout.endswith(b"\nm64\n>\n"), done.stdout[-100:])
        done = self.run_piped(b"vers\n")
        self.assertEqual(done.stdout, START_LF + b"VOXA5-PLUS V1.4.0 WVGA \n>\n")


class TcpHost(unittest.TestCase):
    def test_socket_client_in_realtime_one_client_at_a_time(self):
        sim = Simulator("--com0", "tcp:0", "--realtime")
        try:
            port = int(sim.announcement(r"com0 on tcp 127\.0\.0\.1:(\d+)").group(1))
            start = time.monotonic()
            first = socket.create_connection(("127.0.0.1", port), timeout=5)
            self.assertEqual(read_until(lambda: first.recv(64), b">\r"), START)
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

    def test_a_killed_client_leaves_nothing_behind(self):
        sim = Simulator("--com0", "tcp:0", "--realtime")
        try:
            port = int(sim.announcement(r"com0 on tcp 127\.0\.0\.1:(\d+)").group(1))
            flooder = subprocess.Popen([sys.executable, "-c", f"""
import socket, sys
s = socket.create_connection(("127.0.0.1", {port}))
buf = b""
while not buf.endswith(b">\\r"):
    buf += s.recv(64)
sys.stdout.write("writing\\n"); sys.stdout.flush()
s.sendall({QUIET_LINE!r} * 20000)
"""], stdout=subprocess.PIPE)
            self.assertEqual(flooder.stdout.readline(), b"writing\n")
            time.sleep(0.5)
            flooder.kill()
            flooder.wait()
            flooder.stdout.close()
            # voxa-sim sees the connection break at its next look (a few milliseconds).
            deadline = time.monotonic() + 2
            while True:
                client = socket.create_connection(("127.0.0.1", port), timeout=5)
                client.sendall(b"\rvers\r")
                start = time.monotonic()
                reply = read_until(lambda: client.recv(64) or b"<closed>", VERS_REPLY, timeout=5)
                if not reply.startswith(b"<closed>") or time.monotonic() > deadline:
                    break
                client.close()
            self.assertTrue(reply.endswith(VERS_REPLY), reply[-200:])
            self.assertLess(time.monotonic() - start, 3.0)
            client.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)


class ControlHost(unittest.TestCase):
    """The control console beside a host program on the host port."""

    def test_console_on_tcp_beside_a_host_on_a_pty(self):
        link = pty_link(self)
        sim = Simulator("--com0", f"pty:{link}", "--power-on-now", "--control", "tcp:0",
                        "--realtime")
        try:
            sim.announcement(r"com0 on /dev/pts/\d+")
            port = int(sim.announcement(r"control on tcp 127\.0\.0\.1:(\d+)").group(1))
            console = socket.create_connection(("127.0.0.1", port), timeout=5)
            answers = console.makefile("rb")

            def say(line):
                console.sendall(line.encode() + b"\n")
                return answers.readline().decode()

            self.assertEqual(say("touch 399 239"), "ok\n")
            self.assertEqual(say("move 400 240"), "ok\n")
            # A drag is answered when its virtual time has passed: in real time, that long.
            start = time.monotonic()
            self.assertEqual(say("drag 600 240 300"), "ok\n")
            self.assertGreater(time.monotonic() - start, 0.25)
            self.assertEqual(say("release"), "ok\n")
            self.assertEqual(say("tap 10 10 20 300"), "ok\n")
            self.assertEqual(say("panel noise=2 seed=5 temp=40"), "ok\n")
            self.assertEqual(say("touch 900 10"), "error: 900,10 is off the 800x480 panel\n")
            self.assertEqual(say("move 1 1"), "error: no finger is on the panel (touch first)\n")
            self.assertEqual(say("touch 1 x"), "error: 'x' is not a screen y position\n")
            self.assertEqual(say("flap"), "error: unknown command 'flap'\n")
            self.assertTrue(say("panel wobble=1").startswith(
                "error: unknown panel setting 'wobble=1' (corners="))
            # The host port works all along.
            host = serial.Serial(link, 115200, timeout=0.2)
            self.assertTrue(read_until(lambda: host.read(64), b">\r").endswith(b">\r"))
            host.write(b"vers\r")
            self.assertEqual(read_until(lambda: host.read(64), b">\r"), VERS_REPLY)
            self.assertEqual(say("power-cycle"), "ok\n")
            host.close()
            answers.close()
            console.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)

    def test_console_on_a_pty(self):
        link = pty_link(self)
        sim = Simulator("--com0", "none", "--control", f"pty:{link}", "--fast")
        try:
            sim.announcement(r"control on /dev/pts/\d+ linked from")
            console = serial.Serial(link, 115200, timeout=5)
            console.write(b"touch 5 5\ntap 5 6 10\nsd remove\nreset\nwait 5\nsend \"x\"\n")
            answers = [console.readline() for _ in range(6)]
            self.assertEqual(answers[:5], [b"ok\n"] * 5)
            self.assertTrue(answers[5].startswith(b"error: 'send' is for scripts"), answers[5])
            console.close()
        finally:
            code = sim.stop()
        self.assertEqual(code, 0)

    def test_console_on_stdio_ends_with_its_input(self):
        state = tempfile.TemporaryDirectory(prefix="voxa-sim-state-")
        self.addCleanup(state.cleanup)
        done = subprocess.run(
            [VOXA_SIM, "--state", state.name, "--fast", "--com0", "none", "--control", "stdio"],
            input=b"touch 10 10 300\ndrag 20 20 5\nrelease\ntouch -1 0\n",
            capture_output=True, timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout,
                         b"ok\nok\nok\nerror: '-1' is not a screen x position\n")
        # The terminal is the console's: the host port must go elsewhere.
        refused = subprocess.run([VOXA_SIM, "--state", state.name, "--control", "stdio"],
                                 capture_output=True, timeout=60)
        self.assertEqual(refused.returncode, 2)
        self.assertIn(b"--control stdio needs the terminal", refused.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
