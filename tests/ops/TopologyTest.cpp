// The servers real sites run on, started by the test script: a three-node Galera cluster
// (TK_TEST_GALERA, three addresses) and a primary with a replica (TK_TEST_REPLICATION, two).
// One run at a time across the cluster, every transaction within its write-set limit with the same
// result as on one server, a restore that resumes, runs that wait for a replica, and binary logs a
// replica can replay.
#include "../cleanup/CleanupTestSupport.h"

#include "cleanup/ArchiveRestore.h"
#include "maintenance/SiteBlock.h"
#include "ops/SiteGuard.h"
#include "ratings/RatingRecalc.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace
{
std::vector<std::string> servers(const char* variable)
{
    std::vector<std::string> list;
    std::istringstream in(std::getenv(variable) ? std::getenv(variable) : "");
    for (std::string s; in >> s;)
        list.push_back(s);
    return list;
}

db::Connection admin(const std::string& server)
{
    return db::openSite(testServerFields("", server));
}

// The demo site and enough rows that every job writes more than a small write set holds.
// numbering: "increment,offset" of new rows' codes, as a cluster node numbers them (empty: the server's).
void fillSite(TestDatabase& t, const std::string& numbering = "")
{
    if (!numbering.empty())
        t.exec("SET SESSION auto_increment_increment=" + numbering.substr(0, numbering.find(',')) +
               ", auto_increment_offset=" + numbering.substr(numbering.find(',') + 1));
    t.execFile(std::string(TK_SQL_DIR) + "/demo-data.sql");
    t.exec("insert into tbl_link (CODE, BASECODE, WHOADD) select 1000 + seq, seq % 60, seq % 12 from seq_1_to_300");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) select 5000 + seq, 1000 + seq % 340, seq % 11 "
           "from seq_1_to_900");
    // A download numbered 0 of a missing link: only the archive's own session settings put it back as 0.
    t.exec("SET SESSION sql_mode=CONCAT(@@sql_mode, ',NO_AUTO_VALUE_ON_ZERO')");
    t.exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (0, 99999, 1)");
}

// Every table's checksum, to compare two servers' copies.
std::string checksums(db::Connection& c)
{
    std::string all;
    const db::Rows tables = c.query("show tables");
    for (std::size_t i = 0; i < tables.size(); ++i) {
        const db::Rows sum = c.query("checksum table " + *tables[i].cell(0));
        all += *tables[i].cell(0) + "=" + sum[0].cell(1).value_or("NULL") + " ";
    }
    return all;
}

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The most rows a write set may hold on every node (0: no limit).
void setWriteSetRows(const std::vector<std::string>& nodes, std::size_t rows)
{
    for (const std::string& n : nodes)
        admin(n).execute("SET GLOBAL wsrep_max_ws_rows=" + std::to_string(rows));
}

// A small write set on every node, for one test: every job then goes in many transactions.
struct WriteSetLimit {
    static constexpr std::size_t kRows = 40;
    explicit WriteSetLimit(const std::vector<std::string>& nodes) : nodes(nodes) { setWriteSetRows(nodes, kRows); }
    ~WriteSetLimit() { setWriteSetRows(nodes, 0); }
    WriteSetLimit(const WriteSetLimit&) = delete;
    WriteSetLimit& operator=(const WriteSetLimit&) = delete;
    std::vector<std::string> nodes;
};

// block, cleanup, recount and unblock, as maintain runs them; the statuses.
std::vector<RunStatus> maintain(OperationRunner& runner, const std::string& folder, const SettingsStore& store)
{
    return {Command2_Click(runner, store).status, Command5_Click(runner, folder).status, Command4_Click(runner).status,
            Command3_Click(runner).status};
}

