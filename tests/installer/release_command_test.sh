#!/usr/bin/env bash
# `./dev.sh release` refuses bad input before it builds anything: a clear
# message, its exit code, and no published tree. Then whole releases with the
# build stood in for (cmake makes the two files a build makes, in a second;
# the installer is signed by the real installer/sign.sh) and the real
# --verify-release of PROGRAM (built with the TEST-ONLY key) under Wine:
# what is published is byte for byte what the program checked, a published
# installer is never replaced by other bytes, and no password reaches Wine.
# Usage: release_command_test.sh PROGRAM   (run by CTest under dev.sh)
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
test_key="$root/tests/update/keys/TEST-ONLY-release-key.pem"
addon="$root/tests/installer/addon"
mkdir -p "$work/no-addon"
failures=0
# The test key under a password: a release key is never plaintext.
enc_password="enc password $$"
CAIRN_RELEASE_KEY_PASSWORD=$enc_password openssl pkcs8 -topk8 -scrypt -in "$test_key" \
  -passout env:CAIRN_RELEASE_KEY_PASSWORD -out "$work/enc.pem" ||
  { echo "FAIL: encrypting the test key"; exit 1; }

# expected exit code | expected message | arguments after "release"
cases=(
  "2|usage: ./dev.sh release|"
  "2|usage: ./dev.sh release|1.4.0 --key $test_key --base http://127.0.0.1 --addon $addon --out"
  "2|is not a version like 1.4.0|1.4.0.0.1 --key $test_key --base http://127.0.0.1 --out $work/site --addon $addon"
  "2|no private key|1.4.0 --key $work/missing.pem --base http://127.0.0.1 --out $work/site --addon $addon"
  "2|no certificate|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site --addon $addon --sign-cert $work/missing.p12"
  "2|a release needs the addon: give --addon FOLDER|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site"
  "2|holds no addon (no Cairn.toc)|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site --addon $work/no-addon"
  "2|holds no addon (no Cairn.toc)|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site --addon $work/missing"
  "1|is not encrypted: a release key is kept under a password|1.4.0 --key $test_key --base http://127.0.0.1 --out $work/site --addon $addon"
  "1|is not the private half of|1.4.0 --key $work/enc.pem --base http://127.0.0.1 --out $work/site --addon $addon"
)
for case in "${cases[@]}"; do
  IFS='|' read -r code message arguments <<<"$case"
  # shellcheck disable=SC2086
  CAIRN_BUILD_DIR="$work/build" CAIRN_RELEASE_KEY_PASSWORD=$enc_password \
    "$root/dev.sh" release $arguments </dev/null >"$work/out" 2>&1
  rc=$?
  if [ "$rc" != "$code" ] || ! grep -qF "$message" "$work/out"; then
    echo "FAIL: release $arguments: exit $rc, $(cat "$work/out")"
    failures=$((failures + 1))
  fi
  [ -e "$work/site" ] || [ -e "$work/build" ] && { echo "FAIL: release $arguments made files"; failures=$((failures + 1)); }
done
[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "bad release input refused: ${#cases[@]} cases"

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
program=$1
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: WINEPREFIX is not set; run through ./dev.sh test"; exit 1; }
real_wine=$(command -v wine)
mkdir -p "$work/bin" "$work/env" "$work/checked" "$work/release"
# The release builds in this test's own folder but runs in the test prefix.
ln -s "$WINEPREFIX" "$work/release/wineprefix"

# The stand-ins find their way through these.
export FAKE_WORK=$work FAKE_PROGRAM=$program FAKE_ROOT=$root REAL_WINE=$real_wine
cat >"$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
# cmake as ./dev.sh release uses it: configure records the definitions, the
# build makes bin/Cairnstone.exe and the installer (from setup-source).
set -eu
env >"$FAKE_WORK/env/cmake.$$"
if [ "$1" = --build ]; then
  dir=$2
  version=$(sed -n 's/^-DCAIRN_VERSION=//p' "$dir/definitions")
  cert=$(sed -n 's/^-DCAIRN_SIGN_CERT=//p' "$dir/definitions")
  setup=$dir/bin/Cairnstone-Setup-$version.exe
  mkdir -p "$dir/bin"
  cp "$FAKE_PROGRAM" "$dir/bin/Cairnstone.exe"
  cp "$FAKE_WORK/setup-source" "$setup"
  [ -z "$cert" ] || CAIRN_SIGN_CERT=$cert bash "$FAKE_ROOT/installer/sign.sh" "$setup"
else
  while [ $# -gt 0 ]; do
    case "$1" in -B) dir=$2; shift ;; -D*) definitions+=("$1") ;; esac
    shift
  done
  mkdir -p "$dir"
  printf '%s\n' "${definitions[@]}" >"$dir/definitions"
