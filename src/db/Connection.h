#pragma once
// The tool's only door to ODBC: one connection, statements executed one at a time in
// auto-commit mode, results read forward in full. Text crosses in cp1251 and is UTF-8 here.
#include "db/DbError.h"
#include "db/Rows.h"
#include "db/StallWatch.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace db
{

class Connection
{
  public:
    using WaitHook = std::function<void(std::chrono::milliseconds waited, bool done)>;

    // Opens with the connection string as given (UTF-8, converted to cp1251) and a connect timeout,
    // giving up when the server has not answered within timeout. hook, if given, is called while the server is
    // awaited, as for a statement. Throws DbError.
    static Connection open(std::string_view connectionString, const WaitHook& hook = {},
                           std::chrono::seconds timeout = kConnectTimeout);

    Connection(Connection&&) noexcept;
    Connection& operator=(Connection&&) noexcept;
    ~Connection();

    // Runs one statement; its result, if any, is not read. Throws DbError.
    void execute(std::string_view sql);
    // Runs one query and reads every row of its result. Throws DbError.
    Rows query(std::string_view sql);
    // Runs a query whose columns all hold whole numbers and reads every row in blocks. Throws DbError,
    // also when a value is not a whole number.
    IntRows queryInts(std::string_view sql);
    // Switches the session to utf8mb4, so that text crosses unchanged both ways (the site's own
    // operations speak cp1251; restoring an archive, whose names may hold any character, does not).
    // false switches back to cp1251.
    void useUtf8Session(bool on = true);
    // Disconnects; harmless when already closed.
    void close() noexcept;

    // Called on the sending thread about every 100 ms while a statement is at the server, with how
    // long it has waited, and once more (done) when the statement ends.
    void setWaitHook(WaitHook hook);

    // Statements sent on this connection so far (execute and query alike).
    std::uint64_t statementsSent() const;
    // The driver in use, as it names itself: its file and version ("libmaodbc.so 03.01.0018").
    std::string driver() const;

  private:
    struct Handles;
    explicit Connection(std::unique_ptr<Handles> h);
    std::unique_ptr<Handles> m_h;
};

} // namespace db
