#!/usr/bin/env bash
# A throw-away MariaDB server on loopback, for the demo and the tests.
#   mariadb-local.sh start DATADIR PORT [SERVER OPTION...]
#                                         creates DATADIR if needed, starts the server with the options
#                                         (replication, a cluster node), waits until it answers
#   mariadb-local.sh stop DATADIR
# The server's socket is DATADIR/mysqld.sock; root has no password and is reachable over TCP on 127.0.0.1.
set -euo pipefail
cmd=$1; dir=$(realpath -m "$2"); port=${3:-3307}
shift $(( $# < 3 ? $# : 3 ))
sock="$dir/mysqld.sock"
# The accounts the tests and the demo use; run at every start, so that a server made by an older
# copy of this script gets what the tests need now.
accounts() {
    mariadb --no-defaults -uroot --socket="$sock" <<SQL
DELETE FROM mysql.global_priv WHERE User='';
CREATE USER IF NOT EXISTS 'root'@'127.0.0.1' IDENTIFIED BY '';
GRANT ALL PRIVILEGES ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;
CREATE USER IF NOT EXISTS 'tk_test'@'localhost' IDENTIFIED BY 'tk-pass';
CREATE USER IF NOT EXISTS 'tk_test'@'127.0.0.1' IDENTIFIED BY 'tk-pass';
CREATE USER IF NOT EXISTS 'tk_test'@'::1' IDENTIFIED BY 'tk-pass';
GRANT ALL PRIVILEGES ON *.* TO 'tk_test'@'localhost' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'tk_test'@'127.0.0.1' WITH GRANT OPTION;
GRANT ALL PRIVILEGES ON *.* TO 'tk_test'@'::1' WITH GRANT OPTION;
FLUSH PRIVILEGES;
SQL
}
case "$cmd" in
start)
    if [ -S "$sock" ] && mariadb-admin --no-defaults -uroot --socket="$sock" ping >/dev/null 2>&1; then
        accounts
        exit 0
    fi
    if [ ! -d "$dir/data/mysql" ]; then
        mkdir -p "$dir/data"
        mariadb-install-db --no-defaults --user=root --datadir="$dir/data" \
            --auth-root-authentication-method=normal >"$dir/install.log" 2>&1
    fi
    mariadbd --no-defaults --user=root --datadir="$dir/data" --socket="$sock" --port="$port" \
        --bind-address=127.0.0.1 --pid-file="$dir/mysqld.pid" --log-error="$dir/error.log" \
        --lower-case-table-names=0 --skip-name-resolve=0 --character-set-server=utf8mb4 \
        --innodb-buffer-pool-size=${TK_BUFFER_POOL:-1G} --innodb-flush-log-at-trx-commit=2 --max-connections=500 \
        "$@" >/dev/null 2>&1 &
    for _ in $(seq 1 240); do
        mariadb-admin --no-defaults -uroot --socket="$sock" ping >/dev/null 2>&1 && break
        sleep 0.5
    done
    mariadb-admin --no-defaults -uroot --socket="$sock" ping >/dev/null
    accounts
    ;;
stop)
    if [ -f "$dir/mysqld.pid" ]; then
        kill "$(cat "$dir/mysqld.pid")" 2>/dev/null || true
        for _ in $(seq 1 60); do [ -S "$sock" ] || break; sleep 0.5; done
    fi
    ;;
*) echo "usage: $0 start|stop DATADIR [PORT]" >&2; exit 64 ;;
esac
