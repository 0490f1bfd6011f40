#!/usr/bin/env python3
"""Draws the pictures of the controls example (button faces, a slider track and knob, a meter
dial) as PNG files in this folder. Plain Python: no imaging library needed.

    python3 examples/controls/make-pictures.py
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_png(name, width, height, pixel):
    """pixel(x, y) -> (r, g, b); an 8-bit RGB PNG."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows.extend(bytes(pixel(x, y)))

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(rows), 9))
    png += chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(png)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def face(name, width, height, top, bottom, pressed):
    """A key face: a vertical gradient with a bevel, light top-left when raised."""
    light, dark = (240, 240, 240), (60, 60, 60)
    if pressed:
        light, dark = dark, light

    def px(x, y):
        if x < 3 or y < 3:
            if x >= width - 3 - (2 - min(y, 2)) or y >= height - 3 - (2 - min(x, 2)):
                return dark if x + y > 3 else light
            return light
        if x >= width - 3 or y >= height - 3:
            return dark
        return mix(top, bottom, y / (height - 1))

    write_png(name, width, height, px)


def track(name, width, height):
    """A vertical slider track: a dark groove on a panel, ticks every 10 % of the travel."""
    def px(x, y):
        centre = width // 2
        if abs(x - centre) <= 2 and 10 <= y < height - 10:
            return (30, 30, 30)
        if (x < 8 or x >= width - 8) and (y - 10) % ((height - 20) // 10) == 0 and 10 <= y < height - 9:
            return (30, 30, 30)
        return (200, 204, 210)

    write_png(name, width, height, px)


def knob(name, width, height):
    """The slider's thumb: a silver block with a red line across its middle."""
    def px(x, y):
        if y == height // 2 or y == (height - 1) // 2:
            return (220, 0, 0)
        if x == 0 or y == 0:
            return (250, 250, 250)
        if x == width - 1 or y == height - 1:
            return (70, 70, 70)
        return mix((215, 215, 220), (150, 150, 160), y / (height - 1))

    write_png(name, width, height, px)


def dial(name, size, start_deg, sweep_deg, ticks):
    """A round dial: white face, black rim, ticks from start_deg going clockwise on the screen
    over sweep_deg (angles counter-clockwise from the right, as in mathematics)."""
    c = (size - 1) / 2
    outer = size / 2 - 1

    def px(x, y):
        dx, dy = x - c, c - y
        r = math.hypot(dx, dy)
        if r > outer:
            return (255, 255, 255)
        if r > outer - 4:
            return (0, 0, 0)
        if outer - 22 < r < outer - 8:
            a = math.degrees(math.atan2(dy, dx)) % 360
            for k in range(ticks + 1):
                t = (start_deg - sweep_deg * k / ticks) % 360
                d = min(abs(a - t), 360 - abs(a - t))
                width = 1.6 if k % 2 == 0 else 0.9
                if d * math.pi / 180 * r < width:
                    return (0, 0, 0)
        if r < 6:
            return (0, 0, 0)
        return (255, 255, 255)

    write_png(name, size, size, px)


if __name__ == "__main__":
    face("key_up.png", 140, 60, (120, 170, 230), (40, 90, 170), False)
    face("key_down.png", 140, 60, (40, 90, 170), (20, 50, 110), True)
    face("switch_off.png", 140, 60, (200, 200, 200), (140, 140, 140), False)
    face("switch_on.png", 140, 60, (110, 220, 110), (30, 140, 30), True)
    track("track.png", 40, 240)
    knob("knob.png", 40, 20)
    dial("dial.png", 221, 225, 270, 10)
