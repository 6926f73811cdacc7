#!/usr/bin/env bash
# The setup check started through its folder's long name registers it (exit status 1: wrong, then
# repaired); started through the folder's 8.3 alias and in upper case it finds that registration
# right (0), which still names the long folder. Started from here: a Windows process starting it
# would have Wine resolve the alias first.
# Usage: short_name_start_test.sh <build dir> <source root>
set -u
build=$(cd "$1" && pwd)
run="$2/scripts/wine-env.sh"
scheme=BrevantShortNameTestScheme
base="$build/setup_short_name_test"
dir="Z:${base//\//\\}\\Brevant Client Folder"
cleanup() {
  "$run" "$build" wine reg delete "HKCR\\$scheme" /f >/dev/null 2>&1
  rm -rf "$base"
}
trap cleanup EXIT
cleanup

mkdir -p "$base/Brevant Client Folder"
cp "$build/bin/setup_check_probe.exe" "$base/Brevant Client Folder/"
printf '<root><windows><application name="%s"/></windows></root>' "$scheme" \
  >"$base/Brevant Client Folder/name.xml"
short=$("$run" "$build" wine "$dir\\setup_check_probe.exe" --short-path "$dir" </dev/null | tr -d '\r')

failed=0
for start in "$dir:1" "$short:0" "${dir^^}:0"; do
  "$run" "$build" wine "${start%:*}\\setup_check_probe.exe" </dev/null >/dev/null 2>&1
  status=$?
  if [ "$status" -ne "${start##*:}" ]; then
    echo "started as ${start%:*}: expected exit status ${start##*:}, got $status"
    failed=1
  fi
done
registered=$("$run" "$build" wine reg query "HKCR\\$scheme\\shell\\open\\command" /ve 2>/dev/null)
if [[ "$short" != *'~'* || "$registered" != *"\"$dir\\$scheme-watch.exe\" \"%1\""* ]]; then
  echo "alias '$short'; registered: $registered"
  failed=1
fi
exit "$failed"
