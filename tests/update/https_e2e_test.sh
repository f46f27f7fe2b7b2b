#!/usr/bin/env bash
# The update road end to end over HTTPS with a real web server: a test
# certificate authority made for this run (and trusted only by the test
# prefix), nginx on localhost serving the tree tools/cairn-release publishes,
# and `Cairnstone.exe --update-check --install` downloading, verifying and
# starting the tests' test installer, which records how it was started.
# Usage: https_e2e_test.sh CAIRNSTONE_EXE TEST_INSTALLER_EXE ROOT_CERT_EXE (under dev.sh)
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tool="$here/../../tools/cairn-release"
key="$here/keys/TEST-ONLY-release-key.pem"
exe=$1 installer=$2 root_cert=$3
work=$(mktemp -d)
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null
  [ -f "$work/ca.der" ] && wine "$root_cert" remove "$(winepath -w "$work/ca.der")" </dev/null >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
winpath() { winepath -w "$1" 2>/dev/null; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "FAIL: nginx is not installed"; exit 1; }
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: WINEPREFIX is not set; run through ./dev.sh test"; exit 1; }

# The authority and the server's certificate, for the DNS name localhost
# (Wine's WinHTTP matches names, not addresses). RSA keys: with fresh P-256
# keys Wine's TLS refused about one handshake in eight (error 12157).
openssl req -x509 -newkey rsa:2048 -nodes -days 2 \
  -subj "/CN=Cairnstone test authority" -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null &&
openssl x509 -in "$work/ca.pem" -outform DER -out "$work/ca.der" &&
openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
  -keyout "$work/server.key" -out "$work/server.csr" 2>/dev/null &&
printf 'subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n' >"$work/ext" &&
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" \
  -CAcreateserial -days 2 -extfile "$work/ext" -out "$work/server.pem" 2>/dev/null ||
  { echo "FAIL: making the test certificates"; exit 1; }
wine "$root_cert" add "$(winpath "$work/ca.der")" </dev/null >/dev/null 2>&1 ||
  { echo "FAIL: adding the test authority to the prefix's root store"; exit 1; }

# A free port, then the published tree and nginx serving it.
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
base="https://localhost:$port"
"$tool" sign --key "$key" --test-key --installer "$installer" --version 1.5.0 --base "$base" \
  --out "$work/version.json" &&
"$tool" publish --record "$work/version.json" --installer "$installer" --out "$work/site" ||
  { echo "FAIL: publish"; exit 1; }
mkdir -p "$work/nginx"
# nginx's workers drop root's rights: they must be able to read the tree.
chmod 755 "$work" && chmod -R a+rX "$work/site"
cat >"$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx;
  proxy_temp_path $work/nginx;
  fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx;
  scgi_temp_path $work/nginx;
  default_type application/octet-stream;
  server {
    listen 127.0.0.1:$port ssl;
    server_name localhost;
    ssl_certificate $work/server.pem;
    ssl_certificate_key $work/server.key;
    root $work/site;
    location = /api/app/version { default_type application/json; }
  }
}
CONF
"$nginx" -p "$work/nginx" -c "$work/nginx.conf" 2>"$work/nginx/start.log" &
nginx_pid=$!
for _ in $(seq 1 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

mkdir -p "$work/data"
CAIRN_API_BASE=$base CAIRN_DATA_DIR=$(winpath "$work/data") \
  CAIRN_TEST_INSTALLER_RECORD=$(winpath "$work/record.txt") CAIRN_TEST_INSTALLER_EXIT=7 \
  wine "$exe" --update-check --install --out "$(winpath "$work/out.txt")" </dev/null >/dev/null 2>&1
rc=$?
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
result=$(cat "$work/out.txt" 2>/dev/null)
[ "$rc" = 0 ] || fail "exit code $rc"
[ "$result" = "$(printf 'READY 1.5.0\nSTARTED exit=7')" ] || fail "output: $result"
recorded=$(cat "$work/record.txt" 2>/dev/null)
case "$recorded" in
  "/S /UPDATE /MAINLANG="*) ;;
  *) fail "the installer's parameters: $recorded" ;;
esac
grep -q 'GET /download/Cairnstone-Setup-1.5.0.exe HTTP/1.1" 200' "$work/nginx/access.log" ||
  fail "nginx served no installer: $(cat "$work/nginx/access.log")"
if [ $failures -gt 0 ]; then
  echo "log: $(cat "$work/data/cairn.log" 2>/dev/null)"
  echo "$failures failure(s)"
  exit 1
fi
echo "update over HTTPS: $result; installer started with: $recorded"
