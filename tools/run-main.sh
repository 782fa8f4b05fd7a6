#!/usr/bin/env bash
# The main job of `make run`: writes the demo study (unless paths are given)
# and shows what the engine makes of it.
set -euo pipefail
tesmer=$1
shift
if [ $# -eq 0 ]; then
  demo="$(pwd)/build/demo-study"
  rm -rf "$demo"
  "$tesmer" demo "$demo"
  set -- "$demo"
fi
echo "== tesmer dump $*"
files=()
for p in "$@"; do
  if [ -d "$p" ]; then
    while IFS= read -r -d '' f; do files+=("$f"); done < <(find "$p" -maxdepth 1 -type f -print0 | sort -z)
  else
    files+=("$p")
  fi
done
"$tesmer" dump "${files[@]}"
