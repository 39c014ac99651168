#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every fuzz target in turn.
#
#   scripts/fuzz.sh [SECONDS]          each target SECONDS long (default 20)
#   FUZZ_RUNS=N scripts/fuzz.sh        each target for N inputs instead
#   FUZZ_TARGETS="fuzz_data_hvd ..."   only these targets
#   FUZZ_BUILD_DIR=dir                 build folder (default build/fuzz)
#
# Each target starts from its seed corpus fuzz/corpus/<target>, copied into
# <build>/corpus-run/<target>; the inputs it adds stay there (so later runs go
# on from them), never in the source tree. A finding (crash, sanitizer report,
# broken check, timeout, out of memory) is written to <build>/findings/ and
# makes the script exit with status 1 after all targets have run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

SECONDS_PER_TARGET=${1:-20}
BUILD=${FUZZ_BUILD_DIR:-build/fuzz}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac

bash scripts/setup-deps.sh --fuzz
cmake --preset fuzz -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target fuzzers

# Longest input per target: a few KB, enough for a header and a few dozen rows;
# number texts are short.
declare -A MAX_LEN=(
  [fuzz_data_hvd]=4096
  [fuzz_data_delimited]=4096
  [fuzz_model_file]=4096
  [fuzz_controller_file]=2048
  [fuzz_settings_file]=4096
  [fuzz_number_text]=128
)
TARGETS=${FUZZ_TARGETS:-"fuzz_data_hvd fuzz_data_delimited fuzz_model_file fuzz_controller_file fuzz_settings_file fuzz_number_text"}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

mkdir -p "$BUILD/corpus-run" "$BUILD/findings" "$BUILD/logs"
failed=()
printf '%-22s %14s %9s %10s  %s\n' target inputs seconds exec/s result
for target in $TARGETS; do
  exe=$BUILD/fuzz/$target
  [ -x "$exe" ] || { echo "fuzz: no target $target" >&2; exit 2; }
  corpus=$BUILD/corpus-run/$target
  mkdir -p "$corpus"
  cp -n "fuzz/corpus/$target"/* "$corpus"/ 2>/dev/null || true
  args=("$corpus" "-max_len=${MAX_LEN[$target]:-4096}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
        "-artifact_prefix=$BUILD/findings/$target-")
  [ -f "fuzz/$target.dict" ] && args+=("-dict=fuzz/$target.dict")
  if [ -n "${FUZZ_RUNS:-}" ]; then
    args+=("-runs=$FUZZ_RUNS")
  else
    args+=("-max_total_time=$SECONDS_PER_TARGET")
  fi
  log=$BUILD/logs/$target.log
  start=$(date +%s.%N)
  status=0
  "$exe" "${args[@]}" >"$log" 2>&1 || status=$?
  elapsed=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {print b - a}')
  units=$(awk '/stat::number_of_executed_units:/ {print $2}' "$log" | tail -n1)
  units=${units:-0}
  # libFuzzer's own rate: inputs per second of fuzzing, start-up not counted.
  rate=$(awk '/stat::average_exec_per_sec:/ {print $2}' "$log" | tail -n1)
  # Runs shorter than a second have none: inputs over the whole time then.
  if [ "${rate:-0}" -eq 0 ]; then
    rate=$(awk -v u="$units" -v t="$elapsed" 'BEGIN {printf "%d", (t > 0 ? u / t : 0)}')
  fi
  if [ "$status" -eq 0 ]; then
    result=ok
  else
    result="FINDING (exit $status, log $log)"
    failed+=("$target")
  fi
  printf '%-22s %14s %9.1f %10s  %s\n' "$target" "$units" "$elapsed" "$rate" "$result"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}; inputs in $BUILD/findings/" >&2
  for target in "${failed[@]}"; do
    grep -E 'ERROR|FUZZ FINDING|SUMMARY|runtime error' "$BUILD/logs/$target.log" | head -n 5 >&2 || true
  done
  exit 1
fi
