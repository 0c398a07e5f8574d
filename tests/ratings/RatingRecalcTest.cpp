#include "ratings/RatingRecalc.h"

#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace
{
const std::string kCaption = "tk_corvane v.1.0.10";
const std::string kUserTitle = " - Обновляем рейтинг по пользователям";

// Weights in the order RAT_DOWN, RAT_VOTES, RAT_LINKS, RAT_PERSONA, RAT_ALTLINKS.
void setCoefficients(TestDatabase& t, const std::array<std::string, 5>& k)
{
    const char* names[] = {"RAT_DOWN", "RAT_VOTES", "RAT_LINKS", "RAT_PERSONA", "RAT_ALTLINKS"};
    t.exec("delete from tbl_conf where PARAM like 'RAT\\_%'");
    for (int i = 0; i < 5; ++i)
        t.exec(std::string("insert into tbl_conf (PARAM, VALUESTR) values ('") + names[i] + "', '" + k[i] + "')");
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
    // Link 3 of release 4 is never downloaded; release 3 has no links.
    t.exec("insert into tbl_link (CODE, BASECODE, DOWN, WHOADD) values (1,1,7,2), (2,2,7,3), (3,4,7,999)");
    for (int i = 0; i < 10; ++i)
        t.exec("insert into tbl_stat (LINKCODE, USERCODE) values (1,3)");
    for (int i = 0; i < 4; ++i)
        t.exec("insert into tbl_stat (LINKCODE, USERCODE) values (2,2)");
    t.exec("insert into tbl_stat (LINKCODE, USERCODE) values (999,999)"); // a download of a missing link
    t.exec("insert into tbl_persona (CODE, LINKS, WHOADD) values (1,7,2), (2,7,999)");
    t.exec("insert into tbl_cross2 (FIRSTCODE, SECONDCODE) values (1,1), (1,2), (999,3)");
}

// The server's general log, switched to a table while an operation runs and put back after.
class GeneralLog
{
  public:
    explicit GeneralLog(TestDatabase& t) : m_t(t)
    {
        const db::Rows r = t.conn().query("select @@general_log as g, @@log_output as o");
        m_restore = "SET GLOBAL general_log=" + r.front().text("g").value() + ", log_output='" +
                    r.front().text("o").value() + "'";
    }
    ~GeneralLog() { restore(); }
    void enable() { m_t.exec("SET GLOBAL log_output='TABLE', general_log=1"); }
    void restore()
    {
        if (!m_restore.empty())
            m_t.exec(std::exchange(m_restore, std::string()));
    }

  private:
    TestDatabase& m_t;
    std::string m_restore;
};

std::vector<double> ratings(TestDatabase& t)
{
    std::vector<double> out;
    for (const auto& v : t.column("select RATINGS from tbl_user order by CODE"))
        out.push_back(std::stod(v));
    return out;
}
} // namespace

TEST(RatingRecalc, RecountsCountersAndUserStatistics)
{
    TestDatabase t("rat_site");
    fillSite(t);
    setCoefficients(t, {"1", "1", "1", "1", "1"});
    RecordingWindow w(t.fields(), kCaption);
    OperationRunner runner(w);
    Command4_Click(runner);

    using V = std::vector<std::string>;
    EXPECT_EQ(t.column("select DOWN from tbl_link order by CODE"), (V{"10", "4", "0"}));
    EXPECT_EQ(t.column("select DOWN from tbl_base order by CODE"), (V{"10", "4", "0", "0"}));
    EXPECT_EQ(t.column("select VOTES from tbl_base order by CODE"), (V{"0", "5", "0", "0"}));
    EXPECT_EQ(t.column("select LINKS from tbl_persona order by CODE"), (V{"2", "0"}));
    EXPECT_EQ(t.column("select concat_ws(',',DOWNHIM,LINKS,ALTLINKS,PERSONA,MODERS,DOWNUS,VOTES) from tbl_user "
                       "order by CODE"),
              (V{"0,2,0,0,0,0,3", "4,0,1,1,2,10,0", "10,1,1,0,0,4,0"}));
    EXPECT_EQ(ratings(t), (std::vector<double>{5, 8, -4}));

    // The user pass: a caption per user in ascending CODE order, a NULL login leaving nothing
    // between the dashes; then the caption put back, the window shown and the completion reported.
    const std::vector<std::string> tail(w.events.end() - 11, w.events.end());
    EXPECT_EQ(tail, (V{"caption:Обновляем рейтинг по пользователям", "process", "caption:1/3 - Иван" + kUserTitle,
                       "process", "caption:2/3 - " + kUserTitle, "process", "caption:3/3 - petr" + kUserTitle,
                       "process", "caption:" + kCaption, "show", "message:Рейтинги пересчитаны"}));
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(w.messages[0].text, "Рейтинги пересчитаны");
    EXPECT_TRUE(t.otherSessionsGone());
}

