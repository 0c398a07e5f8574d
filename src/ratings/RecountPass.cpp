#include "ratings/RecountPass.h"

#include <string>
#include <string_view>

namespace
{
// Whether the server would group these rows by reading them in the order of an index that holds
// every column the grouping needs: then it neither sorts nor fetches a row by its primary key, and
// that costs less than sorting the table. Where an index lacks a summed column, reading in its
// order fetches each row on top, and sorting the table costs a fraction of that.
bool groupsInIndexOrder(db::Connection& conn, const std::string& select)
{
    db::Rows plan;
    try {
        plan = conn.query("explain select " + select);
    } catch (const db::DbError&) {
        return false; // the grouping itself meets whatever stopped the plan
    }
    if (plan.empty())
        return false;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        // The plan's notes, each between "; " and "; ", so that "Using index" is not found inside
        // "Using index condition".
        const std::string notes = "; " + plan[i].text("Extra").value_or("") + "; ";
        const auto says = [&](std::string_view note) {
            return notes.find("; " + std::string(note) + "; ") != notes.npos;
        };
        if (!says("Using index") || says("Using temporary") || says("Using filesort"))
            return false;
    }
    return true;
}
} // namespace

GroupedSource::GroupedSource(db::Connection& conn, const GroupedValues& values, std::string name, bool inMemory)
    : m_conn(conn), m_values(values)
{
    const std::string create = "create temporary table " + name + " (primary key (k))";
    // Where no index serves, the whole table is grouped by sorting its rows: with one group for every
    // few rows (downloads per link) that costs half of what the server's keyed grouping table does.
    const std::string grouped = std::string(values.columns) + " is not null" + std::string(values.suffix);
    const std::string select =
        std::string(" as select ") + (groupsInIndexOrder(conn, grouped) ? "" : "SQL_BIG_RESULT ") + grouped;
    try {
        // In memory first: on disk the table costs as much again as the grouped scan that fills it.
        if (inMemory) {
            conn.execute(create + " engine=MEMORY" + select);
            m_table = std::move(name);
            return;
        }
    } catch (const db::DbError&) {
        // Too large for the session's limit, or no MEMORY engine on this server: on disk, then.
        conn.execute("drop temporary table if exists " + name);
    }
    try {
        conn.execute(create + select);
        m_table = std::move(name);
    } catch (const db::DbError& e) {
        // Only a missing right leaves the per-run queries to do the work: the server's "access denied"
        // to the database or to the table. A statement it cannot parse shares that SQLSTATE and is
        // an error all the same.
        if (e.nativeCode != 1044 && e.nativeCode != 1142)
            throw;
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

std::string GroupedSource::source(const std::string& selection) const
{
    return m_table.empty() ? "(select " + std::string(m_values.columns) + selection + std::string(m_values.suffix) + ")"
                           : m_table;
}

std::string counterUpdate(std::string_view table, const std::vector<Counter>& counters, const std::string& selection)
{
    std::string joins, sets;
    for (std::size_t i = 0; i < counters.size(); ++i) {
        const std::string s = "s" + std::to_string(i), value = s + ".v";
        joins += " left join " + counters[i].values.source(selection) + " " + s + " on " + s + ".k=t.CODE";
        sets += std::string(i == 0 ? " set " : ",") + "t." + std::string(counters[i].column) + "=if(" + value + ">0," +
                value + ",0)";
    }
    return "update " + std::string(table) + " t" + joins + sets + " where t.CODE" + selection;
}

std::uint64_t readTotal(db::Connection& conn, std::string_view totalSql)
{
    const db::IntRows rows = conn.queryInts(totalSql);
    const auto total = rows.empty() ? std::nullopt : rows.at(0, 0);
    return total ? static_cast<std::uint64_t>(*total) : 0;
}

std::string startRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass,
                             const std::function<void()>& beside)
{
    runner.window().showTitle(std::string(pass.title));
    if (beside)
        beside();
    return std::to_string(readTotal(conn, pass.totalSql));
}

std::unique_ptr<GroupedSource> groupRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass)
{
    return std::make_unique<GroupedSource>(conn, pass.values,
                                           "tk_recount_" + std::string(pass.table) + "_" + std::string(pass.column),
                                           groupedInMemory(runner.server()));
}

void writeRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass,
                      const std::vector<Counter>& counters, const std::string& total, const RecountSizes& sizes)
{
    SiteWindow& window = runner.window();
    const std::string suffix = " - " + std::string(pass.title);
    RunLength length(sizes.chunking, runner.rowsPerStatement(kMaxChunkRows));
    std::uint64_t counter = 0;
    db::forEachPage(conn, {"CODE", std::string(pass.table), ""}, sizes.pageRows, [&](const db::IntRows& page) {
        const std::size_t code = page.column("CODE");
        walkRuns(
            page.size(), [&](std::size_t i) { return db::wholeText(*page.at(i, code), page.isUnsigned(code)); }, length,
            [&](const std::string& selection) {
                if (counters.empty())
                    return;
                runner.beforeBatch();
                conn.execute(counterUpdate(pass.table, counters, selection));
            },
            [&](std::size_t) {
                if (++counter % pass.refreshEvery == 0)
                    window.showProgress(std::to_string(counter) + "/" + total + suffix);
            });
    });
}

void runRecountPass(OperationRunner& runner, db::Connection& conn, const RecountPass& pass, const RecountSizes& sizes,
                    const std::function<void()>& beside)
{
    const std::string total = startRecountPass(runner, conn, pass, beside);
    const std::unique_ptr<GroupedSource> values = groupRecountPass(runner, conn, pass);
    writeRecountPass(runner, conn, pass, {{pass.column, *values}}, total, sizes);
}
