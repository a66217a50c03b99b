#!/usr/bin/env bash
# Builds everything and runs every test: unit, integration against the printer simulator,
# the window, the parallel port in a QEMU guest, and a short fuzzing run. Then everything but
# the window, the QEMU guest and the fuzzer again under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j2

"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON \
    -DKORVANE_BUILD_UI=OFF -DKORVANE_BUILD_BENCH=OFF
ctest --test-dir "$root/build-asan" --output-on-failure -j2 -LE "qemu|fuzz"
