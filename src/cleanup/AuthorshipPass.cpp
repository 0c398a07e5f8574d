#include "cleanup/AuthorshipPass.h"

#include <array>
#include <vector>

namespace cleanup
{
namespace
{
struct AuthorshipTable {
    std::string_view table;
    // The whole-number columns the pass needs. Releases and persons are read with their CODE and
    // the four columns rather than every column: the same scan of the table, in the same order.
    std::string_view rowQuery;
    // Tested in this order, each on its own; unused entries are empty.
    std::array<std::string_view, 4> columns;
};

// clang-format off
constexpr std::array<AuthorshipTable, 6> kTables{{
    {"tbl_base",    "select CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT from tbl_base",
                    {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_persona", "select CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT from tbl_persona",
                    {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_link",    "select CODE,WHOADD from tbl_link",   {"WHOADD"}},
    {"tbl_news",    "select CODE,WHOADD from tbl_news",   {"WHOADD"}},
    {"tbl_poster",  "select CODE,WHOADD from tbl_poster", {"WHOADD"}},
    {"tbl_tube",    "select CODE,WHOADD from tbl_tube",   {"WHOADD"}},
}};
// clang-format on
} // namespace

std::vector<CodeColumn> authorshipColumns()
{
    std::vector<CodeColumn> columns;
    for (const AuthorshipTable& t : kTables) {
        columns.push_back({t.table, "CODE"});
        for (std::string_view c : t.columns)
            if (!c.empty())
                columns.push_back({t.table, c});
    }
    return columns;
}

std::uint64_t runAuthorshipPass(PassContext& run)
{
    // One title and one pair of counters for all six tables.
    PassProgress progress(run.window, kAuthorshipTitle);

    const CodeSet users = readCodes(run, "tbl_user");
    // Without a single user there is nobody to hand anything to: nothing is changed.
    if (users.empty())
        return 0;
    const db::Whole first = users.smallest();
    const std::string firstUser = db::wholeText(first.bits, first.isUnsigned);

    for (const AuthorshipTable& t : kTables) {
        const db::IntRows rows = run.conn.queryInts(t.rowQuery);
        const std::size_t codeCol = rows.column("CODE");
        std::vector<std::size_t> cols;
        for (std::string_view name : t.columns)
            if (!name.empty())
                cols.push_back(rows.column(name));

        // Codes of the rows whose value goes, column by column.
        std::array<std::vector<std::int64_t>, 4> pending;
        RowJudge walk;
        walk.rows = rows.size();
        walk.code = [&](std::size_t i) { return rows.at(i, codeCol).value(); };
        walk.codesUnsigned = rows.isUnsigned(codeCol);
        walk.judge = [&](std::size_t i) {
            // Every column is judged on the value the row was read with; NULL names nobody and stays.
            std::size_t queued = 0;
            for (std::size_t k = 0; k < cols.size(); ++k) {
                const auto author = rows.at(i, cols[k]);
                if (author && !users.contains(*author, rows.isUnsigned(cols[k]))) {
                    pending[k].push_back(rows.at(i, codeCol).value());
                    ++queued;
                }
            }
            return queued;
        };
        walk.send = [&] {
            for (std::size_t k = 0; k < cols.size(); ++k) {
                if (!pending[k].empty())
                    run.changes.replaceAuthor(t.table, t.columns[k], CodeList{pending[k], walk.codesUnsigned},
                                              firstUser);
                pending[k].clear();
            }
        };
        walkRows(progress, run.removed.of(t.table), walk);
    }
    return progress.affected();
}

} // namespace cleanup
