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

void runRecountPass(db::Connection& conn, SiteWindow& window, const RecountPass& pass, Chunking chunking)
{
    window.showTitle(std::string(pass.title));
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
    const bool isUnsigned = rows.isUnsigned(codeColumn);
    std::sort(codes.begin(), codes.end(), [isUnsigned](std::int64_t a, std::int64_t b) {
        return isUnsigned ? static_cast<std::uint64_t>(a) < static_cast<std::uint64_t>(b) : a < b;
    });
    const CodeChunks list(std::move(codes), isUnsigned);
    // The number after the '/': the rows of the row list. CODE is the primary key and never NULL, so
    // this is what COUNT(CODE) over the table gives, without a second scan.
    const std::string total = std::to_string(list.size());

    list.walk(
        chunking,
        [&](const std::string& selection) {
            conn.execute(groupedUpdate(pass.table, pass.column, pass.values, selection));
        },
        [&](std::size_t row) {
            const std::uint64_t counter = row + 1;
            if (counter % pass.refreshEvery == 0)
                window.showProgress(std::to_string(counter) + "/" + total + suffix);
        });
}
