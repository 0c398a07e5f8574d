// The benchmark's verdict rests on these two: the copies must start with exactly the same rows, and
// the comparison must call IDENTICAL only what is identical and catch any difference in any table.
#include "SiteCopy.h"
#include "support/TestDatabase.h"

#include "db/SiteConnection.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace
{
db::Connection openServer()
{
    return db::Connection::open(db::siteConnectionString(testServerFields()));
}

// A small site with what a copy could lose: NULLs, Cyrillic text, a double that has no short decimal
// form, a zero and a -1 in AUTO_INCREMENT and reference columns, duplicate rows, an empty table.
void fill(TestDatabase& t)
{
    t.exec("set session sql_mode=concat_ws(',',nullif(@@sql_mode,''),'NO_AUTO_VALUE_ON_ZERO')");
    t.exec("insert into tbl_conf (CODE, PARAM, VALUEINT, VALUESTR) values (0, 'ISWORK', 1, NULL),"
           " (5, 'OFFLINEMES', NULL, 'Сайт закрыт')");
    t.exec(
        "insert into tbl_user (CODE, LOGIN, RATINGS, VOTES) values (1, 'Иван_1', 0.1e0+0.2e0, 3), (2, NULL, -0.5, 0),"
        " (7, 'neo7', 1e-300, -1)");
    t.exec("insert into tbl_base (CODE, TITLE, WHOADD, WHOMODER) values (1, 'Раздача №1', 1, NULL), (2, NULL, 9, -1)");
    t.exec("insert into tbl_stat (LINKCODE, USERCODE) values (1, 1), (1, 1), (NULL, 2), (0, -1)");
    t.exec("insert into tbl_votes (BASECODE, USERCODE, VOTES) values (1, 1, 5), (2, 7, -2)");
    const char* others[] = {"tbl_link", "tbl_persona", "tbl_cross2", "tbl_cross",  "tbl_comment", "tbl_tags",
                            "tbl_fav",  "tbl_tube",    "tbl_poster", "tbl_search", "tbl_wanted"};
    for (const char* table : others)
        t.exec(std::string("insert into ") + table + " (CODE) values (1), (3)");
    // tbl_news stays empty.
}

std::vector<std::string> differing(const std::vector<bench::TableComparison>& tables)
{
    std::vector<std::string> names;
    for (const auto& t : tables)
        if (!t.same())
            names.push_back(t.table);
    return names;
}
} // namespace

TEST(SiteCopy, CopyHoldsEveryRowAsItWasAndComparesIdentical)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase source("copy_src"), target("copy_dst", false);
    fill(source);
    auto c = openServer();
    bench::copySite(c, source.name(), target.name());

    const auto tables = bench::compareSites(c, source.name(), target.name());
    ASSERT_EQ(tables.size(), 17u);
    EXPECT_EQ(differing(tables), std::vector<std::string>{});
    for (const auto& t : tables)
        if (t.table != "tbl_news") {
            EXPECT_GT(t.second.rows, 0) << t.table << ": an empty table compares equal to any other empty one";
        }

    // What the checksum vouches for, read back directly.
    const std::string dst = target.name() + ".";
    EXPECT_EQ(target.scalar("select count(*) from " + dst + "tbl_conf where CODE=0"), "1") << "zero key renumbered";
    EXPECT_EQ(target.scalar("select HEX(LOGIN) from " + dst + "tbl_user where CODE=1"), "C8E2E0ED5F31");
    EXPECT_EQ(target.scalar("select count(*) from " + dst + "tbl_user where RATINGS=0.1e0+0.2e0"), "1");
    EXPECT_EQ(target.scalar("select count(*) from " + dst + "tbl_stat where LINKCODE is null"), "1");
    EXPECT_EQ(target.scalar("select DEFAULT_CHARACTER_SET_NAME from information_schema.SCHEMATA where SCHEMA_NAME='" +
                            target.name() + "'"),
              "cp1251");
    EXPECT_EQ(target.scalar("select count(*) from information_schema.STATISTICS where TABLE_SCHEMA='" + target.name() +
                            "' and TABLE_NAME='tbl_stat' and INDEX_NAME='ix_usercode'"),
              "1")
        << "indexes are part of the copy: a job timed on the copy must find them";

    // Copying again replaces what is there rather than adding to it.
    target.exec("insert into " + dst + "tbl_news (WHOADD) values (1)");
    bench::copySite(c, source.name(), target.name());
    EXPECT_EQ(differing(bench::compareSites(c, source.name(), target.name())), std::vector<std::string>{});
}

