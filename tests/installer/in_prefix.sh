#!/usr/bin/env bash
# Runs a command against a Wine prefix of its own (the installer tests install
# into Program Files and HKLM, which the other tests must not see), with its
# own Wine server, ended afterwards. The prefix is made on first use and kept;
# the tests put it back to "nothing installed" themselves.
# Usage (under dev.sh test): in_prefix.sh PREFIX COMMAND [ARGS...]
set -uo pipefail

# shellcheck source=tools/wine_env.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tools/wine_env.sh"
wine_env "$1"
shift
# Booted as the tests' own prefix: no debugger on a crash, windows unmanaged.
wine_prefix_ready
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