struct Topology : testing::Test {
    void SetUp() override
    {
        TK_REQUIRE_TEST_SERVER();
        if (nodes.empty()) {
            if (testServerRequired())
                FAIL() << "no servers named in the environment";
            GTEST_SKIP() << "no servers named in the environment";
        }
        site.emplace(label, true, nodes[0]);
        fillSite(*site);
    }
    ConnectionFields on(std::size_t node) const { return testServerFields(site->name(), nodes[node]); }
    std::string label;
    std::vector<std::string> nodes;
    std::optional<TestDatabase> site;
    TempFolder folder{"topology"};
    SettingsStore store{folder.file("store.reg")};
};

struct Galera : Topology {
    Galera() { label = "galera", nodes = servers("TK_TEST_GALERA"); }
    void SetUp() override
    {
        // A test ended from outside (a time-out) leaves its limit on the nodes.
        if (!nodes.empty() && std::getenv("TK_TEST_SERVER"))
            setWriteSetRows(nodes, 0);
        Topology::SetUp();
    }
};

struct Replication : Topology {
    Replication() { label = "replication", nodes = servers("TK_TEST_REPLICATION"); }
    // Waits until the replica has applied everything the primary has logged.
    void caughtUp()
    {
        const std::string pos = *site->scalar("select @@gtid_binlog_pos");
        admin(nodes[1]).query("select MASTER_GTID_WAIT('" + pos + "', 30)");
    }
    std::string replicaChecksums()
    {
        caughtUp();
        auto c = db::openSite(on(1));
        return checksums(c);
    }
};
} // namespace

TEST_F(Galera, OneRunAtATimeAcrossTheClusterAndADeadRunsLeaseRunsOut)
{
    const auto before = dumpSite(*site);
    RecordingWindow w1(on(0)), w2(on(1));
    OperationRunner first(w1), second(w2);
    TempFolder other("topology2");
    std::optional<RunOutcome> refused;
    // The run through node 1 holds the site when the run through node 2 starts.
    w1.onProcessEvents = [&] {
        if (!refused)
            refused = Command5_Click(second, other.slash());
    };
    EXPECT_EQ(Command5_Click(first, folder.slash()).status, RunStatus::Done);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, RunStatus::Locked);
    EXPECT_NE(refused->report.text.find("через другой узел кластера"), std::string::npos) << refused->report.text;
    EXPECT_TRUE(other.archive().empty());
    EXPECT_EQ(site->count("tbl_conf", "CODE=" + std::to_string(kGuardCode)), 0);
    cleanup::RestoreResult restored;
    cleanup::restoreArchives(first, {folder.archive().string()}, false, restored);
    EXPECT_EQ(dumpSite(*site), before);

    // The row a killed run leaves: refused while its lease lasts; once it looks run out by this node's
    // clock, taken over only after a whole lease by the run's own clock in which nobody renewed it.
    // A run alive through a node whose clock lags renews a lease that looks run out here: refused.
    constexpr GuardTimes kShort{std::chrono::seconds(4), std::chrono::seconds(1)};
    second.setGuardTimes(kShort);
    struct Case {
        const char* lease;
        bool renewed;
        RunStatus want;
    };
    for (const Case c :
         {Case{"UNIX_TIMESTAMP()+60", false, RunStatus::Locked}, Case{"UNIX_TIMESTAMP()-1", false, RunStatus::Done},
          Case{"UNIX_TIMESTAMP()-100", true, RunStatus::Locked}}) {
        site->exec("delete from tbl_conf where CODE=" + std::to_string(kGuardCode));
        site->exec("insert into tbl_conf (CODE, PARAM, VALUEINT, VALUESTR) values (" + std::to_string(kGuardCode) +
                   ", 'tk_corvane_run', " + c.lease + ", 'tk_corvane host gone pid 1')");
        std::atomic<bool> stop{false};
        std::thread lagging;
        if (c.renewed)
            lagging = std::thread([&] {
                auto node = db::openSite(on(2));
                for (int beat = 0; !stop; ++beat) {
                    std::this_thread::sleep_for(kShort.beat);
                    node.execute("update tbl_conf set VALUEINT=UNIX_TIMESTAMP()-100+" + std::to_string(beat) +
                                 " where CODE=" + std::to_string(kGuardCode));
                }
            });
        const auto started = std::chrono::steady_clock::now();
        const RunOutcome o = Command3_Click(second);
        const auto took = std::chrono::steady_clock::now() - started;
        stop = true;
        if (lagging.joinable())
            lagging.join();
        EXPECT_EQ(o.status, c.want) << c.lease << ": " << o.report.text;
        if (c.want == RunStatus::Locked) {
            EXPECT_NE(o.report.text.find("не позже чем через 4 с"), std::string::npos) << o.report.text;
        } else {
            EXPECT_GE(took, kShort.lease) << "taken over without watching the lease";
        }
        if (c.renewed) {
            EXPECT_EQ(site->count("tbl_conf", "CODE=" + std::to_string(kGuardCode) + " and VALUESTR like '%gone%'"), 1);
        }
    }
    site->exec("delete from tbl_conf where CODE=" + std::to_string(kGuardCode));
    // Read once this node has applied what the other node's run wrote (its release included).
    site->exec("SET SESSION wsrep_sync_wait=1");
    EXPECT_EQ(site->count("tbl_conf", "CODE=" + std::to_string(kGuardCode)), 0);
    site->exec("SET SESSION wsrep_sync_wait=0");
}

