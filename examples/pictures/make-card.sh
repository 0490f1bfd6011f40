#!/bin/sh
# Makes a card folder with the example's pictures: one scene drawn here, stored the ways a user
# brings pictures to the module (a 24-bit BMP, a 256-colour GIF whose sky is transparent, a
# baseline and a progressive JPEG). Usage: make-card.sh CARD_DIR
set -eu
card=${1:?usage: make-card.sh CARD_DIR}
mkdir -p "$card"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# A landscape: sky gradient, a sun, two rows of hills, a lake with ripples.
python3 - "$tmp/scene.ppm" "$tmp/cut.ppm" <<'PY'
import math, sys
w, h = 380, 220
rows = []
for y in range(h):
    row = bytearray()
    for x in range(w):
        t = y / h
        r, g, b = int(40 + 120 * t), int(90 + 110 * t), int(200 - 40 * t)
        if (x - 290) ** 2 + (y - 60) ** 2 < 30 ** 2:
            r, g, b = 255, 215, 60
        hill1 = 130 + 25 * math.sin(x / 37.0)
        hill2 = 155 + 18 * math.sin(x / 23.0 + 1.3)
        if y > hill1:
            r, g, b = 70, 140 - int((y - hill1) / 2), 60
        if y > hill2:
            r, g, b = 40, 110 - int((y - hill2) / 3), 45
        if y > 180:
            ripple = 12 * math.sin(x / 6.0 + y / 2.0)
            r, g, b = 30, int(80 + ripple), int(160 + ripple)
        row += bytes((max(0, min(255, r)), max(0, min(255, g)), max(0, min(255, b))))
    rows.append(bytes(row))
with open(sys.argv[1], "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h))
    f.write(b"".join(rows))
# The same with the top of the sky (not the sun) in magenta, which the GIF makes transparent.
with open(sys.argv[2], "wb") as f:
    f.write(b"P6\n%d %d\n255\n" % (w, h))
    for y, row in enumerate(rows):
        row = bytearray(row)
        for x in range(w):
            if y < 60 and row[3 * x] != 255:
                row[3 * x:3 * x + 3] = b"\xff\x00\xff"
        f.write(bytes(row))
PY

convert "$tmp/scene.ppm" BMP3:"$card/SCENE.BMP"
convert "$tmp/cut.ppm" -transparent magenta -colors 256 "$card/SCENE.GIF"
cjpeg -quality 85 -sample 2x2 "$tmp/scene.ppm" > "$card/SCENE.JPG"
cjpeg -quality 85 -progressive "$tmp/scene.ppm" > "$card/PROGRESS.JPG"
