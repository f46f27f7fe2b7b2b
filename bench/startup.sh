#!/usr/bin/env bash
# Start-up and idle benchmarks under the same Wine in one run (see
# bench/startup_bench.cpp): Cairnstone.exe against minimal Win32 programs.
# Private memory is read from the Linux side (RssAnon of the Wine process).
#   bench/startup.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
echo '{"language":"en","wizardDone":true,"lastVersion":"1.3.0"}' >"$data/settings.json"
# The update check of the idle measure meets a closed port on this machine.
export CAIRN_DATA_DIR="$data" CAIRN_API_BASE=http://127.0.0.1:9 BENCH_EXE="$build/bin/startup_bench.exe"
run() { wineserver -p; wine "$BENCH_EXE" "${1:-11}"; wineserver -k; }
if [ -n "${DISPLAY:-}" ]; then run "$@"; else
  "$root/tools/xvfb_run.sh" -s "-screen 0 1280x1024x24" bash -c "$(declare -f run); run \"\$@\"" _ "$@"
fi
