#include "ops/WriteSetBounds.h"

#include "db/KeyPages.h"

#include <algorithm>
#include <limits>
#include <string>

std::size_t rowsPerTransaction(const ServerFacts& facts, std::size_t wanted)
{
    std::uint64_t bound = std::numeric_limits<std::uint64_t>::max();
    if (facts.maxWriteSetRows > 0)
        bound = facts.maxWriteSetRows;
    if (facts.maxWriteSetBytes > 0)
        bound = std::min(bound, std::max<std::uint64_t>(1, facts.maxWriteSetBytes / kWriteSetRowBytes));
    return static_cast<std::size_t>(std::min<std::uint64_t>(wanted, bound));
}

void updateEveryRow(db::Connection& c, std::string_view table, std::string_view set, std::size_t rowsEach)
{
    const std::string head = "update " + std::string(table) + " set " + std::string(set);
    if (rowsEach == std::numeric_limits<std::size_t>::max()) {
        c.execute(head);
        return;
    }
    db::forEachPage(c, {"CODE", std::string(table), ""}, rowsEach, [&](const db::IntRows& page) {
        if (page.empty())
            return;
        const std::size_t code = page.column("CODE");
        c.execute(head + " where CODE between " + db::wholeText(*page.at(0, code), page.isUnsigned(code)) + " and " +
                  db::wholeText(*page.at(page.size() - 1, code), page.isUnsigned(code)));
    });
}
