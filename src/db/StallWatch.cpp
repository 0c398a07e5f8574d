#include "db/StallWatch.h"

#include "db/Connection.h"
#include "db/ConnectionSockets.h"

#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace db
{
namespace
{
using Clock = std::chrono::steady_clock;

std::mutex& openLock()
{
    static std::mutex m;
    return m;
}

// A probe is answered when its connection opens, or when the server refuses it with an error of
// its own (too many connections, an account's limit); the driver's own errors (no answer in time,
// a lost connection) are no answer.
bool answers(const std::string& connectionString)
{
    const std::string bounded = connectionString + ";READ_TIMEOUT=" + std::to_string(kProbeTimeout.count()) +
                                ";WRITE_TIMEOUT=" + std::to_string(kProbeTimeout.count());
    // (the connect timeout is added by the open)
    try {
        Connection::open(bounded, {}, kProbeTimeout).close();
        return true;
    } catch (const DbError& e) {
        return e.nativeCode > 0 && e.nativeCode < 2000;
    }
}

class Watch
{
  public:
    // Never destroyed: its thread ends with the process. Joining it from the process's exit hangs
    // with the Windows toolchain's threads.
    static Watch& instance()
    {
        static Watch& w = *new Watch;
        return w;
    }

    ~Watch()
    {
        {
            std::lock_guard l(m_mutex);
            m_stopping = true;
        }
        if (m_thread.joinable())
            m_thread.join();
    }

    void add(WatchedConnection* c)
    {
        std::lock_guard l(m_mutex);
        m_watched.emplace(c, Clock::time_point{});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
    }

    void remove(WatchedConnection* c)
    {
        std::lock_guard l(m_mutex);
        m_watched.erase(c);
    }

  private:
    void loop()
    {
        std::unique_lock l(m_mutex);
        while (!m_stopping) {
            // A plain sleep: a timed wait on a condition variable could sleep for ever with the
            // Windows toolchain's threads.
            l.unlock();
            std::this_thread::sleep_for(std::chrono::seconds(1));
            l.lock();
            auto now = Clock::now();
            // A statement's server counts as answering from the statement's start.
            const auto startOf = [](const WatchedConnection* c) {
                return Clock::time_point(Clock::duration(c->since.load()));
            };
            std::set<std::string> due;
            for (auto& [c, answered] : m_watched) {
                const std::int64_t since = c->since.load();
                if (since == 0 || c->cut())
                    continue;
                if (answered < startOf(c))
                    answered = startOf(c);
                if (now - startOf(c) >= kProbeAfter && now - m_probed[c->connectionString] >= kProbeEvery)
                    due.insert(c->connectionString);
            }
            for (const std::string& server : due) {
                const auto sent = Clock::now();
                m_probed[server] = sent;
                l.unlock();
                const bool answered = answers(server);
                l.lock();
                if (answered)
                    for (auto& [c, last] : m_watched)
                        if (c->connectionString == server && last < sent)
                            last = sent;
            }
            now = Clock::now();
            for (auto& [c, answered] : m_watched) {
                if (c->since.load() == 0 || c->cut() || now - std::max(answered, startOf(c)) < kSilentAfter)
                    continue;
                // Marked first, so that the statement's caller, woken by the cut, finds it marked.
                c->m_silentSeconds =
                    std::chrono::duration_cast<std::chrono::seconds>(now - std::max(answered, startOf(c))).count();
                c->m_cut = true;
                // The blocked read returns, and the driver reports a lost connection; where the
                // socket is out of reach, the statement's caller leaves the call behind.
                if (c->canCutSocket())
                    sockets::cut(c->socket);
            }
        }
    }

    std::mutex m_mutex;
    std::map<WatchedConnection*, Clock::time_point> m_watched; // each with its server's last answer
    std::map<std::string, Clock::time_point> m_probed;
    bool m_stopping = false;
    std::thread m_thread;
};
} // namespace

struct SocketSpotter::State {
    std::unique_lock<std::mutex> lock{openLock()};
    std::set<int> before = sockets::streamSockets();
};

SocketSpotter::SocketSpotter() : m_state(std::make_unique<State>()) {}
SocketSpotter::~SocketSpotter() = default;

int SocketSpotter::opened() const
{
    if (!sockets::canCut())
        return kUnreachableSocket;
    int found = -1;
    for (int fd : sockets::streamSockets()) {
        if (m_state->before.contains(fd))
            continue;
        if (found >= 0)
            return -1; // two new sockets: which is the connection's is not clear
        found = fd;
    }
    return found;
}

WatchedConnection::WatchedConnection(int socket, std::string connectionString)
    : socket(socket), connectionString(std::move(connectionString))
{
}

std::shared_ptr<WatchedConnection> WatchedConnection::watch(int socket, const std::string& connectionString)
{
    if (socket < 0 && socket != kUnreachableSocket)
        return nullptr;
    auto c = std::make_shared<WatchedConnection>(socket, connectionString);
    Watch::instance().add(c.get());
    return c;
}

WatchedConnection::~WatchedConnection()
{
    Watch::instance().remove(this);
}

WatchedConnection::InFlight::InFlight(WatchedConnection* c) : connection(c)
{
    if (connection)
        connection->since = Clock::now().time_since_epoch().count();
}

WatchedConnection::InFlight::~InFlight()
{
    if (connection)
        connection->since = 0;
}

} // namespace db
