#!/usr/bin/env bash
# One registration whichever way the program is started: the setup check started through its
# folder's long name registers it (exit status 1: wrong, then repaired); started through the
# folder's 8.3 alias and in other letter case it finds that registration right (exit status 0),
# which still names the folder by its long name. Started from here, as a Windows process would
# have Wine's start resolve the alias before the program sees its own path.
# Usage: short_name_start_test.sh <build dir> <source root>
set -u
build=$(cd "$1" && pwd)
run="$2/scripts/wine-env.sh"
scheme=BrevantShortNameTestScheme
base="$build/setup_short_name_test"
dir="$base/Brevant Client Folder"
windows_dir="Z:${dir//\//\\}"

cleanup() {
  "$run" "$build" wine reg delete "HKCR\\$scheme" /f >/dev/null 2>&1
  rm -rf "$base"
}
trap cleanup EXIT
cleanup

mkdir -p "$dir"
cp "$build/bin/setup_check_probe.exe" "$dir/"
printf '<root><windows><application name="%s"/></windows></root>' "$scheme" >"$dir/name.xml"
short_dir=$("$run" "$build" wine "$windows_dir\\setup_check_probe.exe" --short-path "$windows_dir" \
  </dev/null 2>/dev/null | tr -d '\r')
case "$short_dir" in
  *'~'*) ;;
  *) echo "no 8.3 alias for $windows_dir: '$short_dir'"; exit 1 ;;
esac

failed=0
expect() {
  local program="$1" status="$2"
  "$run" "$build" wine "$program" </dev/null >/dev/null 2>&1
  local got=$?
  if [ "$got" -ne "$status" ]; then
    echo "$program: expected exit status $status, got $got"
    failed=1
  fi
}
expect "$windows_dir\\setup_check_probe.exe" 1
expect "$short_dir\\setup_check_probe.exe" 0
expect "${windows_dir^^}\\SETUP_CHECK_PROBE.EXE" 0

registered=$("$run" "$build" wine reg query "HKCR\\$scheme\\shell\\open\\command" /ve 2>/dev/null)
if [[ "$registered" != *"\"$windows_dir\\$scheme-watch.exe\" \"%1\""* ]]; then
  echo "the registration does not name the long folder: $registered"
  failed=1
fi
[ "$failed" -eq 0 ] && echo "one registration through the long name, the 8.3 alias and upper case"
exit "$failed"
