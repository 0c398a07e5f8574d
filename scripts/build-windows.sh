#!/usr/bin/env bash
# Builds the Windows installer from this Linux machine and prints its path as its last line:
#   bash scripts/build-windows.sh [BUILD_DIR]     (default build-windows/)
# Qt for Windows comes from Debian's own source, built once into a cache (scripts/build-qt-windows.sh).
# The build also holds the test programs, which scripts/run-tests.sh runs under wine (TK_LINUX_EXE
# names the Linux build the installed copy is compared with); TK_WINDOWS_TESTS=OFF leaves them out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-windows}")
if [ "$(id -u)" = 0 ]; then
    bash "$root/scripts/install-deps.sh" windows >&2
fi
qt=$(bash "$root/scripts/build-qt-windows.sh" | tail -n 1)
version=$(sed -n 's/^project(tk_corvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# The icon, drawn by the window's own artwork code in a build for this machine.
mkdir -p "$build/icons"
cmake -S "$root" -B "$build/host" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >&2
cmake --build "$build/host" --target tk_corvane_icons -j"$(nproc)" >&2
QT_QPA_PLATFORM=offscreen "$build/host/src/app/tk_corvane_icons" "$build/icons/hicolor" >&2
pngs=()
for size in 16 24 32 48 64 128 256; do
    f="$build/icons/hicolor/${size}x${size}/apps/tk_corvane.png"
    [ -f "$f" ] && pngs+=("$f")
done
convert "${pngs[@]}" "$build/icons/tk_corvane.ico"

cmake -G Ninja -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTK_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
      -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQT_HOST_PATH=/usr \
      -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      -DTK_WINDOWS_ICON="$build/icons/tk_corvane.ico" -DBUILD_TESTING="${TK_WINDOWS_TESTS:-ON}" \
      -DTK_LINUX_EXE="${TK_LINUX_EXE:-}" >&2
cmake --build "$build" -j"$(nproc)" >&2

# The installation, staged, then wrapped by NSIS with a file list for the installer and the uninstaller.
rm -rf "$build/stage"
cmake --install "$build" --prefix "$build/stage" >&2
(
    cd "$build/stage"
    : > "$build/files.nsh"
    : > "$build/unfiles.nsh"
    find . -type d | sort | while read -r d; do
        [ "$d" = . ] && continue
        echo "CreateDirectory \"\$INSTDIR\\${d#./}\"" | tr '/' '\\' >> "$build/files.nsh"
    done
    find . -type f | sort | while read -r f; do
        rel=${f#./}
        dir=$(dirname "$rel")
        win=$(echo "$rel" | tr '/' '\\')
        if [ "$dir" = . ]; then
            echo "SetOutPath \"\$INSTDIR\"" >> "$build/files.nsh"
        else
            echo "SetOutPath \"\$INSTDIR\\$(echo "$dir" | tr '/' '\\')\"" >> "$build/files.nsh"
        fi
        echo "File \"$build/stage/$rel\"" >> "$build/files.nsh"
        echo "Delete \"\$INSTDIR\\$win\"" >> "$build/unfiles.nsh"
    done
    echo "SetOutPath \"\$INSTDIR\"" >> "$build/files.nsh"
)
setup="$build/tk_corvane-$version-win64-setup.exe"
makensis -V2 -DOUTFILE="$setup" -DFILES="$build/files.nsh" -DUNFILES="$build/unfiles.nsh" \
         -DICON="$build/icons/tk_corvane.ico" "$build/installer.nsi" >&2
echo "$setup"
