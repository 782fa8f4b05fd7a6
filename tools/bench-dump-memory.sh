#!/usr/bin/env bash
# Wall-clock time and peak memory (maximum resident set) of `tesmer dump`
# and `tesmer dump --json`, output to /dev/null, on
#   zeros     a file of 1,024,000,000 bytes (the size limit): a valid header,
#             then zeros, which walk as empty elements until the record limit
#   elements  one implicit-VR file of 1,000,000 small elements
# Each command runs once untimed (to fill the page cache), then
# TESMER_BENCH_REPS times (default 3); the best time and the largest peak
# are shown.
#
#   tools/bench-dump-memory.sh [BUILD_DIR]     (default: build)
set -euo pipefail
build=${1:-build}
reps=${TESMER_BENCH_REPS:-3}
corpus="$build/bench-memory-corpus"
tesmer=${TESMER_BIN:-$build/app/tesmer}
bench="$build/bench/analysis_bench"

command -v /usr/bin/time >/dev/null || { echo "/usr/bin/time is missing: run tools/install-deps.sh" >&2; exit 1; }
if [ -z "${TESMER_BIN:-}" ]; then cmake --build "$build" -j2 --target tesmer >/dev/null; fi
cmake --build "$build" -j2 --target analysis_bench >/dev/null
if [ ! -f "$corpus/complete" ]; then
  rm -rf "$corpus"
  "$bench" --make-memory-corpus "$corpus"
  touch "$corpus/complete"
fi

printf '| file | command | status | elements | best time (s) | peak memory (MiB) |\n|---|---|---|---|---|---|\n'
for file in "$corpus/zeros-1024000000.dcm" "$corpus/elements-1m.dcm"; do
  for mode in "" "--json"; do
    # The element lines after the "# PATH status N" line.
    status=$( ("$tesmer" dump "$file" || true) | head -1 | awk '{ print $NF }')
    elements=$(($("$tesmer" dump "$file" | wc -l) - 1))
    # shellcheck disable=SC2086
    "$tesmer" dump $mode "$file" >/dev/null
    best="" peak=0
    for ((i = 0; i < reps; i++)); do
      # shellcheck disable=SC2086
      read -r seconds kib < <(/usr/bin/time -f '%e %M' "$tesmer" dump $mode "$file" 2>&1 >/dev/null | tail -1)
      if [ -z "$best" ] || awk "BEGIN { exit !($seconds < $best) }"; then best=$seconds; fi
      if [ "$kib" -gt "$peak" ]; then peak=$kib; fi
    done
    printf '| %s | dump %s | %s | %s | %s | %d |\n' "$(basename "$file")" "$mode" "$status" "$elements" "$best" $((peak / 1024))
  done
done
