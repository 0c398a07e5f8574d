#include "ops/SiteGuard.h"

#include "common/SystemFiles.h"
#include "ops/OperationRunner.h"

#include <random>

namespace
{
// One name per database; the hash keeps it within the server's 64 characters for any name.
constexpr std::string_view kLockName = "CONCAT('tk_corvane.', SHA1(DATABASE()))";
const std::string kWhere = " where CODE=" + std::to_string(kGuardCode);
const std::string kRow = "tbl_conf" + kWhere;
constexpr const char* kHeldTail = ". Операция не выполнена: дождитесь окончания той работы и повторите.";

std::string lease()
{
    return "UNIX_TIMESTAMP()+" + std::to_string(kGuardLease.count());
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
} // namespace

SiteGuard::~SiteGuard()
{
    stopBeating();
}

std::optional<std::string> SiteGuard::take(db::Connection& c, const ServerFacts& facts,
                                           const db::ConnectionFields& fields)
{
    const std::string name(kLockName);
    const db::Rows got = c.query("SELECT GET_LOCK(" + name + ", 0) AS got");
    if (got.front().optInt("got") != 1) {
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
        c.execute("DO RELEASE_LOCK(" + name + ")");
        const std::string who = row.empty() ? "" : " (" + row.front().text("who").value_or("?") + ")";
        return "С этой базой сейчас работает другой запуск tk_corvane через другой узел кластера" + who + kHeldTail +
               "\nЕсли тот запуск прервался, его отметка в tbl_conf (CODE=" + std::to_string(kGuardCode) +
               ") истечёт сама не позже чем через " + std::to_string(kGuardLease.count()) + " с.";
    };
    const db::Rows row = readRow(c);
    std::optional<std::int64_t> until, now;
    if (!row.empty()) {
        until = row.front().optInt("expires");
        now = row.front().optInt("now");
        if (until && now && *until >= *now)
            return heldBy(row);
    }
    m_token = token(c);
    try {
        if (row.empty())
            c.execute("insert into tbl_conf (CODE, PARAM, VALUEINT, VALUESTR) values (" + std::to_string(kGuardCode) +
                      ", '" + kGuardParam + "', " + lease() + ", '" + m_token + "')");
        else // a lease run out: the run that held it died
            c.execute("update tbl_conf set VALUEINT=" + lease() + ", VALUESTR='" + m_token + "'" + kWhere + " and " +
                      (until ? "VALUEINT=" + std::to_string(*until) : std::string("VALUEINT is null")));
    } catch (const db::DbError& e) {
        // Another node's run certified first (duplicate key, or the cluster's deadlock for a lost
        // certification): it has the guard.
        if (e.nativeCode == 1062 || e.nativeCode == 1213 || e.nativeCode == 1205)
            return heldBy(readRow(c));
        c.execute("DO RELEASE_LOCK(" + name + ")");
        throw NothingChanged(
            "На узле кластера Galera запуск отмечается строкой в tbl_conf (CODE=" + std::to_string(kGuardCode) +
            "): нужны права INSERT, UPDATE и DELETE на tbl_conf. " + describeError(e));
    }
    const db::Rows mine = readRow(c);
    if (mine.empty() || mine.front().text("who").value_or("") != m_token)
        return heldBy(mine);
    m_row = true;
    m_fields = fields;
    m_stop = false;
    m_beat = std::thread([this, fields] { beat(fields); });
    return std::nullopt;
}

void SiteGuard::beat(db::ConnectionFields fields)
{
    std::optional<db::Connection> c;
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, kGuardBeat, [this] { return m_stop; })) {
        lock.unlock();
        try {
            if (!c)
                c = db::openSite(fields);
            c->execute("update tbl_conf set VALUEINT=" + lease() + kWhere + " and VALUESTR='" + m_token + "'");
        } catch (const std::exception&) {
            c.reset(); // tried again at the next beat
        }
        lock.lock();
    }
}

void SiteGuard::stopBeating() noexcept
{
    if (!m_beat.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
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
    try {
        c.execute("DO RELEASE_LOCK(" + std::string(kLockName) + ")");
    } catch (const std::exception&) {
        // The connection is gone: the server frees the lock with it.
    }
}
