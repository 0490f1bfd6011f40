#!/usr/bin/env python3
"""Downloads a file into a VOXA5-PLUS module's flash window with "bdld", under XON/XOFF.

    bdld_download.py PORT FILE [--offset HEX] [--baud RATE] [--timeout MS] [--erase]

PORT is the module's host port (a serial device, or the PTY voxa-sim prints for --com0 pty:...).
FILE is usually a bitmap/macro file that imgpack built for the window (imgpack build ...
--for-flash2), downloaded at offset 0. The flash range must read erased: --erase erases
the 128 KB sectors it covers first ("xmc FEEC n", skipped by the module when already erased).
With --baud the module's host port is switched to that rate first (not saved). After the
download the script asks the module for the check value of the range ("*CEXT") and compares it
with its own. Exit status 0 when the module took the file and the check values agree.

Needs pyserial (Debian: python3-serial).
"""

import argparse
import sys
import time

import serial


def _crc_table():
    table = []
    for byte in range(256):
        crc = byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
        table.append(crc)
    return table


_CRC_TABLE = _crc_table()


def modbus_crc(data):
    """CRC-16/MODBUS, the check value the module's "*CEXT" replies."""
    crc = 0xFFFF
    for byte in data:
        crc = (crc >> 8) ^ _CRC_TABLE[(crc ^ byte) & 0xFF]
    return crc


def read_reply(port, timeout):
    """Reads until a prompt (">", "!", "#" or "^" followed by CR) ends the reply."""
    data = b""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        data += port.read(max(1, port.in_waiting))
        if len(data) >= 2 and data[-1:] == b"\r" and data[-2:-1] in (b">", b"!", b"#", b"^"):
            return data
    raise TimeoutError(f"no prompt from the module (got {data!r})")


def command(port, line, timeout=5):
    port.write(line.encode() + b"\r")
    return read_reply(port, timeout)


def download(port, data, offset=0, timeout_ms=5000):
    """Sends data with "bdld"; returns the module's final prompt (b">\\r" on success)."""
    go_ahead = command(port, f"bdld 4 {offset:x} {len(data)} {timeout_ms}")
    if go_ahead != b">\r":
        raise RuntimeError(f"the module refused the download: {go_ahead!r}")
    # pyserial's software flow control lets the kernel hold the bytes back while the module has
    # sent XOFF; write() returns once they are queued.
    port.write(data)
    port.flush()
    # Programming and the flow-control pauses take a while on long files.
    return read_reply(port, 60 + len(data) / 10000)


def erase(port, offset, length):
    """Erases the sectors that hold offset .. offset + length - 1."""
    sector = 0x20000
    for n in range(offset // sector, (offset + length - 1) // sector + 1):
        reply = command(port, f"xmc FEEC {n}", timeout=10)
        if not reply.endswith(b">\r"):
            raise RuntimeError(f"erasing sector {n} failed: {reply!r}")


def check_value(port, offset, length):
    reply = command(port, f"*CEXT {offset:x} {offset + length - 1:x}", timeout=60)
    if not reply.startswith(b"0x"):
        raise RuntimeError(f"no check value: {reply!r}")
    return int(reply.split(b"\r")[0], 16)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("port")
    parser.add_argument("file")
    parser.add_argument("--offset", default="0", help="flash window offset, hexadecimal")
    parser.add_argument("--baud", type=int, help="switch the host port to this rate first")
    parser.add_argument("--timeout", type=int, default=5000, help="module's inactivity timeout, ms")
    parser.add_argument("--erase", action="store_true", help="erase the range's sectors first")
    args = parser.parse_args(argv)
    offset = int(args.offset, 16)
    with open(args.file, "rb") as f:
        data = f.read()
    if not data:
        print("nothing to download", file=sys.stderr)
        return 1

    port = serial.Serial(args.port, 115200, timeout=0.1, xonxoff=True)
    try:
        if args.baud:
            # The prompt of "baud" already comes at the new rate.
            port.write(f"baud {args.baud}\r".encode())
            port.flush()
            port.baudrate = args.baud
            read_reply(port, 5)
        if args.erase:
            erase(port, offset, len(data))
        end = download(port, data, offset, args.timeout)
        if end != b">\r":
            print(f"download failed: {end!r}", file=sys.stderr)
            return 1
        module_crc = check_value(port, offset, len(data))
        own_crc = modbus_crc(data)
        print(f"downloaded {len(data)} bytes at 0x{offset:X}; check value 0x{module_crc:04X}"
              f" (file 0x{own_crc:04X})")
        return 0 if module_crc == own_crc else 1
    finally:
        port.close()


if __name__ == "__main__":
    sys.exit(main())
