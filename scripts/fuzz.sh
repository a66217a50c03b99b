#!/usr/bin/env bash
# Builds a fuzz target with clang++-14 (libFuzzer, ASan, UBSan) into build-fuzz/ and runs it
# for SECONDS seconds. Needs no CMake, so the default g++ build can still fuzz. Targets:
#   walk      loading and walking images (the default), seeded from samples/
#   transfer  the serial and the parallel transfer against a scripted printer
# Exit status: 0 no finding, 1 a finding (crash input saved in build-fuzz/), 1 also when the
# fuzzer does not build, 2 usage, 77 clang++-14 or its fuzzer runtime is missing.
#
# Usage: scripts/fuzz.sh [walk|transfer] SECONDS [extra libFuzzer flags...]
set -euo pipefail

target=walk
if [ $# -ge 1 ] && { [ "$1" = walk ] || [ "$1" = transfer ]; }; then
    target=$1
    shift
fi
if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
    echo "usage: $0 [walk|transfer] SECONDS [libFuzzer flags...]" >&2
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

# The layers' headers as the CMake build exports them: one link per folder.
includes="$out/include"
mkdir -p "$includes"
for layer in image download; do
    ln -sfn "$root/src/$layer" "$includes/$layer"
done
ln -sfn "$root/tests/support" "$includes/support"

case $target in
    walk)
        sources=("$root/tests/fuzz/walk_fuzzer.cpp" "$root/src/image/record_walk.cpp"
                 "$root/src/image/firmware_file.cpp")
        headers=("$root"/src/image/*.h)
        seeds=("$root/samples")
        max_len=8192
        ;;
    transfer)
        sources=("$root/tests/fuzz/transfer_fuzzer.cpp" "$root"/src/image/*.cpp
                 "$root"/src/download/*.cpp)
        headers=("$root"/src/image/*.h "$root"/src/download/*.h "$root"/tests/support/*.h)
        seeds=()
        max_len=1024
        ;;
esac

mkdir -p "$out/corpus-$target"
fuzzer="$out/${target}_fuzzer"
# Rebuild only when a source is newer than the binary.
rebuild=0
[ -x "$fuzzer" ] || rebuild=1
for s in "${sources[@]}" "${headers[@]}"; do
    [ "$s" -nt "$fuzzer" ] && rebuild=1
done
if [ $rebuild -eq 1 ]; then
    echo "fuzz.sh: building $fuzzer" >&2
    if ! "$cxx" -std=c++20 -O1 -g -Wall -Wextra -Wpedantic -Werror -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -I "$includes" "${sources[@]}" -o "$fuzzer.tmp"; then
        echo "fuzz.sh: the fuzzer does not build" >&2
        exit 1
    fi
    mv "$fuzzer.tmp" "$fuzzer"
fi

# New inputs go to build-fuzz/corpus-TARGET; samples/ only seeds and is never written.
log="$out/last-$target-run.log"
status=0
(cd "$out" && "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$out/$target-" "$@" "$out/corpus-$target" "${seeds[@]}") >"$log" 2>&1 ||
    status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
if [ $status -ne 0 ]; then
    tail -n 40 "$log" >&2
    echo "fuzz.sh: FINDING in $target after ${runs:-?} executions; see $log and $out/$target-*" >&2
    exit 1
fi
echo "fuzz.sh: $target: ${runs:-?} executions in ${took:-$seconds} s, no finding (log: $log)"
