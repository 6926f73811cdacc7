#!/usr/bin/env bash
# The repair log's folder under %ProgramData%, per case: what the folder is before a run that
# repairs the registration (three changed values), and the log, the files it leads to and the
# folder of the log's own beside it (used when the folder is someone else's) after two runs.
# Shaped here, not by a Windows process: Wine makes no links and keeps no access list, but reads a
# Unix symbolic link as a reparse point and the Unix mode as the folder's access list.
# Usage: log_folder_test.sh <build dir> <source root>
set -u
build=$(cd "$1" && pwd)
run="$(cd "$2" && pwd)/scripts/wine-env.sh"
scheme=BrevantLogFolderTest
base="$build/log_folder_test"
programData="$build/wineprefix/drive_c/ProgramData"
log="$programData/$scheme"
target="$base/target"
internet='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'

wine() { "$run" "$build" wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
cleanup() {
  wine reg delete "HKCR\\$scheme" /f >/dev/null
  rm -rf "$base" "$log" "$log"-repairs-*
}
trap cleanup EXIT
cleanup
mkdir -p "$base/program" "$target"
cp "$build/bin/tool.exe" "$base/program/"
printf '<root><windows><application name="%s"/></windows></root>' "$scheme" \
  >"$base/program/name.xml"
# hosts and proxy as the tool wants them, so that only the registration is repaired
printf '127.0.0.1            localhost.brevant.io\r\n' \
  >"$build/wineprefix/drive_c/windows/system32/drivers/etc/hosts.ics"
wine reg add "$internet" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null

# One run of the tool with the registration missing; prints what it printed and its status.
repair_run() {
  wine reg delete "HKCR\\$scheme" /f >/dev/null
  local out status
  out=$(cd "$base/program" && "$run" "$build" wine tool.exe --path report.html --lang en \
    </dev/null 2>/dev/null)
  status=$?
  echo "run: '$out' $status"
}
# Every file under a folder with its bytes, the times of log lines masked.
files() {
  (cd "$1" && find . -type f | sort | while read -r f; do
    echo "$f: $(sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z /(time) /' "$f" | tr -d '\r' |
      tr '\n' '|')"
  done)
}

program="Z:${base//\//\\}\\program\\"
json=${program//\\/\\\\}
lines="(time) registry HKEY_CLASSES_ROOT\\$scheme\\shell\\open\\command (default): absent -> \"\\\"$json$scheme-watch.exe\\\" \\\"%1\\\"\"|(time) registry HKEY_CLASSES_ROOT\\$scheme (default): absent -> \"URL:$scheme Protocol\"|(time) registry HKEY_CLASSES_ROOT\\$scheme \"URL Protocol\": absent -> \"\"|"

failed=0
# The files of the log's own folders beside the log's name, by folder ("-repairs-<8 hex digits>").
own() {
  local folder
  for folder in "$log"-repairs-*; do
    [ -d "$folder" ] || continue
    echo "$(basename "$folder" | sed -E 's/-repairs-[0-9A-F]{8}$/-repairs-(hex)/') $(files "$folder")"
  done
}
# check <case> <how the folder is made beforehand> <what is there after two runs>
check() {
  rm -rf "$log" "$log"-repairs-* "$target" && mkdir -p "$target"
  bash -c "$2"
  local got
  got="$(repair_run; repair_run)
log: $(files "$log")
target: $(files "$target")
mode: $(stat -c %A "$log")
own: $(own)"
  if [ "$got" != "$3" ]; then
    printf '%s:\n--- expected\n%s\n--- got\n%s\n' "$1" "$3" "$got"
    failed=1
  fi
}
runs="run: '' 0
run: '' 0"
# someone else's folder is left as it is, and the log kept in a folder of its own that the second
# run finds again
check "a folder others may write, holding a forged line" \
  "mkdir '$log' && printf 'forged line\r\n' >'$log/repairs.log' && chmod 0777 '$log'" \
  "$runs
log: ./repairs.log: forged line|
target: 
mode: drwxrwxrwx
own: $scheme-repairs-(hex) ./repairs.log: $lines$lines"
check "a link to another folder" "ln -s '$target' '$log'" "$runs
log: 
target: 
mode: lrwxrwxrwx
own: $scheme-repairs-(hex) ./repairs.log: $lines$lines"
check "none: made by the first run, used by the second" ":" "$runs
log: ./repairs.log: $lines$lines
target: 
mode: drwxr-x---
own: "
exit "$failed"