TEST(SiteCopy, SameRowsWrittenInAnotherOrderCompareIdentical)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase a("order_a"), b("order_b");
    a.exec(
        "insert into tbl_votes (CODE, BASECODE, USERCODE, VOTES) values (1, 1, 1, 1), (2, 2, NULL, 1), (3, 2, 2, 3)");
    // Backwards, after rows that are gone again, and with updates reaching the same values.
    b.exec("insert into tbl_votes (CODE, BASECODE, USERCODE, VOTES) values (9, 9, 9, 9), (3, 2, 2, 0)");
    b.exec("insert into tbl_votes (CODE, BASECODE, USERCODE, VOTES) values (2, 2, NULL, 1), (1, 1, 1, 1)");
    b.exec("delete from tbl_votes where CODE=9");
    b.exec("update tbl_votes set VOTES=3 where CODE=3");
    auto c = openServer();
    EXPECT_EQ(differing(bench::compareSites(c, a.name(), b.name())), std::vector<std::string>{});
}

TEST(SiteCopy, AnyDifferenceInAnyTableIsCaught)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase source("diff_src"), copy("diff_dst", false);
    fill(source);
    auto c = openServer();
    struct Case {
        const char* label;
        const char* table;
        std::string sql; // run on the copy; %D stands for the copy's name
    };
    const Case cases[] = {
        {"a counter one higher", "tbl_user", "update %D.tbl_user set VOTES=VOTES+1 where CODE=7"},
        {"a double in its last bit", "tbl_user", "update %D.tbl_user set RATINGS=0.3 where CODE=1"},
        {"NULL became 0", "tbl_base", "update %D.tbl_base set WHOMODER=0 where CODE=1"},
        {"NULL text became empty", "tbl_user", "update %D.tbl_user set LOGIN='' where CODE=2"},
        {"a letter's case", "tbl_conf", "update %D.tbl_conf set VALUESTR='сайт закрыт' where CODE=5"},
        {"one of two duplicates gone", "tbl_stat", "delete from %D.tbl_stat where LINKCODE=1 limit 1"},
        {"a row renumbered", "tbl_votes", "update %D.tbl_votes set CODE=CODE+10 where VOTES=5"},
        {"two rows swap a value", "tbl_votes",
         "update %D.tbl_votes set USERCODE=IF(USERCODE=1,7,1) where USERCODE in (1,7)"},
        {"a row in an empty table", "tbl_news", "insert into %D.tbl_news (WHOADD) values (NULL)"},
        {"a table gone", "tbl_tags", "drop table %D.tbl_tags"},
        {"a table more", "tbl_extra", "create table %D.tbl_extra (CODE int)"},
    };
    for (const Case& k : cases) {
        bench::copySite(c, source.name(), copy.name());
        std::string sql = k.sql;
        sql.replace(sql.find("%D"), 2, copy.name());
        copy.exec(sql);
        const auto tables = bench::compareSites(c, source.name(), copy.name());
        EXPECT_EQ(differing(tables), std::vector<std::string>{k.table}) << k.label;
    }
}

TEST(SiteCopy, RefusesWhatWouldMakeTheVerdictMeaningless)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase site("refuse");
    auto c = openServer();
    struct Case {
        const char* label;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"compared with itself", [&] { bench::compareSites(c, site.name(), site.name()); }},
        {"compared with a database that is not there", [&] { bench::compareSites(c, site.name(), "tkt_no_such_db"); }},
        {"copied onto itself", [&] { bench::copySite(c, site.name(), site.name()); }},
        {"copied from nothing", [&] { bench::copySite(c, "tkt_no_such_db", "tkt_no_such_db2"); }},
        {"a name with SQL in it", [&] { bench::copySite(c, site.name(), "x`; drop database `" + site.name()); }},
    };
    for (const Case& k : cases)
        EXPECT_THROW(k.call(), std::invalid_argument) << k.label;
    EXPECT_EQ(site.count("tbl_user"), 0) << "the site is still there";
}
