#!/usr/bin/env bash
# Makes the signed releases the tests serve, with the TEST-ONLY key:
#   published/   the static tree of tools/cairn-release for version 1.4.0
#   signatures   name and hex text of signatures the program must refuse or accept
#   program/     the static tree for version 1.5.0, whose installer is the
#                tests' own test_installer.exe (it records how it was started)
# Usage: make_fixtures.sh OUTDIR TEST_INSTALLER_EXE
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tool="$here/../../tools/cairn-release"
key="$here/keys/TEST-ONLY-release-key.pem"
out=$1
program=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hex_of() { od -An -v -tx1 "$1" | tr -d ' \n'; }
field() { /usr/bin/python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$@"; }

# The r and s integers of a DER signature as 128 hex digits (P1363).
der_to_p1363() {
  openssl asn1parse -inform DER -in "$1" | awk -F: '/INTEGER/ { printf "%064s\n", tolower($NF) }' |
    tr ' ' 0 | tr -d '\n'
}

rm -rf "$out"
mkdir -p "$out"
head -c 300000 < <(yes "Cairnstone test installer, for tests only") >"$work/installer.exe"
# A signed answer and the static tree around it, for one installer.
publish() {
  "$tool" sign --key "$key" --test-key --installer "$1" --version "$2" --base http://127.0.0.1 \
    --out "$work/$2.json"
  "$tool" publish --record "$work/$2.json" --installer "$1" --out "$3"
}
# Signs the message file $2 with the private key $1, as 128 hex digits.
sign_message() {
  openssl dgst -sha256 -sign "$1" -out "$work/signed.der" "$2"
  der_to_p1363 "$work/signed.der"
}

publish "$work/installer.exe" 1.4.0 "$out/published"

answer="$out/published/api/app/version"
size=$(field "$answer" size)
sha=$(field "$answer" sha256)
printf 'Cairnstone-Setup\nversion=1.4.0\nsize=%s\nsha256=%s\n' "$size" "$sha" >"$work/message"
printf 'Cairnstone-Setup\nversion=1.4.0\nsize=%s\nsha256=%s' "$size" "$sha" >"$work/message-nolf"

openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/other.pem"
openssl dgst -sha256 -sign "$key" -out "$work/openssl.der" "$work/message"
{
  echo "other_key $(sign_message "$work/other.pem" "$work/message")"
  echo "no_final_lf $(sign_message "$key" "$work/message-nolf")"
  echo "der $(hex_of "$work/openssl.der")"
  echo "openssl $(der_to_p1363 "$work/openssl.der")"
} >"$out/signatures"
publish "$program" 1.5.0 "$out/program"
touch "$out/stamp"
