#!/usr/bin/env bash
# The servers real sites run on, on loopback, for the tests and the benchmark:
#   mariadb-topology.sh replica DIR PRIMARY_PORT REPLICA_PORT
#       a primary writing a binary log (GTID) and a replica fed from it
#   mariadb-topology.sh galera DIR PORT1 PORT2 PORT3
#       a three-node Galera cluster; node n also uses ports 4567+10n (group), +1 (IST), 4444+10n (SST)
#   mariadb-topology.sh tls DIR REQUIRING_PORT OFFERING_PORT [SILENT_PORT]
#       a server that takes TLS connections only, with a certificate for 127.0.0.1, and one that offers
#       TLS without requiring it, with a certificate for another name; both signed by DIR/ca.pem, a
#       throw-away authority made here (DIR/other-ca.pem is a second one, DIR/client-*.pem a client's);
#       the second one also listens on ::1. The third, set up like the second, is the one a test
#       stops to see a server fall silent, so that no other test's server stops with it.
#   mariadb-topology.sh stop DIR
# Each server's data lives below DIR; the accounts are those of mariadb-local.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=$1; dir=$(realpath -m "$2"); shift 2
export TK_BUFFER_POOL=128M
sql() { mariadb --no-defaults -uroot --socket="$1/mysqld.sock" -N -e "$2"; }

case "$cmd" in
replica)
    p=$1 r=$2
    bash "$here/mariadb-local.sh" start "$dir/primary" "$p" --server-id=1 --log-bin=binlog --log-slave-updates \
        --binlog-format=ROW
    bash "$here/mariadb-local.sh" start "$dir/replica" "$r" --server-id=2 --log-bin=binlog --log-slave-updates
    if [ -z "$(sql "$dir/replica" "SHOW SLAVE STATUS")" ]; then
        # Both servers made their own accounts: the replica starts from where the primary is now.
        sql "$dir/replica" "SET GLOBAL gtid_slave_pos='$(sql "$dir/primary" "select @@gtid_binlog_pos")';
            CHANGE MASTER TO MASTER_HOST='127.0.0.1', MASTER_PORT=$p, MASTER_USER='root',
            MASTER_PASSWORD='', MASTER_USE_GTID=slave_pos; START SLAVE"
    fi
    sql "$dir/replica" "START SLAVE" 2>/dev/null || true
    ;;
galera)
    ports=("$@")
    provider=/usr/lib/galera/libgalera_smm.so
    group="gcomm://127.0.0.1:4577,127.0.0.1:4587,127.0.0.1:4597"
    for n in 1 2 3; do
        node="$dir/node$n"
        g=$((4567 + 10 * n)) s=$((4444 + 10 * n))
        if [ -S "$node/mysqld.sock" ] && mariadb-admin --no-defaults -uroot --socket="$node/mysqld.sock" ping \
            >/dev/null 2>&1; then
            continue
        fi
        first=()
        if [ "$n" = 1 ]; then
            # The first node starts the cluster unless another node already runs it.
            others=0
            for m in 2 3; do
                [ -S "$dir/node$m/mysqld.sock" ] && others=1
            done
            [ "$others" = 0 ] && first=(--wsrep-new-cluster)
            rm -f "$node/data/grastate.dat"
        fi
        mkdir -p "$node/data"
        if [ "$n" != 1 ]; then
            # A joiner takes its data from the cluster, by an rsync state transfer that writes as nobody.
            mkdir -p "$node/data/mysql"
            chown -R nobody:nogroup "$node/data"
        fi
        bash "$here/mariadb-local.sh" start "$node" "${ports[$((n - 1))]}" --wsrep-on=ON \
            --wsrep-provider="$provider" --wsrep-cluster-address="$group" --wsrep-cluster-name=tk_corvane \
            --wsrep-node-address="127.0.0.1:$g" --wsrep-provider-options="ist.recv_addr=127.0.0.1:$((g + 1))" \
            --wsrep-sst-receive-address="127.0.0.1:$s" --wsrep-sst-method=rsync --binlog-format=ROW \
            --default-storage-engine=InnoDB --innodb-autoinc-lock-mode=2 "${first[@]}"
    done
    for _ in $(seq 1 120); do
        [ "$(sql "$dir/node1" "select VARIABLE_VALUE from information_schema.GLOBAL_STATUS
            where VARIABLE_NAME='WSREP_CLUSTER_SIZE'")" = 3 ] && exit 0
        sleep 0.5
    done
    echo "the Galera cluster did not reach three nodes" >&2
    exit 1
    ;;
tls)
    mkdir -p "$dir"
    if [ ! -f "$dir/other-ca.pem" ]; then
        ssl() { openssl "$@" >/dev/null 2>&1; }
        for ca in ca other-ca; do
            ssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=tk_corvane test $ca" \
                -keyout "$dir/$ca-key.pem" -out "$dir/$ca.pem"
        done
        # name: the certificate's subject alternative name
        for pair in "server:IP:127.0.0.1" "wrong-name:DNS:wrong-name.invalid" "client:DNS:client.invalid"; do
            name=${pair%%:*} alt=${pair#*:}
            ssl req -newkey rsa:2048 -nodes -subj "/CN=${alt#*:}" -keyout "$dir/$name-key.pem" -out "$dir/$name.csr"
            printf 'subjectAltName=%s\n' "$alt" >"$dir/$name.ext"
            ssl x509 -req -in "$dir/$name.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca-key.pem" -CAcreateserial \
                -days 3650 -extfile "$dir/$name.ext" -out "$dir/$name.pem"
        done
        chmod 644 "$dir"/*.pem
    fi
    bash "$here/mariadb-local.sh" start "$dir/requiring" "$1" --ssl-ca="$dir/ca.pem" --ssl-cert="$dir/server.pem" \
        --ssl-key="$dir/server-key.pem" --require-secure-transport=ON
    # This one listens on the IPv6 loopback too, where the machine has one.
    v6=127.0.0.1
    grep -q '^0\{31\}1 ' /proc/net/if_inet6 2>/dev/null && v6=127.0.0.1,::1
    bash "$here/mariadb-local.sh" start "$dir/offering" "$2" --ssl-ca="$dir/ca.pem" \
        --ssl-cert="$dir/wrong-name.pem" --ssl-key="$dir/wrong-name-key.pem" --bind-address="$v6"
    if [ -n "${3:-}" ]; then
        bash "$here/mariadb-local.sh" start "$dir/silent" "$3" --ssl-ca="$dir/ca.pem" \
            --ssl-cert="$dir/wrong-name.pem" --ssl-key="$dir/wrong-name-key.pem"
    fi
    ;;
stop)
    for d in "$dir"/*/; do
        bash "$here/mariadb-local.sh" stop "$d"
    done
    ;;
*) echo "usage: $0 replica DIR PRIMARY_PORT REPLICA_PORT | galera DIR PORT1 PORT2 PORT3 | tls DIR REQUIRING_PORT OFFERING_PORT [SILENT_PORT] | stop DIR" >&2; exit 64 ;;
esac
