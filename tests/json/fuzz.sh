#!/usr/bin/env bash
# Builds the pure modules' fuzz targets natively with clang and runs libFuzzer:
# the JSON parser and writer for SECONDS, the version texts and the PNG decoder
# for a sixth of it each.
# Usage: tests/json/fuzz.sh SECONDS [BUILD_DIR]   (BUILD_DIR defaults to build/fuzz)
# Exits non-zero when the build fails or the fuzzer finds a crash, a sanitizer
# report, a leak, a time-out or a violated property.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

seconds="${1:-}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: $0 SECONDS [BUILD_DIR]" >&2
    exit 2
fi
build="${2:-$root/build/fuzz}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"

fuzzer_runtime_present() {
    command -v clang++ >/dev/null 2>&1 &&
        echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer -o "$build/.probe" - >/dev/null 2>&1
}

if ! fuzzer_runtime_present; then
    echo "fuzz: installing clang and libclang-rt-14-dev"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -qq clang libclang-rt-14-dev >/dev/null 2>&1 ||
        { apt-get update -qq && apt-get install -y -qq clang libclang-rt-14-dev >/dev/null; }
    fuzzer_runtime_present || { echo "fuzz: FAILED, clang cannot build a libFuzzer target" >&2; exit 1; }
fi
rm -f "$build/.probe"

target="$build/fuzz_json"
clang++ -std=c++17 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$root/json/json.cpp" "$here/fuzz_json.cpp" -o "$target"

# The work corpus grows across runs; the seeds are copied in each time.
corpus="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$corpus" "$artifacts"
cp "$here"/corpus/* "$corpus"/

# Tokens that a random mutation rarely hits on its own.
dict="$build/json.dict"
cat >"$dict" <<'EOF'
"true"
"false"
"null"
"\\u"
"\\ud800"
"\\udbff"
"\\udc00"
"\\ude00"
"\\ud83d\\ude00"
"\\u0000"
"\\\""
"\\\\"
"1e999"
"-0.50"
"1E+"
"\xef\xbf\xbd"
"\xed\xa0\x80"
"\xf4\x90\x80\x80"
"[[[[[[[[[[[[[[[["
"]]]]]]]]]]]]]]]]"
"{\"a\":"
"\":"
EOF

log="$build/fuzz.log"
before_artifacts="$(find "$artifacts" -type f | wc -l)"
set +e
(cd "$build" && "$target" "$corpus" \
    -dict="$dict" \
    -max_total_time="$seconds" \
    -max_len=4096 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -print_final_stats=1 \
    -artifact_prefix="$artifacts/") >"$log" 2>&1
status=$?
set -e
after_artifacts="$(find "$artifacts" -type f | wc -l)"

runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || true)"
files="$(find "$corpus" -type f | wc -l)"
if [ "$status" -ne 0 ] || [ "$after_artifacts" -gt "$before_artifacts" ]; then
    grep -E 'ERROR|property violated|SUMMARY|Test unit written' "$log" | head -n 20 >&2 || true
    echo "fuzz: FAILED after ${runs:-?} runs (exit $status); log $log, inputs in $artifacts" >&2
    exit 1
fi
echo "fuzz: OK, ${runs:-?} runs in ${seconds} s, no findings; corpus ${files} files in $corpus"

# Version texts: small inputs, a short run.
version_target="$build/fuzz_version"
clang++ -std=c++17 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$root/update/version.cpp" "$root/tests/update/fuzz_version.cpp" -o "$version_target"
version_seconds=$((seconds / 6 > 0 ? seconds / 6 : 1))
version_corpus="$build/version-corpus"
mkdir -p "$version_corpus"
printf '1.3.0\n1.3' >"$version_corpus/seed-equal"
printf '1.10.2.999999\n1.9.0.0' >"$version_corpus/seed-order"
printf '1.4.0-beta\n01.4' >"$version_corpus/seed-bad"
# A short run of one more target: short_run NAME TARGET CORPUS MAX_LEN.
short_run() {
    local log="$build/fuzz-$1.log" status runs
    set +e
    (cd "$build" && "$2" "$3" -max_total_time="$version_seconds" -max_len="$4" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/") >"$log" 2>&1
    status=$?
    set -e
    if [ "$status" -ne 0 ]; then
        grep -E 'ERROR|property violated|SUMMARY|Test unit written' "$log" | head -n 20 >&2 || true
        echo "fuzz: $1 FAILED (exit $status); log $log" >&2
        exit 1
    fi
    runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -n 1 || true)"
    echo "fuzz: $1 OK, ${runs:-?} runs in ${version_seconds} s, no findings"
}
short_run versions "$version_target" "$version_corpus" 256

# PNG pictures and zlib streams, from a small picture of each kind.
png_target="$build/fuzz_png"
clang++ -std=c++17 -g -O1 -Wall -Wextra \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$root/gui/png.cpp" "$root/tests/gui/fuzz_png.cpp" -o "$png_target"
png_corpus="$build/png-corpus"
mkdir -p "$png_corpus"
/usr/bin/python3 - "$png_corpus" <<'PY'
import struct, sys, zlib
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d))
def png(w, h, colour, channels, filters):
    raw = b''.join(bytes([filters[y % len(filters)]]) + bytes((x * 7 + y * 13) % 256 for x in range(w * channels)) for y in range(h))
    ihdr = struct.pack('>IIBBBBB', w, h, 8, colour, 0, 0, 0)
    return b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b'')
open(sys.argv[1] + '/seed-rgb', 'wb').write(png(9, 7, 2, 3, [0, 1, 2, 3, 4]))
open(sys.argv[1] + '/seed-rgba', 'wb').write(png(5, 4, 6, 4, [4, 3]))
open(sys.argv[1] + '/seed-zlib', 'wb').write(zlib.compress(b'cairn stone ' * 20))
# zlib never reaches back further than 32506 bytes; a hand-written stream in
# fixed codes does, with a match whose source lies just ahead in the window.
class Fixed:
    def __init__(s): s.bits, s.n = [1, 1, 0], 0
    def code(s, v, c): s.bits += [v >> i & 1 for i in reversed(range(c))]
    def extra(s, v, c): s.bits += [v >> i & 1 for i in range(c)]
    def literal(s, c): s.code(0x30 + c, 8); s.n += 1
    def match(s, distance):  # of the longest length, 258
        s.code(0xC0 + 285 - 280, 8)
        d = max(i for i, b in enumerate([1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513,
            769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577]) if b <= distance)
        base = [1, 2, 3, 4][d] if d < 4 else (2 + (d % 2)) << (d // 2 - 1) | 1
        s.code(d, 5); s.extra(distance - base, 0 if d < 4 else d // 2 - 1); s.n += 258
    def stream(s):
        s.code(0, 7); s.bits += [0] * (-len(s.bits) % 8)
        body = bytes(sum(b << i for i, b in enumerate(s.bits[k:k + 8])) for k in range(0, len(s.bits), 8))
        return b'\x78\x01' + body  # no Adler-32: the match is what is being fed
f = Fixed()
for c in range(10): f.literal(c)
while f.n < 32700: f.match(1)
f.match(32760)
open(sys.argv[1] + '/seed-far-match', 'wb').write(f.stream())
PY
short_run PNG "$png_target" "$png_corpus" 4096
