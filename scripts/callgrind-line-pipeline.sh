#!/usr/bin/env bash
# Counts the instructions of the whole line pipeline per host line under callgrind: the bytes
# through the receive interrupt, one main-loop pass, the reply into the transmitter
# (bench/line_pipeline.h), for five typical lines. The drawing itself (calls into the graphics
# library, src/gui) and the simulated board's own work (calls into boards/sim: register models,
# the checkpoint's virtual time) are counted apart and left out of the figure the goal applies
# to; the firmware's interrupt handlers that the board runs stay in it, as they run on the module
# too. Usage: scripts/callgrind-line-pipeline.sh [LINES_PER_CASE]
set -euo pipefail
cd "$(dirname "$0")/.."

count=${1:-1000}
goal=20000
source scripts/lib/callgrind-driver.sh
callgrind_driver callgrind-line-pipeline voxa_line_pipeline

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
valgrind --tool=callgrind --collect-atstart=no --compress-strings=no --compress-pos=no \
  --callgrind-out-file="$out/cg.%p" "$driver" "$count" >"$out/replies" 2>"$out/valgrind.log" || {
  cat "$out/valgrind.log" >&2
  exit 1
}

python3 - "$out" "$count" "$goal" <<'PY'
import glob, os, re, sys

out, count, goal = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])

def kind(path):
    if "/src/gui/" in path:
        return "gui"
    if "/boards/sim/" in path:
        return "board"
    return "other"

def read_dump(path):
    """Total Ir, the drawing's and the board's own. The drawing is every call into the graphics
    library from outside it, with all it calls (a checkpoint for its pixels included). The board
    is every call from the firmware into it, less the firmware's interrupt handlers it calls in
    turn: those are the firmware's work."""
    total = 0
    into = {"gui": 0, "board": 0}
    fn_file = cur_file = callee_file = None
    pending_call = False
    with open(path) as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("summary:"):
                total = int(line.split()[1])
            elif line.startswith("fl="):
                fn_file = cur_file = line[3:]
            elif line.startswith(("fi=", "fe=")):
                cur_file = line[3:]
            elif line.startswith("fn="):
                cur_file = fn_file
                callee_file = None
            elif line.startswith(("cfi=", "cfl=")):
                callee_file = line[4:]
            elif line.startswith("cfn="):
                pass
            elif line.startswith("calls="):
                pending_call = True
            elif pending_call and line and (line[0].isdigit() or line[0] in "+-*"):
                pending_call = False
                cost = int(line.split()[1])
                target = callee_file or cur_file
                callee_file = None
                caller = kind(fn_file or "")
                callee = kind(target or "")
                if callee == "gui" and caller != "gui":
                    into["gui"] += cost
                elif callee == "board" and caller == "other":
                    into["board"] += cost
                elif caller == "board" and callee == "other":
                    into["board"] -= cost
    return total, into

replies = {}
with open(os.path.join(out, "replies")) as f:
    for row in f:
        name, _, reply = row.rstrip("\n").split("\t")
        replies[name] = reply

dumps = []
for path in glob.glob(os.path.join(out, "cg.*")):
    with open(path) as f:
        head = f.read(4096)
    m = re.search(r"^desc: Trigger: Client Request: line-(\S+)", head, re.M)
    if m:
        dumps.append((int(path.rsplit(".", 1)[1]), m.group(1), path))
dumps.sort()

print(f"instructions per line, {count} lines each (callgrind)")
print(f"{'line':<11} {'total':>8} {'drawing':>8} {'board':>8} {'pipeline':>9}  reply")
worst = 0
for _, name, path in dumps:
    total, into = read_dump(path)
    per = lambda v: v / count
    pipeline = per(total - into["gui"] - into["board"])
    worst = max(worst, pipeline)
    print(f"{name:<11} {per(total):>8.0f} {per(into['gui']):>8.0f} {per(into['board']):>8.0f} "
          f"{pipeline:>9.0f}  {replies.get(name, '?')}")
print(f"goal: under {goal} instructions per line without the drawing and the board: "
      + ("met" if worst < goal else f"NOT met (worst {worst:.0f})"))
PY
