// The undo archive fed back to the mariadb client restores the site row for row.
#include "cleanup/CleanupRun.h"
#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace
{
const char* const kTables[] = {"tbl_conf",    "tbl_user",   "tbl_base",   "tbl_link",    "tbl_stat", "tbl_votes",
                               "tbl_persona", "tbl_cross2", "tbl_tube",   "tbl_comment", "tbl_tags", "tbl_fav",
                               "tbl_cross",   "tbl_poster", "tbl_search", "tbl_wanted",  "tbl_news"};

std::string dumpAll(TestDatabase& t)
{
    std::string out;
    for (const char* table : kTables) {
        const db::Rows rows = t.conn().query(std::string("select * from ") + table + " order by CODE");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            out += table;
            for (std::size_t c = 0; c < rows.columns().size(); ++c)
                out += "|" + (rows[r].cell(c) ? "'" + *rows[r].cell(c) + "'" : std::string("NULL"));
            out += "\n";
        }
    }
    return out;
}

// Host and port out of the test server field ("127.0.0.1;port=3307").
std::string clientArgs(const ConnectionFields& f)
{
    std::string host = f.server, port = "3306";
    if (const auto semi = host.find(";port="); semi != std::string::npos) {
        port = host.substr(semi + 6);
        host.erase(semi);
    }
    return "--no-defaults -h" + host + " -P" + port + " -u" + f.user + " -p" + f.password + " " + f.database;
}

std::size_t countOf(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t pos = 0; (pos = text.find(what, pos)) != std::string::npos; pos += what.size())
        ++n;
    return n;
}
} // namespace

TEST(UndoArchive, FeedingItBackRestoresTheSiteRowForRow)
{
    TestDatabase t("undo_archive");
    t.exec("insert into tbl_user (CODE, LOGIN) values (2, 'Иван \"Грозный\"'), (3, NULL), (4, 'back\\\\slash')");
    t.exec("insert into tbl_base (CODE, TITLE, WHOADD, WHOMODER, WHOEDIT) values "
           "(1, 'Д''Артаньян и три мушкетёра', 2, NULL, 77), (2, 'C:\\\\films\\\\new', 99, 3, NULL), "
           "(3, NULL, -1, 2, 4)");
    t.exec("insert into tbl_link (CODE, BASECODE, URL, DOWN, WHOADD) values "
           "(10, 1, 'a.avi', 5, 2), (11, 50, 'строка\\nперевод\\tтаб', 3, 2), (12, 51, NULL, 0, 88)");
    t.exec("insert into tbl_comment (CODE, BASECODE, WHOADD, BODY) values (20, 1, 2, 'ok'), "
           "(21, 1, 66, 'кавычки '' \" и \\\\ обратная черта; -- не комментарий\\r\\n/* нет */'), "
           "(22, 70, 2, NULL), (23, 1, 67, CONCAT('ctrl-z:', CHAR(26), ' nul:', CHAR(0), ' end'))");
    t.exec("insert into tbl_poster (CODE, BASECODE, POSTER, WHOADD) values (30, 60, 'кадр ''1''.jpg', 2), "
           "(31, 61, NULL, 5), (32, 1, 'ok.jpg', 9)");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (40, 11, 2), (41, 10, 2), (42, 12, 55)");
    t.exec("insert into tbl_persona (CODE, NAME, WHOADD, WHODOPEDIT) values (50, 'Ёжиков «Ё»', 9, 8)");
    t.exec("insert into tbl_news (CODE, TITLE, WHOADD) values (60, 'Новость \\\\ ''цитата''', 0)");
    const std::string before = dumpAll(t);

    const fs::path folder = fs::temp_directory_path() / ("tk_undo_" + t.name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    RecordingWindow w(t.fields());
    OperationRunner runner(w);
    ASSERT_EQ(Command5_Click(runner, folder.string() + "/"), RunOutcome::Done);
    ASSERT_NE(dumpAll(t), before) << "the run changed something";

    std::vector<fs::path> archives;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with("cleanup-undo-"))
            archives.push_back(e.path());
    ASSERT_EQ(archives.size(), 1u);
    std::stringstream text;
    text << std::ifstream(archives[0], std::ios::binary).rdbuf();
    EXPECT_NE(text.str().find("SET NAMES utf8mb4;"), std::string::npos);
    EXPECT_NE(w.messages.back().text.find("Архив для отмены изменений: " + archives[0].string()), std::string::npos);

    const std::string command = "mariadb " + clientArgs(t.fields()) + " < '" + archives[0].string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(dumpAll(t), before);
    fs::remove_all(folder);
}

TEST(UndoArchive, EveryChangeIsOnDiskBeforeTheCaptionReportsIt)
{
    TestDatabase t("undo_progress");
    t.exec("insert into tbl_user (CODE, LOGIN) values (1, 'admin')");
    // 600 download rows of missing links: the caption reports them in steps of 250.
    std::string rows;
    for (int i = 1; i <= 600; ++i)
        rows += (i > 1 ? "," : "") + std::string("(") + std::to_string(i) + ", " + std::to_string(1000 + i) + ", 1)";
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values " + rows);

    const fs::path folder = fs::temp_directory_path() / ("tk_undo_" + t.name());
    fs::remove_all(folder);
    fs::create_directories(folder);
    RecordingWindow w(t.fields());
    int checked = 0;
    w.onProcessEvents = [&] {
        const std::int64_t gone = 600 - t.count("tbl_stat");
        if (gone == 0)
            return;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.path().filename().string().starts_with("cleanup-undo-")) {
                std::stringstream text;
                text << std::ifstream(e.path(), std::ios::binary).rdbuf();
                EXPECT_GE(static_cast<std::int64_t>(countOf(text.str(), "INSERT INTO tbl_stat ")), gone);
                ++checked;
            }
    };
    OperationRunner runner(w);
    ASSERT_EQ(Command5_Click(runner, folder.string() + "/"), RunOutcome::Done);
    EXPECT_GT(checked, 0);
    fs::remove_all(folder);
}
