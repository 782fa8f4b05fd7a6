#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking need.
# Idempotent: packages already present are not fetched again, and apt-get is
# not called at all when nothing is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  clang libclang-rt-dev            # libFuzzer and the sanitizer runtimes
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libsdl2-dev libx11-dev libfreetype-dev libfontconfig-dev libpng-dev
  zlib1g-dev                       # inflating deflated data sets
  fonts-arphic-uming fonts-dejavu-core
  fonts-tlwg-garuda-ttf fonts-lexi-gulim fonts-vlgothic  # Thai, Korean and Japanese kana beside them
  xvfb x11-apps                    # a real X display for the window tests
  openbox wmctrl                   # a real window manager for the window tests, and its probe
  time                             # peak memory in tools/bench-dump-memory.sh
  dcmtk libgdcm-tools dicom3tools  # independent DICOM checkers for tests and benchmarks
  openssl                          # the certificate gdcmanon -e needs in the benchmark
  python3-pydicom                  # source of tools/gen_tag_dictionary.py (run by hand)
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
