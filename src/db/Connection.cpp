#include "db/Connection.h"

#include "common/BackgroundJob.h"
#include "common/TextCodec.h"
#include "db/StallWatch.h"

#include "db/OdbcApi.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace db
{
namespace
{

constexpr std::string_view kDriverCharset = "CHARSET=utf8mb4";

struct FreeHandle {
    SQLSMALLINT type;
    void operator()(SQLHANDLE h) const noexcept { SQLFreeHandle(type, h); }
};
using Handle = std::unique_ptr<void, FreeHandle>;

// Text crosses ODBC in UTF-16, through the wide functions: the driver manager then passes it on
// unchanged whatever the system's code page. Only values come back as bytes (SQL_C_CHAR), in the
// session's character set.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "ODBC's wide characters are UTF-16 code units");

std::u16string wide(std::string_view utf8)
{
    return utf16::fromUtf8(utf8);
}

SQLWCHAR* wideOf(std::u16string& text)
{
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

std::string fromWide(const SQLWCHAR* text, std::size_t length)
{
    return utf16::toUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

DbError diagnose(SQLSMALLINT type, SQLHANDLE h)
{
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> text(1024);
    SQLSMALLINT len = 0;
    const SQLRETURN rc =
        SQLGetDiagRecW(type, h, 1, state, &native, text.data(), static_cast<SQLSMALLINT>(text.size()), &len);
    if (!SQL_SUCCEEDED(rc))
        return DbError("ошибка ODBC без описания", "HY000", 0);
    if (len >= static_cast<SQLSMALLINT>(text.size())) {
        text.resize(static_cast<std::size_t>(len) + 1);
        SQLGetDiagRecW(type, h, 1, state, &native, text.data(), static_cast<SQLSMALLINT>(text.size()), &len);
    }
    const std::size_t length =
        std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(len, 0)), text.size() - 1);
    return DbError(fromWide(text.data(), length), fromWide(state, 5), native);
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h)
{
    if (!SQL_SUCCEEDED(rc))
        throw diagnose(type, h);
}

struct ColumnInfo {
    std::string name;
    SQLSMALLINT type = 0;
    SQLSMALLINT digits = 0;
    bool isUnsigned = false;
};

std::vector<ColumnInfo> describeColumns(SQLHANDLE s)
{
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(s, &count), SQL_HANDLE_STMT, s);
    std::vector<ColumnInfo> columns;
    for (SQLUSMALLINT c = 1; c <= count; ++c) {
        SQLWCHAR name[256] = {};
        SQLSMALLINT nameLen = 0, nullable = 0;
        SQLULEN size = 0;
        ColumnInfo info;
        check(SQLDescribeColW(s, c, name, 256, &nameLen, &info.type, &size, &info.digits, &nullable), SQL_HANDLE_STMT,
              s);
        info.name =
            fromWide(name, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(nameLen, 0)), 255));
        SQLLEN isUnsigned = SQL_FALSE;
        check(SQLColAttributeW(s, c, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned), SQL_HANDLE_STMT, s);
        info.isUnsigned = isUnsigned == SQL_TRUE;
        columns.push_back(std::move(info));
    }
    return columns;
}

// Runs call on a thread of its own where there is a hook, telling the hook meanwhile how long it
// waits, or where the watch may leave a call to a silent server behind (`leaveOnCut`): then the call
// must own everything it uses, since it may outlive this function. Nothing when it was left behind.
std::optional<SQLRETURN> awaited(std::function<SQLRETURN()> call, const Connection::WaitHook& hook,
                                 const WatchedConnection* leaveOnCut = nullptr)
{
    if (!hook && !leaveOnCut)
        return call();
    const auto started = std::chrono::steady_clock::now();
    const auto waited = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    };
    auto rc = std::make_shared<SQLRETURN>(SQL_ERROR);
    const auto job = BackgroundJob::start([rc, call] { *rc = call(); });
    while (!job->waitFor(std::chrono::milliseconds(100))) {
        if (hook)
            hook(waited(), false);
        if (leaveOnCut && leaveOnCut->cut())
            return std::nullopt;
    }
    if (hook)
        hook(waited(), true);
    return *rc;
}

std::string seconds(std::chrono::seconds s)
{
    return std::to_string(s.count()) + " с";
}

