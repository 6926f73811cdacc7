#!/usr/bin/env bash
# Builds the Windows binaries and packs them: build/windows/package/<name>-<version>-win64.zip and
# its -debug twin. Signs tool.exe and Quorlin.dll when COMPANIONS_SIGNING_PFX (and
# COMPANIONS_SIGNING_PASSWORD) name a code-signing certificate. Prints the shipped sizes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset windows >/dev/null
cmake --build --preset windows
build=build/windows
rm -f "$build"/package/*.zip
cpack --config "$build/CPackConfig.cmake" | grep -v '^CPack: -   '

size() { stat -c %s "$1"; }
echo
printf '%-24s %12s %12s\n' "shipped file" "built" "shipped"
dll_total=0
for f in "$build"/dist/bin/*; do
  name=$(basename "$f")
  printf '%-24s %12s %12s\n' "$name" "$(size "$build/bin/$name")" "$(size "$f")"
  [ "$name" = tool.exe ] || dll_total=$((dll_total + $(size "$f")))
done
printf '%-24s %12s %12s\n' "Quorlin.dll + runtime" "" "$dll_total"
for z in "$build"/package/*.zip; do
  printf '%-24s %12s %12s\n' "$(basename "$z" | sed 's/.*-win64/win64/')" "" "$(size "$z")"
done
echo "packages: $(ls "$build"/package/*.zip | tr '\n' ' ')"
if [ -z "${COMPANIONS_SIGNING_PFX:-}" ]; then
  echo "package: COMPANIONS_SIGNING_PFX is not set: tool.exe and Quorlin.dll are unsigned"
fi
