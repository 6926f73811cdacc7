#!/usr/bin/env bash
# quorlin.h as a host's compiler meets it: a host of the library's own C++ runtime compiles, one
# built with the old std::string stops with the error that names the remedy.
# Usage: header_abi_test.sh <include folder>
set -euo pipefail
include=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo '#include "quorlin.h"' >"$work/host.cpp"
compile() { x86_64-w64-mingw32-g++-posix -std=c++17 -fsyntax-only -I"$include" "$@" "$work/host.cpp"; }

failed=0
if ! out=$(compile 2>&1); then
  echo "FAIL: a host of the library's own C++ runtime does not compile against quorlin.h:"; echo "$out"; failed=1
fi
expected='"quorlin.h: this host is built with the old std::string (_GLIBCXX_USE_CXX11_ABI=0), Quorlin.dll with the C++11 one; build it with _GLIBCXX_USE_CXX11_ABI=1 or include quorlin_c.h, the library'"'"'s C interface, instead"'
if out=$(compile -D_GLIBCXX_USE_CXX11_ABI=0 2>&1); then
  echo "FAIL: a host with the old std::string compiles against quorlin.h"; failed=1
elif [ "$(sed -n 's/.*error: #error //p' <<<"$out")" != "$expected" ]; then
  echo "FAIL: a host with the old std::string is stopped otherwise:"; echo "$out"; failed=1
fi
exit $failed
