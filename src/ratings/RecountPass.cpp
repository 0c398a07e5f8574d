#include "ratings/RecountPass.h"

#include <string>

Fixed4 aggregateValue(db::Connection& conn, const std::string& sql)
{
    const db::Rows rows = conn.query(sql);
    const auto& value = rows.front().text("count1");
    return value ? Fixed4::parse(*value) : Fixed4();
}

std::int64_t aggregateTotal(db::Connection& conn, std::string_view sql)
{
    const db::Rows rows = conn.query(sql);
    return rows.front().optInt("count1").value_or(0);
}

void runRecountPass(db::Connection& conn, SiteWindow& window, const RecountPass& pass)
{
    showProgress(window, std::string(pass.title));
    conn.execute(pass.resetSql);
    const std::string total = std::to_string(aggregateTotal(conn, pass.totalSql));
    const std::string suffix = " - " + std::string(pass.title);

    // The whole list is read before the first lookup, so the lookups and updates cannot disturb it.
    const db::Rows rows = conn.query(pass.rowsSql);
    const std::size_t codeColumn = rows.column("CODE");
    std::uint64_t counter = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        ++counter;
        if (counter % pass.refreshEvery == 0)
            showProgress(window, std::to_string(counter) + "/" + total + suffix);
        const std::string& code = rows[i].cell(codeColumn).value();
        const Fixed4 value = aggregateValue(conn, std::string(pass.rowValueSql) + code);
        if (value.isPositive())
            conn.execute(std::string(pass.updateSql) + value.toString() + " where CODE=" + code);
    }
}
