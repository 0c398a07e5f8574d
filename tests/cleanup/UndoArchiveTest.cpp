// The undo archive is on disk ahead of every caption, and fed back to the mariadb client it restores
// the site row for row.
#include "CleanupTestSupport.h"

#include <cstdlib>
#include <sstream>

namespace
{
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
    t.exec("insert into tbl_persona (CODE, NAME, WHOADD, WHODOPEDIT) values (50, 'Ёжиков «Ё»', 9, 8)");
    t.exec("insert into tbl_news (CODE, TITLE, WHOADD) values (60, 'Новость \\\\ ''цитата''', 0)");
    // And 600 downloads of missing links, so that the deletions are reported in several captions.
    std::string stat = "(40, 11, 2), (41, 10, 2), (42, 12, 55)";
    for (int i = 1; i <= 600; ++i)
        stat += ",(" + std::to_string(1000 + i) + "," + std::to_string(5000 + i) + ",2)";
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values " + stat);
    auto rowCount = [&] {
        std::int64_t n = 0;
        for (const auto& [table, rows] : dumpSite(t))
            n += std::ssize(rows);
        return n;
    };
    const auto before = dumpSite(t);
    const std::int64_t rowsBefore = rowCount();

    TempFolder folder("undo");
    RecordingWindow w(t.fields());
    // Whenever the run yields, every row gone from the site is already in the archive on disk.
    int checked = 0;
    w.onProcessEvents = [&] {
        const std::int64_t gone = rowsBefore - rowCount();
        if (gone == 0)
            return;
        ASSERT_FALSE(folder.archive().empty());
        std::istringstream archive(readFileBytes(folder.archive().string()));
        std::int64_t inserts = 0;
        for (std::string line; std::getline(archive, line);)
            inserts += line.starts_with("INSERT INTO ");
        EXPECT_GE(inserts, gone) << w.caption();
        ++checked;
    };
    OperationRunner runner(w);
    ASSERT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done);
    EXPECT_GT(checked, 0);
    ASSERT_NE(dumpSite(t), before) << "the run changed something";

    EXPECT_NE(readFileBytes(folder.archive().string()).find("SET NAMES utf8mb4;"), std::string::npos);
    const std::string command = "mariadb " + clientArgs(t.fields()) + " < '" + folder.archive().string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(dumpSite(t), before);
}
