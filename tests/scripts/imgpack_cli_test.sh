#!/bin/sh
# The imgpack program as a user runs it: builds the example, lists it, and answers bad input and
# bad usage with its messages and exit codes; the documentation shows the example as it is.
# Then a manifest with bitmaps of a tiny PNG (tests/imgpack/data/tiny.png) and fonts from a
# TrueType file, taken apart by extract and built again.
# Usage: imgpack_cli_test.sh IMGPACK EXAMPLE.txt DOC.md TINY.png FONT.ttf
set -u
imgpack=$1
example=$2
doc=$3
tiny=$4
font=$5
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0

fail() {
    echo "FAILED: $*"
    failed=1
}

# expect CODE COMMAND...: runs the command with stdout in $dir/out and stderr in $dir/err.
expect() {
    want=$1
    shift
    "$@" >"$dir/out" 2>"$dir/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "$* exited $got, expected $want; stderr: $(cat "$dir/err")"
}

has() {
    grep -qF -- "$2" "$1" || { fail "$1 lacks: $2"; sed 's/^/  | /' "$1"; }
}

expect 0 "$imgpack" build "$example" -o "$dir/panel.bin"
[ -s "$dir/err" ] && fail "build wrote to stderr: $(cat "$dir/err")"
expect 0 "$imgpack" list "$dir/panel.bin"
has "$dir/out" "header: magic 0xFEEC, 1 record, size $(wc -c <"$dir/panel.bin" | tr -d ' ')"
has "$dir/out" "  00: type 3 @ 000014 size 3"
has "$dir/out" "    Macro Definitions"
has "$dir/out" "macros: 3, with names"
has "$dir/out" "  #1 power_on: 13 lines @ "
has "$dir/out" "    'xm 130 buttons:x130 buttons:r130'"
has "$dir/out" "  #2 buttons: 13 lines @ "
has "$dir/out" "    ':default'"
has "$dir/out" "  #3 blink: 5 lines @ "
grep -q damaged "$dir/out" && fail "the example is listed as damaged"

expect 0 "$imgpack" build --flash2-locations "$example" -o "$dir/flash.bin"
expect 0 "$imgpack" list "$dir/flash.bin"
has "$dir/out" "  00: type 3 @ c8400014 size 3"
[ "$(wc -c <"$dir/flash.bin")" -eq "$(wc -c <"$dir/panel.bin")" ] ||
    fail "flash locations changed the file's size"

expect 0 "$imgpack" build --no-names "$example" -o "$dir/nonames.bin"
expect 0 "$imgpack" list "$dir/nonames.bin"
has "$dir/out" "macros: 3, no meta table (no call by name)"

# Input errors: exit 1 and "imgpack: FILE:LINE: message".
printf '# two\n\nmacro 1 a\n  z\nmacro 2 b\nend\n' >"$dir/bad.txt"
expect 1 "$imgpack" build "$dir/bad.txt" -o "$dir/bad.bin"
has "$dir/err" "imgpack: $dir/bad.txt:3: macro 1 has no \"end\" (the next macro starts at line 5)"
[ -e "$dir/bad.bin" ] && fail "a failed build left an output file"
expect 1 "$imgpack" build "$dir/missing.txt" -o "$dir/x.bin"
has "$dir/err" "imgpack: $dir/missing.txt: cannot read the file"
expect 1 "$imgpack" list "$dir"
has "$dir/err" "imgpack: $dir: cannot read the file"
head -c 40 "$dir/panel.bin" >"$dir/cut.bin"
expect 1 "$imgpack" list "$dir/cut.bin"
has "$dir/out" "damaged: the header's size"
has "$dir/err" "imgpack: $dir/cut.bin: the file is damaged"

# Usage: exit 2.
expect 2 "$imgpack"
expect 2 "$imgpack" build "$example"
expect 2 "$imgpack" build -o "$dir/x.bin"
expect 2 "$imgpack" build "$example" -o "$dir/x.bin" --shiny
expect 2 "$imgpack" list
expect 2 "$imgpack" pack "$example"
has "$dir/err" "usage: imgpack build"
expect 0 "$imgpack" build --help
has "$dir/out" "--flash2-locations"
has "$dir/out" "--for-flash2"
has "$dir/out" "imgpack extract FILE.BIN DIR"
expect 0 "$imgpack" --help
has "$dir/out" "imgpack list FILE.BIN"