TEST_F(Galera, ALeaseThatCannotBeRenewedStopsTheRun)
{
    // An account held to one session cannot renew the lease: refused before any change. Held to two,
    // the lease has its session and the recount does without its second one.
    auto root = admin(nodes[0]);
    const std::string account = "'tk_lease'@'127.0.0.1'";
    root.execute("DROP USER IF EXISTS " + account);
    root.execute("CREATE USER " + account + " IDENTIFIED BY 'lease-pass'");
    root.execute("GRANT ALL ON `" + site->name() + "`.* TO " + account);
    site->exec("update tbl_conf set VALUEINT=0 where PARAM='ISWORK'");
    for (const int sessions : {1, 2}) {
        root.execute("ALTER USER " + account + " WITH MAX_USER_CONNECTIONS " + std::to_string(sessions));
        ConnectionFields f = on(0);
        f.user = "tk_lease";
        f.password = "lease-pass";
        RecordingWindow w(f);
        OperationRunner runner(w);
        const RunOutcome o = sessions == 1 ? Command3_Click(runner) : Command4_Click(runner);
        if (sessions == 1) {
            EXPECT_EQ(o.status, RunStatus::Failed);
            EXPECT_NE(o.report.text.find("через отдельное соединение"), std::string::npos) << o.report.text;
            EXPECT_NE(o.report.text.find("Ничего не изменено"), std::string::npos) << o.report.text;
            EXPECT_EQ(site->scalar("select VALUEINT from tbl_conf where PARAM='ISWORK'"), "0");
        } else {
            EXPECT_EQ(o.status, RunStatus::Done) << o.report.text;
        }
    }
    root.execute("DROP USER " + account);

    // The lease taken from the run (removed by hand, or taken over once it ran out): at its next
    // batch after the renewal that finds it gone, the run stops with its archive whole.
    const auto before = dumpSite(*site);
    RecordingWindow w(on(0));
    OperationRunner runner(w);
    constexpr GuardTimes kShort{std::chrono::seconds(4), std::chrono::seconds(1)};
    runner.setGuardTimes(kShort);
    bool taken = false;
    w.onProcessEvents = [&] {
        if (!taken && site->count("tbl_conf", "CODE=" + std::to_string(kGuardCode)) == 1) {
            taken = true;
            site->exec("delete from tbl_conf where CODE=" + std::to_string(kGuardCode));
            std::this_thread::sleep_for(kShort.beat + std::chrono::seconds(2));
        }
    };
    const RunOutcome o = Command5_Click(runner, folder.slash(), 2);
    EXPECT_TRUE(taken);
    EXPECT_EQ(o.status, RunStatus::Failed);
    EXPECT_NE(o.report.text.find("потерял право менять базу одному"), std::string::npos) << o.report.text;
    w.onProcessEvents = {};
    cleanup::RestoreResult restored;
    EXPECT_EQ(cleanup::restoreArchives(runner, {folder.archive().string()}, false, restored).status, RunStatus::Done)
        << w.messages.back().text;
    EXPECT_EQ(dumpSite(*site), before);
}

