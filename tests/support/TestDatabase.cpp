#include "TestDatabase.h"

#include "db/SiteConnection.h"

#include <gtest/gtest.h>

#include "common/SystemFiles.h"
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace
{
std::string env(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

db::Connection openServer(const std::string& database, const std::string& server = "")
{
    auto c = db::Connection::open(db::siteConnectionString(testServerFields(database, server)));
    c.useUtf8Session(false);
    return c;
}

std::string uniqueName(const std::string& label)
{
    static std::atomic<int> counter{0};
    std::string clean;
    for (char ch : label)
        clean += (std::isalnum(static_cast<unsigned char>(ch)) ? static_cast<char>(std::tolower(ch)) : '_');
    return "tkt_" + clean.substr(0, 30) + "_" + std::to_string(sysfiles::processId()) + "_" + std::to_string(counter++);
}

db::Connection createAndOpen(const std::string& name, const std::string& server)
{
    {
        auto admin = openServer("", server);
        admin.execute("DROP DATABASE IF EXISTS " + name);
        admin.execute("CREATE DATABASE " + name + " DEFAULT CHARACTER SET cp1251");
    }
    return openServer(name, server);
}
} // namespace

ConnectionFields testServerFields(const std::string& database, const std::string& server)
{
    return ConnectionFields{server.empty() ? env("TK_TEST_SERVER", "127.0.0.1;port=3307") : server,
                            env("TK_TEST_USER", "tk_test"), env("TK_TEST_PASSWORD", "tk-pass"), database};
}

std::optional<std::string> testServerUnavailable()
{
    static const std::optional<std::string> why = []() -> std::optional<std::string> {
        try {
            openServer("");
            return std::nullopt;
        } catch (const db::DbError& e) {
            return testServerFields().server + ": " + e.what();
        }
    }();
    return why;
}

bool testServerRequired()
{
    const char* v = std::getenv("TK_TEST_SERVER_REQUIRED");
    return v && *v && std::string(v) != "0";
}

TestDatabase::TestDatabase(const std::string& label, bool withSchema, const std::string& server)
    : m_name(uniqueName(label)), m_server(server), m_conn(createAndOpen(m_name, server))
{
    if (withSchema)
        execFile(std::string(TK_SQL_DIR) + "/schema.sql");
}

ConnectionFields TestDatabase::account(const std::string& user, const std::vector<std::string>& grants,
                                       const std::string& option)
{
    ConnectionFields f = fields();
    f.user = user;
    f.password = user + "-pass";
    for (const char* host : {"127.0.0.1", "localhost"}) {
        const std::string account = "'" + user + "'@'" + host + "'";
        exec("create or replace user " + account + " identified by '" + f.password + "'");
        for (std::string grant : grants) {
            for (std::size_t at; (at = grant.find("{db}")) != std::string::npos;)
                grant.replace(at, 4, "`" + m_name + "`");
            exec("grant " + grant + " to " + account + (option.empty() ? "" : " " + option));
        }
    }
    return f;
}

TestDatabase::~TestDatabase()
{
    try {
        m_conn.execute("DROP DATABASE IF EXISTS " + m_name);
    } catch (...) {
    }
}

std::string readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void TestDatabase::execFile(const std::string& path)
{
    std::istringstream in(readFileBytes(path));
    std::string line, stmt;
    while (std::getline(in, line)) {
        if (stmt.empty() && (line.rfind("--", 0) == 0 || line.empty()))
            continue;
        stmt += line + "\n";
        if (!line.empty() && line.back() == ';') {
            m_conn.execute(stmt);
            stmt.clear();
        }
    }
}

std::optional<std::string> TestDatabase::scalar(const std::string& sql)
{
    const auto rows = m_conn.query(sql);
    if (rows.empty()) {
        ADD_FAILURE() << "no row from: " << sql;
        return std::nullopt;
    }
    return rows.front().cell(0);
}

std::int64_t TestDatabase::count(const std::string& table, const std::string& where)
{
    const auto v = scalar("select COUNT(*) from " + table + (where.empty() ? "" : " where " + where));
    return v ? db::parseInt(*v) : -1;
}

std::vector<std::string> TestDatabase::column(const std::string& sql)
{
    std::vector<std::string> out;
    const auto rows = m_conn.query(sql);
    for (std::size_t i = 0; i < rows.size(); ++i)
        out.push_back(rows[i].cell(0).value_or("NULL"));
    return out;
}

void TestDatabase::dropSecondaryIndexes()
{
    for (const std::string& drop :
         column("select distinct concat('alter table ', TABLE_NAME, ' drop index ', INDEX_NAME) from "
                "information_schema.STATISTICS where TABLE_SCHEMA=DATABASE() and INDEX_NAME<>'PRIMARY'"))
        exec(drop);
}

std::vector<std::int64_t> TestDatabase::otherSessions()
{
    std::vector<std::int64_t> ids;
    for (const auto& v : column("select ID from information_schema.PROCESSLIST where DB='" + m_name +
                                "' and ID<>CONNECTION_ID() order by ID"))
        ids.push_back(db::parseInt(v));
    return ids;
}

bool TestDatabase::otherSessionsGone()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!otherSessions().empty()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void fillSmallSite(TestDatabase& db)
{
    db.exec("insert into tbl_conf (PARAM, VALUEINT, VALUESTR) values ('ISWORK', 1, NULL), "
            "('OFFLINEMES', NULL, 'Закрыто на ночь'), ('RAT_DOWN', 1, '1'), ('RAT_VOTES', 1, '1'), "
            "('RAT_LINKS', 1, '1'), ('RAT_PERSONA', 1, '1'), ('RAT_ALTLINKS', 1, '1')");
    db.exec("insert into tbl_user (CODE, LOGIN) values (1, 'admin'), (2, 'Иван')");
    db.exec("insert into tbl_base (CODE, WHOADD) values (10, 2), (11, 9)");
    db.exec("insert into tbl_link (CODE, BASECODE, WHOADD) values (100, 10, 2), (101, 99, 2)");
    db.exec("insert into tbl_stat (LINKCODE, USERCODE) values (100, 1), (100, 2), (101, 1)");
}

std::map<std::string, std::vector<std::string>> dumpSite(TestDatabase& t)
{
    std::map<std::string, std::vector<std::string>> site;
    for (const std::string& table : t.column("show tables")) {
        const db::Rows rows = t.conn().query("select * from " + table + " order by CODE");
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::string& line = site[table].emplace_back();
            for (std::size_t c = 0; c < rows.columns().size(); ++c)
                line += (rows[r].cell(c) ? "'" + *rows[r].cell(c) + "'" : std::string("NULL")) + "|";
        }
    }
    return site;
}
