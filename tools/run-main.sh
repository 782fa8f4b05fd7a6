#!/usr/bin/env bash
# The main job of `make run`: the Tesmer window on the paths given, or on the
# demo study (written first) when there are none.
# With a display (DISPLAY or WAYLAND_DISPLAY) the window opens and the job
# ends when it is closed. Without one the window runs headless: it loads the
# paths, compares the first two files of a series in the wide window and
# saves a screenshot; the collection and the de-identified copies written by
# the engine's commands are shown beside it.
set -euo pipefail
tesmer=$1
shift
out="$(pwd)/build"
mkdir -p "$out"
if [ $# -eq 0 ]; then
  demo="$out/demo-study"
  rm -rf "$demo" "${demo}__Anony"
  "$tesmer" demo "$demo" >/dev/null
  set -- "$demo"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== tesmer $* (close the window to end)"
  exec "$tesmer" "$@"
fi

shot="$out/tesmer-window.png"
echo "== no display: tesmer --headless --screenshot $shot --wide $*"
"$tesmer" --headless --screenshot "$shot" --wide "$@" >/dev/null
echo "Screenshot of the main window: $shot"
echo "== tesmer tree $*"
"$tesmer" tree "$@"
echo "== tesmer anonymize $*"
"$tesmer" anonymize "$@" || true
for p in "$@"; do
  if [ -d "$p" ]; then
    echo "De-identified copies of $p: ${p%/}__Anony"
  else
    folder=$(dirname "$p")
    if [ "$folder" = "/" ]; then folder=/Dicom; fi
    echo "De-identified copy of $p: in ${folder}__Anony"
  fi
done
