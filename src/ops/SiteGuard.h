#pragma once
// One run at a time changes a site database. On one server (or a primary with replicas) the guard is
// the server's named lock for the database, which the server frees with the session. On a node of a
// Galera cluster, where a named lock holds on its own node only, the run also inserts one row into
// tbl_conf (CODE kGuardCode, PARAM 'tk_corvane_run'): the cluster certifies only one of two inserts
// of the same key, so two runs through two nodes cannot both have it. The row carries a lease that a
// session of its own renews while the run lasts; the run deletes it at its end, and a run that died
// leaves it to expire. The lease is written with the clock of the node that renews it, and nodes'
// clocks may stand apart: a later run that finds it run out by its own node's clock takes it over
// only once the row has stayed unchanged for a whole lease by the later run's own clock. A renewal
// that fails, or finds the row no longer the run's, loses the guard: the run stops at its next
// batch. Where a node refuses named locks (some releases do with wsrep on), the row alone is the
// guard.
#include "common/Completion.h"
#include "db/SiteConnection.h"
#include "ops/RunTiming.h"
#include "ops/ServerFacts.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

// The guard row's key in tbl_conf: negative, so the site's own rows (numbered upwards) never meet it.
inline constexpr std::int64_t kGuardCode = -730173;
inline constexpr const char* kGuardParam = "tk_corvane_run";

// The run no longer holds the guard: another run may change the site now.
struct GuardLost : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class SiteGuard
{
  public:
    SiteGuard() = default;
    ~SiteGuard();
    SiteGuard(const SiteGuard&) = delete;
    SiteGuard& operator=(const SiteGuard&) = delete;

    // While a run waits to see whether a lease that looks run out is still renewed: how long it may
    // still wait. Called often enough to keep a window answering.
    using Waiting = std::function<void(std::chrono::seconds left)>;

    // Takes the guard for a run on c (opened with fields); returns nothing when it has it, else what
    // to tell the user about the run that holds it. Throws NothingChanged where the account may not
    // write the guard row.
    std::optional<std::string> take(db::Connection& c, const ServerFacts& facts, const db::ConnectionFields& fields,
                                    GuardTimes times = {}, const Waiting& waiting = {});
    // Gives it back; errors are ignored (a lost session has freed the lock, a row left expires).
    void release(db::Connection& c) noexcept;
    // Throws GuardLost once a renewal of the lease has failed or found the row taken.
    void check() const;

  private:
    void beat(db::Connection renewing);
    void stopBeating() noexcept;
    void releaseNamedLock(db::Connection& c) noexcept;

    GuardTimes m_times;
    bool m_named = true; // the server's named lock is held too
    bool m_row = false;
    std::atomic<bool> m_lost{false};
    std::string m_lostWhy; // written before m_lost is set, read after
    std::string m_token;   // what the row says of this run
    db::ConnectionFields m_fields;
    std::thread m_beat;
    std::unique_ptr<Completion> m_stop; // the run is over: the beat ends
};
