#include "db/SiteConnection.h"

namespace db
{

std::string siteConnectionString(const ConnectionFields& f)
{
    return "driver={MySQL ODBC 3.51 Driver};server=" + f.server + ";uid=" + f.user + ";pwd=" + f.password +
           ";database=" + f.database + ";stmt=SET NAMES 'cp1251'";
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