// How many rows a result holds, where the driver knows it (it reads a result whole before the
// first fetch); 0 where it does not. Only a hint for reserving: the fetches decide.
std::size_t resultRows(SQLHANDLE s)
{
    constexpr SQLLEN kMostReserved = SQLLEN{1} << 22;
    SQLLEN n = 0;
    if (!SQL_SUCCEEDED(SQLRowCount(s, &n)) || n <= 0)
        return 0;
    return static_cast<std::size_t>(std::min(n, kMostReserved));
}

std::vector<std::string> namesOf(const std::vector<ColumnInfo>& columns)
{
    std::vector<std::string> names;
    for (const auto& c : columns)
        names.push_back(c.name);
    return names;
}

} // namespace

struct Connection::Handles {
    Handle env{nullptr, FreeHandle{SQL_HANDLE_ENV}};
    Handle dbc{nullptr, FreeHandle{SQL_HANDLE_DBC}};
    bool connected = false;
    bool utf8Session = false; // the session speaks utf8mb4: text crosses unchanged
    std::uint64_t statements = 0;
    Connection::WaitHook waitHook;
    std::shared_ptr<WatchedConnection> watched; // where the connection's socket could be told
    bool leftBehind = false;                    // a call to a silent server was left running

    // The statement as the session reads it: in a cp1251 session a character cp1251 lacks is '?'.
    std::string toSession(std::string_view text) const
    {
        const bool ascii =
            std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        return utf8Session || ascii ? std::string(text) : cp1251::toUtf8(cp1251::fromUtf8(text));
    }
    std::string fromSession(std::string_view bytes) const
    {
        return utf8Session ? std::string(bytes) : cp1251::toUtf8(bytes);
    }

    ~Handles()
    {
        if (leftBehind) {
            // A call still runs on these handles: they go with the process.
            static_cast<void>(dbc.release());
            static_cast<void>(env.release());
            return;
        }
        if (connected)
            SQLDisconnect(dbc.get());
        dbc.reset();
        env.reset();
    }

    Handle newStatement()
    {
        SQLHANDLE raw = nullptr;
        check(SQLAllocHandle(SQL_HANDLE_STMT, dbc.get(), &raw), SQL_HANDLE_DBC, dbc.get());
        return Handle(raw, FreeHandle{SQL_HANDLE_STMT});
    }

    // Every statement is sent here: on a fresh statement handle, or on one the caller has set up.
    Handle run(std::string_view sql, Handle stmt = Handle(nullptr, FreeHandle{SQL_HANDLE_STMT}))
    {
        if (!connected)
            throw DbError("соединение закрыто", "08003", 0);
        if (!stmt)
            stmt = newStatement();
        auto text = std::make_shared<std::u16string>(wide(toSession(sql)));
        ++statements;
        std::optional<SQLRETURN> rc;
        {
            const WatchedConnection::InFlight atServer(watched.get());
            // Where the watch cannot cut the socket, a call to a silent server is left behind instead.
            const WatchedConnection* leave = watched && !watched->canCutSocket() ? watched.get() : nullptr;
            rc = awaited(
                [text, s = stmt.get()] {
                    return SQLExecDirectW(s, wideOf(*text), static_cast<SQLINTEGER>(text->size()));
                },
                waitHook, leave);
        }
        if (!rc) {
            static_cast<void>(stmt.release());
            leftBehind = true;
            connected = false;
            throw DbError(watched->silence() + ", соединение с ним оставлено; выполнил ли сервер последнюю команду, "
                                               "неизвестно",
                          "08S01", 2013);
        }
        if (*rc == SQL_NO_DATA || SQL_SUCCEEDED(*rc))
            return stmt;
        if (watched && watched->cut()) {
            const DbError lost = diagnose(SQL_HANDLE_STMT, stmt.get());
            throw DbError(watched->silence() +
                              ", соединение с ним разорвано; выполнил ли сервер последнюю команду, неизвестно (" +
                              lost.what() + ")",
                          "08S01", lost.nativeCode ? lost.nativeCode : 2013);
        }
        throw diagnose(SQL_HANDLE_STMT, stmt.get());
    }
};

Connection::Connection(std::unique_ptr<Handles> h) : m_h(std::move(h)) {}
Connection::Connection(Connection&&) noexcept = default;
Connection& Connection::operator=(Connection&&) noexcept = default;
Connection::~Connection() = default;

