#include "cleanup/CleanupRun.h"

#include "cleanup/AuthorshipPass.h"
#include "cleanup/OrphanPasses.h"

#include "common/Cp1251.h"
#include "common/TextFile.h"
#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <locale>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
// The run's own texts, in run order: the eighteenth pass is the authorship pass.
std::string titleOf(std::size_t pass)
{
    return std::string(pass < 17 ? cleanup::kOrphanPasses[pass].title : cleanup::kAuthorshipTitle);
}
const std::string kListHeading =
    "Список скриншотов раздач, которых уже нет. Скриншоты можно (и нужно) удалить физически.\r\n";
const std::string kListRule = std::string(87, '=') + "\r\n";

std::string summaryOf(const std::array<int, 18>& counts)
{
    std::string s;
    for (std::size_t i = 0; i < counts.size(); ++i)
        s += std::string(i < 17 ? cleanup::kOrphanPasses[i].summaryLabel : cleanup::kAuthorshipLabel) +
             std::to_string(counts[i]) + "\r";
    return s;
}

std::string messageOf(const std::string& summary)
{
    std::string m = "Чистка окончена\n" + summary;
    std::replace(m.begin(), m.end(), '\r', '\n');
    return m;
}

// A folder of the test's own, standing in for the executable's folder.
struct TempFolder {
    explicit TempFolder(const std::string& label)
        : path(fs::temp_directory_path() / ("tk_cleanup_" + label + "_" + std::to_string(::getpid())))
    {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string slash() const { return path.string() + "/"; }
    std::string file(const char* name) const { return slash() + name; }
    // The closing message's line naming the run's undo archive, or nothing when there is none.
    std::string archiveLine() const
    {
        for (const auto& e : fs::directory_iterator(path))
            if (e.path().filename().string().starts_with("cleanup-undo-"))
                return "Архив для отмены изменений: " + e.path().string() + "\n";
        return "";
    }
    fs::path path;
};

// "insert into <table> (<cols>) values (..),(..)" for n generated rows.
void insertMany(TestDatabase& t, const std::string& table, const std::string& cols, int n,
                const std::function<std::string(int)>& row)
{
    std::string sql = "insert into " + table + " (" + cols + ") values ";
    for (int i = 1; i <= n; ++i)
        sql += (i > 1 ? ",(" : "(") + row(i) + ")";
    t.exec(sql);
}

std::size_t indexOf(const std::vector<std::string>& events, const std::string& prefix)
{
    for (std::size_t i = 0; i < events.size(); ++i)
        if (events[i].rfind(prefix, 0) == 0)
            return i;
    return events.size();
}

std::string dateTimeAt(std::time_t when)
{
    std::tm tm{};
    localtime_r(&when, &tm);
    std::ostringstream out;
    out.imbue(std::locale(""));
    out << std::put_time(&tm, "%x %X");
    return out.str();
}
} // namespace

