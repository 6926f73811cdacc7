#!/usr/bin/env bash
# Builds the Windows binaries and packs them in build/windows/package/:
#   brevant-companions-<version>-win64.zip and its -debug twin (the PDBs and a symbol store),
#   Brevant.Quorlin.<version>.nupkg (QuorlinC.dll for MSBuild projects),
#   ports/quorlin/ (the vcpkg overlay port, naming the ZIPs by their SHA512) and
#   vcpkg/packages/quorlin_x64-windows/ (what it installs).
# Signs every shipped binary when COMPANIONS_SIGNING_PFX (and COMPANIONS_SIGNING_PASSWORD) name a
# code-signing certificate, timestamped when COMPANIONS_SIGNING_TIMESTAMP_URL names a server; with
# --release (COMPANIONS_RELEASE=1) it fails rather than pack unsigned binaries.
# Prints the shipped sizes and writes them to build/windows/package/sizes.txt.
# Usage: scripts/package.sh [--release]
set -euo pipefail
if [ "${1:-}" = --release ]; then
  export COMPANIONS_RELEASE=1
fi
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset windows >/dev/null
cmake --build --preset windows
build=build/windows
out=$build/package
bash packaging/make_packages.sh "$build" "$out"

size() { stat -c %s "$1"; }
echo
# the sizes in bytes, before signing (a signature adds a few KB)
{
  printf '%-24s %12s %12s\n' "shipped file" "built" "shipped"
  dll_total=0
  for f in "$build"/dist/bin/*; do
    name=$(basename "$f")
    printf '%-24s %12s %12s\n' "$name" "$(size "$build/bin/$name")" "$(size "$f")"
    case "$name" in tool.exe | QuorlinC.dll) ;; *) dll_total=$((dll_total + $(size "$f"))) ;; esac
  done
  printf '%-24s %12s %12s\n' "Quorlin.dll + runtime" "" "$dll_total"
  for f in "$out"/*.zip "$out"/*.nupkg; do
    printf '%-24s %12s %12s\n' "$(basename "$f" | sed 's/.*-win64/win64/')" "" "$(size "$f")"
  done
} | tee "$out/sizes.txt"
echo "packages: $(ls "$out"/*.zip "$out"/*.nupkg | tr '\n' ' ')"
echo "vcpkg overlay port: $out/ports (the tree it installs: $out/vcpkg/packages/quorlin_x64-windows)"
if [ -z "${COMPANIONS_SIGNING_PFX:-}" ]; then
  echo "package: COMPANIONS_SIGNING_PFX is not set: the binaries are unsigned"
fi
