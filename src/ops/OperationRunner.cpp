#include "ops/OperationRunner.h"

#include "common/TextFile.h"
#include "db/SiteConnection.h"
#include "ops/SiteGuard.h"
#include "ops/WriteSetBounds.h"

#include <algorithm>
#include <exception>

namespace
{
class BusyFlag
{
  public:
    explicit BusyFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag&) = delete;
    BusyFlag& operator=(const BusyFlag&) = delete;

  private:
    bool& m_flag;
};

constexpr const char* kNotVerified = "\nПодлинность сервера не проверялась: его сертификат не сверен.";
constexpr const char* kEndedPartWay = "\n\nОперация прервана. Выполненное до ошибки сохранено в базе.";
constexpr const char* kNothingChanged = "\n\nНичего не изменено.";
} // namespace

// What the window hears while statements run: it keeps answering, and a statement that waits is
// reported after kWaitReportAfter and every kWaitReportEvery.
class OperationRunner::WaitReport
{
  public:
    explicit WaitReport(SiteWindow& window) : m_window(window) {}

    void operator()(std::chrono::milliseconds waited, bool done)
    {
        const auto now = std::chrono::steady_clock::now();
        if (done) {
            if (m_reported)
                m_window.statementWaiting(0);
            m_next = kWaitReportAfter;
            m_reported = false;
        } else if (waited >= m_next) {
            m_window.statementWaiting(
                static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(waited).count()));
            m_next += kWaitReportEvery;
            m_reported = true;
            m_alive = now;
        }
        // Short statements one after another add up as much as one long one.
        if (now - m_alive >= kKeepAliveEvery) {
            m_window.keepAlive();
            m_alive = now;
        }
    }

  private:
    SiteWindow& m_window;
    std::chrono::milliseconds m_next = kWaitReportAfter;
    bool m_reported = false;
    std::chrono::steady_clock::time_point m_alive = std::chrono::steady_clock::now();
};

void OperationRunner::setUpSession(db::Connection& c)
{
    // Waits for locks held elsewhere are bounded, and reported while they last.
    c.execute("SET SESSION lock_wait_timeout=" + std::to_string(m_lockWait) +
              ", innodb_lock_wait_timeout=" + std::to_string(m_lockWait));
    // Where the server logs statements, the joins and temporary tables of the tool's statements are
    // not safe to replay on a replica: its own session logs the rows it changes instead, each by its
    // primary key and the columns that change, so the replicas have no more to read and apply than
    // the change itself. A cluster node's write sets are such rows too: by key and changed columns,
    // the other nodes certify and apply no more than the change either. (A cluster node keeps the
    // cluster's own row format.)
    if (m_facts.binaryLog && m_facts.binlogFormat != "ROW") {
        try {
            c.execute("SET SESSION binlog_format='ROW'");
        } catch (const db::DbError&) {
            m_statementLogged = true;
        }
    }
    if ((m_facts.binaryLog || m_facts.galera) && !m_statementLogged) {
        try {
            c.execute("SET SESSION binlog_row_image='MINIMAL'");
        } catch (const db::DbError&) {
            // The account may not: the server's own row image, then.
        }
    }
}

void OperationRunner::beforeBatch()
{
    if (m_guard)
        m_guard->check();
    if (m_watch)
        m_watch->waitForReplicas(m_window);
}

std::size_t OperationRunner::rowsPerStatement(std::size_t wanted) const
{
    return rowsPerTransaction(m_facts, wanted);
}

bool OperationRunner::openSide()
{
    if (!m_side && !m_sideRefused) {
        try {
            m_side = db::openSite(m_fields);
            setUpSession(*m_side);
        } catch (const db::DbError&) {
            // An account held to one session, a server out of connections: one after the other, then.
            m_side.reset();
            m_sideRefused = true;
        }
    }
    return m_side.has_value();
}

std::shared_ptr<BackgroundJob> OperationRunner::ahead(std::function<void(db::Connection&)> job)
{
    if (!openSide())
        return {};
    if (m_sideHere) {
        // Nothing runs there now: everything sent before it was driven from here had ended.
        m_side->setWaitHook({});
        m_sideHere = false;
    }
    // Each job starts when the one before it has ended, whatever became of that one.
    m_sideTail = BackgroundJob::start([previous = m_sideTail, job = std::move(job), side = &*m_side] {
        if (previous)
            previous->wait();
        job(*side);
    });
    return m_sideTail;
}

void OperationRunner::await(const std::shared_ptr<BackgroundJob>& job)
{
    const auto started = std::chrono::steady_clock::now();
    const auto waited = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    };
    while (!job->waitFor(kKeepAliveEvery))
        (*m_waits)(waited(), false);
    (*m_waits)(waited(), true);
    job->get();
}

void OperationRunner::settle() noexcept
{
    if (!m_sideTail)
        return;
    try {
        await(m_sideTail);
    } catch (...) {
        // The job that failed has its own future, and whoever waits for it hears of it.
    }
    m_sideTail.reset();
}

