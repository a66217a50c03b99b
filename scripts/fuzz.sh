#!/usr/bin/env bash
# Builds the record-walk fuzzer with clang++-14 (libFuzzer, ASan, UBSan) into build-fuzz/ and
# runs it for SECONDS seconds, seeded from samples/. Needs no CMake, so the default g++ build
# can still fuzz. Exit status: 0 no finding, 1 a finding (crash input saved in build-fuzz/),
# 1 also when the fuzzer does not build, 2 usage, 77 clang++-14 or its fuzzer runtime is
# missing.
#
# Usage: scripts/fuzz.sh SECONDS [extra libFuzzer flags...]
set -euo pipefail

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 SECONDS [libFuzzer flags...]" >&2
    exit 2
fi
seconds=$1
shift

root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/build-fuzz"
cxx=${KORVANE_FUZZ_CXX:-clang++-14}
if ! command -v "$cxx" >/dev/null; then
    echo "fuzz.sh: $cxx not found (scripts/setup-debian.sh installs it)" >&2
    exit 77
fi

# A machine without the fuzzer runtime skips; a fuzzer that does not compile fails.
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
    "$cxx" -x c++ - -fsanitize=fuzzer,address,undefined -o /dev/null 2>/dev/null; then
    echo "fuzz.sh: $cxx cannot build a libFuzzer target (is libclang-rt-14-dev installed?)" >&2
    exit 77
fi

mkdir -p "$out/corpus"
fuzzer="$out/walk_fuzzer"
sources=("$root/tests/fuzz/walk_fuzzer.cpp" "$root/src/image/record_walk.cpp"
         "$root/src/image/firmware_file.cpp")
# Rebuild only when a source is newer than the binary.
rebuild=0
[ -x "$fuzzer" ] || rebuild=1
for s in "${sources[@]}" "$root/src/image/record_walk.h" "$root/src/image/firmware_file.h"; do
    [ "$s" -nt "$fuzzer" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
    echo "fuzz.sh: building $fuzzer" >&2
    if ! "$cxx" -std=c++20 -O1 -g -Wall -Wextra -Wpedantic -Werror -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I "$root/src" "${sources[@]}" -o "$fuzzer.tmp"; then
        echo "fuzz.sh: the fuzzer does not build" >&2
        exit 1
    fi
    mv "$fuzzer.tmp" "$fuzzer"
fi

# New inputs go to build-fuzz/corpus; samples/ only seeds and is never written.
log="$out/last-run.log"
status=0
(cd "$out" && "$fuzzer" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="$out/" "$@" "$out/corpus" "$root/samples") >"$log" 2>&1 || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
if [ $status -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz.sh: FINDING after ${runs:-?} executions; see $log and $out/crash-*" >&2
    exit 1
fi
echo "fuzz.sh: ${runs:-?} executions in ${took:-$seconds} s, no finding (log: $log)"
