#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, skipping what is already there.
#   bash scripts/install-deps.sh [windows]    (windows: also the cross-compiler, wine and NSIS)
set -euo pipefail
pkgs=(g++ cmake make pkg-config libgtest-dev qt6-base-dev unixodbc unixodbc-dev mariadb-server mariadb-client
      odbc-mariadb odbcinst xvfb xauth xdotool x11-apps fonts-liberation imagemagick libgl1-mesa-dev dpkg-dev
      lintian desktop-file-utils file locales libc-l10n galera-4 rsync libsqliteodbc)
if [ "${1:-}" = windows ]; then
    pkgs+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev ninja-build xz-utils
           wine64 wine nsis)
fi
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
