#!/usr/bin/env bash
# Cairnstone developer commands: build on Linux, run and test under Wine.
#   ./dev.sh run     build and start Cairnstone under Wine
#   ./dev.sh test    build and run every test, headless
#   ./dev.sh build   only build; the last line is the path of Cairnstone.exe
#   ./dev.sh run|test|build --debug   the same with the debug build (below)
#   ./dev.sh release VERSION --key PRIVATE.pem --base URL --out SITE --addon FOLDER
#                    [--sign-cert CERT.p12]   build, sign, check and publish a release
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="${CAIRN_BUILD_DIR:-$root/build}"
build=${build%/}
# --debug right after run, test or build: symbols, -Og and the standard
# library's checks, in a folder of its own beside the release build's.
build_type=Release
if [ "${2:-}" = --debug ] && [[ ${1:-} =~ ^(run|test|build)$ ]]; then
  build_type=Debug build="$build-debug"
  set -- "$1" "${@:3}"
fi
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
# shellcheck source=tools/wine_env.sh
source "$root/tools/wine_env.sh"
# The private Wine prefix lives in the build folder and is made on first use.
wine_env "$build/wineprefix"

# Debian packages each command needs, by the program that shows they are there.
need_packages() {
  local missing=()
  command -v cmake >/dev/null || missing+=(cmake)
  command -v ninja >/dev/null || missing+=(ninja-build)
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
  command -v x86_64-w64-mingw32-windres >/dev/null || missing+=(binutils-mingw-w64-x86-64)
  [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
  command -v wine >/dev/null || missing+=(wine wine64)
  command -v xvfb-run >/dev/null || missing+=(xvfb xauth)
  command -v python3 >/dev/null || missing+=(python3)
  # The toolkit's screenshots and resource generator (tools/gui_shots.sh, tools/make_resources.py).
  command -v import >/dev/null || missing+=(imagemagick)
  command -v xwininfo >/dev/null || missing+=(x11-utils)
  /usr/bin/python3 -c 'import PIL, numpy' 2>/dev/null || missing+=(python3-pil python3-numpy)
  # The release tool (tools/cairn-release) and its tests against openssl.
  /usr/bin/python3 -c 'import cryptography' 2>/dev/null || missing+=(python3-cryptography)
  command -v openssl >/dev/null || missing+=(openssl)
  # Cairnstone-Setup (NSIS) and its Authenticode signatures.
  command -v makensis >/dev/null || missing+=(nsis)
  command -v osslsigncode >/dev/null || missing+=(osslsigncode)
  # The update road over HTTPS is tested against a real web server.
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx-light)
  if [ ${#missing[@]} -gt 0 ]; then
    echo "dev.sh: installing ${missing[*]}" >&2
    apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
}

# One build-or-test command at a time per build folder: a build while tests
# run there relinks the programs under test as they start (a start then
# fails with error 193, a half-written program). The lock goes with the
# command, or with release_build_folder.
hold_build_folder() {
  mkdir -p "$build"
  exec 9>"$build/.dev.lock"
  if ! flock -n 9; then
    echo "dev.sh: waiting for another command that uses $build" >&2
    flock 9
  fi
}
release_build_folder() { exec 9>&-; }

do_build() {
  need_packages
  if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=$build_type \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >&2
  fi
  cmake --build "$build" >&2
}

windows_user() { echo "${USER:-$(id -un)}"; }

cmd_build() {
  hold_build_folder
  do_build
  echo "$build/bin/Cairnstone.exe"
}

cmd_run() {
  hold_build_folder
  do_build
  release_build_folder  # the program may run for hours; tests may go on meanwhile
  wine_prefix_ready
  local data="$WINEPREFIX/drive_c/users/$(windows_user)/AppData/Roaming/Cairn"
  if [ -n "${CAIRN_DATA_DIR:-}" ]; then data="$CAIRN_DATA_DIR (as Wine sees it)"; fi
  echo "Cairnstone runs under Wine (prefix $WINEPREFIX)."
  echo "Its data and log: $data (log: cairn.log)"
  echo "It lives in the notification area; quit it with: ./tools/wine.sh $build/bin/Cairnstone.exe --quit"
  if [ -n "${DISPLAY:-}" ]; then wine_window_manager Y; else wine_window_manager N; fi
  with_display wine "$build/bin/Cairnstone.exe" "$@"
}

# CTEST_ARGS narrows a run, e.g. CTEST_ARGS="-R storage" ./dev.sh test.
# Inside the display: one Wine server for the whole run.
run_tests_inside() {
  wineserver -p
  # Wine's background services start with the first program and would keep
  # that program's output pipe open, so start them here, detached from CTest.
  wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
  # Programs under test never reach past this machine: a test that wants a
  # service starts its own and names it.
  export CAIRN_API_BASE=http://127.0.0.1:9
  local rc=0
  # shellcheck disable=SC2086
  ctest --test-dir "$1" --output-on-failure --timeout 600 ${CTEST_ARGS:-} || rc=$?
  wineserver -k || true
  return $rc
}

cmd_test() {
  hold_build_folder
  do_build
  wine_prefix_ready
  local rc=0
  # A short, bounded fuzz run of the JSON parser and writer (native, sanitized).
  local fuzz_seconds=${CAIRN_FUZZ_SECONDS:-60}
  if [ "$fuzz_seconds" -gt 0 ]; then
    "$root/tests/json/fuzz.sh" "$fuzz_seconds" "$build/fuzz" || rc=$?
  fi
  export CTEST_ARGS=${CTEST_ARGS:-}
  wine_window_manager N
  with_display bash -c "$(declare -f run_tests_inside); run_tests_inside \"\$1\"" _ "$build" || rc=$?
  return $rc
}

release_usage() {
  echo "usage: ./dev.sh release VERSION --key PRIVATE.pem --base URL --out SITE --addon FOLDER [--sign-cert CERT.p12]" >&2
  exit 2
}

# The release tool; an encrypted key's password reaches it and no other child.
release_tool() {
  if [ -n "$key_password_set" ]; then
    CAIRN_RELEASE_KEY_PASSWORD=$key_password "$root/tools/cairn-release" "$@"
  else
    "$root/tools/cairn-release" "$@"
  fi
}

# A release: that version built in a build folder of its own (with the
# service origin it is published to), its installer signed when a certificate
# is given, checked by the program itself with --verify-release, and that
# checked record published with tools/cairn-release. The passwords are taken
# out of the environment: each goes only to the step that needs it, never to
# the compilers or the programs run under Wine.
cmd_release() {
  local version=${1:-} key="" base="" out="" cert="" addon=""
  [ $# -gt 0 ] && shift
  while [ $# -gt 0 ]; do
    [ $# -ge 2 ] || release_usage
    case "$1" in
      --key) key=$2 ;; --base) base=$2 ;; --out) out=$2 ;; --sign-cert) cert=$2 ;; --addon) addon=$2 ;;
      *) release_usage ;;
    esac
    shift 2
  done
  [ -n "$version" ] && [ -n "$key" ] && [ -n "$base" ] && [ -n "$out" ] || release_usage
  local fail="dev.sh release:"
  # The program's own version grammar: 2 to 4 numbers of 1 to 6 digits.
  [[ $version =~ ^[0-9]{1,6}(\.[0-9]{1,6}){1,3}$ ]] || { echo "$fail $version is not a version like 1.4.0" >&2; exit 2; }
  [ -f "$key" ] || { echo "$fail no private key $key" >&2; exit 2; }
  [ -z "$cert" ] || [ -f "$cert" ] || { echo "$fail no certificate $cert" >&2; exit 2; }
  # Installed programs place the addon the installer carries: a release
  # without it would leave players without the addon.
  [ -n "$addon" ] || { echo "$fail a release needs the addon: give --addon FOLDER (the Cairnstone addon's files)" >&2; exit 2; }
  [ -f "$addon/Cairn.toc" ] || { echo "$fail $addon holds no addon (no Cairn.toc)" >&2; exit 2; }
  key_password=${CAIRN_RELEASE_KEY_PASSWORD-} key_password_set=${CAIRN_RELEASE_KEY_PASSWORD+set}
  local sign_password=${CAIRN_SIGN_PASSWORD-} sign_password_set=${CAIRN_SIGN_PASSWORD+set}
  unset CAIRN_RELEASE_KEY_PASSWORD CAIRN_SIGN_PASSWORD
  if [ -z "$key_password_set" ] && [ -t 0 ] && grep -q ENCRYPTED "$key"; then
    read -rs -p "Password of $key: " key_password && echo >&2
    key_password_set=set
  fi
  if [ -n "$cert" ] && [ -z "$sign_password_set" ]; then
    [ -t 0 ] || { echo "$fail set CAIRN_SIGN_PASSWORD to the certificate's password" >&2; exit 2; }
    read -rs -p "Password of $cert: " sign_password && echo >&2
  fi
  need_packages
  work=$(mktemp -d)  # global: the trap runs after this function
  trap 'rm -rf "$work"' EXIT
  # Installed programs trust the public key built into them (the
  # repository's, unless CAIRN_RELEASE_KEY_FILE names another): a release
  # signed with any other key would be refused by every one of them.
  local public=${CAIRN_RELEASE_KEY_FILE:-$root/update/keys/release-public.key}
  release_tool public "$key" "$work/public.key" >/dev/null || exit 1
  cmp -s "$work/public.key" "$public" ||
    { echo "$fail $key is not the private half of $public" >&2; exit 1; }
  # The build's signing step (installer/sign.sh) reads the certificate's
  # password from this file, readable by its owner only (mktemp's folder).
  local password_file=""
  if [ -n "$cert" ]; then
    password_file="$work/sign-password"
    (umask 077 && printf '%s' "$sign_password" >"$password_file") || exit 1
  fi

  local release_build="$build/release-$version"
  cmake -S "$root" -B "$release_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCAIRN_BUILD_TESTS=OFF \
    -DCAIRN_VERSION="$version" -DCAIRN_SERVICE_ORIGIN="$base" -DCAIRN_RELEASE_KEY_FILE="$(realpath "$public")" \
    -DCAIRN_SIGN_CERT="$(if [ -n "$cert" ]; then realpath "$cert"; fi)" \
    -DCAIRN_ADDON_DIR="$(realpath "$addon")" >&2 || exit 1
  CAIRN_SIGN_PASSWORD_FILE=$password_file cmake --build "$release_build" --target Cairnstone_setup >&2 || exit 1
  [ -z "$password_file" ] || rm -f "$password_file"
  local setup="$release_build/bin/Cairnstone-Setup-$version.exe"

  wine_prefix_ready
  release_tool sign --key "$key" --installer "$setup" --version "$version" \
    --base "$base" --out "$work/version.json" || exit 1
  wine "$release_build/bin/Cairnstone.exe" --verify-release "$(winepath -w "$work/version.json")" \
    --file "$(winepath -w "$setup")" --out "$(winepath -w "$work/verified.txt")" </dev/null >/dev/null 2>&1 || true
  [ "$(cat "$work/verified.txt" 2>/dev/null)" = "OK $version" ] ||
    { echo "$fail the program refuses the release: $(cat "$work/verified.txt" 2>/dev/null)" >&2; exit 1; }
  # Exactly the record the program checked; publish refuses an installer that
  # is not the one it names, and one published before with other bytes.
  "$root/tools/cairn-release" publish --record "$work/version.json" --installer "$setup" --out "$out" || exit 1
  echo "dev.sh release: $version checked and published to $out" >&2
  echo "$out"
}

case "${1:-}" in
  run) shift; cmd_run "$@" ;;
  test) cmd_test ;;
  build) cmd_build ;;
  release) shift; cmd_release "$@" ;;
  *) echo "usage: ./dev.sh run|test|build [--debug] | release" >&2; exit 2 ;;
esac