TEST(RatingRecalc, RatingWeighsStatisticsWithTheCoefficients)
{
    struct Case {
        const char* label;
        std::array<std::string, 5> k; // RAT_DOWN, RAT_VOTES, RAT_LINKS, RAT_PERSONA, RAT_ALTLINKS
        std::vector<double> want;     // users 1, 2, 3
    };
    const Case cases[] = {
        {"downloads only: DOWNUS 10 - DOWNHIM 4", {"1", "0", "0", "0", "0"}, {0, 6, -6}},
        {"RAT_DOWN 0: downloads do not count", {"0", "1", "0", "0", "0"}, {3, 0, 0}},
        {"fractional weights", {"0", "0.5", "0.25", "2", "1.5"}, {2, 3.5, 1.75}},
        {"negative weight", {"-1", "-1", "0", "0", "0"}, {-3, -6, 6}},
    };
    for (const Case& c : cases) {
        TestDatabase t("rat_weights");
        fillSite(t);
        setCoefficients(t, c.k);
        RecordingWindow w(t.fields(), kCaption);
        OperationRunner runner(w);
        Command4_Click(runner);
        EXPECT_EQ(ratings(t), c.want) << c.label;
        EXPECT_EQ(w.count(MessageIcon::Information), 1) << c.label;
    }
}

TEST(RatingRecalc, CoefficientsAreReadWrittenBackOrRefused)
{
    // The site above gives user 2 ALTLINKS 1, PERSONA 1 and user 1 VOTES 3, LINKS 2, so with the
    // other weights at 0 the ratings show the weight under test.
    struct Case {
        const char* label;
        const char* param;
        std::optional<std::string> valueStr; // nullopt: NULL
        std::optional<int> valueInt;
        bool rowExists;
        std::optional<std::vector<double>> want; // nullopt: refused
        std::optional<std::string> storedAfter;  // VALUESTR after the run (nullopt: NULL)
        std::string needle;                      // in the refusal
    };
    const Case cases[] = {
        {"text 2", "RAT_LINKS", "2", 7, true, std::vector<double>{4, 0, 2}, "2", ""},
        {"NULL text, VALUEINT 3", "RAT_ALTLINKS", std::nullopt, 3, true, std::vector<double>{0, 3, 3}, "3", ""},
        {"NULL text, VALUEINT 0", "RAT_PERSONA", std::nullopt, 0, true, std::vector<double>{0, 0, 0}, "0", ""},
        {"empty text", "RAT_VOTES", "", 5, true, std::vector<double>{0, 0, 0}, "", ""},
        {"fraction", "RAT_VOTES", "0.5", 5, true, std::vector<double>{1.5, 0, 0}, "0.5", ""},
        {"missing row", "RAT_PERSONA", "1", 1, false, std::nullopt, std::nullopt, "нет параметра RAT_PERSONA"},
        {"both NULL", "RAT_ALTLINKS", std::nullopt, std::nullopt, true, std::nullopt, std::nullopt, "RAT_ALTLINKS"},
        {"comma", "RAT_VOTES", "0,5", 5, true, std::nullopt, "0,5",
         "RAT_VOTES в tbl_conf имеет недопустимое "
         "значение «0,5»"},
        {"SQL fragment", "RAT_DOWN", "1) where CODE=0 or (1", 5, true, std::nullopt, "1) where CODE=0 or (1",
         "RAT_DOWN в tbl_conf имеет недопустимое значение «1) where CODE=0 or (1»"},
    };
    for (const Case& c : cases) {
        TestDatabase t("rat_coef");
        fillSite(t);
        setCoefficients(t, {"0", "0", "0", "0", "0"});
        const std::string where = std::string(" where PARAM='") + c.param + "'";
        t.exec("delete from tbl_conf" + where);
        if (c.rowExists)
            t.exec(std::string("insert into tbl_conf (PARAM, VALUESTR, VALUEINT) values ('") + c.param + "', " +
                   (c.valueStr ? "'" + *c.valueStr + "'" : "NULL") + ", " +
                   (c.valueInt ? std::to_string(*c.valueInt) : "NULL") + ")");
        RecordingWindow w(t.fields(), kCaption);
        OperationRunner runner(w);
        Command4_Click(runner);
        ASSERT_EQ(w.messages.size(), 1u) << c.label;
        if (c.rowExists) {
            EXPECT_EQ(t.scalar("select VALUESTR from tbl_conf" + where), c.storedAfter) << c.label;
        }
        if (c.want) {
            EXPECT_EQ(w.messages[0].icon, MessageIcon::Information) << c.label;
            EXPECT_EQ(ratings(t), *c.want) << c.label;
            // A second run reads the text, not VALUEINT.
            t.exec("update tbl_conf set VALUEINT=9" + where);
            Command4_Click(runner);
            EXPECT_EQ(ratings(t), *c.want) << c.label << ", second run";
            continue;
        }
        EXPECT_EQ(w.messages[0].icon, MessageIcon::Critical) << c.label;
        EXPECT_NE(w.messages[0].text.find(c.needle), std::string::npos) << c.label << ": " << w.messages[0].text;
        // Refused before the first reset: the stale counters are all still there.
        EXPECT_EQ(t.count("tbl_link", "DOWN=7"), 3) << c.label;
        EXPECT_EQ(t.count("tbl_user", "RATINGS=99"), 3) << c.label;
        EXPECT_EQ(w.captions, (std::vector<std::string>{"Получаем размер рейтинг-балов", kCaption})) << c.label;
    }
}

