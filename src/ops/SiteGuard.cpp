#include "ops/SiteGuard.h"

#include "common/SystemFiles.h"
#include "ops/OperationRunner.h"

#include <random>
#include <thread>
#include <utility>

namespace
{
// One name per database; the hash keeps it within the server's 64 characters for any name.
constexpr std::string_view kLockName = "CONCAT('tk_corvane.', SHA1(DATABASE()))";
const std::string kWhere = " where CODE=" + std::to_string(kGuardCode);
const std::string kRow = "tbl_conf" + kWhere;
constexpr const char* kHeldTail = ". Операция не выполнена: дождитесь окончания той работы и повторите.";

std::string leaseOf(const GuardTimes& times)
{
    return "UNIX_TIMESTAMP()+" + std::to_string(times.lease.count());
}

// This run as the row names it: plain characters only, so it goes into SQL and back unchanged.
std::string token(db::Connection& c)
{
    std::string name;
    for (const char ch : sysfiles::hostName())
        if (std::isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '-')
            name += ch;
    const std::string connection = c.query("SELECT CONNECTION_ID() AS id").front().text("id").value_or("?");
    return "tk_corvane host " + name + " pid " + std::to_string(sysfiles::processId()) + " connection " +
           (connection.find_first_not_of("0123456789") == std::string::npos ? connection : "?") + " run " +
           std::to_string(std::random_device{}());
}

// Reads the row as the whole cluster has it (the node waits until it has applied every write
// certified before the read).
db::Rows readRow(db::Connection& c)
{
    c.execute("SET SESSION wsrep_sync_wait=1");
    const db::Rows rows = c.query("select VALUEINT as expires, VALUESTR as who, UNIX_TIMESTAMP() as now from " + kRow);
    c.execute("SET SESSION wsrep_sync_wait=0");
    return rows;
}

enum class Watched { Unchanged, Renewed, Gone };

// Watches a row whose lease looks run out by this node's clock, for a whole lease by this run's
// own clock: a run alive through a node whose clock lags renews it meanwhile.
Watched watchLease(db::Connection& c, const db::Rows& seen, std::chrono::seconds lease,
                   const SiteGuard::Waiting& waiting)
{
    using namespace std::chrono;
    constexpr milliseconds kAnswerEvery{100}, kReadEvery{1000};
    const auto was = [](const db::Rows& r) { return std::pair(r.front().text("expires"), r.front().text("who")); };
    const auto started = steady_clock::now();
    auto read = started;
    for (bool last = false; !last;) {
        const auto now = steady_clock::now();
        last = now - started >= lease;
        if (!last) {
            if (waiting)
                waiting(ceil<seconds>(lease - (now - started)));
            std::this_thread::sleep_for(kAnswerEvery);
            if (steady_clock::now() - read < kReadEvery)
                continue;
        }
        read = steady_clock::now();
        const db::Rows row = readRow(c);
        if (row.empty())
            return Watched::Gone;
        if (was(row) != was(seen))
            return Watched::Renewed;
    }
    return Watched::Unchanged;
}
} // namespace

SiteGuard::~SiteGuard()
{
    stopBeating();
}

