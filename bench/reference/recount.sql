-- The rating recalculation written by hand as set-based SQL: the yardstick the benchmark times the
-- tool against. Same job, same order: link downloads, release downloads, release votes, person
-- links, then every user's statistics and rating with the weights as tbl_conf holds them.
--
--   mariadb -h127.0.0.1 -P3307 -utk_test -ptk-pass SITE_DB < bench/reference/recount.sql
--
-- One statement per table, as an administrator would write it: every grouped value the table needs
-- is joined in, and each row takes its new value, or 0 where there is none or it is not above 0, in
-- one write (a row whose value does not change is not written at all). The counters are integer
-- columns, so the sums need no rounding here. Every grouping asks the server to sort its rows
-- (SQL_BIG_RESULT) rather than hash them into a keyed temporary table: with one group for every few
-- rows that is about twice as fast, and without it this script takes twice as long on a site whose
-- reference columns have no index.

-- The five weights: VALUESTR, else the text of VALUEINT (written back to VALUESTR), and an empty
-- text counts as 0. They go into the rating statement as text, so the server weighs the literal
-- numbers exactly as in the tool's statement.
UPDATE tbl_conf SET VALUESTR = VALUEINT
 WHERE VALUESTR IS NULL AND PARAM IN ('RAT_DOWN', 'RAT_VOTES', 'RAT_LINKS', 'RAT_PERSONA', 'RAT_ALTLINKS');
SET @k_down     = (SELECT IF(VALUESTR = '', '0', VALUESTR) FROM tbl_conf WHERE PARAM = 'RAT_DOWN' LIMIT 1);
SET @k_votes    = (SELECT IF(VALUESTR = '', '0', VALUESTR) FROM tbl_conf WHERE PARAM = 'RAT_VOTES' LIMIT 1);
SET @k_links    = (SELECT IF(VALUESTR = '', '0', VALUESTR) FROM tbl_conf WHERE PARAM = 'RAT_LINKS' LIMIT 1);
SET @k_persona  = (SELECT IF(VALUESTR = '', '0', VALUESTR) FROM tbl_conf WHERE PARAM = 'RAT_PERSONA' LIMIT 1);
SET @k_altlinks = (SELECT IF(VALUESTR = '', '0', VALUESTR) FROM tbl_conf WHERE PARAM = 'RAT_ALTLINKS' LIMIT 1);

-- Link downloads.
UPDATE tbl_link l
  LEFT JOIN (SELECT SQL_BIG_RESULT LINKCODE, COUNT(CODE) AS v FROM tbl_stat GROUP BY LINKCODE) s ON s.LINKCODE = l.CODE
   SET l.DOWN = IFNULL(s.v, 0);

-- Release downloads (the link counts just written) and release votes.
UPDATE tbl_base b
  LEFT JOIN (SELECT SQL_BIG_RESULT BASECODE, SUM(DOWN) AS v FROM tbl_link GROUP BY BASECODE) d ON d.BASECODE = b.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT BASECODE, SUM(VOTES) AS v FROM tbl_votes GROUP BY BASECODE) w ON w.BASECODE = b.CODE
   SET b.DOWN = IF(d.v > 0, d.v, 0), b.VOTES = IF(w.v > 0, w.v, 0);

-- Person links.
UPDATE tbl_persona p
  LEFT JOIN (SELECT SQL_BIG_RESULT FIRSTCODE, COUNT(CODE) AS v FROM tbl_cross2 GROUP BY FIRSTCODE) s ON s.FIRSTCODE = p.CODE
   SET p.LINKS = IFNULL(s.v, 0);

-- User statistics; VOTES counts the votes cast for the user's releases, negative release sums included.
UPDATE tbl_user u
  LEFT JOIN (SELECT SQL_BIG_RESULT USERCODE, COUNT(CODE) AS v FROM tbl_stat GROUP BY USERCODE) dh ON dh.USERCODE = u.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT WHOADD, COUNT(CODE) AS n FROM tbl_base GROUP BY WHOADD) b ON b.WHOADD = u.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT WHOADD, COUNT(CODE) AS n, SUM(DOWN) AS d FROM tbl_link GROUP BY WHOADD) l ON l.WHOADD = u.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT WHOADD, COUNT(CODE) AS v FROM tbl_persona GROUP BY WHOADD) p ON p.WHOADD = u.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT WHOMODER, COUNT(CODE) AS v FROM tbl_base GROUP BY WHOMODER) m ON m.WHOMODER = u.CODE
  LEFT JOIN (SELECT SQL_BIG_RESULT b.WHOADD, SUM(v.VOTES) AS v
               FROM tbl_base b JOIN tbl_votes v ON v.BASECODE = b.CODE
              GROUP BY b.WHOADD) vs ON vs.WHOADD = u.CODE
   SET u.DOWNHIM = IFNULL(dh.v, 0), u.LINKS = IFNULL(b.n, 0), u.ALTLINKS = IFNULL(l.n, 0),
       u.PERSONA = IFNULL(p.v, 0), u.MODERS = IFNULL(m.v, 0), u.DOWNUS = IF(l.d > 0, l.d, 0),
       u.VOTES = IF(vs.v > 0, vs.v, 0);

-- Ratings.
SET @rating = CONCAT('update tbl_user set RATINGS=(VOTES*', @k_votes, '+PERSONA*', @k_persona, '+LINKS*', @k_links,
                     '+ALTLINKS*', @k_altlinks, '+DOWNUS*', @k_down, '-DOWNHIM*', @k_down, ')');
PREPARE rating FROM @rating;
EXECUTE rating;
DEALLOCATE PREPARE rating;
