#!/usr/bin/env bash
# Times `tesmer dump --json` beside DCMTK's `dcmdump` and plain `cat` on the
# same three corpora, in one run, all writing to /dev/null:
#   native    one file of 400,000,000 bytes of native pixels
#   elements  one implicit-VR file of 50,000 small elements
#   small     2,000 CT-like files of about 0.5 MB each
# then runs the in-memory analysis benchmarks.
#
#   tools/bench-analysis.sh [BUILD_DIR]     (default: build)
#
# TESMER_BIN names another tesmer executable to time instead of the build's.
# The corpora are generated once under BUILD_DIR/bench-corpus by
# `analysis_bench --make-corpus`. Every command runs once untimed (so all
# read from the page cache) and then TESMER_BENCH_REPS times (default 5);
# the table shows the best and the median wall-clock time of each.
set -euo pipefail
build=${1:-build}
reps=${TESMER_BENCH_REPS:-5}
corpus="$build/bench-corpus"
tesmer=${TESMER_BIN:-$build/app/tesmer}
bench="$build/bench/analysis_bench"

command -v dcmdump >/dev/null || { echo "dcmdump is missing: run tools/install-deps.sh" >&2; exit 1; }
if [ -z "${TESMER_BIN:-}" ]; then cmake --build "$build" -j2 --target tesmer >/dev/null; fi
cmake --build "$build" -j2 --target analysis_bench >/dev/null

if [ ! -f "$corpus/complete" ]; then
  echo "generating the corpora under $corpus"
  rm -rf "$corpus"
  "$bench" --make-corpus "$corpus"
  touch "$corpus/complete"
fi

now_ns() { date +%s%N; }

# time_command COMMAND...: prints the best and the median time in seconds.
time_command() {
  local times=() start end
  "$@" >/dev/null 2>&1 || true  # warm-up, also fills the page cache
  for ((i = 0; i < reps; i++)); do
    start=$(now_ns)
    "$@" >/dev/null 2>&1 || true
    end=$(now_ns)
    times+=($((end - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END {
    m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    printf "%.3f %.3f\n", t[1] / 1e9, m / 1e9 }'
}

sets=(native elements small)
declare -A files
files[native]="$corpus/native/native-400mb.dcm"
files[elements]="$corpus/elements/elements-50k.dcm"
files[small]="$corpus/small/*.dcm"

# The dump must analyse every file completely, or the comparison is void.
for set in "${sets[@]}"; do
  # shellcheck disable=SC2086
  bad=$("$tesmer" dump --json ${files[$set]} | grep -vc '"status":[13],' || true)
  if [ "$bad" != "0" ]; then echo "tesmer did not analyse every file of $set" >&2; exit 1; fi
done

echo
echo "wall-clock seconds, best / median of $reps runs, output to /dev/null ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
printf '%-10s %-22s %-22s %-22s %-16s %-12s\n' set "tesmer dump --json" dcmdump cat "dcmdump/tesmer" "tesmer/cat"
for set in "${sets[@]}"; do
  # shellcheck disable=SC2086
  read -r tb tm < <(time_command "$tesmer" dump --json ${files[$set]})
  # shellcheck disable=SC2086
  read -r db dm < <(time_command dcmdump ${files[$set]})
  # shellcheck disable=SC2086
  read -r cb cm < <(time_command cat ${files[$set]})
  ratio=$(awk -v d="$db" -v t="$tb" 'BEGIN { printf "%.1fx", d / t }')
  overcat=$(awk -v t="$tb" -v c="$cb" 'BEGIN { printf "%.2fx", t / c }')
  printf '%-10s %-22s %-22s %-22s %-16s %-12s\n' "$set" "$tb / $tm" "$db / $dm" "$cb / $cm" "$ratio" "$overcat"
done

echo
"$bench" --benchmark_min_time=0.5
