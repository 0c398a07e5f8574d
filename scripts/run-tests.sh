#!/usr/bin/env bash
# Installs what is missing, builds everything, starts a throw-away MariaDB on 127.0.0.1:3307, a
# primary with a replica (3311, 3312), a three-node Galera cluster (3321-3323, group ports from
# 4577) and two TLS servers (3331 takes TLS only, 3332 offers it), and runs the whole test suite through ctest. TK_TEST_PORT picks another port for the test
# server.
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
bash scripts/mariadb-local.sh start "$root/.testdb" "$port"
bash scripts/mariadb-topology.sh replica "$root/.testdb-replica" 3311 3312
bash scripts/mariadb-topology.sh galera "$root/.testdb-galera" 3321 3322 3323
bash scripts/mariadb-topology.sh tls "$root/.testdb-tls" 3331 3332
export TK_TEST_SERVER="127.0.0.1;port=$port" TK_TEST_USER=tk_test TK_TEST_PASSWORD=tk-pass
export TK_TEST_REPLICATION="127.0.0.1;port=3311 127.0.0.1;port=3312"
export TK_TEST_GALERA="127.0.0.1;port=3321 127.0.0.1;port=3322 127.0.0.1;port=3323"
export TK_TEST_TLS="$root/.testdb-tls 3331 3332"
# Here the server is started above: a test that cannot reach it fails rather than skips.
export TK_TEST_SERVER_REQUIRED=1
cd build-tests
ctest --output-on-failure -j2 "$@"
