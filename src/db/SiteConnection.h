#pragma once
// Opening the site database with the four connection fields.
#include "db/Connection.h"

#include <string>

namespace db
{

// Server address, user name, password and database name, as the user gave them.
struct ConnectionFields {
    std::string server;
    std::string user;
    std::string password;
    std::string database;
};

// The server field's keywords: "host:port" and "[IPv6]:port" become the host and a port keyword; any
// other text ("host", "host;port=3307") is kept as it is.
std::string serverKeywords(const std::string& server);

// The connection string. User, password and database holding ';', '{' or '}', or starting or ending
// with a space, are braced as ODBC reads such values; ordinary values go in exactly as typed.
std::string siteConnectionString(const ConnectionFields& fields);

// Opens the site database and switches the session to cp1251. Throws DbError.
Connection openSite(const ConnectionFields& fields);

} // namespace db
