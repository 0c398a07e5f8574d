#include "CleanupTestSupport.h"

#include "common/TextFile.h"
#include "support/RegionalDate.h"

#include <ctime>
#include <sstream>
#include <tuple>

namespace
{
std::size_t indexOf(const std::vector<std::string>& events, const std::string& prefix)
{
    return std::find_if(events.begin(), events.end(), [&](const std::string& e) { return e.starts_with(prefix); }) -
           events.begin();
}

} // namespace

// Every row is annotated by hand with the pass that must delete it (0: it stays). Stat 201 goes in
// pass 2 because pass 1 removes its link; 203, 303 and 704 are orphans twice and count for the earlier
// pass only; cross 803 misses both releases and counts once; -1 and 0 users are spared only where the
// row query leaves them out; screenshots of release 0 and -1 are never examined; NULL names nothing.
TEST(Cleanup, HandMadeSiteEndsAsWorkedOut)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase t("cleanup_site");
    TempFolder folder("site");
    t.exec("insert into tbl_user (CODE,LOGIN) values (3,'первый'),(5,'b'),(7,'c')");
    t.exec(
        "insert into tbl_base (CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT) values (10,4,NULL,99,NULL),(11,5,7,NULL,-1)");
    t.exec("insert into tbl_persona (CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT) values (20,-1,0,5,4)");
    // Each table's rows, values with CODE first; ">N" marks a row pass N must delete, the others stay.
    // clang-format off
    const std::pair<std::string, std::string> seeds[] = {
        {"tbl_link (CODE,BASECODE,WHOADD)", "100,10,3 101,12,3>1 102,NULL,5 103,11,99"},
        {"tbl_stat (CODE,LINKCODE,USERCODE)",
         "200,100,5 201,101,5>2 202,100,4>3 203,999,4>2 204,100,-1>3 205,100,0>3 206,NULL,NULL"},
        {"tbl_votes (CODE,BASECODE,USERCODE)", "300,10,3 301,12,3>4 302,10,-1>6 303,12,99>4 304,10,NULL"},
        {"tbl_tube (CODE,BASECODE,WHOADD)", "400,11,5 401,0,5>5 402,10,-1"},
        {"tbl_comment (CODE,BASECODE,WHOADD)", "500,10,7 501,10,-1>7 502,12,7>8 503,12,4>7 504,NULL,7"},
        {"tbl_tags (CODE,BASECODE)", "600,11 601,99>9"},
        {"tbl_fav (CODE,BASECODE,USERCODE)", "700,10,5 701,12,-1>10 702,10,-1 703,10,4>16 704,12,4>10 705,10,0>16"},
        {"tbl_cross (CODE,FIRSTCODE,SECONDCODE)",
         "800,10,11 801,12,11>11 802,10,12>11 803,12,99>11 804,NULL,12>11 805,10,NULL"},
        {"tbl_cross2 (CODE,FIRSTCODE,SECONDCODE)", "900,20,10 901,20,12>12 902,21,10>13 903,21,12>12"},
        {"tbl_poster (CODE,BASECODE,POSTER,WHOADD)", "1000,10,'a.jpg',3 1001,12,'Скрин_один.jpg',3>14 "
         "1002,0,'zero.jpg',99 1003,-1,'neg.jpg',3 1004,99,NULL,3>14 1005,12,'last.png',3>14"},
        {"tbl_search (CODE,USERCODE)", "1100,5 1101,-1 1102,4>15 1103,0>15 1104,NULL"},
        {"tbl_wanted (CODE,WHOADD)", "1200,7 1201,-1 1202,99>17"},
        {"tbl_news (CODE,WHOADD)", "1300,3 1301,NULL 1302,0"},
    };
    // clang-format on
    std::vector<std::uint64_t> counts(18);
    std::vector<std::tuple<std::string, std::string, int>> rows; // table, CODE, deleting pass
    for (const auto& [into, list] : seeds) {
        std::istringstream in(list);
        for (std::string row; in >> row;) {
            const std::size_t mark = row.find('>');
            const int pass = mark == std::string::npos ? 0 : std::stoi(row.substr(mark + 1));
            t.exec("insert into " + into + " values (" + row.substr(0, mark) + ")");
            rows.emplace_back(into.substr(0, into.find(' ')), row.substr(0, row.find(',')), pass);
            if (pass)
                ++counts[pass - 1];
        }
    }
    // Replaced: base 10 WHOADD and WHOEDIT, base 11 WHODOPEDIT, persona 20 WHOADD, WHOMODER and
    // WHODOPEDIT, link 103, news 1302, poster 1002 and tube 402: ten values.
    counts[17] = 10;

    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    const std::time_t before = std::time(nullptr);
    Command5_Click(runner, folder.slash());
    const std::time_t after = std::time(nullptr);

    const std::string summary = summaryOf(counts);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(w.messages[0].text, messageOf(summary) + folder.filesLines(true, true, 1));
    for (const auto& [table, code, pass] : rows)
        EXPECT_EQ(t.count(table, "CODE=" + code), pass ? 0 : 1) << table << " " << code;
    // Authorship afterwards, rows by CODE ("N": NULL).
    const char* const four = "ifnull(WHOADD,'N'),ifnull(WHOMODER,'N'),ifnull(WHOEDIT,'N'),ifnull(WHODOPEDIT,'N')";
    const std::tuple<const char*, const char*, const char*> authors[] = {
        {"tbl_base", four, "3,N,3,N 5,7,N,3"},       {"tbl_persona", four, "3,3,5,3"},  {"tbl_link", "WHOADD", "3 5 3"},
        {"tbl_news", "ifnull(WHOADD,'N')", "3 N 3"}, {"tbl_poster", "WHOADD", "3 3 3"}, {"tbl_tube", "WHOADD", "5 3"}};
    for (const auto& [table, cols, want] : authors)
        EXPECT_EQ(t.scalar(std::string("select group_concat(concat_ws(',',") + cols +
                           ") order by CODE separator ' ') from " + table),
                  want)
            << table;

    // Three rows deleted, one without a file name: six lines, in the order the rows were read.
    EXPECT_EQ(readFileBytes(folder.file("bad_sreen.txt")),
              listBytes({"Скрин_один.jpg", std::nullopt, "last.png"}, folder.exactList().string()));
    EXPECT_EQ(readFileBytes(folder.exactList().string()), "Скрин_один.jpg\n\\N\nlast.png\n");
    EXPECT_EQ(w.viewerCalls, std::vector<std::string>{folder.file("bad_sreen.txt")});
    const std::string report = readFileBytes(folder.file("report.txt"));
    const std::string dateLine = report.substr(0, report.find("\r\n"));
    EXPECT_TRUE(dateLine == expectedRegionalDateTime(before) || dateLine == expectedRegionalDateTime(after))
        << dateLine;
    EXPECT_EQ(report, cp1251::fromUtf8(dateLine) + reportAfterDate(summary));

    // Caption back before the viewer; the viewer before the window is shown and the message last.
    EXPECT_LT(indexOf(w.events, "caption:" + std::string(kProductCaption)), indexOf(w.events, "viewer:"));
    EXPECT_LT(indexOf(w.events, "viewer:"), indexOf(w.events, "show"));
    EXPECT_LT(indexOf(w.events, "show"), indexOf(w.events, "message:"));
    EXPECT_TRUE(t.otherSessionsGone());
}

