#!/usr/bin/env bash
# A fuzz campaign: every fuzz target in turn (or the ones named) for SECONDS each, under
# AddressSanitizer and UBSan (the fuzz preset), starting from the committed corpus in
# fuzz/corpus/<target>/ and the generated seeds. New inputs are merged into the corpus, which is
# kept minimised (commit it); findings go to build/fuzz/findings/<target>/. Prints one row per
# target: executions, executions per second, corpus size before and after, findings.
#
#   scripts/fuzz-campaign.sh SECONDS [TARGET...]
#
# Exits 1 when any target found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz-campaign.sh SECONDS [TARGET...]}
shift
all_targets=(drawing_commands_fuzz text_commands_fuzz config_ini_fuzz fat_image_fuzz sif_font_fuzz
             touch_fuzz hotspot_commands_fuzz macro_image_fuzz
             macro_variables_fuzz bmp_reader_fuzz controls_fuzz bmp_decoder_fuzz gif_decoder_fuzz
             jpeg_decoder_fuzz)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}" >/dev/null

work=build/fuzz/campaign
rm -rf "$work"
mkdir -p "$work"
# Generated seeds that are not committed (images and fonts made by real tools at run time).
fuzz/make-fat-seeds.sh "$work/seeds-fat_image_fuzz" >/dev/null
python3 fuzz/make-sif-seeds.py "$work/seeds-sif_font_fuzz" >/dev/null

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

rows=()
status=0
for t in "${targets[@]}"; do
  corpus=fuzz/corpus/$t
  findings=build/fuzz/findings/$t
  new=$work/new-$t
  mkdir -p "$corpus" "$findings" "$new"
  before=$(find "$corpus" -type f | wc -l)
  seeds=()
  [ -d "$work/seeds-$t" ] && seeds=("$work/seeds-$t")
  log=$work/$t.log
  set +e
  "build/fuzz/bin/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
    -rss_limit_mb=4096 -artifact_prefix="$findings/" "$new" "$corpus" "${seeds[@]}" \
    >"$log" 2>&1
  set -e
  execs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log" | tail -n 1)
  rate=$(awk '/stat::average_exec_per_sec/ {print $2}' "$log" | tail -n 1)
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' \
            -o -name 'oom-*' \) | wc -l)
  # Keep only inputs that add coverage: the committed corpus and the new ones, minimised into a
  # fresh folder that replaces the corpus. The generated seeds are made again for every run, so
  # they stay out of it (the FAT images among them are large).
  merged=$work/merged-$t
  mkdir -p "$merged"
  "build/fuzz/bin/$t" -merge=1 -timeout=10 "$merged" "$corpus" "$new" \
    >"$work/$t.merge.log" 2>&1 || true
  if [ -n "$(ls -A "$merged")" ]; then
    rm -rf "$corpus"
    mv "$merged" "$corpus"
  fi
  after=$(find "$corpus" -type f | wc -l)
  [ "$found" -gt 0 ] && status=1
  rows+=("$(printf '| %-22s | %6s | %11s | %8s | %5s -> %-5s | %8s |' "$t" "$seconds" \
    "${execs:-?}" "${rate:-?}" "$before" "$after" "$found")")
done

echo
echo "| target                 | s      | executions  | exec/s   | corpus         | findings |"
echo "|------------------------|--------|-------------|----------|----------------|----------|"
printf '%s\n' "${rows[@]}"
[ $status -ne 0 ] && echo "findings are in build/fuzz/findings/ (logs in $work/)" >&2
exit $status
