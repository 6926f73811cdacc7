#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, and fetches the pugixml
# source from Debian's source package into third_party/. Idempotent: quick when all is present.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
packages=(
  cmake ninja-build g++ googletest libgtest-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xdotool x11-utils openssl dpkg-dev xz-utils python3
  clang lld llvm libclang-rt-14-dev clang-format osslsigncode gdb
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

src_list=/etc/apt/sources.list.d/debian-src.sources
need_update=0
if [ ! -f "$src_list" ]; then
  # pugixml is cross-compiled from Debian's own source package; that needs a deb-src entry
  "${sudo_cmd[@]}" tee "$src_list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ "$need_update" -eq 1 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

pugi_dir="$root/third_party/pugixml"
if [ ! -f "$pugi_dir/src/pugixml.cpp" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && apt-get source --download-only pugixml >/dev/null 2>&1) || {
    "${sudo_cmd[@]}" apt-get update -qq
    (cd "$tmp" && apt-get source --download-only pugixml >/dev/null)
  }
  orig=$(ls "$tmp"/pugixml_*.orig.tar.gz | head -n 1)
  mkdir -p "$pugi_dir"
  tar -xzf "$orig" -C "$pugi_dir" --strip-components=1
  echo "setup: pugixml source in third_party/pugixml"
fi
