#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server on a free display number, and stops
# that server afterwards. Usage: with-xvfb.sh <command> [args...]
set -u
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
display=""
# -displayfd writes the number it chose once the server accepts connections
read -r -t 60 display <"$fifo" || true
rm -f "$fifo"
if [ -z "$display" ]; then
  echo "with-xvfb: Xvfb did not start" >&2
  kill "$xvfb_pid" 2>/dev/null
  exit 1
fi
export DISPLAY=":$display"
"$@"
status=$?
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
exit $status