// Every row is annotated by hand with the pass that must delete it (0: it stays).
TEST(Cleanup, HandMadeSiteEndsAsWorkedOut)
{
    TestDatabase t("cleanup_site");
    TempFolder folder("site");
    t.exec("insert into tbl_user (CODE,LOGIN) values (3,'первый'),(5,'b'),(7,'c')");
    t.exec(
        "insert into tbl_base (CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT) values (10,4,NULL,99,NULL),(11,5,7,NULL,-1)");
    t.exec("insert into tbl_persona (CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT) values (20,-1,0,5,4)");
    struct Seed {
        const char* table;
        const char* cols;
        const char* values; // CODE first
        int deletedBy;
    };
    const Seed seeds[] = {
        {"tbl_link", "CODE,BASECODE,WHOADD", "100,10,3", 0},
        {"tbl_link", "CODE,BASECODE,WHOADD", "101,12,3", 1},
        {"tbl_link", "CODE,BASECODE,WHOADD", "102,NULL,5", 0}, // NULL names no release
        {"tbl_link", "CODE,BASECODE,WHOADD", "103,11,99", 0},  // author replaced later
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "200,100,5", 0},
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "201,101,5", 2}, // its link goes in pass 1
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "202,100,4", 3},
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "203,999,4", 2}, // orphan twice: the earlier pass
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "204,100,-1", 3},
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "205,100,0", 3},
        {"tbl_stat", "CODE,LINKCODE,USERCODE", "206,NULL,NULL", 0},
        {"tbl_votes", "CODE,BASECODE,USERCODE", "300,10,3", 0},
        {"tbl_votes", "CODE,BASECODE,USERCODE", "301,12,3", 4},
        {"tbl_votes", "CODE,BASECODE,USERCODE", "302,10,-1", 6},
        {"tbl_votes", "CODE,BASECODE,USERCODE", "303,12,99", 4},
        {"tbl_votes", "CODE,BASECODE,USERCODE", "304,10,NULL", 0},
        {"tbl_tube", "CODE,BASECODE,WHOADD", "400,11,5", 0},
        {"tbl_tube", "CODE,BASECODE,WHOADD", "401,0,5", 5},
        {"tbl_tube", "CODE,BASECODE,WHOADD", "402,10,-1", 0},
        {"tbl_comment", "CODE,BASECODE,WHOADD", "500,10,7", 0},
        {"tbl_comment", "CODE,BASECODE,WHOADD", "501,10,-1", 7},
        {"tbl_comment", "CODE,BASECODE,WHOADD", "502,12,7", 8},
        {"tbl_comment", "CODE,BASECODE,WHOADD", "503,12,4", 7},
        {"tbl_comment", "CODE,BASECODE,WHOADD", "504,NULL,7", 0},
        {"tbl_tags", "CODE,BASECODE", "600,11", 0},
        {"tbl_tags", "CODE,BASECODE", "601,99", 9},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "700,10,5", 0},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "701,12,-1", 10},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "702,10,-1", 0},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "703,10,4", 16},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "704,12,4", 10},
        {"tbl_fav", "CODE,BASECODE,USERCODE", "705,10,0", 16},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "800,10,11", 0},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "801,12,11", 11},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "802,10,12", 11},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "803,12,99", 11}, // both missing: counted once
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "804,NULL,12", 11},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", "805,10,NULL", 0},
        {"tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", "900,20,10", 0},
        {"tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", "901,20,12", 12},
        {"tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", "902,21,10", 13},
        {"tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", "903,21,12", 12},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1000,10,'a.jpg',3", 0},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1001,12,'Скрин один.jpg',3", 14},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1002,0,'zero.jpg',99", 0},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1003,-1,'neg.jpg',3", 0},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1004,99,NULL,3", 14},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", "1005,12,'last.png',3", 14},
        {"tbl_search", "CODE,USERCODE", "1100,5", 0},
        {"tbl_search", "CODE,USERCODE", "1101,-1", 0},
        {"tbl_search", "CODE,USERCODE", "1102,4", 15},
        {"tbl_search", "CODE,USERCODE", "1103,0", 15},
        {"tbl_search", "CODE,USERCODE", "1104,NULL", 0},
        {"tbl_wanted", "CODE,WHOADD", "1200,7", 0},
        {"tbl_wanted", "CODE,WHOADD", "1201,-1", 0},
        {"tbl_wanted", "CODE,WHOADD", "1202,99", 17},
        {"tbl_news", "CODE,WHOADD", "1300,3", 0},
        {"tbl_news", "CODE,WHOADD", "1301,NULL", 0},
        {"tbl_news", "CODE,WHOADD", "1302,0", 0},
    };
    std::array<int, 18> counts{};
    for (const Seed& s : seeds) {
        t.exec(std::string("insert into ") + s.table + " (" + s.cols + ") values (" + s.values + ")");
        if (s.deletedBy)
            ++counts[s.deletedBy - 1];
    }
    // Replaced: base 10 WHOADD and WHOEDIT, base 11 WHODOPEDIT, persona 20 WHOADD, WHOMODER and
    // WHODOPEDIT, link 103, news 1302, poster 1002 and tube 402: ten values.
    counts[17] = 10;

    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    const std::time_t before = std::time(nullptr);
    Command5_Click(runner, folder.slash());
    const std::time_t after = std::time(nullptr);

    ASSERT_EQ(w.count(MessageIcon::Critical), 0) << (w.messages.empty() ? "" : w.messages[0].text);
    const std::string summary = summaryOf(counts);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(w.messages[0].text, messageOf(summary) + folder.archiveLine());

    for (const Seed& s : seeds) {
        const std::string values = s.values;
        const std::string code = values.substr(0, values.find(','));
        EXPECT_EQ(t.count(s.table, "CODE=" + code), s.deletedBy ? 0 : 1) << s.table << " " << values;
    }
    struct Authors {
        const char* sql;
        std::vector<std::string> want;
    };
    const Authors authors[] = {
        {"select concat_ws(',',ifnull(WHOADD,'N'),ifnull(WHOMODER,'N'),ifnull(WHOEDIT,'N'),ifnull(WHODOPEDIT,'N')) "
         "from tbl_base order by CODE",
         {"3,N,3,N", "5,7,N,3"}},
        {"select concat_ws(',',WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT) from tbl_persona", {"3,3,5,3"}},
        {"select WHOADD from tbl_link order by CODE", {"3", "5", "3"}},
        {"select WHOADD from tbl_news order by CODE", {"3", "NULL", "3"}},
        {"select WHOADD from tbl_poster order by CODE", {"3", "3", "3"}},
        {"select WHOADD from tbl_tube order by CODE", {"5", "3"}},
    };
    for (const Authors& a : authors)
        EXPECT_EQ(t.column(a.sql), a.want) << a.sql;

    // Three rows deleted, one without a file name: six lines, in the order the rows were read.
    EXPECT_EQ(readFileBytes(folder.file("bad_sreen.txt")),
              cp1251::fromUtf8(kListHeading + kListRule + "Скрин один.jpg\r\n\r\nlast.png\r\n" + kListRule));
    EXPECT_EQ(cp1251::fromUtf8(kListHeading).size(), 89u);
    EXPECT_EQ(w.viewerCalls, std::vector<std::string>{folder.file("bad_sreen.txt")});

    const std::string report = readFileBytes(folder.file("report.txt"));
    const std::string dateLine = report.substr(0, report.find("\r\n"));
    EXPECT_TRUE(dateLine == dateTimeAt(before) || dateLine == dateTimeAt(after)) << dateLine;
    EXPECT_EQ(report, cp1251::fromUtf8(dateLine + "\r\nРезультат работы\r\n" + std::string(41, '=') + "\r\n" + summary +
                                       "\r\n"));
    // The file ends in the last summary line, its bare CR, then CRLF; "№" is one cp1251 byte (0xB9).
    EXPECT_EQ(report.substr(report.size() - 9), "\xB9"
                                                "1: 10\r\r\n");

    // Caption back before the viewer; the viewer before the window is shown and the message last.
    const std::size_t restored = indexOf(w.events, "caption:tk_corvane v.1.0.10");
    EXPECT_LT(restored, indexOf(w.events, "viewer:"));
    EXPECT_LT(indexOf(w.events, "viewer:"), indexOf(w.events, "show"));
    EXPECT_LT(indexOf(w.events, "show"), indexOf(w.events, "message:"));
    EXPECT_TRUE(t.otherSessionsGone());
}

