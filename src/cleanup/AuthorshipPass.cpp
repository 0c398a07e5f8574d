#include "cleanup/AuthorshipPass.h"

#include <array>
#include <vector>

namespace cleanup
{
namespace
{
struct AuthorshipTable {
    std::string_view table;
    // The whole-number columns the pass reads: CODE and the tested ones.
    std::string_view selectList;
    // Tested in this order, each on its own; unused entries are empty.
    std::array<std::string_view, 4> columns;
};

// clang-format off
constexpr std::array<AuthorshipTable, 6> kTables{{
    {"tbl_base",    "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT",
                    {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_persona", "CODE,WHOADD,WHOMODER,WHOEDIT,WHODOPEDIT",
                    {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_link",    "CODE,WHOADD",   {"WHOADD"}},
    {"tbl_news",    "CODE,WHOADD",   {"WHOADD"}},
    {"tbl_poster",  "CODE,WHOADD", {"WHOADD"}},
    {"tbl_tube",    "CODE,WHOADD",   {"WHOADD"}},
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
        // Codes of the rows whose value goes, column by column.
        std::array<std::vector<std::int64_t>, 4> pending;
        RowJudge walk;
        walk.list = {std::string(t.selectList), std::string(t.table), ""};
        for (std::string_view name : t.columns)
            if (!name.empty())
                walk.judged.push_back(name);
        walk.judge = [&](const db::IntRows& page, const PageColumns& cols, std::size_t i) {
            // Every column is judged on the value the row was read with; NULL names nobody and stays.
            std::size_t queued = 0;
            for (std::size_t k = 0; k < cols.judged.size(); ++k) {
                const auto author = cols.value(page, i, k);
                if (author && !users.contains(*author, page.isUnsigned(cols.judged[k]))) {
                    pending[k].push_back(page.at(i, cols.code).value());
                    ++queued;
                }
            }
            return queued;
        };
        walk.send = [&](bool codesUnsigned) {
            for (std::size_t k = 0; k < walk.judged.size(); ++k) {
                if (!pending[k].empty()) {
                    const CodeList codes{pending[k], codesUnsigned};
                    const ServerChanges follows = rewriteFollows(run, t.table, t.columns[k], codes, firstUser);
                    run.changes.replaceAuthor(t.table, t.columns[k], codes, firstUser, follows);
                    recordFollows(run, follows);
                }
                pending[k].clear();
            }
        };
        walkRows(run, progress, run.removed.of(t.table), walk);
    }
    return progress.affected();
}

} // namespace cleanup
