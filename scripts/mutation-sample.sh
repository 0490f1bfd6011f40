#!/usr/bin/env bash
# Mutation sample: how many small, realistic faults in the firmware the test suite notices.
#
#   scripts/mutation-sample.sh [options] MODULE...      (MODULE: settings, serial, gui, fat, ...)
#
# Every MODULE names a list scripts/mutations/MODULE.txt. Each entry of a list is one mutant: an
# exact snippet of the firmware that must occur exactly once in the files the entry names, and
# what replaces it. Mutants are found by their text, never by file name or line number, so the
# lists survive code moving between files; a snippet found nowhere (or more than once) is
# reported as stale and counted on its own line, never skipped silently.
#
# One mutant at a time: apply, rebuild (incrementally, in build/mutation), run the default test
# suite (stopping at the first failure, with a time limit per test so that a hang counts as
# killed), restore the file. The table printed at the end gives, per file and per module,
# mutants applied, killed, survived, equivalent (listed but not applied, excluded from the
# score), stale, and the score killed / (killed + survived). A mutant that does not compile is
# reported as broken and left out of the score (its entry needs fixing).
#
# Options:
#   --build-dir DIR   build directory (default build/mutation)
#   --timeout S       limit per test in seconds (default 300)
#   --only ID         run only the mutant with this id (may be repeated)
#   --list            check and list the mutants without building anything
#   -j N              build and test jobs (default 2)
#
# Entry format (blank lines and lines starting with '#' between entries are ignored):
#
#   version: 3                       first non-comment line of the file
#
#   [settings-07]                    mutant id
#   files: src/settings src/base     directories (searched recursively for *.cpp and *.h) and/or
#                                    globs relative to the repository root
#   find: e.baud0 < 3                the original text (\n for a line break, \\ for a backslash)
#   replace: e.baud0 <= 3            what it becomes
#   equivalent: <reason>             optional: this mutant cannot change behaviour; not run
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
LISTS="$ROOT/scripts/mutations"
BUILD_DIR="$ROOT/build/mutation"
TIMEOUT=300
JOBS=2
LIST_ONLY=0
ONLY=()
MODULES=()

usage() {
    sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d' | sed 's/^# \{0,1\}//'
    exit "${1:-2}"
}

while (($#)); do
    case "$1" in
        --build-dir) BUILD_DIR="$(realpath -m "$2")"; shift 2 ;;
        --timeout) TIMEOUT="$2"; shift 2 ;;
        --only) ONLY+=("$2"); shift 2 ;;
        --list) LIST_ONLY=1; shift ;;
        -j) JOBS="$2"; shift 2 ;;
        -h | --help) usage 0 ;;
        -*) echo "mutation-sample: unknown option $1" >&2; usage ;;
        *) MODULES+=("$1"); shift ;;
    esac
