#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run, test and benchmark.
# Idempotent: packages already present are not asked for again, and apt is not touched at all
# when nothing is missing.
set -euo pipefail

packages=(
    # build
    build-essential cmake ninja-build g++ clang-14 libclang-rt-14-dev clang-format
    libgtest-dev libgmock-dev
    # korvane-cli: its JSON reports and their SHA-256
    nlohmann-json3-dev libssl-dev
    # the window and the serial adapter
    qt6-base-dev qt6-serialport-dev libgl-dev
    # window tests and screenshots without a display
    xvfb xauth
    # the parallel-port tests: a small Linux guest with emulated ISA parallel ports
    qemu-system-x86 busybox-static cpio
    # manual pages, icons, the Debian package and its checks
    scdoc librsvg2-bin dpkg-dev file man-db desktop-file-utils appstream bash-completion lintian
    # the --json reports checked against their schema
    python3 python3-jsonschema
)

"$(dirname "$0")/install-missing.sh" "${packages[@]}"
