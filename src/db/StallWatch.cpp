#include "db/StallWatch.h"

#include "db/Connection.h"

#include <sys/socket.h>
#include <sys/stat.h>

#include <charconv>
#include <condition_variable>
#include <csignal>
#include <filesystem>
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

std::set<int> socketsNow()
{
    std::set<int> sockets;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        const std::string name = entry.path().filename().string();
        int fd = -1;
        struct stat st {
        };
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec == std::errc() && ::fstat(fd, &st) == 0 &&
            S_ISSOCK(st.st_mode))
            sockets.insert(fd);
    }
    return sockets;
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
    static Watch& instance()
    {
        static Watch w;
        return w;
    }

    ~Watch()
    {
        {
            std::lock_guard l(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
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
            m_wake.wait_for(l, std::chrono::seconds(1));
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
                // The blocked read returns, and the driver reports a lost connection. What the
                // driver writes on that socket later (its goodbye) must not end the process.
                std::signal(SIGPIPE, SIG_IGN);
                ::shutdown(c->socket, SHUT_RDWR);
                c->m_silentSeconds =
                    std::chrono::duration_cast<std::chrono::seconds>(now - std::max(answered, startOf(c))).count();
                c->m_cut = true;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<WatchedConnection*, Clock::time_point> m_watched; // each with its server's last answer
    std::map<std::string, Clock::time_point> m_probed;
    bool m_stopping = false;
    std::thread m_thread;
};
} // namespace

struct SocketSpotter::State {
    std::unique_lock<std::mutex> lock{openLock()};
    std::set<int> before = socketsNow();
};

SocketSpotter::SocketSpotter() : m_state(std::make_unique<State>()) {}
SocketSpotter::~SocketSpotter() = default;

int SocketSpotter::opened() const
{
    int found = -1;
    for (int fd : socketsNow()) {
        if (m_state->before.contains(fd))
            continue;
        int type = 0;
        socklen_t len = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_STREAM)
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
    if (socket < 0)
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
