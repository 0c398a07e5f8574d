#!/usr/bin/env bash
# Builds tk_corvane, starts a throw-away MariaDB with a demo site database on 127.0.0.1:3309,
# fills the window's fields through the tool's own settings store (a demo store of its own, so the
# user's settings stay untouched) and opens the window. Without a display it runs under Xvfb,
# presses "Тест соединения" and saves a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "$(id -u)" = 0 ] && bash scripts/install-deps.sh
bash scripts/register-odbc.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tk_corvane tk_settings

demo="$root/.demo"
bash scripts/mariadb-local.sh start "$demo/server" 3309
sock="$demo/server/mysqld.sock"
mariadb --no-defaults -uroot --socket="$sock" -e "DROP DATABASE IF EXISTS corvane; CREATE DATABASE corvane DEFAULT CHARACTER SET cp1251"
mariadb --no-defaults -uroot --socket="$sock" --default-character-set=utf8mb4 corvane <sql/schema.sql
mariadb --no-defaults -uroot --socket="$sock" --default-character-set=utf8mb4 corvane <sql/demo-data.sql
echo "demo site database 'corvane' is ready on 127.0.0.1 port 3309 (user root, no password)"

export XDG_CONFIG_HOME="$demo/config"
build/tk_settings set 'temp\text1' '127.0.0.1;port=3309'
build/tk_settings set 'temp\text2' 'root'
build/tk_settings set 'temp\text4' 'corvane'
echo "the window's fields are filled from the demo settings store in $XDG_CONFIG_HOME"

if [ -n "${DISPLAY:-}" ]; then
    exec build/tk_corvane
fi
shot="$demo/screenshot.png"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1" & app=$!
    for _ in $(seq 1 40); do xdotool search --name "tk_corvane v" >/dev/null 2>&1 && break; sleep 0.25; done
    win=$(xdotool search --name "tk_corvane v" | head -n 1)
    # Press the test button ("Тест соединения") and let the answer appear.
    xdotool mousemove --window "$win" 344 104 click 1
    sleep 2
    import -window root "$2"
    kill $app' _ "$root/build/tk_corvane" "$shot"
echo "no display: the window ran under Xvfb; screenshot after pressing \"Тест соединения\": $shot"
