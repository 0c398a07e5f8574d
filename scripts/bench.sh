#!/usr/bin/env bash
# Times the rating recalculation and the cleanup on a generated site against the same job written
# by hand as set-based SQL (bench/reference/recount.sql and cleanup.sql), and checks that both ways
# leave the database in the same state.
#
#   bench.sh [--scale S]... [S...] [--port 3308] [--datadir DIR] [--build DIR] [--only OP[,OP]...]
#            [--reference-dir DIR] [--rev REV] [--repeat N] [--no-secondary-indexes] [--window] [--binlog]
#            [--keep]
#
#   bench.sh             scale 1
#   bench.sh 0.1 1 3     three scales, one after the other
#
# Starts a MariaDB server of the benchmark's own (default datadir build-bench/db, port 3308, so the
# test server on 3307 neither disturbs nor is disturbed) and builds tk_bench. Per scale it generates
# the site once; per operation it copies that site twice, runs the reference SQL with the mariadb
# client on one copy (the client's wall time) and the tool's operation through tk_bench on the other
# (wall time, statements the server counted for the tool's account, peak memory), then compares the
# two copies table by table: IDENTICAL or DIFFERENT. Each copy is made right before its run, so both
# sides start with the same warm server cache. A reference file that is not there is reported and
# that comparison skipped; the tool still runs. On a busy machine one run of each side is noisy:
# --repeat N does the whole thing N times on fresh copies, compares every time, and reports the
# median times (the highest peak memory).
#
# maintain (asked for with --only, alone or as in --only recount,cleanup,maintain) runs the command
# line's maintain steps in one go: block, cleanup, recount, unblock; its reference is the block's UPDATE, cleanup.sql, recount.sql and the
# unblock's UPDATE run one after the other by one client, so the times compare what the site's
# visitors wait for.
#
# --no-secondary-indexes drops every index but the primary keys from the generated site before it is
# copied, so both sides run on a site as some real sites are: references without indexes.
#
# --window runs the tool through its real window under Xvfb (xvfb-run): the button is clicked and
# the closing message answered. The longest pause is then the longest stretch in which the window's
# event loop did not run; headless, it is the longest stretch between two points where the window
# would have run its events.
#
# --binlog runs a server of its own (default datadir build-bench/db-binlog, port 3310) that writes a
# binary log in ROW format, as a primary feeding replicas does, and reports how many bytes of it each
# side's run wrote (SHOW BINARY LOGS before and after the run, the copy not counted).
#
# The tool and the reference come from the working tree, as it is; --rev REV measures a committed
# revision instead (exported with git archive into the build folder, so work in progress elsewhere
# in the tree neither breaks the build nor creeps into the figures).
#
# Exit status: 0 when every comparison made was IDENTICAL and every run completed; 1 when a run
# failed or two copies ended DIFFERENT; 64 for bad arguments. The databases are dropped at the end,
# and the server is stopped if this run started it; --keep leaves both for a closer look.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
port=3308 datadir="$root/build-bench/db" build="$root/build-bench" only="" keep=0 refdir="" rev="" repeat=1 noindexes=0
window=0 binlog=0 cluster=""
scales=()
usage() {
    echo "usage: $0 [--scale F]... [F...] [--port P] [--datadir DIR] [--build DIR] [--only recount|cleanup|maintain]" >&2
    echo "       [--reference-dir DIR] [--rev REV] [--repeat N] [--no-secondary-indexes] [--window] [--binlog]" >&2
    echo "       [--cluster PORT[,PORT]...] [--keep]" >&2
    exit 64
}
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) [ $# -ge 2 ] || usage; scales+=("$2"); shift 2 ;;
    --port) [ $# -ge 2 ] || usage; port=$2; shift 2 ;;
    --datadir) [ $# -ge 2 ] || usage; datadir=$2; shift 2 ;;
    --build) [ $# -ge 2 ] || usage; build=$2; shift 2 ;;
    --only) [ $# -ge 2 ] || usage; only=$2; shift 2 ;;
    --reference-dir) [ $# -ge 2 ] || usage; refdir=$2; shift 2 ;;
    --rev) [ $# -ge 2 ] || usage; rev=$2; shift 2 ;;
    --repeat) [ $# -ge 2 ] || usage; repeat=$2; shift 2 ;;
    --no-secondary-indexes) noindexes=1; shift ;;
    --window) window=1; shift ;;
    --binlog) binlog=1; shift ;;
    --cluster) [ $# -ge 2 ] || usage; cluster=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage ;;
    -*) echo "unknown option: $1" >&2; usage ;;
    *) scales+=("$1"); shift ;;
    esac
