#include "ops/StoredSettings.h"

#include "common/SystemFiles.h"

#include "ops/OperationRunner.h"

#include <array>
#include <filesystem>
#include <utility>

namespace
{
constexpr std::array<std::pair<db::TlsMode, std::string_view>, 3> kModes{
    {{db::TlsMode::Offered, "offered"}, {db::TlsMode::Required, "required"}, {db::TlsMode::Off, "off"}}};
} // namespace

std::optional<int> wholeNumber(const std::string& v, int least, int most)
{
    if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int n = std::stoi(v);
    return n >= least && n <= most ? std::optional<int>(n) : std::nullopt;
}

std::optional<std::optional<int>> portFromText(const std::string& text)
{
    if (text.empty())
        return std::optional<int>();
    if (const auto port = wholeNumber(text, 1, 65535))
        return port;
    return std::nullopt;
}

ConnectionSettings loadConnectionSettings(const SettingsStore& store)
{
    ConnectionSettings s;
    s.port = portFromText(store.load(Stored::Port)).value_or(std::nullopt);
    const std::string mode = store.load(Stored::Tls);
    for (const auto& [m, name] : kModes)
        if (mode == name)
            s.tls.mode = m;
    s.tls.ca = store.load(Stored::SslCa);
    s.tls.caPath = store.load(Stored::SslCaPath);
    s.tls.cert = store.load(Stored::SslCert);
    s.tls.key = store.load(Stored::SslKey);
    s.tls.verify = store.load(Stored::SslVerify) != "0";
    s.replicas = replicaSettings(store.load(Stored::Replicas), store.load(Stored::MaxLag), store.load(Stored::LagWait));
    s.lockWait = wholeNumber(store.load(Stored::LockWait), 1, 999999).value_or(kDefaultLockWait);
    return s;
}

void saveConnectionSettings(const SettingsStore& store, const ConnectionSettings& s)
{
    store.save(Stored::Port, s.port ? std::to_string(*s.port) : std::string());
    for (const auto& [m, name] : kModes)
        if (s.tls.mode == m)
            store.save(Stored::Tls, std::string(name));
    store.save(Stored::SslCa, s.tls.ca);
    store.save(Stored::SslCaPath, s.tls.caPath);
    store.save(Stored::SslCert, s.tls.cert);
    store.save(Stored::SslKey, s.tls.key);
    store.save(Stored::SslVerify, s.tls.verify ? "1" : "0");
    std::string servers;
    for (const std::string& r : s.replicas.servers)
        servers += (servers.empty() ? "" : " ") + r;
    store.save(Stored::Replicas, servers);
    store.save(Stored::MaxLag, std::to_string(s.replicas.maxLag));
    store.save(Stored::LagWait, std::to_string(s.replicas.lagWait));
    store.save(Stored::LockWait, std::to_string(s.lockWait));
}

std::optional<std::string> unusableSettings(const ConnectionSettings& s)
{
    const std::pair<const std::string*, const char*> files[] = {
        {&s.tls.ca, "сертификата центра (CA)"}, {&s.tls.cert, "сертификата клиента"}, {&s.tls.key, "ключа клиента"}};
    std::error_code ec;
    for (const auto& [path, what] : files)
        if (!path->empty() && !std::filesystem::is_regular_file(sysfiles::pathOf(*path), ec))
            return std::string("Файл ") + what + " не найден: " + *path;
    if (!s.tls.caPath.empty() && !std::filesystem::is_directory(sysfiles::pathOf(s.tls.caPath), ec))
        return "Папка сертификатов не найдена: " + s.tls.caPath;
    if ((s.tls.cert.empty()) != (s.tls.key.empty()))
        return std::string("Сертификат клиента и его ключ указываются вместе.");
    return std::nullopt;
}
