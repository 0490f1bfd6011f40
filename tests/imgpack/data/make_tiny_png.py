#!/usr/bin/env python3
# Writes tiny.png, the 3x2 RGBA picture of the imgpack CLI test: red, green, see-through black;
# blue, white, grey with alpha 0x40. Usage: make_tiny_png.py OUT.png
import struct
import sys
import zlib

rows = [bytes([0xFF, 0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0]),
        bytes([0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x80, 0x80, 0x40])]


def chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data +
            struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF))


raw = b''.join(b'\0' + r for r in rows)
png = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 3, 2, 8, 6, 0, 0, 0)) +
       chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
with open(sys.argv[1], 'wb') as f:
    f.write(png)