done
[ ${#scales[@]} -gt 0 ] || scales=(1)
serverOptions=()
if [ "$binlog" = 1 ]; then
    [ "$datadir" != "$root/build-bench/db" ] || datadir="$root/build-bench/db-binlog"
    [ "$port" != 3308 ] || port=3310
    serverOptions=(--server-id=1 --log-bin=binlog --binlog-format=ROW)
fi
[[ "$repeat" =~ ^[1-9][0-9]*$ ]] || { echo "--repeat wants a whole number of runs, 1 or more" >&2; exit 64; }
for s in "${scales[@]}"; do
    if ! [[ "$s" =~ ^[0-9]+(\.[0-9]+)?$ ]] || ! awk -v s="$s" 'BEGIN { exit !(s > 0) }'; then
        echo "a scale is a decimal factor greater than 0, such as 0.1, 1 or 3: not '$s'" >&2
        exit 64
    fi
done
# --only takes one operation or several with commas between them (recount,cleanup,maintain).
ops=(recount cleanup)
[ -z "$only" ] || IFS=, read -r -a ops <<<"$only"
for op in "${ops[@]}"; do
    case "$op" in
    recount | cleanup) ;;
    maintain) [ "$window" = 0 ] || { echo "maintain has no button: it runs headless only" >&2; exit 64; } ;;
    *) echo "--only wants recount, cleanup or maintain, or several with commas between them" >&2; exit 64 ;;
    esac
done

sql=(mariadb --no-defaults -h127.0.0.1 -P"$port" -uroot --default-character-set=utf8mb4 --batch)
# tk_bench's copy and compare run as root, the operations as the tool's own account.
asRoot=(--port "$port" --user root --password "")

site=corvane_bench_site
# At the end, also after a failure: the big databases go, and the server if this run started it.
finish() {
    if [ "$keep" = 1 ]; then
        echo "== kept: the databases and the server on port $port"
        return
    fi
    local d op
    for d in "$site" $(for op in "${ops[@]}"; do echo "corvane_bench_${op}_ref corvane_bench_${op}_tool"; done); do
        "${sql[@]}" -e "DROP DATABASE IF EXISTS \`$d\`" || true
    done
    if [ "$started" = 1 ]; then
        echo "== stopping the server on port $port"
        bash "$here/mariadb-local.sh" stop "$datadir"
    fi
}
started=0
if ! mariadb-admin --no-defaults -h127.0.0.1 -P"$port" -uroot ping >/dev/null 2>&1; then
    started=1
fi
echo "== server: $datadir on port $port"
bash "$here/mariadb-local.sh" start "$datadir" "$port" "${serverOptions[@]}"
trap finish EXIT
# The tool runs under an account of its own, so the server's per-account counters hold its
# statements only; generating, copying, comparing and the reference SQL go through root.
"${sql[@]}" <<'SQL'
CREATE USER IF NOT EXISTS 'tk_bench'@'127.0.0.1' IDENTIFIED BY 'bench-pass';
GRANT ALL PRIVILEGES ON *.* TO 'tk_bench'@'127.0.0.1';
SQL

source="$root" binary="$build"
if [ -n "$rev" ]; then
    commit=$(git -C "$root" rev-parse --verify "$rev^{commit}")
    source="$build/rev-source" binary="$build/rev-build"
    rm -rf "$source" && mkdir -p "$source"
    # Stamped now (-m), not with the commit's time: the build folder may hold objects of another
    # revision made later than this one's commit, and make would take them for up to date.
    git -C "$root" archive "$commit" | tar -x -m -C "$source"
    echo "== source: revision $(git -C "$root" log -1 --format='%h %s' "$commit")"
