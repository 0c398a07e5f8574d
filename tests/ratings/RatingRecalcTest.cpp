#include "ratings/RatingRecalc.h"

#include "db/SiteConnection.h"
#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace
{
using V = std::vector<std::string>;
const std::string kCaption(kProductCaption);

// Weights in the order RAT_DOWN, RAT_VOTES, RAT_LINKS, RAT_PERSONA, RAT_ALTLINKS: "~" no row, "#" both
// values NULL, "#n" a NULL text with VALUEINT n, anything else the text itself with VALUEINT 9.
void setCoefficients(TestDatabase& t, const std::array<const char*, 5>& k)
{
    const char* names[] = {"RAT_DOWN", "RAT_VOTES", "RAT_LINKS", "RAT_PERSONA", "RAT_ALTLINKS"};
    t.exec("delete from tbl_conf where PARAM like 'RAT\\_%'");
    for (int i = 0; i < 5; ++i) {
        const std::string v = k[i];
        if (v != "~")
            t.exec(std::string("insert into tbl_conf (PARAM, VALUESTR, VALUEINT) values ('") + names[i] + "', " +
                   (v[0] == '#' ? "NULL, " + (v.size() > 1 ? v.substr(1) : "NULL") : "'" + v + "', 9") + ")");
    }
}

// Three users (codes inserted out of order) with every kind of activity, stale counters
// everywhere, and rows that point at nothing.
//   user 1 "Иван": releases 1 (votes -3+1) and 2 (votes 2+3)             -> LINKS 2, VOTES 3
//   user 2 NULL:   link 1 with 10 downloads, 4 downloads made, person 1,
//                  moderated releases 1 and 2                            -> ALTLINKS 1, DOWNUS 10, DOWNHIM 4,
//                                                                           PERSONA 1, MODERS 2
//   user 3 "petr": release 3 (votes -4), link 2 with 4 downloads          -> LINKS 1, VOTES 0, ALTLINKS 1,
//                                                                           DOWNUS 4, DOWNHIM 10
void fillSite(TestDatabase& t)
{
    t.exec("insert into tbl_user (CODE, LOGIN, MODERS, PERSONA, RATINGS, VOTES, LINKS, ALTLINKS, DOWNUS, DOWNHIM) "
           "values (3,'petr',9,9,99,9,9,9,9,9), (1,'Иван',9,9,99,9,9,9,9,9), (2,NULL,9,9,99,9,9,9,9,9)");
    t.exec("insert into tbl_base (CODE, DOWN, VOTES, WHOADD, WHOMODER) values "
           "(1,7,7,1,2), (2,7,7,1,2), (3,7,7,3,NULL), (4,7,7,999,NULL)");
    t.exec("insert into tbl_votes (BASECODE, USERCODE, VOTES) values (1,3,-3), (1,3,1), (2,3,2), (2,2,3), (3,1,-4)");
    // Link 3 of release 4 is never downloaded; release 3 has no links; tbl_stat has a download of a
    // missing link; person 2 has no connections.
    t.exec("insert into tbl_link (CODE, BASECODE, DOWN, WHOADD) values (1,1,7,2), (2,2,7,3), (3,4,7,999)");
    t.exec("insert into tbl_stat (LINKCODE, USERCODE) select 1, 3 from seq_1_to_10 union all select 2, 2 from "
           "seq_1_to_4 union all select 999, 999");
    t.exec("insert into tbl_persona (CODE, LINKS, WHOADD) values (1,7,2), (2,7,999)");
    t.exec("insert into tbl_cross2 (FIRSTCODE, SECONDCODE) values (1,1), (1,2), (999,3)");
}

std::optional<std::string> ratings(TestDatabase& t)
{
    return t.scalar("select group_concat(RATINGS order by CODE) from tbl_user");
}
} // namespace

