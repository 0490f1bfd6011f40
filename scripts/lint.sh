#!/usr/bin/env bash
# clang-tidy on every firmware source with the checks of the root .clang-tidy, through the
# compile commands of the default build (configured here when missing). Exits 1 on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ ! -f build/default/compile_commands.json ]; then
  cmake --preset default >/dev/null
fi
# Generated sources (the fonts) must exist for the headers they declare to be found. The
# command chain's dispatch index is built by the compiler: clang needs a larger budget for it.
cmake --build --preset default --target voxa_fonts >/dev/null

jobs=$(nproc)
find src -name '*.cpp' -print0 | sort -z |
  xargs -0 -n 4 -P "$jobs" clang-tidy -p build/default --quiet \
    --extra-arg=-fconstexpr-steps=20000000 2>/dev/null > build/lint.log || true
if grep -q 'error:\|warning:' build/lint.log; then
  grep -A3 'error:\|warning:' build/lint.log
  echo "lint: $(grep -c 'error:\|warning:' build/lint.log) finding(s), listed above" >&2
  exit 1
fi
echo "lint: $(find src -name '*.cpp' | wc -l) firmware sources clean"
