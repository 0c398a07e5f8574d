// Servers reached as remote ones are: over TLS (one that insists on it with a certificate for
// 127.0.0.1, one that offers it with a certificate for another name, both from a throw-away
// authority), by port, and one that stops answering: a server of its own, so that the tests beside
// it never meet it stopped.
#include "RunTool.h"
#include "db/StallWatch.h"
#include "support/TempDir.h"
#include "support/TestDatabase.h"

#include <QString>
#include <QSysInfo>

#include <gtest/gtest.h>

#include "common/BackgroundJob.h"
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

// Stops or resumes the test server's process. The servers run on the host even where the tests run
// on Windows under wine, which reaches the host's programs through "start /unix".
void signalServer(long pid, const char* signal)
{
    const std::vector<std::string> kill{"/bin/kill", std::string("-") + signal, std::to_string(pid)};
    const Result r = QSysInfo::productType() == QLatin1String("windows")
                         ? runProgram("start.exe", {"/wait", "/unix", kill[0], kill[1], kill[2]})
                         : runProgram(kill[0], {kill[1], kill[2]});
    ASSERT_EQ(r.status, 0) << "kill -" << signal << " " << pid << ": " << r.err;
}

class RemoteServer : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        TK_REQUIRE_TEST_SERVER();
        const char* tls = std::getenv("TK_TEST_TLS");
        if (!tls) {
            if (testServerRequired())
                FAIL() << "TK_TEST_TLS is not set";
            GTEST_SKIP() << "no TLS test servers (TK_TEST_TLS=\"DIR REQUIRING_PORT OFFERING_PORT SILENT_PORT\")";
        }
        std::istringstream(tls) >> m_dir >> m_requiring >> m_offering >> m_silent;
        m_config = m_folder.path;
        fs::create_directories(m_config / "bin");
        m_exe = m_config / "bin" / fs::path(TK_EXE).filename();
        fs::copy_file(TK_EXE, m_exe, fs::copy_options::overwrite_existing);
    }

    std::string at(int port) const { return "127.0.0.1:" + std::to_string(port); }
    std::string file(const std::string& name) const { return m_dir + "/" + name; }
    Result tool(const std::string& database, std::vector<std::string> args, std::vector<std::string> env = {}) const
    {
        args.insert(args.end(), {"--user=tk_test", "--database=" + database});
        env.insert(env.end(), {"XDG_CONFIG_HOME=" + m_config.string(), "TK_CORVANE_PASSWORD=tk-pass"});
        return run(args, env, m_exe.string());
    }
    std::vector<std::string> archives() const
    {
        std::vector<std::string> found;
        for (const auto& e : fs::directory_iterator(m_exe.parent_path()))
            if (e.path().filename().string().starts_with("cleanup-undo-"))
                found.push_back(e.path().string());
        return found;
    }
    long silentPid() const
    {
        long pid = 0;
        std::ifstream(file("silent/mysqld.pid")) >> pid;
        return pid;
    }

    TempDir m_folder{"remote"};
    std::string m_dir;
    int m_requiring = 0, m_offering = 0, m_silent = 0;
    fs::path m_config, m_exe;
};

