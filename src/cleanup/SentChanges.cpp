#include "cleanup/SentChanges.h"

#include <algorithm>

namespace cleanup
{

void SentChanges::deleteRows(std::string_view table, std::span<const std::int64_t> codes)
{
    sendInLists("delete from " + std::string(table) + " where CODE in (", codes);
}

void SentChanges::replaceAuthor(std::string_view table, std::string_view column, std::span<const std::int64_t> codes,
                                std::int64_t firstUser)
{
    sendInLists("update " + std::string(table) + " set " + std::string(column) + "=" + std::to_string(firstUser) +
                    " where CODE in (",
                codes);
}

void SentChanges::sendInLists(const std::string& head, std::span<const std::int64_t> codes)
{
    // The codes were read from the server as numbers; they go back as plain decimal text.
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement) {
        const std::size_t to = std::min(codes.size(), from + kCodesPerStatement);
        std::string sql = head;
        for (std::size_t i = from; i < to; ++i) {
            if (i > from)
                sql += ',';
            sql += std::to_string(codes[i]);
        }
        sql += ')';
        m_conn.execute(sql);
    }
}

} // namespace cleanup
