#include "ratings/RecountPass.h"

#include "ratings/CodeChunks.h"

#include <algorithm>
#include <string>
#include <vector>

std::string groupedUpdate(std::string_view table, std::string_view column, const GroupedValues& values,
                          const std::string& selection)
{
    return "update " + std::string(table) + " t join (" + std::string(values.prefix) + selection +
           std::string(values.suffix) + ") s on s.k=t.CODE set t." + std::string(column) +
           "=s.v where s.v>0 and t.CODE" + selection;
}

std::string rowTotal(std::size_t rows)
{
    return std::to_string(rows);
}

void runRecountPass(db::Connection& conn, SiteWindow& window, const RecountPass& pass, Chunking chunking)
{
    showProgress(window, std::string(pass.title));
    conn.execute(pass.resetSql);
    const std::string suffix = " - " + std::string(pass.title);

    const db::IntRows rows = conn.queryInts(pass.rowsSql);
    const std::size_t codeColumn = rows.column("CODE");
    std::vector<std::int64_t> codes;
    codes.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        codes.push_back(rows.at(i, codeColumn).value());
    // The row query sets no order, so the rows are taken in ascending CODE order, which the server
    // could as well have given: the captions count rows and no pass reads the column it writes, so
    // only the order in which rows are done changes, and runs of neighbouring codes make short
    // range statements.
    std::sort(codes.begin(), codes.end());
    const CodeChunks list(std::move(codes));
    const std::string total = rowTotal(list.size());

    list.walk(
        chunking,
        [&](const std::string& selection) {
            conn.execute(groupedUpdate(pass.table, pass.column, pass.values, selection));
        },
        [&](std::size_t row) {
            const std::uint64_t counter = row + 1;
            if (counter % pass.refreshEvery == 0)
                showProgress(window, std::to_string(counter) + "/" + total + suffix);
        });
}
