#!/usr/bin/env bash
# Creates (or re-creates) a synthetic catalogue site database for timing the long operations.
#
#   gen-site.sh --scale 1 --database corvane_bench [--host 127.0.0.1] [--port 3307]
#               [--user tk_test] [--password tk-pass]
#
# Scale 1 is a mid-sized site: 20 thousand users, 100 thousand releases, 200 thousand links, a million
# downloads, 300 thousand votes and believable amounts of everything else; other scales multiply every
# table (0.01 gives a few thousand rows in all). Everything is filled on the server with set-based
# INSERT ... SELECT over the Sequence engine's seq_1_to_N tables, so scale 1 takes well under a minute.
#
# The data is the same on every run: every "random" value is CRC32 of the row number and a salt of its
# own. Two percent of every parent table is missing (users, releases, links and persons whose CODE
# modulo 50 is the table's hole number), and in every reference column one value in fifty names such
# a missing parent, at any scale; the links whose release is missing still have downloads, votes and
# comments may have lost both their user and their release, tbl_cross has rows with both releases
# missing. Orphans of every kind therefore exist already at scale 0.01. tbl_fav, tbl_search and
# tbl_wanted use -1 for rows of no user; tbl_poster has screenshots of no release (BASECODE 0 and -1);
# WHOMODER, WHOEDIT and WHODOPEDIT are often NULL; a third of the logins are Cyrillic. The counters
# and user statistics hold stale values, as on a site whose counters drifted.
set -euo pipefail

usage() {
    echo "usage: $0 --scale FACTOR --database NAME [--host H] [--port P] [--user U] [--password PW]" >&2
    exit 64
}

scale="" database="" host=127.0.0.1 port=3307 user=tk_test password=tk-pass
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale=${2:-}; shift 2 ;;
    --database) database=${2:-}; shift 2 ;;
    --host) host=${2:-}; shift 2 ;;
    --port) port=${2:-}; shift 2 ;;
    --user) user=${2:-}; shift 2 ;;
    --password) password=${2-}; shift 2 ;;
    -h | --help) usage ;;
    *) echo "unknown option: $1" >&2; usage ;;
    esac
