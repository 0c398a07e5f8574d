#pragma once
// The connection settings beyond the window's fields, as the settings store keeps them: the port,
// TLS, the replicas to watch and the lock wait. The window and the command line read them alike.
#include "db/SiteConnection.h"
#include "ops/ReplicaWatch.h"
#include "settings/SettingsStore.h"

#include <optional>
#include <string>

struct ConnectionSettings {
    std::optional<int> port;
    db::TlsSettings tls;
    ReplicaSettings replicas;
    int lockWait = 0; // seconds
};

ConnectionSettings loadConnectionSettings(const SettingsStore& store);
// Throws SystemError where the store cannot be written.
void saveConnectionSettings(const SettingsStore& store, const ConnectionSettings& settings);

// Why the settings cannot be used (a file that is not there), in the window's words; nothing when
// they can.
std::optional<std::string> unusableSettings(const ConnectionSettings& settings);
// Decimal digits (at most six) standing for a number from least to most; nothing for anything else.
std::optional<int> wholeNumber(const std::string& text, int least, int most);
// A port as typed: empty for none, else a whole number from 1 to 65535; nothing for anything else.
std::optional<std::optional<int>> portFromText(const std::string& text);
