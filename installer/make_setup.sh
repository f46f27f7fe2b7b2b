#!/usr/bin/env bash
# Makes Cairnstone-Setup with NSIS around a built program and the setup
# helper. With CAIRN_SIGN_CERT set (a PKCS#12 file; its password in
# CAIRN_SIGN_PASSWORD) the program and the helper are signed before they are
# packed, and the uninstaller and the installer when NSIS has made them.
# Usage: make_setup.sh OUT.exe VERSION Cairnstone.exe setup_helper.exe [ADDON_FOLDER]
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=$1 version=$2 program=$3 helper=$4 addon=${5:-}
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

# NSIS wants the version as four numbers.
IFS=. read -r -a numbers <<<"$version"
while [ ${#numbers[@]} -lt 4 ]; do numbers+=(0); done
version4=$(IFS=.; echo "${numbers[*]:0:4}")

cp "$program" "$stage/Cairnstone.exe"
cp "$helper" "$stage/setup_helper.exe"
defines=()
if [ -n "${CAIRN_SIGN_CERT:-}" ]; then
  "$here/sign.sh" "$stage/Cairnstone.exe"
  "$here/sign.sh" "$stage/setup_helper.exe"
  defines+=("-DSIGN=$here/sign.sh")
fi
[ -n "$addon" ] && defines+=("-DADDON=$addon")
mkdir -p "$(dirname "$out")"
makensis -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DVERSION4="$version4" \
  -DPROGRAM="$stage/Cairnstone.exe" -DHELPER="$stage/setup_helper.exe" \
  -DICON="$here/../res/cairnstone.ico" -DOUTFILE="$out" "${defines[@]}" "$here/Cairnstone.nsi" >&2
