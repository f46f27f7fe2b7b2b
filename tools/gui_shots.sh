#!/usr/bin/env bash
# Screenshots of the toolkit demo window for docs/, taken under a private Xvfb:
#   docs/gui-demo-96.png   the window on screen at 96 DPI (title bar included)
#   docs/gui-demo-144.png  the window painted off-screen at 144 DPI
# Usage: tools/gui_shots.sh   (builds first; CAIRN_BUILD_DIR picks the build folder)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$build/wineprefix"
wine_prefix_ready
# The on-screen picture shows the window's own frame, not one Wine draws for
# windows no window manager looks after (dev.sh switches back for tests).
wine_window_manager Y
for tool in import xwininfo; do
  command -v "$tool" >/dev/null || { echo "gui_shots.sh: needs $tool (apt-get install imagemagick x11-utils)" >&2; exit 1; }
done
out="$root/docs"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shoot() {
  set -euo pipefail
  local demo="$1" out="$2" work="$3"
  wineserver -p
  wine "$demo" --shot "$(winepath -w "$work/shot144.png")" 144
  wine "$demo" &
  local pid=$! geometry=""
  window_geometry() {
    # The mapped window in the tree: "name": (class)  WxH+x+y  +absX+absY
    xwininfo -root -tree 2>/dev/null | awk '/"Cairnstone toolkit"/ {
      split($(NF-1), size, /[x+]/); split($NF, pos, /\+/)
      if (size[1] >= 400) { printf "%sx%s+%s+%s", size[1], size[2], pos[2], pos[3]; exit } }'
  }
  for _ in $(seq 1 100); do
    geometry=$(window_geometry) || true
    [ -n "$geometry" ] && break
    sleep 0.1
  done
  sleep 2  # let it settle where it belongs and paint
  geometry=$(window_geometry)
  /usr/bin/import -window root -crop "$geometry" +repage "$work/shot96.png"
  kill "$pid" 2>/dev/null || true
  wineserver -k || true
  cp "$work/shot96.png" "$out/gui-demo-96.png"
  cp "$work/shot144.png" "$out/gui-demo-144.png"
}

# A screen that holds the window at 144 DPI too: on a smaller one it would
# be laid out smaller, to fit.
"$root/tools/xvfb_run.sh" -s "-screen 0 2048x1536x24 -dpi 96" \
  bash -c "$(declare -f shoot); shoot \"\$@\"" _ "$build/bin/CairnGuiDemo.exe" "$out" "$work"
echo "wrote $out/gui-demo-96.png and $out/gui-demo-144.png"
