#!/usr/bin/env bash
# Signed builds: a throw-away code-signing certificate from a test authority
# made here, Cairnstone-Setup made with it, and each signature (the installer,
# and the program and the uninstaller as the installer leaves them in Program
# Files) checked with osslsigncode against that authority. A wrong password
# fails with a clear message.
# Usage (in the installer prefix, see in_prefix.sh): signing_test.sh PROGRAM HELPER VERSION
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
program=$1 helper=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
password="throw-away $$"

cd "$work" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Cairnstone test signing authority" \
  -keyout ca.key -out ca.pem 2>/dev/null &&
openssl req -newkey rsa:2048 -nodes -subj "/CN=Cairnstone test signer" \
  -keyout signer.key -out signer.csr 2>/dev/null &&
printf 'keyUsage=digitalSignature\nextendedKeyUsage=codeSigning\n' >ext &&
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext \
  -out signer.pem 2>/dev/null &&
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout fd:3 \
  -out signer.p12 3<<<"$password" || { echo "FAIL: making the test certificate"; exit 1; }
export CAIRN_SIGN_CERT=$work/signer.p12

setup=$work/Cairnstone-Setup-$version.exe
CAIRN_SIGN_PASSWORD=wrong "$here/../../installer/make_setup.sh" "$setup" "$version" "$program" \
  "$helper" 2>wrong.log && fail "a wrong password made an installer"
grep -q "cannot sign .*wrong password" wrong.log || fail "a wrong password gave no clear error: $(cat wrong.log)"
CAIRN_SIGN_PASSWORD=$password "$here/../../installer/make_setup.sh" "$setup" "$version" "$program" \
  "$helper" 2>build.log || { echo "FAIL: the signed build: $(cat build.log)"; exit 1; }

signed_by_test_authority() {
  osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >verify.log 2>&1 ||
    fail "$2 has no valid signature of the test certificate: $(grep -i -m3 "fail\|error" verify.log)"
}
signed_by_test_authority "$setup" "the installer"

installed="$WINEPREFIX/drive_c/Program Files/Cairnstone"
wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "the signed installer failed: $?"
signed_by_test_authority "$installed/Cairnstone.exe" "the installed program"
signed_by_test_authority "$installed/uninstall.exe" "the uninstaller"
# The uninstaller hands over to a copy of itself and returns at once.
wine "$installed/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the signed uninstaller failed: $?"
for _ in $(seq 1 300); do [ -e "$installed" ] || break; sleep 0.2; done
[ -e "$installed" ] && fail "the signed uninstaller left $(ls "$installed")"

[ $failures -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "installer, program and uninstaller signed and verified"