TEST(Cleanup, CaptionCountsExaminedRowsAndShowsDeletionsSoFar)
{
    TestDatabase t("cleanup_progress");
    TempFolder folder("progress");
    t.exec("insert into tbl_user (CODE,LOGIN) values (1,'u')");
    // Votes: rows 1-7 and row 250 name a missing release; the 250th is shown before its own test.
    insertMany(t, "tbl_votes", "CODE,BASECODE,USERCODE", 250,
               [](int i) { return std::to_string(i) + "," + (i <= 7 || i == 250 ? "999" : "1") + ",1"; });
    // Tags: 249 orphans, one short of a refresh.
    insertMany(t, "tbl_tags", "CODE,BASECODE", 249, [](int i) { return std::to_string(i) + ",999"; });
    // Authorship: 200 releases (three with a missing moderator), then 100 persons whose first 50
    // have a missing author. The 250th row overall is the 50th person.
    insertMany(t, "tbl_base", "CODE,WHOADD,WHOMODER", 200,
               [](int i) { return std::to_string(i) + ",1," + (i <= 3 ? "98" : "NULL"); });
    insertMany(t, "tbl_persona", "CODE,WHOADD", 100,
               [](int i) { return std::to_string(i) + (i <= 50 ? ",98" : ",1"); });

    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    Command5_Click(runner, folder.slash());
    ASSERT_EQ(w.count(MessageIcon::Critical), 0) << (w.messages.empty() ? "" : w.messages[0].text);

    std::vector<std::string> want;
    for (std::size_t pass = 0; pass < 18; ++pass)
        want.push_back(titleOf(pass));
    want.insert(want.begin() + 4, "250/7 - " + titleOf(3));
    want.push_back("250/52 - " + titleOf(17));
    want.push_back("tk_corvane v.1.0.10");
    EXPECT_EQ(w.captions, want);
    EXPECT_EQ(w.processed, 20); // titles and refreshes only; the restored caption does not yield

    std::array<int, 18> counts{};
    counts[3] = 8;
    counts[8] = 249;
    counts[17] = 53;
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, messageOf(summaryOf(counts)) + folder.archiveLine());
}

