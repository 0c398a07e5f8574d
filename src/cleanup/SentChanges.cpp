#include "cleanup/SentChanges.h"

#include <algorithm>

namespace cleanup
{

void SentChanges::deleteRows(std::string_view table, CodeList codes, const ServerChanges&)
{
    sendInLists("delete from " + std::string(table) + " where CODE in (", codes);
}

void SentChanges::replaceAuthor(std::string_view table, std::string_view column, CodeList codes,
                                const std::string& firstUser, const ServerChanges&)
{
    sendInLists("update " + std::string(table) + " set " + std::string(column) + "=" + firstUser + " where CODE in (",
                codes);
}

void SentChanges::sendInLists(const std::string& head, CodeList codes)
{
    // The codes were read from the server as numbers; they go back as plain decimal text.
    for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
        m_conn.execute(head + codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined() + ")");
}

} // namespace cleanup
