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
"$tool" publish --key "$key" --installer "$work/installer.exe" --version 1.4.0 \
  --base http://127.0.0.1 --out "$out/published"

answer="$out/published/api/app/version"
size=$(field "$answer" size)
sha=$(field "$answer" sha256)
printf 'Cairnstone-Setup\nversion=1.4.0\nsize=%s\nsha256=%s\n' "$size" "$sha" >"$work/message"
printf 'Cairnstone-Setup\nversion=1.4.0\nsize=%s\nsha256=%s' "$size" "$sha" >"$work/message-nolf"

"$tool" keygen "$work/other.pem" "$work/other.key"
openssl dgst -sha256 -sign "$key" -out "$work/openssl.der" "$work/message"
{
  echo "other_key $("$tool" sign-message --key "$work/other.pem" --in "$work/message")"
  echo "no_final_lf $("$tool" sign-message --key "$key" --in "$work/message-nolf")"
  echo "der $(hex_of "$work/openssl.der")"
  echo "openssl $(der_to_p1363 "$work/openssl.der")"
} >"$out/signatures"
"$tool" publish --key "$key" --installer "$program" --version 1.5.0 \
  --base http://127.0.0.1 --out "$out/program"
touch "$out/stamp"
