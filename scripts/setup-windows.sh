#!/usr/bin/env bash
# Installs the Debian 12 packages that cross-build the Windows programs and test them under
# Wine, on top of scripts/setup-debian.sh. Idempotent: apt is not touched when nothing is missing.
set -euo pipefail

packages=(
    # the compiler (posix threads: the win32 flavour has no std::mutex) and its resource compiler
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    # the Windows programs and tests run under Wine; GoogleTest is built from its sources
    wine wine64 googletest
    # JSON for the command line; the installer
    nlohmann-json3-dev nsis
    # the window tests: a display without a screen, and the clicks
    xvfb xauth xdotool
    # the window's icon and the tests' screenshots; the zip and the tests' sums
    imagemagick unzip bc
    # the harness maps COM ports with symbolic links and locks the prefix while it is made
    util-linux
)

"$(dirname "$0")/install-missing.sh" "${packages[@]}"
