#include "db/SiteConnection.h"

namespace db
{

namespace
{
// A value as ODBC reads it back whole: braced, every '}' doubled, where it holds ';', '{' or '}', or
// starts or ends with a space; otherwise as it is.
std::string odbcValue(const std::string& v)
{
    const bool plain =
        v.find_first_of(";{}") == std::string::npos && (v.empty() || (v.front() != ' ' && v.back() != ' '));
    if (plain)
        return v;
    std::string braced = "{";
    for (char c : v)
        braced += c == '}' ? std::string("}}") : std::string(1, c);
    return braced + "}";
}

bool allDigits(const std::string& s)
{
    return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos;
}
} // namespace

std::string serverKeywords(const std::string& server)
{
    // "[IPv6]" and "[IPv6]:port"
    if (server.starts_with("[")) {
        const std::size_t close = server.find(']');
        if (close != std::string::npos) {
            const std::string host = server.substr(1, close - 1), rest = server.substr(close + 1);
            if (rest.empty())
                return host;
            if (rest.front() == ':' && allDigits(rest.substr(1)))
                return host + ";port=" + rest.substr(1);
        }
        return server;
    }
    // "host:port" (one colon: a bare IPv6 address has several)
    const std::size_t colon = server.find(':');
    if (colon != std::string::npos && server.find(':', colon + 1) == std::string::npos &&
        server.find(';') == std::string::npos && allDigits(server.substr(colon + 1)))
        return server.substr(0, colon) + ";port=" + server.substr(colon + 1);
    return server;
}

std::string siteConnectionString(const ConnectionFields& f)
{
    return "driver={MySQL ODBC 3.51 Driver};server=" + serverKeywords(f.server) + ";uid=" + odbcValue(f.user) +
           ";pwd=" + odbcValue(f.password) + ";database=" + odbcValue(f.database) + ";stmt=SET NAMES 'cp1251'";
}

Connection openSite(const ConnectionFields& fields)
{
    Connection c = Connection::open(siteConnectionString(fields));
    // The driver ignores the stmt keyword and refuses SET NAMES as a statement, so the session's
    // character set is switched here, as part of the open.
    c.useUtf8Session(false);
    return c;
}

} // namespace db
