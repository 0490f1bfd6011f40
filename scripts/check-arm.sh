#!/usr/bin/env bash
# Cross-compiles every firmware source for the module's ARM926 with arm-none-eabi-g++, for the
# three panel builds, and checks that the libraries stay freestanding: no heap, no stdio, no
# exceptions. Prints the text/data/bss sizes. Then the bootable images of the bare-metal boards
# (build/arm/images/<board>/): their size per section and per module, and the image check (the
# image fits its flash area and holds no C library or heap symbol).
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v arm-none-eabi-g++ >/dev/null 2>&1; then
  echo "check-arm: arm-none-eabi-g++ not installed; skipping the cross-compile check"
  exit 0
fi

cmake --preset arm >/dev/null
cmake --build --preset arm

# Symbols a freestanding firmware must not pull in.
forbidden='^(malloc|calloc|realloc|free|_Znwj|_Znaj|_ZdlPv|_ZdaPv|_ZdlPvj|printf|sprintf|snprintf|vsnprintf|fprintf|puts|fputs|sscanf|fopen|__cxa_throw|__cxa_allocate_exception|__gxx_personality_v0|_Unwind_Resume|__cxa_begin_catch)$'
status=0
# The three panel libraries, and the generated font data that all three link.
for panel in wvga svga vga fonts; do
  lib=build/arm/src/libvoxa_fw_${panel}.a
  [ "$panel" = fonts ] && lib=build/arm/libvoxa_fonts.a
  bad=$(arm-none-eabi-nm -u "$lib" | awk '{print $2}' | sort -u | grep -E "$forbidden" || true)
  if [ -n "$bad" ]; then
    echo "check-arm: $lib uses forbidden symbols:" $bad >&2
    status=1
  fi
  arm-none-eabi-size -t "$lib" | tail -n 1 | awk -v p="$panel" '{printf "check-arm: %-5s text %7d  data %6d  bss %7d  (bytes)\n", p, $1, $2, $3}'
done

shopt -s nullglob
images=(build/arm/images/*/voxa-*.elf)
if [ ${#images[@]} -eq 0 ]; then
  echo "check-arm: no images were built" >&2
  status=1
fi
for elf in "${images[@]}"; do
  base=${elf%.elf}
  board=$(basename "$(dirname "$elf")")
  # The board's limit, as its build set it.
  max=$(cat "$(dirname "$elf")/max-size" 2>/dev/null || echo 0)
  echo "check-arm: $board/$(basename "$elf")"
  if ! python3 boards/arm926/image_report.py --elf "$elf" --bin "$base.bin" --map "$base.map" \
      --src src --size-tool arm-none-eabi-size --nm-tool arm-none-eabi-nm --max-size "$max"; then
    status=1
  fi
done
exit $status
