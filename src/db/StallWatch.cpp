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

// What a probe found of one server: whether it answered, and what it says of the connections asked
// about (by CONNECTION_ID()): the seconds each has been idle, or -1 while it works; one it no longer
// has is missing.
struct Probe {
    bool answered = false;
    std::map<std::int64_t, std::int64_t> idle;
};

// A probe is answered when its connection opens, or when the server refuses it with an error of
// its own (too many connections, an account's limit); the driver's own errors (no answer in time,
// a lost connection) are no answer. An account sees its own connections in the process list.
Probe probe(const std::string& connectionString, const std::set<std::int64_t>& ids)
{
    const std::string bounded = connectionString + ";READ_TIMEOUT=" + std::to_string(kProbeTimeout.count()) +
                                ";WRITE_TIMEOUT=" + std::to_string(kProbeTimeout.count());
    // (the connect timeout is added by the open)
    Probe p;
    try {
        Connection c = Connection::open(bounded, {}, kProbeTimeout);
        p.answered = true;
        std::string list;
        for (const std::int64_t id : ids)
            list += (list.empty() ? "" : ",") + std::to_string(id);
        if (!list.empty()) {
            const IntRows rows = c.queryInts("select ID, if(COMMAND='Sleep', TIME, -1) from "
                                             "information_schema.PROCESSLIST where ID in (" +
                                             list + ")");
            for (std::size_t r = 0; r < rows.size(); ++r)
                if (const auto id = rows.at(r, 0))
                    p.idle[*id] = rows.at(r, 1).value_or(-1);
        }
        c.close();
    } catch (const DbError& e) {
        // Asked after the open, the answer counts; what it could not tell is left as working.
        if (!p.answered)
            p.answered = e.nativeCode > 0 && e.nativeCode < 2000;
        for (const std::int64_t id : ids)
            p.idle.try_emplace(id, -1);
    }
    return p;
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
            // A plain sleep: nothing wakes the watch early.
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
            std::set<WatchedConnection*> dropped; // live server, dead connection
            for (const std::string& server : due) {
                const auto sent = Clock::now();
                m_probed[server] = sent;
                std::set<std::int64_t> ids;
                for (const auto& [c, last] : m_watched)
                    if (c->connectionString == server && c->since.load() != 0 && c->serverId.load() > 0)
                        ids.insert(c->serverId.load());
                l.unlock();
                const Probe found = probe(server, ids);
                l.lock();
                if (!found.answered)
                    continue;
                for (auto& [c, last] : m_watched) {
                    if (c->connectionString != server)
                        continue;
                    if (last < sent)
                        last = sent;
                    const std::int64_t id = c->serverId.load();
                    if (id <= 0 || !ids.contains(id) || c->since.load() == 0 ||
                        sent - startOf(c) < kSilentAfter)
                        continue;
                    const auto seen = found.idle.find(id);
                    if (seen == found.idle.end() || seen->second >= kSilentAfter.count())
                        dropped.insert(c);
                }
            }
            now = Clock::now();
            for (auto& [c, answered] : m_watched) {
                if (c->since.load() == 0 || c->cut() ||
                    (!dropped.contains(c) && now - std::max(answered, startOf(c)) < kSilentAfter))
                    continue;
                // Marked first, so that the statement's caller, woken by the cut, finds it marked.
                c->m_dropped = dropped.contains(c);
                const auto quietSince = c->m_dropped ? startOf(c) : std::max(answered, startOf(c));
                c->m_silentSeconds = std::chrono::duration_cast<std::chrono::seconds>(now - quietSince).count();
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
    auto c = std::make_shared<WatchedConnection>(socket, connectionString);
    Watch::instance().add(c.get());
    return c;
}

std::string WatchedConnection::silence() const
{
    const std::string waited = std::to_string(m_silentSeconds.load()) + " с";
    return m_dropped ? "сервер отвечает, но на этой связи ответа не было " + waited +
                           " (сервер её больше не ведёт или ждёт на ней новой команды)"
                     : "сервер не отвечал " + waited;
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
