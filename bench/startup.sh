#!/usr/bin/env bash
# Start-up benchmarks under the same Wine in one run: Cairnstone.exe
# --background against a minimal hidden-window program; --open until the main
# window is painted, and the peak working set after each window was opened and
# closed once, against a minimal program with one empty window.
#   bench/startup.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
echo '{"language":"en","wizardDone":true,"lastVersion":"1.3.0"}' >"$data/settings.json"
export CAIRN_DATA_DIR="$data" BENCH_EXE="$build/bin/startup_bench.exe"
run() { wineserver -p; wine "$BENCH_EXE" "${1:-15}"; wineserver -k; }
if [ -n "${DISPLAY:-}" ]; then run "$@"; else
  xvfb-run -a bash -c "$(declare -f run); run \"\$@\"" _ "$@"
fi
