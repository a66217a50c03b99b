#!/usr/bin/env bash
# Checks the source rules, builds everything with warnings as errors and runs every test: unit,
# integration against the printer simulator, the window, the parallel port in a QEMU guest, and
# short fuzzing runs. Then everything but the window, the QEMU guest and the fuzzers again under
# AddressSanitizer and UndefinedBehaviorSanitizer. Then the Windows build under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup-debian.sh"
"$root/scripts/check-source.sh"

"$root/scripts/build.sh" "$root/build" -DKORVANE_WERROR=ON
ctest --test-dir "$root/build" --output-on-failure -j2

"$root/scripts/build.sh" "$root/build-asan" -DKORVANE_WERROR=ON -DCMAKE_BUILD_TYPE=Debug -DKORVANE_SANITIZE=ON \
    -DKORVANE_BUILD_UI=OFF -DKORVANE_BUILD_BENCH=OFF
ctest --test-dir "$root/build-asan" --output-on-failure -j2 -LE "qemu|fuzz"

# Windows: every program and test cross-built with mingw-w64, the tests run under Wine.
"$root/scripts/build-windows.sh" "$root/build-windows"
ctest --test-dir "$root/build-windows" --output-on-failure -j2 -L windows
# Once more with Wine saying it is Windows 7 SP1, the oldest system the programs are for.
KORVANE_WINE_VERSION=win7 ctest --test-dir "$root/build-windows" --output-on-failure -j2 -L windows
