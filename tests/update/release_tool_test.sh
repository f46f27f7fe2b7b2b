#!/usr/bin/env bash
# tools/cairn-release against openssl, both ways: the tool's signatures verify
# with `openssl dgst -verify`, and signatures openssl makes over the same
# message verify in Cairnstone.exe (built with the TEST-ONLY key) through
# --verify-release. Also: its key files, its published tree, its refusals.
# Usage: release_tool_test.sh CAIRNSTONE_EXE   (run by CTest under dev.sh)
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tool="$here/../../tools/cairn-release"
test_key="$here/keys/TEST-ONLY-release-key.pem"
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
field() { /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$@"; }
unhex() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }
winpath() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

# One DER INTEGER from 64 hex digits: no leading zero bytes, a zero byte
# before a high bit.
der_int() {
  local h=$1
  while [ ${#h} -gt 2 ] && [ "${h:0:2}" = 00 ]; do h=${h:2}; done
  case ${h:0:1} in [89a-f]) h=00$h ;; esac
  printf '02%02x%s' $((${#h} / 2)) "$h"
}
p1363_to_der() {
  local seq
  seq=$(der_int "${1:0:64}")$(der_int "${1:64:64}")
  unhex "$(printf '30%02x%s' $((${#seq} / 2)) "$seq")"
}
message_of() {
  printf 'Cairnstone-Setup\nversion=%s\nsize=%s\nsha256=%s\n' \
    "$(field "$1" version)" "$(field "$1" size)" "$(field "$1" sha256)"
}

# Key pair: the 64-byte public key is the point openssl derives.
"$tool" keygen "$work/k.pem" "$work/k.key" || fail "keygen"
[ "$(stat -c %s "$work/k.key")" = 64 ] || fail "public key is not 64 bytes"
openssl pkey -in "$work/k.pem" -pubout -out "$work/k.pub.pem" 2>/dev/null || fail "openssl cannot read the key"
openssl pkey -pubin -in "$work/k.pub.pem" -outform DER | tail -c 64 | cmp -s - "$work/k.key" ||
  fail "public key differs from openssl's"
"$tool" keygen "$work/k.pem" "$work/k2.key" 2>/dev/null && fail "keygen replaced a private key"
"$tool" public "$work/k.pem" "$work/k3.key" && cmp -s "$work/k.key" "$work/k3.key" || fail "public"

# Direction 1: the tool signs, openssl verifies; a changed message does not verify.
head -c 200000 /dev/urandom >"$work/setup.exe"
"$tool" sign --key "$work/k.pem" --installer "$work/setup.exe" --version 2.0.1 \
  --base https://example.test/ --out "$work/answer.json" || fail "sign"
[ "$(field "$work/answer.json" download)" = https://example.test/download/Cairnstone-Setup-2.0.1.exe ] ||
  fail "download address"
[ "$(field "$work/answer.json" sha256)" = "$(sha256sum "$work/setup.exe" | cut -c1-64)" ] || fail "sha256"
[ "$(field "$work/answer.json" size)" = 200000 ] || fail "size"
sig=$(field "$work/answer.json" signature)
[[ $sig =~ ^[0-9a-f]{128}$ ]] || fail "signature form: $sig"
p1363_to_der "$sig" >"$work/sig.der"
message_of "$work/answer.json" >"$work/message"
openssl dgst -sha256 -verify "$work/k.pub.pem" -signature "$work/sig.der" "$work/message" >/dev/null ||
  fail "openssl does not verify the tool's signature"
printf 'x' >>"$work/message"
openssl dgst -sha256 -verify "$work/k.pub.pem" -signature "$work/sig.der" "$work/message" >/dev/null &&
  fail "openssl verifies a changed message"

# Refusals: nothing is written.
"$tool" sign --key "$work/k.pem" --installer "$work/setup.exe" --version 2.0.x --base https://a.test \
  --out "$work/bad.json" 2>/dev/null && fail "accepted a bad version"
truncate -s 134217729 "$work/huge.exe"
"$tool" sign --key "$work/k.pem" --installer "$work/huge.exe" --version 2.0 --base https://a.test \
  --out "$work/bad.json" 2>/dev/null && fail "accepted an installer over 128 MiB"
"$tool" sign --key "$work/k.pem" --installer "$work/setup.exe" --version 2.0 --base 'https://a@b.test' \
  --out "$work/bad.json" 2>/dev/null && fail "accepted a base address with @"
[ -e "$work/bad.json" ] && fail "a refused release left a file"

# The published tree (the tool honours the umask; a usual one here).
umask 022
"$tool" publish --key "$test_key" --installer "$work/setup.exe" --version 1.4.0 \
  --base https://example.test --out "$work/site" || fail "publish"
cmp -s "$work/setup.exe" "$work/site/download/Cairnstone-Setup-1.4.0.exe" || fail "published installer"
[ "$(field "$work/site/api/app/version" version)" = 1.4.0 ] || fail "published answer"
# A web server running as another user must be able to read what it serves.
[ "$(stat -c %a "$work/site/api/app/version")" = 644 ] || fail "published answer not readable by all"

# Direction 2: openssl signs with the test key; Cairnstone accepts the release.
verify_in_cairnstone() {
  rm -f "$work/out.txt"
  CAIRN_API_BASE=https://cairnstone.app wine "$exe" --verify-release "$(winpath "$1")" --file "$(winpath "$2")" \
    --out "$(winpath "$work")\\out.txt" </dev/null >/dev/null 2>&1
  local rc=$?
  echo "$rc $(cat "$work/out.txt" 2>/dev/null)"
}
if [ -z "${WINEPREFIX:-}" ]; then
  fail "WINEPREFIX is not set; run through ./dev.sh test"
else
  cp "$work/site/download/Cairnstone-Setup-1.4.0.exe" "$work/installer.exe"
  message_of "$work/site/api/app/version" >"$work/message"
  openssl dgst -sha256 -sign "$test_key" -out "$work/openssl.der" "$work/message"
  p1363=$(openssl asn1parse -inform DER -in "$work/openssl.der" |
    awk -F: '/INTEGER/ { printf "%064s", tolower($NF) }' | tr ' ' 0)
  /usr/bin/python3 - "$work/site/api/app/version" "$work/record.json" "$p1363" <<'PY'
import json, sys
answer = json.load(open(sys.argv[1]))
answer["signature"] = sys.argv[3]
answer["download"] = "https://cairnstone.app/download/Cairnstone-Setup-1.4.0.exe"
json.dump(answer, open(sys.argv[2], "w"))
PY
  result=$(verify_in_cairnstone "$work/record.json" "$work/installer.exe")
  [ "$result" = "0 OK 1.4.0" ] || fail "Cairnstone refused openssl's signature: $result"
  # And a signature openssl made with another key is refused.
  openssl dgst -sha256 -sign "$work/k.pem" -out "$work/other.der" "$work/message"
  other=$(openssl asn1parse -inform DER -in "$work/other.der" |
    awk -F: '/INTEGER/ { printf "%064s", tolower($NF) }' | tr ' ' 0)
  sed "s/$p1363/$other/" "$work/record.json" >"$work/other.json"
  cp "$work/site/download/Cairnstone-Setup-1.4.0.exe" "$work/installer.exe"
  result=$(verify_in_cairnstone "$work/other.json" "$work/installer.exe")
  [ "$result" = "1 BAD the signature does not match the release key" ] ||
    fail "Cairnstone accepted another key's signature: $result"
fi

if [ $failures -gt 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "release tool: all checks passed"