Connection Connection::open(std::string_view connectionString, const WaitHook& hook, std::chrono::seconds timeout)
{
    auto h = std::make_unique<Handles>();
    SQLHANDLE raw = nullptr;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw)))
        throw DbError("не удалось создать окружение ODBC", "HY001", 0);
    h->env.reset(raw);
    check(SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0), SQL_HANDLE_ENV,
          raw);
    check(SQLAllocHandle(SQL_HANDLE_DBC, h->env.get(), &raw), SQL_HANDLE_ENV, h->env.get());
    h->dbc.reset(raw);

    // The driver bounds the wait for the server's greeting by its CONN_TIMEOUT keyword only (it
    // leaves ODBC's login timeout aside); a statement's wait it leaves alone.
    // The driver speaks utf8mb4 with the server, the character set of the wide statements it passes on.
    std::u16string text = wide(std::string(connectionString) + ";" + std::string(kDriverCharset) +
                               ";CONN_TIMEOUT=" + std::to_string(timeout.count()));
    const SocketSpotter spotter;
    const auto started = std::chrono::steady_clock::now();
    const SQLRETURN rc = *awaited(
        [&] {
            return SQLDriverConnectW(h->dbc.get(), nullptr, wideOf(text), static_cast<SQLSMALLINT>(text.size()),
                                     nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        },
        hook);
    if (!SQL_SUCCEEDED(rc)) {
        const DbError e = diagnose(SQL_HANDLE_DBC, h->dbc.get());
        // The driver's own error (not the server's) after the whole wait: the server never answered.
        if (e.nativeCode >= 2000 && std::chrono::steady_clock::now() - started >= timeout - std::chrono::seconds(1))
            throw DbError("Сервер не ответил за " + seconds(timeout) + ": соединение не установлено. (" + e.what() +
                              ")",
                          e.sqlState, e.nativeCode);
        throw e;
    }
    h->connected = true;
    h->utf8Session = true; // the driver's own character set, until the caller sets the session up
    h->watched = WatchedConnection::watch(spotter.opened(), std::string(connectionString));
    Connection c(std::move(h));
    // The watch asks the server about this connection by its number. A driver that is not the one
    // the tool speaks to may refuse the question: the caller finds out which driver it is.
    try {
        const IntRows id = c.queryInts("SELECT CONNECTION_ID()");
        if (id.size() == 1 && id.at(0, 0))
            c.m_h->watched->serverId = *id.at(0, 0);
    } catch (const DbError&) {
    }
    return c;
}

void Connection::execute(std::string_view sql)
{
    m_h->run(sql);
}

Rows Connection::query(std::string_view sql)
{
    Handle stmt = m_h->run(sql);
    SQLHANDLE s = stmt.get();
    const std::vector<std::string> columns = namesOf(describeColumns(s));
    const auto count = static_cast<SQLUSMALLINT>(columns.size());
    std::vector<std::optional<std::string>> cells;
    if (count == 0)
        return Rows(columns, std::move(cells));
    cells.reserve(resultRows(s) * count);

    std::string bytes;
    char buf[512];
    for (;;) {
        const SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA)
            break;
        check(rc, SQL_HANDLE_STMT, s);
        for (SQLUSMALLINT c = 1; c <= count; ++c) {
            bytes.clear();
            bool isNull = false;
            for (;;) {
                SQLLEN ind = 0;
                const SQLRETURN g = SQLGetData(s, c, SQL_C_CHAR, buf, sizeof buf, &ind);
                if (g == SQL_NO_DATA)
                    break;
                check(g, SQL_HANDLE_STMT, s);
                if (ind == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                const bool truncated = ind == SQL_NO_TOTAL || ind >= static_cast<SQLLEN>(sizeof buf);
                bytes.append(buf, truncated ? sizeof buf - 1 : static_cast<std::size_t>(ind));
                if (!truncated)
                    break;
            }
            if (isNull)
                cells.emplace_back(std::nullopt);
            else
                cells.emplace_back(m_h->fromSession(bytes));
        }
    }
    return Rows(columns, std::move(cells));
}

