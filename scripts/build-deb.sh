#!/usr/bin/env bash
# Builds the Debian package from this checkout and prints the path of the .deb as its last line.
#   bash scripts/build-deb.sh [BUILD_DIR]     (default build-deb/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-deb}")
if [ "$(id -u)" = 0 ]; then
    bash "$root/scripts/install-deps.sh" >&2
fi
# Debian's default compiler flags (hardening included), as a package build would use them.
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF >&2
cmake --build "$build" -j"$(nproc)" >&2
(cd "$build" && cpack -G DEB >&2)
ls -t "$build"/*.deb | head -n 1