TEST_F(Galera, WithinASmallWriteSetEveryJobEndsAsOnOneServerAndAStoppedRestoreResumes)
{
    // The same site on one server, its rows numbered as the cluster node numbered them.
    TestDatabase twin("galera_twin");
    fillSite(twin, *site->scalar("select concat(@@auto_increment_increment, ',', @@auto_increment_offset)"));
    const WriteSetLimit limit(nodes);

    RecordingWindow w(on(0)), tw(twin.fields());
    OperationRunner runner(w), single(tw);
    TempFolder twinFolder("topology_twin");
    const std::vector<RunStatus> done(4, RunStatus::Done);
    EXPECT_EQ(maintain(single, twinFolder.slash(), store), done);
    const std::vector<std::string> statsBefore = site->column("select CODE from tbl_stat");
    const auto blockedBefore = [&] { // the site as the cleanup found it: blocked and recounted
        EXPECT_EQ(Command2_Click(runner, store).status, RunStatus::Done);
        EXPECT_EQ(Command4_Click(runner).status, RunStatus::Done) << w.messages.back().text;
        return dumpSite(*site);
    }();
    // Then as maintain goes on: the cleanup, a recount of what it left, the unblock.
    EXPECT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done) << w.messages.back().text;
    EXPECT_EQ(Command4_Click(runner).status, RunStatus::Done) << w.messages.back().text;
    EXPECT_EQ(Command3_Click(runner).status, RunStatus::Done);
    const auto cluster = dumpSite(*site), alone = dumpSite(twin);
    for (const auto& [table, rows] : alone)
        EXPECT_EQ(cluster.at(table), rows) << table;

    // A row in the way of the archive's download 0 stops the restore part-way; once it is gone, the
    // same command completes what is left, in the archive's session, and nothing twice.
    ASSERT_NE(std::find(statsBefore.begin(), statsBefore.end(), "0"), statsBefore.end());
    ASSERT_EQ(site->count("tbl_stat", "CODE=0"), 0);
    const std::string last = "0";
    site->exec("update tbl_conf set VALUEINT=0 where PARAM='ISWORK'");
    site->exec("SET SESSION sql_mode=CONCAT(@@sql_mode, ',NO_AUTO_VALUE_ON_ZERO')");
    site->exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (" + last + ", 0, 0)");
    const auto links = site->count("tbl_link");
    cleanup::RestoreResult stopped, completed;
    const RunOutcome o = cleanup::restoreArchives(runner, {folder.archive().string()}, false, stopped);
    EXPECT_TRUE(stopped.failed);
    EXPECT_NE(o.report.text.find("Повторите ту же команду"), std::string::npos) << o.report.text;
    EXPECT_GT(site->count("tbl_link"), links); // committed before the stop
    // It goes on with the files it began with only: named with one more, newer archive, it is refused
    // before any change, and that archive is not marked as put back.
    const std::string newer = folder.file("newer.sql");
    {
        std::string text = readFileBytes(folder.archive().string());
        text.replace(text.find("-- run: ") + 8, 1, "9"); // the same length, a later run
        std::ofstream(newer, std::ios::binary) << text;
    }
    const auto halfway = dumpSite(*site);
    cleanup::RestoreResult other;
    const RunOutcome refused = cleanup::restoreArchives(runner, {folder.archive().string(), newer}, false, other);
    EXPECT_TRUE(other.refused) << refused.report.text;
    EXPECT_NE(refused.report.text.find("другим набором файлов:\n  " + folder.archive().string() + "\n"),
              std::string::npos)
        << refused.report.text;
    EXPECT_NE(refused.report.text.find("restore --abandon"), std::string::npos) << refused.report.text;
    EXPECT_EQ(dumpSite(*site), halfway);
    EXPECT_EQ(readFileBytes(newer).find("-- restored: "), std::string::npos);
    // Given up, it loses nothing: what it put back stays, the archive notes how far, and a later
    // restore of it (stopped again by the same row, then finished) puts back only the rest.
    const std::string mark = "CODE=" + std::to_string(cleanup::kRestoreCode);
    cleanup::RestoreResult wrongSet, abandoned, again;
    EXPECT_EQ(cleanup::abandonRestore(runner, {folder.archive().string(), newer}, wrongSet).status, RunStatus::Done);
    EXPECT_TRUE(wrongSet.refused);
    EXPECT_EQ(site->count("tbl_conf", mark), 1);
    const std::string markText = *site->scalar("select VALUESTR from tbl_conf where " + mark);
    EXPECT_EQ(cleanup::abandonRestore(runner, {folder.archive().string()}, abandoned).status, RunStatus::Done);
    EXPECT_FALSE(abandoned.refused || abandoned.failed) << w.messages.back().text;
    EXPECT_EQ(site->count("tbl_conf", mark), 0);
    // Where the mark stayed (its session lost as the files were written), giving it up again says the
    // same of the archive, though the archive now leaves out what is back.
    site->exec("insert into tbl_conf (CODE, PARAM, VALUESTR) values (" + std::to_string(cleanup::kRestoreCode) +
               ", 'tk_corvane_restore', '" + markText + "')");
    cleanup::RestoreResult abandonedAgain;
    EXPECT_EQ(cleanup::abandonRestore(runner, {folder.archive().string()}, abandonedAgain).status, RunStatus::Done);
    EXPECT_FALSE(abandonedAgain.refused || abandonedAgain.failed) << w.messages.back().text;
    EXPECT_EQ(site->count("tbl_conf", mark), 0);
    {
        const std::string text = readFileBytes(folder.archive().string());
        const std::size_t second = text.rfind("\n-- restored up to: "),
                          first = text.rfind("\n-- restored up to: ", second - 1);
        ASSERT_NE(first, std::string::npos) << text.substr(text.size() - 300);
        const auto lineRows = [&](std::size_t at) {
            const std::size_t from = at + 20;
            return text.substr(from, text.find(' ', text.find(' ', from) + 1) - from);
        };
        EXPECT_EQ(lineRows(first), lineRows(second));
        EXPECT_NE(lineRows(first).substr(lineRows(first).find(' ') + 1), "0") << "stopped at a statement's start";
    }
    auto given = dumpSite(*site), was = halfway;
    given.erase("tbl_conf"), was.erase("tbl_conf");
    EXPECT_EQ(given, was);
    const std::string archived = readFileBytes(folder.archive().string());
    EXPECT_NE(archived.find("\n-- restored up to: "), std::string::npos);
    EXPECT_EQ(archived.find("\n-- restored: "), std::string::npos);
    EXPECT_LT(cleanup::countArchive(folder.archive().string()).rows, statsBefore.size());
    cleanup::restoreArchives(runner, {folder.archive().string()}, false, again);
    EXPECT_TRUE(again.failed) << w.messages.back().text;
    EXPECT_EQ(site->count("tbl_conf", mark), 1);
    site->exec("delete from tbl_stat where CODE=" + last);
    EXPECT_EQ(cleanup::restoreArchives(runner, {folder.archive().string()}, false, completed).status, RunStatus::Done);
    EXPECT_FALSE(completed.failed) << w.messages.back().text;
    // The rows back, recounted: the site as the cleanup found it.
    EXPECT_EQ(Command4_Click(runner).status, RunStatus::Done) << w.messages.back().text;
    EXPECT_EQ(dumpSite(*site), blockedBefore);
}

