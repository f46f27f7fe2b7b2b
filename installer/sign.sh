#!/usr/bin/env bash
# Signs one Windows executable in place (Authenticode, SHA-256) with the
# PKCS#12 certificate CAIRN_SIGN_CERT. The password comes from the file
# CAIRN_SIGN_PASSWORD_FILE names (how ./dev.sh release hands it to this step
# alone), else from CAIRN_SIGN_PASSWORD through a pipe; never from a command
# line. CAIRN_SIGN_TIMESTAMP, when set, is a time-stamp server's address
# (signatures then outlive the certificate).
# Usage: sign.sh FILE.exe
set -euo pipefail

file=$1
[ -n "${CAIRN_SIGN_CERT:-}" ] || { echo "sign.sh: CAIRN_SIGN_CERT is not set" >&2; exit 1; }
if [ -n "${CAIRN_SIGN_PASSWORD_FILE:-}" ]; then
  exec 3<"$CAIRN_SIGN_PASSWORD_FILE" || exit 1
elif [ -n "${CAIRN_SIGN_PASSWORD+set}" ]; then
  exec 3< <(printf '%s' "$CAIRN_SIGN_PASSWORD")
else
  echo "sign.sh: CAIRN_SIGN_PASSWORD is not set (the certificate's password)" >&2
  exit 1
fi
timestamp=()
[ -n "${CAIRN_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$CAIRN_SIGN_TIMESTAMP")
rm -f "$file.signed"
if ! osslsigncode sign -pkcs12 "$CAIRN_SIGN_CERT" -readpass /dev/fd/3 \
  -h sha256 -n Cairnstone "${timestamp[@]}" -in "$file" -out "$file.signed" >&2; then
  rm -f "$file.signed"
  echo "sign.sh: cannot sign $file with $CAIRN_SIGN_CERT (wrong password, or not a PKCS#12 file?)" >&2
  exit 1
fi
mv -f "$file.signed" "$file"
