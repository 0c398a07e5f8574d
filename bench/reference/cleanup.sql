-- The cleanup written by hand as set-based SQL, for timing the tool against it on a generated site:
--
--   mariadb --no-defaults -h127.0.0.1 -P3307 -uUSER -pPASS DATABASE < bench/reference/cleanup.sql
--
-- The same job as the tool's cleanup button: the seventeen orphan deletes in the tool's order (each
-- reads the site as the earlier ones left it), with the same rows left out (screenshots of release
-- 0 or less, -1 as "no user" in the search history, the watch list and the requests), a NULL
-- reference never taken for a missing parent, and then the authorship handed to the first user,
-- column by column, each judged on its value before the pass. After every delete the number of rows
-- it removed is selected, and the file names of the screenshots are selected before they go, as the
-- tool reports and lists them.
SET NAMES cp1251;

-- 1 links of missing releases
DELETE l FROM tbl_link l LEFT JOIN tbl_base b ON b.CODE = l.BASECODE
 WHERE l.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS links;
-- 2 downloads of missing links (those of step 1 included)
DELETE s FROM tbl_stat s LEFT JOIN tbl_link l ON l.CODE = s.LINKCODE
 WHERE s.LINKCODE IS NOT NULL AND l.CODE IS NULL;
SELECT ROW_COUNT() AS stat_links;
-- 3 downloads of missing users
DELETE s FROM tbl_stat s LEFT JOIN tbl_user u ON u.CODE = s.USERCODE
 WHERE s.USERCODE IS NOT NULL AND u.CODE IS NULL;
SELECT ROW_COUNT() AS stat_users;
-- 4 votes for missing releases
DELETE v FROM tbl_votes v LEFT JOIN tbl_base b ON b.CODE = v.BASECODE
 WHERE v.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS votes_releases;
-- 5 video clips of missing releases
DELETE t FROM tbl_tube t LEFT JOIN tbl_base b ON b.CODE = t.BASECODE
 WHERE t.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS tube;
-- 6 votes of missing users
DELETE v FROM tbl_votes v LEFT JOIN tbl_user u ON u.CODE = v.USERCODE
 WHERE v.USERCODE IS NOT NULL AND u.CODE IS NULL;
SELECT ROW_COUNT() AS votes_users;
-- 7 comments of missing users
DELETE c FROM tbl_comment c LEFT JOIN tbl_user u ON u.CODE = c.WHOADD
 WHERE c.WHOADD IS NOT NULL AND u.CODE IS NULL;
SELECT ROW_COUNT() AS comment_users;
-- 8 comments on missing releases
DELETE c FROM tbl_comment c LEFT JOIN tbl_base b ON b.CODE = c.BASECODE
 WHERE c.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS comment_releases;
-- 9 tags of missing releases
DELETE t FROM tbl_tags t LEFT JOIN tbl_base b ON b.CODE = t.BASECODE
 WHERE t.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS tags;
-- 10 watch-list rows of missing releases
DELETE f FROM tbl_fav f LEFT JOIN tbl_base b ON b.CODE = f.BASECODE
 WHERE f.BASECODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS fav_releases;
-- 11 connections with either release missing, each row once
DELETE x FROM tbl_cross x
  LEFT JOIN tbl_base b1 ON b1.CODE = x.FIRSTCODE
  LEFT JOIN tbl_base b2 ON b2.CODE = x.SECONDCODE
 WHERE (x.FIRSTCODE IS NOT NULL AND b1.CODE IS NULL) OR (x.SECONDCODE IS NOT NULL AND b2.CODE IS NULL);
SELECT ROW_COUNT() AS cross_releases;
-- 12 person connections of missing releases
DELETE x FROM tbl_cross2 x LEFT JOIN tbl_base b ON b.CODE = x.SECONDCODE
 WHERE x.SECONDCODE IS NOT NULL AND b.CODE IS NULL;
SELECT ROW_COUNT() AS cross2_releases;
-- 13 person connections of missing persons
DELETE x FROM tbl_cross2 x LEFT JOIN tbl_persona p ON p.CODE = x.FIRSTCODE
 WHERE x.FIRSTCODE IS NOT NULL AND p.CODE IS NULL;
SELECT ROW_COUNT() AS cross2_persons;
-- 14 screenshots of missing releases; their file names first
SELECT p.POSTER FROM tbl_poster p LEFT JOIN tbl_base b ON b.CODE = p.BASECODE
 WHERE p.BASECODE > 0 AND b.CODE IS NULL;
DELETE p FROM tbl_poster p LEFT JOIN tbl_base b ON b.CODE = p.BASECODE
 WHERE p.BASECODE > 0 AND b.CODE IS NULL;
SELECT ROW_COUNT() AS poster;
-- 15 search history of missing users
DELETE s FROM tbl_search s LEFT JOIN tbl_user u ON u.CODE = s.USERCODE
 WHERE s.USERCODE <> -1 AND u.CODE IS NULL;
SELECT ROW_COUNT() AS search;
-- 16 watch-list rows of missing users
DELETE f FROM tbl_fav f LEFT JOIN tbl_user u ON u.CODE = f.USERCODE
 WHERE f.USERCODE <> -1 AND u.CODE IS NULL;
SELECT ROW_COUNT() AS fav_users;
-- 17 requests of missing users
DELETE w FROM tbl_wanted w LEFT JOIN tbl_user u ON u.CODE = w.WHOADD
 WHERE w.WHOADD <> -1 AND u.CODE IS NULL;
SELECT ROW_COUNT() AS wanted;

-- 18 authorship of missing users goes to the first user; with no user at all nothing changes
SET @first = (SELECT MIN(CODE) FROM tbl_user);
SET @replaced = 0;
UPDATE tbl_base t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_base t LEFT JOIN tbl_user u ON u.CODE = t.WHOMODER SET t.WHOMODER = @first
 WHERE @first IS NOT NULL AND t.WHOMODER IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_base t LEFT JOIN tbl_user u ON u.CODE = t.WHOEDIT SET t.WHOEDIT = @first
 WHERE @first IS NOT NULL AND t.WHOEDIT IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_base t LEFT JOIN tbl_user u ON u.CODE = t.WHODOPEDIT SET t.WHODOPEDIT = @first
 WHERE @first IS NOT NULL AND t.WHODOPEDIT IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_persona t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_persona t LEFT JOIN tbl_user u ON u.CODE = t.WHOMODER SET t.WHOMODER = @first
 WHERE @first IS NOT NULL AND t.WHOMODER IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_persona t LEFT JOIN tbl_user u ON u.CODE = t.WHOEDIT SET t.WHOEDIT = @first
 WHERE @first IS NOT NULL AND t.WHOEDIT IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_persona t LEFT JOIN tbl_user u ON u.CODE = t.WHODOPEDIT SET t.WHODOPEDIT = @first
 WHERE @first IS NOT NULL AND t.WHODOPEDIT IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_link t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_news t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_poster t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
UPDATE tbl_tube t LEFT JOIN tbl_user u ON u.CODE = t.WHOADD SET t.WHOADD = @first
 WHERE @first IS NOT NULL AND t.WHOADD IS NOT NULL AND u.CODE IS NULL;
SET @replaced = @replaced + ROW_COUNT();
SELECT @replaced AS authorship;
