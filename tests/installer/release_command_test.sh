#!/usr/bin/env bash
# `./dev.sh release` refuses bad input before it builds anything: a clear
# message, its exit code, and no published tree.
# Usage: release_command_test.sh
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
test_key="$root/tests/update/keys/TEST-ONLY-release-key.pem"
failures=0

# expected exit code | expected message | arguments after "release"
cases=(
  "2|usage: ./dev.sh release|"
  "2|usage: ./dev.sh release|1.4.0 --key $test_key --base http://127.0.0.1 --out"
  "2|is not a version like 1.4.0|1.4.0.0.1 --key $test_key --base http://127.0.0.1 --out $work/site"
  "2|no private key|1.4.0 --key $work/missing.pem --base http://127.0.0.1 --out $work/site"
  "2|no certificate|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site --sign-cert $work/missing.p12"
  "1|is not the private half of|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site"
)
for case in "${cases[@]}"; do
  IFS='|' read -r code message arguments <<<"$case"
  # shellcheck disable=SC2086
  CAIRN_BUILD_DIR="$work/build" "$root/dev.sh" release $arguments >"$work/out" 2>&1
  rc=$?
  if [ "$rc" != "$code" ] || ! grep -qF "$message" "$work/out"; then
    echo "FAIL: release $arguments: exit $rc, $(cat "$work/out")"
    failures=$((failures + 1))
  fi
  [ -e "$work/site" ] || [ -e "$work/build" ] && { echo "FAIL: release $arguments made files"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "bad release input refused: ${#cases[@]} cases"
