# shellcheck shell=bash
# Sourced by dev.sh, tools/*.sh, bench/*.sh and the installer tests: the
# environment every Wine run of ours has, a prefix booted before its first
# use, and a display to run in.
#   wine_env PREFIX             exports WINEPREFIX and the quiet defaults
#   wine_prefix_ready           boots the prefix if it is new; no debugger on a crash
#   wine_window_manager Y|N     whether a window manager looks after Wine's windows
#   with_display [--screen WxHxD] COMMAND...
# Call wine_prefix_ready and wine_window_manager before a persistent Wine
# server ("wineserver -p") starts: both wait for the server to end. A program
# started in a prefix that is not there yet makes Wine boot it on the spot,
# inside whatever runs then (a persistent server, a benchmark's timing), with
# windows managed and Wine's debugger waiting on a crash; so every script
# boots first.

wine_env_tools=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The X screen the tests run on without a display. Wine grants a virtual
# desktop no larger than the screen, and the DPI test asks for one of
# 2000 x 1400 that holds the main window at 144 DPI (1350 x 960 pixels inside).
wine_screen=2048x1536x24

wine_env() {
  export WINEPREFIX=$1
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko: nothing of ours needs them, and their installers would
  # ask on the screen at the first boot.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
}

wine_prefix_ready() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix in $WINEPREFIX" >&2
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    # Headless unless told otherwise (dev.sh run on a real display says Y).
    wine_window_manager N
  fi
  wine_no_debugger
}

# A crashing program ends at once, with its exception's code, instead of
# waiting in Wine's debugger: a crash fails its test rather than hanging the
# run. The debugger named cannot start; without any, Wine starts winedbg,
# whose crash dialog nobody closes under Xvfb.
wine_no_debugger() {
  local marker="$WINEPREFIX/.cairn-no-debugger"
  [ -f "$marker" ] && return 0
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /d 'no-debugger %ld %ld' /f >/dev/null 2>&1 || true
  wineserver -w
  touch "$marker"
}

# Xvfb has no window manager: there Wine would wait up to two seconds for one
# at every window it hides or destroys (the tray icon's too), so headless runs
# use N. The marker keeps the registry write (and its wait) to a change.
wine_window_manager() {
  local marker="$WINEPREFIX/.cairn-managed"
  [ "$(cat "$marker" 2>/dev/null)" = "$1" ] && return 0
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$1" /f >/dev/null 2>&1 || true
  wineserver -w
  echo "$1" >"$marker"
}

# Runs a command with a display: the real one, or a private Xvfb.
with_display() {
  local screen=$wine_screen
  if [ "${1:-}" = --screen ]; then screen=$2; shift 2; fi
  if [ -n "${DISPLAY:-}" ]; then "$@"; else
    "$wine_env_tools/xvfb_run.sh" -s "-screen 0 $screen" "$@"
  fi
}
