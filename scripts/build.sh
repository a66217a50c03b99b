#!/usr/bin/env bash
# Installs what is missing, then configures and builds the project into build/ (or $1).
#   scripts/build.sh [BUILD_DIR] [--target NAME]... [CMAKE_OPTION]...
# With --target, only those programs (and what they need) are built; else everything.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
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

"$root/scripts/setup-debian.sh"
# Ninja for a new build folder: it starts compiling at once where make first scans every target.
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
