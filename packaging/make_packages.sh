#!/usr/bin/env bash
# Packs a Windows build that is built already: the two ZIPs, the NuGet package, the vcpkg overlay
# port that takes the ZIPs (ports/quorlin, naming their SHA512) and the tree it installs, all in
# <out> (emptied first). scripts/package.sh and the package tests call it.
# Usage: packaging/make_packages.sh <build dir> <out dir>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
find "$out" -mindepth 1 -delete

cpack --config "$build/CPackConfig.cmake" -B "$out" | grep -v '^CPack: -   '
rm -rf "$out/_CPack_Packages"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
zip=$out/brevant-companions-$version-win64

# the NuGet package from the ZIPs' own (signed) files, both unpacked over one folder
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
(cd "$stage" && cmake -E tar xf "$zip.zip" && cmake -E tar xf "$zip-debug.zip")
cmake -DSTAGE="$stage" -DNUGET_DIR="$build/dist/nuget" -DID=Brevant.Quorlin -DVERSION="$version" \
  -DOUT_DIR="$out" -P "$root/packaging/nuget/make_nupkg.cmake"
cmake -DSOURCE="$root/ports/quorlin" -DOUT="$out/ports/quorlin" -DRUNTIME_ZIP="$zip.zip" \
  -DDEBUG_ZIP="$zip-debug.zip" -P "$root/packaging/write_port.cmake"
cmake -DPORT_DIR="$out/ports/quorlin" -DWORK_DIR="$out/vcpkg" -P "$root/packaging/vcpkg_offline.cmake"
rm -rf "$out/vcpkg/buildtrees" "$out/vcpkg/downloads"
