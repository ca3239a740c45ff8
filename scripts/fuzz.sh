#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (build/fuzz: clang, ASan+UBSan) and runs them, as
# many at once as JOBS (default: the number of processors), each for a bounded time, with its
# checked-in seeds (tests/fuzz/corpus/TARGET, written by tests/fuzz/make-corpus.py), the
# minimised corpus of long runs (tests/fuzz/corpus/learned/TARGET) and its dictionary
# (tests/fuzz/TARGET.dict) when it has one.
#
# Usage: scripts/fuzz.sh [TARGET|all] [SECONDS]   (default: all, 600 seconds a target)
#   Targets: engine client search library_json utf registry_store password registrar.
#   What a run learns is kept in build/fuzz/corpus-TARGET and used by the next run; a failing
#   input is saved in build/fuzz/crash-TARGET/ and its log in build/fuzz/fuzz-TARGET.log.
#   Reproduce one with: build/fuzz/tests/fuzz/fuzz_TARGET FILE
#   Exits non-zero on any crash, leak, timeout, memory blow-up or sanitizer report.
# scripts/test.sh runs `scripts/fuzz.sh all 30` in CI.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all=(engine client search library_json utf registry_store password registrar)
which=${1:-all}
seconds=${2:-600}
jobs=${JOBS:-$(nproc)}
dir=build/fuzz

if [ "$which" = all ]; then
  targets=("${all[@]}")
elif [[ " ${all[*]} " == *" $which "* ]]; then
  targets=("$which")
else
  echo "unknown fuzz target: $which (${all[*]} or all)" >&2
  exit 2
fi
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "SECONDS must be a whole number of seconds: $seconds" >&2
  exit 2
fi

scripts/install-deps.sh test >/dev/null
cmake -S . -B "$dir" -G Ninja -DTANDRAVOLE_WERROR=ON -DTANDRAVOLE_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j "$jobs" --target tandravole_fuzzers

# One input may take 10 s and 2 GiB at most; UBSan findings stop the run like ASan's do.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0

# One target's run; prints its figures, or the end of its log and exits non-zero on a finding.
fuzz_one() { # target
  local target=$1 corpus=$dir/corpus-$1 crashes=$dir/crash-$1 log=$dir/fuzz-$1.log
  mkdir -p "$corpus" "$crashes"
  local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$crashes/")
  [ -f "tests/fuzz/$target.dict" ] && args+=(-dict="tests/fuzz/$target.dict")
  local status=0
  # New inputs go to the first folder; the seeds are only read.
  local seeds=("tests/fuzz/corpus/$target")
  [ -d "tests/fuzz/corpus/learned/$target" ] && seeds+=("tests/fuzz/corpus/learned/$target")
  "$dir/tests/fuzz/fuzz_$target" "${args[@]}" "$corpus" "${seeds[@]}" \
    >"$log" 2>&1 || status=$?
  local runs rate rss files
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log" | tail -n 1)
  files=$(find "$corpus" -type f | wc -l)
  if [ $status -ne 0 ]; then
    tail -n 80 "$log"
    echo "fuzz_$target FAILED (exit $status); input in $crashes/, log in $log"
    return 1
  fi
  echo "fuzz_$target: ${runs:-?} runs, ${rate:-?} exec/s, peak RSS ${rss:-?} MB, corpus $files files"
}

# Each run prints into a file of its own, shown whole when it ends, so runs at the same time do
# not interleave their lines.
failed=()
running=()
declare -A pids
finish_one() { # waits for the oldest run still going
  local target=${running[0]}
  running=("${running[@]:1}")
  wait "${pids[$target]}" || failed+=("$target")
  cat "$dir/fuzz-$target.out"
}
for target in "${targets[@]}"; do
  [ ${#running[@]} -lt "$jobs" ] || finish_one
  echo "--- fuzz_$target: $seconds s"
  fuzz_one "$target" >"$dir/fuzz-$target.out" 2>&1 &
  pids[$target]=$!
  running+=("$target")
done
while [ ${#running[@]} -gt 0 ]; do finish_one; done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzzing found nothing: ${targets[*]}"
