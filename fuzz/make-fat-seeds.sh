#!/usr/bin/env bash
# Seed images for fat_image_fuzz: small FAT12, FAT16 and FAT32 volumes made by mkfs.fat and
# filled by mtools, cut down to the part that holds their metadata and a little data (the
# fuzzer's card reads as zeros after its input).
set -euo pipefail
out=${1:?usage: make-fat-seeds.sh OUTPUT_DIR}
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export MTOOLS_SKIP_CHECK=1
printf 'hello\n' > "$tmp/small"
head -c 5000 /dev/urandom > "$tmp/big"

fill() {
  mmd -i "$1" ::/DIR
  mcopy -i "$1" "$tmp/small" ::/A.TXT
  mcopy -i "$1" "$tmp/big" ::/DIR/B.BIN
  mcopy -i "$1" "$tmp/small" "::/DIR/A long name.txt"
}

mkfs.fat -C --invariant -F 12 "$tmp/fat12.img" 64 >/dev/null
fill "$tmp/fat12.img"
cp "$tmp/fat12.img" "$out/fat12.img"

mkfs.fat -C --invariant -F 16 -s 1 -r 32 -f 1 "$tmp/fat16.img" 2100 >/dev/null
fill "$tmp/fat16.img"
head -c $((64 * 1024)) "$tmp/fat16.img" > "$out/fat16.img"

mkfs.fat -C --invariant -F 32 -s 1 -f 1 "$tmp/fat32.img" 33300 >/dev/null
fill "$tmp/fat32.img"
head -c $((320 * 1024)) "$tmp/fat32.img" > "$out/fat32.img"
ls -l "$out"