done
[[ "$scale" =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "--scale wants a decimal factor such as 0.1, 1 or 3" >&2; exit 64; }
awk -v s="$scale" 'BEGIN { exit !(s > 0) }' || { echo "--scale must be greater than 0" >&2; exit 64; }
# The name goes into SQL text as it is.
[[ "$database" =~ ^[A-Za-z0-9_]+$ ]] || { echo "--database wants a name of letters, digits and _" >&2; exit 64; }

here=$(cd "$(dirname "$0")" && pwd)
schema="$here/../sql/schema.sql"

# Row count of a table at this scale: the scale-1 count times the factor, rounded, at least 1.
rows() { awk -v s="$scale" -v n="$1" 'BEGIN { v = int(n * s + 0.5); if (v < 1) v = 1; print v }'; }

U=$(rows 20000)     # tbl_user
B=$(rows 100000)    # tbl_base
L=$(rows 200000)    # tbl_link
S=$(rows 1000000)   # tbl_stat
V=$(rows 300000)    # tbl_votes
P=$(rows 30000)     # tbl_persona
X2=$(rows 150000)   # tbl_cross2
X=$(rows 20000)     # tbl_cross
C=$(rows 150000)    # tbl_comment
T=$(rows 200000)    # tbl_tags
F=$(rows 60000)     # tbl_fav
TU=$(rows 15000)    # tbl_tube
PO=$(rows 120000)   # tbl_poster
SE=$(rows 80000)    # tbl_search
W=$(rows 8000)      # tbl_wanted
N=$(rows 1500)      # tbl_news
MODS=$(( U / 20 > 0 ? U / 20 : 1 ))   # the first five percent of users do the moderating
ADMINS=$(( U / 100 > 0 ? U / 100 : 1 ))

# r SALT: a number in [0, 1), fixed for each row number and salt.
r() { echo "(CRC32(CONCAT('$1',seq))/4294967296)"; }
# uniform N SALT: a code in 1..N, every code equally likely.
uniform() { echo "(1+FLOOR($(r "$2")*$1))"; }
# skewed N SALT: a code in 1..N, low codes far more likely (a few users do most of the work, a few
# releases and links get most of the downloads).
skewed() { echo "(1+FLOOR(POW($(r "$2"),2)*$1))"; }

# The parents that are gone: every code whose remainder modulo 50 is the table's hole number.
declare -A holeOf=([user]=17 [base]=23 [link]=31 [persona]=41)
# ref KIND K DIST RANGE SALT [null:PCT | none:PCT]: a reference to a KIND row. Rows whose number
# modulo 50 is K (two percent, at every scale) name a missing parent; the others name one that
# exists (a drawn code that falls into a hole moves to the next code). null:PCT makes about PCT
# percent of the others NULL, none:PCT makes them -1, the site's mark for "no user".
ref() {
    local kind=$1 k=$2 dist=$3 range=$4 salt=$5 wrap=${6:-} h=${holeOf[$1]}
    local drawn present missing every=50
    drawn=$($dist "$range" "$salt")
    present="($drawn+($drawn%50=$h))"
    missing="(50*FLOOR($(r "${salt}h")*FLOOR($range/50))+$h)"
    case "$wrap" in
    null:*)
        present="IF($(r "${salt}n")<${wrap#null:}/100,NULL,$present)"
        # Orphans stay two percent of the values that are there, not of all rows.
        every=$(( 5000 / (100 - ${wrap#null:}) )) ;;
    none:*) present="IF($(r "${salt}n")<${wrap#none:}/100,-1,$present)" ;;
    esac
    echo "IF(seq%$every=$k,$missing,$present)"
}

client=(mariadb --no-defaults -h"$host" -P"$port" -u"$user" --default-character-set=utf8mb4 --batch)
if [ -n "$password" ]; then client+=(-p"$password"); fi

start=$(date +%s.%N)
"${client[@]}" -e "DROP DATABASE IF EXISTS \`$database\`; CREATE DATABASE \`$database\` DEFAULT CHARACTER SET cp1251"
{
    cat "$schema"
    cat <<SQL
SET SESSION unique_checks=0, foreign_key_checks=0;

INSERT INTO tbl_conf (PARAM, VALUEINT, VALUESTR) VALUES
  ('ISWORK', 1, NULL),
  ('OFFLINEMES', NULL, 'Сайт закрыт на профилактику. Загляните, пожалуйста, через час.'),
  ('SITENAME', NULL, 'Каталог раздач'),
  ('RAT_DOWN', 1, NULL),
  ('RAT_VOTES', 2, '2'),
  ('RAT_LINKS', 10, '10'),
  ('RAT_PERSONA', NULL, '3'),
  ('RAT_ALTLINKS', 0, '0.5'),
  ('PAGESIZE', 50, NULL);

INSERT INTO tbl_user (CODE, LOGIN, MODERS, PERSONA, RATINGS, VOTES, LINKS, ALTLINKS, DOWNUS, DOWNHIM)
SELECT seq,
  IF($(r ul)<0.35,
     CONCAT(ELT(1+seq%12,'Иван','Пётр','Ольга','Мария','Алексей','Дмитрий','Наталья','Сергей','Юлия',
                'Андрей','Елена','Фёдор'),'_',seq),
     CONCAT(ELT(1+seq%8,'user','dj','neo','rider','cat','max','vova','kate'),seq)),
  FLOOR($(r um)*5), FLOOR($(r up)*20), ROUND($(r ur)*5000,1), FLOOR($(r uv)*300), FLOOR($(r uk)*40),
  FLOOR($(r ua)*60), FLOOR($(r ud)*2000), FLOOR($(r uh)*500)
FROM seq_1_to_$U;

INSERT INTO tbl_base (CODE, TITLE, DOWN, VOTES, WHOADD, WHOMODER, WHOEDIT, WHODOPEDIT)
SELECT seq, CONCAT('Раздача №',seq), FLOOR($(r bd)*900), FLOOR($(r bv)*60)-10,
  $(ref user 1 skewed "$U" ba),
  $(ref user 2 uniform "$MODS" bm null:20),
  $(ref user 3 skewed "$U" be null:50),
  $(ref user 4 skewed "$U" bo null:85)
FROM seq_1_to_$B;

INSERT INTO tbl_link (CODE, BASECODE, URL, DOWN, WHOADD)
SELECT seq, $(ref base 1 uniform "$B" lb), CONCAT('http://files.example.net/get/',seq), FLOOR($(r ld)*400),
  $(ref user 2 skewed "$U" la)
FROM seq_1_to_$L;

INSERT INTO tbl_stat (LINKCODE, USERCODE)
SELECT $(ref link 1 skewed "$L" sl), $(ref user 2 skewed "$U" su) FROM seq_1_to_$S;

INSERT INTO tbl_votes (BASECODE, USERCODE, VOTES)
SELECT $(ref base 1 skewed "$B" vb), $(ref user 2 uniform "$U" vu), FLOOR($(r vv)*8)-2 FROM seq_1_to_$V;

INSERT INTO tbl_persona (CODE, NAME, LINKS, WHOADD, WHOMODER, WHOEDIT, WHODOPEDIT)
SELECT seq,
  CONCAT(ELT(1+seq%6,'Андрей','Никита','Татьяна','Людмила','Георгий','Вера'),' ',
         ELT(1+FLOOR(seq/6)%7,'Тарковский','Михалков','Гурченко','Быков','Данелия','Рязанов','Муратова')),
  FLOOR($(r pl)*30), $(ref user 1 skewed "$U" pa),
  $(ref user 2 uniform "$MODS" pm null:20),
  $(ref user 3 skewed "$U" pe null:60),
  $(ref user 4 skewed "$U" po null:90)
FROM seq_1_to_$P;

INSERT INTO tbl_cross2 (FIRSTCODE, SECONDCODE)
SELECT $(ref persona 1 skewed "$P" xf), $(ref base 2 uniform "$B" xs) FROM seq_1_to_$X2;

-- One connection in a hundred lost both of its releases.
INSERT INTO tbl_cross (FIRSTCODE, SECONDCODE)
SELECT IF(seq%100=7, 50*FLOOR($(r cfx)*FLOOR($B/50))+23, $(ref base 1 uniform "$B" cf)),
       IF(seq%100=7, 50*FLOOR($(r csx)*FLOOR($B/50))+23, $(ref base 2 uniform "$B" cs))
FROM seq_1_to_$X;

INSERT INTO tbl_comment (BASECODE, WHOADD, BODY)
SELECT $(ref base 1 skewed "$B" mb), $(ref user 2 skewed "$U" ma),
  ELT(1+seq%5,'Спасибо за раздачу!','Качество отличное.','Звук отстаёт, перезалейте.','Лучший фильм года',
      'А есть в HD?')
FROM seq_1_to_$C;

INSERT INTO tbl_tags (BASECODE, TAG)
SELECT $(ref base 1 uniform "$B" tb),
  ELT(1+FLOOR($(r tt)*10),'комедия','драма','боевик','мультфильм','документальный','фантастика','ужасы',
      'мелодрама','детектив','классика')
FROM seq_1_to_$T;

INSERT INTO tbl_fav (BASECODE, USERCODE)
SELECT $(ref base 1 skewed "$B" fb), $(ref user 2 uniform "$U" fu none:8) FROM seq_1_to_$F;

INSERT INTO tbl_tube (BASECODE, URL, WHOADD)
SELECT $(ref base 1 uniform "$B" ub), CONCAT('http://video.example.net/clip/',seq), $(ref user 2 skewed "$U" ua)
FROM seq_1_to_$TU;

-- Screenshots of no release: BASECODE 0 in three percent of the rows, -1 in two.
INSERT INTO tbl_poster (BASECODE, POSTER, WHOADD)
SELECT CASE WHEN $(r on)<0.03 THEN 0 WHEN $(r on)<0.05 THEN -1 ELSE $(ref base 1 uniform "$B" ob) END,
  CONCAT('screens/',FLOOR(seq/1000),'/',seq,'.jpg'), $(ref user 2 skewed "$U" oa)
FROM seq_1_to_$PO;

INSERT INTO tbl_search (USERCODE, QUERY)
SELECT $(ref user 1 uniform "$U" eu none:40),
  ELT(1+seq%6,'сталкер','matrix','ирония судьбы','солярис','brother 2','кин-дза-дза')
FROM seq_1_to_$SE;

INSERT INTO tbl_wanted (WHOADD, TITLE)
SELECT $(ref user 1 uniform "$U" wu none:10), CONCAT('Ищу фильм №',seq) FROM seq_1_to_$W;

INSERT INTO tbl_news (WHOADD, TITLE)
SELECT $(ref user 1 uniform "$ADMINS" na), CONCAT('Новости сайта, выпуск ',seq) FROM seq_1_to_$N;

-- The parents that are gone: about two percent of each, spread evenly over the codes.
DELETE FROM tbl_user WHERE CODE%50=17;
DELETE FROM tbl_base WHERE CODE%50=23;
DELETE FROM tbl_link WHERE CODE%50=31;
DELETE FROM tbl_persona WHERE CODE%50=41;
SQL
} | "${client[@]}" "$database"
end=$(date +%s.%N)
awk -v a="$start" -v b="$end" -v d="$database" -v s="$scale" \
    'BEGIN { printf "generated %s at scale %s in %.1f s\n", d, s, b - a }'
