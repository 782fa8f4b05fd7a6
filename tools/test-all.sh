#!/usr/bin/env bash
# Everything `make test` runs: the unit and integration tests, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests
# under ThreadSanitizer, and a short libFuzzer run over the analysis.
set -euo pipefail
build=${1:-build}
jobs=$(nproc)
fuzz_seconds=${TESMER_FUZZ_SECONDS:-60}
summary=$(mktemp)
trap 'rm -f "$summary"' EXIT

# Runs ctest with the given arguments and keeps its closing count line, so
# that the end of the run can add up every stage. ctest's status is returned.
run_ctest() {
  local log status=0
  log=$(mktemp)
  ctest "$@" >"$log" 2>&1 || status=$?
  cat "$log"
  grep -E 'tests passed, [0-9]+ tests failed out of' "$log" >>"$summary" || true
  rm -f "$log"
  return "$status"
}

echo "== tests"
run_ctest --test-dir "$build" --output-on-failure -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTESMER_SANITIZE=address,undefined \
  -DTESMER_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== threaded tests under ThreadSanitizer"
CC=clang CXX=clang++ cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DTESMER_SANITIZE=thread \
  -DTESMER_BENCH=OFF -DTESMER_GUI=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 run_ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads

echo "== fuzzing the analysis for ${fuzz_seconds} s"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESMER_FUZZ=ON \
  -DTESMER_BENCH=OFF -DTESMER_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$jobs" --target fuzz_analysis
mkdir -p build-fuzz/corpus
build-fuzz/fuzz/fuzz_analysis -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -max_len=65536 \
  build-fuzz/corpus fuzz/corpus 2>&1 | tail -n 5
total=$(awk '{for (i = 1; i <= NF; i++) if ($i == "of") n += $(i + 1)} END {print n + 0}' "$summary")
failed=$(awk '{for (i = 1; i <= NF; i++) if ($i == "failed") f += $(i - 2)} END {print f + 0}' "$summary")
echo "== all stages passed"
echo "$((total - failed)) passed, $failed failed"