fi
FAKE
cat >"$work/bin/wine" <<'FAKE'
#!/usr/bin/env bash
# Wine, noting its environment and keeping a copy of what it is asked to check.
env >"$FAKE_WORK/env/wine.$$"
args=("$@")
for i in "${!args[@]}"; do
  case "${args[$i]}" in
    --verify-release) cp "$(winepath -u "${args[$i+1]}")" "$FAKE_WORK/checked/record" ;;
    --file) cp "$(winepath -u "${args[$i+1]}")" "$FAKE_WORK/checked/installer" ;;
  esac
done
exec "$REAL_WINE" "$@"
FAKE
chmod +x "$work/bin/cmake" "$work/bin/wine"

# A throw-away code-signing certificate, and the test key under a password.
sign_password="sign password $$"
key_password="key password $$"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Cairnstone release test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null &&
openssl pkcs12 -export -inkey "$work/signer.key" -in "$work/signer.pem" -passout fd:3 \
  -out "$work/signer.p12" 3<<<"$sign_password" &&
CAIRN_RELEASE_KEY_PASSWORD=$key_password openssl pkcs8 -topk8 -scrypt -in "$test_key" \
  -passout env:CAIRN_RELEASE_KEY_PASSWORD -out "$work/key.pem" ||
  { echo "FAIL: making the test certificate and key"; exit 1; }

site=$work/site
published=$site/download/Cairnstone-Setup-9.8.7.exe
release() {
  rm -f "$work/checked/"*
  PATH="$work/bin:$PATH" CAIRN_BUILD_DIR="$work/release" CAIRN_API_BASE=https://cairnstone.app \
    CAIRN_RELEASE_KEY_FILE="$root/tests/update/keys/TEST-ONLY-release-public.key" \
    CAIRN_RELEASE_KEY_PASSWORD=$key_password CAIRN_SIGN_PASSWORD=$sign_password \
    "$root/dev.sh" release 9.8.7 --key "$work/key.pem" --base https://cairnstone.app --out "$site" \
    --addon "$addon" "$@" \
    </dev/null >"$work/out" 2>&1
}

# A signed release: published exactly as checked, and signed by the build's
# signing step although only that step was given the password.
cp "$program" "$work/setup-source"
release --sign-cert "$work/signer.p12" || fail "the signed release: $(tail -5 "$work/out")"
[ -s "$work/checked/record" ] || fail "the program checked no record"
grep -qxF -- "-DCAIRN_ADDON_DIR=$(realpath "$addon")" "$work/release/release-9.8.7/definitions" ||
  fail "the release build was not given the addon: $(cat "$work/release/release-9.8.7/definitions")"
cmp -s "$work/checked/record" "$site/api/app/version" || fail "the published answer is not the record the program checked"
cmp -s "$work/checked/installer" "$published" || fail "the published installer is not the one the program checked"
osslsigncode extract-signature -in "$published" -out "$work/signature" >/dev/null 2>&1 ||
  fail "the published installer is not signed"
wine_runs=$(grep -l "^WINEPREFIX=" "$work/env/wine."* 2>/dev/null | wc -l)
[ "$wine_runs" -gt 0 ] || fail "no Wine run was seen"
for leak in CAIRN_SIGN_PASSWORD CAIRN_RELEASE_KEY_PASSWORD "$sign_password" "$key_password"; do
  grep -lF -- "$leak" "$work/env/wine."* >/dev/null 2>&1 && fail "a Wine run was given $leak"
done
for secret in "$sign_password" "$key_password"; do
  grep -lF -- "$secret" "$work/env/cmake."* >/dev/null 2>&1 && fail "the build was given the password $secret"
done

# The same version again with other bytes (unsigned now): refused, the
# published tree left as it was.
cp -r "$site" "$work/site-before"
release && fail "an installer with other bytes replaced a published one"
grep -q "published already with other bytes" "$work/out" || fail "no clear refusal: $(tail -3 "$work/out")"
diff -r "$work/site-before" "$site" >/dev/null || fail "the refused release changed the published tree"
# The same bytes again: published again, the same installer.
cp "$published" "$work/setup-source"
release || fail "republishing the same installer: $(tail -3 "$work/out")"
cmp -s "$work/checked/record" "$site/api/app/version" || fail "the republished answer is not the checked one"
cmp -s "$work/site-before/download/Cairnstone-Setup-9.8.7.exe" "$published" || fail "the republished installer changed"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "releases published as checked, never replaced, no password given to Wine"
