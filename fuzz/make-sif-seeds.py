#!/usr/bin/env python3
"""Seeds for sif_font_fuzz: a few valid run-time fonts (docs/sif-font-format.md) of each depth,
with several ranges and holes, each behind the fuzzer's three bytes of drawing options."""
import os
import random
import struct
import sys


def font(bpp, ranges, line=12, base=10, cap=7, seed=1):
    rng = random.Random(seed)
    header_size = 20
    data = bytearray(header_size + 8 * len(ranges))
    tables = []
    for first, last in ranges:
        tables.append(len(data))
        data += bytes(8 * (last - first + 1))
    for (first, last), table in zip(ranges, tables):
        for i in range(last - first + 1):
            record = table + 8 * i
            if rng.random() < 0.15:
                continue  # a hole: advance 0
            width, height = rng.randint(0, 6), rng.randint(0, line)
            if width == 0 or height == 0:
                width = height = 0
            x, y = rng.randint(0, 2), rng.randint(0, line - height)
            advance = x + width + rng.randint(1, 3)
            rows = len(data)
            data += bytes(rng.randrange(256) for _ in range(height * ((width * bpp + 7) // 8)))
            data[record:record + 8] = struct.pack("<BBBBB", advance, x, y, width, height) + \
                rows.to_bytes(3, "little")
    for r, ((first, last), table) in enumerate(zip(ranges, tables)):
        struct.pack_into("<HHI", data, header_size + 8 * r, first, last, table)
    struct.pack_into("<4sBBHHHHHI", data, 0, b"GUIP", 1, bpp, line, base, cap, len(ranges), 0,
                     len(data))
    return bytes(data)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else sys.exit("usage: make-sif-seeds.py OUTPUT_DIR")
    os.makedirs(out, exist_ok=True)
    kinds = {1: 0, 2: 1, 4: 2}
    n = 0
    for bpp in (1, 2, 4):
        for ranges in ([(0x41, 0x43)], [(0x20, 0x7E)], [(0x30, 0x39), (0xE9, 0xE9), (0x20AC, 0x20AC)]):
            for mode in range(5):
                prefix = bytes([kinds[bpp] | (mode << 2), (mode * 5 + n) & 0x3F, n & 3])
                with open(os.path.join(out, f"font{n:02d}"), "wb") as f:
                    f.write(prefix + font(bpp, ranges, seed=n))
                n += 1


if __name__ == "__main__":
    main()