TEST(RatingRecalc, CaptionsAndStatementsOnTheServer)
{
    // 12 links, link i of release i; downloads on links 2, 5 (two) and 11; 24 releases, of which
    // release 3 has votes adding up to 4, release 4 to -1 and release 5 to 0; no persons; one user.
    TestDatabase t("rat_log");
    setCoefficients(t, {"1", "1", "1", "1", "1"});
    t.exec("insert into tbl_user (CODE, LOGIN, DOWNHIM) values (1, 'a', 9)");
    for (int i = 1; i <= 24; ++i)
        t.exec("insert into tbl_base (CODE, DOWN) values (" + std::to_string(i) + ", 9)");
    for (int i = 1; i <= 12; ++i)
        t.exec("insert into tbl_link (CODE, BASECODE, DOWN) values (" + std::to_string(i) + "," + std::to_string(i) +
               ", 9)");
    t.exec("insert into tbl_stat (LINKCODE, USERCODE) values (2,1), (5,1), (5,1), (11,1)");
    t.exec("insert into tbl_votes (BASECODE, VOTES) values (3,4), (4,-1), (5,2), (5,-2)");

    // The server logs the tool's statements from its first caption on; the thread is the one
    // other session on the database at that moment. At every progress caption the rows it counts
    // must already hold their new values.
    const std::string links = " - Пересчитываем скачивание ссылок";
    GeneralLog log(t);
    std::optional<std::int64_t> thread;
    std::vector<std::string> behind;
    RecordingWindow w(t.fields(), kCaption);
    w.onProcessEvents = [&] {
        if (!thread) {
            const auto sessions = t.otherSessions();
            ASSERT_EQ(sessions.size(), 1u);
            thread = sessions[0];
            log.enable();
        }
        const std::string& c = w.caption();
        if (c.ends_with(links)) {
            const std::string shown = c.substr(0, c.find('/'));
            if (t.count("tbl_link l",
                        "l.CODE<=" + shown + " and l.DOWN<>(select count(*) from tbl_stat s where s.LINKCODE=l.CODE)"))
                behind.push_back(c);
        }
        if (c.starts_with("1/1 - a") && t.scalar("select concat(DOWNHIM,'/',RATINGS) from tbl_user") != "4/-4")
            behind.push_back(c);
    };
    OperationRunner runner(w);
    ASSERT_EQ(recalculateRatings(runner, 5), RunOutcome::Done);
    log.restore();
    ASSERT_TRUE(thread);
    EXPECT_EQ(behind, std::vector<std::string>{});

    EXPECT_EQ(w.captions,
              (std::vector<std::string>{"Получаем размер рейтинг-балов", "Пересчитываем скачивание ссылок",
                                        "5/12" + links, "10/12" + links, "Пересчитываем скачивание раздач",
                                        "Пересчитываем голоса за раздачи", "Пересчитываем связки персоналий",
                                        "Обновляем рейтинг по пользователям", "1/1 - a" + kUserTitle, kCaption}));

    // Queries reach the server as prepared statements, the others as plain queries.
    auto sent = t.column("select CONVERT(argument USING cp1251) from mysql.general_log where thread_id=" +
                         std::to_string(*thread) + " and command_type in ('Query','Execute')");
    // When the log was already on, the session's opening statements come first.
    const auto first = std::find(sent.begin(), sent.end(), "select * from tbl_conf where PARAM='RAT_DOWN'");
    ASSERT_NE(first, sent.end());
    sent.erase(sent.begin(), first);
    // Per pass: the reset, the row list and one statement per run of 5 rows (12 links: 3 runs,
    // 24 releases: 5, no persons: none); the user pass adds seven statistics and the rating.
    EXPECT_EQ(sent.size(), 5u + (2 + 3) + (2 + 5) * 2 + 2 + (2 + 8));
    std::vector<std::string> linkRuns;
    std::vector<std::string> grouped;
    for (const auto& s : sent) {
        if (s.starts_with("update tbl_link t join"))
            linkRuns.push_back(s.substr(s.rfind("t.CODE") + 6));
        if (s.find(" join (") != std::string::npos)
            grouped.push_back(s);
    }
    EXPECT_EQ(linkRuns, (std::vector<std::string>{" between 1 and 5", " between 6 and 10", " between 11 and 12"}));

    // What the grouped updates write, replayed over sentinels: rows whose value is 0 or less are
    // never written, the reset alone leaves them at 0.
    t.exec("update tbl_link set DOWN=-7");
    t.exec("update tbl_base set DOWN=-7, VOTES=-7");
    t.exec("update tbl_user set DOWNHIM=-7, LINKS=-7, ALTLINKS=-7, PERSONA=-7, MODERS=-7, DOWNUS=-7, VOTES=-7");
    for (const auto& s : grouped)
        t.exec(s);
    using V = std::vector<std::string>;
    const V n(12, "-7");
    V wantLinks = n;
    wantLinks[1] = "1", wantLinks[4] = "2", wantLinks[10] = "1";
    EXPECT_EQ(t.column("select DOWN from tbl_link order by CODE"), wantLinks);
    EXPECT_EQ(t.column("select DOWN from tbl_base where CODE<=12 order by CODE"), wantLinks);
    EXPECT_EQ(t.column("select group_concat(CODE) from tbl_base where VOTES<>-7"), (V{"3"}));
    EXPECT_EQ(t.column("select concat_ws(',',DOWNHIM,LINKS,ALTLINKS,PERSONA,MODERS,DOWNUS,VOTES) from tbl_user"),
              (V{"4,-7,-7,-7,-7,-7,-7"}));
}

