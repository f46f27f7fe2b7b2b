#!/usr/bin/env bash
# Start-up and idle benchmarks under the same Wine in one run (see
# bench/startup_bench.cpp): Cairnstone.exe against minimal Win32 programs.
# Private memory is read from the Linux side (RssAnon of the Wine process).
#   bench/startup.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$build/wineprefix"
wine_prefix_ready
# As ./dev.sh run and test leave it: managed on a real display, not under Xvfb.
if [ -n "${DISPLAY:-}" ]; then wine_window_manager Y; else wine_window_manager N; fi
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
echo '{"language":"en","wizardDone":true,"lastVersion":"1.3.0"}' >"$data/settings.json"
# The update check of the idle measure meets a closed port on this machine.
export CAIRN_DATA_DIR="$data" CAIRN_API_BASE=http://127.0.0.1:9 BENCH_EXE="$build/bin/startup_bench.exe"
run() { wineserver -p; wine "$BENCH_EXE" "${1:-11}"; wineserver -k; }
with_display --screen 1280x1024x24 bash -c "$(declare -f run); run \"\$@\"" _ "$@"
