#!/usr/bin/env bash
# The shipped binaries are stripped, and the debug component put beside them gives a crash its
# source lines back: gdb follows each binary's debug link to its .debug file.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work" --component runtime >/dev/null
failed=0
for entry in "tool.exe ToolMain tool_main.cpp" "Quorlin.dll quorlin_show exports_c.cpp"; do
  set -- $entry
  if gdb -batch -ex "info line $2" "$work/bin/$1" 2>&1 | grep -q "$3"; then
    echo "FAIL: $1 has line information without its debug file"; failed=1
  fi
done
cmake --install "$build" --prefix "$work" --component debug >/dev/null
for entry in "tool.exe ToolMain tool_main.cpp" "Quorlin.dll quorlin_show exports_c.cpp"; do
  set -- $entry
  out=$(gdb -batch -ex "info line $2" "$work/bin/$1" 2>&1)
  if ! grep -q "^Line [0-9]* of \".*$3\"" <<<"$out"; then
    echo "FAIL: $2 in $1 has no source line with the debug file beside it:"; echo "$out"; failed=1
  fi
done
exit $failed