done
((${#MODULES[@]})) || usage

for m in "${MODULES[@]}"; do
    [[ -f "$LISTS/$m.txt" ]] || { echo "mutation-sample: no list $LISTS/$m.txt" >&2; exit 2; }
done

cd "$ROOT"
WORK="$(mktemp -d /tmp/voxa-mutation.XXXXXX)"
PLAN="$WORK/plan.tsv"

# ---------------------------------------------------------------------------------------------
# The mutant currently applied is restored on every way out of this script.

APPLIED_FILE=""
restore() {
    if [[ -n "$APPLIED_FILE" ]]; then
        cp "$WORK/original" "$APPLIED_FILE"
        echo "mutation-sample: restored $APPLIED_FILE" >&2
        APPLIED_FILE=""
    fi
}
on_exit() {
    restore
    rm -rf "$WORK"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# ---------------------------------------------------------------------------------------------
# Parsing, locating and applying are in scripts/mutants.py: snippets may hold any character.

python3 "$ROOT/scripts/mutants.py" plan "$PLAN" "$ROOT" "${MODULES[@]}"

# ---------------------------------------------------------------------------------------------

# Applies mutant (find/replace, escaped) to file; fails when the snippet is not there once.
apply_mutant() {
    python3 "$ROOT/scripts/mutants.py" apply "$1" "$2" "$3"
}

selected() {
    ((${#ONLY[@]} == 0)) && return 0
    local id
    for id in "${ONLY[@]}"; do [[ "$id" == "$1" ]] && return 0; done
    return 1
}

if ((LIST_ONLY)); then
    while IFS=$'\t' read -r module version id state where find replace reason; do
        selected "$id" || continue
        printf '%-12s v%-3s %-14s %-10s %s\n' "$module" "$version" "$id" "$state" "$where"
    done <"$PLAN"
    exit 0
fi

# The mutated files must be exactly what is committed, or restoring could lose work and the
# result would not belong to any commit.
mapfile -t TOUCHED < <(awk -F'\t' '$4 == "run" {print $5}' "$PLAN" | sort -u)
if ((${#TOUCHED[@]})); then
    dirty="$(git status --porcelain -- "${TOUCHED[@]}")"
    if [[ -n "$dirty" ]]; then
        echo "mutation-sample: uncommitted changes in files it would mutate:" >&2
        echo "$dirty" >&2
        exit 2
    fi
fi

COMMIT="$(git rev-parse --short HEAD)"
LOG="$BUILD_DIR/mutation-log.txt"
mkdir -p "$BUILD_DIR"
: >"$LOG"

build() {
    cmake --build "$BUILD_DIR" -j "$JOBS" </dev/null >>"$LOG" 2>&1
}
run_suite() {
    ctest --test-dir "$BUILD_DIR" -j "$JOBS" --stop-on-failure --timeout "$TIMEOUT" \
        --output-on-failure </dev/null >>"$LOG" 2>&1
}

start=$SECONDS
echo "mutation-sample: commit $COMMIT, build directory $BUILD_DIR, log $LOG"
if [[ ! -f "$BUILD_DIR/CMakeCache.txt" ]]; then
    echo "mutation-sample: configuring (as the default preset, without benchmarks)"
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVOXA_BENCH=OFF >>"$LOG" 2>&1
fi
echo "mutation-sample: building and running the unmutated suite"
build || { echo "mutation-sample: the unmutated tree does not build (see $LOG)" >&2; exit 1; }
run_suite || { echo "mutation-sample: the suite fails without mutants (see $LOG)" >&2; exit 1; }
echo "mutation-sample: baseline green after $((SECONDS - start)) s"

RESULTS="$WORK/results.tsv"
: >"$RESULTS"
while IFS=$'\t' read -r module version id state where find replace reason; do
    selected "$id" || continue
    result="$state"
    took=0
    if [[ "$state" == "run" ]]; then
        t0=$SECONDS
        cp "$where" "$WORK/original"
        APPLIED_FILE="$where"
        if ! apply_mutant "$where" "$find" "$replace"; then
            result="stale"
        else
            echo "=== $id in $where: '$find' -> '$replace'" >>"$LOG"
            if ! build; then
                result="broken"  # does not compile: excluded, the list needs fixing
            elif run_suite; then
                result="survived"
            else
                result="killed"
            fi
        fi
        restore
        took=$((SECONDS - t0))
    fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$module" "$id" "$where" "$result" "$took" "$find" \
        >>"$RESULTS"
    printf 'mutation-sample: %-8s %-14s %-9s %4ss  %s\n' "$module" "$id" "$result" "$took" "$where"
done <"$PLAN"

# Leave the build directory matching the restored sources.
build || true

echo
echo "Mutation sample, commit $COMMIT, $(date -u +%Y-%m-%d), lists:" \
    "$(awk -F'\t' '!seen[$1]++ {printf "%s v%s ", $1, $2}' "$PLAN")"
echo
awk -F'\t' '
    function row(name, k) {
        applied = a[k] + 0; nonequiv = applied - br[k]
        score = nonequiv > 0 ? sprintf("%d%%", int(100 * kl[k] / nonequiv + 0.5)) : "-"
        printf "| %-26s | %7d | %6d | %8d | %10d | %5d | %6d | %5s |\n", name, applied, kl[k],
               sv[k], e[k], st[k], br[k], score
    }
    {
        m = $1; f = ($4 == "stale") ? "(stale)" : $3; k = m SUBSEP f
        if (!(k in a)) { order[++n] = k; mod[k] = m; file[k] = f }
        if (!(m in ma)) { morder[++mn] = m }
        ma[m] = 1
        if ($4 == "killed" || $4 == "survived" || $4 == "broken") { a[k]++; a[m]++; a["all"]++ }
        if ($4 == "killed") { kl[k]++; kl[m]++; kl["all"]++ }
        if ($4 == "survived") { sv[k]++; sv[m]++; sv["all"]++ }
        if ($4 == "equivalent") { e[k]++; e[m]++; e["all"]++ }
        if ($4 == "stale") { st[k]++; st[m]++; st["all"]++ }
        if ($4 == "broken") { br[k]++; br[m]++; br["all"]++ }
    }
    END {
        print "| file                       | applied | killed | survived | equivalent | stale | broken | score |"
        print "|----------------------------|---------|--------|----------|------------|-------|--------|-------|"
        for (j = 1; j <= mn; j++) {
            for (i = 1; i <= n; i++) if (mod[order[i]] == morder[j]) row(file[order[i]], order[i])
            row("**" morder[j] "**", morder[j])
        }
        row("**all**", "all")
    }' "$RESULTS"
# "broken" mutants count as applied but neither killed nor survived: the score leaves them out.
echo
survivors="$(awk -F'\t' '$4 == "survived" {printf "  %s (%s): %s\n", $2, $3, $6}' "$RESULTS")"
if [[ -n "$survivors" ]]; then
    echo "Survivors:"
    echo "$survivors"
fi
stale="$(awk -F'\t' '$4 == "stale" {printf "  %s: %s\n", $2, $6}' "$RESULTS")"
if [[ -n "$stale" ]]; then
    echo "Stale (snippet not found exactly once; update the list):"
    echo "$stale"
fi
echo "Total time: $((SECONDS - start)) s"