fi
[ -n "$refdir" ] || refdir="$source/bench/reference"
# maintain's reference: the site blocked, cleaned, recounted and unblocked by one client.
if [[ " ${ops[*]} " == *" maintain "* ]] && [ ! -f "$refdir/maintain.sql" ]; then
    composed="$build/reference-composed"
    rm -rf "$composed" && mkdir -p "$composed"
    for f in cleanup recount; do [ ! -f "$refdir/$f.sql" ] || cp "$refdir/$f.sql" "$composed/"; done
    if [ -f "$refdir/cleanup.sql" ] && [ -f "$refdir/recount.sql" ]; then
        { echo "UPDATE tbl_conf SET VALUEINT = 0 WHERE PARAM = 'ISWORK';"
          cat "$refdir/cleanup.sql" "$refdir/recount.sql"
          echo "UPDATE tbl_conf SET VALUEINT = 1 WHERE PARAM = 'ISWORK';"; } >"$composed/maintain.sql"
    fi
    refdir=$composed
fi
echo "== build: $binary"
cmake -S "$source" -B "$binary" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$binary" -j2 --target tk_bench >/dev/null
tkbench="$binary/bench/tk_bench"

# The bytes of binary log the server holds now (0 without one).
binlogBytes() { { "${sql[@]}" -N -e "SHOW BINARY LOGS" 2>/dev/null || true; } | awk '{ s += $2 } END { print s + 0 }'; }
# mebibytes FROM TO
mebibytes() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b - a) / 1048576 }'; }

# On a cluster node (--cluster names the other nodes' ports): waits until every node has applied
# everything the cluster has certified, so that no job is timed while the nodes still apply a copy
# made before it, and a job's "on every node" time counts until the cluster has all of it.
clusterPorts=()
[ -z "$cluster" ] || IFS=, read -r -a clusterPorts <<<"$cluster"
settled() {
    local p
    for p in "$port" "${clusterPorts[@]}"; do
        mariadb --no-defaults -h127.0.0.1 -P"$p" -uroot -N -e "SET SESSION wsrep_sync_wait=1; SELECT 1" >/dev/null
    done
}

# seconds START END
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }
# field TEXT PATTERN: the first number after PATTERN in TEXT.
field() { sed -n "s/^$2 *\([0-9][0-9.]*\).*/\1/p" <<<"$1" | head -n1; }

# median NUMBER...: the middle value (the lower middle of an even count).
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
# maximum NUMBER...
maximum() { printf '%s\n' "$@" | sort -g | tail -n1; }

