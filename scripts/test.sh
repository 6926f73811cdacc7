#!/usr/bin/env bash
# Sets up the machine, builds both presets and runs every test: the native unit tests (with ASan
# and UBSan), then the Windows tests under Wine (and Xvfb for the dialog tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset windows >/dev/null
cmake --build --preset windows

stop_wine() {
  if [ -d build/windows/wineprefix ]; then
    WINEPREFIX="$root/build/windows/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
}
trap stop_wine EXIT

status=0
ctest --preset native || status=1
# a private display for the Wine tests that open windows (the dialog tests start their own);
# Wine stops before its display does
export -f stop_wine
export root
scripts/with-xvfb.sh bash -c 'ctest --preset windows; s=$?; stop_wine; exit $s' || status=1
exit $status
