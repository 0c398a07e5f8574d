#!/usr/bin/env bash
# Installs what is missing, builds everything (for Windows too, run under wine), starts a
# throw-away MariaDB on 127.0.0.1:3307, a primary with a replica (3311, 3312), a three-node Galera
# cluster (3321-3323, group ports from 4577) and three TLS servers (3331 takes TLS only, 3332
# offers it, 3333 offers it and is the one a test stops), and runs the whole test suite through
# ctest. TK_TEST_PORT picks another port for the test server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "$(id -u)" = 0 ] && bash scripts/install-deps.sh
bash scripts/register-odbc.sh
# A Russian single-byte locale, for the test of what the tool writes to a cp1251 terminal.
if [ "$(id -u)" = 0 ] && ! locale -a 2>/dev/null | grep -qi '^ru_RU.cp1251$'; then
    localedef -i ru_RU -f CP1251 ru_RU.CP1251
fi
cmake -S . -B build-tests -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTK_WERROR=ON >/dev/null
cmake --build build-tests -j"$(nproc)"
port=${TK_TEST_PORT:-3307}
# The servers started here are stopped when the run ends, however it ends; TK_KEEP_SERVERS=1 keeps
# them for a quicker run next time (the same command reuses them, the stop commands in the README end them).
stop_servers() {
    bash scripts/mariadb-topology.sh stop "$root/.testdb-tls" >/dev/null 2>&1 || true
    bash scripts/mariadb-topology.sh stop "$root/.testdb-galera" >/dev/null 2>&1 || true
    bash scripts/mariadb-topology.sh stop "$root/.testdb-replica" >/dev/null 2>&1 || true
    bash scripts/mariadb-local.sh stop "$root/.testdb" >/dev/null 2>&1 || true
}
[ "${TK_KEEP_SERVERS:-0}" = 1 ] || trap stop_servers EXIT
bash scripts/mariadb-local.sh start "$root/.testdb" "$port"
bash scripts/mariadb-topology.sh replica "$root/.testdb-replica" 3311 3312
bash scripts/mariadb-topology.sh galera "$root/.testdb-galera" 3321 3322 3323
bash scripts/mariadb-topology.sh tls "$root/.testdb-tls" 3331 3332 3333
export TK_TEST_SERVER="127.0.0.1;port=$port" TK_TEST_USER=tk_test TK_TEST_PASSWORD=tk-pass
export TK_TEST_REPLICATION="127.0.0.1;port=3311 127.0.0.1;port=3312"
export TK_TEST_GALERA="127.0.0.1;port=3321 127.0.0.1;port=3322 127.0.0.1;port=3323"
export TK_TEST_TLS="$root/.testdb-tls 3331 3332 3333"
# Here the server is started above: a test that cannot reach it fails rather than skips.
export TK_TEST_SERVER_REQUIRED=1
linux=0
(cd build-tests && ctest --output-on-failure -j2 "$@") || linux=$?
# The same suite on Windows: cross-built, run under wine against the same servers (an X display for
# the system's dialogs), and the installer installed and compared with the Linux build.
# TK_WINDOWS=0 leaves it out.
windows=0
if [ "${TK_WINDOWS:-1}" != 0 ]; then
    TK_LINUX_EXE="$root/build-tests/tk_corvane" bash scripts/build-windows.sh "$root/build-windows" >/dev/null
    # A prefix of the build's own, made before the tests list themselves; its server is let go, so
    # that the tests' own starts under the X display they are given.
    # A prefix whose making was cut short (no kernel32.dll: no program starts in it, and every test
    # fails to list itself) is made again, once.
    for attempt in 1 2; do
        build-windows/wine-run.sh wineboot -i >/dev/null 2>&1 || true
        WINEPREFIX="$root/build-windows/wineprefix" wineserver -w || true
        [ -f build-windows/wineprefix/drive_c/windows/system32/kernel32.dll ] && break
        echo "run-tests.sh: the wine prefix was left incomplete (attempt $attempt); it is made again" >&2
        rm -rf build-windows/wineprefix
    done
    # Left out under wine (README, Windows): a test that sets up the host's driver through a child's
    # environment, which wine does not pass on to that driver.
    # The cluster tests change limits the nodes share, so they run one at a time: ctest's resource
    # lock does not hold for tests listed when they run, as these are under wine.
    leftout=$(paste -sd'|' "$root/tests/windows/left-out.txt")
    # One wine session for the whole run, its server and services started here with nothing of
    # ctest's: started by a test, they would hold that test's output open, and ctest would wait for
    # the test until the session ended with the last test of the run. The desktop is started by
    # the first test that opens a window, so each test's output goes through files.
    (cd build-windows && xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
        export WINEPREFIX="$PWD/wineprefix" TK_WINE_OUTPUT=files
        wineserver -p </dev/null >/dev/null 2>&1
        ./wine-run.sh wineboot </dev/null >/dev/null 2>&1
        ctest --output-on-failure -j2 --timeout 300 --repeat until-pass:2 -E "$0|^Galera\." "$@"; all=$?
        ctest --output-on-failure -j1 --timeout 300 --repeat until-pass:2 -R "^Galera\." -E "$0" "$@"; galera=$?
        wineserver -k
        [ "$all" = 0 ] && [ "$galera" = 0 ]
        ' "$leftout" "$@") || windows=$?
fi
[ "$linux" = 0 ] && [ "$windows" = 0 ]
