#!/usr/bin/env bash
# Boots the firmware image in QEMU's versatilepb machine, with the host port (com0) on a
# pseudo-terminal or a TCP socket, an SD card image, and a monitor on a UNIX socket for screen
# dumps. Talk to it as to voxa-sim: socat, pyserial, a terminal program.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  cat <<'USAGE'
usage: scripts/qemu-run.sh [--panel wvga|svga|vga] [--serial pty|tcp:PORT] [--card IMG]
                           [--images DIR]

  --panel P        panel build to boot (default wvga)
  --serial S       host port (com0): pty (default; QEMU prints the /dev/pts path) or
                   tcp:PORT (raw TCP on 127.0.0.1:PORT; QEMU waits for the first client)
  --card IMG       FAT image file as the SD card; its size must be a power of two (QEMU's
                   rule). Default: an empty 64 MB FAT16 card in a temporary folder
  --images DIR     folder of the images (default build/arm/images/qemu-versatilepb)

The monitor's socket path is printed; e.g. a screen dump:
  echo "screendump shot.ppm" | socat - UNIX-CONNECT:<path>
Ctrl-C (or the monitor's "quit") ends the run; the temporary folder is removed.
USAGE
}

panel=wvga
serial=pty
card=
images=build/arm/images/qemu-versatilepb
while [ $# -gt 0 ]; do
  case "$1" in
    --panel) panel=${2:?}; shift 2 ;;
    --serial) serial=${2:?}; shift 2 ;;
    --card) card=${2:?}; shift 2 ;;
    --images) images=${2:?}; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

case "$panel" in wvga|svga|vga) ;; *) echo "qemu-run: unknown panel $panel" >&2; exit 2 ;; esac
case "$serial" in
  pty) serial_spec=pty ;;
  tcp:[0-9]*) serial_spec="tcp:127.0.0.1:${serial#tcp:},server=on,wait=on" ;;
  *) echo "qemu-run: --serial takes pty or tcp:PORT" >&2; exit 2 ;;
esac

elf=$images/voxa-$panel.elf
if [ ! -f "$elf" ]; then
  echo "qemu-run: $elf not found: build it with cmake --build --preset arm" >&2
  exit 2
fi
command -v qemu-system-arm >/dev/null || { echo "qemu-run: qemu-system-arm not installed" >&2; exit 2; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/voxa-qemu.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
if [ -z "$card" ]; then
  card=$tmp/card.img
  truncate -s 64M "$card"
  mkfs.fat -F 16 -n VOXA "$card" >/dev/null
elif [ ! -f "$card" ]; then
  echo "qemu-run: card image $card not found" >&2
  exit 2
fi

monitor=$tmp/monitor.sock
echo "qemu-run: $elf, card $card"
echo "qemu-run: monitor on $monitor"
# The Versatile board's sound chip (the firmware does not use it) plays nowhere.
qemu-system-arm -M versatilepb -m 256 -kernel "$elf" \
  -display none -nic none -audiodev none,id=silent -global pl041.audiodev=silent \
  -serial "$serial_spec" -serial null \
  -drive "if=sd,format=raw,file=$card" \
  -monitor "unix:$monitor,server=on,wait=off"
