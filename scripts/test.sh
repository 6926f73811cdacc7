#!/usr/bin/env bash
# Sets up the machine, checks the formatting of the sources, builds the presets and runs every
# test: the native unit tests (with ASan and UBSan), the fuzz targets over their corpora, then the
# Windows tests under Wine (and Xvfb for the dialog tests), all on the clang and lld build that
# ships, the package's among them; then builds the package (ZIPs, .nupkg, the vcpkg port's tree)
# and runs the consumer's hosts against it. An unformatted source file fails the run too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh

status=0
bash scripts/check-format.sh || status=1

# The build's MSVC branches: the whole project configured with clang-cl, lld-link, llvm-rc and
# llvm-mt must generate, with MSVC's options and none of the GNU ones. Nothing is built: there is no
# Windows SDK or MSVC library here.
msvc_configure() {
  local dir=build/clang-cl out flag
  rm -rf "$dir"
  if ! out=$(cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
               --toolchain cmake/clang-cl-x86_64.cmake 2>&1); then
    echo "test: the clang-cl configure does not generate:"; echo "$out"; return 1
  fi
  for flag in "/W4 /WX /permissive-" /utf-8 /Zi /DEBUG /MANIFEST:NO -MT /subsystem:windows /guard:cf /GUARD:CF; do
    grep -q -F -- "$flag" "$dir/build.ninja" || { echo "test: the clang-cl build lacks $flag"; return 1; }
  done
  if grep -q -E -- '-Wall|-Werror|-mwindows|-mconsole|-static|--output-def|objcopy' "$dir/build.ninja"; then
    echo "test: the clang-cl build has GNU options"; return 1
  fi
  echo "test: the clang-cl configure generates with the MSVC options"
}
msvc_configure || status=1

cmake --preset native >/dev/null
cmake --build --preset native
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
cmake --preset windows >/dev/null
cmake --build --preset windows

stop_wine() {
  if [ -d build/windows/wineprefix ]; then
    WINEPREFIX="$root/build/windows/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
}
trap stop_wine EXIT

# Boots the prefix before ctest lists the tests of the Wine programs: a first program started
# while a fresh prefix is still settling can fail, and a failed listing fails the whole run. Then
# a window comes and goes, since the first window-system call in a new prefix can take seconds,
# and an invisible one stays until Wine stops: without it Wine ends its desktop process during the
# minutes of tests that open no window, and every later test that opens one waits 20 s for a new.
boot_wine() {
  local attempt
  for attempt in 1 2 3; do
    if scripts/wine-env.sh build/windows wine cmd /c exit 0 </dev/null >/dev/null 2>&1 &&
      scripts/wine-env.sh build/windows wine build/windows/bin/window_warm_up.exe \
        </dev/null >/dev/null 2>&1; then
      scripts/wine-env.sh build/windows wine build/windows/bin/window_warm_up.exe --stay \
        </dev/null >/dev/null 2>&1 &
      return 0
    fi
    stop_wine
    sleep 2
  done
  echo "test: the Wine prefix does not start" >&2
  return 1
}

ctest --preset native || status=1
ctest --preset fuzz || status=1
# a private display for the Wine tests that open windows (the dialog tests start their own);
# Wine stops before its display does
export -f stop_wine boot_wine
export root
scripts/with-xvfb.sh bash -c 'boot_wine && ctest --preset windows; s=$?; stop_wine; exit $s' || status=1

# what an integrator takes: the package, and host projects built against the ZIP and the port's tree
bash scripts/package.sh || status=1
bash tests/consumer/run.sh || status=1
exit $status