TEST_F(Galera, ARestoreResumedInsideABatchOfUnknownOutcomeNeverPassesOverAnotherRow)
{
    site->exec("alter table tbl_stat add unique key uq_stat (LINKCODE, USERCODE)");
    const WriteSetLimit limit(nodes);
    RecordingWindow w(on(0));
    OperationRunner runner(w);
    ASSERT_EQ(Command2_Click(runner, store).status, RunStatus::Done);
    const auto before = dumpSite(*site);
    ASSERT_EQ(Command5_Click(runner, folder.slash()).status, RunStatus::Done) << w.messages.back().text;

    // A download batch that a restore transaction ends inside (each holds one row fewer than the
    // limit, the progress mark being the other), taken as one whose outcome was unknown.
    const std::size_t perTransaction = WriteSetLimit::kRows - 1;
    std::string text = readFileBytes(folder.archive().string());
    std::size_t applied = 0, at = std::string::npos;
    for (std::size_t line = 0; line < text.size() && at == std::string::npos;) {
        const std::size_t end = text.find('\n', line);
        const std::string sql = text.substr(line, end - line);
        const bool counted = sql.back() == ';' && !sql.starts_with("--") && !sql.starts_with("SET ") &&
                             sql != "START TRANSACTION;" && sql != "COMMIT;";
        const std::size_t n = sql.starts_with("INSERT INTO ") ? 1 + countOf(sql, "),(") : 1;
        if (counted && sql.starts_with("INSERT INTO `tbl_stat`") &&
            applied / perTransaction != (applied + n - 1) / perTransaction)
            at = line;
        else if (counted)
            applied += n;
        line = end + 1;
    }
    ASSERT_NE(at, std::string::npos) << "no download batch with a transaction's end inside";
    const std::size_t end = text.find(";\n", at);
    const std::string first = text.substr(text.find("VALUES (", at) + 8, 40);
    const std::string last = text.substr(text.rfind("),(", end) + 3, end - 1 - (text.rfind("),(", end) + 3));
    text.insert(end, " ON DUPLICATE KEY UPDATE `CODE`=`CODE`");
    text.insert(text.rfind("START TRANSACTION;\n", at),
                "-- outcome unknown: tbl_stat " + first.substr(0, first.find(',')) + "\n");
    std::ofstream(folder.archive(), std::ios::binary | std::ios::trunc) << text;
    // The batch's last row is in another row's way on the unique key.
    const std::string link = last.substr(last.find(',') + 1, last.rfind(',') - last.find(',') - 1);
    const std::string user = last.substr(last.rfind(',') + 1);
    site->exec("insert into tbl_stat (CODE, LINKCODE, USERCODE) values (99999, " + link + ", " + user + ")");
    const std::string lastCode = "CODE=" + last.substr(0, last.find(','));
    const std::string firstCode = "CODE=" + first.substr(0, first.find(','));

    // Stopped there: the batch's first rows are back. Resumed with the row still in the way, it
    // stops again, naming both rows, and the row it would have put back is not passed over.
    cleanup::RestoreResult stopped, again, completed;
    cleanup::restoreArchives(runner, {folder.archive().string()}, false, stopped);
    EXPECT_TRUE(stopped.failed) << w.messages.back().text;
    ASSERT_EQ(site->count("tbl_stat", firstCode), 1) << "the batch's first rows were not committed before its end";
    const RunOutcome o = cleanup::restoreArchives(runner, {folder.archive().string()}, false, again);
    EXPECT_TRUE(again.failed) << o.report.text;
    EXPECT_NE(o.report.text.find("уникальный ключ uq_stat"), std::string::npos) << o.report.text;
    EXPECT_EQ(site->count("tbl_stat", lastCode), 0);
    EXPECT_EQ(site->count("tbl_stat", "CODE=99999"), 1);
    // Out of the way, the same command puts back the rest: the site as the cleanup found it.
    site->exec("delete from tbl_stat where CODE=99999");
    EXPECT_EQ(cleanup::restoreArchives(runner, {folder.archive().string()}, false, completed).status, RunStatus::Done);
    EXPECT_FALSE(completed.failed) << w.messages.back().text;
    EXPECT_EQ(dumpSite(*site), before);
}

