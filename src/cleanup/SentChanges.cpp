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

bool SentChanges::lockRows(std::string_view table, CodeList codes)
{
    abandonBatch();
    m_conn.execute("START TRANSACTION");
    m_open = true;
    try {
        for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
            m_conn.query("select CODE from " + std::string(table) + " where CODE in (" +
                         codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined() + ") for update");
    } catch (...) {
        abandonBatch();
        throw;
    }
    return true;
}

std::vector<db::Rows> SentChanges::deleteReturning(std::string_view table, CodeList codes,
                                                   const std::string& selectList)
{
    try {
        if (!m_open) {
            m_conn.execute("START TRANSACTION");
            m_open = true;
        }
        std::vector<db::Rows> rows;
        for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
            rows.push_back(m_conn.query("delete from " + std::string(table) + " where CODE in (" +
                                        codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined() +
                                        ") returning " + selectList));
        return rows;
    } catch (...) {
        abandonBatch();
        throw;
    }
}

SentChanges::~SentChanges()
{
    // What is open now is the empty transaction a batch's commit chained, or one a failure left
    // behind: either way nothing of it must stay.
    abandonBatch();
}

void SentChanges::commitBatch()
{
    if (!m_open)
        return;
    try {
        // The next batch's transaction starts with this one's commit, in the same round trip: a batch
        // costs two, as a read before a plain delete does. Anything else these changes send ends it
        // first (lockRows rolls it back, a plain change commits it), and so does the end of the run.
        m_conn.execute("COMMIT AND CHAIN");
    } catch (...) {
        // A commit the server refused leaves nothing of the batch behind it.
        abandonBatch();
        throw;
    }
}

void SentChanges::abandonBatch() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    try {
        m_conn.execute("ROLLBACK");
    } catch (const std::exception&) {
        // The connection is gone: the server has rolled it back.
    }
}

void SentChanges::sendInLists(const std::string& head, CodeList codes)
{
    // The codes were read from the server as numbers; they go back as plain decimal text.
    try {
        for (std::size_t from = 0; from < codes.size(); from += kCodesPerStatement)
            m_conn.execute(head + codes.part(from, std::min(kCodesPerStatement, codes.size() - from)).joined() + ")");
        if (m_open) {
            m_open = false;
            m_conn.execute("COMMIT");
        }
    } catch (const db::DbError&) {
        abandonBatch();
        throw;
    }
}

} // namespace cleanup
