#!/usr/bin/env bash
# Builds the default preset (which has the benchmarks on) and runs every benchmark executable,
# printing its results, then counts the line pipeline's instructions under callgrind (a few
# seconds) and those of one JPEG decode of each kind against libjpeg-turbo. Extra arguments go
# to each benchmark (for example --benchmark_filter=last_row or --benchmark_repetitions=5).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default -j 2

shopt -s nullglob
benches=(build/default/bin/*_bench)
if [ ${#benches[@]} -eq 0 ]; then
  echo "run-benchmarks: no benchmark executables built" >&2
  exit 1
fi
for bench in "${benches[@]}"; do
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
echo "== callgrind: line pipeline"
scripts/callgrind-line-pipeline.sh
echo "== callgrind: JPEG decoding"
scripts/callgrind-jpeg.sh
