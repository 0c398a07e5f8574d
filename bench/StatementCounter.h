#pragma once
// Statements as the server counted them, read through a monitoring connection of another account.
// MariaDB's user statistics count per account, so the tool's statements (and its driver's) are told
// apart from the monitor's own; the global Questions counter covers every client of the server.
#include "db/Connection.h"

#include <cstdint>
#include <string>

struct ServerStatementCounts {
    std::int64_t selects = 0;   // of the counted account
    std::int64_t updates = 0;   // of the counted account: UPDATE, DELETE, INSERT
    std::int64_t others = 0;    // of the counted account: SET and the rest
    std::int64_t questions = 0; // of every client, the monitor's own reads taken off

    std::int64_t total() const { return selects + updates + others; }
};

class StatementCounter
{
  public:
    // Switches the server's user statistics on (the monitor needs the right to SET GLOBAL).
    // Throws std::invalid_argument for an account name that cannot go into SQL, DbError when the
    // server refuses.
    StatementCounter(db::Connection monitor, std::string account);

    // Counters now, once the server has finished counting; subtract two readings to get what
    // happened between them.
    ServerStatementCounts read();

  private:
    ServerStatementCounts readRaw();

    db::Connection m_monitor;
    std::string m_account;
    std::int64_t m_questionsPerRead = 0;
    std::int64_t m_reads = 0;
};

ServerStatementCounts operator-(const ServerStatementCounts& after, const ServerStatementCounts& before);
