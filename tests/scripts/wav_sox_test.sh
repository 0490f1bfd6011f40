#!/bin/sh
# A "beep 500" recorded by voxa-sim's `wav` and `--wav`, read by sox: the header's rate and
# length, the pitch of the beep, its length once the silence around it is cut, and that silence.
# Usage: wav_sox_test.sh VOXA_SIM WORK_DIR
set -eu
sim=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cat > "$work/beep.vsim" <<'SCRIPT'
expect-timeout 5000
wait-for ">\r"
wait 500
send "beep 500\r"
expect ">\r"
wait 1000
wav script.wav
SCRIPT
"$sim" --fast --no-sd --state "$work/state" --script "$work/beep.vsim" --log "$work/run.log" \
    --run-for 250 --wav "$work/exit.wav"

fail() {
    echo "wav_sox_test: $*"
    exit 1
}
# The beep's edges as the log shows them, in seconds.
on=$(awk '$2 == "----" && $3 == "sound" && $4 == "on" { print $1; exit }' "$work/run.log")
off=$(awk '$2 == "----" && $3 == "sound" && $4 == "off" && $1 > 0 { t = $1 } END { print t }' "$work/run.log")
[ -n "$on" ] && [ -n "$off" ] || fail "no beep in the log"
grep -q "sound on 2600.1 Hz, volume 80/102, beeper" "$work/run.log" || fail "log: $(grep sound "$work/run.log")"

within() {  # value low high
    awk -v v="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(v >= lo && v <= hi) }'
}
stat_of() {  # file field [trim args...]
    f=$1
    field=$2
    shift 2
    sox "$f" -n trim "$@" stat 2>&1 | awk -F: -v k="$field" '$1 == k { gsub(/ /, "", $2); print $2 }'
}

for wav in "$work/script.wav" "$work/exit.wav"; do
    [ "$(soxi -r "$wav")" = 48000 ] || fail "$wav: rate $(soxi -r "$wav")"
    [ "$(soxi -c "$wav")" = 1 ] || fail "$wav: channels $(soxi -c "$wav")"
    [ "$(soxi -b "$wav")" = 16 ] || fail "$wav: bits $(soxi -b "$wav")"
    length=$(soxi -D "$wav")
    # The script's file ends 1 s after the beep's prompt, the exit's 250 ms later.
    extra=$([ "$wav" = "$work/script.wav" ] && echo 1.0 || echo 1.25)
    lo=$(awk -v a="$off" -v b="$extra" 'BEGIN { print a - 0.5 + b }')
    hi=$(awk -v a="$on" -v b="$extra" 'BEGIN { print a + 0.51 + b }')
    within "$length" "$lo" "$hi" || fail "$wav: $length s long, the log says $on to $off"

    freq=$(stat_of "$wav" "Rough   frequency" 0)
    within "$freq" 2550 2650 || fail "$wav: rough frequency $freq over the whole file"
    freq=$(stat_of "$wav" "Rough   frequency" "$(awk -v t="$on" 'BEGIN { print t + 0.05 }')" 0.4)
    within "$freq" 2550 2650 || fail "$wav: rough frequency $freq inside the beep"
    before=$(stat_of "$wav" "Maximum amplitude" 0 "$(awk -v t="$on" 'BEGIN { print t - 0.001 }')")
    after=$(stat_of "$wav" "Maximum amplitude" "$(awk -v t="$off" 'BEGIN { print t + 0.001 }')")
    within "$before" 0 0 || fail "$wav: amplitude $before before the beep"
    within "$after" 0 0 || fail "$wav: amplitude $after after the beep"

    # The sound itself: the file with the silence before and after it cut away.
    sox "$wav" "$work/cut.wav" silence 1 1s 0.1% reverse silence 1 1s 0.1% reverse
    cut=$(soxi -D "$work/cut.wav")
    within "$cut" 0.498 0.501 || fail "$wav: the beep lasts $cut s"
done
echo "wav_sox_test: beep from $on to $off s, 2600 Hz"
