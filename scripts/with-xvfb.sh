#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb server on a free display number, and stops
# that server afterwards, also when this script is interrupted or terminated (the command is then
# asked to stop too). Usage: with-xvfb.sh <command> [args...]
set -u
xvfb_pid=""
command_pid=""
fifo=$(mktemp -u)

stop() {
  rm -f "$fifo"
  if [ -n "$command_pid" ]; then
    kill "$command_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap stop EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb_pid=$!
display=""
# -displayfd writes the number it chose once the server accepts connections
read -r -t 60 display <"$fifo" || true
rm -f "$fifo"
if [ -z "$display" ]; then
  echo "with-xvfb: Xvfb did not start" >&2
  exit 1
fi
export DISPLAY=":$display"
# in the background, so that a signal reaches the traps at once; stdin stays the caller's
"$@" <&0 &
command_pid=$!
wait "$command_pid"
status=$?
command_pid=""
exit $status
