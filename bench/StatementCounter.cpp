#include "StatementCounter.h"

#include <chrono>
#include <stdexcept>
#include <thread>

StatementCounter::StatementCounter(db::Connection monitor, std::string account)
    : m_monitor(std::move(monitor)), m_account(std::move(account))
{
    if (m_account.empty() || m_account.find_first_of("'\\") != std::string::npos)
        throw std::invalid_argument("account name unusable for counting: " + m_account);
    m_monitor.execute("SET GLOBAL userstat=1");
    // One reading is one statement of the monitor's, but let the server say how many questions it
    // adds, so that nothing of ours is mistaken for the tool's.
    const auto first = readRaw();
    const auto second = readRaw();
    m_questionsPerRead = second.questions - first.questions;
}

ServerStatementCounts StatementCounter::readRaw()
{
    const std::string where = " FROM information_schema.USER_STATISTICS WHERE USER='" + m_account + "'),0)";
    const auto rows = m_monitor.query(
        "SELECT (SELECT VARIABLE_VALUE FROM information_schema.GLOBAL_STATUS WHERE VARIABLE_NAME='QUESTIONS') AS Q,"
        " IFNULL((SELECT SELECT_COMMANDS" +
        where + " AS S, IFNULL((SELECT UPDATE_COMMANDS" + where + " AS U, IFNULL((SELECT OTHER_COMMANDS" + where +
        " AS O");
    const auto& row = rows.front();
    ServerStatementCounts c;
    c.questions = row.optInt("Q").value_or(0);
    c.selects = row.optInt("S").value_or(0);
    c.updates = row.optInt("U").value_or(0);
    c.others = row.optInt("O").value_or(0);
    return c;
}

ServerStatementCounts StatementCounter::read()
{
    // The server adds a statement to the account's counters only after it has answered it, so
    // right after the tool's last answer the count may still lack it: read until it holds still.
    auto settled = readRaw();
    ++m_reads;
    for (int i = 0; i < 200; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto again = readRaw();
        ++m_reads;
        const bool same =
            again.selects == settled.selects && again.updates == settled.updates && again.others == settled.others;
        settled = again;
        if (same)
            break;
    }
    // Every reading so far added its questions; leave them out.
    settled.questions -= m_reads * m_questionsPerRead;
    return settled;
}

ServerStatementCounts operator-(const ServerStatementCounts& a, const ServerStatementCounts& b)
{
    return {a.selects - b.selects, a.updates - b.updates, a.others - b.others, a.questions - b.questions};
}