TEST_F(RemoteServer, TlsAsAskedAndNeverWithAServerItCannotTrust)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> env;
        int status;
        std::vector<std::string> said;
    };
    const std::string plain = testServerFields().server;
    const bool ipv6 = fs::exists("/proc/net/if_inet6") && [] {
        std::ifstream in("/proc/net/if_inet6");
        return std::string(std::istreambuf_iterator<char>(in), {}).find("00000000000000000000000000000001") !=
               std::string::npos;
    }();
    std::vector<Case> cases{
        {"verified against the authority",
         {"--server", at(m_requiring), "--ssl-ca", file("ca.pem")},
         {},
         0,
         {"зашифровано: TLSv1", "TLS_", "сертификат сервера проверен"}},
        {"verified against the system's store",
         {"--server", at(m_requiring), "--ssl"},
         {"SSL_CERT_FILE=" + file("ca.pem")},
         0,
         {"сертификат сервера проверен"}},
        {"--port, and a client certificate",
         {"--server", "127.0.0.1", "--port", std::to_string(m_requiring), "--ssl-ca", file("ca.pem"), "--ssl-cert",
          file("client.pem"), "--ssl-key", file("client-key.pem")},
         {},
         0,
         {"сертификат сервера проверен"}},
        {"offered: taken, unverified", {"--server", at(m_offering)}, {}, 0, {"TLS_", "не проверялась"}},
        {"none offered: plain text", {"--server", plain}, {}, 0, {"Соединение не зашифровано."}},
        {"another authority", {"--server", at(m_requiring), "--ssl-ca", file("other-ca.pem")}, {}, 1, {"TLS"}},
        {"a certificate for another name", {"--server", at(m_offering), "--ssl-ca", file("ca.pem")}, {}, 1, {"TLS"}},
        {"plain text refused: the option is named",
         {"--server", at(m_requiring), "--skip-ssl"},
         {},
         1,
         {"Access denied", "только защищённым (TLS): запустите с параметром --ssl"}},
        {"TLS asked of a server without it",
         {"--server", plain, "--ssl", "--skip-ssl-verify-server-cert"},
         {},
         1,
         {"не предлагает защищённого соединения"}},
        {"a port twice", {"--server", at(m_requiring), "--port", "1"}, {}, 64, {"names a port already"}},
    };
    if (ipv6)
        cases.push_back({"[::1]:port", {"--server", "[::1]:" + std::to_string(m_offering)}, {}, 0, {"TLS_"}});
    else
        std::cout << "no IPv6 loopback here: [::1]:port not tried\n";
    // Another ODBC driver registered under the name the tool asks for passes over the MariaDB
    // driver's TLS keywords: verification is refused, naming that driver, and nothing claims it.
    const fs::path foreign = "/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so";
    if (fs::exists(foreign)) {
        std::ofstream(m_config / "odbcinst.ini") << "[MySQL ODBC 3.51 Driver]\nDriver=" << foreign.string() << "\n";
        cases.push_back({"another driver under the name",
                         {"--server", at(m_requiring), "--ssl-ca", file("ca.pem")},
                         {"ODBCSYSINI=" + m_config.string()},
                         1,
                         {"Драйвер ODBC «sqlite3odbc", "проверенное защищённое соединение не установлено"}});
    } else if (testServerRequired()) {
        ADD_FAILURE() << foreign << " is not there (libsqliteodbc): another driver under the name not tried";
    } else {
        std::cout << "no SQLite ODBC driver here: another driver under the name not tried\n";
    }
    for (const Case& c : cases) {
        std::vector<std::string> args{"test"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        // The other driver opens a file by the database's name: one of the test's own.
        const bool other = !c.env.empty() && c.env.front().starts_with("ODBCSYSINI=");
        const Result r = tool(other ? (m_config / "foreign.db").string() : "mysql", args, c.env);
        if (other) {
            EXPECT_EQ((r.out + r.err).find("сертификат сервера проверен"), std::string::npos) << r.out << r.err;
        }
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
        for (const std::string& text : c.said)
            EXPECT_NE((r.out + r.err).find(text), std::string::npos) << c.what << ": " << text << "\n"
                                                                     << r.out << r.err;
    }
}

