#!/usr/bin/env bash
# Download benchmark: downloadInstaller of a 128 MiB installer from the local
# test service (inside download_bench.exe, under Wine) against curl plus
# sha256sum of the same file from the same service, interleaved in one run.
#   bench/download.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/dev.sh" build >/dev/null
build="${CAIRN_BUILD_DIR:-$root/build}"
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
wine_env "$build/wineprefix"
wine_prefix_ready
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
runs=${1:-5}

# The curl side: each time the program asks, one timed download and hash.
curl_side() {
  local i=0 deadline=$((SECONDS + 1200))
  while [ $i -lt "$runs" ] && [ $SECONDS -lt $deadline ]; do
    if [ -e "$control/go-$i" ]; then
      local url begin end
      url=$(tr -d '\r\n' <"$control/url")
      begin=$(date +%s%N)
      curl -sf --noproxy '*' -o "$control/file" "$url"
      sha256sum "$control/file" >/dev/null
      end=$(date +%s%N)
      rm -f "$control/file"
      echo "$(((end - begin) / 1000000))" >"$control/curl-$i"
      i=$((i + 1))
    else
      sleep 0.05
    fi
  done
}

wineserver -p
wine "$build/bin/download_bench.exe" "Z:${control//\//\\}" "$runs" &
bench=$!
curl_side
wait $bench
wineserver -k
