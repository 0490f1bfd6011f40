#!/usr/bin/env bash
# Counts the instructions of one decode of an 800x480 quality-85 4:2:0 photo-like JPEG, baseline
# and progressive, by our decoder (drawing into the frame buffer) and by libjpeg-turbo's plain C
# path (JSIMD_FORCENONE=1: integer IDCT, chroma replicated, RGB565 out), under callgrind
# (bench/jpeg_decode_driver.cpp). The goal: ours below libjpeg-turbo for both kinds.
# Usage: scripts/callgrind-jpeg.sh
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/callgrind-driver.sh
callgrind_driver callgrind-jpeg voxa_jpeg_decode

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
JSIMD_FORCENONE=1 valgrind --tool=callgrind --collect-atstart=no \
  --callgrind-out-file="$out/cg.%p" "$driver" >"$out/sizes" 2>"$out/valgrind.log" || {
  cat "$out/valgrind.log" >&2
  exit 1
}

python3 - "$out" <<'PY'
import glob, os, re, sys

out = sys.argv[1]
counts = {}
for path in glob.glob(os.path.join(out, "cg.*")):
    with open(path) as f:
        text = f.read()
    m = re.search(r"^desc: Trigger: Client Request: (\S+)", text, re.M)
    s = re.search(r"^summary: (\d+)", text, re.M) or re.search(r"^totals: (\d+)", text, re.M)
    if m and s:
        counts[m.group(1)] = int(s.group(1))
sizes = dict(line.split("\t") for line in open(os.path.join(out, "sizes")).read().split("\n") if line)
print("instructions of one 800x480 decode to RGB565 (callgrind)")
print(f"{'kind':<12} {'bytes':>7} {'ours':>12} {'libjpeg-turbo C':>16} {'ratio':>6}")
met = True
for kind in ("baseline", "progressive"):
    ours, theirs = counts.get("ours-" + kind), counts.get("libjpeg-" + kind)
    if ours is None or theirs is None:
        print(f"{kind}: no counts")
        met = False
        continue
    met = met and ours < theirs
    print(f"{kind:<12} {sizes.get(kind, '?'):>7} {ours:>12,} {theirs:>16,} {ours / theirs:>6.2f}")
print("goal: fewer instructions than libjpeg-turbo's plain C path: " + ("met" if met else "NOT met"))
PY
