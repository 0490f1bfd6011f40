#!/bin/sh
# `make install` as a user runs it: the installed voxa-sim, found on the PATH, finds the firmware
# it runs and answers a piped line. Usage: install_test.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/imgpack" || { echo "imgpack is not installed beside voxa-sim"; exit 1; }
test ! -e "$prefix/bin/voxa-fw-wvga" || { echo "firmware executables belong off the PATH"; exit 1; }
out=$(printf 'vers\n' | PATH="$prefix/bin:$PATH" voxa-sim --fast --panel vga --state "$prefix/state")
expected=$(printf ':No .BIN file in flash or on SD card\n>\nVOXA5-PLUS V1.4.0 VGA \n>')
if [ "$out" != "$expected" ]; then
    echo "installed voxa-sim answered:"
    printf '%s\n' "$out"
    exit 1
fi
