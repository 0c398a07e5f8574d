#include "cleanup/AuthorshipPass.h"

#include "cleanup/PassEngine.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace cleanup
{
namespace
{
struct AuthorshipTable {
    std::string_view table;
    std::string_view rowQuery;
    // Tested in this order, each on its own; unused entries are empty.
    std::array<std::string_view, 4> columns;
};

// clang-format off
constexpr std::array<AuthorshipTable, 6> kTables{{
    {"tbl_base",    "select * from tbl_base",             {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_persona", "select * from tbl_persona",          {"WHOADD", "WHOMODER", "WHOEDIT", "WHODOPEDIT"}},
    {"tbl_link",    "select CODE,WHOADD from tbl_link",   {"WHOADD"}},
    {"tbl_news",    "select CODE,WHOADD from tbl_news",   {"WHOADD"}},
    {"tbl_poster",  "select CODE,WHOADD from tbl_poster", {"WHOADD"}},
    {"tbl_tube",    "select CODE,WHOADD from tbl_tube",   {"WHOADD"}},
}};
// clang-format on

constexpr std::string_view kUserExists = "select CODE from tbl_user where CODE=";
} // namespace

std::uint64_t runAuthorshipPass(db::Connection& c, SiteWindow& window)
{
    // One title and one pair of counters for all six tables.
    PassProgress progress(window, kAuthorshipTitle);

    const db::Rows first = c.query("select CODE from tbl_user order by CODE limit 1");
    // Without a single user there is nobody to hand anything to: nothing is changed.
    if (first.empty())
        return 0;
    const std::string firstUser = codeText(first[0].cell(0).value_or(""));

    for (const AuthorshipTable& t : kTables) {
        const db::Rows rows = c.query(t.rowQuery);
        const std::size_t codeCol = rows.column("CODE");
        struct Tested {
            std::size_t col;
            std::string update; // "update <table> set <column>="
        };
        std::vector<Tested> tested;
        for (std::string_view name : t.columns)
            if (!name.empty())
                tested.push_back(
                    {rows.column(name), "update " + std::string(t.table) + " set " + std::string(name) + "="});

        progress.walk(rows, [&](const db::Rows::Row& row) {
            // Every column is judged on the value the row was read with; NULL names nobody and stays.
            for (const Tested& col : tested) {
                if (!parentMissing(c, kUserExists, row.cell(col.col)))
                    continue;
                progress.countAffected();
                c.execute(col.update + firstUser + " where CODE=" + codeText(row.cell(codeCol).value_or("")));
            }
        });
    }
    return progress.affected();
}

} // namespace cleanup
