#!/usr/bin/env bash
# Paint benchmark of the toolkit: one full paint of the demo window into its
# off-screen bitmap at 96 and 192 DPI against a plain fill of that bitmap.
#   bench/gui_paint.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all BENCH_EXE="$build/bin/gui_paint_bench.exe"
run() { wineserver -p; wine "$BENCH_EXE"; wineserver -k; }
if [ -n "${DISPLAY:-}" ]; then run; else
  "$root/tools/xvfb_run.sh" bash -c "$(declare -f run); run"
fi
