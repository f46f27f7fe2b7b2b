#!/usr/bin/env bash
# Signs one Windows executable in place (Authenticode, SHA-256) with the
# PKCS#12 certificate CAIRN_SIGN_CERT. The password comes from
# CAIRN_SIGN_PASSWORD and reaches osslsigncode through a pipe, never a file
# or a command line. CAIRN_SIGN_TIMESTAMP, when set, is a time-stamp server's
# address (signatures then outlive the certificate).
# Usage: sign.sh FILE.exe
set -euo pipefail

file=$1
[ -n "${CAIRN_SIGN_CERT:-}" ] || { echo "sign.sh: CAIRN_SIGN_CERT is not set" >&2; exit 1; }
[ -n "${CAIRN_SIGN_PASSWORD+set}" ] ||
  { echo "sign.sh: CAIRN_SIGN_PASSWORD is not set (the certificate's password)" >&2; exit 1; }
timestamp=()
[ -n "${CAIRN_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$CAIRN_SIGN_TIMESTAMP")
rm -f "$file.signed"
if ! osslsigncode sign -pkcs12 "$CAIRN_SIGN_CERT" -readpass <(printf '%s' "$CAIRN_SIGN_PASSWORD") \
  -h sha256 -n Cairnstone "${timestamp[@]}" -in "$file" -out "$file.signed" >&2; then
  rm -f "$file.signed"
  echo "sign.sh: cannot sign $file with $CAIRN_SIGN_CERT (wrong password, or not a PKCS#12 file?)" >&2
  exit 1
fi
mv -f "$file.signed" "$file"
