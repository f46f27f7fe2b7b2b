#!/usr/bin/env bash
# Paint benchmark of the toolkit: one full paint of the demo window into its
# off-screen bitmap at 96 and 192 DPI against a plain fill of that bitmap.
#   bench/gui_paint.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$build/wineprefix"
wine_prefix_ready
export BENCH_EXE="$build/bin/gui_paint_bench.exe"
run() { wineserver -p; wine "$BENCH_EXE"; wineserver -k; }
with_display --screen 1280x1024x24 bash -c "$(declare -f run); run"
