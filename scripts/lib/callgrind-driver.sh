# Sourced by the callgrind scripts: checks that valgrind is there and builds the driver program
# they measure. Usage: callgrind_driver SCRIPT-NAME TARGET; sets driver to the program's path.
callgrind_driver() {
  local name=$1 target=$2
  driver=build/default/bin/$target
  if ! command -v valgrind >/dev/null 2>&1; then
    echo "$name: valgrind is not installed (scripts/install-deps.sh)" >&2
    exit 1
  fi
  cmake --preset default >/dev/null
  cmake --build --preset default -j 2 --target "$target" >/dev/null
  if [ ! -x "$driver" ]; then
    echo "$name: $driver was not built (valgrind/callgrind.h missing?)" >&2
    exit 1
  fi
}
