#!/usr/bin/env bash
# Full disks: small tmpfs mounts (the machine's user is root) for the folders a run writes, in a
# Wine prefix of this test's own. %ProgramData% (the repair log's folder) and the report are on
# drives of their own (P: and R:), which Wine knows as volumes once its server starts again; the
# hosts file's folder is a mount of its own. Each gets a file that fills it but for the room a case
# leaves. A change
# whose old value cannot be written down is not made and the log stays as it was; a report that
# cannot be written leaves no file; a hosts text that does not fit leaves the file and its folder
# as they were, the error logged as the disk's. Exits with 77 (skipped) where no tmpfs can be
# mounted. Usage: full_disk_test.sh <build dir> <source root>
set -u
build=$(cd "$1" && pwd)
run="$(cd "$2" && pwd)/scripts/wine-env.sh"
base="$build/full_disk_test"
prefix="$base/wineprefix"
programData="$base/drive_p/ProgramData"
etc="$prefix/drive_c/windows/system32/drivers/etc"
scheme=BrevantFullDiskTest
mounts=()

stop_wine() { WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k 2>/dev/null; }
cleanup() {
  stop_wine
  local m
  for m in "${mounts[@]}"; do umount "$m"; done
  rm -rf "$base"
}
[ -n "${KEEP:-}" ] || trap cleanup EXIT
rm -rf "$base"
mkdir -p "$base/probe"
if ! mount -t tmpfs -o size=64k tmpfs "$base/probe" 2>/dev/null; then
  echo "full_disk_test: no tmpfs can be mounted here; skipped"
  exit 77
fi
umount "$base/probe"

wine() { "$run" "$base" wine "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# a small tmpfs over a folder, keeping what the folder held
mounted() {
  local saved="$base/saved"
  rm -rf "$saved" && mkdir -p "$1" && cp -a "$1" "$saved" &&
    mount -t tmpfs -o size=2m,mode=0755 tmpfs "$1" && mounts+=("$1") && cp -a "$saved/." "$1/"
}
# a file that fills the folder's tmpfs but for room bytes
room() {
  rm -f "$1/.filler"
  local avail
  avail=$(df --output=avail -B1 "$1" | tail -n 1)
  fallocate -l $((avail - $2)) "$1/.filler"
}
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList' /v ProgramData \
  /d 'P:\ProgramData' /f >/dev/null
stop_wine
mounted "$base/drive_p" && mounted "$etc" && mounted "$base/drive_r" || exit 1
mkdir "$programData"
ln -s "$base/drive_p" "$prefix/dosdevices/p:"
ln -s "$base/drive_r" "$prefix/dosdevices/r:"

mkdir -p "$base/program"
cp "$build/bin/tool.exe" "$base/program/"
printf '<root><windows><application name="%s"/></windows></root>' "$scheme" \
  >"$base/program/name.xml"
printf '127.0.0.1            localhost.brevant.io\r\n' >"$etc/hosts.ics"
# one run; what it printed and its status, then the report's result cells, when there is one
tool() {
  local out status
  out=$(cd "$base/program" && "$run" "$base" wine tool.exe --path "$1" --lang en \
    </dev/null 2>/dev/null)
  status=$?
  echo "run: '$(printf '%s' "$out" | tr -d '\r')' $status"
  [ -f "$base/program/report.html" ] &&
    echo "rows: $(grep -o '>[A-Z][a-z]*</font>' "$base/program/report.html" | tr -d '<>/' |
      sed 's/font$//' | tr '\n' ' ')"
  rm -f "$base/program/report.html"
}
listing() { (cd "$1" && find . -mindepth 1 | sort | tr '\n' ' '); }
log() { sed -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z //' "$1" 2>/dev/null | tr -d '\r' | tr '\n' '|'; }
registered() {
  "$run" "$base" wine reg query "HKCR\\$scheme" </dev/null >/dev/null 2>&1 && echo yes || echo no
}

failed=0
expect() {
  if [ "$2" != "$3" ]; then
    printf '%s:\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
    failed=1
  fi
}

# %ProgramData% with room for the log, then with none: the registration is repaired and logged,
# then not repaired at all, the log as it was and nothing else left beside it
room "$base/drive_p" 65536
tool report.html >/dev/null
# the log padded to a whole page of the tmpfs, so that any line more needs room
size=$(stat -c %s "$programData/$scheme/repairs.log")
printf '%*s\r\n' $(((8192 - size % 4096 - 2) % 4096)) '' | tr ' ' x >>"$programData/$scheme/repairs.log"
lines=$(log "$programData/$scheme/repairs.log")
wine reg delete "HKCR\\$scheme" /f >/dev/null
room "$base/drive_p" 0
got="$(tool report.html)
registered: $(registered)
logged before: $(echo "$lines" | tr '|' '\n' | grep -c "^registry ") in $(($(stat -c %s "$programData/$scheme/repairs.log") % 4096))
log: $([ "$(log "$programData/$scheme/repairs.log")" = "$lines" ] && echo as it was)
beside it: $(listing "$programData/$scheme")"
expect "a full log folder" "run: '' 0
rows: Correct Error Defeated Correct 
registered: no
logged before: 3 in 0
log: as it was
beside it: ./repairs.log " "$got"

# the report's drive with room, then with none: "Can't write" and no file left there
room "$base/drive_r" 65536
got="$(tool 'R:\report.html' | head -n 1)
drive: $(listing "$base/drive_r")"
expect "a report drive with room" "run: '' 0
drive: ./.filler ./report.html " "$got"
rm -f "$base/drive_r/report.html"
room "$base/drive_r" 0
got="$(tool 'R:\report.html')
drive: $(listing "$base/drive_r")"
expect "a full report drive" "run: 'Can't write R:\report.html' 255
drive: ./.filler " "$got"

# the hosts file's folder with room for a part of its new text: the write that falls short is
# logged with the disk's error, and the file and the folder stay as they were
room "$base/drive_p" 65536
head -c 200000 /dev/zero | tr '\0' '#' | fold -w 99 | sed 's/$/\r/' >"$etc/hosts.ics"
sum=$(md5sum <"$etc/hosts.ics")
room "$etc" 16384
before=$(listing "$etc")
got="$(tool report.html)
hosts: $([ "$(md5sum <"$etc/hosts.ics")" = "$sum" ] && echo as it was)
folder: $([ "$(listing "$etc")" = "$before" ] && echo as it was)
failures: $(log "$programData/$scheme/repairs.log" | tr '|' '\n' | grep "^repair failed")"
expect "a hosts folder that fills up" "run: '' 0
rows: Error Defeated Error Success Correct 
hosts: as it was
folder: as it was
failures: repair failed: Domain Name: write (error 112)" "$got"
exit "$failed"
