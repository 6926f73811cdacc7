#!/usr/bin/env bash
# The setup check, run from a directory whose program path does not fit 259 characters, must be an
# internal error (exit status 2) and must write nothing. Wine cannot start such a program from
# inside a Windows process, so the copy is started from here.
# Usage: long_program_path_test.sh <build dir> <source root>
set -u
build=$(cd "$1" && pwd)
run="$2/scripts/wine-env.sh"
scheme=BrevantLongPathTestScheme
segment=$(printf 'd%.0s' $(seq 80))
base="$build/setup_long_path_test"
dir="$base/$segment/$segment/$segment"

cleanup() {
  "$run" "$build" wine reg delete "HKCR\\$scheme" /f >/dev/null 2>&1
  rm -rf "$base"
}
trap cleanup EXIT
cleanup

mkdir -p "$dir"
cp "$build/bin/setup_check_probe.exe" "$dir/"
printf '<root><windows><application name="%s"/></windows></root>' "$scheme" >"$dir/name.xml"

(cd "$dir" && "$run" "$build" wine ./setup_check_probe.exe </dev/null >/dev/null 2>&1)
status=$?
if [ "$status" -ne 2 ]; then
  echo "expected exit status 2 (internal error), got $status"
  exit 1
fi
if "$run" "$build" wine reg query "HKCR\\$scheme" >/dev/null 2>&1; then
  echo "the registry key HKCR\\$scheme was written"
  exit 1
fi
echo "internal error, nothing written"
