#pragma once
// Opening the site database with the four fields of the window, and the connection test.
#include "common/SiteWindow.h"
#include "db/Connection.h"

#include <optional>
#include <string>

namespace db
{

// The connection string, fields inserted exactly as typed: nothing trimmed, quoted or escaped.
std::string siteConnectionString(const ConnectionFields& fields);

// Opens a connection with the window's fields as they are now and switches the session to cp1251.
// On failure it shows the driver's text in a critical box and returns nothing.
std::optional<Connection> OpenSiteConnection(SiteWindow& window);

} // namespace db