TEST(Cleanup, FailedOpenLeavesFilesAndAnEmptyListIsRemoved)
{
    TestDatabase t("cleanup_files");
    TempFolder folder("files");
    writeCp1251File(folder.file("report.txt"), "старый отчёт");
    writeCp1251File(folder.file("bad_sreen.txt"), "старый список");
    t.exec("insert into tbl_user (CODE,LOGIN) values (1,'u')");
    t.exec("insert into tbl_poster (CODE,BASECODE,POSTER,WHOADD) values (1,0,'kept.jpg',1)");

    ConnectionFields wrong = t.fields();
    wrong.password = "wrong";
    RecordingWindow refused(wrong);
    OperationRunner refusedRunner(refused);
    Command5_Click(refusedRunner, folder.slash());
    ASSERT_EQ(refused.messages.size(), 1u);
    EXPECT_EQ(refused.messages[0].icon, MessageIcon::Critical);
    EXPECT_TRUE(refused.captions.empty());
    EXPECT_EQ(readFileBytes(folder.file("report.txt")), cp1251::fromUtf8("старый отчёт"));
    EXPECT_EQ(readFileBytes(folder.file("bad_sreen.txt")), cp1251::fromUtf8("старый список"));

    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    Command5_Click(runner, folder.slash());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, messageOf(summaryOf({})));
    EXPECT_EQ(folder.archiveLine(), "") << "a run that changes nothing leaves no archive";
    EXPECT_FALSE(fs::exists(folder.file("bad_sreen.txt")));
    EXPECT_TRUE(w.viewerCalls.empty());
    const std::string report = readFileBytes(folder.file("report.txt"));
    EXPECT_EQ(report.substr(report.find("\r\n")),
              cp1251::fromUtf8("\r\nРезультат работы\r\n" + std::string(41, '=') + "\r\n" + summaryOf({}) + "\r\n"));
    EXPECT_EQ(t.count("tbl_poster"), 1);
}

