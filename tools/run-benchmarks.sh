#!/usr/bin/env bash
# Runs every benchmark of a build tree: analysis beside dcmdump and cat,
# de-identification beside gdcmanon, dcmodify and cp -r, the check that no
# SOP Instance UID repeats between runs, drawing and the work
# panel's frames.
set -euo pipefail
build=${1:-build}
TESMER_BENCH_REPS=${TESMER_BENCH_REPS:-7} bash tools/bench-analysis.sh "$build"
"$build/bench/anonymize_bench" --files "${TESMER_BENCH_FILES:-2000}"
"$build/bench/uid_repeat_bench" --files "${TESMER_BENCH_FILES:-2000}"
for b in draw_bench views_bench; do
  if [ -x "$build/bench/$b" ]; then "$build/bench/$b"; fi
done