# One run of one operation on fresh copies; sets refTime, toolTime, statements, memory and verdict.
runOnce() {
    local op=$1 scale=$2 label=$3 refdb="corvane_bench_${1}_ref" tooldb="corvane_bench_${1}_tool"
    local reference="$refdir/$op.sql" start output toolStatus changed
    refTime="-" toolTime="-" statements="-" memory="-" pause="-" verdict="-" refLog="-" toolLog="-"
    refEvery="-" toolEvery="-"
    local logStart

    echo
    echo "== $label: reference SQL"
    if [ -f "$reference" ]; then
        "$tkbench" copy --from "$site" --database "$refdb" "${asRoot[@]}"
        # What the reference prints (its counts, the screenshot list) goes to a file beside the
        # tool's reports; errors still show here.
        local refOut="$build/reports/$op-$scale.reference.txt"
        mkdir -p "$build/reports"
        logStart=$(binlogBytes)
        [ -z "$cluster" ] || settled
        start=$(date +%s.%N)
        if "${sql[@]}" "$refdb" <"$reference" >"$refOut"; then
            refTime=$(seconds "$start" "$(date +%s.%N)")
            if [ -n "$cluster" ]; then
                settled
                refEvery=$(seconds "$start" "$(date +%s.%N)")
                echo "reference on every node: $refEvery s"
            fi
            [ "$binlog" = 0 ] || refLog=$(mebibytes "$logStart" "$(binlogBytes)")
            echo "reference wall time: $refTime s (mariadb client, $(basename "$reference"); its output: $refOut)"
        else
            echo "!! the reference SQL $reference failed on $refdb"
            refTime=FAILED
        fi
    else
        echo "!! MISSING: $reference is not there; $op runs without a reference time and without the comparison"
        refTime=missing
    fi

    echo
    echo "== $label: the tool"
    "$tkbench" copy --from "$site" --database "$tooldb" "${asRoot[@]}"
    local reports="$build/reports/$op-$scale"
    rm -rf "$reports" && mkdir -p "$reports"
    toolStatus=0
    local run=("$tkbench" "$op" --database "$tooldb" --port "$port" --user tk_bench --password bench-pass
        --monitor-user root --monitor-password "" --app-folder "$reports")
    if [ "$window" = 1 ]; then
        run=(xvfb-run -a -s "-screen 0 1280x1024x24" "${run[@]}" --window)
    fi
    logStart=$(binlogBytes)
    [ -z "$cluster" ] || settled
    start=$(date +%s.%N)
    output=$("${run[@]}" 2>&1) || toolStatus=$?
    if [ -n "$cluster" ]; then
        settled
        # The tool's own wall time, and the wait from its end until the cluster had all of it.
        toolEvery=$(seconds "$start" "$(date +%s.%N)")
        echo "tool on every node: $toolEvery s (its process start included)"
    fi
    [ "$binlog" = 0 ] || toolLog=$(mebibytes "$logStart" "$(binlogBytes)")
    echo "$output"
    if [ "$toolStatus" -eq 0 ] && grep -q '^result: completed' <<<"$output"; then
        toolTime=$(field "$output" "wall time:")
        statements=$(field "$output" "statements (server, account tk_bench):")
        memory=$(field "$output" "peak memory:")
        pause=$(field "$output" "longest pause:")
    else
        echo "!! the tool's $op failed (exit status $toolStatus)"
        toolTime=FAILED
    fi

    if [[ "$refTime" =~ ^[0-9] && "$toolTime" =~ ^[0-9] ]]; then
        echo
        echo "== $label: reference copy against the tool's copy"
        if "$tkbench" compare --database "$refdb" --with "$tooldb" "${asRoot[@]}"; then
            verdict=IDENTICAL
        else
            verdict=DIFFERENT
        fi
        # Two copies that nobody touched are identical too: make sure the job did something.
        changed=$("$tkbench" compare --database "$site" --with "$tooldb" "${asRoot[@]}" | tail -n1) || true
        if [[ "$changed" == *": DIFFERENT ("* ]]; then
            echo "changed by the job: ${changed#*: DIFFERENT (}" | sed 's/)$//'
        else
            echo "!! the job left the generated site as it was: $changed"
            [ "$verdict" = DIFFERENT ] || verdict="IDENTICAL BUT UNCHANGED"
        fi
    elif [ "$refTime" = missing ]; then
        verdict="not compared (no reference)"
    else
        verdict="not compared (a run failed)"
    fi
    if [ "$keep" = 0 ]; then
        "${sql[@]}" -e "DROP DATABASE IF EXISTS \`$refdb\`; DROP DATABASE IF EXISTS \`$tooldb\`"
    fi
}