IntRows Connection::queryInts(std::string_view sql)
{
    if (!m_h->connected)
        throw DbError("соединение закрыто", "08003", 0);
    Handle stmt = m_h->newStatement();
    SQLHANDLE s = stmt.get();
    constexpr SQLULEN kBlock = 4096;
    check(SQLSetStmtAttrW(s, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0),
          SQL_HANDLE_STMT, s);
    check(SQLSetStmtAttrW(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlock), 0), SQL_HANDLE_STMT, s);
    SQLULEN fetched = 0;
    check(SQLSetStmtAttrW(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, s);

    stmt = m_h->run(sql, std::move(stmt));
    const std::vector<ColumnInfo> info = describeColumns(s);
    const std::size_t cols = info.size();
    std::vector<std::vector<SQLBIGINT>> values(cols, std::vector<SQLBIGINT>(kBlock));
    std::vector<std::vector<SQLLEN>> indicators(cols, std::vector<SQLLEN>(kBlock));
    for (std::size_t c = 0; c < cols; ++c) {
        const SQLSMALLINT type = info[c].type;
        const bool whole = type == SQL_INTEGER || type == SQL_BIGINT || type == SQL_SMALLINT || type == SQL_TINYINT ||
                           ((type == SQL_DECIMAL || type == SQL_NUMERIC) && info[c].digits == 0);
        if (!whole)
            throw DbError("столбец " + info[c].name + " не целочисленный", "22018", 0);
        // Unsigned columns arrive as unsigned 64 bits in the same 8 bytes.
        check(SQLBindCol(s, static_cast<SQLUSMALLINT>(c + 1), info[c].isUnsigned ? SQL_C_UBIGINT : SQL_C_SBIGINT,
                         values[c].data(), sizeof(SQLBIGINT), indicators[c].data()),
              SQL_HANDLE_STMT, s);
    }
    std::vector<std::string> columns = namesOf(info);
    // A page grown by doubling leaves a trail of freed blocks behind it on every read; reserved, it
    // takes one block of its own size.
    std::vector<std::int64_t> out;
    std::vector<bool> nulls;
    out.reserve(resultRows(s) * cols);
    nulls.reserve(out.capacity());
    for (;;) {
        const SQLRETURN rc = SQLFetch(s);
        if (rc == SQL_NO_DATA)
            break;
        // A warning here means a value did not convert to a whole number as it stands.
        if (rc != SQL_SUCCESS)
            throw diagnose(SQL_HANDLE_STMT, s);
        for (SQLULEN r = 0; r < fetched; ++r) {
            for (std::size_t c = 0; c < cols; ++c) {
                const bool isNull = indicators[c][r] == SQL_NULL_DATA;
                out.push_back(isNull ? 0 : values[c][r]);
                nulls.push_back(isNull);
            }
        }
    }
    std::vector<bool> unsignedColumns;
    for (const ColumnInfo& c : info)
        unsignedColumns.push_back(c.isUnsigned);
    return IntRows(std::move(columns), std::move(out), std::move(nulls), std::move(unsignedColumns));
}

void Connection::useUtf8Session(bool on)
{
    // Statements arrive in the driver's utf8mb4 (already held to cp1251's characters in a cp1251
    // session); literals and values are in the session's own character set.
    const char* cs = on ? "utf8mb4" : "cp1251";
    execute(std::string("SET character_set_client=utf8mb4, character_set_connection=") + cs +
            ", character_set_results=" + cs);
    m_h->utf8Session = on;
}

void Connection::close() noexcept
{
    if (m_h && m_h->connected) {
        SQLDisconnect(m_h->dbc.get());
        m_h->connected = false;
    }
}

void Connection::setWaitHook(WaitHook hook)
{
    m_h->waitHook = std::move(hook);
}

std::uint64_t Connection::statementsSent() const
{
    return m_h ? m_h->statements : 0;
}

std::string Connection::driver() const
{
    const auto info = [this](SQLUSMALLINT what) {
        std::vector<SQLWCHAR> text(256);
        SQLSMALLINT bytes = 0;
        if (!m_h || !SQL_SUCCEEDED(SQLGetInfoW(m_h->dbc.get(), what, text.data(),
                                               static_cast<SQLSMALLINT>(text.size() * sizeof(SQLWCHAR)), &bytes)))
            return std::string("?");
        const std::size_t units = std::min(text.size() - 1, static_cast<std::size_t>(bytes) / sizeof(SQLWCHAR));
        return fromWide(text.data(), units);
    };
    return info(SQL_DRIVER_NAME) + " " + info(SQL_DRIVER_VER);
}

} // namespace db