std::optional<std::string> SiteGuard::take(db::Connection& c, const ServerFacts& facts,
                                           const db::ConnectionFields& fields, GuardTimes times, const Waiting& waiting)
{
    const std::string name(kLockName);
    std::optional<db::Rows> got;
    try {
        got = c.query("SELECT GET_LOCK(" + name + ", 0) AS got");
    } catch (const db::DbError& e) {
        // A cluster node that refuses named locks (1235: not supported with wsrep on): the row below
        // is the guard on a cluster in any case.
        if (!facts.galera || e.nativeCode != 1235)
            throw;
        m_named = false;
    }
    if (got && got->front().optInt("got") != 1) {
        const db::Rows holder = c.query("SELECT p.ID, p.USER, p.HOST FROM information_schema.PROCESSLIST p WHERE "
                                        "p.ID=IS_USED_LOCK(" +
                                        name + ")");
        std::string who = "другой запуск tk_corvane";
        if (!holder.empty())
            who += " (соединение " + holder.front().text("ID").value_or("?") + ", " +
                   holder.front().text("USER").value_or("?") + "@" + holder.front().text("HOST").value_or("?") + ")";
        return "С этой базой сейчас работает " + who + kHeldTail;
    }
    if (!facts.galera)
        return std::nullopt;

    const auto heldBy = [&](const db::Rows& row) {
        releaseNamedLock(c);
        const std::string who = row.empty() ? "" : " (" + row.front().text("who").value_or("?") + ")";
        return "С этой базой сейчас работает другой запуск tk_corvane через другой узел кластера" + who + kHeldTail +
               "\nЕсли тот запуск прервался, его отметка в tbl_conf (CODE=" + std::to_string(kGuardCode) +
               ") истечёт сама не позже чем через " + std::to_string(times.lease.count()) + " с.";
    };
    // The lease is renewed by a session of its own, opened before the row is written: an account
    // held to fewer sessions is told so before anything changes, not when the lease runs out.
    std::optional<db::Connection> renewing;
    try {
        renewing.emplace(db::openSite(fields));
    } catch (const std::exception& e) {
        releaseNamedLock(c);
        throw NothingChanged(
            "На узле кластера Galera запуск продлевает свою отметку в tbl_conf (CODE=" + std::to_string(kGuardCode) +
            ") через отдельное соединение, а его открыть не удалось (ограничение числа соединений "
            "учётной записи?). " +
            describeError(e));
    }
    m_times = times;
    db::Rows row = readRow(c);
    // A row that went while it was watched: read again (a bounded number of times, runs may race).
    for (int reads = 1; !row.empty(); ++reads) {
        const std::optional<std::int64_t> until = row.front().optInt("expires"), now = row.front().optInt("now");
        if (until && now && *until >= *now)
            return heldBy(row);
        const Watched seen = watchLease(c, row, times.lease, waiting);
        if (seen == Watched::Unchanged)
            break;
        if (seen == Watched::Renewed || reads == 3)
            return heldBy(readRow(c));
        row = readRow(c);
    }
    m_token = token(c);
    try {
        if (row.empty())
            c.execute("insert into tbl_conf (CODE, PARAM, VALUEINT, VALUESTR) values (" + std::to_string(kGuardCode) +
                      ", '" + kGuardParam + "', " + leaseOf(times) + ", '" + m_token + "')");
        else { // not renewed for a whole lease: the run that held it died. A renewal or another
               // run's takeover sets a later expiry than the one seen, so the update then changes nothing.
            const std::optional<std::int64_t> until = row.front().optInt("expires");
            c.execute("update tbl_conf set VALUEINT=" + leaseOf(times) + ", VALUESTR='" + m_token + "'" + kWhere +
                      " and " + (until ? "VALUEINT=" + std::to_string(*until) : std::string("VALUEINT is null")));
        }
    } catch (const db::DbError& e) {
        // Another node's run certified first (duplicate key, or the cluster's deadlock for a lost
        // certification): it has the guard.
        if (e.nativeCode == 1062 || e.nativeCode == 1213 || e.nativeCode == 1205)
            return heldBy(readRow(c));
        releaseNamedLock(c);
        throw NothingChanged(
            "На узле кластера Galera запуск отмечается строкой в tbl_conf (CODE=" + std::to_string(kGuardCode) +
            "): нужны права INSERT, UPDATE и DELETE на tbl_conf. " + describeError(e));
    }
    const db::Rows mine = readRow(c);
    if (mine.empty() || mine.front().text("who").value_or("") != m_token)
        return heldBy(mine);
    m_row = true;
    m_fields = fields;
    m_stop = std::make_unique<Completion>();
    m_beat = std::thread([this, r = std::move(*renewing)]() mutable { beat(std::move(r)); });
    return std::nullopt;
}

void SiteGuard::beat(db::Connection renewing)
{
    const std::string renew =
        "update tbl_conf set VALUEINT=" + leaseOf(m_times) + kWhere + " and VALUESTR='" + m_token + "'";
    const std::string ours = "select count(*) as n from " + kRow + " and VALUESTR='" + m_token + "'";
    while (!m_stop->waitFor(m_times.beat)) {
        std::string why;
        try {
            renewing.execute(renew);
            if (renewing.query(ours).front().optInt("n") != 1)
                why = "отметку запуска в tbl_conf (CODE=" + std::to_string(kGuardCode) +
                      ") удалили или заняли: её срок истёк, или её сняли вручную";
        } catch (const std::exception& e) {
            why = "не удалось продлить отметку запуска в tbl_conf (CODE=" + std::to_string(kGuardCode) +
                  "): " + describeError(e);
        }
        if (!why.empty()) {
            m_lostWhy = "Запуск потерял право менять базу одному: " + why +
                        ". Другой запуск мог начать менять сайт, поэтому работа остановлена.";
            m_lost = true;
            return;
        }
    }
}

void SiteGuard::check() const
{
    if (m_lost)
        throw GuardLost(m_lostWhy);
}

void SiteGuard::releaseNamedLock(db::Connection& c) noexcept
{
    if (!m_named)
        return;
    try {
        c.execute("DO RELEASE_LOCK(" + std::string(kLockName) + ")");
    } catch (const std::exception&) {
        // The connection is gone: the server frees the lock with it.
    }
}

void SiteGuard::stopBeating() noexcept
{
    if (!m_beat.joinable())
        return;
    m_stop->set();
    m_beat.join();
}

void SiteGuard::release(db::Connection& c) noexcept
{
    stopBeating();
    if (m_row) {
        m_row = false;
        const std::string drop = "delete from " + kRow + " and VALUESTR='" + m_token + "'";
        try {
            c.execute(drop);
        } catch (const std::exception&) {
            // The run's session is gone: a session of its own deletes the row, or the lease runs out.
            try {
                db::openSite(m_fields).execute(drop);
            } catch (const std::exception&) {
            }
        }
    }
    releaseNamedLock(c);
}
