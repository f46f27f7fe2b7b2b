#!/usr/bin/env bash
# Pictures of the main window (Status with and without a game folder, with
# one that lacks the addon and with an update ready, Settings), each setup
# wizard page (Done also without a game folder) and the keyboard focus mark,
# in English at 96 DPI and in German at 144 DPI, painted under Xvfb and saved
# as PNG into docs/; and the Settings tab and the wizard's language page as
# they fit a 1366 x 768 laptop screen at 125 % (its work area less a taskbar
# of 50 pixels), in English and Dutch.
#   tools/ui_screenshots.sh            (uses $CAIRN_BUILD_DIR or build/)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${CAIRN_BUILD_DIR:-$root/build}"
export CAIRN_BUILD_DIR="$build"
# Configured by dev.sh on first use; only the picture program is built here.
[ -f "$build/build.ninja" ] || "$root/dev.sh" build >/dev/null
cmake --build "$build" --target CairnUiShots >&2

# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$build/wineprefix"
# Nothing reaches the network: the pictures need no update service.
export CAIRN_API_BASE=http://127.0.0.1:9

wine_prefix_ready
# A scratch data folder, and the game where a user would have it: C:\Games.
scratch=$(mktemp -d)
games="$WINEPREFIX/drive_c/Games"
trap 'rm -rf "$scratch" "$games"' EXIT
mkdir -p "$scratch/data" "$games" "$root/docs"

# Inside the display: one Wine server of its own, ended afterwards.
shoot_all() {
  wineserver -p
  export CAIRN_DATA_DIR
  CAIRN_DATA_DIR=$(winepath -w "$1/data")
  local docs rc=0
  docs=$(winepath -w "$2")
  for shot in "en 96" "de 144" "en 120 1366x768 1366x718" "nl 120 1366x768 1366x718"; do
    rm -rf "$1/data" && mkdir -p "$1/data"
    # shellcheck disable=SC2086
    wine "$3" "$docs" 'C:\Games' $shot || rc=$?
  done
  wineserver -k || true
  return $rc
}
"$root/tools/xvfb_run.sh" -s "-screen 0 1920x1200x24" \
  bash -c "$(declare -f shoot_all); shoot_all \"\$@\"" _ "$scratch" "$root/docs" "$build/tests/bin/CairnUiShots.exe"
ls "$root"/docs/main-*.png "$root"/docs/setup-*.png "$root"/docs/focus-*.png
