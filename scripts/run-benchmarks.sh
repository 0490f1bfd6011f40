#!/usr/bin/env bash
# Runs every benchmark program of the default build; extra arguments go to each program
# (for example --benchmark_filter=Clear).
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
for b in build/default/bin/voxa_bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" "$@" || status=1
done
exit $status
