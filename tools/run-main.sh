#!/usr/bin/env bash
# The main job of `make run`. Without paths it writes the demo study first.
# Until the window is built, it shows what the engine makes of the paths: the
# collection as a drop would build it, the element lines of each file, and the
# de-identified copies written into the __Anony folders.
set -euo pipefail
tesmer=$1
shift
if [ $# -eq 0 ]; then
  demo="$(pwd)/build/demo-study"
  rm -rf "$demo" "${demo}__Anony"
  "$tesmer" demo "$demo" >/dev/null
  set -- "$demo"
fi
echo "== tesmer tree $*"
"$tesmer" tree "$@"
files=()
for p in "$@"; do
  if [ -d "$p" ]; then
    while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$p" -maxdepth 1 -type f -print0 | sort -z)
  else
    files+=("$p")
  fi
done
echo "== tesmer dump (element lines)"
"$tesmer" dump "${files[@]}"
echo "== tesmer anonymize $*"
"$tesmer" anonymize "$@" || true
echo "De-identified copies are in the __Anony folders beside the sources."