TEST(RatingRecalc, SmallSiteUnderEachWeighting)
{
    TK_REQUIRE_TEST_SERVER();
    // The site gives users 1, 2, 3: VOTES 3, 0, 0; LINKS 2, 0, 1; PERSONA 0, 1, 0; ALTLINKS 0, 1, 1;
    // DOWNUS-DOWNHIM 0, 6, -6.
    struct Case {
        const char* label;
        std::array<const char*, 5> k;
        const char* want;              // RATINGS of users 1, 2, 3
        const char* failure = nullptr; // in the critical message, when the operation fails
        bool dropPersons = false;      // tbl_persona disappears when its pass starts
        const char* before = nullptr;  // a statement the site runs first
    };
    const Case cases[] = {
        {"all 1", {"1", "1", "1", "1", "1"}, "5,8,-4"},
        {"empty text, NULL texts written back", {"", "#0", "2", "0.5", "#3"}, "4,3.5,5"},
        {"missing row", {"1", "1", "1", "~", "1"}, "", "нет параметра RAT_PERSONA"},
        {"both NULL", {"1", "1", "1", "1", "#"}, "", "RAT_ALTLINKS"},
        {"comma", {"1", "0,5", "1", "1", "1"}, "", "RAT_VOTES в tbl_conf имеет недопустимое значение «0,5»"},
        {"SQL fragment",
         {"1) where CODE=0 or (1", "1", "1", "1", "1"},
         "",
         "RAT_DOWN в tbl_conf имеет недопустимое значение «1) where CODE=0 or (1»"},
        {"table gone during the run", {"1", "1", "1", "1", "1"}, "", "42S02", true},
        {"a code column that holds text",
         {"1", "1", "1", "1", "1"},
         "",
         "tbl_stat.LINKCODE имеет тип varchar",
         false,
         "alter table tbl_stat modify LINKCODE varchar(10)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDatabase t("rat_site");
        fillSite(t);
        setCoefficients(t, c.k);
        if (c.before)
            t.exec(c.before);
        RecordingWindow w(t.fields(), kCaption);
        OperationRunner runner(w);
        std::size_t sessionsInside = 0;
        w.onProcessEvents = [&] {
            if (w.captions.size() == 1) { // the user presses the button again
                Command4_Click(runner);
                sessionsInside = t.otherSessions().size();
            }
            if (c.dropPersons && w.caption() == "Пересчитываем связки персоналий")
                t.exec("drop table tbl_persona");
        };
        Command4_Click(runner);
        EXPECT_EQ(sessionsInside, 1u);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0].icon, c.failure ? MessageIcon::Critical : MessageIcon::Information);
        EXPECT_TRUE(t.otherSessionsGone());
        if (c.failure) {
            EXPECT_NE(w.messages[0].text.find(c.failure), std::string::npos) << w.messages[0].text;
            EXPECT_EQ(w.captions.back(), kCaption);
            EXPECT_EQ(w.shown, 0);
            // Refused weights stop it before the first write; an error leaves the passes before it
            // done. The users are not reached either way.
            EXPECT_EQ(t.column("select group_concat(DOWN order by CODE) from tbl_link union all "
                               "select group_concat(DOWN order by CODE) from tbl_base"),
                      (c.dropPersons ? V{"10,4,0", "10,4,0,0"} : V{"7,7,7", "7,7,7,7"}));
            EXPECT_EQ(t.count("tbl_user", "RATINGS=99"), 3);
            continue;
        }
        EXPECT_EQ(ratings(t), c.want);
        EXPECT_EQ(w.shown, 1);
        // Texts stay as they were, NULL ones took VALUEINT; a second run reads the texts, not VALUEINT.
        V stored;
        for (const char* k : c.k)
            stored.push_back(k + (k[0] == '#'));
        EXPECT_EQ(t.column("select VALUESTR from tbl_conf where PARAM like 'RAT\\_%' order by "
                           "field(PARAM,'RAT_DOWN','RAT_VOTES','RAT_LINKS','RAT_PERSONA','RAT_ALTLINKS')"),
                  stored);
        t.exec("update tbl_conf set VALUEINT=5");
        Command4_Click(runner);
        EXPECT_EQ(ratings(t), c.want) << "second run";
    }
}

