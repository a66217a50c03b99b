#!/usr/bin/env bash
# Installs what is missing, then cross-builds every Windows program and test into
# build-windows/ (or $1) with mingw-w64, warnings as errors. The Linux printer simulator that
# the Windows tests talk to is built natively into BUILD_DIR/host.
#   scripts/build-windows.sh [BUILD_DIR] [--target NAME]... [CMAKE_OPTION]...
# With --target, only those programs (and what they need) are built; else everything.
#   ctest --test-dir build-windows -L windows    runs the Windows tests under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
shift || true
targets=()
options=()
while [ $# -gt 0 ]; do
    if [ "$1" = --target ] && [ $# -ge 2 ]; then
        targets+=(--target "$2")
        shift 2
    else
        options+=("$1")
        shift
    fi
done
mkdir -p "$build"
build=$(cd "$build" && pwd)

"$root/scripts/setup-debian.sh"
"$root/scripts/setup-windows.sh"

cmake -S "$root" -B "$build/host" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_BUILD_UI=OFF \
    -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build/host" --target korvane-printer-sim -j"$(nproc)"

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WERROR=ON \
    -DKORVANE_PRINTER_SIM="$build/host/tools/korvane-printer-sim" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
