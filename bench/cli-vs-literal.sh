#!/usr/bin/env bash
# halvetra-cli as a whole process against the step-by-step identification
# built as a small program of its own (halvetra-literal-identify), side by
# side in one run, best of 5 wall-clock times each:
#   identify at 5000 and at 500 samples (target: ratio >= 40 at 5000, >= 1 at 500),
#   data at 5000 samples against a plain C++ reader (target: ratio at most 2),
#   and the peak memory of halvetra-cli identify at 5000 samples (target: < 30 MB).
#
#   bench/cli-vs-literal.sh [BUILD_DIR]     (default build/release)
#
# Times include starting the process; they are taken with the shell's clock,
# so each also carries the shell's fork and wait (well under a millisecond).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
cli=$build/src/halvetra-cli
literal=$build/bench/halvetra-literal-identify
for program in "$cli" "$literal"; do
    [[ -x $program ]] || { echo "missing $program: build the project first" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "missing /usr/bin/time: apt-get install time" >&2; exit 1; }

record5000=examples/cascade-steps.hvd
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
# 500 samples around the first step (samples 301 .. 800, the step at 101).
record500=$folder/steps-500.hvd
awk 'BEGIN { FS = OFS = "\t" }
     NR == 6 { print "500\r"; next }
     NR == 7 { print "1\r"; next }
     NR == 8 { print "500\r"; next }
     NR <= 18 || (NR > 18 + 300 && NR <= 18 + 800)' "$record5000" > "$record500"

# Best wall-clock time in milliseconds of each command, run alternately.
best_of_5() {
    local -a best=()
    local round i start end elapsed
    for round in 1 2 3 4 5; do
        for i in "${!commands[@]}"; do
            start=$EPOCHREALTIME
            eval "${commands[$i]}" > /dev/null
            end=$EPOCHREALTIME
            elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) * 1000 }')
            if [[ -z ${best[$i]:-} ]] || awk -v x="$elapsed" -v y="${best[$i]}" 'BEGIN { exit !(x < y) }'; then
                best[$i]=$elapsed
            fi
        done
    done
    echo "${best[@]}"
}

compare() {  # label, name of the first, name of the second, then the two commands
    local label=$1 first=$2 second=$3
    commands=("$4" "$5")
    read -r a b < <(best_of_5)
    awk -v l="$label" -v f="$first" -v s="$second" -v a="$a" -v b="$b" \
        'BEGIN { printf "%-26s %-14s %9.2f ms   %-14s %9.2f ms   ratio %7.2f\n", l, f, a, s, b, b / a }'
}

echo "best of 5; ratio = second time / first time"
compare "identify, 5000 samples" halvetra-cli literal "$cli identify $record5000" "$literal identify $record5000"
compare "identify, 500 samples" halvetra-cli literal "$cli identify $record500" "$literal identify $record500"
compare "data, 5000 samples" "plain reader" halvetra-cli "$literal read $record5000" "$cli data $record5000"
peak=$(/usr/bin/time -f %M "$cli" identify "$record5000" 2>&1 > /dev/null | tail -1)
awk -v k="$peak" 'BEGIN { printf "peak memory of halvetra-cli identify, 5000 samples: %.1f MB\n", k / 1024 }'
