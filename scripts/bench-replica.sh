#!/usr/bin/env bash
# How far a replica falls behind while a site is maintained: the set-based SQL of bench/reference
# (recount, then cleanup), the tool's `maintain` watching the replica with --max-lag 1, and the same
# without naming it, each on a fresh copy of one generated site, on a primary with a replica of the
# benchmark's own (build-bench/replica, ports 3331 and 3332; mariadb-topology.sh).
#
#   bench-replica.sh [SCALE]          scale 1 by default
#
# The replica's Seconds_Behind_Master is polled every 0.25 s during each run; the table gives each
# run's wall time (until the primary is done) and the highest lag seen, and whether the replica
# ended with every table equal to the primary's.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
scale=${1:-1}
dir="$root/build-bench/replica" primary=3331 replica=3332
build="$root/build-bench"
sql() { mariadb --no-defaults -h127.0.0.1 -P"$1" -uroot --batch -N "${@:2}"; }

bash "$here/mariadb-topology.sh" replica "$dir" "$primary" "$replica"
trap 'bash "$here/mariadb-topology.sh" stop "$dir"' EXIT
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tk_bench tk_corvane >/dev/null

site=corvane_lag_site
bash "$here/gen-site.sh" --scale "$scale" --database "$site" --port "$primary" --user root --password ""

# Waits until the replica has applied everything the primary has logged.
caughtUp() { sql "$replica" -e "SELECT MASTER_GTID_WAIT('$(sql "$primary" -e 'SELECT @@gtid_binlog_pos')', 600)" >/dev/null; }

# The highest Seconds_Behind_Master seen until the file $1 appears; a stopped thread counts as -1.
poll() {
    local most=0 lag
    while [ ! -e "$1" ]; do
        lag=$(sql "$replica" -e "SHOW SLAVE STATUS\G" | awk '/Seconds_Behind_Master/ { print $2 }')
        [[ "$lag" =~ ^[0-9]+$ ]] || lag=-1
        [ "$lag" -gt "$most" ] && most=$lag
        sleep 0.25
    done
    echo "$most"
}

rows=()
for way in reference watched unwatched; do
    db="corvane_lag_$way"
    "$build/bench/tk_bench" copy --from "$site" --database "$db" --port "$primary" --user root --password ""
    caughtUp
    done=$(mktemp -u)
    poll "$done" >"$done.lag" &
    start=$(date +%s.%N)
    case $way in
    reference)
        sql "$primary" "$db" <"$root/bench/reference/recount.sql" >/dev/null
        sql "$primary" "$db" <"$root/bench/reference/cleanup.sql" >/dev/null
        ;;
    *)
        watch=()
        [ "$way" = watched ] && watch=(--replica "127.0.0.1;port=$replica" --max-lag 1)
        TK_CORVANE_PASSWORD="" XDG_DATA_HOME="$build/lag-files" "$build/tk_corvane" maintain --quiet \
            --server "127.0.0.1;port=$primary" --user root --database "$db" "${watch[@]}" >/dev/null
        ;;
    esac
    time=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
    touch "$done"
    wait
    caughtUp
    same=$(diff <(sql "$primary" "$db" -e "CHECKSUM TABLE $(sql "$primary" "$db" -e 'SHOW TABLES' | paste -sd,)") \
        <(sql "$replica" "$db" -e "CHECKSUM TABLE $(sql "$replica" "$db" -e 'SHOW TABLES' | paste -sd,)") >/dev/null &&
        echo equal || echo DIFFERENT)
    rows+=("$(printf '%-10s %9s %8s  %s' "$way" "$time" "$(cat "$done.lag")" "$same")")
    rm -f "$done" "$done.lag"
    sql "$primary" -e "DROP DATABASE \`$db\`"
done
echo
echo "======== replica lag at scale $scale (seconds)"
printf '%-10s %9s %8s  %s\n' run time max-lag replica
printf '%s\n' "${rows[@]}"
