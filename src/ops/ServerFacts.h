#pragma once
// What the frame needs to know of the server an operation runs on, read once when it opens: a node of
// a Galera cluster and its write-set limits, its binary log, replicas reading that log.
#include "db/Connection.h"

#include <cstdint>
#include <optional>
#include <string>

struct ServerFacts {
    bool galera = false;                  // wsrep_on: a node of a multi-primary cluster
    std::uint64_t maxWriteSetRows = 0;    // wsrep_max_ws_rows; 0: no limit
    std::uint64_t maxWriteSetBytes = 0;   // wsrep_max_ws_size; 0: no limit
    bool binaryLog = false;               // log_bin
    std::string binlogFormat;             // ROW, STATEMENT or MIXED
    bool mysql = false;                   // MySQL rather than MariaDB: its own names for replica status
    std::optional<int> replicasConnected; // replicas reading the binary log now, where the account may see them

    // Statements both servers accept; a variable one of them lacks reads as its default.
    static ServerFacts read(db::Connection& c);
};

// Whether a server's version string (VERSION(), @@version) is MySQL's rather than MariaDB's.
bool isMySqlVersion(const std::string& version);