status=0
summary=()
shape=indexed mode=headless
[ "$noindexes" = 0 ] || shape=none
[ "$window" = 0 ] || mode=window
for scale in "${scales[@]}"; do
    echo
    echo "======== scale $scale"
    bash "$here/gen-site.sh" --scale "$scale" --database "$site" --port "$port" --user root --password ""
    if [ "$noindexes" = 1 ]; then
        "${sql[@]}" "$site" -N -e "SELECT DISTINCT CONCAT('ALTER TABLE \`', TABLE_NAME, '\` DROP INDEX \`', INDEX_NAME, '\`;')
            FROM information_schema.STATISTICS WHERE TABLE_SCHEMA = DATABASE() AND INDEX_NAME <> 'PRIMARY'" |
            "${sql[@]}" "$site"
        echo "secondary indexes dropped: every table keeps only its primary key"
    fi

    for op in "${ops[@]}"; do
        refTimes=() toolTimes=() memories=() pauses=() verdicts=() lastStatements="-" refEveries=() toolEveries=()
        for ((run = 1; run <= repeat; run++)); do
            label="$op at scale $scale"
            [ "$repeat" = 1 ] || label+=", run $run of $repeat"
            runOnce "$op" "$scale" "$label"
            [[ "$refTime" =~ ^[0-9] ]] && refTimes+=("$refTime")
            [[ "$toolTime" =~ ^[0-9] ]] && toolTimes+=("$toolTime") memories+=("$memory") pauses+=("$pause") \
                lastStatements=$statements
            verdicts+=("$verdict")
            [[ "$refEvery" =~ ^[0-9] ]] && refEveries+=("$refEvery")
            [[ "$toolEvery" =~ ^[0-9] ]] && toolEveries+=("$toolEvery")
            if [[ "$refTime" == FAILED || "$toolTime" == FAILED || "$verdict" == DIFFERENT || "$verdict" == *UNCHANGED ]]; then
                status=1
            fi
        done

        # Times are the median of the runs; a run that failed counts as failed for the whole line.
        refShown="-" toolShown="-" ratio="-" memShown="-" pauseShown="-"
        if [ ${#refTimes[@]} -eq "$repeat" ]; then refShown=$(median "${refTimes[@]}"); else refShown=$refTime; fi
        if [ ${#toolTimes[@]} -eq "$repeat" ]; then
            toolShown=$(median "${toolTimes[@]}") memShown=$(maximum "${memories[@]}") pauseShown=$(maximum "${pauses[@]}")
        else
            toolShown=FAILED
        fi
        if [[ "$refShown" =~ ^[0-9] && "$toolShown" =~ ^[0-9] ]]; then
            ratio=$(awk -v t="$toolShown" -v r="$refShown" 'BEGIN { if (r > 0) printf "%.2f", t / r; else print "-" }')
        fi
        # The worst verdict of the runs.
        overall=${verdicts[0]}
        for v in "${verdicts[@]}"; do
            case "$v" in
            DIFFERENT) overall=DIFFERENT ;;
            *UNCHANGED) [ "$overall" = DIFFERENT ] || overall=$v ;;
            "not compared"*) [[ "$overall" == DIFFERENT || "$overall" == *UNCHANGED ]] || overall=$v ;;
            esac
        done
        [ "$repeat" = 1 ] || overall+=" (${#verdicts[@]} runs)"
        echo
        if [ "$repeat" = 1 ]; then
            echo "$op at scale $scale: reference $refShown s, tool $toolShown s, tool/reference $ratio," \
                "statements $lastStatements, peak memory $memShown MiB, longest pause $pauseShown s," \
                "binary log $refLog / $toolLog MiB, $overall"
        else
            echo "$op at scale $scale: reference $refShown s (runs: ${refTimes[*]:-none}), tool $toolShown s" \
                "(runs: ${toolTimes[*]:-none}), tool/reference $ratio, statements $lastStatements," \
                "peak memory $memShown MiB, longest pause $pauseShown s, $overall"
        fi
        if [ -n "$cluster" ] && [ ${#refEveries[@]} -gt 0 ] && [ ${#toolEveries[@]} -gt 0 ]; then
            echo "$op at scale $scale on every node: reference $(median "${refEveries[@]}") s" \
                "(runs: ${refEveries[*]}), tool $(median "${toolEveries[@]}") s (runs: ${toolEveries[*]})"
        fi
        summary+=("$(printf '%-6s %-8s %-8s %-6s %9s %9s %9s %11s %9s %9s %8s %8s  %s' "$scale" "$op" "$shape" \
            "$mode" "$refShown" "$toolShown" "$ratio" "$lastStatements" "$memShown" "$pauseShown" "$refLog" "$toolLog" \
            "$overall")")
    done
done

echo
if [ "$repeat" = 1 ]; then
    echo "======== summary (times in seconds, memory in MiB)"
else
    echo "======== summary (times in seconds, the median of $repeat runs; memory in MiB, the highest)"
fi
printf '%-6s %-8s %-8s %-6s %9s %9s %9s %11s %9s %9s %8s %8s  %s\n' scale op indexes run reference tool tool/ref \
    statements peak-mem pause ref-log tool-log result
printf '%s\n' "${summary[@]}"

exit $status
