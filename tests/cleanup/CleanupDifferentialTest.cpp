// The cleanup against an independent account of what it must do: random small sites are cleaned by
// the tool on one copy and by set-based SQL written here on another, and the two must agree on every
// row, every summary number, the screenshot list and every caption; the dry run must report the same.
#include "CleanupTestSupport.h"

#include <map>
#include <random>

namespace
{
// A pass as SQL: the row query (it fixes which rows are examined, and in what order), the table, the
// table the references name and the reference columns. A deleted row counts once, an authorship row
// once per replaced value. NULL names no parent (and NOT IN an empty list is true even for NULL, hence
// the explicit test).
struct SqlPass {
    const char* rowQuery;
    const char* table;
    const char* parent;
    std::vector<std::string> refs;
};
// clang-format off
const SqlPass kSqlPasses[] = {
    {"select CODE,BASECODE from tbl_link", "tbl_link", "tbl_base", {"BASECODE"}},
    {"select CODE,LINKCODE from tbl_stat", "tbl_stat", "tbl_link", {"LINKCODE"}},
    {"select CODE,USERCODE from tbl_stat", "tbl_stat", "tbl_user", {"USERCODE"}},
    {"select CODE,BASECODE from tbl_votes", "tbl_votes", "tbl_base", {"BASECODE"}},
    {"select CODE,BASECODE from tbl_tube", "tbl_tube", "tbl_base", {"BASECODE"}},
    {"select CODE,USERCODE from tbl_votes", "tbl_votes", "tbl_user", {"USERCODE"}},
    {"select CODE,WHOADD from tbl_comment", "tbl_comment", "tbl_user", {"WHOADD"}},
    {"select CODE,BASECODE from tbl_comment", "tbl_comment", "tbl_base", {"BASECODE"}},
    {"select CODE,BASECODE from tbl_tags", "tbl_tags", "tbl_base", {"BASECODE"}},
    {"select CODE,BASECODE from tbl_fav", "tbl_fav", "tbl_base", {"BASECODE"}},
    {"select CODE,FIRSTCODE,SECONDCODE from tbl_cross", "tbl_cross", "tbl_base", {"FIRSTCODE", "SECONDCODE"}},
    {"select CODE,SECONDCODE from tbl_cross2", "tbl_cross2", "tbl_base", {"SECONDCODE"}},
    {"select CODE,FIRSTCODE from tbl_cross2", "tbl_cross2", "tbl_persona", {"FIRSTCODE"}},
    {"select CODE,BASECODE,POSTER from tbl_poster where BASECODE>0", "tbl_poster", "tbl_base", {"BASECODE"}},
    {"select CODE,USERCODE from tbl_search where USERCODE<>-1", "tbl_search", "tbl_user", {"USERCODE"}},
    {"select CODE,USERCODE from tbl_fav where USERCODE<>-1", "tbl_fav", "tbl_user", {"USERCODE"}},
    {"select CODE,WHOADD from tbl_wanted where WHOADD<>-1", "tbl_wanted", "tbl_user", {"WHOADD"}},
    // The authorship pass: one pair of counters over six tables.
    {"select * from tbl_base", "tbl_base", "tbl_user", {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"select * from tbl_persona", "tbl_persona", "tbl_user", {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"select CODE,WHOADD from tbl_link", "tbl_link", "tbl_user", {"WHOADD"}},
    {"select CODE,WHOADD from tbl_news", "tbl_news", "tbl_user", {"WHOADD"}},
    {"select CODE,WHOADD from tbl_poster", "tbl_poster", "tbl_user", {"WHOADD"}},
    {"select CODE,WHOADD from tbl_tube", "tbl_tube", "tbl_user", {"WHOADD"}},
};
// clang-format on

std::string missing(const std::string& col, const std::string& parent)
{
    return "(" + col + " is not null and " + col + " not in (select CODE from " + parent + "))";
}

// A small site drawn from the random number generator started at draw. Parents have codes 1..top with about one in five
// missing; references are NULL, -1, 0, beyond the top, or any code up to the top, so duplicates abound.
std::vector<std::string> randomSite(unsigned draw, bool noUsers, bool big)
{
    std::mt19937 rng(draw);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto ref = [&](int top) -> std::string {
        const int r = pick(0, 99);
        return r < 8 ? "NULL" : r < 12 ? "-1" : r < 16 ? "0" : std::to_string(r < 22 || !top ? top + r : pick(1, top));
    };
    const int users = noUsers ? 0 : pick(3, 60), bases = pick(5, 80), persons = pick(3, 40);
    const int links = big ? 4000 : pick(5, 300);
    // Each table with what each column after CODE names (nullptr: a screenshot's file name) and its
    // number of rows (-1: none, a few, or enough for several captions, at random). The first four have holes.
    const std::tuple<const char*, const char*, std::vector<const int*>, int> tables[] = {
        {"tbl_user", "CODE", {}, users},
        {"tbl_base", "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT", {&users, &users, &users, &users}, bases},
        {"tbl_persona", "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT", {&users, &users, &users, &users}, persons},
        {"tbl_link", "CODE,BASECODE,WHOADD", {&bases, &users}, links},
        {"tbl_stat", "CODE,LINKCODE,USERCODE", {&links, &users}, big ? 25000 : -1},
        {"tbl_votes", "CODE,BASECODE,USERCODE", {&bases, &users}, -1},
        {"tbl_fav", "CODE,BASECODE,USERCODE", {&bases, &users}, -1},
        {"tbl_tube", "CODE,BASECODE,WHOADD", {&bases, &users}, -1},
        {"tbl_comment", "CODE,BASECODE,WHOADD", {&bases, &users}, -1},
        {"tbl_tags", "CODE,BASECODE", {&bases}, -1},
        {"tbl_cross", "CODE,FIRSTCODE,SECONDCODE", {&bases, &bases}, -1},
        {"tbl_cross2", "CODE,FIRSTCODE,SECONDCODE", {&persons, &bases}, -1},
        {"tbl_poster", "CODE,BASECODE,POSTER,WHOADD", {&bases, nullptr, &users}, -1},
        {"tbl_search", "CODE,USERCODE", {&users}, -1},
        {"tbl_wanted", "CODE,WHOADD", {&users}, -1},
        {"tbl_news", "CODE,WHOADD", {&users}, -1},
    };
    std::vector<std::string> sql;
    int index = 0;
    for (const auto& [table, cols, names, size] : tables) {
        const bool holes = index++ < 4;
        const int kind = pick(0, 9), n = size >= 0 ? size : kind < 2 ? 0 : kind < 6 ? pick(1, 40) : pick(251, 600);
        std::string insert;
        for (int code = 1; code <= n; ++code) {
            if (holes && pick(0, 4) == 0)
                continue;
            insert += (insert.empty() ? std::string("insert into ") + table + " (" + cols + ") values (" : ",(") +
                      std::to_string(code);
            for (const int* top : names)
                insert +=
                    "," + (top               ? ref(*top)
                           : pick(0, 9) == 0 ? std::string("NULL")
                                             : (pick(0, 1) ? "'кадр " : "'shot_") + std::to_string(code) + ".jpg'");
            insert += ")";
            if (insert.size() > 20000)
                sql.push_back(std::exchange(insert, {}));
        }
        if (!insert.empty())
            sql.push_back(insert);
    }
    return sql;
}

struct Expected {
    std::string summary;
    std::vector<std::string> captions;              // titles and progress captions, then the one put back
    std::vector<std::optional<std::string>> listed; // file names of the deleted screenshots, in row-query order
};

// Cleans the site with set-based SQL, pass by pass, and works out what the tool must report.
Expected cleanWithSql(TestDatabase& t)
{
    Expected want;
    std::vector<std::uint64_t> counts(18);
    const std::optional<std::string> firstUser = t.scalar("select min(CODE) from tbl_user");
    std::uint64_t examined = 0;
    for (std::size_t p = 0; p < std::size(kSqlPasses); ++p) {
        const SqlPass& pass = kSqlPasses[p];
        const std::size_t run = std::min<std::size_t>(p, 17); // the run's pass: all authorship tables are one
        if (p <= 17) {
            want.captions.push_back(titleOf(run));
            examined = 0;
        }
        if (run == 17 && !firstUser)
            continue; // nobody to hand authorship to: nothing examined, nothing changed
        const std::string rowQuery = pass.rowQuery;
        const std::size_t at = rowQuery.find(" where ");
        const std::string filter = at == std::string::npos ? "" : " and " + rowQuery.substr(at + 7);
        std::string perRow; // what one row adds to the count
        for (const std::string& ref : pass.refs)
            perRow += (perRow.empty() ? "" : "+") + missing(ref, pass.parent);
        if (run < 17)
            perRow = "(" + perRow + ")>0";
        std::map<std::int64_t, int> hits;
        for (const std::string& line : t.column("select concat(CODE,' '," + perRow + ") from " + pass.table))
            hits[std::stoll(line)] = std::stoi(line.substr(line.find(' ') + 1));
        const db::Rows rows = t.conn().query(rowQuery + " order by CODE");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int hit = hits[std::stoll(*rows[i].text("CODE"))];
            if (++examined % 250 == 0)
                want.captions.push_back(std::to_string(examined) + "/" + std::to_string(counts[run]) + " - " +
                                        titleOf(run));
            counts[run] += hit;
            if (p == 13 && hit)
                want.listed.push_back(rows[i].text("POSTER"));
        }
        if (run < 17)
            t.exec(std::string("delete from ") + pass.table + " where " + perRow + filter);
        else
            for (const std::string& ref : pass.refs)
                t.exec(std::string("update ") + pass.table + " set " + ref + "=" + *firstUser + " where " +
                       missing(ref, pass.parent));
    }
    want.summary = summaryOf(counts);
    want.captions.push_back(std::string(kProductCaption)); // the caption put back
    return want;
}
} // namespace

TEST(CleanupDifferential, RandomSitesEndAsSetBasedSqlLeavesThem)
{
    TK_REQUIRE_TEST_SERVER();
    struct Case {
        const char* label;
        unsigned draw;
        bool noUsers, big; // big: passes long enough to send their changes in several batches
        std::size_t pageRows;
        bool oneSession = false; // an account held to one session: every page is read on it
    };
    // Pages of one row make pages that hold only deleted rows; the others end mid-batch or not at all.
    // Where the run has a second session, each next page is read there while the one before is judged.
    const Case cases[] = {
        {"draw 11", 11, false, false, 1},           {"draw 12", 12, false, false, 3}, {"draw 13", 13, false, false, 7},
        {"draw 14", 14, false, false, 50000},       {"no users", 15, true, false, 2}, {"big", 16, false, true, 997},
        {"one session", 17, false, false, 5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TestDatabase tool("cleanup_diff_tool"), bySql("cleanup_diff_sql");
        for (const std::string& s : randomSite(c.draw, c.noUsers, c.big)) {
            tool.exec(s);
            bySql.exec(s);
        }
        if (c.draw % 2 == 0) { // the tool must not depend on them; the row order follows the indexes
            tool.dropSecondaryIndexes();
            bySql.dropSecondaryIndexes();
        }
        const Expected want = cleanWithSql(bySql);

        // The dry run sees each pass's site as the earlier passes would leave it, reports and lists
        // what the real run will, and leaves every row alone.
        const auto original = dumpSite(tool);
        RecordingWindow looker(tool.fields());
        OperationRunner lookingRunner(looker);
        ASSERT_EQ(previewCleanup(lookingRunner, c.pageRows).status, RunStatus::Done);
        std::string previewText =
            "Пробный прогон: база не изменена, файлы не записаны\n" + linesOf(want.summary) +
            "Скриншоты, которые попали бы в список bad_sreen.txt: " + std::to_string(want.listed.size()) + "\n";
        for (const auto& name : want.listed)
            previewText += (name ? *name : "\\N") + "\n";
        ASSERT_EQ(looker.messages.size(), 1u);
        EXPECT_EQ(looker.messages[0].text, previewText);
        EXPECT_EQ(looker.captions, want.captions);
        EXPECT_TRUE(dumpSite(tool) == original);

        // Whatever a caption reports must be in the database when it shows: the rows or values left
        // to go may never exceed what was there at the pass's title less the number shown.
        auto left = [&](std::size_t run) {
            if (run < 17)
                return tool.count(kSqlPasses[run].table);
            std::int64_t n = 0;
            for (std::size_t p = 17; p < std::size(kSqlPasses); ++p)
                for (const std::string& ref : kSqlPasses[p].refs)
                    n += tool.count(kSqlPasses[p].table, missing(ref, "tbl_user"));
            return n;
        };
        RecordingWindow w(
            c.oneSession ? tool.account("tk_one", {"select, update, delete on {db}.*"}, "with max_user_connections 1")
                         : tool.fields());
        std::int64_t atTitle = 0;
        w.onProcessEvents = [&] {
            const std::string caption = w.caption();
            for (std::size_t run = 0; run < 18; ++run) {
                if (caption == titleOf(run)) {
                    atTitle = left(run);
                } else if (caption.ends_with(" - " + titleOf(run))) {
                    EXPECT_LE(left(run), atTitle - std::stoll(caption.substr(caption.find('/') + 1))) << caption;
                }
            }
        };
        TempFolder folder("diff");
        OperationRunner runner(w);
        ASSERT_EQ(Command5_Click(runner, folder.slash(), c.pageRows).status, RunStatus::Done);

        EXPECT_TRUE(dumpSite(tool) == dumpSite(bySql));
        EXPECT_EQ(w.captions, want.captions);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_TRUE(w.messages[0].text.starts_with(messageOf(want.summary))) << w.messages[0].text;
        const std::string list = folder.file("bad_sreen.txt");
        EXPECT_EQ(fs::exists(list) ? readFileBytes(list) : "",
                  want.listed.empty() ? "" : listBytes(want.listed, folder.exactList().string()));
        EXPECT_EQ(w.viewerCalls, want.listed.empty() ? std::vector<std::string>{} : std::vector{list});
    }
}
