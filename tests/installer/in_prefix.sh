#!/usr/bin/env bash
# Runs a command against a Wine prefix of its own (the installer tests install
# into Program Files and HKLM, which the other tests must not see), with its
# own Wine server, ended afterwards. The prefix is made on first use and kept;
# the tests put it back to "nothing installed" themselves.
# Usage (under dev.sh test): in_prefix.sh PREFIX COMMAND [ARGS...]
set -uo pipefail

export WINEPREFIX=$1
shift
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  # A crashing program ends at once instead of waiting in Wine's debugger.
  wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1
  # Windows unmanaged under Xvfb, as in the tests' own prefix.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
fi
wineserver -p
# The desktop shell starts first, from a clean environment: an update starts
# the new program through it, so the program gets the shell's environment (as
# on Windows), not a test's.
env -u CAIRN_DATA_DIR -u CAIRN_UPDATE_MS -u CAIRN_FOREVER_DIR \
  wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
"$@"
rc=$?
# Gone before the next test starts a server for the same prefix.
wineserver -k
wineserver -w
exit $rc
