#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source, once, into a cache outside the work
# tree, and prints the installed prefix as its last line. The cache is keyed by Qt's version and the
# options below: a change to either builds a new one beside the old.
#   bash scripts/build-qt-windows.sh            (TK_QT_CACHE picks another cache folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${TK_QT_CACHE:-/var/cache/tk_corvane}
qt_version=6.4.2
# Direct2D is off, and DirectWrite with it: the printer engine needs both or neither. Without
# OpenGL, dynamic OpenGL must go too, or the windows plugin does not build. Qt's own FreeType brings
# the offscreen platform, which the tests' windows use.
options=(-DFEATURE_tabletevent=OFF -DFEATURE_directwrite=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
         -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
         -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_direct2d=OFF -DFEATURE_freetype=ON
         -DFEATURE_system_freetype=OFF
         -DFEATURE_widgets=ON -DFEATURE_printsupport=ON -DFEATURE_testlib=ON
         -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release)
key=$(printf '%s\n' "$qt_version" "${options[@]}" | cat - "$root/cmake/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-12)
prefix=$cache/qt-$qt_version-win64-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

if [ "$(id -u)" = 0 ]; then
    bash "$root/scripts/install-deps.sh" windows >&2
fi
work=$cache/build-qt-$key
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' 2>/dev/null | head -n 1 || true)
# A build that was cut short goes on where it stopped; anything else starts afresh.
if [ -z "$src" ] || [ ! -f "$work/build/build.ninja" ]; then
rm -rf "$work"
mkdir -p "$work"
# Debian's source package, fetched through a sources list and package lists of its own so that the
# system's apt state is left as it was.
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
mirror=$( (grep -rhoE '^(URIs:|deb) +[^ ]*debian/?( |$)' /etc/apt/sources.list /etc/apt/sources.list.d/ 2>/dev/null || true) \
         | head -n 1 | awk '{print $2}')
mirror=${mirror:-http://deb.debian.org/debian}
mkdir -p "$work/apt/lists/partial" "$work/apt/parts"
echo "deb-src $mirror $codename main" > "$work/apt/sources.list"
aptopts=(-o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/parts"
         -o Dir::State::Lists="$work/apt/lists")
apt-get "${aptopts[@]}" update -qq >&2
(cd "$work" && apt-get "${aptopts[@]}" source --download-only -qq "qt6-base=$qt_version+dfsg-2" >&2 ||
               apt-get "${aptopts[@]}" source --download-only -qq qt6-base >&2)
tar -C "$work" -xf "$work"/qt6-base_"$qt_version"+dfsg.orig.tar.xz
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)
fi

cmake -G Ninja -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_HOST_PATH=/usr \
      -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "${options[@]}" >&2
cmake --build "$work/build" -j"$(nproc)" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