TEST(RatingRecalc, NoRunStatementScansATableWithoutAnIndex)
{
    TK_REQUIRE_TEST_SERVER();
    // Sites large enough that a scan is not the cheap plan, with the schema's indexes and with none
    // but the primary keys.
    for (const bool indexed : {true, false}) {
        SCOPED_TRACE(indexed ? "indexed" : "no secondary index");
        TestDatabase t("rat_plan");
        if (!indexed)
            t.dropSecondaryIndexes();
        setCoefficients(t, {"1", "1", "1", "1", "1"});
        t.exec("insert into tbl_user (CODE, LOGIN) select seq, 'u' from seq_1_to_3000");
        t.exec("insert into tbl_base (CODE, WHOADD, WHOMODER) select seq, seq % 3001, seq % 2999 from seq_1_to_6000");
        t.exec("insert into tbl_link (CODE, BASECODE, WHOADD) select seq, seq % 6001, seq % 3001 from seq_1_to_9000");
        t.exec("insert into tbl_stat (LINKCODE, USERCODE) select seq % 9001, seq % 3001 from seq_1_to_30000");
        t.exec("insert into tbl_votes (BASECODE, USERCODE, VOTES) select seq % 6001, 1, 1 from seq_1_to_9000");
        t.exec("insert into tbl_persona (CODE, WHOADD) select seq, seq % 3001 from seq_1_to_3000");
        t.exec("insert into tbl_cross2 (FIRSTCODE, SECONDCODE) select seq % 3001, 1 from seq_1_to_9000");
        t.exec("analyze table tbl_user, tbl_base, tbl_link, tbl_stat, tbl_votes, tbl_persona, tbl_cross2");

        // The tool's statements, from the server's own log of them.
        const auto logWas = t.scalar("select @@global.general_log");
        const auto outputWas = t.scalar("select @@global.log_output");
        // The log is the server's: its rows are read from this run's start and this database only (it
        // is not emptied, so a test running beside this one keeps what it logs).
        const std::string since = t.scalar("select now(6)").value_or("");
        t.exec("set global log_output='TABLE'");
        t.exec("set global general_log=1");
        RecordingWindow w(t.fields(), kCaption);
        OperationRunner runner(w);
        const RunOutcome outcome = recalculateRatings(runner, RecountSizes{Chunking{500}, 1000});
        t.exec("set global general_log=" + logWas.value_or("0"));
        t.exec("set global log_output='" + outputWas.value_or("FILE") + "'");
        ASSERT_EQ(outcome.status, RunStatus::Done);
        const std::vector<std::string> sent =
            t.column("select argument from mysql.general_log where event_time >= '" + since +
                     "' and command_type='Query' and thread_id in (select thread_id from mysql.general_log where "
                     "event_time >= '" +
                     since + "' and command_type='Connect' and argument like '% on " + t.name() + " %')");

        // Each run's statements are explained as the server would run them, with the pass's temporary
        // tables made again on this session: every table is reached through a key, none is scanned
        // (a run that groups its own rows reads them through an index; without one it may not).
        std::size_t runs = 0, grouped = 0;
        for (const std::string& sql : sent) {
            // A whole-table grouping is never hashed into a keyed table; it reads a covering index in
            // order where there is one, and sorts the rows only where there is none.
            if (const std::size_t as = sql.find(" as select ");
                sql.starts_with("create temporary table") && as != sql.npos) {
                ++grouped;
                const db::Rows plan = t.conn().query("explain" + sql.substr(as + 3));
                bool covered = true, sorted = false;
                for (std::size_t i = 0; i < plan.size(); ++i) {
                    const std::string extra = plan[i].text("Extra").value_or("") + ";";
                    EXPECT_EQ(extra.find("Using temporary"), std::string::npos) << sql;
                    covered = covered && extra.find("Using index;") != std::string::npos;
                    sorted = sorted || extra.find("Using filesort") != std::string::npos;
                }
                EXPECT_NE(covered, sorted) << sql;
            }
            if (sql.starts_with("create temporary table") || sql.starts_with("drop temporary table")) {
                t.exec(sql);
            } else if (sql.find(" between ") != std::string::npos) {
                ++runs;
                const db::Rows plan = t.conn().query("explain " + sql);
                for (std::size_t i = 0; i < plan.size(); ++i) {
                    // A run's own grouped rows are few: read whole, they cost what the run costs.
                    const std::string table = plan[i].text("table").value_or("?");
                    if (table.starts_with("<derived"))
                        continue;
                    const std::string type = plan[i].text("type").value_or("NULL");
                    EXPECT_TRUE(type == "range" || type == "eq_ref" || type == "ref" || type == "const")
                        << type << " access to " << table << " in: " << sql;
                }
            }
        }
        // 9000 links, 6000 releases (both their counters in one statement), 3000 persons in runs of
        // 500; 3000 users, two statements a run.
        EXPECT_EQ(runs, 18u + 12u + 6u + 12u);
        EXPECT_EQ(grouped, 10u); // four passes, six user statistics
    }
}

