// The generated site must hold what the benchmark is meant to exercise: orphans on every reference,
// the rows the cleanup must leave alone, the configuration the recount reads, Cyrillic text stored
// as such; and the same data on every run, or two timings would not compare.
#include "support/TestDatabase.h"

#include "db/SiteConnection.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace
{
// Runs the generator against the test server; returns its exit status.
int generate(const std::string& scale, const std::string& database)
{
    const ConnectionFields f = testServerFields();
    const auto sep = f.server.find(";port=");
    const std::string host = f.server.substr(0, sep);
    const std::string port = sep == std::string::npos ? "3306" : f.server.substr(sep + 6);
    const std::string cmd = std::string("bash '") + TK_SCRIPTS_DIR + "/gen-site.sh' --scale '" + scale +
                            "' --database '" + database + "' --host '" + host + "' --port '" + port + "' --user '" +
                            f.user + "' --password '" + f.password + "' >/dev/null 2>&1";
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

db::Connection openGenerated(const TestDatabase& t)
{
    auto c = db::Connection::open(db::siteConnectionString(t.fields()));
    c.useUtf8Session(false);
    return c;
}

std::int64_t number(db::Connection& c, const std::string& sql)
{
    const auto rows = c.query(sql);
    return rows.front().cell(0) ? db::parseInt(*rows.front().cell(0)) : -1;
}
} // namespace

TEST(GenSite, SmallSiteHasOrphansOfEveryKindAndTheRowsToLeaveAlone)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("gen_small", false);
    ASSERT_EQ(generate("0.01", t.name()), 0);
    auto c = openGenerated(t);

    struct Reference {
        const char* child;
        const char* column;
        const char* parent;
    };
    // Every reference the recount reads or the cleanup enforces.
    const Reference refs[] = {
        {"tbl_link", "BASECODE", "tbl_base"},       {"tbl_stat", "LINKCODE", "tbl_link"},
        {"tbl_stat", "USERCODE", "tbl_user"},       {"tbl_votes", "BASECODE", "tbl_base"},
        {"tbl_votes", "USERCODE", "tbl_user"},      {"tbl_tube", "BASECODE", "tbl_base"},
        {"tbl_comment", "WHOADD", "tbl_user"},      {"tbl_comment", "BASECODE", "tbl_base"},
        {"tbl_tags", "BASECODE", "tbl_base"},       {"tbl_fav", "BASECODE", "tbl_base"},
        {"tbl_fav", "USERCODE", "tbl_user"},        {"tbl_cross", "FIRSTCODE", "tbl_base"},
        {"tbl_cross", "SECONDCODE", "tbl_base"},    {"tbl_cross2", "SECONDCODE", "tbl_base"},
        {"tbl_cross2", "FIRSTCODE", "tbl_persona"}, {"tbl_poster", "BASECODE", "tbl_base"},
        {"tbl_search", "USERCODE", "tbl_user"},     {"tbl_wanted", "WHOADD", "tbl_user"},
        {"tbl_base", "WHOADD", "tbl_user"},         {"tbl_base", "WHOMODER", "tbl_user"},
        {"tbl_base", "WHOEDIT", "tbl_user"},        {"tbl_base", "WHODOPEDIT", "tbl_user"},
        {"tbl_persona", "WHOADD", "tbl_user"},      {"tbl_persona", "WHOMODER", "tbl_user"},
        {"tbl_persona", "WHOEDIT", "tbl_user"},     {"tbl_persona", "WHODOPEDIT", "tbl_user"},
        {"tbl_link", "WHOADD", "tbl_user"},         {"tbl_news", "WHOADD", "tbl_user"},
        {"tbl_poster", "WHOADD", "tbl_user"},       {"tbl_tube", "WHOADD", "tbl_user"},
    };
    for (const Reference& r : refs) {
        const std::string label = std::string(r.child) + "." + r.column + " -> " + r.parent;
        // Rows that name no one (NULL, or -1 and 0 where the site means "none") are not orphans.
        const std::string named = std::string(" from ") + r.child + " c where c." + r.column + ">0";
        const auto rows = number(c, "select count(*)" + named);
        const auto orphans = number(c, "select count(*)" + named + " and not exists (select 1 from " + r.parent +
                                           " p where p.CODE=c." + r.column + ")");
        EXPECT_GT(orphans, 0) << label;
        // A couple of percent; a table of a dozen rows may hold one.
        EXPECT_LE(orphans, rows / 20 + 1) << label << ": " << orphans << " of " << rows << " rows are orphans";
    }

    struct Feature {
        const char* label;
        const char* sql;
    };
    const Feature features[] = {
        {"connections that lost both releases",
         "select count(*) from tbl_cross c where not exists (select 1 from tbl_base b where b.CODE=c.FIRSTCODE)"
         " and not exists (select 1 from tbl_base b where b.CODE=c.SECONDCODE)"},
        {"downloads of links whose release is gone",
         "select count(*) from tbl_stat s join tbl_link l on l.CODE=s.LINKCODE"
         " where not exists (select 1 from tbl_base b where b.CODE=l.BASECODE)"},
        {"screenshots with BASECODE 0", "select count(*) from tbl_poster where BASECODE=0"},
        {"screenshots with BASECODE -1", "select count(*) from tbl_poster where BASECODE=-1"},
        {"watch-list rows of no user", "select count(*) from tbl_fav where USERCODE=-1"},
        {"searches of no user", "select count(*) from tbl_search where USERCODE=-1"},
        {"requests of no user", "select count(*) from tbl_wanted where WHOADD=-1"},
        {"releases without moderator", "select count(*) from tbl_base where WHOMODER is null"},
        {"releases without editor", "select count(*) from tbl_base where WHOEDIT is null"},
        {"releases without second editor", "select count(*) from tbl_base where WHODOPEDIT is null"},
        {"persons without moderator", "select count(*) from tbl_persona where WHOMODER is null"},
        {"release vote sums below zero",
         "select count(*) from (select BASECODE from tbl_votes group by BASECODE having SUM(VOTES)<0) v"},
        {"the first user exists", "select count(*) from tbl_user where CODE=1"},
    };
    for (const Feature& f : features)
        EXPECT_GT(number(c, f.sql), 0) << f.label;
}

