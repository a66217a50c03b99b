#!/usr/bin/env bash
# Builds the Windows programs (scripts/build-windows.sh) and writes, with CPack:
#   build-windows/korvane-<version>-win64.exe   the 64-bit NSIS installer
#   build-windows/korvane-<version>-win64.zip   the same programs, nothing to install
#   scripts/package-windows.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$root/build-windows

"$root/scripts/build-windows.sh" "$tree"
rm -rf "$tree/packages"
cpack --config "$tree/CPackConfig.cmake" -B "$tree/packages" >/dev/null
for package in "$tree"/packages/korvane-*-win64.exe "$tree"/packages/korvane-*-win64.zip; do
    cp "$package" "$tree/"
    echo "package-windows.sh: wrote $tree/$(basename "$package")"
done