TEST_F(RemoteServer, BlockCleanupAndRestoreOverVerifiedTls)
{
    TestDatabase db("tls_site", true, "127.0.0.1;port=" + std::to_string(m_requiring));
    fillSmallSite(db);
    const auto before = dumpSite(db);
    const std::vector<std::string> tls{"--server", at(m_requiring), "--ssl-ca", file("ca.pem"), "--quiet"};
    const auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), tls.begin(), tls.end());
        return tool(db.name(), args);
    };
    Result r = with({"block"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto blocked = dumpSite(db);
    r = with({"cleanup"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(db.count("tbl_link", "CODE=101"), 0);
    ASSERT_EQ(archives().size(), 1u);
    r = with({"restore", archives().front()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dumpSite(db), blocked);
    r = with({"unblock"});
    EXPECT_EQ(dumpSite(db), before);
}

// The server stops (SIGSTOP) while a connection opens, and while the cleanup's delete waits for a
// row lock: once after the wait has outlasted the silence bound (it is not cut while the server
// answers), once at once. When the server goes on, the waiting delete runs (the lock is given up)
// or is killed; either way it ran in a transaction that only the run could commit, so the server
// rolls it back with the cut connection, the archive holds nothing of it, and restoring the archive
// leaves the site as it was.
TEST_F(RemoteServer, ASilentServerEndsTheRunAndTheArchiveRestoresEitherOutcome)
{
    ASSERT_GT(m_silent, 0) << "TK_TEST_TLS names no server to stop";
    const long pid = silentPid();
    ASSERT_GT(pid, 0);
    struct Resume {
        ~Resume() { signalServer(pid, "CONT"); }
        long pid;
    } resume{pid};

    signalServer(pid, "STOP");
    auto started = std::chrono::steady_clock::now();
    Result r = tool("mysql", {"test", "--server", at(m_silent)});
    const auto connectWait = std::chrono::steady_clock::now() - started;
    signalServer(pid, "CONT");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("не ответил за 15 с"), std::string::npos) << r.err;
    EXPECT_LT(connectWait, db::kConnectTimeout + 5s);

    for (const bool serverRunsIt : {true, false}) {
        SCOPED_TRACE(serverRunsIt ? "the delete runs after all" : "the delete is killed");
        for (const std::string& a : archives())
            fs::remove(a);
        TestDatabase db("stall", true, "127.0.0.1;port=" + std::to_string(m_silent));
        fillSmallSite(db);
        db.exec("update tbl_conf set VALUEINT=0 where PARAM='ISWORK'");
        const auto before = dumpSite(db);
        db.exec("START TRANSACTION");
        db.exec("select * from tbl_link where CODE=101 for update");
        Result ran;
        const auto cleanup = BackgroundJob::start([&] {
            ran = tool(db.name(), {"cleanup", "--quiet", "--lock-wait", "300", "--server", at(m_silent)});
        });
        struct Ended { // the run uses what this scope holds: it ends before the scope does
            ~Ended() { job->wait(); }
            std::shared_ptr<BackgroundJob> job;
        } ended{cleanup};
        std::this_thread::sleep_for(serverRunsIt ? db::kSilentAfter + 8s : 3s);
        ASSERT_FALSE(cleanup->waitFor(0ms)) << "a long lock wait was cut short";
        signalServer(pid, "STOP");
        started = std::chrono::steady_clock::now();
        cleanup->get();
        r = ran;
        const auto runWait = std::chrono::steady_clock::now() - started;
        signalServer(pid, "CONT");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("сервер не отвечал"), std::string::npos) << r.err;
        EXPECT_LT(runWait, db::kStallBound + 10s) << std::chrono::duration_cast<std::chrono::seconds>(runWait).count();

        const auto waiting = db.column("select ID from information_schema.PROCESSLIST where INFO like 'delete from "
                                       "tbl_link%'");
        ASSERT_EQ(waiting.size(), 1u) << "the delete still waits at the server";
        if (!serverRunsIt)
            db.exec("KILL " + waiting.front());
        db.exec("COMMIT");
        for (int i = 0; i < 50 && !db.column("select ID from information_schema.PROCESSLIST where INFO like "
                                             "'delete from tbl_link%'")
                                       .empty();
             ++i)
            std::this_thread::sleep_for(100ms);
        EXPECT_EQ(db.count("tbl_link", "CODE=101"), 1);
        EXPECT_EQ(dumpSite(db), before);

        ASSERT_EQ(archives().size(), 1u);
        const std::string archive = readFileBytes(archives().front());
        EXPECT_EQ(archive.find("tbl_link"), std::string::npos) << archive;
        r = tool(db.name(), {"restore", archives().front(), "--server", at(m_silent)});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(dumpSite(db), before);
    }
}

} // namespace
