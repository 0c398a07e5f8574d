#pragma once
// Replicas the administrator named, watched before each batch of changes: while any of them is more
// than maxLag seconds behind, or its replication is stopped, the run waits and says so; a wait of
// more than lagWait seconds ends the run as a failed statement does.
#include "db/SiteConnection.h"
#include "ops/SiteWindow.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

inline constexpr int kDefaultMaxLag = 10;
// Replicas are asked this often while a run waits for them; found caught up, they are trusted this
// long before they are asked again.
inline constexpr std::chrono::milliseconds kReplicaPoll{250};
inline constexpr int kDefaultLagWait = 600;

struct ReplicaSettings {
    std::vector<std::string> servers; // each in the forms the server field takes
    int maxLag = kDefaultMaxLag;      // seconds
    int lagWait = kDefaultLagWait;    // seconds
};

// The settings as the settings store keeps them: the servers separated by spaces, the seconds as
// decimal text (a text that is no such number leaves the default).
ReplicaSettings replicaSettings(const std::string& servers, const std::string& maxLag, const std::string& lagWait);

// The wait for a replica ran out.
struct ReplicaTooFarBehind : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ReplicaWatch
{
  public:
    // user, password and database are the run's own; each replica is asked what it is (MariaDB or
    // MySQL, whose status columns are named differently).
    ReplicaWatch(ReplicaSettings settings, const db::ConnectionFields& run);

    bool empty() const { return m_replicas.empty(); }
    // Returns once every replica has caught up; throws ReplicaTooFarBehind when that takes longer than
    // lagWait, and std::runtime_error naming the replica when one cannot be asked.
    void waitForReplicas(SiteWindow& window);

  private:
    struct Replica {
        db::ConnectionFields fields;
        std::optional<db::Connection> conn;
        bool mysql = false; // as the replica's own version says
    };
    // Why this replica holds the run up, or nothing when it is within maxLag.
    std::optional<std::string> behind(Replica& r);

    ReplicaSettings m_settings;
    std::vector<Replica> m_replicas;
    std::chrono::steady_clock::time_point m_caughtUp{}; // when every replica was last found within maxLag
};
