#!/usr/bin/env bash
# Runs a command under this build's own Wine prefix: WINEPREFIX=<build>/wineprefix, never ~/.wine.
# Usage: wine-env.sh <build dir> <command> [args...]   (command "wine" means the wine64 binary)
# WINE_MORE_DLL_OVERRIDES adds to Wine's DLL overrides; Wine reads them only when a process starts
# from here, not from a Windows process's environment.
# The first call starts a persistent wineserver and boots the prefix with every stdio stream
# redirected (and the lock descriptor closed), so Wine's helper processes never hold a caller's pipe (ctest would wait on them).
set -u
build=$(cd "$1" && pwd); shift
export WINEPREFIX="$build/wineprefix" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml=${WINE_MORE_DLL_OVERRIDES:+;$WINE_MORE_DLL_OVERRIDES}"
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY
wine_bin=/usr/lib/wine/wine64
wineserver_bin=/usr/lib/wine/wineserver

mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wineserver_bin" -p </dev/null >/dev/null 2>&1 9>&-
    "$wine_bin" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  elif "$wineserver_bin" -p </dev/null >/dev/null 2>&1 9>&-; then
    # a server was not running: start Wine's services now, away from the caller's pipes
    "$wine_bin" wineboot </dev/null >/dev/null 2>&1 9>&-
  fi
) 9>"$build/wineprefix.lock"

if [ "${1:-}" = wine ]; then
  shift
  case " $* " in
    *" --gtest_list_tests "*)
      # Listing a test program's tests has no side effects, and one failed listing fails a whole
      # ctest run: a Wine start that fails silently (seen, rarely) is tried again.
      for attempt in 1 2 3; do
        if listing=$("$wine_bin" "$@"); then
          printf '%s\n' "$listing"
          exit 0
        fi
        sleep 1
      done
      exit 1
      ;;
    *" --gtest_filter="*)
      # One test of a test program. The program always prints before it tests anything, so a
      # non-zero exit with nothing at all on stdout and stderr is a Wine start that failed
      # (infrastructure): it is started once more. Whatever the test itself does stands: it is
      # never run again after it printed, nor after it passed. Output passes through as it comes.
      seen=$(mktemp -d)
      trap 'rm -rf "$seen"' EXIT
      for attempt in 1 2; do
        : >"$seen/out"
        : >"$seen/err"
        { { "$wine_bin" "$@" 3>&-; echo $? >"$seen/status"; } 2>&1 1>&3 3>&- |
          tee "$seen/err" >&2; } 3>&1 | tee "$seen/out"
        status=$(cat "$seen/status")
        if [ "$status" -eq 0 ] || [ -s "$seen/out" ] || [ -s "$seen/err" ]; then
          exit "$status"
        fi
        if [ "$attempt" -eq 1 ]; then
          echo "wine-env: $1 ended with status $status and printed nothing; starting it once more" >&2
          sleep 1
        fi
      done
      exit "$status"
      ;;
  esac
  exec "$wine_bin" "$@"
fi
exec "$@"