TEST(Cleanup, FailuresAfterThePassesKeepTheSummary)
{
    struct Case {
        const char* label;
        bool viewerStarts;
        bool reportBlocked;
        bool withUsers;
        std::string wantNote; // the closing message ends with it
        bool wantReport;
    };
    const Case cases[] = {
        {"viewer cannot start", false, false, true, "он сохранён в файле ", true},
        {"report cannot be written", true, true, true, "Отчёт не записан: ", false},
        {"no user to hand authorship to", true, false, false, "", true},
    };
    for (const Case& c : cases) {
        TestDatabase t("cleanup_fault");
        TempFolder folder("fault");
        if (c.withUsers)
            t.exec("insert into tbl_user (CODE,LOGIN) values (2,'u')");
        t.exec("insert into tbl_base (CODE,WHOADD) values (1,5)");
        t.exec("insert into tbl_poster (CODE,BASECODE,POSTER,WHOADD) values (1,7,'gone.jpg',2)");
        if (c.reportBlocked)
            fs::create_directory(folder.file("report.txt"));

        RecordingWindow w(t.fields());
        w.viewerStarts = c.viewerStarts;
        OperationRunner runner(w);
        Command5_Click(runner, folder.slash());

        ASSERT_EQ(w.messages.size(), 1u) << c.label;
        EXPECT_EQ(w.messages[0].icon, MessageIcon::Information) << c.label;
        std::array<int, 18> counts{};
        counts[13] = 1;
        counts[17] = c.withUsers ? 1 : 0;
        const std::string closing = messageOf(summaryOf(counts)) + folder.archiveLine();
        const std::string& text = w.messages[0].text;
        EXPECT_EQ(text.substr(0, closing.size()), closing) << c.label;
        const std::string note = text.substr(std::min(closing.size(), text.size()));
        EXPECT_EQ(note.empty(), c.wantNote.empty()) << c.label << ": " << note;
        EXPECT_NE(note.find(c.wantNote), std::string::npos) << c.label << ": " << note;
        if (!c.viewerStarts) {
            EXPECT_NE(note.find(folder.file("bad_sreen.txt")), std::string::npos) << c.label;
        }
        EXPECT_EQ(fs::is_regular_file(folder.file("report.txt")), c.wantReport) << c.label;
        EXPECT_EQ(t.scalar("select WHOADD from tbl_base"), c.withUsers ? "2" : "5") << c.label;
        EXPECT_EQ(w.viewerCalls.size(), 1u) << c.label;
    }
}

TEST(Cleanup, AnErrorOrASecondPressEndsOnlyTheRun)
{
    TestDatabase t("cleanup_error");
    TempFolder folder("error");
    t.exec("insert into tbl_user (CODE,LOGIN) values (1,'u')");
    t.exec("insert into tbl_link (CODE,BASECODE,WHOADD) values (1,99,1)");
    t.exec("insert into tbl_comment (CODE,BASECODE,WHOADD) values (1,99,1)");

    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    w.onProcessEvents = [&] {
        // The user presses the button again while the run yields: nothing may start.
        Command5_Click(runner, folder.slash());
        if (w.caption() == titleOf(6))
            t.exec("drop table tbl_comment");
    };
    Command5_Click(runner, folder.slash());

    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].icon, MessageIcon::Critical);
    EXPECT_NE(w.messages[0].text.find("42S02"), std::string::npos) << w.messages[0].text;
    EXPECT_EQ(std::count(w.captions.begin(), w.captions.end(), titleOf(0)), 1);
    EXPECT_EQ(w.captions.back(), "tk_corvane v.1.0.10");
    EXPECT_FALSE(fs::exists(folder.file("report.txt")));
    EXPECT_EQ(t.count("tbl_link"), 0); // what ran before the error stays done
    EXPECT_FALSE(runner.busy());
    EXPECT_TRUE(t.otherSessionsGone());
}
