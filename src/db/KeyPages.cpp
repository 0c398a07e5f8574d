#include "db/KeyPages.h"

#include <stdexcept>

namespace db
{
namespace
{
// The statement of the page after `after` (none: the first page).
std::string pageSql(const PagedList& list, const std::string& after, std::size_t pageRows)
{
    // The condition is asked as "is true": it selects the same rows, and the server then cannot
    // take an index on its column for a way through the table. With conditions that hold for
    // nearly every row (BASECODE>0), that way meant sorting the whole rest of the table for every page.
    std::string where = list.condition.empty() ? "" : "(" + list.condition + ") is true";
    if (!after.empty())
        where += (where.empty() ? "" : " and ") + std::string("CODE>") + after;
    return "select " + list.columns + " from " + list.table + (where.empty() ? "" : " where " + where) +
           " order by CODE limit " + std::to_string(pageRows);
}

std::string lastCode(const IntRows& page)
{
    const std::size_t col = page.column("CODE");
    // CODE is the primary key: never NULL.
    return wholeText(page.at(page.size() - 1, col).value(), page.isUnsigned(col));
}

std::string lastCode(const Rows& page)
{
    // Checked as a whole number before it goes back into SQL.
    const Whole code = parseWhole(page[page.size() - 1].text("CODE").value_or(""));
    return wholeText(code.bits, code.isUnsigned);
}

// start(sql) gives what reads that page when called: at once (on c, after the page before it is
// used) or from a read already under way elsewhere.
template <typename Page, typename Start>
void walkPages(const PagedList& list, std::size_t pageRows, Start start, const std::function<void(const Page&)>& use)
{
    if (pageRows == 0)
        throw std::invalid_argument("нулевой размер страницы");
    std::function<Page()> next = start(pageSql(list, "", pageRows));
    for (;;) {
        const Page page = next();
        if (page.empty())
            return;
        const bool more = page.size() >= pageRows;
        if (more)
            next = start(pageSql(list, lastCode(page), pageRows));
        use(page);
        if (!more)
            return;
    }
}
} // namespace

void forEachPage(Connection& c, const PagedList& list, std::size_t pageRows,
                 const std::function<void(const IntRows&)>& use)
{
    forEachPageAhead(c, list, pageRows, {}, use);
}

void forEachTextPage(Connection& c, const PagedList& list, std::size_t pageRows,
                     const std::function<void(const Rows&)>& use)
{
    walkPages<Rows>(
        list, pageRows,
        [&](const std::string& sql) { return std::function<Rows()>([&c, sql] { return c.query(sql); }); }, use);
}

void forEachPageAhead(Connection& c, const PagedList& list, std::size_t pageRows, const PageAhead& ahead,
                      const std::function<void(const IntRows&)>& use)
{
    walkPages<IntRows>(
        list, pageRows,
        [&](const std::string& sql) {
            std::function<IntRows()> pending = ahead ? ahead(sql) : nullptr;
            return pending ? pending : [&c, sql] { return c.queryInts(sql); };
        },
        use);
}

} // namespace db
