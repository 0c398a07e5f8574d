#pragma once
// Every value the tool keeps in the settings store, with the text it stands for while none is stored.
#include <array>
#include <cstddef>
#include <string_view>

enum class Stored {
    Server,
    User,
    Database,
    OfflineMessage,
    AppFolder,
    AllowTriggers,
    Replicas,
    MaxLag,
    LagWait,
    Port,
    Tls,
    SslCa,
    SslCaPath,
    SslCert,
    SslKey,
    SslVerify,
    LockWait,
};

struct StoredValue {
    std::string_view key;
    std::string_view fallback;
};

// clang-format off
inline constexpr std::array<StoredValue, 17> kStoredValues{{
    {"temp\\text1",      "localhost"}, // Text1, the server address
    {"temp\\text2",      "root"},      // Text2, the user name
    {"temp\\text4",      "corvane"},   // Text4, the database name (the password is never stored)
    {"temp\\offlinemes", ""},          // the site's offline message, copied when the site is blocked
    {"Temp\\Path\\",     ""},          // the folder the tool writes its files to
    {"temp\\allowtriggers", "0"},      // "1": the window's cleanup may run, once confirmed, where triggers fire
    {"temp\\replicas",  ""},           // replicas to watch, separated by spaces
    {"temp\\maxlag",    ""},           // how far behind they may be (seconds; empty: the frame's default)
    {"temp\\lagwait",   ""},           // how long a run waits for them (seconds; empty: the frame's default)
    {"temp\\port",      ""},           // the server's port where the server field names none
    {"temp\\tls",       "offered"},    // "offered", "required" or "off"
    {"temp\\sslca",     ""},           // TLS files: the authority's certificate,
    {"temp\\sslcapath", ""},           //   a folder of such certificates,
    {"temp\\sslcert",   ""},           //   the client's certificate
    {"temp\\sslkey",    ""},           //   and its key
    {"temp\\sslverify", "1"},          // "0": TLS without checking the server's certificate
    {"temp\\lockwait",  ""},           // how long a statement waits for a lock (seconds; empty: the frame's default)
}};
// clang-format on

constexpr const StoredValue& stored(Stored s)
{
    return kStoredValues[static_cast<std::size_t>(s)];
}
