#include "db/SiteConnection.h"

#include <cctype>
#include <optional>
#include <utility>

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

bool serverNamesPort(const std::string& server)
{
    std::string lower;
    for (char c : server)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return serverKeywords(lower).find(";port=") != std::string::npos;
}

std::string serverKeywords(const std::string& server, std::optional<int> port)
{
    if (port && !serverNamesPort(server))
        return serverKeywords(server) + ";port=" + std::to_string(*port);

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

namespace
{
// The driver's TLS keywords. FORCETLS alone asks for TLS where the server offers it and goes on in
// plain text where it does not; SSLVERIFY=1 makes TLS a condition and checks the certificate's chain
// and name.
std::string tlsKeywords(const TlsSettings& t)
{
    if (t.mode == TlsMode::Off)
        return "";
    std::string k = t.mode == TlsMode::Required && t.verify ? ";SSLVERIFY=1" : ";FORCETLS=1";
    const std::pair<const char*, const std::string*> files[] = {
        {"SSLCA", &t.ca}, {"SSLCAPATH", &t.caPath}, {"SSLCERT", &t.cert}, {"SSLKEY", &t.key}};
    for (const auto& [name, value] : files)
        if (t.mode == TlsMode::Required && !value->empty())
            k += std::string(";") + name + "=" + odbcValue(*value);
    return k;
}

// MariaDB's own driver (libmaodbc.so, maodbc.dll), whose SSLVERIFY checks the chain and the name.
bool verifyingDriver(const std::string& driver)
{
    std::string lower;
    for (const char ch : driver)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return lower.find("maodbc") != std::string::npos;
}

// MariaDB answers a plain connection that its account or server must make over TLS with "Access
// denied".
constexpr long kAccessDenied = 1045;
} // namespace

std::string siteConnectionString(const ConnectionFields& f)
{
    return "driver={MySQL ODBC 3.51 Driver};server=" + serverKeywords(f.server, f.port) + ";uid=" + odbcValue(f.user) +
           ";pwd=" + odbcValue(f.password) + ";database=" + odbcValue(f.database) + tlsKeywords(f.tls) +
           ";stmt=SET NAMES 'cp1251'";
}

Connection openSite(const ConnectionFields& fields, const Connection::WaitHook& hook)
{
    std::optional<Connection> opened;
    try {
        opened.emplace(Connection::open(siteConnectionString(fields), hook));
    } catch (const DbError& e) {
        if (fields.tls.mode != TlsMode::Off || e.nativeCode != kAccessDenied)
            throw;
        // Would the server have taken it over TLS? Then the message can say what to turn on.
        ConnectionFields over = fields;
        over.tls.mode = TlsMode::Offered;
        try {
            Connection c = Connection::open(siteConnectionString(over), hook);
            const bool encrypted = sessionTls(c, over.tls).encrypted();
            c.close();
            if (encrypted)
                throw TlsDemanded(e);
        } catch (const TlsDemanded&) {
            throw;
        } catch (const DbError&) {
        }
        throw;
    }
    Connection c = std::move(*opened);
    if (fields.tls.mode == TlsMode::Required) {
        // The keywords above are one driver's: another registered under the same name would pass over
        // them in silence. Verification is claimed only where the driver is known to do it.
        const std::string driver = c.driver();
        if (fields.tls.verify && !verifyingDriver(driver))
            throw DbError("Драйвер ODBC «" + driver +
                              "» не из тех, чьи параметры проверки сертификата сервера tk_corvane знает (MariaDB "
                              "Connector/ODBC): проверенное защищённое соединение не установлено.",
                          "08001", 0);
        // TLS required is seen in the session, not taken from the settings.
        if (!sessionTls(c, fields.tls).encrypted())
            throw DbError("Сервер не предлагает защищённого соединения (TLS), а оно требуется: соединение не "
                          "установлено.",
                          "08001", 0);
    }
    // The driver ignores the stmt keyword and refuses SET NAMES as a statement, so the session's
    // character set is switched here, as part of the open.
    c.useUtf8Session(false);
    return c;
}

SessionTls sessionTls(Connection& c, const TlsSettings& settings)
{
    SessionTls s;
    const Rows rows = c.query("SHOW SESSION STATUS WHERE Variable_name IN ('Ssl_version','Ssl_cipher')");
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string name = rows[r].text("Variable_name").value_or("");
        const std::string value = rows[r].text("Value").value_or("");
        (name == "Ssl_version" ? s.protocol : s.cipher) = value;
    }
    s.verified = s.encrypted() && settings.mode == TlsMode::Required && settings.verify;
    return s;
}

} // namespace db
