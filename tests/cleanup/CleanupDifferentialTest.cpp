// The cleanup against an independent account of what it must do: random small sites are cleaned by
// the tool on one copy and by set-based SQL written here on another, and the two must agree on every
// row, every summary number, the screenshot list and every caption.
#include "cleanup/AuthorshipPass.h"
#include "cleanup/CleanupRun.h"
#include "cleanup/OrphanPasses.h"

#include "common/Cp1251.h"
#include "db/SiteConnection.h"
#include "support/RecordingWindow.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <span>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
const char* const kAllTables[] = {"tbl_conf",    "tbl_user",   "tbl_base",   "tbl_link",    "tbl_stat", "tbl_votes",
                                  "tbl_persona", "tbl_cross2", "tbl_tube",   "tbl_comment", "tbl_tags", "tbl_fav",
                                  "tbl_cross",   "tbl_poster", "tbl_search", "tbl_wanted",  "tbl_news"};

// What each deletion pass removes, as SQL: the row query (it fixes the order rows are examined in
// and which rows are examined at all), the table, and the condition that makes a row an orphan. A
// NULL reference names no parent, so it never makes an orphan (and NOT IN an empty list is true
// even for NULL, hence the explicit test).
struct SqlPass {
    const char* rowQuery;
    const char* table;
    const char* orphan;
};
// clang-format off
const SqlPass kSqlPasses[17] = {
    {"select CODE,BASECODE from tbl_link", "tbl_link", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,LINKCODE from tbl_stat", "tbl_stat", "LINKCODE is not null and LINKCODE not in (select CODE from tbl_link)"},
    {"select CODE,USERCODE from tbl_stat", "tbl_stat", "USERCODE is not null and USERCODE not in (select CODE from tbl_user)"},
    {"select CODE,BASECODE from tbl_votes", "tbl_votes", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,BASECODE from tbl_tube", "tbl_tube", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,USERCODE from tbl_votes", "tbl_votes", "USERCODE is not null and USERCODE not in (select CODE from tbl_user)"},
    {"select CODE,WHOADD from tbl_comment", "tbl_comment", "WHOADD is not null and WHOADD not in (select CODE from tbl_user)"},
    {"select CODE,BASECODE from tbl_comment", "tbl_comment", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,BASECODE from tbl_tags", "tbl_tags", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,BASECODE from tbl_fav", "tbl_fav", "BASECODE is not null and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,FIRSTCODE,SECONDCODE from tbl_cross", "tbl_cross",
     "FIRSTCODE is not null and FIRSTCODE not in (select CODE from tbl_base) or "
     "SECONDCODE is not null and SECONDCODE not in (select CODE from tbl_base)"},
    {"select CODE,SECONDCODE from tbl_cross2", "tbl_cross2", "SECONDCODE is not null and SECONDCODE not in (select CODE from tbl_base)"},
    {"select CODE,FIRSTCODE from tbl_cross2", "tbl_cross2", "FIRSTCODE is not null and FIRSTCODE not in (select CODE from tbl_persona)"},
    {"select CODE,BASECODE,POSTER from tbl_poster where BASECODE>0", "tbl_poster", "BASECODE>0 and BASECODE not in (select CODE from tbl_base)"},
    {"select CODE,USERCODE from tbl_search where USERCODE<>-1", "tbl_search", "USERCODE<>-1 and USERCODE not in (select CODE from tbl_user)"},
    {"select CODE,USERCODE from tbl_fav where USERCODE<>-1", "tbl_fav", "USERCODE<>-1 and USERCODE not in (select CODE from tbl_user)"},
    {"select CODE,WHOADD from tbl_wanted where WHOADD<>-1", "tbl_wanted", "WHOADD<>-1 and WHOADD not in (select CODE from tbl_user)"},
};
// clang-format on

// The authorship pass's tables with the row queries that fix their order.
struct AuthorTable {
    const char* table;
    const char* rowQuery;
    std::vector<std::string> columns;
};
const AuthorTable kAuthorTables[] = {
    {"tbl_base", "select * from tbl_base", {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_persona", "select * from tbl_persona", {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_link", "select CODE,WHOADD from tbl_link", {"WHOADD"}},
    {"tbl_news", "select CODE,WHOADD from tbl_news", {"WHOADD"}},
    {"tbl_poster", "select CODE,WHOADD from tbl_poster", {"WHOADD"}},
    {"tbl_tube", "select CODE,WHOADD from tbl_tube", {"WHOADD"}},
};

// "(COL is not null and COL not in (select CODE from tbl_user))": 1 for a value naming a missing user.
std::string missingUser(const std::string& col)
{
    return "(" + col + " is not null and " + col + " not in (select CODE from tbl_user))";
}

std::int64_t missingAuthors(TestDatabase& t)
{
    std::int64_t n = 0;
    for (const AuthorTable& a : kAuthorTables)
        for (const std::string& col : a.columns)
            n += t.count(a.table, missingUser(col));
    return n;
}

// A small site drawn from the seed. Parents have codes 1..top with about one in five missing;
// references are NULL, -1, 0, beyond the top, or any code up to the top, so duplicates abound.
std::vector<std::string> randomSite(unsigned seed, bool noUsers, bool big)
{
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto rowCount = [&] {
        const int kind = pick(0, 9);
        return kind < 2 ? 0 : kind < 6 ? pick(1, 40) : pick(251, 600);
    };
    auto ref = [&](int top) -> std::string {
        const int r = pick(0, 99);
        if (r < 8)
            return "NULL";
        if (r < 12)
            return "-1";
        if (r < 16)
            return "0";
        if (r < 22 || top == 0)
            return std::to_string(top + pick(1, 30));
        return std::to_string(pick(1, top));
    };
    std::vector<std::string> sql;
    // Rows whose codes are 1..n, less the holes when the table is a parent.
    auto fill = [&](const std::string& table, const std::string& cols, int n, bool holes,
                    const std::function<std::string(int)>& values) {
        std::string insert;
        for (int code = 1; code <= n; ++code) {
            if (holes && pick(0, 4) == 0)
                continue;
            insert += (insert.empty() ? "insert into " + table + " (" + cols + ") values (" : ",(") +
                      std::to_string(code) + values(code) + ")";
            if (insert.size() > 20000) {
                sql.push_back(std::move(insert));
                insert.clear();
            }
        }
        if (!insert.empty())
            sql.push_back(std::move(insert));
    };
    const int users = noUsers ? 0 : pick(3, 60), bases = pick(5, 80), persons = pick(3, 40);
    const int links = big ? 4000 : pick(5, 300);
    auto authors = [&](int) { return "," + ref(users) + "," + ref(users) + "," + ref(users) + "," + ref(users); };
    fill("tbl_user", "CODE", users, true, [](int) { return std::string(); });
    fill("tbl_base", "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT", bases, true, authors);
    fill("tbl_persona", "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT", persons, true, authors);
    fill("tbl_link", "CODE,BASECODE,WHOADD", links, true, [&](int) { return "," + ref(bases) + "," + ref(users); });
    fill("tbl_stat", "CODE,LINKCODE,USERCODE", big ? 25000 : rowCount(), false,
         [&](int) { return "," + ref(links) + "," + ref(users); });
    for (const char* table : {"tbl_votes", "tbl_fav"})
        fill(table, "CODE,BASECODE,USERCODE", rowCount(), false,
             [&](int) { return "," + ref(bases) + "," + ref(users); });
    for (const char* table : {"tbl_tube", "tbl_comment"})
        fill(table, "CODE,BASECODE,WHOADD", rowCount(), false,
             [&](int) { return "," + ref(bases) + "," + ref(users); });
    fill("tbl_tags", "CODE,BASECODE", rowCount(), false, [&](int) { return "," + ref(bases); });
    fill("tbl_cross", "CODE,FIRSTCODE,SECONDCODE", rowCount(), false,
         [&](int) { return "," + ref(bases) + "," + ref(bases); });
    fill("tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", rowCount(), false,
         [&](int) { return "," + ref(persons) + "," + ref(bases); });
    fill("tbl_poster", "CODE,BASECODE,POSTER,WHOADD", rowCount(), false, [&](int code) {
        const int kind = pick(0, 9);
        const std::string poster = kind == 0  ? "NULL"
                                   : kind < 5 ? "'кадр " + std::to_string(code) + ".jpg'"
                                              : "'shot_" + std::to_string(code) + ".png'";
        return "," + ref(bases) + "," + poster + "," + ref(users);
    });
    fill("tbl_search", "CODE,USERCODE", rowCount(), false, [&](int) { return "," + ref(users); });
    for (const char* table : {"tbl_wanted", "tbl_news"})
        fill(table, "CODE,WHOADD", rowCount(), false, [&](int) { return "," + ref(users); });
    return sql;
}

struct Expected {
    std::string summary;
    std::vector<std::string> captions; // titles and progress captions, in order
    std::vector<std::string> listed;   // file names of the deleted screenshots, in row-query order
};

std::vector<std::int64_t> codesOf(TestDatabase& t, const std::string& sql)
{
    std::vector<std::int64_t> codes;
    for (const std::string& c : t.column(sql))
        codes.push_back(std::stoll(c));
    return codes;
}

// Walks the rows in the given order as the window must see it: a caption after every 250th row,
// showing what went before that row.
void walkCaptions(const std::vector<std::int64_t>& order, const std::map<std::int64_t, int>& affectedBy,
                  const std::string& title, std::uint64_t& examined, std::uint64_t& affected, Expected& want)
{
    for (std::int64_t code : order) {
        if (++examined % 250 == 0)
            want.captions.push_back(std::to_string(examined) + "/" + std::to_string(affected) + " - " + title);
        const auto it = affectedBy.find(code);
        affected += it == affectedBy.end() ? 0 : it->second;
    }
}

// Cleans the site with set-based SQL, pass by pass, and works out what the tool must report.
Expected cleanWithSql(TestDatabase& t)
{
    Expected want;
    for (std::size_t p = 0; p < 17; ++p) {
        const SqlPass& pass = kSqlPasses[p];
        const std::string title(cleanup::kOrphanPasses[p].title);
        want.captions.push_back(title);
        const std::string where = std::string(" where ") + pass.orphan;
        std::map<std::int64_t, int> orphans;
        for (std::int64_t code : codesOf(t, std::string("select CODE from ") + pass.table + where))
            orphans[code] = 1;
        std::uint64_t examined = 0, affected = 0;
        walkCaptions(codesOf(t, pass.rowQuery), orphans, title, examined, affected, want);
        if (p == 13) {
            const db::Rows rows = t.conn().query(pass.rowQuery);
            for (std::size_t i = 0; i < rows.size(); ++i)
                if (orphans.count(std::stoll(*rows[i].text("CODE"))))
                    want.listed.push_back(rows[i].text("POSTER").value_or(""));
        }
        const std::int64_t before = t.count(pass.table);
        t.exec(std::string("delete from ") + pass.table + where);
        EXPECT_EQ(before - t.count(pass.table), static_cast<std::int64_t>(orphans.size())) << pass.table;
        want.summary += std::string(cleanup::kOrphanPasses[p].summaryLabel) + std::to_string(affected) + "\r";
    }

    const std::string title(cleanup::kAuthorshipTitle);
    want.captions.push_back(title);
    std::uint64_t examined = 0, replaced = 0;
    const std::optional<std::string> first = t.scalar("select min(CODE) from tbl_user");
    for (const AuthorTable& a : first ? std::span(kAuthorTables) : std::span<const AuthorTable>()) {
        std::string perRow;
        for (const std::string& col : a.columns)
            perRow += (perRow.empty() ? "" : "+") + missingUser(col);
        std::map<std::int64_t, int> missing;
        for (const std::string& line : t.column("select concat(CODE,' '," + perRow + ") from " + a.table))
            missing[std::stoll(line)] = std::stoi(line.substr(line.find(' ') + 1));
        walkCaptions(codesOf(t, a.rowQuery), missing, title, examined, replaced, want);
        for (const std::string& col : a.columns)
            t.exec(std::string("update ") + a.table + " set " + col + "=" + *first + " where " + missingUser(col));
    }
    want.summary += std::string(cleanup::kAuthorshipLabel) + std::to_string(replaced) + "\r";
    return want;
}

std::vector<std::string> dump(TestDatabase& t, const std::string& table)
{
    std::vector<std::string> lines;
    const db::Rows rows = t.conn().query("select * from " + table + " order by CODE");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string line;
        for (std::size_t c = 0; c < rows.columns().size(); ++c)
            line += rows[i].cell(c).value_or("\\N") + "|";
        lines.push_back(line);
    }
    return lines;
}
} // namespace

