#!/usr/bin/env bash
# Pictures of each page of Cairnstone-Setup (welcome, language, game folder,
# finish) and of its uninstaller's (confirm, progress), in English and in
# German, under Xvfb into docs/. It installs into a scratch Wine prefix, removed afterwards.
#   tools/setup_screenshots.sh            (uses $CAIRN_BUILD_DIR or build/)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${CAIRN_BUILD_DIR:-$root/build}"
[ -f "$build/build.ninja" ] || "$root/dev.sh" build >/dev/null
cmake --build "$build" --target Cairnstone_setup setup_page >&2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$scratch/prefix"
# Wine takes Windows' language from the locale: German needs its glibc locale.
localedef -i de_DE -f UTF-8 "$scratch/de_DE.UTF-8" 2>/dev/null || true
export LOCPATH="$scratch"

# Inside the display: a Wine server of its own; each page is pictured, then
# its default button pressed.
shoot_all() {
  local setup=$1 page=$2 docs=$3 program='C:\Program Files\Cairnstone'
  wineserver -p
  # The setup asks the desktop shell for the signed-in user's choices and has
  # the program place the addon through it, as Windows has it at sign-in:
  # Wine's desktop starts first.
  wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
  # A picture of the page after SECONDS (default 2).
  shot() {
    sleep "${2:-2}"
    local x y w h
    # The setup's window may be slow to show on a busy machine.
    for _ in $(seq 1 30); do
      read -r x y w h < <(wine "$page" rect | tr -d '\r')
      [ -n "${h:-}" ] && break
      sleep 1
    done
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$docs/installer-$1.png"
  }
  # Waits (bounded) for the last program started in the background to end.
  ended() { for _ in $(seq 1 100); do kill -0 $! 2>/dev/null || return 0; sleep 0.2; done; }
  for language in en de; do
    local locale=C.UTF-8
    [ $language = de ] && locale=de_DE.UTF-8
    LC_ALL=$locale wine "$setup" </dev/null >/dev/null 2>&1 &
    shot "1-welcome-$language" 6 && wine "$page" next
    shot "2-language-$language" && wine "$page" next
    shot "3-folder-$language" && wine "$page" next
    shot "4-finish-$language" 10 && wine "$page" next
    ended
    wine "$program\\Cairnstone.exe" --quit >/dev/null 2>&1 || true
    sleep 1
    LC_ALL=$locale wine "$program\\uninstall.exe" </dev/null >/dev/null 2>&1 &
    shot "5-uninstall-$language" && wine "$page" next
    # The setup's progress page passes too quickly to picture; the
    # uninstaller's, the same page, stays at its end until it is closed.
    shot "6-progress-$language"
    # Its progress page closes with the same button once it is done; the next
    # setup may start when no Cairnstone window is left.
    for _ in 1 2 3 4 5; do sleep 2; wine "$page" next || break; done
    # The next setup would preselect this one's choices, which the user's
    # data folder keeps: each language starts as a new user.
    rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Cairn
  done
  wineserver -k || true
}
wine_prefix_ready
"$root/tools/xvfb_run.sh" -s "-screen 0 1280x1024x24" bash -c "$(declare -f shoot_all); shoot_all \"\$@\"" _ \
  "$(ls "$build"/bin/Cairnstone-Setup-*.exe | head -1)" "$build/bin/setup_page.exe" "$root/docs"
ls "$root"/docs/installer-*.png
