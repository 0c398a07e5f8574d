// The undo archive is on disk before each batch is sent, and fed back to the mariadb client it restores
// the site row for row.
#include "CleanupTestSupport.h"

#include "cleanup/SentChanges.h"
#include "cleanup/UndoArchive.h"

#include <cstdlib>
#include <sstream>

TEST(UndoArchive, FeedingItBackRestoresTheSiteRowForRow)
{
    TK_REQUIRE_TEST_SERVER();
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
    const auto before = dumpSite(t);

    // Behind the archive: a change that, when the archive passes a batch on, finds every row and
    // value of that batch already in the file on disk, and only then sends it.
    struct CheckedChanges : cleanup::CleanupChanges {
        explicit CheckedChanges(db::Connection& c, const fs::path& folder) : sent(c), folder(folder) {}
        std::int64_t onDisk(const std::string& head)
        {
            const fs::path archive = TempFolder::archiveIn(folder);
            std::istringstream in(archive.empty() ? "" : readFileBytes(archive.string()));
            std::int64_t n = 0;
            // Rows of multi-row INSERTs count one each; the values are hex and numbers, never "),(".
            for (std::string line; std::getline(in, line);)
                if (line.starts_with(head))
                    for (std::size_t at = 0; at != std::string::npos; at = line.find("),(", at + 1))
                        ++n;
            return n;
        }
        void deleteRows(std::string_view table, cleanup::CodeList codes) override
        {
            deleted += std::ssize(codes.codes);
            EXPECT_GE(onDisk("INSERT INTO "), deleted) << table;
            sent.deleteRows(table, codes);
        }
        void replaceAuthor(std::string_view table, std::string_view column, cleanup::CodeList codes,
                           const std::string& first) override
        {
            replaced += std::ssize(codes.codes);
            EXPECT_GE(onDisk("UPDATE "), replaced) << table << "." << column;
            sent.replaceAuthor(table, column, codes, first);
        }
        cleanup::SentChanges sent;
        fs::path folder;
        std::int64_t deleted = 0, replaced = 0;
    };
    TempFolder folder("undo");
    RecordingWindow w(t.fields());
    auto c = OpenSiteConnection(w);
    ASSERT_TRUE(c);
    CheckedChanges checked(*c, folder.path);
    cleanup::UndoArchive archive(*c, checked, folder.slash(), 0);
    cleanup::CollectedScreenshotNames names;
    cleanup::runCleanupPasses(*c, archive, names, w);
    c->close();
    EXPECT_GT(checked.deleted, 600);
    EXPECT_GT(checked.replaced, 0);

    EXPECT_NE(readFileBytes(folder.archive().string()).find("SET NAMES utf8mb4;"), std::string::npos);
    const std::string command = "mariadb " + clientArgs(t.fields()) + " < '" + folder.archive().string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(dumpSite(t), before);
}
