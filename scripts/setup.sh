#!/usr/bin/env bash
# Installs everything the build and the tests need on a Debian 12 machine, and fetches the pugixml
# source from Debian's source package into third_party/. Idempotent: quick when all is present.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
packages=(
  cmake ninja-build g++ googletest libgtest-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 xvfb xdotool x11-utils x11-apps openssl dpkg-dev xz-utils python3
  clang lld llvm libclang-rt-14-dev libc++-14-dev clang-format osslsigncode gdb
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  "${sudo_cmd[@]}" apt-get update -qq
  echo "setup: installing ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# pugixml is cross-compiled from Debian's own source package, which needs source entries. They are
# made from the machine's own package entries (the same addresses, suites, components and keys, as
# deb-src), so whatever mirror or proxy the machine uses serves the sources too.
derive_source_entries() {
  local out=/etc/apt/sources.list.d/companions-deb-src
  if [ ! -f "$out.sources" ] && ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
    # deb822 stanzas whose Types name deb, with deb-src as their only type
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         { n = split($0, lines, "\n"); binary = 0
           for (i = 1; i <= n; i++) if (lines[i] ~ /^Types:/ && lines[i] ~ /[ \t]deb([ \t]|$)/) binary = 1
           if (!binary) next
           stanza = ""
           for (i = 1; i <= n; i++) {
             line = lines[i]
             if (line ~ /^Types:/) line = "Types: deb-src"
             stanza = stanza line "\n"
           }
           printf "%s\n", stanza }' \
      $(ls /etc/apt/sources.list.d/*.sources | grep -v "^$out") | "${sudo_cmd[@]}" tee "$out.sources" >/dev/null
  fi
  if [ ! -f "$out.list" ] && ls /etc/apt/sources.list /etc/apt/sources.list.d/*.list >/dev/null 2>&1; then
    # one-line entries: "deb [options] uri suite components" becomes "deb-src ..."
    cat $(ls /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | grep -v "^$out") |
      sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' | "${sudo_cmd[@]}" tee "$out.list" >/dev/null
  fi
  "${sudo_cmd[@]}" apt-get update -qq
}

pugi_dir="$root/third_party/pugixml"
if [ ! -f "$pugi_dir/src/pugixml.cpp" ]; then
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  (cd "$tmp" && apt-get source --download-only pugixml >/dev/null 2>&1) || {
    derive_source_entries
    (cd "$tmp" && apt-get source --download-only pugixml >/dev/null)
  }
  orig=$(ls "$tmp"/pugixml_*.orig.tar.gz | head -n 1)
  mkdir -p "$pugi_dir"
  tar -xzf "$orig" -C "$pugi_dir" --strip-components=1
  echo "setup: pugixml source in third_party/pugixml"
fi
