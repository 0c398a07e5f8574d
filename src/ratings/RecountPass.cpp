#include "ratings/RecountPass.h"

#include "ratings/CodeChunks.h"

#include <algorithm>
#include <string>
#include <vector>

GroupedSource::GroupedSource(db::Connection& conn, const GroupedValues& values, std::string name)
    : m_conn(conn), m_values(values)
{
    try {
        conn.execute("create temporary table " + name + " (primary key (k)) as " + std::string(values.prefix) +
                     " is not null" + std::string(values.suffix));
        m_table = std::move(name);
    } catch (const db::DbError& e) {
        if (e.sqlState != "42000")
            throw; // only a missing right leaves the per-run queries to do the work
    }
}

GroupedSource::~GroupedSource()
{
    if (m_table.empty())
        return;
    try {
        m_conn.execute("drop temporary table if exists " + m_table);
    } catch (const std::exception&) {
        // The session is gone, and its temporary tables with it.
    }
}

std::string GroupedSource::update(std::string_view table, std::string_view column, const std::string& selection) const
{
    const std::string source =
        m_table.empty() ? "(" + std::string(m_values.prefix) + selection + std::string(m_values.suffix) + ")" : m_table;
    return "update " + std::string(table) + " t join " + source + " s on s.k=t.CODE set t." + std::string(column) +
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

    const GroupedSource values(conn, pass.values, "tk_recount_values");
    list.walk(
        chunking,
        [&](const std::string& selection) { conn.execute(values.update(pass.table, pass.column, selection)); },
        [&](std::size_t row) {
            const std::uint64_t counter = row + 1;
            if (counter % pass.refreshEvery == 0)
                window.showProgress(std::to_string(counter) + "/" + total + suffix);
        });
}