db::Connection& OperationRunner::sideHere()
{
    if (!m_side)
        throw std::logic_error("no second session: ahead gave no job");
    settle();
    if (!m_sideHere) {
        m_side->setWaitHook([waits = m_waits](std::chrono::milliseconds waited, bool done) { (*waits)(waited, done); });
        m_sideHere = true;
    }
    return *m_side;
}

RunOutcome OperationRunner::run(const std::function<Report(db::Connection&)>& body, Changes changes)
{
    if (m_busy)
        return {RunStatus::Busy, {}};
    BusyFlag busy(m_busy);
    const std::string savedCaption = m_window.caption();
    m_fields = m_window.connectionFields();
    // While the server is awaited the window keeps answering (the open gives up on its own).
    auto connection = OpenSiteConnection(m_window, [this](std::chrono::milliseconds, bool) { m_window.keepAlive(); });
    if (!connection)
        return {RunStatus::NotConnected, {}};
    RunOutcome outcome;
    m_waits = std::make_shared<WaitReport>(m_window);
    const auto waits = [waits = m_waits](std::chrono::milliseconds waited, bool done) { (*waits)(waited, done); };
    SiteGuard guard;
    bool guarded = false;
    bool bodyStarted = false; // before the body nothing has changed, whatever fails
    m_statementLogged = false;
    try {
        m_facts = ServerFacts::read(*connection);
        setUpSession(*connection);
        // While a statement runs the window keeps answering.
        connection->setWaitHook(waits);
        // A lease that looks run out is watched before it is taken over: the window says so meanwhile.
        const auto leaseWatched = [this, shown = std::chrono::seconds(-1)](std::chrono::seconds left) mutable {
            if (left != shown && (shown.count() < 0 || left.count() % 10 == 0)) {
                m_window.showProgress("Отметка другого запуска в tbl_conf (CODE=" + std::to_string(kGuardCode) +
                                      ") по часам этого узла истекла; ждём, не продлят ли её: ещё " +
                                      std::to_string(left.count()) + " с");
                shown = left;
            }
            m_window.keepAlive();
        };
        const auto held = changes == Changes::Site
                              ? guard.take(*connection, m_facts, m_fields, m_guardTimes, leaseWatched)
                              : std::nullopt;
        guarded = changes == Changes::Site && !held;
        if (held) {
            outcome = {RunStatus::Locked, Report(MessageIcon::Critical, *held)};
        } else {
            if (changes == Changes::Site && !m_replicas.servers.empty())
                m_watch.emplace(m_replicas, m_fields);
            if (guarded)
                m_guard = &guard;
            bodyStarted = true;
            outcome.report = body(*connection);
            if (changes == Changes::Site)
                outcome.report.text += serverNotes();
            if (changes == Changes::Site && m_fields.tls.mode == db::TlsMode::Required && !m_fields.tls.verify)
                outcome.report.text += kNotVerified;
        }
    } catch (const ReportedFailure& e) {
        outcome = {RunStatus::Failed, Report(MessageIcon::Critical, e.what())};
    } catch (const RunRefused& e) {
        outcome = {RunStatus::Refused, Report(MessageIcon::Critical, std::string(e.what()) + kNothingChanged)};
    } catch (const NothingChanged& e) {
        outcome = {RunStatus::Failed, Report(MessageIcon::Critical, std::string(e.what()) + kNothingChanged)};
    } catch (const std::exception& e) {
        outcome = {RunStatus::Failed,
                   Report(MessageIcon::Critical, describeError(e) + (bodyStarted ? kEndedPartWay : kNothingChanged))};
    }
    m_guard = nullptr;
    // The server frees the lock with the session, but only once it has noticed the session end:
    // given back at once, the next operation (maintain's next step) finds it free.
    if (guarded)
        guard.release(*connection);
    m_watch.reset();
    // Nothing may still be at work on the second session when it closes.
    settle();
    m_side.reset();
    m_sideRefused = false;
    m_sideHere = false;
    connection->close();
    if (m_window.caption() != savedCaption)
        m_window.setCaption(savedCaption);
    deliver(outcome.report);
    return outcome;
}

std::string OperationRunner::serverNotes() const
{
    std::string notes;
    if (m_replicas.servers.empty() && m_facts.replicasConnected.value_or(0) > 0)
        notes += "К серверу подключены реплики (" + std::to_string(*m_facts.replicasConnected) +
                 "), но ни одна не названа: их отставание не проверялось (--replica АДРЕС, --max-lag СЕКУНДЫ).\n";
    if (m_statementLogged)
        notes += "Сервер пишет двоичный журнал в формате " + m_facts.binlogFormat +
                 ", а учётной записи нельзя перевести свой сеанс на ROW: реплики могут разойтись с сервером.\n";
    return notes;
}

void OperationRunner::deliver(Report& report)
{
    if (report.layout)
        m_window.setButtonLayout(*report.layout);
    if (report.view && !m_window.openInTextViewer(report.view->path))
        report.text += report.view->ifNotOpened + "\n";
    if (report.showWindow)
        m_window.showWindow();
    if (!report.text.empty())
        m_window.showMessage(report.icon, report.text);
}
