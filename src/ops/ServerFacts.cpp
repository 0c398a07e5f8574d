#include "ops/ServerFacts.h"

#include <map>

ServerFacts ServerFacts::read(db::Connection& c)
{
    std::map<std::string, std::string> v;
    const db::Rows rows = c.query("SHOW GLOBAL VARIABLES WHERE Variable_name IN ('wsrep_on','wsrep_max_ws_rows',"
                                  "'wsrep_max_ws_size','log_bin','binlog_format','version')");
    for (std::size_t i = 0; i < rows.size(); ++i)
        v[rows[i].cell(0).value_or("")] = rows[i].cell(1).value_or("");
    const auto whole = [&](const std::string& name) -> std::uint64_t {
        const std::string& text = v[name];
        return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos ? std::stoull(text) : 0;
    };
    ServerFacts f;
    f.galera = v["wsrep_on"] == "ON";
    if (f.galera) {
        f.maxWriteSetRows = whole("wsrep_max_ws_rows");
        f.maxWriteSetBytes = whole("wsrep_max_ws_size");
    }
    f.binaryLog = v["log_bin"] == "ON";
    f.binlogFormat = v["binlog_format"];
    f.mysql = isMySqlVersion(v["version"]);
    if (f.binaryLog) {
        try {
            // The replicas' dump threads, as far as the account may see other sessions.
            const db::IntRows n = c.queryInts("select COUNT(*) from information_schema.PROCESSLIST "
                                              "where COMMAND like 'Binlog Dump%'");
            f.replicasConnected = static_cast<int>(n.at(0, 0).value_or(0));
        } catch (const db::DbError&) {
        }
    }
    return f;
}

bool isMySqlVersion(const std::string& version)
{
    return version.find("MariaDB") == std::string::npos && version.find("mariadb") == std::string::npos;
}
