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
    struct Entry {
        int socket;
        std::string connectionString;
        Clock::time_point started, answered;
        bool cut = false;
        std::chrono::seconds silent{0};
    };

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

    std::uint64_t add(int socket, const std::string& connectionString)
    {
        std::lock_guard l(m_mutex);
        const auto now = Clock::now();
        const std::uint64_t id = m_next++;
        m_entries.emplace(id, Entry{socket, connectionString, now, now});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { loop(); });
        return id;
    }

    void remove(std::uint64_t id)
    {
        std::lock_guard l(m_mutex);
        m_entries.erase(id);
    }

    std::optional<Entry> entry(std::uint64_t id)
    {
        std::lock_guard l(m_mutex);
        const auto it = m_entries.find(id);
        return it == m_entries.end() ? std::nullopt : std::optional<Entry>(it->second);
    }

  private:
    void loop()
    {
        std::unique_lock l(m_mutex);
        while (!m_stopping) {
            m_wake.wait_for(l, std::chrono::seconds(1));
            std::set<std::string> due;
            auto now = Clock::now();
            for (const auto& [id, e] : m_entries)
                if (!e.cut && now - e.started >= kProbeAfter && now - m_probed[e.connectionString] >= kProbeEvery)
                    due.insert(e.connectionString);
            for (const std::string& server : due) {
                const auto sent = Clock::now();
                m_probed[server] = sent;
                l.unlock();
                const bool answered = answers(server);
                l.lock();
                if (answered)
                    for (auto& [id, e] : m_entries)
                        if (e.connectionString == server && e.answered < sent)
                            e.answered = sent;
            }
            now = Clock::now();
            for (auto& [id, e] : m_entries) {
                if (!e.cut && now - e.answered >= kSilentAfter) {
                    // The blocked read returns, and the driver reports a lost connection. What the
                    // driver writes on that socket later (its goodbye) must not end the process.
                    std::signal(SIGPIPE, SIG_IGN);
                    ::shutdown(e.socket, SHUT_RDWR);
                    e.cut = true;
                    e.silent = std::chrono::duration_cast<std::chrono::seconds>(now - e.answered);
                }
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::uint64_t, Entry> m_entries;
    std::map<std::string, Clock::time_point> m_probed;
    std::uint64_t m_next = 1;
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

WatchedStatement::WatchedStatement(int socket, const std::string& connectionString)
    : m_id(socket < 0 ? 0 : Watch::instance().add(socket, connectionString))
{
}

WatchedStatement::~WatchedStatement()
{
    if (m_id)
        Watch::instance().remove(m_id);
}

bool WatchedStatement::cut() const
{
    const auto e = m_id ? Watch::instance().entry(m_id) : std::nullopt;
    return e && e->cut;
}

std::chrono::seconds WatchedStatement::silentFor() const
{
    const auto e = m_id ? Watch::instance().entry(m_id) : std::nullopt;
    return e ? e->silent : std::chrono::seconds(0);
}

} // namespace db
