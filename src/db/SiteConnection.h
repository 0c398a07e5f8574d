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

// The connection string, fields inserted exactly as typed: nothing trimmed, quoted or escaped.
std::string siteConnectionString(const ConnectionFields& fields);

// Opens the site database and switches the session to cp1251. Throws DbError.
Connection openSite(const ConnectionFields& fields);

} // namespace db
