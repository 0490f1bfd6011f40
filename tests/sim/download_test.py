"""A host program downloads a file into the flash window through voxa-sim's PTY with "bdld",
under pyserial's software flow control, using the example script. Run by ctest with VOXA_SIM
pointing at the voxa-sim executable."""

import os
import random
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "..", "examples"))

import serial  # pyserial (Debian python3-serial)

import bdld_download
from host_programs_test import Simulator, pty_link, read_until


class PtyDownload(unittest.TestCase):
    def test_a_megabyte_at_460800_baud_arrives_whole(self):
        self.assertEqual(bdld_download.modbus_crc(b"123456789"), 0x4B37)
        link = pty_link(self)
        sim = Simulator("--com0", f"pty:{link}", "--fast", "--no-sd")
        try:
            sim.announcement(r"com0 on (/dev/pts/\d+) linked from")
            time.sleep(0.3)
            port = serial.Serial(link, 115200, timeout=0.1, xonxoff=True)
            self.assertTrue(read_until(lambda: port.read(256), b">\r", 10).endswith(b">\r"))
            port.write(b"baud 460800\r")
            port.baudrate = 460800
            self.assertEqual(bdld_download.read_reply(port, 5), b">\r")
            # Every byte value, flow-control bytes and CR included, in no regular order.
            data = random.Random(14).randbytes(1 << 20)
            bdld_download.erase(port, 0x20000, len(data))
            self.assertEqual(bdld_download.download(port, data, 0x20000, 20000), b">\r")
            self.assertEqual(bdld_download.check_value(port, 0x20000, len(data)),
                             bdld_download.modbus_crc(data))
            # The module still takes lines at the new rate.
            self.assertEqual(bdld_download.command(port, "xmpmax"), b"128\r>\r")
            port.close()
        finally:
            sim.stop()


if __name__ == "__main__":
    unittest.main()