# The documentation's complete example is the example file, and its listing what list prints.
awk '/^## A complete example/ { on = 1 } on && /^```/ { n++; next } on && n == 1' "$doc" \
    >"$dir/doc-example.txt"
cmp -s "$dir/doc-example.txt" "$example" || fail "$doc shows another example than $example"
"$imgpack" list "$dir/panel.bin" | head -n 9 >"$dir/list-head.txt"
awk '/^`imgpack list` of the built file begins/ { on = 1 } on && /^```/ { n++; next } on && n == 1' \
    "$doc" >"$dir/doc-list.txt"
cmp -s "$dir/doc-list.txt" "$dir/list-head.txt" ||
    { fail "$doc shows another listing:"; cat "$dir/list-head.txt"; }

# A manifest: the example's macros, a blank and the tiny picture three ways, files relative to
# the manifest's folder. Its pixels: F800 07E0 0000 / 001F FFFF 8410; with "alpha" the
# see-through black and the grey of alpha 0x40 take magenta, F81F, which no opaque pixel uses.
mkdir -p "$dir/m/art"
cp "$tiny" "$dir/m/art/tiny.png"
cp "$example" "$dir/m/panel.txt"
cat >"$dir/m/panel.manifest" <<'END'
# record 0 holds the macros; bitmaps are 2, 3 and 4
macros panel.txt
blank
bitmap art/tiny.png
bitmap art/tiny.png alpha auto
bitmap "art/tiny.png" rle
END
expect 0 "$imgpack" build "$dir/m/panel.manifest" -o "$dir/m.bin"
[ -s "$dir/err" ] && fail "build wrote to stderr: $(cat "$dir/err")"
expect 0 "$imgpack" list "$dir/m.bin"
has "$dir/out" "Records: 5"
has "$dir/out" "    Macro Definitions"
has "$dir/out" "  #3 blink: 5 lines @ "
has "$dir/out" "  01: type 0 @ 000014 size 0"
has "$dir/out" "    Blank Record"
has "$dir/out" "    Uncompressed Bitmap: 3x2"
has "$dir/out" "    3x2 16bpp (6 Bpl)"
has "$dir/out" "    gPal     @ 000000"
grep -A 10 'Uncompressed Bitmap: 3x2' "$dir/out" | tr -d '\n' |
    grep -qF '      0: 0x00      1: 0xF8      2: 0xE0      3: 0x07      4: 0x00      5: 0x00' ||
    fail "the plain bitmap's first pixels are not F800 07E0 0000"
has "$dir/out" "    Uncompressed Transparent Bitmap: 3x2 (0xF81F)"
has "$dir/out" "    Compressed Bitmap: 3x2"
has "$dir/out" "  04: type 2 @ "
grep -q damaged "$dir/out" && fail "the manifest's file is listed as damaged"
expect 0 "$imgpack" build --flash2-locations "$dir/m/panel.manifest" -o "$dir/mf.bin"
expect 0 "$imgpack" list "$dir/mf.bin"
has "$dir/out" "  02: type 1 @ c84"

printf 'macros panel.txt
blank
bitmap art/tiny.png rle key 00FF00
' >"$dir/m/bad.manifest"
expect 1 "$imgpack" build "$dir/m/bad.manifest" -o "$dir/bad.bin"
has "$dir/err" "imgpack: $dir/m/bad.manifest:3: a transparent bitmap is stored uncompressed"
printf 'macros panel.txt
bitmap art/missing.png
' >"$dir/m/bad.manifest"
expect 1 "$imgpack" build "$dir/m/bad.manifest" -o "$dir/bad.bin"
has "$dir/err" "imgpack: $dir/m/bad.manifest:2: art/missing.png: cannot read the file"
[ -e "$dir/bad.bin" ] && fail "a failed build left an output file"

# --for-flash2 is the documented name of --flash2-locations.
expect 0 "$imgpack" build --for-flash2 "$dir/m/panel.manifest" -o "$dir/mf2.bin"
cmp -s "$dir/mf.bin" "$dir/mf2.bin" || fail "--for-flash2 and --flash2-locations differ"

