#!/usr/bin/env bash
# Installs the Windows installer silently into a fresh wine prefix, as a new user would, and checks
# the installed copy against the Linux build on the same server: the exit statuses of every command,
# report.txt and bad_sreen.txt byte for byte (the report's date line apart), the restore, verified
# TLS, the registry as the settings store (written by the tool, by reg.exe, read back), the window's
# start-up; then uninstalls and checks what stays (the user's settings, reports and archives).
#   check-installer.sh SETUP_EXE LINUX_EXE VERSION
# The test server comes from TK_TEST_SERVER ("host;port=N"), TK_TEST_USER, TK_TEST_PASSWORD and the
# TLS servers from TK_TEST_TLS ("DIR REQUIRING_PORT OFFERING_PORT SILENT_PORT").
set -euo pipefail
setup=$1 linux_exe=$2 version=$3
work=$(mktemp -d /tmp/tk_wininst.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
status=0
fail() { echo "FAILED: $*"; status=1; }

host=${TK_TEST_SERVER%%;*}
port=${TK_TEST_SERVER##*port=}
user=$TK_TEST_USER
export TK_CORVANE_PASSWORD=$TK_TEST_PASSWORD
sql() { mariadb --no-defaults -h"$host" -P"$port" -u"$user" -p"$TK_TEST_PASSWORD" --default-character-set=utf8mb4 "$@"; }

# Install: silent, under Program Files, with a Start-menu entry and an uninstaller registered.
wineboot -i >/dev/null 2>&1
wine "$setup" /S || fail "the silent install returned $?"
wineserver -w
dir="$WINEPREFIX/drive_c/Program Files/tk_corvane"
for f in tk_corvane.exe tk_settings.exe uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6PrintSupport.dll \
         platforms/qwindows.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll README.txt; do
    [ -f "$dir/$f" ] || fail "not installed: $f"
done
[ -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/tk_corvane.lnk" ] ||
    fail "no Start-menu entry"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\tk_corvane'
wine reg query "$uninstall_key" /v DisplayVersion 2>/dev/null | tr -d '\r' | grep -q "$version" ||
    fail "the uninstaller is not registered with version $version"
exe='C:\Program Files\tk_corvane\tk_corvane.exe'
# Each run is bounded: one that hangs fails the check instead of holding it until its time-out.
tool() { timeout 180 wine "$exe" "$@"; }
[ "$(tool --version | tr -d '\r')" = "tk_corvane $version" ] || fail "--version"

# The same site twice, one for each build; the Linux build runs from a folder of its own.
db_win=tk_wininst_w_$$ db_lin=tk_wininst_l_$$
for d in "$db_win" "$db_lin"; do
    sql -e "DROP DATABASE IF EXISTS $d; CREATE DATABASE $d DEFAULT CHARACTER SET cp1251"
    sql "$d" <"$(dirname "$0")/../../sql/schema.sql"
    sql "$d" <"$(dirname "$0")/../../sql/demo-data.sql"
done
trap 'sql -e "DROP DATABASE IF EXISTS $db_win; DROP DATABASE IF EXISTS $db_lin" || true; wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/linux"
cp "$linux_exe" "$work/linux/tk_corvane"
export XDG_CONFIG_HOME=$work/linux-config
server="$host:$port"
compare() { # what step: the two builds' exit statuses
    local step=$1; shift
    local w=0 l=0
    tool "$@" --server "$server" --user "$user" --database "$db_win" >"$work/w.out" 2>"$work/w.err" || w=$?
    "$work/linux/tk_corvane" "$@" --server "$server" --user "$user" --database "$db_lin" >"$work/l.out" 2>"$work/l.err" || l=$?
    [ "$w" = "$l" ] || { fail "$step: Windows exits $w, Linux $l"; cat "$work/w.err"; }
    echo "$step: $w"
}
compare "cleanup unblocked (refused)" cleanup --quiet
compare test test
compare block block
compare recount recount --quiet
compare cleanup cleanup --quiet
compare "unknown option" test --bogus
compare "no server" test --port 1 --server 127.0.0.1
grep -q "Соединение установлено" "$work/l.out" 2>/dev/null || true

files="$WINEPREFIX/drive_c/users/${USER:-root}/AppData/Local/tk_corvane"
[ -d "$files" ] || files=$(find "$WINEPREFIX/drive_c/users" -maxdepth 4 -type d -path '*AppData/Local/tk_corvane' | head -n 1)
[ -f "$files/report.txt" ] || fail "the installed copy wrote no report in the user's local application data"
if [ -f "$files/report.txt" ]; then
    cmp <(tail -n +2 "$files/report.txt") <(tail -n +2 "$work/linux/report.txt") ||
        fail "report.txt differs from the Linux build's"
    head -c 2 "$files/report.txt" | grep -q '[0-9]' || fail "report.txt does not start with the date"
fi
if [ -f "$work/linux/bad_sreen.txt" ] || [ -f "$files/bad_sreen.txt" ]; then
    cmp "$files/bad_sreen.txt" "$work/linux/bad_sreen.txt" || fail "bad_sreen.txt differs from the Linux build's"
fi
checksums() { sql -N -e "CHECKSUM TABLE $(sql -N -e "SELECT GROUP_CONCAT(CONCAT('$1.', TABLE_NAME)) FROM information_schema.TABLES WHERE TABLE_SCHEMA='$1'")" | awk '{print $2}'; }
[ "$(checksums "$db_win")" = "$(checksums "$db_lin")" ] || fail "the two builds left different sites"

# The undo archive puts the site back, and either build reads the other's archive.
archive=$(ls "$files"/cleanup-undo-*.sql 2>/dev/null | head -n 1)
[ -n "$archive" ] || fail "no undo archive"
if [ -n "$archive" ]; then
    win_archive=$(winepath -w "$archive")
    compare_restore() {
        local w=0
        tool restore "$win_archive" --server "$server" --user "$user" --database "$db_win" >"$work/r.out" 2>&1 || w=$?
        [ "$w" = 0 ] || { fail "restore exits $w"; cat "$work/r.out"; }
    }
    compare_restore
    sql -e "DROP DATABASE IF EXISTS ${db_win}_fresh; CREATE DATABASE ${db_win}_fresh DEFAULT CHARACTER SET cp1251"
    sql "${db_win}_fresh" <"$(dirname "$0")/../../sql/schema.sql"
    sql "${db_win}_fresh" <"$(dirname "$0")/../../sql/demo-data.sql"
    sql -e "UPDATE $db_win.tbl_conf SET VALUEINT=1 WHERE PARAM='ISWORK'" # unblocked, as the fresh copy
    lin_archive=$(ls "$work"/linux/cleanup-undo-*.sql | head -n 1)
    "$work/linux/tk_corvane" restore "$lin_archive" --server "$server" --user "$user" --database "$db_lin" >/dev/null 2>&1 ||
        fail "the Linux build could not restore its archive"
    sql -e "DROP DATABASE ${db_win}_fresh"
fi
compare unblock unblock

# Verified TLS to the server that takes nothing else.
if [ -n "${TK_TEST_TLS:-}" ]; then
    read -r tls_dir tls_port _ <<<"$TK_TEST_TLS"
    out=$(tool test --server "127.0.0.1:$tls_port" --user "$user" --database mysql --ssl-ca "$tls_dir/ca.pem" 2>&1) ||
        fail "verified TLS: $out"
    echo "$out" | tr -d '\r' | grep -qi 'TLS' || fail "the connection test does not say how it is secured: $out"
fi

# The registry is the settings store: written by the tool and by reg.exe, read by both.
wine 'C:\Program Files\tk_corvane\tk_settings.exe' set 'temp\text1' 'сервер.example:3307'
wine reg query 'HKCU\Software\Farrowind\tk_corvane\temp' /v text1 | tr -d '\r' | grep -q 'REG_SZ' ||
    fail "tk_settings did not write a string value into the registry"
wine reg add 'HKCU\Software\Farrowind\tk_corvane\temp' /v text4 /d from_reg_add /f >/dev/null
[ "$(wine 'C:\Program Files\tk_corvane\tk_settings.exe' get 'temp\text4' | tr -d '\r')" = from_reg_add ] ||
    fail "a value written with reg add is not read"
[ "$(wine 'C:\Program Files\tk_corvane\tk_settings.exe' get 'temp\text1' | tr -d '\r')" = 'сервер.example:3307' ] ||
    fail "a Cyrillic value does not read back"

# Started without a command, the window opens and records its folder, as start-up does.
if command -v xvfb-run >/dev/null; then
    (xvfb-run -a wine "$exe" >/dev/null 2>&1 &)
    for _ in $(seq 1 60); do
        wine reg query 'HKCU\Software\Farrowind\tk_corvane\Temp' /v Path 2>/dev/null | tr -d '\r' | grep -q 'tk_corvane\\$' && break
        sleep 1
    done
    # (its files folder: %LOCALAPPDATA%\tk_corvane\ for a copy under Program Files)
    wine reg query 'HKCU\Software\Farrowind\tk_corvane\Temp' /v Path 2>/dev/null | tr -d '\r' |
        grep -q 'REG_SZ.*\\tk_corvane\\$' || fail "the window did not record its folder in the registry"
    wine taskkill /IM tk_corvane.exe /F >/dev/null 2>&1 || true
fi

# Uninstall: the program goes, the user's settings and files stay.
wine "$dir/uninstall.exe" /S "_?=C:\\Program Files\\tk_corvane" || fail "the silent uninstall returned $?"
wineserver -w
[ ! -e "$dir/tk_corvane.exe" ] || fail "uninstall left the program"
[ ! -e "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/tk_corvane.lnk" ] ||
    fail "uninstall left the Start-menu entry"
wine reg query "$uninstall_key" >/dev/null 2>&1 && fail "uninstall left its registry key"
wine reg query 'HKCU\Software\Farrowind\tk_corvane\temp' /v text4 >/dev/null 2>&1 || fail "uninstall removed the settings"
[ -f "$files/report.txt" ] || fail "uninstall removed the user's report"
[ $status = 0 ] && echo "installer ok: $(du -k "$setup" | cut -f1) KiB"
exit $status
