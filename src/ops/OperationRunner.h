#pragma once
// The frame of every button's database operation. It opens the site connection with the window's
// fields (a failed open is reported and ends the operation), runs the operation's body, closes the
// connection, puts back the caption it found, and shows what the body reported in one fixed order:
// layout, text viewer, window, message. An error from the body ends the operation only: the
// connection is closed, the caption put back, the layout left as it is, and a critical box gives
// the error's number and description; what already ran stays done. While one operation runs no
// other can start.
#include "common/BackgroundJob.h"
#include "db/Connection.h"
#include "ops/OpenSiteConnection.h"
#include "ops/ReplicaWatch.h"
#include "ops/Report.h"
#include "ops/RunErrors.h"
#include "ops/RunTiming.h"
#include "ops/ServerFacts.h"
#include "ops/SiteWindow.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// How one button's operation ended.
enum class RunStatus {
    Done,         // ran to its end
    Busy,         // another operation was running; nothing happened
    NotConnected, // the connection could not be opened (already reported)
    Failed,       // an error ended it (already reported); what ran stays done
    Locked,       // another run holds the site (already reported); nothing happened
    Refused,      // the operation would not start on this site as it is (already reported); nothing happened
};

// Whether an operation changes the site. Only one that does takes the site's run lock.
enum class Changes { Site, Nothing };

struct RunOutcome {
    RunStatus status = RunStatus::Done;
    // What the body reported, as it was shown; for a failure, the error box.
    Report report;
    bool done() const { return status == RunStatus::Done; }
};

class SiteGuard;

class OperationRunner
{
  public:
    explicit OperationRunner(SiteWindow& window) : m_window(window) {}

    bool busy() const { return m_busy; }

    // An operation that changes the site first takes the site's run lock on its connection (the
    // server drops it with the connection); when another run holds it, the operation refuses at once.
    RunOutcome run(const std::function<Report(db::Connection&)>& body, Changes changes = Changes::Site);

    SiteWindow& window() { return m_window; }

    // How long a statement may wait for a lock held elsewhere before the operation ends (seconds).
    void setLockWait(int seconds) { m_lockWait = seconds; }
    // The lease of the guard row on a cluster node.
    void setGuardTimes(GuardTimes times) { m_guardTimes = times; }
    // Replicas to watch before each batch of changes, and how far behind they may be.
    void setReplicas(ReplicaSettings replicas) { m_replicas = std::move(replicas); }

    // Inside run's body: what the frame read of the server when the run opened.
    const ServerFacts& server() const { return m_facts; }
    // Inside run's body, before each batch of changes: waits while a named replica is too far behind
    // (the window says which), and throws ReplicaTooFarBehind when that wait runs out.
    void beforeBatch();
    // Inside run's body: how many rows one statement may change, at most wanted.
    std::size_t rowsPerStatement(std::size_t wanted) const;

  private:
    class WaitReport;
    // The run's second session, reached through SecondSession only.
    friend class SecondSession;
    std::shared_ptr<BackgroundJob> ahead(std::function<void(db::Connection&)> job);
    void await(const std::shared_ptr<BackgroundJob>& job);
    db::Connection& sideHere();
    void settle() noexcept;

    void deliver(Report& report);
    void setUpSession(db::Connection& c);
    // Lines for the closing message about the servers around this one.
    std::string serverNotes() const;
    bool openSide();

    SiteWindow& m_window;
    bool m_busy = false;
    int m_lockWait = kDefaultLockWait;
    GuardTimes m_guardTimes;
    ReplicaSettings m_replicas;
    ServerFacts m_facts;
    std::optional<ReplicaWatch> m_watch;
    // The run's guard while its body runs, where it can be lost (a cluster's lease).
    const SiteGuard* m_guard = nullptr;
    // A session that cannot log its changes row by row where the server logs statements.
    bool m_statementLogged = false;
    // While a run goes on: its fields, its second session once opened (or a note that none could
    // be), and what its waits have reported.
    ConnectionFields m_fields;
    std::optional<db::Connection> m_side;
    bool m_sideRefused = false;
    std::shared_ptr<BackgroundJob> m_sideTail; // the last job queued there
    bool m_sideHere = false;                   // driven from here, with the window's wait hook
    std::shared_ptr<WaitReport> m_waits;
};
