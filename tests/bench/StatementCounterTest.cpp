// The benchmark's statement count must be the tool's statements as the server saw them: the monitor's
// own readings left out, selects and the rest told apart, and every statement counted once.
#include "StatementCounter.h"
#include "support/TestDatabase.h"

#include "db/SiteConnection.h"

#include <gtest/gtest.h>

namespace
{
const char* kProbeUser = "tk_bench_probe";

db::Connection openAs(const std::string& user, const std::string& password)
{
    ConnectionFields f = testServerFields();
    f.user = user;
    f.password = password;
    return db::Connection::open(db::siteConnectionString(f));
}

// What one connection of the probe account costs on the server, with the statements given.
ServerStatementCounts probeRun(StatementCounter& counter, int selects, int sets, std::uint64_t& sentByTool)
{
    const auto before = counter.read();
    {
        auto probe = openAs(kProbeUser, "probe-pass");
        for (int i = 0; i < selects; ++i)
            probe.query("select " + std::to_string(i) + " as n");
        for (int i = 0; i < sets; ++i)
            probe.execute("set @n=" + std::to_string(i));
        sentByTool = probe.statementsSent();
    }
    return counter.read() - before;
}
} // namespace

TEST(StatementCounter, CountsTheAccountsStatementsAndNotTheMonitors)
{
    TK_REQUIRE_TEST_SERVER();
    // The test account may SET GLOBAL; the probe account only connects and runs what needs no table.
    const ConnectionFields admin = testServerFields();
    {
        auto c = openAs(admin.user, admin.password);
        c.execute(std::string("CREATE USER IF NOT EXISTS '") + kProbeUser + "'@'127.0.0.1' IDENTIFIED BY 'probe-pass'");
        c.execute(std::string("CREATE USER IF NOT EXISTS '") + kProbeUser + "'@'localhost' IDENTIFIED BY 'probe-pass'");
    }
    StatementCounter counter(openAs(admin.user, admin.password), kProbeUser);

    // Reading the counters many times adds nothing to the account's count.
    const auto idleStart = counter.read();
    for (int i = 0; i < 5; ++i)
        counter.read();
    EXPECT_EQ((counter.read() - idleStart).total(), 0);

    struct Case {
        const char* label;
        int selects, sets;
    };
    std::uint64_t sentEmpty = 0;
    const auto empty = probeRun(counter, 0, 0, sentEmpty);
    for (const Case k : {Case{"selects only", 7, 0}, Case{"sets only", 0, 4}, Case{"both", 3, 5}}) {
        std::uint64_t sent = 0;
        const auto d = probeRun(counter, k.selects, k.sets, sent);
        // The driver's own statements at connect time are the same for every connection.
        EXPECT_EQ(d.selects - empty.selects, k.selects) << k.label;
        EXPECT_EQ(d.others - empty.others, k.sets) << k.label;
        EXPECT_EQ(d.updates - empty.updates, 0) << k.label;
        EXPECT_EQ(static_cast<std::uint64_t>(d.total() - empty.total()), sent - sentEmpty) << k.label;
    }
}
