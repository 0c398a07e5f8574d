-- The rating recalculation written by hand as set-based SQL: the yardstick the benchmark times the
-- tool against. Same job, same order: link downloads, release downloads, release votes, person
-- links, then every user's statistics and rating with the weights as tbl_conf holds them.
--
--   mariadb -h127.0.0.1 -P3307 -utk_test -ptk-pass SITE_DB < bench/reference/recount.sql
--
-- Each counter is reset and then only rows whose new value is above 0 are written, as the tool
-- does; the counters are integer columns, so the sums need no rounding here.

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
UPDATE tbl_link SET DOWN = 0;
UPDATE tbl_link l
  JOIN (SELECT LINKCODE, COUNT(CODE) AS v FROM tbl_stat GROUP BY LINKCODE) s ON s.LINKCODE = l.CODE
   SET l.DOWN = s.v;

-- Release downloads: the link counts just written.
UPDATE tbl_base SET DOWN = 0;
UPDATE tbl_base b
  JOIN (SELECT BASECODE, SUM(DOWN) AS v FROM tbl_link GROUP BY BASECODE HAVING v > 0) s ON s.BASECODE = b.CODE
   SET b.DOWN = s.v;

-- Release votes.
UPDATE tbl_base SET VOTES = 0;
UPDATE tbl_base b
  JOIN (SELECT BASECODE, SUM(VOTES) AS v FROM tbl_votes GROUP BY BASECODE HAVING v > 0) s ON s.BASECODE = b.CODE
   SET b.VOTES = s.v;

-- Person links.
UPDATE tbl_persona SET LINKS = 0;
UPDATE tbl_persona p
  JOIN (SELECT FIRSTCODE, COUNT(CODE) AS v FROM tbl_cross2 GROUP BY FIRSTCODE) s ON s.FIRSTCODE = p.CODE
   SET p.LINKS = s.v;

-- User statistics.
UPDATE tbl_user SET MODERS=0,PERSONA=0,RATINGS=0,VOTES=0,LINKS=0,ALTLINKS=0,DOWNUS=0,DOWNHIM=0;
UPDATE tbl_user u
  JOIN (SELECT USERCODE, COUNT(CODE) AS v FROM tbl_stat GROUP BY USERCODE) s ON s.USERCODE = u.CODE
   SET u.DOWNHIM = s.v;
UPDATE tbl_user u
  JOIN (SELECT WHOADD, COUNT(CODE) AS v FROM tbl_base GROUP BY WHOADD) s ON s.WHOADD = u.CODE
   SET u.LINKS = s.v;
UPDATE tbl_user u
  JOIN (SELECT WHOADD, COUNT(CODE) AS v FROM tbl_link GROUP BY WHOADD) s ON s.WHOADD = u.CODE
   SET u.ALTLINKS = s.v;
UPDATE tbl_user u
  JOIN (SELECT WHOADD, COUNT(CODE) AS v FROM tbl_persona GROUP BY WHOADD) s ON s.WHOADD = u.CODE
   SET u.PERSONA = s.v;
UPDATE tbl_user u
  JOIN (SELECT WHOMODER, COUNT(CODE) AS v FROM tbl_base GROUP BY WHOMODER) s ON s.WHOMODER = u.CODE
   SET u.MODERS = s.v;
UPDATE tbl_user u
  JOIN (SELECT WHOADD, SUM(DOWN) AS v FROM tbl_link GROUP BY WHOADD HAVING v > 0) s ON s.WHOADD = u.CODE
   SET u.DOWNUS = s.v;
-- The votes cast for the user's releases, negative release sums included.
UPDATE tbl_user u
  JOIN (SELECT b.WHOADD, SUM(v.VOTES) AS v
          FROM tbl_base b JOIN tbl_votes v ON v.BASECODE = b.CODE
         GROUP BY b.WHOADD HAVING v > 0) s ON s.WHOADD = u.CODE
   SET u.VOTES = s.v;

-- Ratings.
SET @rating = CONCAT('update tbl_user set RATINGS=(VOTES*', @k_votes, '+PERSONA*', @k_persona, '+LINKS*', @k_links,
                     '+ALTLINKS*', @k_altlinks, '+DOWNUS*', @k_down, '-DOWNHIM*', @k_down, ')');
PREPARE rating FROM @rating;
EXECUTE rating;
DEALLOCATE PREPARE rating;
