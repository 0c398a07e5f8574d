#!/usr/bin/env bash
# Installs what is missing, builds everything, starts a throw-away MariaDB on 127.0.0.1:3307 and
# runs the whole test suite through ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "$(id -u)" = 0 ] && bash scripts/install-deps.sh
bash scripts/register-odbc.sh
cmake -S . -B build-tests -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-tests -j"$(nproc)"
bash scripts/mariadb-local.sh start "$root/.testdb" 3307
export TK_TEST_SERVER="127.0.0.1;port=3307" TK_TEST_USER=tk_test TK_TEST_PASSWORD=tk-pass
cd build-tests
ctest --output-on-failure -j2 "$@"
