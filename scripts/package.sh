#!/usr/bin/env bash
# Builds a stripped Release build with Debian's hardening flags in build-package/ and writes
# the Debian package to build/korvane_<version>_<arch>.deb, then runs lintian on it when
# lintian is installed (errors fail; warnings are printed).
#   scripts/package.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$root/build-package
out=$root/build

"$root/scripts/setup-debian.sh"
# dpkg-buildflags: the flags every Debian package is built with (fortify, stack protector,
# relro, bind now, PIE).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S "$root" -B "$tree" -DCMAKE_BUILD_TYPE=Release -DKORVANE_BUILD_TESTS=OFF \
    -DKORVANE_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$tree" -j"$(nproc)"
rm -f "$tree"/packages/*.deb
cpack --config "$tree/CPackConfig.cmake" -G DEB -B "$tree/packages" >/dev/null
mkdir -p "$out"
debs=("$tree"/packages/*.deb)
deb=$out/$(basename "${debs[0]}")
cp "${debs[0]}" "$deb"
echo "package.sh: wrote $deb"

if command -v lintian >/dev/null; then
    # Exit status 0 with warnings shown; errors make it fail.
    lintian --fail-on error --info "$deb"
else
    echo "package.sh: lintian is not installed; apt-get install lintian to check the package" >&2
fi
