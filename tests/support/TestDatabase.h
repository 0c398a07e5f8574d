#pragma once
// A throw-away site database on the test server, made from the site schema and dropped afterwards.
// The server comes from TK_TEST_SERVER (default "127.0.0.1;port=3307"), TK_TEST_USER and
// TK_TEST_PASSWORD (defaults tk_test / tk-pass): the account scripts/mariadb-local.sh creates.
#include "db/Connection.h"
#include "ops/SiteWindow.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// server: another test server than TK_TEST_SERVER's (a cluster node, a primary).
ConnectionFields testServerFields(const std::string& database = "", const std::string& server = "");

// Why the test server cannot be used, or nothing when it can (asked once per process).
std::optional<std::string> testServerUnavailable();
bool testServerRequired(); // TK_TEST_SERVER_REQUIRED is set: the project's own test run

// First statement of a test (or SetUp) that needs the server: without one the test is skipped with
// the reason, or fails where the server is required.
#define TK_REQUIRE_TEST_SERVER()                                                                                       \
    if (const auto tkWhyNoServer = testServerUnavailable()) {                                                          \
        if (testServerRequired())                                                                                      \
            FAIL() << "test server required: " << *tkWhyNoServer;                                                      \
        GTEST_SKIP() << "no test server: " << *tkWhyNoServer;                                                          \
    }

class TestDatabase
{
  public:
    // label becomes part of the database name, to find leftovers of a crashed test.
    explicit TestDatabase(const std::string& label, bool withSchema = true, const std::string& server = "");
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const std::string& name() const { return m_name; }
    // Fields that reach this database with the test account.
    ConnectionFields fields() const { return testServerFields(m_name, m_server); }

    // A separate connection of the test's own (cp1251 session), to prepare and check data.
    db::Connection& conn() { return m_conn; }
    void exec(const std::string& sql) { m_conn.execute(sql); }
    // Runs every statement of a file (statements end with ';' at the end of a line).
    void execFile(const std::string& path);
    // First column of the first row; nullopt for NULL. Fails the test when there is no row.
    std::optional<std::string> scalar(const std::string& sql);
    std::int64_t count(const std::string& table, const std::string& where = "");
    // First column of every row, NULL as "NULL".
    std::vector<std::string> column(const std::string& sql);

    // The fields of an account of the test's own (from 127.0.0.1 and localhost) holding the grants,
    // each a statement's "ON ... " part with "{db}" for this database, as in
    // "select, update on {db}.*"; the option ends each grant ("with max_user_connections 1").
    ConnectionFields account(const std::string& user, const std::vector<std::string>& grants,
                             const std::string& option = "");

    // Drops every index but the primary keys: the site as some real sites are.
    void dropSecondaryIndexes();
    // Ids of the other sessions open on this database right now (the tool's connection, mostly).
    std::vector<std::int64_t> otherSessions();
    // True once no other session is open on this database. A closed connection can linger in the
    // server's list for a moment after the client hung up, so this waits up to two seconds.
    bool otherSessionsGone();

  private:
    std::string m_name;
    std::string m_server;
    db::Connection m_conn;
};

// Reads a whole file as bytes.
std::string readFileBytes(const std::string& path);

// A small site, open (ISWORK=1): link 101 points to a missing release, user 9 is missing.
void fillSmallSite(TestDatabase& db);

// Every row of every table of the site by CODE, each cell quoted so that NULL stands apart from any text.
std::map<std::string, std::vector<std::string>> dumpSite(TestDatabase& t);