TEST_F(Replication, RunsWaitForAStoppedReplicaAndLogRowsItCanReplay)
{
    caughtUp();
    auto replica = admin(nodes[1]);
    const auto before = dumpSite(*site);
    struct Case {
        const char* label;
        int lagWait;
        RunStatus want;
    };
    // The replica stops applying once the first pass has deleted; the run waits (and says so), and
    // either the replica comes back or the wait runs out.
    for (const Case c :
         {Case{"replica comes back", 60, RunStatus::Done}, Case{"wait runs out", 1, RunStatus::Failed}}) {
        SCOPED_TRACE(c.label);
        TempFolder runFolder("replica_run");
        RecordingWindow w(on(0));
        OperationRunner runner(w);
        runner.setReplicas({{nodes[1]}, 1, c.lagWait});
        int waits = 0;
        w.onProcessEvents = [&] {
            if (w.captions.back() == titleOf(1)) {
                replica.execute("STOP SLAVE SQL_THREAD");
                std::this_thread::sleep_for(kReplicaPoll); // past the time a replica found caught up is trusted
            }
            if (w.captions.back().starts_with("Ждём реплику " + nodes[1] + ": репликация остановлена") &&
                ++waits == 3 && c.want == RunStatus::Done)
                replica.execute("START SLAVE SQL_THREAD");
        };
        const RunOutcome o = Command5_Click(runner, runFolder.slash());
        replica.execute("START SLAVE SQL_THREAD");
        EXPECT_EQ(o.status, c.want) << o.report.text;
        EXPECT_GE(waits, c.want == RunStatus::Done ? 3 : 1);
        EXPECT_EQ(replicaChecksums(), checksums(site->conn()));
        cleanup::RestoreResult r;
        cleanup::restoreArchives(runner, {runFolder.archive().string()}, false, r);
        EXPECT_EQ(dumpSite(*site), before);
    }

    // A replica that cannot be asked (here a server without the site's database) is named in the
    // message, not taken for the server the run changes.
    {
        TempFolder runFolder("replica_refused");
        RecordingWindow w(on(0));
        OperationRunner runner(w);
        const std::string elsewhere = testServerFields().server;
        runner.setReplicas({{elsewhere}, 1, 5});
        const RunOutcome o = Command5_Click(runner, runFolder.slash());
        EXPECT_EQ(o.status, RunStatus::Failed);
        EXPECT_NE(o.report.text.find("Реплика " + elsewhere + ": Ошибка 1049"), std::string::npos) << o.report.text;
        EXPECT_EQ(dumpSite(*site), before);
    }

    // A primary that logs statements: the tool's sessions log rows, the replica ends equal, and the
    // administrator hears of the replica nobody named.
    auto primary = admin(nodes[0]);
    primary.execute("SET GLOBAL binlog_format='STATEMENT'");
    const db::Rows at = primary.query("SHOW MASTER STATUS");
    RecordingWindow w(on(0));
    OperationRunner runner(w);
    const std::vector<RunStatus> statuses = maintain(runner, folder.slash(), store);
    primary.execute("SET GLOBAL binlog_format='ROW'");
    EXPECT_EQ(statuses, std::vector<RunStatus>(4, RunStatus::Done)) << w.messages.back().text;
    const db::Rows events = primary.query("SHOW BINLOG EVENTS IN '" + *at[0].cell(0) + "' FROM " + *at[0].cell(1));
    for (std::size_t i = 0; i < events.size(); ++i) {
        const std::string info = events[i].text("Info").value_or("");
        EXPECT_FALSE(events[i].text("Event_type") == "Query" && (info.find("update tbl_") != std::string::npos ||
                                                                 info.find("delete from tbl_") != std::string::npos))
            << info;
    }
    EXPECT_NE(w.messages.back().text.find("К серверу подключены реплики (1)"), std::string::npos)
        << w.messages.back().text;
    EXPECT_EQ(replicaChecksums(), checksums(site->conn()));
}