// However a run ends it shows one message, and a second press while it runs starts nothing. An error
// ends only the run: what ran stays done, the old files stay. Past the passes, the summary survives
// whatever fails; the old list is replaced or removed, and an archive is left only when something changed.
TEST(Cleanup, EachEndingKeepsWhatItShould)
{
    TK_REQUIRE_TEST_SERVER();
    struct Case {
        const char* label;
        bool broken, orphans, withUsers, viewerStarts, reportBlocked; // report: during the run
        std::string note;         // the message ends with it (an error's message holds it)
        bool listBlocked = false; // bad_sreen.txt cannot be replaced: the run must not start
    };
    const Case cases[] = {
        {"table dropped mid-run", true, true, true, true, false, "42S02"},
        {"nothing to change", false, false, true, true, false, "База не изменена: удалять и заменять было нечего."},
        {"viewer cannot start", false, true, true, false, false, "он сохранён в файле "},
        {"report cannot be written", false, true, true, true, true, "Отчёт не записан: "},
        {"list cannot be replaced", false, true, true, true, false, "нельзя перезаписать", true},
        {"no user to hand authorship to", false, true, false, true, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDatabase t("cleanup_ending");
        TempFolder folder("ending");
        const std::string list = folder.file("bad_sreen.txt");
        if (c.listBlocked)
            fs::create_directory(list);
        else
            writeCp1251File(list, "старый список");
        writeCp1251File(folder.file("report.txt"), "старый отчёт");
        if (c.withUsers)
            t.exec("insert into tbl_user (CODE,LOGIN) values (2,'u')");
        // A link and a screenshot of missing releases and a missing author, or none (release 0 is never examined).
        const bool o = c.orphans;
        t.exec(std::string("insert into tbl_base (CODE,WHOADD) values (1,") + (o ? "5)" : "2)"));
        t.exec(std::string("insert into tbl_link (CODE,BASECODE,WHOADD) values (1,") + (o ? "9" : "1") + ",2)");
        t.exec(std::string("insert into tbl_poster (CODE,BASECODE,POSTER,WHOADD) values (1,") + (o ? "7" : "0") +
               ",'gone.jpg',2)");
        RecordingWindow w(t.fields());
        w.viewerStarts = c.viewerStarts;
        OperationRunner runner(w);
        w.onProcessEvents = [&] {
            Command5_Click(runner, folder.slash());
            if (c.broken && w.caption() == titleOf(6))
                t.exec("drop table tbl_comment");
            if (c.reportBlocked && w.caption() == titleOf(17) && !fs::is_directory(folder.file("report.txt"))) {
                fs::remove(folder.file("report.txt"));
                fs::create_directory(folder.file("report.txt"));
            }
        };
        Command5_Click(runner, folder.slash());

        ASSERT_EQ(w.messages.size(), 1u);
        const std::string& text = w.messages[0].text;
        EXPECT_FALSE(runner.busy());
        EXPECT_TRUE(t.otherSessionsGone());
        const bool stopped = c.listBlocked; // before the first pass
        EXPECT_EQ(std::count(w.captions.begin(), w.captions.end(), titleOf(0)), stopped ? 0 : 1);
        const bool changes = c.orphans && !stopped && !c.broken;
        EXPECT_EQ(t.count("tbl_link"), c.orphans && !stopped ? 0 : 1);
        EXPECT_EQ(t.count("tbl_poster"), changes ? 0 : 1);
        EXPECT_EQ(t.scalar("select WHOADD from tbl_base"), c.orphans && !(changes && c.withUsers) ? "5" : "2");
        if (stopped || c.broken) {
            EXPECT_EQ(w.messages[0].icon, MessageIcon::Critical);
            EXPECT_NE(text.find(c.note), std::string::npos) << text;
            EXPECT_EQ(w.captions.empty() ? "" : w.captions.back(), stopped ? "" : std::string(kProductCaption));
            EXPECT_EQ(readFileBytes(folder.file("report.txt")), cp1251::fromUtf8("старый отчёт"));
            if (!c.listBlocked) {
                EXPECT_EQ(readFileBytes(list), cp1251::fromUtf8("старый список"));
            }
            // A run that fails names what it wrote and says whether it changed anything.
            EXPECT_NE(text.find(c.listBlocked ? "Ничего не изменено." : "Архив для отмены изменений: "),
                      std::string::npos)
                << text;
            continue;
        }
        const std::string summary =
            summaryOf({c.orphans, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, c.orphans, 0, 0, 0, c.orphans && c.withUsers});
        const std::string closing = messageOf(summary) + folder.filesLines(c.orphans, !c.reportBlocked);
        EXPECT_EQ(w.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(folder.archive().empty(), !changes);
        ASSERT_EQ(text.substr(0, closing.size()), closing);
        const std::string note = text.substr(closing.size());
        EXPECT_EQ(note.empty(), c.note.empty()) << note;
        EXPECT_NE(note.find(c.note + (c.viewerStarts ? "" : list)), std::string::npos) << note;
        EXPECT_EQ(fs::exists(list) ? readFileBytes(list) : "", c.orphans ? listBytes({"gone.jpg"}, "") : "");
        EXPECT_EQ(w.viewerCalls.size(), c.orphans ? 1u : 0u);
        const std::string report = c.reportBlocked ? "" : readFileBytes(folder.file("report.txt"));
        EXPECT_EQ(report.empty() ? "" : report.substr(report.find("\r\n")),
                  c.reportBlocked ? "" : reportAfterDate(summary));
    }
}
