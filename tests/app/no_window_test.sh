#!/usr/bin/env bash
# A first instance whose notification-area window cannot be made must not
# live on unreachable, holding the single-instance mutex. The window is made
# to fail for real: Wine finds no display for a program started without one.
# The instance then logs why, stops and ends with exit code 1, and the next
# start with a display is a first instance again.
# Usage: no_window_test.sh CAIRNSTONE_EXE (under dev.sh)
set -uo pipefail

exe=$1
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: WINEPREFIX is not set; run through ./dev.sh test"; exit 1; }
data=$(mktemp -d)
instance=""
cleanup() {
  if [ -n "$instance" ]; then
    wine "$exe" --quit </dev/null >/dev/null 2>&1
    wait "$instance" 2>/dev/null
  fi
  rm -rf "$data"
}
trap cleanup EXIT
CAIRN_DATA_DIR=$(winepath -w "$data" 2>/dev/null)
export CAIRN_DATA_DIR
fail() { echo "FAIL: $*"; cat "$data/cairn.log" 2>/dev/null; exit 1; }

rc=0
DISPLAY= timeout 30 wine "$exe" --background </dev/null >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 1 ] || fail "a first instance without its window ended with $rc, not 1"
log=$(sed 's/^.\{21\}//' "$data/cairn.log" | tr -d '\r')
[ "$(grep -c '^the notification-area window could not be created (' <<<"$log")" = 1 ] ||
  fail "no log line for the missing window"
! grep -q started <<<"$log" || fail "an instance without its window logged its start"
[ "$(tail -n 1 <<<"$log")" = "Cairn stopped" ] || fail "the controller was not stopped last"

wine "$exe" --background </dev/null >/dev/null 2>&1 &
instance=$!
for _ in $(seq 1 100); do
  wine "$exe" --running </dev/null >/dev/null 2>&1 && { echo "PASS"; exit 0; }
  sleep 0.2
done
fail "the next start did not become the running instance"