TEST(CleanupDifferential, RandomSitesEndAsSetBasedSqlLeavesThem)
{
    struct Case {
        const char* label;
        unsigned seed;
        bool noUsers;
        bool big; // passes long enough to send their changes in several batches
    };
    const Case cases[] = {
        {"seed 11", 11, false, false}, {"seed 12", 12, false, false}, {"seed 13", 13, false, false},
        {"seed 14", 14, false, false}, {"no users", 15, true, false}, {"big", 16, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDatabase tool("cleanup_diff_tool"), bySql("cleanup_diff_sql");
        for (const std::string& s : randomSite(c.seed, c.noUsers, c.big)) {
            tool.exec(s);
            bySql.exec(s);
        }
        const Expected want = cleanWithSql(bySql);

        const fs::path folder = fs::temp_directory_path() / ("tk_cleanup_diff_" + std::to_string(::getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder);
        // The dry run must still see each pass's site as the earlier passes would have left it,
        // report what the real run reports, list the same names, and leave every row and file alone.
        std::vector<std::vector<std::string>> original;
        for (const char* t : kAllTables)
            original.push_back(dump(tool, t));
        {
            RecordingWindow looker(tool.fields());
            OperationRunner lookingRunner(looker);
            cleanup::CleanupPreview preview;
            ASSERT_EQ(previewCleanup(lookingRunner, preview), RunOutcome::Done);
            EXPECT_EQ(preview.summary, want.summary);
            EXPECT_EQ(preview.screenshotNames, want.listed);
            EXPECT_TRUE(looker.captions.size() == want.captions.size() + 1 &&
                        std::equal(want.captions.begin(), want.captions.end(), looker.captions.begin()))
                << "the same captions, then the caption put back";
            EXPECT_TRUE(fs::is_empty(folder)) << "a dry run writes no file";
            for (std::size_t i = 0; i < std::size(kAllTables); ++i)
                EXPECT_TRUE(dump(tool, kAllTables[i]) == original[i]) << kAllTables[i];
        }

        RecordingWindow w(tool.fields());
        // Whatever a caption reports must be in the database when it shows: the rows or values left
        // to go may never exceed what was there at the pass's title less the number shown.
        std::int64_t atTitle = 0;
        w.onProcessEvents = [&] {
            const std::string caption = w.caption();
            for (std::size_t p = 0; p < 18; ++p) {
                const std::string title(p < 17 ? cleanup::kOrphanPasses[p].title : cleanup::kAuthorshipTitle);
                auto left = [&] { return p < 17 ? tool.count(kSqlPasses[p].table) : missingAuthors(tool); };
                if (caption == title) {
                    atTitle = left();
                    return;
                }
                if (caption.size() > title.size() && caption.ends_with(" - " + title)) {
                    const std::int64_t shown = std::stoll(caption.substr(caption.find('/') + 1));
                    EXPECT_LE(left(), atTitle - shown) << caption;
                    return;
                }
            }
        };
        OperationRunner runner(w);
        ASSERT_EQ(Command5_Click(runner, folder.string() + "/"), RunOutcome::Done);

        for (const char* t : kAllTables)
            EXPECT_EQ(dump(tool, t), dump(bySql, t)) << t;
        std::vector<std::string> captions = want.captions;
        captions.push_back("tk_corvane v.1.0.10");
        // The first caption that differs, rather than two long lists.
        const auto [got, expected] =
            std::mismatch(w.captions.begin(), w.captions.end(), captions.begin(), captions.end());
        EXPECT_TRUE(got == w.captions.end() && expected == captions.end())
            << "caption " << (got - w.captions.begin()) << ": " << (got == w.captions.end() ? "(none)" : *got)
            << ", want " << (expected == captions.end() ? "(none)" : *expected);
        ASSERT_EQ(w.messages.size(), 1u);
        std::string message = "Чистка окончена\n" + want.summary;
        std::replace(message.begin(), message.end(), '\r', '\n');
        EXPECT_EQ(w.messages[0].text.substr(0, message.size()), message);
        const std::string report = readFileBytes((folder / "report.txt").string());
        EXPECT_EQ(report.substr(report.find("\r\n")),
                  cp1251::fromUtf8("\r\nРезультат работы\r\n" + std::string(41, '=') + "\r\n" + want.summary + "\r\n"));

        const std::string listPath = (folder / "bad_sreen.txt").string();
        if (want.listed.empty()) {
            EXPECT_FALSE(fs::exists(listPath));
            EXPECT_TRUE(w.viewerCalls.empty());
        } else {
            const std::string rule = std::string(87, '=') + "\r\n";
            std::string list = "Список скриншотов раздач, которых уже нет. Скриншоты можно (и нужно) удалить "
                               "физически.\r\n" +
                               rule;
            for (const std::string& poster : want.listed)
                list += poster + "\r\n";
            EXPECT_EQ(readFileBytes(listPath), cp1251::fromUtf8(list + rule));
            EXPECT_EQ(w.viewerCalls, std::vector<std::string>{listPath});
        }
        fs::remove_all(folder);
    }
}
