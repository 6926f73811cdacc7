#!/usr/bin/env bash
# The setup check, run from a directory whose program path is longer than 260 characters, must
# register that directory whole (exit status 1: wrong, then repaired) and, on the next run, read its
# own registration back as correct (exit status 0). Wine cannot start such a program from inside a
# Windows process, so the copy is started from here.
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

probe() {
  (cd "$dir" && "$run" "$build" wine ./setup_check_probe.exe </dev/null >/dev/null 2>&1)
}

probe
status=$?
if [ "$status" -ne 1 ]; then
  echo "first run: expected exit status 1 (wrong, repaired), got $status"
  exit 1
fi
# the check compares the stored value with the command built from the whole path
probe
status=$?
if [ "$status" -ne 0 ]; then
  echo "second run: expected exit status 0 (correct), got $status"
  exit 1
fi
echo "registered whole, then read back as correct"
