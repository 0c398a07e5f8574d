#include "ops/ReplicaWatch.h"

#include "ops/RunErrors.h"
#include "ops/ServerFacts.h"

#include <algorithm>
#include <sstream>
#include <thread>

namespace
{
// While a wait lasts its caption is shown again at least this often.
constexpr std::chrono::seconds kShowEvery{5};
} // namespace

ReplicaSettings replicaSettings(const std::string& servers, const std::string& maxLag, const std::string& lagWait)
{
    ReplicaSettings r;
    std::istringstream in(servers);
    for (std::string s; in >> s;)
        r.servers.push_back(s);
    const auto seconds = [](const std::string& text, int fallback) {
        return !text.empty() && text.size() <= 6 && text.find_first_not_of("0123456789") == std::string::npos
                   ? std::stoi(text)
                   : fallback;
    };
    r.maxLag = seconds(maxLag, kDefaultMaxLag);
    r.lagWait = std::max(1, seconds(lagWait, kDefaultLagWait));
    return r;
}

ReplicaWatch::ReplicaWatch(ReplicaSettings settings, const db::ConnectionFields& run) : m_settings(std::move(settings))
{
    // A replica is reached as the server is (account, TLS), at its own address.
    for (const std::string& server : m_settings.servers) {
        db::ConnectionFields fields = run;
        fields.server = server;
        fields.port.reset();
        m_replicas.push_back({fields, std::nullopt, false});
    }
}

std::optional<std::string> ReplicaWatch::behind(Replica& r)
{
    if (!r.conn) {
        r.conn = db::openSite(r.fields);
        const std::string version = r.conn->query("SELECT VERSION() AS v").front().text("v").value_or("");
        r.mysql = isMySqlVersion(version);
    }
    const db::Rows status = r.conn->query(r.mysql ? "SHOW REPLICA STATUS" : "SHOW SLAVE STATUS");
    if (status.empty())
        throw std::runtime_error("Сервер " + r.fields.server + " назван репликой, но репликация на нём не настроена.");
    const auto column = [&](const char* maria, const char* mysql) {
        return status.front().text(r.mysql ? mysql : maria);
    };
    if (column("Slave_SQL_Running", "Replica_SQL_Running").value_or("") != "Yes" ||
        column("Slave_IO_Running", "Replica_IO_Running").value_or("") != "Yes")
        return "репликация остановлена";
    const auto seconds = column("Seconds_Behind_Master", "Seconds_Behind_Source");
    if (!seconds)
        return "отставание неизвестно";
    if (std::stoll(*seconds) > m_settings.maxLag)
        return "отставание " + *seconds + " с (допустимо " + std::to_string(m_settings.maxLag) + " с)";
    return std::nullopt;
}

void ReplicaWatch::waitForReplicas(SiteWindow& window)
{
    // Replicas found caught up a moment ago are not asked again: batches come many to the second.
    const auto started = std::chrono::steady_clock::now();
    if (started - m_caughtUp < kReplicaPoll)
        return;
    auto shown = started - kShowEvery;
    std::string last;
    for (;;) {
        std::optional<std::string> why;
        std::string server;
        for (Replica& r : m_replicas) {
            try {
                why = behind(r);
            } catch (const db::DbError& e) {
                // The replica's own failure, not to be read as the server's.
                r.conn.reset();
                throw std::runtime_error("Реплика " + r.fields.server + ": " + describeError(e));
            }
            if (why) {
                server = r.fields.server;
                break;
            }
        }
        if (!why) {
            m_caughtUp = std::chrono::steady_clock::now();
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        const std::string text = "Ждём реплику " + server + ": " + *why;
        if (now - started > std::chrono::seconds(m_settings.lagWait))
            throw ReplicaTooFarBehind("Реплика " + server + " не догнала сервер за " +
                                      std::to_string(m_settings.lagWait) + " с (--lag-wait): " + *why + ".");
        if (text != last || now - shown >= kShowEvery) {
            window.showTitle(text);
            last = text;
            shown = now;
        }
        window.keepAlive();
        std::this_thread::sleep_for(kReplicaPoll);
    }
}