TEST(GenSite, CyrillicTextAndTheConfigurationTheOperationsRead)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("gen_texts", false);
    ASSERT_EQ(generate("0.01", t.name()), 0);
    auto c = openGenerated(t);

    // Stored as cp1251 letters, not as UTF-8 bytes taken for cp1251 ("Иван" is C8 E2 E0 ED).
    EXPECT_GT(number(c, "select count(*) from tbl_user where HEX(LOGIN) like 'C8E2E0ED5F%'"), 0);
    const auto logins = c.query("select LOGIN from tbl_user where LOGIN like 'Иван\\_%' order by CODE limit 1");
    ASSERT_FALSE(logins.empty());
    EXPECT_EQ(logins.front().text("LOGIN")->rfind("Иван_", 0), 0u);

    const auto conf = c.query("select PARAM, VALUEINT, VALUESTR from tbl_conf");
    for (const std::string param :
         {"ISWORK", "OFFLINEMES", "RAT_DOWN", "RAT_VOTES", "RAT_LINKS", "RAT_PERSONA", "RAT_ALTLINKS"}) {
        int found = 0;
        for (std::size_t i = 0; i < conf.size(); ++i) {
            if (conf[i].text("PARAM") != param)
                continue;
            ++found;
            const auto& str = conf[i].text("VALUESTR");
            if (param == "ISWORK") {
                EXPECT_EQ(conf[i].optInt("VALUEINT"), 1) << "the site works before it is blocked";
            } else if (param == "OFFLINEMES") {
                ASSERT_TRUE(str.has_value());
                EXPECT_EQ(str->rfind("Сайт закрыт", 0), 0u) << *str;
            } else if (str) {
                // A coefficient the recount accepts: a plain decimal number.
                EXPECT_TRUE(std::regex_match(*str, std::regex("-?[0-9]+(\\.[0-9]+)?"))) << param << "=" << *str;
            } else {
                EXPECT_TRUE(conf[i].optInt("VALUEINT").has_value()) << param << ": both values NULL";
            }
        }
        EXPECT_EQ(found, 1) << param;
    }
}

TEST(GenSite, SameDataOnEveryRun)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase first("gen_det_a", false), second("gen_det_b", false);
    ASSERT_EQ(generate("0.02", first.name()), 0);
    ASSERT_EQ(generate("0.02", second.name()), 0);
    auto a = openGenerated(first);
    auto b = openGenerated(second);
    const auto tables = a.query("show tables");
    ASSERT_EQ(tables.size(), 17u);
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const std::string table = *tables[i].cell(0);
        const std::string sql = "checksum table " + table;
        EXPECT_EQ(a.query(sql).front().text("Checksum"), b.query(sql).front().text("Checksum")) << table;
    }
}

TEST(GenSite, BadArgumentsLeaveAnExistingDatabaseAlone)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("gen_args");
    t.exec("insert into tbl_user (LOGIN) values ('keep')");
    struct Case {
        const char* label;
        std::string scale, database;
    };
    const Case cases[] = {
        {"scale 0", "0", t.name()},
        {"negative scale", "-1", t.name()},
        {"scale with a comma", "0,5", t.name()},
        {"no database", "0.01", ""},
        {"name with SQL in it", "0.01", t.name() + "`; drop database `" + t.name()},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(generate(k.scale, k.database), 64) << k.label;
        EXPECT_EQ(t.count("tbl_user"), 1) << k.label;
    }
}