TEST(RatingRecalc, AnErrorEndsTheOperationAndNothingStartsInsideIt)
{
    TestDatabase t("rat_error");
    fillSite(t);
    setCoefficients(t, {"1", "1", "1", "1", "1"});
    RecordingWindow w(t.fields(), kCaption);
    OperationRunner runner(w);
    std::size_t sessionsInside = 0;
    w.onProcessEvents = [&] {
        if (w.captions.size() == 1) { // the user presses the button again
            Command4_Click(runner);
            sessionsInside = t.otherSessions().size();
        }
        if (w.caption() == "Пересчитываем связки персоналий")
            t.exec("drop table tbl_persona");
    };
    Command4_Click(runner);

    EXPECT_EQ(sessionsInside, 1u);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, MessageIcon::Critical);
    EXPECT_NE(w.messages[0].text.find("42S02"), std::string::npos) << w.messages[0].text;
    EXPECT_EQ(w.captions.front(), "Получаем размер рейтинг-балов");
    EXPECT_EQ(w.captions.back(), kCaption);
    EXPECT_EQ(w.shown, 0);
    EXPECT_TRUE(t.otherSessionsGone());
    // The passes before the failure stay done; the users were not reached.
    EXPECT_EQ(t.column("select DOWN from tbl_base order by CODE"), (std::vector<std::string>{"10", "4", "0", "0"}));
    EXPECT_EQ(t.count("tbl_user", "RATINGS=99"), 3);
}

TEST(RatingRecalc, FractionalSumsGoIntoStatementsWithADecimalPoint)
{
    TestDatabase t("rat_fraction");
    setCoefficients(t, {"0", "1", "0", "0", "0"});
    t.exec("alter table tbl_votes modify VOTES DECIMAL(10,3) NOT NULL DEFAULT 0");
    t.exec("alter table tbl_base modify VOTES DECIMAL(12,4) NOT NULL DEFAULT 0");
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'a')");
    t.exec("insert into tbl_base (CODE, WHOADD) values (1, 1), (2, 1)");
    t.exec("insert into tbl_votes (BASECODE, VOTES) values (1, 1.25), (1, 1.125), (2, -0.5)");
    RecordingWindow w(t.fields(), kCaption);
    OperationRunner runner(w);
    Command4_Click(runner);
    ASSERT_EQ(w.count(MessageIcon::Information), 1) << (w.messages.empty() ? "" : w.messages[0].text);
    EXPECT_EQ(t.column("select VOTES from tbl_base order by CODE"), (std::vector<std::string>{"2.3750", "0.0000"}));
    // The user's sum 1.875 lands in an integer column, which rounds it.
    EXPECT_EQ(t.scalar("select VOTES from tbl_user"), "2");
}