# Fonts: a name of the built-in table is built with a warning (the module never finds it).
cp "$font" "$dir/m/face.ttf"
cat >"$dir/m/fonts.manifest" <<'END'
macros panel.txt
bitmap art/tiny.png alpha
font title face.ttf 20 aa2
font m12 face.ttf 12
font small face.ttf 8 1bit mono line 14 base 11
bitmap art/tiny.png rle
END
expect 0 "$imgpack" build "$dir/m/fonts.manifest" -o "$dir/f.bin"
has "$dir/err" "imgpack: warning: $dir/m/fonts.manifest:4: font name \"m12\" is a built-in font's"
[ "$(wc -l <"$dir/err")" -eq 1 ] || fail "more than the one warning: $(cat "$dir/err")"
expect 0 "$imgpack" list "$dir/f.bin"
has "$dir/out" "  02: type 4 @ "
has "$dir/out" "    User Font"
has "$dir/out" "    font 'title', kind 2, data @ "
has "$dir/out" "    2 bpp, line "
has "$dir/out" "    font 'small', kind 0, data @ "
has "$dir/out" "    1 bpp, line 14, baseline 11, capitals 8, "
grep -q damaged "$dir/out" && fail "the font file is listed as damaged"
printf 'blank\nfont tenletters face.ttf 12\n' >"$dir/m/bad.manifest"
expect 1 "$imgpack" build "$dir/m/bad.manifest" -o "$dir/bad.bin"
has "$dir/err" "bad.manifest:2: font name \"tenletters\": 1 to 9 characters"

# extract, then build what it wrote: the same file, for offsets and window addresses alike.
expect 0 "$imgpack" extract "$dir/f.bin" "$dir/x"
[ -s "$dir/err" ] && fail "extract wrote to stderr: $(cat "$dir/err")"
for f in voxa.manifest macros.txt bitmap-01.png font-02.sif font-03.sif font-04.sif \
    bitmap-05.png; do
    [ -s "$dir/x/$f" ] || fail "extract did not write $f"
done
expect 0 "$imgpack" build "$dir/x/voxa.manifest" -o "$dir/again.bin"
cmp -s "$dir/f.bin" "$dir/again.bin" || fail "the extracted manifest builds another file"
expect 0 "$imgpack" build --for-flash2 "$dir/m/fonts.manifest" -o "$dir/ff.bin"
expect 0 "$imgpack" extract "$dir/ff.bin" "$dir/xf"
has "$dir/err" "holds flash window addresses: build it again with --for-flash2"
expect 0 "$imgpack" build --for-flash2 "$dir/xf/voxa.manifest" -o "$dir/again.bin"
cmp -s "$dir/ff.bin" "$dir/again.bin" || fail "the extracted window file builds another file"
expect 1 "$imgpack" extract "$dir/cut.bin" "$dir/xc"
has "$dir/err" "imgpack: $dir/cut.bin: "
expect 2 "$imgpack" extract "$dir/f.bin"

# check: the module's validator on built files (both location kinds) and on damage.
expect 0 "$imgpack" check "$dir/f.bin"
has "$dir/out" "$dir/f.bin: 6 records, 0 refused"
has "$dir/out" "$dir/f.bin: SD card: yes"
has "$dir/out" "flash window (--flash2, xmp, bdld): no (built with offsets: build it with --for-flash2)"
expect 0 "$imgpack" check "$dir/ff.bin"
has "$dir/out" "flash window (--flash2, xmp, bdld): yes"
# Record 1's directory size cut to 10 bytes: shorter than a bitmap's descriptor.
cp "$dir/f.bin" "$dir/rec.bin"
printf '\012\000\000\000' | dd of="$dir/rec.bin" bs=1 seek=28 conv=notrunc 2>/dev/null
expect 1 "$imgpack" check "$dir/rec.bin"
has "$dir/out" "$dir/rec.bin: record 1 refused: "
has "$dir/out" "$dir/rec.bin: 6 records, 1 refused"
expect 1 "$imgpack" check "$dir/cut.bin"
has "$dir/out" "$dir/cut.bin: refused: "
expect 2 "$imgpack" check

exit $failed
