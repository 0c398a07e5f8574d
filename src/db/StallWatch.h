#pragma once
// A server that stops answering must not hold the tool forever, yet a statement that is merely long
// (a grouping over a large table, a wait for a lock) must never be cut short. While a statement has
// been at the server longer than kProbeAfter, the watch opens a connection of its own to the same
// server every kProbeEvery: a server that answers it, even with an error, is alive. Once no probe
// has been answered for kSilentAfter, the statement's socket is shut down, and the statement fails
// as a lost connection whose outcome is unknown. A statement thus ends at the latest about
// kSilentAfter + kProbeTimeout after its server stopped answering.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace db
{

// Opening a connection gives up after this long without an answer.
inline constexpr std::chrono::seconds kConnectTimeout{15};
inline constexpr std::chrono::seconds kProbeAfter{5}, kProbeEvery{5}, kProbeTimeout{10}, kSilentAfter{30};

// The socket a connection was opened on, found by comparing the process's sockets before and after
// the open; -1 where that was not clear. Opens are made one at a time for it.
class SocketSpotter
{
  public:
    SocketSpotter();
    ~SocketSpotter();
    SocketSpotter(const SocketSpotter&) = delete;
    SocketSpotter& operator=(const SocketSpotter&) = delete;
    int opened() const;

  private:
    struct State;
    std::unique_ptr<State> m_state;
};

// One statement at the server, watched while it lasts.
class WatchedStatement
{
  public:
    // socket < 0: nothing is watched.
    WatchedStatement(int socket, const std::string& connectionString);
    ~WatchedStatement();
    WatchedStatement(const WatchedStatement&) = delete;
    WatchedStatement& operator=(const WatchedStatement&) = delete;
    // Whether the watch cut the statement off, and how long the server had been silent then.
    bool cut() const;
    std::chrono::seconds silentFor() const;

  private:
    std::uint64_t m_id = 0;
};

} // namespace db
