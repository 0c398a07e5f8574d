#!/usr/bin/env bash
# Times the rating recalculation and the cleanup on a generated site.
#
#   bench.sh [--scale 1] [--port 3308] [--datadir DIR] [--build DIR] [--only recount|cleanup]
#
# Starts a MariaDB server of the benchmark's own (default datadir build-bench/db, port 3308, so the
# test server on 3307 neither disturbs nor is disturbed), builds tk_bench, generates the site at the
# scale twice (one identical copy per operation, as the cleanup must not see a recounted site and the
# other way round) and runs each operation once. tk_bench prints the wall time, the statements the
# server counted for the tool's account, and the peak memory.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
scale=1 port=3308 datadir="$root/build-bench/db" build="$root/build-bench" only=""
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale=${2:-}; shift 2 ;;
    --port) port=${2:-}; shift 2 ;;
    --datadir) datadir=${2:-}; shift 2 ;;
    --build) build=${2:-}; shift 2 ;;
    --only) only=${2:-}; shift 2 ;;
    *) echo "usage: $0 [--scale F] [--port P] [--datadir DIR] [--build DIR] [--only recount|cleanup]" >&2; exit 64 ;;
    esac
done
case "$only" in
"") ops=(recount cleanup) ;;
recount | cleanup) ops=("$only") ;;
*) echo "--only wants recount or cleanup" >&2; exit 64 ;;
esac

echo "== server: $datadir on port $port"
bash "$here/mariadb-local.sh" start "$datadir" "$port"
# The tool runs under an account of its own, so the server's per-account counters hold its
# statements only; generating and monitoring go through root.
mariadb --no-defaults -h127.0.0.1 -P"$port" -uroot <<'SQL'
CREATE USER IF NOT EXISTS 'tk_bench'@'127.0.0.1' IDENTIFIED BY 'bench-pass';
GRANT ALL PRIVILEGES ON *.* TO 'tk_bench'@'127.0.0.1';
SQL

echo "== build: $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tk_bench >/dev/null

for op in "${ops[@]}"; do
    echo "== generate corvane_bench_$op at scale $scale"
    bash "$here/gen-site.sh" --scale "$scale" --database "corvane_bench_$op" --port "$port" --user root --password ""
done

status=0
for op in "${ops[@]}"; do
    echo "== $op at scale $scale"
    "$build/bench/tk_bench" "$op" --database "corvane_bench_$op" --port "$port" --user tk_bench \
        --password bench-pass --monitor-user root --monitor-password "" || status=$?
done
exit $status
