#pragma once
// A server that stops answering must not hold the tool forever, yet a statement that is merely long
// (a grouping over a large table, a wait for a lock) must never be cut short. While a statement has
// been at the server longer than kProbeAfter, the watch opens a connection of its own to the same
// server every kProbeEvery: a server that answers it, even with an error, is alive. Once no probe
// has been answered for kSilentAfter, the statement's socket is shut down, and the statement fails
// as a lost connection whose outcome is unknown. A statement thus ends at the latest about
// kStallBound after its server stopped answering. The probe also asks the server about the
// statement's own connection (by its CONNECTION_ID()): one the server no longer has, or one it shows
// idle for kSilentAfter while the statement waits for its answer (a connection dropped on the way
// while the server lives on), is cut within the same bound.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace db
{

// Opening a connection gives up after this long without an answer.
inline constexpr std::chrono::seconds kConnectTimeout{15};
inline constexpr std::chrono::seconds kProbeAfter{5}, kProbeEvery{5}, kProbeTimeout{10}, kSilentAfter{30};
// The last answer came at most kProbeEvery before the silence began; the probe that finds it out
// takes up to kProbeTimeout.
inline constexpr std::chrono::seconds kStallBound = kSilentAfter + kProbeTimeout + kProbeEvery;

// The socket a connection was opened on, found by comparing the process's sockets before and after
// the open; -1 where that was not clear, kUnreachableSocket where sockets cannot be reached at all.
// Either way the connection is watched, and a call to a silent server is left behind instead of cut.
// Opens are made one at a time for it.
inline constexpr int kUnreachableSocket = -2;
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

// One connection under the watch, from its open to its close. A statement marks its start and end
// with two atomic stores, so that watching costs the statements nothing worth measuring.
class WatchedConnection
{
  public:
    // Registers the connection; a socket below 0 cannot be cut.
    static std::shared_ptr<WatchedConnection> watch(int socket, const std::string& connectionString);
    ~WatchedConnection();

    // A statement at the server from now until the returned guard goes.
    struct InFlight {
        explicit InFlight(WatchedConnection* c);
        ~InFlight();
        InFlight(const InFlight&) = delete;
        InFlight& operator=(const InFlight&) = delete;
        WatchedConnection* connection;
    };

    // Whether the watch cut the connection off, and how long its server had been silent then.
    bool cut() const { return m_cut.load(); }
    std::chrono::seconds silentFor() const { return std::chrono::seconds(m_silentSeconds.load()); }
    // Why it was cut, for the message: "сервер не отвечал 31 с", or that the server lives on but
    // has lost (or stopped serving) this connection.
    std::string silence() const;
    // Whether the watch cuts the socket; otherwise the caller leaves a call to a silent server behind.
    bool canCutSocket() const { return socket >= 0; }

    // The watch's side.
    const int socket;
    const std::string connectionString;
    std::atomic<std::int64_t> since{0}; // steady-clock ticks the statement at the server started; 0: none
    std::atomic<bool> m_cut{false};
    std::atomic<std::int64_t> m_silentSeconds{0};
    std::atomic<std::int64_t> serverId{0}; // the connection's CONNECTION_ID(); 0: not known
    std::atomic<bool> m_dropped{false};     // the server answers, but not on this connection

    WatchedConnection(int socket, std::string connectionString);
};

} // namespace db
