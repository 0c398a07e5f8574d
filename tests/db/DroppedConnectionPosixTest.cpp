// A connection the network drops while its server lives on: the server forgets it, the tool hears
// nothing on it, and new connections to the server go through as ever.
#include "../cleanup/CleanupTestSupport.h"

#include "cleanup/CleanupRun.h"
#include "common/BackgroundJob.h"
#include "db/StallWatch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <list>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace
{

// A relay to the server on loopback whose connections can be frozen: a frozen one passes nothing
// on either way and is never closed, as a connection a firewall or a failed-over address drops
// looks to both of its ends.
class FreezingRelay
{
  public:
    explicit FreezingRelay(int serverPort) : m_serverPort(serverPort)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listen, 16) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &length) != 0)
            throw std::runtime_error("relay: no listening socket");
        m_port = ntohs(a.sin_port);
        m_threads.emplace_back([this] { acceptLoop(); });
    }
    ~FreezingRelay()
    {
        ::shutdown(m_listen, SHUT_RDWR);
        ::close(m_listen);
        breakAll();
        for (std::thread& t : m_threads)
            t.join();
    }
    int port() const { return m_port; }
    // The connections made so far pass nothing on from now; later ones go through.
    void freezeAll()
    {
        const std::lock_guard lock(m_mutex);
        for (Link& l : m_links)
            l.frozen = true;
    }
    // Closes every connection's client side: whoever waits on one hears that it is gone.
    void breakAll()
    {
        const std::lock_guard lock(m_mutex);
        for (Link& l : m_links) {
            l.frozen = false;
            ::shutdown(l.client, SHUT_RDWR);
            ::shutdown(l.server, SHUT_RDWR);
        }
    }

  private:
    struct Link {
        int client, server;
        std::atomic<bool> frozen{false};
    };
    void acceptLoop()
    {
        for (;;) {
            const int client = ::accept(m_listen, nullptr, nullptr);
            if (client < 0)
                return;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<std::uint16_t>(m_serverPort));
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            const std::lock_guard lock(m_mutex);
            Link& l = m_links.emplace_back(client, server);
            m_threads.emplace_back([&l] { pump(l, l.client, l.server); });
            m_threads.emplace_back([&l] { pump(l, l.server, l.client); });
        }
    }
    static void pump(Link& l, int from, int to)
    {
        char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(from, buffer, sizeof buffer);
            if (n <= 0)
                break;
            if (!l.frozen && ::write(to, buffer, static_cast<std::size_t>(n)) != n)
                break;
        }
        if (!l.frozen)
            ::shutdown(to, SHUT_WR);
    }

    int m_serverPort;
    int m_listen = -1;
    int m_port = 0;
    std::mutex m_mutex;
    std::list<Link> m_links;
    std::list<std::thread> m_threads;
};

} // namespace

TEST(StallWatch, AConnectionTheServerNoLongerHasIsCutWithinTheBound)
{
    TK_REQUIRE_TEST_SERVER();
    TestDatabase db("dropped");
    fillSmallSite(db);
    db.exec("update tbl_conf set VALUEINT=0 where PARAM='ISWORK'");
    const std::string server = db.fields().server;
    const std::size_t portAt = server.find("port=");
    FreezingRelay relay(portAt == std::string::npos ? 3306 : std::stoi(server.substr(portAt + 5)));
    ConnectionFields f = db.fields();
    f.server = "127.0.0.1";
    f.port = relay.port();

    // The cleanup's delete waits for a row lock held here; meanwhile the network drops its
    // connection, and the server, told to end it, forgets it.
    db.exec("START TRANSACTION");
    db.exec("select * from tbl_link where CODE=101 for update");
    TempFolder folder("dropped");
    RecordingWindow w(f);
    OperationRunner runner(w);
    runner.setLockWait(600);
    RunOutcome outcome;
    const auto run = BackgroundJob::start([&] { outcome = Command5_Click(runner, folder.slash()); });
    std::vector<std::string> waiting;
    for (int i = 0; i < 100 && waiting.empty(); ++i) {
        std::this_thread::sleep_for(100ms);
        waiting = db.column("select ID from information_schema.PROCESSLIST where INFO like 'delete from tbl_link%'");
    }
    ASSERT_EQ(waiting.size(), 1u);
    relay.freezeAll();
    db.exec("KILL " + waiting.front());
    const auto dropped = std::chrono::steady_clock::now();
    const bool ended = run->waitFor(db::kStallBound + 15s);
    if (!ended) { // let the run go before this scope ends
        relay.breakAll();
        run->wait();
    }
    db.exec("ROLLBACK");
    ASSERT_TRUE(ended) << "the run still waited on a connection its server had dropped";
    EXPECT_LT(std::chrono::steady_clock::now() - dropped, db::kStallBound + 15s);
    EXPECT_EQ(outcome.status, RunStatus::Failed);
    EXPECT_NE(outcome.report.text.find("сервер отвечает, но на этой связи ответа не было"), std::string::npos)
        << outcome.report.text;
}
