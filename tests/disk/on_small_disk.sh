#!/usr/bin/env bash
# Runs the full-disk tests on a disk that really fills: a small tmpfs mounted
# for the run (as root), which Wine reaches through its Z: drive.
# Usage: on_small_disk.sh TEST_PROGRAM [ARGS] (under dev.sh, which sets WINEPREFIX)
set -uo pipefail

program=$1
shift
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: WINEPREFIX is not set; run through ./dev.sh test"; exit 1; }
disk=$(mktemp -d)
if ! mount -t tmpfs -o size=256k,mode=0700 tmpfs "$disk"; then
  rmdir "$disk"
  echo "FAIL: cannot mount a small tmpfs (the full-disk tests need root)"
  exit 1
fi
trap 'umount "$disk"; rmdir "$disk"' EXIT
CAIRN_SMALL_DISK=$(winepath -w "$disk" 2>/dev/null)
export CAIRN_SMALL_DISK
wine "$program" "$@"