namespace
{
// An account that may create temporary tables and read and update every table the recalculation
// touches, except `narrowed`, of which it may read only the columns named.
std::vector<std::string> readingOnly(const std::string& narrowed, const std::string& columns)
{
    std::vector<std::string> grants{"create temporary tables on {db}.*",
                                    "select (" + columns + ") on {db}." + narrowed};
    for (const std::string table :
         {"tbl_conf", "tbl_user", "tbl_base", "tbl_link", "tbl_stat", "tbl_votes", "tbl_persona", "tbl_cross2"})
        if (table != narrowed)
            grants.push_back("select, update on {db}." + table);
    return grants;
}

// The recalculation through the window ends in one critical box: the server's "access denied".
void expectDeniedColumn(RecordingWindow& w)
{
    OperationRunner runner(w);
    EXPECT_EQ(Command4_Click(runner).status, RunStatus::Failed);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.messages[0].text.find("SQLSTATE 42000"), std::string::npos) << w.messages[0].text;
}
} // namespace

TEST(RatingRecalc, AUserStatisticGroupedAheadFailsWhereItsTurnComes)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("rat_ahead");
    fillSite(t);
    setCoefficients(t, {"1", "1", "1", "1", "1"});
    // An account that may read tbl_stat's links but not its users: the link downloads can be
    // counted, the users' downloads cannot, and that grouping is made while the counters are recounted.
    RecordingWindow w(t.account("tk_cols", readingOnly("tbl_stat", "CODE, LINKCODE")), kCaption);
    expectDeniedColumn(w);
    // As in turn: every counter recounted, the users not reached keep what they held.
    EXPECT_EQ(t.column("select group_concat(DOWN order by CODE) from tbl_link union all "
                       "select group_concat(concat(DOWN,'/',VOTES) order by CODE) from tbl_base union all "
                       "select group_concat(LINKS order by CODE) from tbl_persona union all "
                       "select group_concat(concat_ws(',',MODERS,PERSONA,RATINGS,VOTES,LINKS,ALTLINKS,DOWNUS,DOWNHIM) "
                       "order by CODE separator ' ') from tbl_user"),
              (V{"10,4,0", "10/0,4/5,0/0,0/0", "2,0", "9,9,99,9,9,9,9,9 9,9,99,9,9,9,9,9 9,9,99,9,9,9,9,9"}));
    EXPECT_EQ(w.captions.back(), kCaption);
    EXPECT_TRUE(t.otherSessionsGone());

    // The release vote sums are grouped ahead as well, and their pass writes from there: an account
    // that may not read the votes themselves meets the error at that pass, the two before it done and
    // no release's VOTES touched.
    TestDatabase v("rat_ahead_votes");
    fillSite(v);
    setCoefficients(v, {"1", "1", "1", "1", "1"});
    const V votesBefore = v.column("select group_concat(VOTES order by CODE) from tbl_base");
    RecordingWindow wv(v.account("tk_novotes", readingOnly("tbl_votes", "CODE, BASECODE")), kCaption);
    expectDeniedColumn(wv);
    EXPECT_EQ(v.column("select group_concat(DOWN order by CODE) from tbl_link union all "
                       "select group_concat(DOWN order by CODE) from tbl_base"),
              (V{"10,4,0", "10,4,0,0"}));
    EXPECT_EQ(v.column("select group_concat(VOTES order by CODE) from tbl_base"), votesBefore);
    EXPECT_TRUE(std::find(wv.captions.begin(), wv.captions.end(), "Пересчитываем голоса за раздачи") !=
                wv.captions.end());
    EXPECT_TRUE(std::find(wv.captions.begin(), wv.captions.end(), "Пересчитываем связки персоналий") ==
                wv.captions.end());
    EXPECT_TRUE(v.otherSessionsGone());
}
