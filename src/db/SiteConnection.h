#pragma once
// Opening the site database with the connection fields and how the connection is secured.
#include "db/Connection.h"

#include <optional>
#include <string>

namespace db
{

// How the connection is encrypted.
enum class TlsMode {
    Offered,  // TLS when the server offers it, plain text when it offers none; the server is not verified
    Required, // TLS or no connection
    Off,      // plain text
};

struct TlsSettings {
    TlsMode mode = TlsMode::Offered;
    std::string ca = {}, caPath = {}, cert = {}, key = {}; // files (caPath: a folder); empty: none
    // With TLS required: the server's certificate chain and host name are checked, against ca or
    // caPath, else the system's trusted certificates.
    bool verify = true;
};

// Server address, port, user name, password, database name, as the user gave them, and TLS.
struct ConnectionFields {
    std::string server;
    std::string user;
    std::string password;
    std::string database;
    TlsSettings tls = {};
    std::optional<int> port = {}; // the port when the server field names none
};

// The server field's keywords: "host:port" and "[IPv6]:port" become the host and a port keyword; any
// other text ("host", "host;port=3307") is kept as it is. port is added where the field names none.
std::string serverKeywords(const std::string& server, std::optional<int> port = std::nullopt);
// Whether the server field names a port of its own.
bool serverNamesPort(const std::string& server);

// The connection string. User, password and database holding ';', '{' or '}', or starting or ending
// with a space, are braced as ODBC reads such values; ordinary values go in exactly as typed.
std::string siteConnectionString(const ConnectionFields& fields);

// A plain connection that the server refused, which it takes over TLS: the caller names its setting.
struct TlsDemanded : DbError {
    explicit TlsDemanded(const DbError& plain) : DbError(plain) {}
};

// Opens the site database and switches the session to cp1251. Throws DbError: TlsDemanded as above,
// and a DbError for TLS required of a server that offers none. hook, if given, is called while the
// server is awaited.
Connection openSite(const ConnectionFields& fields, const Connection::WaitHook& hook = {});

// The session's encryption as the server reports it.
struct SessionTls {
    std::string protocol, cipher; // empty: plain text
    bool verified = false;        // the server's certificate and name were checked
    bool encrypted() const { return !cipher.empty(); }
};
SessionTls sessionTls(Connection& c, const TlsSettings& settings);

} // namespace db
